#include "stats/day_pass.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "logread/log_line.h"
#include "tests/test_util.h"

namespace {

// Lines around the edges of a read: of 1021 to 1025 bytes with their line
// feed, longer lines of the common layout and of JSON, a JSON line past
// the longest one gathered, a zero byte inside a line, empty lines, and a
// last line without a line feed.
std::string EdgeLines() {
  std::string text;
  for (int size = 1021; size <= 1025; ++size) text += std::string(static_cast<size_t>(size - 1), 'a') + "\n";
  text += "\n" + std::string(3000, 'b') + "\n";
  text += "{" + std::string(5000, 'j') + "}\n";
  text += "{" + std::string(kLongestJsonLine + 10, 'k') + "}\n\n";
  text += std::string("ab") + '\0' + "cd\n";
  text += "{" + std::string(1500, 'z') + '\0' + std::string(900, 'y') + "\n";
  text += std::string(1022, 'e');  // no line feed
  return text;
}

// Keeps what it is offered, then cuts its copy, which no other counter
// may see.
class HRecorder : public IDayCounter {
 public:
  explicit HRecorder(int limit) : IDayCounter(limit) {}
  bool Offer(char* line) override {
    seen.push_back(line);
    if (strlen(line) > 3) line[3] = 0;
    return seen.size() % 3 != 0;
  }
  std::vector<std::string> seen;
};

}  // namespace

TEST(HDayPassTest, EveryCounterSeesTheLinesItsOwnReadWouldShow) {
  ScratchDir dir;
  const std::string file = dir / "day.log";
  const std::string text = EdgeLines();
  FILE* out = fopen(file.c_str(), "w");
  ASSERT_NE(nullptr, out);
  fwrite(text.data(), 1, text.size(), out);
  fclose(out);

  HDayPass pass;
  std::vector<HRecorder*> recorders;
  for (int limit : {kLogLineSize, kLogLineSize - 1, kLogLineSize}) {
    recorders.push_back(new HRecorder(limit));
    pass.Add(std::unique_ptr<IDayCounter>(recorders.back()), nullptr);
  }
  ASSERT_TRUE(pass.Run(file.c_str()));
  for (HRecorder* recorder : recorders) {
    std::vector<std::string> expected;
    const int counted = CountLogLines(file.c_str(), recorder->Limit(), [&](char* line) {
      expected.push_back(line);
      return expected.size() % 3 != 0;
    });
    EXPECT_EQ(expected, recorder->seen) << recorder->Limit();
    EXPECT_EQ(counted, recorder->Counted());
  }
  EXPECT_NE(recorders[0]->seen, recorders[1]->seen);  // the limits cut differently
}

TEST(HDayPassTest, AFileThatCannotBeOpenedFinishesNothing) {
  ScratchDir dir;
  bool finished = false;
  HDayPass pass;
  pass.Add(std::unique_ptr<IDayCounter>(new HRecorder(kLogLineSize)), [&](IDayCounter&) { finished = true; });
  EXPECT_FALSE(pass.Run((dir / "missing.log").c_str()));
  EXPECT_FALSE(finished);
  EXPECT_FALSE(HDayPass().Run());  // no file named at all
  EXPECT_EQ(-1, CountDayFileLines((dir / "missing.log").c_str(), std::unique_ptr<IDayCounter>(new HRecorder(2))));
}

// The kept fields of the line asked about last are cut to each caller's
// room as a fresh decoding would cut them, and a line cut since is read
// again.
TEST(HDayPassTest, KeptFieldsAnswerLikeAFreshReading) {
  char a[] = "h - - [01/Nov/2026:10:00:00 +0000] \"GET /p HTTP/1.1\" 200 5 \"http://r.example/\" \"Mozilla\"";
  char b[] = "h - - [01/Nov/2026:10:00:00 +0000] \"GET /q HTTP/1.1\" 404 5 \"-\" \"-abc\"";
  struct Case {
    char* line;
    bool agent;
    int size;
    int length;
    const char* text;
  };
  const Case cases[] = {
      {a, true, 1024, 7, "Mozilla"}, {a, true, 4, 3, "Moz"},  {b, true, 2, 0, ""},
      {b, true, 1024, 4, "-abc"},    {b, false, 1024, 0, ""}, {a, false, 1024, 17, "http://r.example/"},
      {a, false, 5, 4, "http"},      {a, true, 1024, 7, "Mozilla"},
  };
  for (const Case& c : cases) {
    char out[1024];
    const int length = c.agent ? ExtractUserAgent(c.line, kCommonLayout, out, c.size)
                               : ExtractReferrer(c.line, kCommonLayout, out, c.size);
    EXPECT_EQ(c.length, length) << c.line << " / " << c.size;
    EXPECT_STREQ(c.text, out) << c.line << " / " << c.size;
  }
  int path_length = 0;
  ASSERT_NE(nullptr, ExtractPagePath(a, kCommonLayout, path_length));  // cuts the line after "/p"
  char out[64];
  EXPECT_EQ(-1, ExtractUserAgent(a, kCommonLayout, out, sizeof out));
  EXPECT_EQ(-1, ExtractStatus(a, kCommonLayout));
  EXPECT_EQ(404, ExtractStatus(b, kCommonLayout));
}

// A line's facts are read in place in the pass's buffer, a zero byte set
// after the line while it is offered: a line that ends a read exactly, and
// the line after it, come whole and unchanged.
TEST(HDayPassTest, FactsOfLinesThatEndAReadExactly) {
  class HFactsRecorder : public IDayCounter {
   public:
    HFactsRecorder() : IDayCounter(kLogLineSize) {}
    bool Offer(char*) override { return false; }
    bool OfferFacts(HLineFacts& facts) override {
      seen.push_back(facts.Text());
      return true;
    }
    std::vector<std::string> seen;
  };
  std::vector<std::string> lines;
  size_t size = 0;
  // Lines of 1000 bytes up to 256 KiB, one that ends there, then more,
  // through a second read and a last line without a line feed.
  while (size + 1000 <= 256 * 1024) {
    lines.push_back(std::string(999, static_cast<char>('a' + lines.size() % 26)) + "\n");
    size += 1000;
  }
  lines.push_back(std::string(256 * 1024 - size - 1, 'E') + "\n");
  for (int i = 0; i < 300; ++i) lines.push_back("N" + std::string(998, 'n') + "\n");
  lines.push_back("last");
  ScratchDir dir;
  const std::string file = dir / "day.log";
  FILE* out = fopen(file.c_str(), "w");
  ASSERT_NE(nullptr, out);
  for (const std::string& line : lines) fwrite(line.data(), 1, line.size(), out);
  fclose(out);

  HDayPass pass;
  auto* recorder = new HFactsRecorder;
  pass.Add(std::unique_ptr<IDayCounter>(recorder), nullptr);
  ASSERT_TRUE(pass.Run(file.c_str()));
  EXPECT_EQ(lines, recorder->seen);
}
