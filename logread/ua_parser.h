// The browser and the operating system of a user agent, read by the rules
// of the maintained regular-expression list of the system's uap-core
// package (regexes.yaml): its "user_agent_parsers" give the browser family
// and major version, its "os_parsers" the system and its major version.
// Each list is tried in order and the first rule that matches wins; a
// rule's replacements (family_replacement, v1_replacement, os_replacement,
// os_v1_replacement) take the place of the captured groups, with $1 to $9
// standing for the groups. No match gives "Other" and no version.
//
// HAgentParser owns the rules and their compiled expressions; a rule is
// compiled (and JIT-compiled) the first time a parse reaches it, so a parse
// that a browser's early rule settles compiles only the rules before it.
// HAgentCache parses each distinct agent once and owns a parser.
#ifndef LOGREAD_UA_PARSER_H_
#define LOGREAD_UA_PARSER_H_

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/keyed_hash.h"

// Where the uap-core package installs its list.
extern const char kAgentRegexesFile[];

// What a user agent says: the browser ("Chrome", "131") and the system
// ("Windows", "10"). A version is empty when the agent gives none.
struct HAgent {
  std::string family = "Other";
  std::string major;
  std::string os = "Other";
  std::string os_major;

  // "Chrome 131", "Linux": the family, a blank and the major version when
  // there is one.
  std::string Browser() const;
  std::string System() const;
  // Browser() and System() as HAgentCache keeps them with its answers,
  // made once per agent; empty in an answer of HAgentParser itself.
  std::string browser_text;
  std::string system_text;
};

class HAgentParser {
 public:
  // Only so much of an agent is read: real agents are far shorter, and the
  // cost of a parse stays bounded for any input.
  static constexpr size_t kLongestAgent = 2048;

  HAgentParser();
  HAgentParser(const HAgentParser&) = delete;
  HAgentParser& operator=(const HAgentParser&) = delete;
  ~HAgentParser();

  // Reads the rules of the YAML file `path` (the expressions are compiled
  // later, as parses need them). False, with no rules kept, when the file
  // cannot be read or is no such list.
  bool Load(const char* path);
  // Load from YAML text instead of a file.
  bool LoadText(const std::string& text);
  bool IsLoaded() const;

  // The browser and the system of `user_agent` (null reads as empty). A
  // parser without rules gives "Other" for both.
  HAgent Parse(const char* user_agent);

  // Compiles every rule now; used to measure what lazy compiling saves.
  void CompileAll();
  int RuleCount() const;
  // Rules compiled so far, and those whose expression PCRE2 refused (such a
  // rule never matches).
  int CompiledCount() const { return compiled_; }
  int FailedCount() const { return failed_; }

 private:
  struct Rule;
  struct Matcher;

  // The first rule of `rules` that matches the first `length` bytes of
  // `text`, with its groups in the matcher; null when none does.
  const Rule* FirstMatch(std::vector<Rule>& rules, const char* text, size_t length);
  bool Compile(Rule& rule);
  // `replacement` with $1..$9 replaced by the groups of the last match.
  std::string Substitute(const std::string& replacement, const char* text) const;
  std::string Group(int n, const char* text) const;

  std::vector<Rule> agent_rules_;
  std::vector<Rule> os_rules_;
  std::unique_ptr<Matcher> matcher_;
  int compiled_ = 0;
  int failed_ = 0;
};

// Parses each distinct agent once. Holds at most `most` answers and starts
// again empty when full, so a log of endless distinct agents costs bounded
// memory.
class HAgentCache {
 public:
  static constexpr size_t kMostAgents = 50000;

  explicit HAgentCache(size_t most = kMostAgents) : most_(most) {}

  // The answer for `user_agent`, owned by the cache and valid until the
  // next call. Loads the rules from `path` on the first call.
  const HAgent& Parse(const char* user_agent);
  // Whether the rules could be read (loading them if not done yet).
  bool Ready();
  // Whether the rules were read (or their reading tried) yet.
  bool IsLoadTried() const { return tried_; }
  void SetPath(const char* path) { path_ = path; }
  HAgentParser& Parser() { return parser_; }
  size_t Size() const { return answers_.size(); }

 private:
  void LoadOnce();

  size_t most_;
  std::string path_ = kAgentRegexesFile;
  bool tried_ = false;
  HAgentParser parser_;
  // The answers by agent; the keys view the texts in agents_, so a look-up
  // copies nothing.
  std::deque<std::string> agents_;
  std::unordered_map<std::string_view, HAgent, HKeyedTextHash> answers_;
};

// The process's one cache, made on first use: the rules are read and
// compiled only by a request that counts agents.
HAgentCache& SharedAgentCache();

#endif  // LOGREAD_UA_PARSER_H_
