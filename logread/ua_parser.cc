#include "logread/ua_parser.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>
#include <yaml.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

const char kAgentRegexesFile[] = "/usr/share/uap-core/regexes.yaml";

namespace {

// Groups kept of a match: $1..$9 and the whole match.
constexpr int kGroups = 10;
// A rule's expression may backtrack only so far on one agent; past that it
// counts as no match rather than holding the request.
constexpr uint32_t kMatchLimit = 200000;
constexpr uint32_t kDepthLimit = 5000;

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string WithVersion(const std::string& name, const std::string& version) {
  return version.empty() ? name : name + " " + version;
}

}  // namespace

std::string HAgent::Browser() const { return WithVersion(family, major); }
std::string HAgent::System() const { return WithVersion(os, os_major); }

// One rule of a list: its expression, its name and version replacements
// (each with whether the list gave it), and the compiled expression.
struct HAgentParser::Rule {
  std::string regex;
  std::string name;
  std::string version;
  bool has_name = false;
  bool has_version = false;
  bool tried = false;
  pcre2_code* code = nullptr;
};

// The match data and limits shared by every rule.
struct HAgentParser::Matcher {
  Matcher() {
    data = pcre2_match_data_create(kGroups, nullptr);
    context = pcre2_match_context_create(nullptr);
    pcre2_set_match_limit(context, kMatchLimit);
    pcre2_set_depth_limit(context, kDepthLimit);
  }
  ~Matcher() {
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
  }
  pcre2_match_data* data;
  pcre2_match_context* context;
  int groups = 0;  // what the last pcre2_match returned
};

HAgentParser::HAgentParser() : matcher_(new Matcher) {}

HAgentParser::~HAgentParser() {
  for (Rule& rule : agent_rules_) pcre2_code_free(rule.code);
  for (Rule& rule : os_rules_) pcre2_code_free(rule.code);
}

bool HAgentParser::Load(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::stringstream text;
  text << in.rdbuf();
  return LoadText(text.str());
}

bool HAgentParser::LoadText(const std::string& text) {
  yaml_parser_t parser;
  if (!yaml_parser_initialize(&parser)) return false;
  yaml_parser_set_input_string(&parser, reinterpret_cast<const unsigned char*>(text.data()), text.size());
  // The list is a mapping of list names to sequences of mappings of
  // scalars; each frame says whether it is a mapping and whether its next
  // node is a key.
  struct Frame {
    bool mapping;
    bool key_next;
  };
  std::vector<Frame> frames;
  std::vector<Rule> agents;
  std::vector<Rule> systems;
  std::vector<Rule>* list = nullptr;  // the list being read, if kept
  std::string key;
  Rule rule;
  bool ok = true;
  for (bool done = false; !done;) {
    yaml_event_t event;
    if (!yaml_parser_parse(&parser, &event)) {
      ok = false;
      break;
    }
    const yaml_event_type_t type = event.type;
    // Whether this node is a key of the mapping it is in, and the key it
    // is the value of otherwise.
    bool is_key = false;
    if ((type == YAML_SCALAR_EVENT || type == YAML_MAPPING_START_EVENT || type == YAML_SEQUENCE_START_EVENT ||
         type == YAML_ALIAS_EVENT) &&
        !frames.empty() && frames.back().mapping) {
      is_key = frames.back().key_next;
      frames.back().key_next = !is_key;
    }
    switch (type) {
      case YAML_STREAM_END_EVENT:
        done = true;
        break;
      case YAML_MAPPING_START_EVENT:
      case YAML_SEQUENCE_START_EVENT:
        if (type == YAML_SEQUENCE_START_EVENT && frames.size() == 1) {
          list = key == "user_agent_parsers" ? &agents : key == "os_parsers" ? &systems : nullptr;
        }
        if (type == YAML_MAPPING_START_EVENT && frames.size() == 2) rule = Rule();
        frames.push_back({type == YAML_MAPPING_START_EVENT, true});
        break;
      case YAML_MAPPING_END_EVENT:
      case YAML_SEQUENCE_END_EVENT:
        if (type == YAML_MAPPING_END_EVENT && frames.size() == 3 && list != nullptr && !rule.regex.empty()) {
          list->push_back(std::move(rule));
        }
        if (!frames.empty()) frames.pop_back();
        if (frames.size() == 1) list = nullptr;
        break;
      case YAML_SCALAR_EVENT: {
        const std::string value(reinterpret_cast<const char*>(event.data.scalar.value), event.data.scalar.length);
        if (is_key) {
          key = value;
        } else if (frames.size() == 3 && list != nullptr) {
          if (key == "regex") {
            rule.regex = value;
          } else if (key == "family_replacement" || key == "os_replacement") {
            rule.name = value;
            rule.has_name = true;
          } else if (key == "v1_replacement" || key == "os_v1_replacement") {
            rule.version = value;
            rule.has_version = true;
          }
        }
        break;
      }
      default:
        break;
    }
    yaml_event_delete(&event);
  }
  yaml_parser_delete(&parser);
  if (!ok || (agents.empty() && systems.empty())) return false;
  for (Rule& old : agent_rules_) pcre2_code_free(old.code);
  for (Rule& old : os_rules_) pcre2_code_free(old.code);
  agent_rules_ = std::move(agents);
  os_rules_ = std::move(systems);
  compiled_ = 0;
  failed_ = 0;
  return true;
}

bool HAgentParser::Compile(Rule& rule) {
  if (rule.tried) return rule.code != nullptr;
  rule.tried = true;
  int error = 0;
  PCRE2_SIZE offset = 0;
  // Bytes, not UTF-8: agents are untrusted and need not be valid text,
  // and the rules' literals match byte for byte either way.
  rule.code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(rule.regex.data()), rule.regex.size(), 0, &error, &offset, nullptr);
  if (rule.code == nullptr) {
    ++failed_;
    return false;
  }
  // Without JIT (an unsupported machine) the interpreter matches alike.
  pcre2_jit_compile(rule.code, PCRE2_JIT_COMPLETE);
  ++compiled_;
  return true;
}

bool HAgentParser::IsLoaded() const { return !agent_rules_.empty() || !os_rules_.empty(); }

int HAgentParser::RuleCount() const { return static_cast<int>(agent_rules_.size() + os_rules_.size()); }

void HAgentParser::CompileAll() {
  for (Rule& rule : agent_rules_) Compile(rule);
  for (Rule& rule : os_rules_) Compile(rule);
}

const HAgentParser::Rule* HAgentParser::FirstMatch(std::vector<Rule>& rules, const char* text, size_t length) {
  for (Rule& rule : rules) {
    if (!Compile(rule)) continue;
    const int groups =
        pcre2_match(rule.code, reinterpret_cast<PCRE2_SPTR>(text), length, 0, 0, matcher_->data, matcher_->context);
    // 0 means more groups than kept: the kept ones are still set. A
    // matching limit or any other error is no match.
    if (groups >= 0) {
      matcher_->groups = groups == 0 ? kGroups : groups;
      return &rule;
    }
  }
  return nullptr;
}

std::string HAgentParser::Group(int n, const char* text) const {
  if (n >= matcher_->groups) return std::string();
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matcher_->data);
  if (ovector[2 * n] == PCRE2_UNSET) return std::string();
  return std::string(text + ovector[2 * n], ovector[2 * n + 1] - ovector[2 * n]);
}

std::string HAgentParser::Substitute(const std::string& replacement, const char* text) const {
  std::string out;
  for (size_t i = 0; i < replacement.size(); ++i) {
    if (replacement[i] == '$' && i + 1 < replacement.size() && replacement[i + 1] >= '1' && replacement[i + 1] <= '9') {
      out += Group(replacement[i + 1] - '0', text);
      ++i;
    } else {
      out += replacement[i];
    }
  }
  return out;
}

HAgent HAgentParser::Parse(const char* user_agent) {
  HAgent agent;
  if (user_agent == nullptr) user_agent = "";
  const size_t length = strnlen(user_agent, kLongestAgent);
  if (const Rule* rule = FirstMatch(agent_rules_, user_agent, length)) {
    const std::string family = Trimmed(rule->has_name ? Substitute(rule->name, user_agent) : Group(1, user_agent));
    if (!family.empty()) agent.family = family;
    agent.major = Trimmed(rule->has_version ? Substitute(rule->version, user_agent) : Group(2, user_agent));
  }
  if (const Rule* rule = FirstMatch(os_rules_, user_agent, length)) {
    const std::string os = Trimmed(rule->has_name ? Substitute(rule->name, user_agent) : Group(1, user_agent));
    if (!os.empty()) agent.os = os;
    agent.os_major = Trimmed(rule->has_version ? Substitute(rule->version, user_agent) : Group(2, user_agent));
  }
  return agent;
}

void HAgentCache::LoadOnce() {
  if (tried_) return;
  tried_ = true;
  parser_.Load(path_.c_str());
}

bool HAgentCache::Ready() {
  LoadOnce();
  return parser_.IsLoaded();
}

const HAgent& HAgentCache::Parse(const char* user_agent) {
  LoadOnce();
  if (user_agent == nullptr) user_agent = "";
  const std::string_view key(user_agent, strnlen(user_agent, HAgentParser::kLongestAgent));
  auto found = answers_.find(key);
  if (found != answers_.end()) return found->second;
  if (answers_.size() >= most_) {
    answers_.clear();
    agents_.clear();
  }
  agents_.emplace_back(key);
  const std::string& text = agents_.back();
  HAgent agent = parser_.Parse(text.c_str());
  agent.browser_text = agent.Browser();
  agent.system_text = agent.System();
  return answers_.emplace(std::string_view(text), std::move(agent)).first->second;
}

HAgentCache& SharedAgentCache() {
  static HAgentCache cache;
  return cache;
}
