#include "stats/day_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "core/text.h"
#include "logread/log_line.h"

namespace {

// The size and the time of the last change: a site copied or restored with
// its times (cp -a, rsync -a, tar) keeps its stamps and counts nothing again.
std::string StatStamp(const struct stat& info) {
  char text[96];
  snprintf(text, sizeof text, "%lld:%lld.%09ld", static_cast<long long>(info.st_size),
           static_cast<long long>(info.st_mtim.tv_sec), static_cast<long>(info.st_mtim.tv_nsec));
  std::string stamp;
  AppendStampHash(text, stamp);
  return stamp;
}

// The places of "yy", "mm" and "dd" in the last component of `pattern`, as
// DateFileName finds them; false when one is missing.
bool DatePlaces(const std::string& pattern, size_t (&at)[3]) {
  const size_t slash = pattern.find_last_of("/\\");
  const size_t file = slash == std::string::npos ? 0 : slash + 1;
  const char* names[3] = {"yy", "mm", "dd"};
  for (int i = 0; i < 3; ++i) {
    at[i] = pattern.find(names[i], file);
    if (at[i] == std::string::npos) return false;
  }
  return true;
}

}  // namespace

std::string FileStamp(const std::string& path) {
  struct stat info;
  // As the listing reads its files (fstatat): a clock-shifting library
  // that moves what stat answers (the tests pin their clocks so) must not
  // make one file's stamp differ from run to run.
  return fstatat(AT_FDCWD, path.c_str(), &info, 0) == 0 ? StatStamp(info) : std::string();
}

void AppendStampHash(const std::string& text, std::string& out) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ull;
  }
  char hex[24];
  snprintf(hex, sizeof hex, "%016" PRIx64, hash);
  out += hex;
}

void HDayFiles::Reset(const std::string& pattern, const HDate& today) {
  pattern_ = pattern;
  today_ = today;
  listed_ = false;
  days_.clear();
  stamps_.clear();
}

HDate HDayFiles::DayOfName(const std::string& pattern, const std::string& path, const HDate& today) {
  HDate none;
  size_t at[3];
  if (path.size() != pattern.size() || !DatePlaces(pattern, at)) return none;
  int value[3];
  for (int i = 0; i < 3; ++i) {
    const char a = path[at[i]];
    const char b = path[at[i] + 1];
    if (a < '0' || a > '9' || b < '0' || b > '9') return none;
    value[i] = (a - '0') * 10 + (b - '0');
  }
  int year = 2000 + value[0];
  if (year > today.year) year -= 100;
  HDate day;
  if (!day.Set(year, value[1], value[2])) return none;
  // Every other byte as the pattern has it: what DateFileName would write.
  std::string expected = pattern;
  const int digits[3] = {day.year % 100, day.month, day.day};
  for (int i = 0; i < 3; ++i) {
    expected[at[i]] = static_cast<char>('0' + digits[i] / 10);
    expected[at[i] + 1] = static_cast<char>('0' + digits[i] % 10);
  }
  return expected == path ? day : none;
}

void HDayFiles::List() {
  listed_ = true;
  size_t at[3];
  if (pattern_.empty() || !DatePlaces(pattern_, at)) return;
  const size_t slash = pattern_.find_last_of("/\\");
  const std::string folder = slash == std::string::npos ? "." : pattern_.substr(0, slash + 1);
  const std::string prefix = slash == std::string::npos ? "" : folder;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  const int fd = dirfd(dir);
  const size_t name_length = pattern_.size() - prefix.size();
  while (const struct dirent* entry = readdir(dir)) {
    if (strlen(entry->d_name) != name_length) continue;
    const HDate day = DayOfName(pattern_, prefix + entry->d_name, today_);
    if (!day.IsValid() || day.Compare(today_) >= 0) continue;
    struct stat info;
    if (fstatat(fd, entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
    days_.push_back(day);
    stamps_[day.Number()] = StatStamp(info);
  }
  closedir(dir);
  std::sort(days_.begin(), days_.end(), [](const HDate& a, const HDate& b) { return a.Compare(b) < 0; });
}

const std::vector<HDate>& HDayFiles::Days() {
  if (!listed_) List();
  return days_;
}

std::string HDayFiles::Stamp(const HDate& date) {
  const auto known = stamps_.find(date.Number());
  if (known != stamps_.end()) return known->second;
  if (listed_ && date.Compare(today_) < 0) return "";  // the listing found no file
  HString path;
  struct stat info;
  std::string stamp;
  // As the listing reads it (fstatat), so that both give the same times.
  if (DateFileName(path, pattern_.c_str(), date) && fstatat(AT_FDCWD, path.CStr(), &info, 0) == 0 &&
      S_ISREG(info.st_mode)) {
    stamp = StatStamp(info);
    stamps_[date.Number()] = stamp;  // a missing file is looked for again
  }
  return stamp;
}
