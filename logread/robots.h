// The robot classifier: which robot, if any, sent a request, judged by its
// user agent against a table of patterns made at build time from the
// maintained list of robot user agents (third_party/crawler-user-agents).
// The table is text, one robot a line: "kind<TAB>name<TAB>pattern", the
// pattern a Perl-compatible regular expression matched anywhere in the
// agent, case sensitive. MakeRobotTable writes it from the list's JSON.
//
// HRobotList finds, for each pattern, text every match of it must hold
// (a literal of three bytes or more in each of its alternatives) and
// indexes those by their first three bytes: an agent is looked up once
// per place, and only the patterns whose literal it holds are matched,
// each compiled to machine code on first use. Patterns without such a
// literal are matched every time, together as one alternation. A cache of
// the agents seen answers a repeated agent with one look-up. A list is not
// safe to share between threads; the robots it gives live as long as it.
#ifndef LOGREAD_ROBOTS_H_
#define LOGREAD_ROBOTS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/keyed_hash.h"

// One robot of the table. `kind` is one of kRobotKinds.
struct HRobot {
  std::string name;
  std::string kind;
  std::string pattern;
};

// The kinds a robot may have, in the order a robot with several tags takes
// the first of: "AI crawler", "search engine", "SEO tool", "monitor",
// "scanner", "feed reader", and "other" for every other tag.
extern const char* const kRobotKinds[7];

class HRobotList {
 public:
  HRobotList();
  HRobotList(const HRobotList&) = delete;
  HRobotList& operator=(const HRobotList&) = delete;
  ~HRobotList();

  // Reads a table (see above) and compiles it, replacing what the list
  // held. Lines that are not "kind<TAB>name<TAB>pattern", and patterns that
  // do not compile, are left out. Returns the number of robots taken.
  int LoadTable(const std::string& table);
  // LoadTable of the file's text; 0 when it cannot be read.
  int LoadFile(const char* path);

  // The robot whose pattern matches the agent, or null for none, a null
  // or an empty agent: of several, the one whose match begins first in the
  // agent, and of those the one listed first. Remembers the answer.
  const HRobot* Match(const char* user_agent);
  // Match without the cache.
  const HRobot* MatchUncached(const char* user_agent, size_t length);
  // The same answer from every pattern at once, as one alternation,
  // without the index: far slower, for checking the index.
  const HRobot* MatchEveryPattern(const char* user_agent, size_t length);

  int Count() const { return static_cast<int>(robots_.size()); }
  const HRobot& At(int i) const { return robots_[i]; }

  // The list of the installed site (robots.tsv beside the program), read on
  // first use; an empty list when the file is missing.
  static HRobotList& Shared();
  // The file Shared reads.
  static std::string SharedPath();

 private:
  struct Pattern;
  struct Alternation;
  struct Key {
    std::string literal;
    int robot;
  };

  static uint32_t Trigram(const char* p) {
    return static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(p[2])) << 16;
  }
  bool MayHold(uint32_t trigram) const {
    const uint32_t bit = (trigram * 2654435761u) >> 16;
    return (filter_[bit >> 6] >> (bit & 63) & 1) != 0;
  }
  // Where the robot's pattern first matches in the agent, or -1.
  long MatchAt(int robot, const char* agent, size_t length);

  std::vector<HRobot> robots_;
  std::vector<std::unique_ptr<Pattern>> patterns_;
  // The literals by their first three bytes, and a bit per hashed trigram
  // that tells most places of an agent that begin none.
  std::unordered_map<uint32_t, std::vector<Key>> keys_;
  std::vector<uint64_t> filter_;
  // The robots without a literal, as one alternation, and every robot.
  std::unique_ptr<Alternation> unkeyed_;
  std::unique_ptr<Alternation> every_;
  std::vector<int> marks_;  // per robot: the agent that last marked it
  int agent_number_ = 0;
  std::vector<int> candidates_;
  std::unordered_map<std::string, const HRobot*, HKeyedTextHash> cache_;
  std::string key_;  // the agent looked up, its room kept from call to call
  // The agent matched last and its answer: a visitor's requests come
  // together.
  std::string last_agent_;
  const HRobot* last_robot_ = nullptr;
};

// Turns the list's JSON (an array of objects with "pattern", "tags" and
// "instances") into a table: the kind from the tags, the name the text the
// pattern matches in the first instance, cut to its letters, digits and
// inner punctuation (the pattern itself, unescaped, when that gives
// nothing). Entries without a pattern are left out. Returns false, leaving
// `table` alone, when the text is no JSON array.
bool MakeRobotTable(const std::string& json, std::string& table);

#endif  // LOGREAD_ROBOTS_H_
