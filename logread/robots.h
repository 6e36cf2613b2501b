// The robot classifier: which robot, if any, sent a request, judged by its
// user agent against a table of patterns made at build time from the
// maintained list of robot user agents (third_party/crawler-user-agents).
// The table is text, one robot a line: "kind<TAB>name<TAB>pattern", the
// pattern a Perl-compatible regular expression matched anywhere in the
// agent, case sensitive. MakeRobotTable writes it from the list's JSON.
//
// HRobotList compiles every pattern into one alternation, compiled to
// machine code where the platform allows, so that an agent costs one match
// whatever the number of robots; a cache of the agents seen answers a
// repeated agent with one look-up. A list is not safe to share between
// threads; the robots it gives live as long as the list.
#ifndef LOGREAD_ROBOTS_H_
#define LOGREAD_ROBOTS_H_

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

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

  // The robot whose pattern matches the agent (the leftmost match in the
  // agent; at one place, the robot listed first), or null for none, a null
  // or an empty agent. Remembers the answer for the agent.
  const HRobot* Match(const char* user_agent);
  // Match without the cache.
  const HRobot* MatchUncached(const char* user_agent, size_t length) const;

  int Count() const { return static_cast<int>(robots_.size()); }
  const HRobot& At(int i) const { return robots_[i]; }

  // The list of the installed site (robots.tsv beside the program), read on
  // first use; an empty list when the file is missing.
  static HRobotList& Shared();

 private:
  struct Compiled;

  std::vector<HRobot> robots_;
  // The capture group that opens each robot's branch of the alternation.
  std::vector<int> groups_;
  std::unique_ptr<Compiled> compiled_;
  std::unordered_map<std::string, const HRobot*> cache_;
};

// Turns the list's JSON (an array of objects with "pattern", "tags" and
// "instances") into a table: the kind from the tags, the name the text the
// pattern matches in the first instance, cut to its letters, digits and
// inner punctuation (the pattern itself, unescaped, when that gives
// nothing). Entries without a pattern are left out. Returns false, leaving
// `table` alone, when the text is no JSON array.
bool MakeRobotTable(const std::string& json, std::string& table);

#endif  // LOGREAD_ROBOTS_H_
