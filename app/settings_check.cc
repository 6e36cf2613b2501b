#include "app/settings_check.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/params.h"
#include "core/text.h"
#include "stats/vazivev.h"

const char* const kSettingNames[] = {"Loging", "LogFile", "DateFile", "URL", "Unit", "RootPath",
                                     "lines", "Assets", "Statuses", "Exclude", "GeoDatabase", "Audience",
                                     "ShortAddresses", nullptr};

namespace {

constexpr long kMostRows = 100000;

// Names from the system's own files, read as the C library reads them but
// without its name services: the program is linked statically, and a
// service module would need the shared C library.
std::string UserName(uid_t uid) {
  std::string name = "uid " + std::to_string(uid);
  if (FILE* in = fopen("/etc/passwd", "re")) {
    while (const struct passwd* user = fgetpwent(in)) {
      if (user->pw_uid == uid) {
        name = user->pw_name;
        break;
      }
    }
    fclose(in);
  }
  return name;
}

std::string GroupName(gid_t gid) {
  std::string name = "gid " + std::to_string(gid);
  if (FILE* in = fopen("/etc/group", "re")) {
    while (const struct group* group = fgetgrent(in)) {
      if (group->gr_gid == gid) {
        name = group->gr_name;
        break;
      }
    }
    fclose(in);
  }
  return name;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "owner root, group adm, mode 0640"
std::string Permissions(const struct stat& info) {
  char mode[8];
  snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
  return "owner " + UserName(info.st_uid) + ", group " + GroupName(info.st_gid) + ", mode " + mode;
}

bool AllDigits(const char* text) { return *text != 0 && strspn(text, "0123456789") == strlen(text); }

const char* Posted(const HParams& posted, const char* name) {
  const char* value = posted.GetValue(name);
  return value == nullptr ? "" : value;
}

bool Changes(const HParams& posted, const HVaziVev* stored, const char* name) {
  return stored == nullptr || strcmp(stored->Setting(name), Posted(posted, name)) != 0;
}

// The site's address: a host, with "http://" or "https://" or no scheme.
bool IsSiteAddress(const char* url) {
  const char* host = url;
  const char* scheme = strstr(url, "://");
  if (scheme != nullptr) {
    const std::string name(url, scheme - url);
    if (CompareNoCase(name.c_str(), "http") != 0 && CompareNoCase(name.c_str(), "https") != 0) return false;
    host = scheme + 3;
  }
  const size_t length = strcspn(host, "/?#");
  if (length == 0 || host[0] == ':') return false;
  for (size_t i = 0; i < length; ++i) {
    if (static_cast<unsigned char>(host[i]) <= ' ') return false;
  }
  return strpbrk(url, " \t\r\n") == nullptr;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FolderProblem(const char* what, const std::string& folder) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return std::string(what) + ": the folder " + Quoted(folder) + " does not exist.";
  if (!S_ISDIR(info.st_mode)) return std::string(what) + ": " + Quoted(folder) + " is not a folder.";
  if (faccessat(AT_FDCWD, folder.c_str(), R_OK | X_OK, AT_EACCESS) != 0) {
    return std::string(what) + ": the web server's user " + UserName(geteuid()) + " may not read the folder " +
           Quoted(folder) + " (" + Permissions(info) + ").";
  }
  return "";
}

}  // namespace

std::string FileProblem(const char* what, const std::string& path, bool write) {
  struct stat info;
  if (path.empty() || path[0] != '/') {
    return std::string(what) + " " + Quoted(path) + " is not a full path: it must begin with \"/\".";
  }
  if (stat(path.c_str(), &info) != 0) {
    if (errno == EACCES) {
      return std::string(what) + " " + Quoted(path) + " cannot be reached: the web server's user " +
             UserName(geteuid()) + " may not pass one of the folders above it.";
    }
    return std::string(what) + " " + Quoted(path) + " does not exist.";
  }
  if (!S_ISREG(info.st_mode)) {
    return std::string(what) + " " + Quoted(path) + " is not a file" + (S_ISDIR(info.st_mode) ? " but a folder." : ".");
  }
  const int need = write ? R_OK | W_OK : R_OK;
  if (faccessat(AT_FDCWD, path.c_str(), need, AT_EACCESS) != 0) {
    return std::string(what) + " " + Quoted(path) + " may not be " + (write ? "read and written" : "read") +
           " by the web server's user " + UserName(geteuid()) + " (" + Permissions(info) + ")" +
           (write ? ": in this mode its lines are taken out of it, so the user must be able to write it." : ".");
  }
  return "";
}

std::vector<HSettingsProblem> CheckSettings(const HParams& posted, const HVaziVev* stored, bool password_set) {
  std::vector<HSettingsProblem> problems;
  bool any = false;
  for (const char* const* name = kSettingNames; *name != nullptr; ++name) {
    if (posted.GetValue(*name) != nullptr) any = true;
  }
  if (!any) {
    problems.push_back({"Form", "The request carried none of the settings: nothing was changed."});
    return problems;
  }
  const char* mode = Posted(posted, "Loging");
  const auto check = [&](const char* name) { return password_set && *Posted(posted, name) != 0 && Changes(posted, stored, name); };
  const bool daily = CompareNoCase(mode, "Daily") == 0;
  const std::string log = Posted(posted, "LogFile");
  if (!daily && check("LogFile")) {
    // Split here, the log is emptied once its days are taken.
    const bool split = CompareNoCase(mode, "Follow") != 0;
    const std::string text = FileProblem("The access log", log, split);
    if (!text.empty()) problems.push_back({"LogFile", text});
  }
  const std::string days = Posted(posted, "DateFile");
  if (daily && check("DateFile")) {
    const std::string text = days[0] != '/' ? "The day files " + Quoted(days) + " are not a full path: it must begin with \"/\"."
                                            : FolderProblem("The day files", FolderOf(days));
    if (!text.empty()) problems.push_back({"DateFile", text});
  }
  const std::string geo = Posted(posted, "GeoDatabase");
  if (check("GeoDatabase")) {
    const std::string text = FileProblem("The IP country database", geo, false);
    if (!text.empty()) problems.push_back({"GeoDatabase", text});
  }
  const char* url = Posted(posted, "URL");
  if (*url != 0 && !IsSiteAddress(url)) {
    problems.push_back({"URL", "The site's address " + Quoted(url) +
                                   " is not an address: write it as https://www.example.org/ or www.example.org."});
  }
  const char* unit = Posted(posted, "Unit");
  if (*unit != 0 && !AllDigits(unit)) {
    problems.push_back({"Unit", "The labels of a host name that make its domain, " + Quoted(unit) + ", are not a number."});
  }
  const char* lines = Posted(posted, "lines");
  if (*lines != 0 && (!AllDigits(lines) || strlen(lines) > 6 || atol(lines) > kMostRows)) {
    problems.push_back({"lines", "The rows a ranking lists, " + Quoted(lines) + ", are not a whole number from 0 to " +
                                     std::to_string(kMostRows) + "."});
  }
  return problems;
}
