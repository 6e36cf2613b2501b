#include "logread/line_facts.h"

#include <cstring>

#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "logread/robots.h"
#include "logread/ua_parser.h"

void HLineFacts::Reset(const char* text) {
  text_ = text == nullptr ? "" : text;
  length_ = strlen(text_);
  known_ = 0;
  rule_count_ = 0;
}

int HLineFacts::FindFormat() {
  format_ = DetectLogFormat(text_);
  known_ |= kFormat;
  return format_;
}

void HLineFacts::FindPath() {
  cut_.assign(text_, length_);
  path_ = ExtractPagePath(&cut_[0], Format(), path_length_);
  known_ |= kPath;
}

const char* HLineFacts::Cut() {
  Path();
  return cut_.c_str();
}

char* HLineFacts::CutCopy(const char** path) {
  const char* cut = Cut();
  copy_.assign(cut);  // up to the zero byte after the path
  *path = path_ == nullptr ? nullptr : copy_.data() + (path_ - cut);
  return &copy_[0];
}

char* HLineFacts::WholeCopy() {
  copy_.assign(text_, length_);
  return &copy_[0];
}

void HLineFacts::FindTail() {
  ReadRequestTail(text_, Format(), tail_);
  known_ |= kTail;
}

const char* HLineFacts::Client(int size) {
  if ((known_ & kClient) == 0) {
    // The buffer keeps its room from line to line.
    if (client_.size() < length_ + 1) client_.resize(length_ + 1);
    has_client_ = ReadClientAddress(text_, Format(), &client_[0], static_cast<int>(length_ + 1));
    client_length_ = has_client_ ? strlen(client_.c_str()) : 0;
    known_ |= kClient;
  }
  // ReadClientAddress takes no address that fills the buffer.
  return has_client_ && client_length_ < static_cast<size_t>(size) ? client_.c_str() : nullptr;
}

const HRobot* HLineFacts::FindRobot() {
  const char* agent = nullptr;
  Agent(&agent);
  robot_ = HRobotList::Shared().Match(agent);
  known_ |= kRobot;
  return robot_;
}

const HAgent& HLineFacts::ParsedAgent() {
  if ((known_ & kParsedAgent) == 0) {
    const char* agent = nullptr;
    Agent(&agent);
    parsed_agent_ = &SharedAgentCache().Parse(agent);
    known_ |= kParsedAgent;
  }
  return *parsed_agent_;
}

HLineFacts::HRuleAnswers* HLineFacts::AnswersOf(const HPageRule& rule) {
  for (int i = 0; i < rule_count_; ++i) {
    if (rules_[i].rule == &rule) return &rules_[i];
  }
  if (rule_count_ == kMostRules) return nullptr;
  HRuleAnswers& answers = rules_[rule_count_++];
  answers = HRuleAnswers();
  answers.rule = &rule;
  return &answers;
}

bool HLineFacts::FindLineCounts(const HPageRule& rule) {
  HRuleAnswers* answers = AnswersOf(rule);
  if (answers == nullptr) return rule.LineCounts(*this);
  if (answers->line_counts < 0) answers->line_counts = rule.LineCounts(*this) ? 1 : 0;
  return answers->line_counts != 0;
}

bool HLineFacts::FindInAudience(const HPageRule& rule) {
  HRuleAnswers* answers = AnswersOf(rule);
  if (answers == nullptr) return rule.InAudience(*this);
  if (answers->in_audience < 0) answers->in_audience = rule.InAudience(*this) ? 1 : 0;
  return answers->in_audience != 0;
}

bool HLineFacts::FindPathCounts(const HPageRule& rule) {
  int length = 0;
  const char* path = Path(&length);
  HRuleAnswers* answers = AnswersOf(rule);
  if (answers == nullptr) return rule.PathCounts(path, length);
  if (answers->path_counts < 0) answers->path_counts = rule.PathCounts(path, length) ? 1 : 0;
  return answers->path_counts != 0;
}
