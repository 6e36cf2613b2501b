// HLineFacts, what the counters of a day ask about one log line, each fact
// found at most once for all of them, when first asked: the layout, the
// page path, the status, the bytes, the client, the referrer, the user
// agent and the robot it names, and the page rules' answers. A day pass
// (stats/day_pass.h) offers one record to every counter that would see
// the same text, instead of a copy for each to parse.
//
// Each fact is the answer the reader of logread/log_line.h gives for the
// line as a counter sees it: a fact of the whole line is read from the
// whole text, one of the line cut after its path (as ExtractPagePath leaves
// it) from the cut text, so a field after the path reads as missing there
// just as it does for a counter holding the cut line. The record reads
// nothing into the text it was given; readers that write into their line
// get a copy of their own.
//
// Not for a line that begins with "{": a JSON line's readers share one
// parse through the text of the line's buffer (logread/json_line.h), which
// a record of copies would not keep. The fields are whole: a counter's
// buffer that holds the line holds any of its fields.
#ifndef LOGREAD_LINE_FACTS_H_
#define LOGREAD_LINE_FACTS_H_

#include <string>

#include "logread/log_line.h"

class HPageRule;
struct HAgent;
struct HRobot;

class HLineFacts {
 public:
  HLineFacts() = default;
  HLineFacts(const HLineFacts&) = delete;
  HLineFacts& operator=(const HLineFacts&) = delete;

  // Starts the facts of another line: `text`, ended by a zero byte, is
  // borrowed until the next Reset and must not change meanwhile.
  void Reset(const char* text);

  // The whole line, as given.
  const char* Text() const { return text_; }
  // DetectLogFormat of the line.
  int Format() { return (known_ & kFormat) != 0 ? format_ : FindFormat(); }
  // ExtractPagePath of a copy of the line: the path, or null, and its
  // length; the path lies in Cut().
  const char* Path(int* length = nullptr) {
    if ((known_ & kPath) == 0) FindPath();
    if (length != nullptr) *length = path_length_;
    return path_;
  }
  // The line as ExtractPagePath leaves it: cut after its path (the whole
  // line when it has none).
  const char* Cut();
  // A copy of Cut() to write into, valid until the next copy or Reset;
  // `path` receives the path's place in it (null when none).
  char* CutCopy(const char** path);
  // A copy of the whole line to write into, valid as CutCopy's.
  char* WholeCopy();

  // ExtractStatus and ExtractBytes of the whole line.
  int Status() { return Tail().status; }
  long long Bytes() { return Tail().bytes; }
  // ExtractUserAgent and ExtractReferrer of the whole line: the length, or
  // -1 for none; the text ("" for none) lives until the next Reset.
  int Agent(const char** text) {
    const HRequestTail& tail = Tail();
    *text = tail.agent.c_str();
    return tail.agent_length;
  }
  int Referrer(const char** text) {
    const HRequestTail& tail = Tail();
    *text = tail.referrer.c_str();
    return tail.referrer_length;
  }
  // ReadClientAddress of the whole line into a buffer of `size` bytes:
  // the address, or null when it reads none that fits.
  const char* Client(int size);
  // The robot the agent names (HRobotList::Shared().Match of the agent,
  // "" for none), or null.
  const HRobot* Robot() { return (known_ & kRobot) != 0 ? robot_ : FindRobot(); }
  // SharedAgentCache().Parse of the agent ("" for none), asked once for
  // the line: valid until the cache's next Parse, so only while nothing
  // but these facts asks it.
  const HAgent& ParsedAgent();

  // The rule's answers for this line, each found once per rule: LineCounts
  // and InAudience of the whole line, PathCounts of Path(). Every counter
  // asks them of each line: the answer of the first rule, once found,
  // comes inline.
  bool LineCounts(const HPageRule& rule) {
    if (rule_count_ > 0 && rules_[0].rule == &rule && rules_[0].line_counts >= 0) return rules_[0].line_counts != 0;
    return FindLineCounts(rule);
  }
  bool InAudience(const HPageRule& rule) {
    if (rule_count_ > 0 && rules_[0].rule == &rule && rules_[0].in_audience >= 0) return rules_[0].in_audience != 0;
    return FindInAudience(rule);
  }
  bool PathCounts(const HPageRule& rule) {
    if (rule_count_ > 0 && rules_[0].rule == &rule && rules_[0].path_counts >= 0) return rules_[0].path_counts != 0;
    return FindPathCounts(rule);
  }

 private:
  // What is known of the line, by bit.
  enum : unsigned {
    kFormat = 1u << 0,
    kPath = 1u << 1,
    kTail = 1u << 2,
    kClient = 1u << 3,
    kRobot = 1u << 4,
    kParsedAgent = 1u << 5,
  };
  int FindFormat();
  void FindPath();
  bool FindLineCounts(const HPageRule& rule);
  bool FindInAudience(const HPageRule& rule);
  bool FindPathCounts(const HPageRule& rule);

  // A rule's answers: -1 unknown, else 0 or 1.
  struct HRuleAnswers {
    const HPageRule* rule = nullptr;
    signed char line_counts = -1;
    signed char in_audience = -1;
    signed char path_counts = -1;
  };
  // The answers of `rule`: a site has a rule or two (one per audience), so
  // a short list; null when it is full.
  HRuleAnswers* AnswersOf(const HPageRule& rule);
  // The status, the bytes, the referrer and the agent, read together.
  const HRequestTail& Tail() {
    if ((known_ & kTail) == 0) FindTail();
    return tail_;
  }
  void FindTail();
  const HRobot* FindRobot();

  static constexpr int kMostRules = 4;

  const char* text_ = "";
  size_t length_ = 0;
  unsigned known_ = 0;
  int format_ = -1;
  std::string cut_;
  const char* path_ = nullptr;
  int path_length_ = 0;
  HRequestTail tail_;
  std::string client_;  // the address, ended by a zero byte, in room kept from line to line
  size_t client_length_ = 0;
  bool has_client_ = false;
  const HRobot* robot_ = nullptr;
  const HAgent* parsed_agent_ = nullptr;
  std::string copy_;
  HRuleAnswers rules_[kMostRules];
  int rule_count_ = 0;
};

#endif  // LOGREAD_LINE_FACTS_H_
