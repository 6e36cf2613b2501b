// Fuzz target for reading the access log. The first byte says how many
// lines (0 to 3) of the rest go to the carry-over file; the rest is
//   - one line (up to its first line feed) for every log-line parser in
//     every layout, each answer within its range (the referrer's site and
//     the user agent's robot too); a line that is no JSON
//     gives nothing as JSON, a JSON line cut by its path keeps its hour and
//     domain, and a virtual host's line reads as the common layout but for
//     the client, and
//   - the line's user agent, and the whole line read as one, through the
//     browser and system rules (when the rule list is installed): both
//     named, each answer the same from the cache as from a fresh parse,
//   - the carry-over file and the access log of a split with a fixed
//     today, after which every line must be where the split puts it (each
//     line read in its own layout): a line dated before today, up to the
//     first line dated today or later, in its day file; from that line on,
//     every line in the new carry-over file; an undated line before it, or
//     one dated after the clock's day, dropped; a header line left in the
//     log; the dropped lines counted in logs/dropped. When no line goes to
//     a day file, nothing changes at all.
// Any other outcome aborts. Build with clang and -DVAZIVEV_FUZZ=ON, then run
// build/log_fuzz -max_total_time=60.
#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "logread/log_line.h"
#include "logread/short_address.h"
#include "logread/log_split.h"
#include "logread/referrer_site.h"
#include "logread/robots.h"
#include "logread/split_clock.h"
#include "logread/ua_parser.h"
#include "tests/fuzz/scratch.h"

namespace {

constexpr int kToday = 20000310;

// A scratch site made once per process.
struct Site {
  Site() : home(ScratchFolder("vazivev-log-fuzz") + "/") { mkdir((home + "logs").c_str(), 0755); }
  std::string home;
};

std::string Read(const std::string& path, bool* exists) {
  std::ifstream in(path, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// The lines of text, each with its line feed; the last may lack one.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(at, end - at));
    at = end;
  }
  return lines;
}

// The line as the parsers see it: without its line feed, up to a zero byte.
std::string Text(const std::string& line) {
  std::string text = line;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text.c_str();
}

// The robot table of the build, or a few patterns of its shapes when the
// target is built without one.
HRobotList& Robots() {
  static HRobotList* robots = [] {
    auto* list = new HRobotList;
#ifdef VAZIVEV_ROBOT_TABLE
    if (list->LoadFile(VAZIVEV_ROBOT_TABLE) > 0) return list;
#endif
    list->LoadTable(
        "search engine\tGooglebot\tGooglebot\\/\nSEO tool\tAhrefsBot\tAhrefs(Bot|SiteAudit)\n"
        "other\tsentry\t(^| )sentry\\/\n");
    return list;
  }();
  return *robots;
}

// Aborts, naming the broken rule, when `ok` is false.
#define Check(ok) \
  if (!(ok)) Fail(#ok, __LINE__)

[[noreturn]] void Fail(const char* rule, int line) {
  fprintf(stderr, "log_fuzz.cc:%d: %s\n", line, rule);
  abort();
}

// The date, path, zone and hour a parser reads, and the domain unless
// `domain` is false, as one line of text.
std::string Reading(const std::string& line, int format, bool domain = true) {
  std::string copy = line;
  HDate date;
  std::string text = ParseLogDate(copy.c_str(), format, date) ? std::to_string(date.Number()) : "-";
  int length = 0;
  const char* path = ExtractPagePath(&copy[0], format, length);
  text += path == nullptr ? " -" : " " + std::string(path);
  copy = line;
  text += " " + std::to_string(LineZoneOffset(copy.c_str(), format));
  text += " " + std::to_string(ExtractHour(&copy[0], format));
  copy = line;
  const char* host = domain ? ExtractDomain(&copy[0], format, 3) : nullptr;
  char network[64];
  if (host != nullptr && ShortenAddress(host, network, sizeof network)) text += " " + std::string(network);
  return text + (host == nullptr ? " -" : " " + std::string(host));
}

// A small cache, so that most agents are parsed afresh.
HAgentCache& Agents() {
  static HAgentCache* cache = new HAgentCache(64);
  return *cache;
}

void CheckAgent(const char* text) {
  HAgentCache& cache = Agents();
  if (!cache.Ready()) return;
  const HAgent& parsed = cache.Parse(text);
  Check(!parsed.family.empty() && !parsed.os.empty());
  Check(parsed.Browser().compare(0, parsed.family.size(), parsed.family) == 0);
  const HAgent fresh = cache.Parser().Parse(text);
  Check(fresh.Browser() == parsed.Browser() && fresh.System() == parsed.System());
}

void ParseOneLine(const std::string& site, const std::string& input) {
  const std::string line = Text(input.substr(0, input.find('\n')));
  const int format = DetectLogFormat(line.c_str());
  Check(format >= -1 && format <= 3);
  for (int f = -1; f <= 3; ++f) {
    HDate date;
    std::string copy = line;
    if (ParseLogDate(copy.c_str(), f, date)) {
      HString name;
      DateFileName(name, (site + "logs/QLyymmdd.log").c_str(), date);
      Check(name.Length() == static_cast<int>(site.size()) + 17);
    }
    int length = -1;
    const char* path = ExtractPagePath(&copy[0], f, length);
    Check(path == nullptr ? length == 0 : path >= copy.c_str() && static_cast<int>(strlen(path)) == length);
    Check(path == nullptr || (*path == '/' && strpbrk(path, "\n\r") == nullptr));
    IsImagePath(path, length);
    if (f == 3) {
      // As the counters ask, one line after the other: the hour and the
      // domain of the line its path has cut are those of the whole line.
      std::string whole = line;
      const int hour = ExtractHour(&whole[0], f);
      whole = line;
      const char* domain = ExtractDomain(&whole[0], f, 3);
      const std::string whole_domain = domain == nullptr ? "-" : domain;
      std::string cut = line;
      ExtractPagePath(&cut[0], f, length);
      Check(ExtractHour(&cut[0], f) == hour);
      domain = ExtractDomain(&cut[0], f, 3);
      Check(whole_domain == (domain == nullptr ? "-" : domain));
    }
    for (int unit = 3; unit <= 5; ++unit) {
      copy = line;
      const char* domain = ExtractDomain(&copy[0], f, unit);
      Check(domain == nullptr || (domain >= copy.c_str() && domain < copy.c_str() + copy.size()));
      Check(domain == nullptr || *domain != 0);
    }
    copy = line;
    const char* host = ExtractVirtualHost(&copy[0], f);
    Check(host == nullptr || (f >= 2 && host >= copy.c_str() && host < copy.c_str() + copy.size() && *host != 0));
    const int zone = LineZoneOffset(line.c_str(), f);
    Check(zone == kNoZone || (zone >= -899 && zone <= 899));
    Check(zone == kNoZone || f >= 1);
    copy = line;
    const int hour = ExtractHour(&copy[0], f);
    Check(hour >= -1 && hour <= 23);
    Check(f == kJsonLayout || ReadHour(line.c_str(), f) == hour);
    const int status = ExtractStatus(line.c_str(), f);
    Check(status == -1 || (status >= 100 && status <= 999));
    const long long bytes = ExtractBytes(line.c_str(), f);
    Check(bytes >= -1 && (f != 0 || bytes == -1));
    char field[32];
    const int referrer = ExtractReferrer(line.c_str(), f, field, sizeof field);
    Check(referrer >= -1 && referrer < static_cast<int>(sizeof field) && strlen(field) <= sizeof field - 1);
    // The host of a referring page lies within it and fits its buffer.
    char whole[kLogLineSize];
    char referrer_host[64];
    if (ExtractReferrer(line.c_str(), f, whole, sizeof whole) > 0) {
      const int length = ReferrerHost(whole, referrer_host, sizeof referrer_host);
      Check(length >= 0 && length < static_cast<int>(sizeof referrer_host) &&
            (length == 0 || strstr(whole, referrer_host) != nullptr));
    }
    const int agent = ExtractUserAgent(line.c_str(), f, field, sizeof field);
    Check(agent >= -1 && (f != 0 || (agent == -1 && referrer == -1)));
    char agent_text[kLogLineSize];
    if (ExtractUserAgent(line.c_str(), f, agent_text, sizeof agent_text) >= 0) CheckAgent(agent_text);
    // The referrer's site is its host or a suffix of it, and the robot the
    // classifier gives (its index, its cache) is the one every pattern gives.
    if (ExtractReferrer(line.c_str(), f, whole, sizeof whole) > 0) {
      std::string site, host;
      ReferrerSite(whole, site);
      const bool web = ReferrerHost(whole, host);
      Check(!site.empty() && (web || site == kOtherReferrers));
      Check(!web || (host.size() >= site.size() && host.compare(host.size() - site.size(), site.size(), site) == 0));
    }
    if (ExtractUserAgent(line.c_str(), f, whole, sizeof whole) > 0) {
      HRobotList& robots = Robots();
      Check(robots.Match(whole) == robots.MatchEveryPattern(whole, strlen(whole)));
    }
    // A line read in the JSON layout that is no JSON gives nothing at all.
    if (f == 3 && format != 3) {
      Check(Reading(line, f) == "- - " + std::to_string(kNoZone) + " -1 -" && status == -1 && bytes == -1);
    }
  }
  // A virtual host's line reads as the common layout, but for the client,
  // which is the common layout's host behind the first field.
  if (format == 2) {
    Check(Reading(line, 2, false) == Reading(line, 1, false));
    std::string copy = line;
    std::string rest = line.substr(line.find(' ') + 1);
    const char* client = ExtractDomain(&copy[0], 2, 3);
    const char* host = ExtractDomain(&rest[0], 1, 3);
    Check((client == nullptr) == (host == nullptr));
    Check(client == nullptr || strcmp(client, host) == 0);
    Check(ExtractStatus(line.c_str(), 2) == ExtractStatus(line.c_str(), 1));
    Check(ExtractBytes(line.c_str(), 2) == ExtractBytes(line.c_str(), 1));
  }
}

// Empties the site's files.
void Reset(const std::string& site) {
  for (const char* name : {"vazivev.log", "access.log", "vazivev.journal", "vazivev.log.Tmp"}) {
    unlink((site + name).c_str());
  }
  DIR* logs = opendir((site + "logs").c_str());
  if (logs == nullptr) abort();
  while (const dirent* entry = readdir(logs)) {
    if (entry->d_name[0] != '.') unlink((site + "logs/" + entry->d_name).c_str());
  }
  closedir(logs);
}

// Every file in logs/ with its text.
std::map<std::string, std::string> DayFiles(const std::string& site) {
  std::map<std::string, std::string> files;
  DIR* logs = opendir((site + "logs").c_str());
  if (logs == nullptr) abort();
  while (const dirent* entry = readdir(logs)) {
    bool exists = false;
    if (entry->d_name[0] != '.') files[entry->d_name] = Read(site + "logs/" + entry->d_name, &exists);
  }
  closedir(logs);
  return files;
}

void Split(const std::string& site, const std::string& carry, const std::string& log) {
  Reset(site);
  if (!carry.empty()) Write(site + "vazivev.log", carry);
  Write(site + "access.log", log);

  // Where each line belongs, worked out line by line with the plain parser.
  HDate today;
  today.SetNumber(kToday);
  std::vector<std::string> lines = Lines(carry);
  std::vector<std::string> log_lines = Lines(log);
  std::string header;
  if (!log_lines.empty() && log_lines[0].compare(0, 7, "format=") == 0) {
    header = log_lines[0];
    log_lines.erase(log_lines.begin());
  }
  lines.insert(lines.end(), log_lines.begin(), log_lines.end());
  std::map<std::string, std::string> days;
  std::string held;
  long long dropped = 0;
  // The latest day a line may have: the clock's, five minutes ahead.
  HDate latest;
  const time_t ahead = time(nullptr) + 300;
  struct tm clock;
  localtime_r(&ahead, &clock);
  latest.Set(clock.tm_year + 1900, clock.tm_mon + 1, clock.tm_mday);
  size_t i = 0;
  for (; i < lines.size(); ++i) {
    const std::string text = Text(lines[i]);
    const int format = DetectLogFormat(text.c_str());
    HDate date;
    if (!ParseLogDate(text.c_str(), format, date) || date.Compare(latest) > 0) {
      ++dropped;
      continue;
    }
    if (date.Compare(today) >= 0) break;
    char name[32];
    snprintf(name, sizeof name, "QL%02d%02d%02d.log", date.year % 100, date.month, date.day);
    days[name] += lines[i].back() == '\n' ? lines[i] : lines[i] + "\n";
  }
  for (; i < lines.size(); ++i) held += lines[i];

  Check(SplitAccessLog(site.c_str(), (site + "access.log").c_str(), today));
  bool exists = false;
  const std::string carry_after = Read(site + "vazivev.log", &exists);
  const bool carry_exists = exists;
  const std::string log_after = Read(site + "access.log", &exists);
  Check(exists);
  Read(site + "vazivev.journal", &exists);
  Check(!exists);
  Read(site + "vazivev.log.Tmp", &exists);
  Check(!exists);
  std::map<std::string, std::string> files = DayFiles(site);
  const std::string dropped_file = files.count("dropped") != 0 ? files["dropped"] : "";
  files.erase("dropped");
  Check((files.count("rejected") != 0) == (dropped_file != ""));
  files.erase("rejected");
  Check(files == days);
  Check(dropped_file == (days.empty() || dropped == 0 ? "" : std::to_string(dropped) + "\n"));
  if (days.empty()) {  // nothing to move: every file as it was
    Check(carry_exists == !carry.empty() && carry_after == carry);
    Check(log_after == log);
  } else {
    Check(carry_exists == !held.empty() && carry_after == held);
    Check(log_after == header);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Site* site = new Site;
  if (size == 0) return 0;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  ParseOneLine(site->home, input);
  CheckAgent(input.c_str());
  // The first lines go to the carry-over file, the rest to the access log.
  size_t cut = 0;
  for (int n = data[0] % 4; n > 0 && cut < input.size(); --n) {
    const size_t feed = input.find('\n', cut);
    cut = feed == std::string::npos ? input.size() : feed + 1;
  }
  Split(site->home, input.substr(0, cut), input.substr(cut));
  return 0;
}
