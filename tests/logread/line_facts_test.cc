#include "logread/line_facts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "logread/robots.h"

namespace {

// Lines of every layout and of the ways a field goes missing: escapes, a
// closing quote escaped, an unclosed referrer, no referrer, a request of
// "-", a status or bytes that are no number, "-" fields, an address with
// a port, a comma line, no layout, an empty line.
const char* const kLines[] = {
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /a?x=1 HTTP/1.1\" 200 1234 \"http://r.example/\" \"Bot/1\"\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /a HTTP/1.1\" 304 - \"-\" \"-\"\n",
    "h.example.com - - [05/Jan/1999:10:11:12 +0900] \"GET /q HTTP/1.1\" 200 3 \"a\\\"b\\\\c\" \"x\\x41y\\\"\"\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /open HTTP/1.1\" 200 3 \"http://open/\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /x HTTP/1.1\" 200 3 \"r\"\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /x HTTP/1.1\" 200 3\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"-\" 400 0 \"-\" \"agent\"\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /x HTTP/1.1\" 2000 12x \"r\" \"a\"\n",
    "198.18.0.1 - - [05/Jan/1999:10:11:12 +0900] \"GET /x \\\"y\\\" HTTP/1.1\" 404 0 \"\" \"\"\n",
    "www.example.org:443 [2001:db8::1]:80 - - [05/Jan/1999:10:11:12 +0900] \"GET /v HTTP/1.1\" 200 9 \"-\" \"A\"\n",
    "h.example.com, 99/01/05, 10:11:12, /comma.html, 200\n",
    "h.example.com, 99/01/05, 10:11:12, /comma.html\n",
    "garbage\n",
    "\n",
    "",
};

}  // namespace

TEST(RequestTailTest, AnswersAsTheReadersOfEachFieldDo) {
  for (const char* line : kLines) {
    const int format = DetectLogFormat(line);
    HRequestTail tail;
    ReadRequestTail(line, format, tail);
    EXPECT_EQ(ExtractStatus(line, format), tail.status) << line;
    EXPECT_EQ(ExtractBytes(line, format), tail.bytes) << line;
    char field[kLogLineSize];
    EXPECT_EQ(ExtractReferrer(line, format, field, sizeof field), tail.referrer_length) << line;
    EXPECT_STREQ(field, tail.referrer.c_str()) << line;
    EXPECT_EQ(ExtractUserAgent(line, format, field, sizeof field), tail.agent_length) << line;
    EXPECT_STREQ(field, tail.agent.c_str()) << line;
  }
  // The room kept from a longer line never shows through a shorter one.
  HRequestTail tail;
  ReadRequestTail(kLines[0], kCommonLayout, tail);
  ReadRequestTail(kLines[1], kCommonLayout, tail);
  EXPECT_STREQ("", tail.agent.c_str());
  EXPECT_EQ(0, tail.agent_length);
}

TEST(LineFactsTest, EachFactIsWhatItsReaderGivesForTheLine) {
  HLineFacts facts;
  for (const char* line : kLines) {
    facts.Reset(line);
    const int format = DetectLogFormat(line);
    EXPECT_EQ(format, facts.Format()) << line;
    std::string cut(line);
    int length = -1;
    const char* path = ExtractPagePath(&cut[0], format, length);
    int facts_length = -1;
    const char* facts_path = facts.Path(&facts_length);
    EXPECT_EQ(path == nullptr, facts_path == nullptr) << line;
    EXPECT_EQ(length, facts_length) << line;
    if (path != nullptr && facts_path != nullptr) {
      EXPECT_STREQ(path, facts_path) << line;
    }
    EXPECT_STREQ(cut.c_str(), facts.Cut()) << line;
    // The copies are the texts the readers that write would get.
    const char* copy_path = nullptr;
    EXPECT_STREQ(cut.c_str(), facts.CutCopy(&copy_path)) << line;
    EXPECT_EQ(path == nullptr, copy_path == nullptr) << line;
    EXPECT_STREQ(line, facts.WholeCopy()) << line;
    // A client that fills the buffer is none, as ReadClientAddress reads it.
    for (int size : {4, 11, 12, 64, 256}) {
      char client[256];
      const bool read = ReadClientAddress(line, format, client, size);
      const char* facts_client = facts.Client(size);
      EXPECT_EQ(read, facts_client != nullptr) << line << size;
      if (read && facts_client != nullptr) {
        EXPECT_STREQ(client, facts_client) << line << size;
      }
    }
  }
}

TEST(LineFactsTest, RuleAnswersAreThoseOfTheRuleForEveryAudience) {
  HRobotList::Shared().LoadTable("search engine\tBot\tBot/\n");
  HPageRule everyone("css", "2xx", "198.18.0.0/24", "/x");
  HPageRule humans("css", "", "", "");
  humans.SetAudience(HAudience::kHumans);
  HPageRule robots("", "", "2001:db8::/32", "");
  robots.SetAudience(HAudience::kRobots);
  HLineFacts facts;
  for (const char* line : kLines) {
    facts.Reset(line);
    const int format = DetectLogFormat(line);
    std::string cut(line);
    int length = 0;
    const char* path = ExtractPagePath(&cut[0], format, length);
    for (const HPageRule* rule : {&everyone, &humans, &robots, &everyone}) {
      EXPECT_EQ(rule->LineCounts(line, format), facts.LineCounts(*rule)) << line;
      EXPECT_EQ(rule->InAudience(line, format), facts.InAudience(*rule)) << line;
      if (path != nullptr) {
        EXPECT_EQ(rule->PathCounts(path, length), facts.PathCounts(*rule)) << line;
      }
    }
  }
  HRobotList::Shared().LoadTable("");
}
