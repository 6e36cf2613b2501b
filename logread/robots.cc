#include "logread/robots.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "server/server.h"

const char* const kRobotKinds[7] = {"AI crawler", "search engine", "SEO tool", "monitor",
                                    "scanner",    "feed reader",   "other"};

namespace {

// The list's tags of the kinds above, in the same order.
const char* const kKindTags[6] = {"ai-crawler", "search-engine", "seo", "monitoring", "scanner", "feed-reader"};

// A day holds far fewer distinct agents; past this many the cache starts
// again rather than grow without end on hostile logs.
constexpr size_t kMostCachedAgents = 50000;

// Compiles `pattern`, or null when it does not compile.
pcre2_code* Compile(const std::string& pattern) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), 0, &error, &offset, nullptr);
}

uint32_t CaptureCount(const pcre2_code* code) {
  uint32_t count = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
  return count;
}

// The name a pattern's match gives: its text without the separators
// around it ("Googlebot/" gives "Googlebot"), with no tab, line feed or
// "=" (a ranking's stored lines cannot hold them).
std::string CleanName(std::string name) {
  for (char& c : name) {
    if (static_cast<unsigned char>(c) < ' ' || c == '=' || c == 0x7f) c = ' ';
  }
  size_t begin = 0;
  while (begin < name.size() && !isalnum(static_cast<unsigned char>(name[begin]))) ++begin;
  size_t end = name.size();
  while (end > begin && !isalnum(static_cast<unsigned char>(name[end - 1]))) --end;
  return name.substr(begin, end - begin);
}

std::string KindOfTags(const nlohmann::json& tags) {
  if (!tags.is_array()) return kRobotKinds[6];
  for (int k = 0; k < 6; ++k) {
    for (const auto& tag : tags) {
      if (tag.is_string() && tag.get<std::string>() == kKindTags[k]) return kRobotKinds[k];
    }
  }
  return kRobotKinds[6];
}

std::string NameOfEntry(const std::string& pattern, const nlohmann::json& instances) {
  if (instances.is_array() && !instances.empty() && instances[0].is_string()) {
    const std::string agent = instances[0].get<std::string>();
    pcre2_code* code = Compile(pattern);
    if (code != nullptr) {
      pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
      std::string name;
      if (pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(agent.data()), agent.size(), 0, 0, data, nullptr) >= 0) {
        const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
        name = CleanName(agent.substr(ovector[0], ovector[1] - ovector[0]));
      }
      pcre2_match_data_free(data);
      pcre2_code_free(code);
      if (!name.empty()) return name;
    }
  }
  std::string plain;
  for (char c : pattern) {
    if (c != '\\') plain += c;
  }
  return CleanName(plain);
}

}  // namespace

struct HRobotList::Compiled {
  ~Compiled() {
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
  pcre2_code* code = nullptr;
  pcre2_match_data* data = nullptr;
  bool jit = false;
};

HRobotList::HRobotList() = default;

HRobotList::~HRobotList() = default;

int HRobotList::LoadTable(const std::string& table) {
  robots_.clear();
  groups_.clear();
  cache_.clear();
  compiled_.reset();
  std::string alternation;
  int group = 1;
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t first = line.find('\t');
    const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos || second + 1 >= line.size()) continue;
    HRobot robot{line.substr(first + 1, second - first - 1), line.substr(0, first), line.substr(second + 1)};
    if (robot.name.empty()) continue;
    // Each pattern alone first: one that does not compile would spoil the
    // whole alternation, and its own groups shift the next robot's.
    pcre2_code* alone = Compile(robot.pattern);
    if (alone == nullptr) continue;
    const uint32_t captures = CaptureCount(alone);
    pcre2_code_free(alone);
    if (!alternation.empty()) alternation += '|';
    alternation += '(';
    alternation += robot.pattern;
    alternation += ')';
    groups_.push_back(group);
    group += 1 + static_cast<int>(captures);
    robots_.push_back(std::move(robot));
  }
  if (robots_.empty()) return 0;
  std::unique_ptr<Compiled> compiled(new Compiled);
  compiled->code = Compile(alternation);
  if (compiled->code == nullptr) {
    robots_.clear();
    groups_.clear();
    return 0;
  }
  compiled->jit = pcre2_jit_compile(compiled->code, PCRE2_JIT_COMPLETE) == 0;
  compiled->data = pcre2_match_data_create_from_pattern(compiled->code, nullptr);
  compiled_ = std::move(compiled);
  return Count();
}

int HRobotList::LoadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    LoadTable("");
    return 0;
  }
  std::stringstream text;
  text << in.rdbuf();
  return LoadTable(text.str());
}

const HRobot* HRobotList::MatchUncached(const char* user_agent, size_t length) const {
  if (!compiled_ || user_agent == nullptr || length == 0) return nullptr;
  const auto subject = reinterpret_cast<PCRE2_SPTR>(user_agent);
  const int found = compiled_->jit ? pcre2_jit_match(compiled_->code, subject, length, 0, 0, compiled_->data, nullptr)
                                   : pcre2_match(compiled_->code, subject, length, 0, 0, compiled_->data, nullptr);
  if (found < 0) return nullptr;
  // The branch that matched is the one whose opening group is set; the
  // match stops at the first branch that matches at its place.
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(compiled_->data);
  const int pairs = static_cast<int>(pcre2_get_ovector_count(compiled_->data));
  for (size_t i = 0; i < robots_.size(); ++i) {
    const int g = groups_[i];
    if (g < pairs && ovector[2 * g] != PCRE2_UNSET) return &robots_[i];
  }
  return nullptr;
}

const HRobot* HRobotList::Match(const char* user_agent) {
  if (user_agent == nullptr || *user_agent == 0 || !compiled_) return nullptr;
  std::string agent(user_agent);
  const auto cached = cache_.find(agent);
  if (cached != cache_.end()) return cached->second;
  const HRobot* robot = MatchUncached(agent.data(), agent.size());
  if (cache_.size() >= kMostCachedAgents) cache_.clear();
  cache_.emplace(std::move(agent), robot);
  return robot;
}

HRobotList& HRobotList::Shared() {
  static HRobotList* list = [] {
    auto* made = new HRobotList;  // lives to the end of the process
    HString path(HomeDir);
    path.Append("robots.tsv");
    made->LoadFile(path.CStr());
    return made;
  }();
  return *list;
}

bool MakeRobotTable(const std::string& json, std::string& table) {
  const nlohmann::json list = nlohmann::json::parse(json, nullptr, false);
  if (!list.is_array()) return false;
  std::string made;
  for (const auto& entry : list) {
    if (!entry.is_object() || !entry.contains("pattern") || !entry["pattern"].is_string()) continue;
    const std::string pattern = entry["pattern"].get<std::string>();
    if (pattern.empty() || pattern.find_first_of("\t\n\r") != std::string::npos) continue;
    const std::string name = NameOfEntry(pattern, entry.value("instances", nlohmann::json()));
    if (name.empty()) continue;
    made += KindOfTags(entry.value("tags", nlohmann::json()));
    made += '\t';
    made += name;
    made += '\t';
    made += pattern;
    made += '\n';
  }
  table = std::move(made);
  return true;
}
