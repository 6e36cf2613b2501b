#include "core/answers.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

// Every answer keeps its own bytes: thousands of them, short and long, in
// shared blocks and in blocks of their own, all still intact at the end.
TEST(AnswerStoreTest, AnswersStayIntactWhateverFollows) {
  std::vector<std::pair<const char*, std::string>> kept;
  for (int i = 0; i < 20000; ++i) {
    const std::string text(static_cast<size_t>(i % 7 == 0 ? 5000 + i : i % 50), static_cast<char>('a' + i % 26));
    kept.emplace_back(KeepAnswer(text.c_str()), text);
  }
  for (const auto& [answer, text] : kept) ASSERT_EQ(text, answer);
  EXPECT_STREQ("ab", KeepAnswer("abc", 2));
  EXPECT_EQ(nullptr, KeepAnswer(nullptr));
  EXPECT_STREQ("", KeepAnswer(""));
}

TEST(AnswerStoreTest, NumbersAndFormats) {
  const struct { int value; const char* text; } cases[] = {
      {0, "0"}, {7, "7"}, {-1, "-1"}, {1999, "1999"}, {INT_MAX, "2147483647"}, {INT_MIN, "-2147483648"}};
  for (const auto& c : cases) EXPECT_STREQ(c.text, NumberAnswer(c.value));
  EXPECT_STREQ("#00ff80", FormatAnswer("#%06x", 0xff80));
  const std::string wide(300, 'w');
  EXPECT_EQ(wide + "!", FormatAnswer("%s!", wide.c_str()));  // longer than the small buffer
}

TEST(AnswerStoreTest, UsableAgainAfterRelease) {
  KeepAnswer(std::string(100, 'a').c_str());
  ReleaseAnswers();
  // A store that kept its current block would write into freed memory here.
  const char* kept = KeepAnswer("after");
  EXPECT_STREQ("after", kept);
  EXPECT_STREQ("12", NumberAnswer(12));
}
