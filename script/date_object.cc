#include "script/date_object.h"

#include <ctime>

#include "core/answers.h"

namespace {

// Sunday to Saturday, one EUC-JP character each.
const char* const kWeekdayNames[] = {"\xC6\xFC", "\xB7\xEE", "\xB2\xD0", "\xBF\xE5",
                                     "\xCC\xDA", "\xB6\xE2", "\xC5\xDA"};

// Weekday colours: Sunday, Saturday, other days.
const int kColor[] = {0xffc0c0, 0xc0ffff, 0xffffff};
const int kHeaderColor[] = {0xffc0c0, 0xc0ffff, 0xc0c0c0};
const int kTextColor[] = {0xff0000, 0x0000ff, 0x000000};

// Looked up in this order; the enum below follows it.
const char* const kDateNames[] = {
    "Year",     "Month",   "Day",     "Value",   "prevmonth", "prevweek", "prevday", "nextmonth",
    "nextweek", "nextday", "lastday", "wday",    "wdayen",    "monthen",  "color",   "hdcolor",
    "fgcolor",  "first",   "inmonth", "istoday", "thisday",   "thismonth"};
enum DateName {
  kYear, kMonth, kDay, kValue, kPrevMonth, kPrevWeek, kPrevDay, kNextMonth,
  kNextWeek, kNextDay, kLastDay, kWday, kWdayEn, kMonthEn, kColorName, kHdColor,
  kFgColor, kFirst, kInMonth, kIsToday, kThisDay, kThisMonth, kDateNameCount
};
static_assert(sizeof kDateNames / sizeof kDateNames[0] == kDateNameCount, "one name per entry");

const char* const kTimeNames[] = {"Hour",     "Minute", "Second", "Hour00", "Minute00",
                                  "Second00", "HourEn", "Color",  "Value"};
enum TimeName {
  kHour, kMinute, kSecond, kHour00, kMinute00, kSecond00, kHourEn, kTimeColor, kTimeValue,
  kTimeNameCount
};
static_assert(sizeof kTimeNames / sizeof kTimeNames[0] == kTimeNameCount, "one name per entry");

template <int N>
int FindName(const char* const (&names)[N], const char* name) {
  if (name == nullptr) return -1;
  for (int i = 0; i < N; ++i) {
    if (CompareNoCase(name, names[i]) == 0) return i;
  }
  return -1;
}

// A moved copy of the selected day: its yyyymmdd, or the empty text when
// the move left the valid range.
const char* MovedAnswer(bool moved, const HDate& copy) {
  return moved ? NumberAnswer(copy.Number()) : "";
}

// 0 for Sunday, 1 for Saturday, 2 for any other day.
int WeekendIndex(const HDate& date) {
  const int weekday = date.DayOfWeek();
  if (weekday == 0) return 0;
  if (weekday == 6) return 1;
  return 2;
}

const char* ColorText(int rgb) { return FormatAnswer("#%06x", rgb); }

// The local date now; invalid (all zero) when the clock cannot be read.
HDate ClockToday() {
  HDate today;
  today.SetToday();  // a failure leaves the invalid (0, 0, 0)
  return today;
}

}  // namespace

HDateObject::HDateObject() : HDateObject(ClockToday()) {}

HDateObject::HDateObject(const HDate& today)
    : IObject("Date", 0), this_month_(today.month), today_(today.Number()), date_(today) {}

const char* HDateObject::GetProperty(const char* name) {
  HDate copy = date_;
  const int which = FindName(kDateNames, name);
  switch (which) {
    case kYear:
      return NumberAnswer(date_.year);
    case kMonth:
      return NumberAnswer(date_.month);
    case kDay:
      return NumberAnswer(date_.day);
    case kValue:
      return NumberAnswer(date_.Number());
    case kPrevMonth:
      // PreviousMonth lands on the last day; the link wants the first.
      return MovedAnswer(copy.PreviousMonth() && copy.Set(copy.year, copy.month, 1), copy);
    case kPrevWeek:
      return MovedAnswer(copy.PreviousWeek(), copy);
    case kPrevDay:
      return MovedAnswer(copy.PreviousDay(), copy);
    case kNextMonth:
      return MovedAnswer(copy.NextMonth(), copy);
    case kNextWeek:
      return MovedAnswer(copy.NextWeek(), copy);
    case kNextDay:
      return MovedAnswer(copy.NextDay(), copy);
    case kLastDay:
      return NumberAnswer(date_.DaysInMonth());
    case kWday:
    case kWdayEn: {
      const int weekday = date_.DayOfWeek();
      if (weekday < 0 || weekday > 6) return "";
      return which == kWday ? kWeekdayNames[weekday] : kWeekdayAbbreviations[weekday];
    }
    case kMonthEn:
      if (date_.month < 1 || date_.month > 12) return nullptr;
      return kMonthAbbreviations[date_.month - 1];
    case kColorName:
      return ColorText(kColor[WeekendIndex(date_)]);
    case kHdColor:
      return ColorText(kHeaderColor[WeekendIndex(date_)]);
    case kFgColor:
      return ColorText(kTextColor[WeekendIndex(date_)]);
    case kFirst:
      copy.day = 1;
      return NumberAnswer(copy.Number());
    case kInMonth:
      return date_.month == this_month_ ? "1" : "0";
    case kIsToday:
      // An unreadable clock (today -1) must not make an invalid day "today".
      return today_ != -1 && date_.Number() == today_ ? "1" : "0";
    case kThisDay:
      return NumberAnswer(today_);
    case kThisMonth:
      // The clock now, not the one read at construction.
      return MovedAnswer(copy.SetToday() && copy.Set(copy.year, copy.month, 1), copy);
    default:
      return "";
  }
}

HTimeObject::HTimeObject() : IObject("Time", 0) {
  const time_t now = time(nullptr);
  struct tm local;
  if (localtime_r(&now, &local) != nullptr) time_.Set(local.tm_hour, local.tm_min, local.tm_sec);
}

HTimeObject::HTimeObject(const HTime& time) : IObject("Time", 0), time_(time) {}

const char* HTimeObject::GetProperty(const char* name) {
  const bool has_seconds = time_.second != -1;
  switch (FindName(kTimeNames, name)) {
    case kHour:
      return NumberAnswer(time_.hour);
    case kMinute:
      return NumberAnswer(time_.minute);
    case kSecond:
      return has_seconds ? NumberAnswer(time_.second) : "";
    case kHour00:
      return FormatAnswer("%02d", time_.hour);
    case kMinute00:
      return FormatAnswer("%02d", time_.minute);
    case kSecond00:
      return has_seconds ? FormatAnswer("%02d", time_.second) : "";
    case kHourEn: {
      const int hour = time_.hour % 12;
      return NumberAnswer(hour == 0 ? 12 : hour);
    }
    case kTimeColor:
      if (time_.hour >= 6 && time_.hour <= 11) return ColorText(0xffc080);
      if (time_.hour >= 12 && time_.hour <= 17) return ColorText(0xc0ffc0);
      return ColorText(0xc0c0ff);
    case kTimeValue:
      // Second -1 means the time has no seconds: hhmm, as times travel.
      if (!has_seconds) return FormatAnswer("%02d%02d", time_.hour, time_.minute);
      return FormatAnswer("%02d%02d%02d", time_.hour, time_.minute, time_.second);
    default:
      return "";
  }
}
