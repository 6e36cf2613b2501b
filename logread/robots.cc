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

// Splits a pattern at its top-level "|"; empty when it holds an inline
// option ("(?"), which may change what its literals match.
std::vector<std::string> TopAlternatives(const std::string& pattern) {
  std::vector<std::string> alternatives;
  if (pattern.find("(?") != std::string::npos) return alternatives;
  int depth = 0;
  bool in_class = false;
  size_t from = 0;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      ++i;
    } else if (in_class) {
      in_class = c != ']';
    } else if (c == '[') {
      in_class = true;
      if (i + 1 < pattern.size() && pattern[i + 1] == ']') ++i;
      if (i + 2 < pattern.size() && pattern[i + 1] == '^' && pattern[i + 2] == ']') i += 2;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == '|' && depth == 0) {
      alternatives.push_back(pattern.substr(from, i - from));
      from = i + 1;
    }
  }
  alternatives.push_back(pattern.substr(from));
  return alternatives;
}

// The end of the group or class that opens at `at`, just past it.
size_t SkipGroup(const std::string& text, size_t at) {
  int depth = 0;
  bool in_class = false;
  for (size_t i = at; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      ++i;
    } else if (in_class) {
      if (c == ']') {
        in_class = false;
        if (depth == 0) return i + 1;
      }
    } else if (c == '[') {
      in_class = true;
      if (i + 1 < text.size() && text[i + 1] == ']') ++i;
      if (i + 2 < text.size() && text[i + 1] == '^' && text[i + 2] == ']') i += 2;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i + 1;
    }
  }
  return text.size();
}

// The longest run of plain characters every match of one alternative
// (no top-level "|") holds; empty when there is none or the alternative
// holds an escape it does not know.
std::string RequiredLiteral(const std::string& alternative) {
  std::string best, run;
  const auto end_run = [&] {
    if (run.size() > best.size()) best = run;
    run.clear();
  };
  for (size_t i = 0; i < alternative.size();) {
    const char c = alternative[i];
    if (c == '*' || c == '?' || c == '{' || c == '+') {
      // The character before a quantifier that allows none is not needed.
      if (c != '+' && !run.empty()) run.pop_back();
      end_run();
      i = c == '{' ? alternative.find('}', i) : i;
      if (i == std::string::npos) return "";
      ++i;
      if (i < alternative.size() && (alternative[i] == '?' || alternative[i] == '+')) ++i;
      continue;
    }
    if (c == '\\') {
      if (i + 1 >= alternative.size()) return "";
      const char e = alternative[i + 1];
      if (isalnum(static_cast<unsigned char>(e))) {
        if (strchr("dDwWsSbB", e) == nullptr) return "";
        end_run();
      } else {
        run += e;
      }
      i += 2;
      continue;
    }
    if (c == '(' || c == '[') {
      end_run();
      i = SkipGroup(alternative, i);
      continue;
    }
    if (c == ')' || c == ']' || c == '|') return "";
    if (c == '.' || c == '^' || c == '$') {
      end_run();
    } else {
      run += c;
    }
    ++i;
  }
  end_run();
  return best;
}

}  // namespace

struct HRobotList::Pattern {
  ~Pattern() {
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
  pcre2_code* code = nullptr;
  pcre2_match_data* data = nullptr;  // made with the machine code
  bool jit = false;
};

// Several robots' patterns as one: "(p1)|(p2)|...", each branch's robot
// known by the capture group that opens it.
struct HRobotList::Alternation {
  ~Alternation() {
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
  // Compiles the patterns of `robots` of `list`; false when it fails.
  bool Make(const std::vector<HRobot>& list, const std::vector<int>& robots) {
    std::string text;
    int group = 1;
    for (const int r : robots) {
      pcre2_code* alone = Compile(list[r].pattern);
      if (alone == nullptr) continue;
      const uint32_t captures = CaptureCount(alone);
      pcre2_code_free(alone);
      if (!text.empty()) text += '|';
      text += '(';
      text += list[r].pattern;
      text += ')';
      groups.push_back({group, r});
      group += 1 + static_cast<int>(captures);
    }
    code = Compile(text);
    if (code == nullptr) return false;
    jit = pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) == 0;
    data = pcre2_match_data_create_from_pattern(code, nullptr);
    return true;
  }
  // The robot of the first match and where it begins, or -1.
  int Match(const char* agent, size_t length, long* at) const {
    const auto subject = reinterpret_cast<PCRE2_SPTR>(agent);
    const int found = jit ? pcre2_jit_match(code, subject, length, 0, 0, data, nullptr)
                          : pcre2_match(code, subject, length, 0, 0, data, nullptr);
    if (found < 0) return -1;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    const int pairs = static_cast<int>(pcre2_get_ovector_count(data));
    for (const auto& g : groups) {
      if (g.first < pairs && ovector[2 * g.first] != PCRE2_UNSET) {
        *at = static_cast<long>(ovector[0]);
        return g.second;
      }
    }
    return -1;
  }

  pcre2_code* code = nullptr;
  pcre2_match_data* data = nullptr;
  bool jit = false;
  std::vector<std::pair<int, int>> groups;  // opening group, robot
};

HRobotList::HRobotList() = default;

HRobotList::~HRobotList() = default;

int HRobotList::LoadTable(const std::string& table) {
  robots_.clear();
  patterns_.clear();
  keys_.clear();
  filter_.assign(1024, 0);
  unkeyed_.reset();
  every_.reset();
  cache_.clear();
  last_agent_.clear();
  last_robot_ = nullptr;
  std::vector<int> unkeyed;
  std::istringstream lines(table);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t first = line.find('\t');
    const size_t second = first == std::string::npos ? first : line.find('\t', first + 1);
    if (second == std::string::npos || second + 1 >= line.size()) continue;
    HRobot robot{line.substr(first + 1, second - first - 1), line.substr(0, first), line.substr(second + 1)};
    if (robot.name.empty()) continue;
    std::unique_ptr<Pattern> pattern(new Pattern);
    pattern->code = Compile(robot.pattern);
    if (pattern->code == nullptr) continue;
    const int number = Count();
    // A literal of every alternative, or the robot is matched every time.
    std::vector<std::string> literals;
    for (const std::string& alternative : TopAlternatives(robot.pattern)) {
      literals.push_back(RequiredLiteral(alternative));
      if (literals.back().size() < 3) {
        literals.clear();
        break;
      }
    }
    if (literals.empty()) unkeyed.push_back(number);
    for (const std::string& literal : literals) {
      const uint32_t trigram = Trigram(literal.data());
      keys_[trigram].push_back({literal, number});
      const uint32_t bit = (trigram * 2654435761u) >> 16;
      filter_[bit >> 6] |= uint64_t{1} << (bit & 63);
    }
    robots_.push_back(std::move(robot));
    patterns_.push_back(std::move(pattern));
  }
  marks_.assign(robots_.size(), 0);
  agent_number_ = 0;
  if (!unkeyed.empty()) {
    unkeyed_.reset(new Alternation);
    if (!unkeyed_->Make(robots_, unkeyed)) unkeyed_.reset();
  }
  return Count();
}

int HRobotList::LoadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return LoadTable("");
  std::stringstream text;
  text << in.rdbuf();
  return LoadTable(text.str());
}

long HRobotList::MatchAt(int robot, const char* agent, size_t length) {
  Pattern& pattern = *patterns_[robot];
  if (pattern.data == nullptr) {
    pattern.jit = pcre2_jit_compile(pattern.code, PCRE2_JIT_COMPLETE) == 0;
    pattern.data = pcre2_match_data_create(1, nullptr);
  }
  const auto subject = reinterpret_cast<PCRE2_SPTR>(agent);
  // One pair is enough: a match with more groups answers 0 and still sets
  // where it begins.
  const int found = pattern.jit ? pcre2_jit_match(pattern.code, subject, length, 0, 0, pattern.data, nullptr)
                                : pcre2_match(pattern.code, subject, length, 0, 0, pattern.data, nullptr);
  return found < 0 ? -1 : static_cast<long>(pcre2_get_ovector_pointer(pattern.data)[0]);
}

const HRobot* HRobotList::MatchUncached(const char* user_agent, size_t length) {
  if (user_agent == nullptr || length == 0 || robots_.empty()) return nullptr;
  if (++agent_number_ == 0x7fffffff) {
    marks_.assign(robots_.size(), 0);
    agent_number_ = 1;
  }
  candidates_.clear();
  for (size_t at = 0; at + 3 <= length; ++at) {
    const uint32_t trigram = Trigram(user_agent + at);
    if (!MayHold(trigram)) continue;
    const auto keys = keys_.find(trigram);
    if (keys == keys_.end()) continue;
    for (const Key& key : keys->second) {
      if (marks_[key.robot] == agent_number_ || length - at < key.literal.size() ||
          memcmp(user_agent + at, key.literal.data(), key.literal.size()) != 0) {
        continue;
      }
      marks_[key.robot] = agent_number_;
      candidates_.push_back(key.robot);
    }
  }
  int best = -1;
  long best_at = -1;
  if (unkeyed_) best = unkeyed_->Match(user_agent, length, &best_at);
  for (const int robot : candidates_) {
    const long at = MatchAt(robot, user_agent, length);
    if (at >= 0 && (best < 0 || at < best_at || (at == best_at && robot < best))) {
      best = robot;
      best_at = at;
    }
  }
  return best < 0 ? nullptr : &robots_[best];
}

const HRobot* HRobotList::MatchEveryPattern(const char* user_agent, size_t length) {
  if (user_agent == nullptr || length == 0 || robots_.empty()) return nullptr;
  if (!every_) {
    std::vector<int> all(robots_.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<int>(i);
    every_.reset(new Alternation);
    if (!every_->Make(robots_, all)) return nullptr;
  }
  long at = -1;
  const int robot = every_->Match(user_agent, length, &at);
  return robot < 0 ? nullptr : &robots_[robot];
}

const HRobot* HRobotList::Match(const char* user_agent) {
  if (user_agent == nullptr || *user_agent == 0 || robots_.empty()) return nullptr;
  if (!last_agent_.empty() && last_agent_ == user_agent) return last_robot_;
  key_.assign(user_agent);
  const HRobot* robot = nullptr;
  const auto cached = cache_.find(key_);
  if (cached != cache_.end()) {
    robot = cached->second;
  } else {
    robot = MatchUncached(key_.data(), key_.size());
    if (cache_.size() >= kMostCachedAgents) cache_.clear();
    cache_.emplace(key_, robot);
  }
  last_agent_.assign(key_);
  last_robot_ = robot;
  return robot;
}

std::string HRobotList::SharedPath() { return std::string(HomeDir.CStr()) + "robots.tsv"; }

HRobotList& HRobotList::Shared() {
  static HRobotList* list = [] {
    auto* made = new HRobotList;  // lives to the end of the process
    made->LoadFile(SharedPath().c_str());
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
