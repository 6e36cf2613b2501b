#include "script/date_object.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <time.h>

#include <string>
#include <vector>

#include "core/answers.h"

namespace {

// Pins the time zone for the calendar computations and restores it after.
class ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = getenv("TZ");
    had_zone_ = old != nullptr;
    if (had_zone_) old_zone_ = old;
    setenv("TZ", "JST-9", 1);
    tzset();
  }
  void TearDown() override {
    if (had_zone_) {
      setenv("TZ", old_zone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_zone_ = false;
  std::string old_zone_;
};

using HDateObjectTest = ZoneTest;
using HTimeObjectTest = ZoneTest;

HDate Day(int yyyymmdd) {
  HDate date;
  date.SetNumber(yyyymmdd);
  return date;
}

std::string Text(const char* answer) { return answer == nullptr ? "(null)" : answer; }

// The local clock formatted independently of the code under test.
std::string Now(const char* format) {
  const time_t now = time(nullptr);
  struct tm local;
  localtime_r(&now, &local);
  char text[32];
  strftime(text, sizeof text, format, &local);
  return text;
}

TEST_F(HDateObjectTest, PartsAndNeighbours) {
  struct Case {
    int date;
    const char* name;
    const char* answer;
  };
  const Case cases[] = {
      {19990315, "Year", "1999"},
      {19990305, "Month", "3"},  // no leading zeros
      {19990305, "Day", "5"},
      {19990315, "Value", "19990315"},
      {19990315, "prevmonth", "19990201"},  // the first, not the last day
      {19990315, "nextmonth", "19990401"},
      {19990315, "first", "19990301"},
      {19990315, "lastday", "31"},
      {19990315, "prevday", "19990314"},
      {19990315, "prevweek", "19990308"},
      {19990315, "nextweek", "19990322"},
      {19990101, "prevday", "19981231"},
      {19990101, "prevmonth", "19981201"},
      {19991231, "nextday", "20000101"},
      {20000228, "nextday", "20000229"},  // leap year
      {20000301, "prevday", "20000229"},
      {20000210, "lastday", "29"},
      {19990210, "lastday", "28"},
      {20000331, "prevmonth", "20000201"},
      {20991231, "nextday", ""},  // leaves 1970..2099
      {20991228, "nextweek", ""},
      {20991201, "nextmonth", ""},
      {19700101, "prevday", ""},
      {19700115, "prevmonth", ""},
      {19700104, "prevweek", ""},
      {19990315, "YEAR", "1999"},  // names ignore case
      {19990315, "PrevMonth", "19990201"},
      {19990315, "NEXTDAY", "19990316"},
      {19990315, "Week", ""},  // not a name of the calendar
      {19990315, "Yea", ""},
      {19990315, "", ""},
      {19990315, "_md5", ""},
  };
  for (const Case& c : cases) {
    HDateObject object(Day(20000101));
    object.Date() = Day(c.date);
    EXPECT_EQ(c.answer, Text(object.GetProperty(c.name))) << c.date << " " << c.name;
  }
}

// A week from Sunday 3 January 1999: each day its own name, Sunday and
// Saturday each their own colours, the five days between one set of them.
TEST_F(HDateObjectTest, WeekdayNamesAndColoursFollowTheDay) {
  const char* const kColours[] = {"color", "hdcolor", "fgcolor"};
  std::vector<std::string> names, english;
  std::vector<std::string> colours[3];
  for (int day = 3; day <= 9; ++day) {
    HDateObject object(Day(19990100 + day));
    names.push_back(Text(object.GetProperty("wday")));
    english.push_back(Text(object.GetProperty("WDayEn")));
    for (int i = 0; i < 3; ++i) colours[i].push_back(Text(object.GetProperty(kColours[i])));
  }
  EXPECT_EQ("Sun", english[0]);
  EXPECT_EQ("Sat", english[6]);
  for (int a = 0; a < 7; ++a) {
    for (int b = a + 1; b < 7; ++b) {
      EXPECT_NE(names[a], names[b]) << a << " " << b;
      EXPECT_NE(english[a], english[b]) << a << " " << b;
    }
  }
  for (int i = 0; i < 3; ++i) {
    for (int day = 2; day < 6; ++day) EXPECT_EQ(colours[i][1], colours[i][day]) << kColours[i];
    EXPECT_NE(colours[i][0], colours[i][1]) << kColours[i];
    EXPECT_NE(colours[i][6], colours[i][1]) << kColours[i];
    EXPECT_NE(colours[i][0], colours[i][6]) << kColours[i];
  }
}

TEST_F(HDateObjectTest, MonthNameOnlyForAValidMonth) {
  HDateObject object(Day(19990115));
  EXPECT_EQ("Jan", Text(object.GetProperty("monthen")));
  object.Date().SetNumber(19991231);
  EXPECT_EQ("Dec", Text(object.GetProperty("monthen")));
  object.Date().Set(1999, 13, 1);
  EXPECT_EQ(nullptr, object.GetProperty("monthen"));
  object.Date().Set(1999, 0, 1);
  EXPECT_EQ(nullptr, object.GetProperty("monthen"));
}

TEST_F(HDateObjectTest, TodayStaysWhenTheSelectedDayMoves) {
  HDateObject object(Day(19990315));
  EXPECT_EQ("1", Text(object.GetProperty("istoday")));
  EXPECT_EQ("1", Text(object.GetProperty("inmonth")));

  object.Date().PreviousDay();  // what the application does at start-up
  EXPECT_EQ("19990314", Text(object.GetProperty("Value")));
  EXPECT_EQ("0", Text(object.GetProperty("istoday")));
  EXPECT_EQ("1", Text(object.GetProperty("inmonth")));
  EXPECT_EQ("19990315", Text(object.GetProperty("thisday")));
  EXPECT_EQ(3, object.ThisMonth());
  EXPECT_EQ(19990315, object.Today());

  object.Date().SetNumber(19990228);
  EXPECT_EQ("0", Text(object.GetProperty("inmonth")));
  // Only the month is compared with the current one, not the year.
  object.Date().SetNumber(19980301);
  EXPECT_EQ("1", Text(object.GetProperty("inmonth")));
  EXPECT_EQ("0", Text(object.GetProperty("istoday")));

  object.SetDate(Day(19990315));
  EXPECT_EQ("1", Text(object.GetProperty("IsToday")));
}

TEST_F(HDateObjectTest, InvalidDays) {
  // A "Date" parameter that is not a date leaves the selected day invalid.
  HDateObject object(Day(19990315));
  object.Date().SetNumber(123);
  EXPECT_EQ("-1", Text(object.GetProperty("Value")));
  EXPECT_EQ("0", Text(object.GetProperty("lastday")));
  EXPECT_EQ("-1", Text(object.GetProperty("first")));
  EXPECT_EQ("", Text(object.GetProperty("nextday")));
  EXPECT_EQ("0", Text(object.GetProperty("istoday")));

  // A clock that could not be read: today is -1 and matches no day.
  HDateObject no_clock{HDate()};
  EXPECT_EQ("-1", Text(no_clock.GetProperty("thisday")));
  EXPECT_EQ(0, no_clock.ThisMonth());
  EXPECT_EQ("0", Text(no_clock.GetProperty("istoday")));
}

TEST_F(HDateObjectTest, ClockReadings) {
  // Read around each clock use, so a change of day between them passes.
  const std::string month_before = Now("%Y%m01");
  const std::string day_before = Now("%Y%m%d");
  HDateObject object;
  const std::string thismonth = Text(object.GetProperty("thismonth"));
  const std::string thisday = Text(object.GetProperty("thisday"));
  const std::string value = Text(object.GetProperty("Value"));
  const std::string month_after = Now("%Y%m01");
  const std::string day_after = Now("%Y%m%d");
  EXPECT_TRUE(thismonth == month_before || thismonth == month_after) << thismonth;
  EXPECT_TRUE(thisday == day_before || thisday == day_after) << thisday;
  EXPECT_EQ(thisday, value);
  EXPECT_EQ("1", Text(object.GetProperty("istoday")));

  // "thismonth" reads the clock now, whatever day was given as today.
  HDateObject pinned(Day(19990315));
  const std::string pinned_month = Text(pinned.GetProperty("thismonth"));
  EXPECT_TRUE(pinned_month == month_before || pinned_month == Now("%Y%m01")) << pinned_month;
}

TEST_F(HDateObjectTest, AnswersComeFromTheDateNotTheProperties) {
  HDateObject object(Day(19990315));
  object.SetProperty("Year", "2000");
  object.SetProperty("Week", "12");
  EXPECT_EQ("1999", Text(object.GetProperty("Year")));
  EXPECT_EQ("", Text(object.GetProperty("Week")));
  EXPECT_EQ("", Text(object.GetProperty(nullptr)));
  EXPECT_EQ(1999, object.GetPropertyInt("year"));
  EXPECT_STREQ("Date", object.GetName());
}

TEST_F(HDateObjectTest, AnswersOutliveTheNextReads) {
  // A condition holds its left value while it reads the right one.
  HDateObject date(Day(19990331));
  HTimeObject clock(HTime{});
  clock.Time().Set(9, 5, 7);
  const char* day = date.GetProperty("Day");
  const char* last = date.GetProperty("lastday");
  const char* hour = clock.GetProperty("Hour00");
  const char* count = NumberAnswer(42);  // another object's "Count"
  EXPECT_STREQ("31", day);
  EXPECT_STREQ("31", last);
  EXPECT_STREQ("09", hour);
  EXPECT_STREQ("42", count);
}

TEST_F(HTimeObjectTest, Properties) {
  const char* const names[] = {"Hour",     "Minute", "Second", "Hour00", "Minute00",
                               "Second00", "HourEn", "Value",  "Color"};
  struct Case {
    int hour, minute, second;
    const char* answers[9];  // in the order of `names`
  };
  const Case cases[] = {
      {9, 5, 7, {"9", "5", "7", "09", "05", "07", "9", "090507", "#ffc080"}},
      {10, 10, 10, {"10", "10", "10", "10", "10", "10", "10", "101010", "#ffc080"}},
      {0, 30, 0, {"0", "30", "0", "00", "30", "00", "12", "003000", "#c0c0ff"}},
      {5, 59, 59, {"5", "59", "59", "05", "59", "59", "5", "055959", "#c0c0ff"}},
      {6, 0, 0, {"6", "0", "0", "06", "00", "00", "6", "060000", "#ffc080"}},
      {11, 59, 0, {"11", "59", "0", "11", "59", "00", "11", "115900", "#ffc080"}},
      {12, 0, 0, {"12", "0", "0", "12", "00", "00", "12", "120000", "#c0ffc0"}},
      {13, 0, 0, {"13", "0", "0", "13", "00", "00", "1", "130000", "#c0ffc0"}},
      {17, 59, 0, {"17", "59", "0", "17", "59", "00", "5", "175900", "#c0ffc0"}},
      {18, 0, 0, {"18", "0", "0", "18", "00", "00", "6", "180000", "#c0c0ff"}},
      {23, 59, 59, {"23", "59", "59", "23", "59", "59", "11", "235959", "#c0c0ff"}},
      // A time without seconds keeps the hhmm form and has no second.
      {9, 5, -1, {"9", "5", "", "09", "05", "", "9", "0905", "#ffc080"}},
  };
  for (const Case& c : cases) {
    HTime time;
    time.Set(c.hour, c.minute, c.second);
    HTimeObject object(time);
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(c.answers[i], Text(object.GetProperty(names[i])))
          << c.hour << ":" << c.minute << ":" << c.second << " " << names[i];
    }
  }
  HTime time;
  time.Set(9, 5, 7);
  HTimeObject object(time);
  EXPECT_EQ("09", Text(object.GetProperty("hour00")));  // names ignore case
  EXPECT_EQ("090507", Text(object.GetProperty("VALUE")));
  EXPECT_EQ("", Text(object.GetProperty("Year")));
  EXPECT_EQ("", Text(object.GetProperty("")));
  EXPECT_EQ("", Text(object.GetProperty(nullptr)));
  EXPECT_STREQ("Time", object.GetName());
}

TEST_F(HTimeObjectTest, ReadsTheClock) {
  const std::string before = Now("%H%M%S");
  HTimeObject object;
  const std::string value = Text(object.GetProperty("Value"));
  const std::string after = Now("%H%M%S");
  EXPECT_TRUE(value == before || value == after) << value;
}

}  // namespace
