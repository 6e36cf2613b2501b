#include "core/date.h"

#include <gtest/gtest.h>

#include <ctime>

TEST(HDateTest, Validity) {
  struct Case { int number; bool valid; };
  const Case cases[] = {
      {20000229, true}, {19990229, false}, {19691231, false}, {20360101, true},
      {20991231, true}, {21000101, false}, {19700101, true},  {19990431, false},
      {19991300, false}, {20960229, true}, {19960229, true},
  };
  for (const Case& c : cases) {
    HDate d;
    EXPECT_EQ(c.valid, d.SetNumber(c.number)) << c.number;
    EXPECT_EQ(c.valid ? c.number : -1, d.Number()) << c.number;
  }
  EXPECT_FALSE(HDate().IsValid());
}

TEST(HDateTest, StepsAcrossMonthsAndYears) {
  struct Case { int from; bool (HDate::*step)(); int to; };
  const Case cases[] = {
      {19990228, &HDate::NextDay, 19990301},
      {20000228, &HDate::NextDay, 20000229},
      {20000229, &HDate::NextDay, 20000301},
      {19991230, &HDate::NextDay, 19991231},
      {19991231, &HDate::NextDay, 20000101},
      {20000301, &HDate::PreviousDay, 20000229},
      {19990315, &HDate::PreviousMonth, 19990228},  // the last day, not the 15th
      {19990115, &HDate::NextMonth, 19990201},
      {19990115, &HDate::PreviousMonth, 19981231},
      {19991215, &HDate::NextMonth, 20000101},
      {19990103, &HDate::PreviousWeek, 19981227},
      {19990226, &HDate::NextWeek, 19990305},
  };
  for (const Case& c : cases) {
    HDate d;
    d.SetNumber(c.from);
    EXPECT_TRUE((d.*c.step)()) << c.from;
    EXPECT_EQ(c.to, d.Number()) << c.from;
  }
}

TEST(HDateTest, StepsOutOfRangeKeepTheirValues) {
  HDate d;
  d.SetNumber(19700101);
  EXPECT_FALSE(d.PreviousDay());
  EXPECT_EQ(1969, d.year);
  EXPECT_EQ(12, d.month);
  EXPECT_EQ(0, d.day);  // the month length of an invalid year
  d.SetNumber(20991228);
  EXPECT_FALSE(d.NextWeek());
  EXPECT_EQ(2100, d.year);  // failed at the fourth step
  EXPECT_EQ(1, d.day);
  EXPECT_FALSE(d.NextDay());  // invalid year: no step at all
}

TEST(HDateTest, WeekdaysCompareAndToday) {
  HDate d;
  d.SetNumber(19990101);
  EXPECT_EQ(5, d.DayOfWeek());
  d.SetNumber(20000229);
  EXPECT_EQ(2, d.DayOfWeek());
  HDate a, b;
  a.SetNumber(19990131);
  b.SetNumber(19990201);
  EXPECT_EQ(-1, a.Compare(b));
  EXPECT_EQ(1, b.Compare(a));
  EXPECT_EQ(0, a.Compare(a));
  EXPECT_TRUE(d.SetToday());
  EXPECT_TRUE(d.IsValid());
}

TEST(HTimeTest, Validity) {
  HTime t;
  EXPECT_TRUE(t.Set(24, 0, -1));
  EXPECT_FALSE(t.Set(24, 1, 0));
  EXPECT_FALSE(t.Set(23, 60, 0));
  EXPECT_TRUE(t.Set(23, 59, 59));
  EXPECT_FALSE(t.Set(0, 0, 60));
  EXPECT_FALSE(t.Set(0, 0, -2));
}

// The strict reading of a date's text: eight digits forming a valid date
// and nothing else; a refused text leaves the date as it was.
TEST(HDateTest, ParseAcceptsExactlyEightDigitsOfAValidDate) {
  struct Case { const char* text; int number; };
  const Case cases[] = {
      {"19990105", 19990105}, {"20000229", 20000229}, {"19700101", 19700101}, {"20991231", 20991231},
      {"19990229", -1},  {"19691231", -1}, {"21000101", -1},  {"19991301", -1},  {"19990100", -1},
      {"1999010", -1},   {"199901050", -1}, {"019990105", -1}, {"19990105x", -1}, {"19990105 ", -1},
      {" 19990105", -1}, {"+1999010", -1}, {"1999-1-5", -1},  {"", -1},          {"1999\x00" "0105", -1},
  };
  for (const Case& c : cases) {
    HDate d;
    d.SetNumber(20000101);
    EXPECT_EQ(c.number != -1, HDate::Parse(c.text, &d)) << c.text;
    EXPECT_EQ(c.number != -1 ? c.number : 20000101, d.Number()) << c.text;
  }
  HDate d;
  EXPECT_FALSE(HDate::Parse(nullptr, &d));
}

// The weekday is computed, not asked of mktime: both agree on every valid day.
TEST(HDateTest, WeekdayOfEveryValidDayIsTheCalendars) {
  HDate d;
  ASSERT_TRUE(d.SetNumber(19700101));
  int days = 0;
  do {
    struct tm t = {};
    t.tm_year = d.year - 1900;
    t.tm_mon = d.month - 1;
    t.tm_mday = d.day;
    t.tm_isdst = -1;
    mktime(&t);
    ASSERT_EQ(t.tm_wday, d.DayOfWeek()) << d.Number();
    ++days;
  } while (d.NextDay());
  EXPECT_EQ(47482, days);  // 1970 to 2099
}
