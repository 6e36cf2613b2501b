#include "stats/vazivev.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstring>

#include "core/answers.h"
#include "core/errors.h"
#include "core/file.h"
#include "core/file_write.h"
#include "core/iserver.h"
#include "core/write_guard.h"
#include "logread/log_line.h"
#include "logread/log_split.h"
#include "stats/agents.h"
#include "stats/aliases.h"
#include "stats/bytes.h"
#include "stats/countries.h"
#include "stats/export.h"
#include "stats/hit.h"
#include "stats/item_container.h"
#include "stats/referrers.h"
#include "stats/responses.h"
#include "stats/robot_ranking.h"
#include "stats/times.h"
#include "stats/visitors.h"
#include "system/admin.h"

namespace {

const char kHttp[] = "http://";
constexpr int kHttpLength = sizeof kHttp - 1;
const char kHttps[] = "https://";
constexpr int kHttpsLength = sizeof kHttps - 1;
constexpr int kLeastUnit = 3;

// The settings that name files of the machine, which the program reads and
// empties.
bool NamesAFile(const char* name) {
  return CompareNoCase(name, "LogFile") == 0 || CompareNoCase(name, "DateFile") == 0 ||
         CompareNoCase(name, "GeoDatabase") == 0;
}

// The settings the page-request rule is built from.
bool ShapesPageRule(const char* name) {
  return CompareNoCase(name, "Assets") == 0 || CompareNoCase(name, "Statuses") == 0 ||
         CompareNoCase(name, "Exclude") == 0 || CompareNoCase(name, "ScriptPath") == 0;
}

// Whether the request's administrator has a password; true outside a
// request (no system object), where nobody else could change a setting.
bool PasswordIsSet() {
  IObject* system = CurrentServer == nullptr ? nullptr : CurrentServer->GetSystem();
  if (system == nullptr) return true;
  auto* admin = dynamic_cast<HAdmin*>(system->FindChild("Admin"));
  return admin != nullptr && admin->CheckAdmin() != HAdmin::kNoPassword;
}

}  // namespace

HVaziVev::HVaziVev(const char* name)
    : INContainer(name, 0), humans_(*this, HAudience::kHumans), robots_(*this, HAudience::kRobots) {
  type_name_ = "VaziVev";
  today_.SetToday();
}

HVaziVev::~HVaziVev() { children_.Clear(); }

void HVaziVev::SetProperty(const char* name, const char* value) {
  // Until a password is set every visitor is the administrator: nobody may
  // then point the program at a file of the machine.
  if (NamesAFile(name) && strcmp(Setting(name), value == nullptr ? "" : value) != 0 && !PasswordIsSet()) {
    throw ErrorNoPassword;
  }
  if (name != nullptr && ShapesPageRule(name)) page_rule_.reset();
  // The stamps hold the rule and the country database.
  if (name != nullptr && (ShapesPageRule(name) || CompareNoCase(name, "GeoDatabase") == 0 ||
                          CompareNoCase(name, "ShortAddresses") == 0)) {
    day_stamps_.clear();
    stamp_suffix_ready_ = false;
  }
  if (name != nullptr && CompareNoCase(name, "ShortAddresses") == 0) short_addresses_ = -1;
  if (name != nullptr && CompareNoCase(name, "URL") == 0) own_hosts_ready_ = false;
  if (value != nullptr && *value != 0 && CompareNoCase(name, "URL") == 0) {
    // Kept as scheme and host: "https://www.example.org/" stays https, a
    // bare host is taken for http.
    HString url(value);
    int host = kHttpLength;
    if (CompareNoCase(value, kHttps, kHttpsLength) == 0) {
      host = kHttpsLength;
    } else if (CompareNoCase(value, kHttp, kHttpLength) != 0) {
      url = kHttp;
      url.Append(value);
    }
    const int slash = url.FindChar('/', host);
    if (slash >= 0) url.Assign(url.CStr(), slash);
    INContainer::SetProperty(name, url.CStr());
    return;
  }
  if (CompareNoCase(name, "Unit") == 0) {
    HString unit;
    unit.AssignNumber(ToInt(value) > kLeastUnit ? ToInt(value) : kLeastUnit);
    INContainer::SetProperty(name, unit.CStr());
    return;
  }
  INContainer::SetProperty(name, value);
}

IObject* HVaziVev::CreateObject(const char* name, const char* type_name) {
  const HAudience audience = AudienceOfName(name);
  IStatsSettings* settings = this;
  if (audience == HAudience::kHumans) settings = &humans_;
  if (audience == HAudience::kRobots) settings = &robots_;
  IObject* made = CreateStatistic(name, type_name, settings);
  return made != nullptr ? made : INContainer::CreateObject(name, type_name);
}

IObject* HVaziVev::CreateStatistic(const char* name, const char* type_name, IStatsSettings* settings) {
  if (type_name != nullptr) {
    if (IsWord(type_name, "Hit")) return new HHit(name, settings);
    if (IsWord(type_name, "RootHit")) return new HRootHit(name, settings);
    if (IsWord(type_name, "Visitors")) return new HVisitors(name, settings);
    if (IsWord(type_name, "CountriesContainer")) return new HCountriesContainer(name, settings);
    if (IsWord(type_name, "AllHit")) return new HAllHit(name, settings);
    if (IsWord(type_name, "PagesContainer")) return new HPagesContainer(name, settings);
    if (IsWord(type_name, "DomainsContainer")) return new HDomainsContainer(name, settings);
    if (IsWord(type_name, "AgentsContainer")) return new HAgentsContainer(name, settings);
    if (IsWord(type_name, "SystemsContainer")) return new HSystemsContainer(name, settings);
  }
  if (type_name != nullptr) {
    if (IsWord(type_name, "TimesContainer")) return new HTimesContainer(name, settings);
    if (IsWord(type_name, "Aliases")) return new HAliases(name);
    if (IsWord(type_name, "Bytes")) return new HBytesHit(name, settings);
    if (IsWord(type_name, "StatusContainer")) return new HStatusContainer(name, settings);
    if (IsWord(type_name, "NotFoundContainer")) return new HNotFoundContainer(name, settings);
    if (IsWord(type_name, "ReferrersContainer")) return new HReferrersContainer(name, settings);
    if (IsWord(type_name, "RobotsContainer")) return new HRobotsContainer(name, settings);
  }
  return nullptr;
}

const char* HVaziVev::Setting(const char* name) const {
  const char* value = properties_.GetValue(name);
  return value == nullptr ? "" : value;
}

bool HVaziVev::IsDaily() const { return CompareNoCase(Setting("Loging"), "Daily") == 0; }

int HVaziVev::Lines() {
  if (lines_ < 0) lines_ = ToInt(Setting("lines"));
  return lines_;
}

const HPageRule& HVaziVev::PageRule() {
  if (!page_rule_) {
    page_rule_.reset(new HPageRule(Setting("Assets"), Setting("Statuses"), Setting("Exclude"), Setting("ScriptPath")));
  }
  return *page_rule_;
}

bool HVaziVev::IsOwnHost(const char* host) {
  if (host == nullptr || *host == 0) return false;
  for (const std::string& own : OwnHosts()) {
    if (CompareNoCase(own.c_str(), host) == 0) return true;
  }
  return false;
}

namespace {

// The host of "http://host:port/..." or of a bare "host/...", lower case.
std::string HostOf(const char* text) {
  if (text == nullptr) return "";
  const char* scheme = strstr(text, "://");
  if (scheme != nullptr) text = scheme + 3;
  std::string host(text, strcspn(text, "/?#"));
  if (!host.empty() && host[0] != '[') host.erase(std::min(host.size(), host.find(':')));
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return host;
}

}  // namespace

const std::vector<std::string>& HVaziVev::OwnHosts() {
  if (own_hosts_ready_) return own_hosts_;
  own_hosts_.clear();
  const std::string url = HostOf(Setting("URL"));
  if (!url.empty()) own_hosts_.push_back(url);
  IObject* aliases = INContainer::FindChild("Aliases");
  if (aliases != nullptr && aliases->First()) {
    while (IObject* alias = aliases->NextObject()) {
      const std::string host = HostOf(alias->Properties().GetValue("Name"));
      if (!host.empty()) own_hosts_.push_back(host);
    }
  }
  own_hosts_ready_ = true;
  return own_hosts_;
}

void HVaziVev::NoteScriptPath(const char* script) {
  if (script == nullptr || *script != '/' || strcmp(script, Setting("ScriptPath")) == 0) return;
  SetProperty("ScriptPath", script);
}

const char* HVaziVev::RootPath() const {
  const char* root = Setting("RootPath");
  return *root == 0 ? "/" : root;
}

int HVaziVev::Unit() const { return ToInt(Setting("Unit")); }

bool HVaziVev::FindDayFile(HString& name, const HDate& date) const {
  if (!today_file_.empty() && date.Compare(today_) == 0) {
    name = today_file_.c_str();
    return access(today_file_.c_str(), R_OK) == 0;
  }
  return DateFileName(name, DayFilePattern().CStr(), date);
}

void HVaziVev::RemoveOldSnapshot() {
  HDate yesterday = today_;
  if (!yesterday.PreviousDay()) return;
  char name[48];
  snprintf(name, sizeof name, "logs/today-%08d.log", yesterday.Number());
  const std::string path = std::string(CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir()) + name;
  // Looked for first: nearly every request finds none, and needs no right
  // to change anything.
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) return;
  WillWrite();
  unlink(path.c_str());
}

bool HVaziVev::MayCount(const HDate& date) const {
  const int order = date.Compare(today_);
  return order < 0 || (order == 0 && !today_file_.empty());
}

std::string HVaziVev::CountToday() {
  const std::string home = CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir();
  char name[48];
  snprintf(name, sizeof name, "logs/today-%08d.log", today_.Number());
  const std::string snapshot = home + name;
  struct stat info;
  const time_t now = time(nullptr);
  if (stat(snapshot.c_str(), &info) != 0 || now - info.st_mtime >= 60 || info.st_mtime > now) {
    HString source;
    if (IsDaily()) {
      if (!DateFileName(source, Setting("DateFile"), today_)) source = "";
    } else {
      source = (home + "vazivev.log").c_str();
    }
    const std::string lines = source.IsEmpty() ? std::string() : ReadWholeFile(source.CStr());
    if (!WriteFileWhole(snapshot.c_str(), lines.data(), lines.size())) return "";
    if (stat(snapshot.c_str(), &info) != 0) return "";
    // Yesterday's snapshot and older ones go: their days have day files.
    if (DIR* logs = opendir((home + "logs").c_str())) {
      while (const dirent* entry = readdir(logs)) {
        if (strncmp(entry->d_name, "today-", 6) == 0 && strcmp(entry->d_name, name + 5) != 0) {
          unlink((home + "logs/" + entry->d_name).c_str());
        }
      }
      closedir(logs);
    }
  }
  today_file_ = snapshot;
  day_stamps_.erase(today_.Number());
  struct tm local;
  localtime_r(&info.st_mtime, &local);
  char clock[8];
  snprintf(clock, sizeof clock, "%02d:%02d", local.tm_hour, local.tm_min);
  return clock;
}

HString HVaziVev::DayFilePattern() const {
  if (IsDaily()) return HString(Setting("DateFile"));
  HString pattern(CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir());
  pattern.Append(kDayFilePattern);
  return pattern;
}

HDayFiles& HVaziVev::DayFiles() {
  if (!day_files_ready_) {
    day_stamps_.clear();
    stamp_suffix_ready_ = false;
    day_files_.Reset(DayFilePattern().CStr(), today_);
    day_files_ready_ = true;
  }
  return day_files_;
}

const std::vector<HDate>& HVaziVev::DaysWithFiles() { return DayFiles().Days(); }

std::vector<HDate> HVaziVev::DaysWithFilesIn(const HDate& first, const HDate& last) {
  return DayFiles().DaysIn(first, last);
}

std::string HVaziVev::DataPath(const char* name) const {
  std::string path = CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir();
  return path.append(GetDirectory()).append(name);
}

std::string HVaziVev::DayStamp(const HDate& date) {
  HDayFiles& files = DayFiles();  // first: a new listing forgets the stamps made
  const auto known = day_stamps_.find(date.Number());
  if (known != day_stamps_.end()) return known->second;
  const bool today = !today_file_.empty() && date.Compare(today_) == 0;
  const std::string file = today ? FileStamp(today_file_) : files.Stamp(date);
  if (file.empty()) return file;  // a missing file is looked for again
  HStampHash hash;
  hash.Add(file);
  hash.Add(StampSuffix());
  std::string stamp;
  hash.AppendTo(stamp);
  day_stamps_[date.Number()] = stamp;
  return stamp;
}

const std::string& HVaziVev::StampSuffix() {
  if (!stamp_suffix_ready_) {
    // A change of what counts as a page request counts every day again.
    // Shortened addresses count every day again; sites that keep them
    // whole keep the stamps they had.
    stamp_suffix_ = std::string(" ") + PageRule().Signature() + " " + Setting("GeoDatabase") +
                    (ShortensAddresses() ? " short" : "");
    stamp_suffix_ready_ = true;
  }
  return stamp_suffix_;
}

std::string HVaziVev::RangeStamp(const HDate& first, const HDate& last) {
  HDayFiles& files = DayFiles();
  // What every day's stamp holds besides its file, once; then each file's
  // numbers unhashed.
  std::string text = StampSuffix();
  files.AppendStampsIn(first, last, text);
  return text;
}

bool HVaziVev::ShortensAddresses() {
  // Asked for every line of a client ranking: read once.
  if (short_addresses_ < 0) {
    const char* value = Setting("ShortAddresses");
    short_addresses_ = *value != 0 && strcmp(value, "0") != 0 ? 1 : 0;
  }
  return short_addresses_ == 1;
}

HDate HVaziVev::FirstDay() const {
  HDate first;
  HDate::Parse(Setting("SetDate"), &first);
  return first;
}

void HVaziVev::MoveFirstDayBack(const HDate& date) {
  if (!date.IsValid()) return;
  const HDate first = FirstDay();
  if (!first.IsValid() || first.Compare(date) > 0) SetPropertyInt("SetDate", date.Number());
}

const char* HVaziVev::GetProperty(const char* name) {
  if (name != nullptr && CompareNoCase(name, "SplitError") == 0) return KeepAnswer(split_error_);
  if (name != nullptr && CompareNoCase(name, "SplitDropped") == 0) {
    return DecimalAnswer(split_dropped_);
  }
  if (name != nullptr && CompareNoCase(name, "SiteName") == 0) {
    // The host of "URL", as the header of every page names the site.
    const char* url = Setting("URL");
    const char* host = strstr(url, "://");
    return KeepAnswer(host == nullptr ? url : host + 3);
  }
  if (name != nullptr && CompareNoCase(name, "PageRuleSignature") == 0) {
    return KeepAnswer(PageRule().Signature().c_str());
  }
  return INContainer::GetProperty(name);
}

void HVaziVev::RemoveProperty(const char* name) {
  if (name != nullptr && ShapesPageRule(name)) page_rule_.reset();
  // The stamps hold the rule and the country database.
  if (name != nullptr && (ShapesPageRule(name) || CompareNoCase(name, "GeoDatabase") == 0 ||
                          CompareNoCase(name, "ShortAddresses") == 0)) {
    day_stamps_.clear();
    stamp_suffix_ready_ = false;
  }
  if (name != nullptr && CompareNoCase(name, "ShortAddresses") == 0) short_addresses_ = -1;
  INContainer::RemoveProperty(name);
}

IObject* HVaziVev::FindChild(const char* name) {
  if (name == nullptr || CompareNoCase(name, "rejected") != 0) return INContainer::FindChild(name);
  if (!rejected_) {
    rejected_.reset(new HRejectedLines("rejected", CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir()));
  }
  return rejected_.get();
}

const char* HVaziVev::Call(const char* method, int argc, const char* const* argv) {
  if (method != nullptr && CompareNoCase(method, "CountToday") == 0) return KeepAnswer(CountToday().c_str());
  if (method != nullptr && (CompareNoCase(method, "Export") == 0 || CompareNoCase(method, "CanExport") == 0)) {
    return Export(CompareNoCase(method, "Export") == 0, argc, argv);
  }
  if (method == nullptr || CompareNoCase(method, "For") != 0) return INContainer::Call(method, argc, argv);
  const char* kind = argc >= 1 ? argv[0] : nullptr;
  if (kind == nullptr || *kind == 0) return nullptr;
  const char* who = argc >= 2 && argv[1] != nullptr && *argv[1] != 0 ? argv[1] : Setting("Audience");
  const HAudience audience = AudienceOfWord(who);
  IObject* base = INContainer::FindChild(kind);
  if (audience == HAudience::kEveryone || base == nullptr || AudienceOfName(kind) != HAudience::kEveryone ||
      IsWord(base->GetTypeName(), "RobotsContainer") || IsWord(base->GetTypeName(), "Aliases")) {
    return KeepAnswer(kind);
  }
  const std::string twin = AudienceName(kind, audience);
  if (INContainer::FindChild(twin.c_str()) == nullptr) {
    const char* add[] = {twin.c_str(), base->GetTypeName()};
    INContainer::Call("Add", 2, add);
  }
  return KeepAnswer(twin.c_str());
}

const char* HVaziVev::Export(bool write, int argc, const char* const* argv) {
  const char* report = argc >= 1 ? argv[0] : nullptr;
  // Only the statistics themselves, never a twin named directly.
  if (report == nullptr || *report == 0 || AudienceOfName(report) != HAudience::kEveryone) return nullptr;
  IObject* base = INContainer::FindChild(report);
  if (base == nullptr || ExportKind(base) == nullptr) return nullptr;
  if (!write) return "1";
  HDate from;
  HDate to;
  if (argc < 4 || !from.SetNumber(ToInt(argv[1])) || !to.SetNumber(ToInt(argv[2]))) return nullptr;
  const HExportFormat format = CompareNoCase(argv[3], "json") == 0 ? HExportFormat::kJson : HExportFormat::kCsv;
  const char* who_args[] = {report, argc >= 5 ? argv[4] : ""};
  const std::string name = Call("For", 2, who_args);
  const HAudience audience = AudienceOfName(name.c_str());
  WriteExport(INContainer::FindChild(name.c_str()), report, AudienceWord(audience), from, to, format);
  return "1";
}

void HVaziVev::SetSplitReport(const char* error, long long dropped) {
  split_error_ = error == nullptr ? "" : error;
  split_dropped_ = dropped;
}
