#include "core/date.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

const int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool ValidYear(int year) { return year >= 1970 && year <= 2099; }

// Asks the local calendar for the day before 1 March.
bool AskLeapYear(int year) {
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = 2;
  t.tm_mday = 1;
  t.tm_hour = 12;  // a day away from midnight is the day before in any zone
  t.tm_isdst = -1;
  time_t when = mktime(&t);
  if (when == static_cast<time_t>(-1)) return year % 4 == 0;
  when -= 86400;
  struct tm back;
  if (localtime_r(&when, &back) == nullptr) return year % 4 == 0;
  return back.tm_mday == 29;
}

// AskLeapYear once per year and process: mktime reads the time zone each
// time, and a page walks hundreds of days.
bool IsLeapYear(int year) {
  static signed char known[2100 - 1970] = {};  // 0 not asked yet, 1 leap, -1 not
  if (!ValidYear(year)) return AskLeapYear(year);
  signed char& answer = known[year - 1970];
  if (answer == 0) answer = AskLeapYear(year) ? 1 : -1;
  return answer > 0;
}

}  // namespace

const char* const kMonthAbbreviations[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kWeekdayAbbreviations[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

void FormatIsoDate(const HDate& date, char (&text)[kIsoDateSize]) {
  snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
}

bool HDate::ParseDay(const char* text, HDate* out) {
  if (Parse(text, out)) return true;
  if (text == nullptr || strlen(text) != 10 || text[4] != '-' || text[7] != '-') return false;
  char digits[9];
  memcpy(digits, text, 4);
  memcpy(digits + 4, text + 5, 2);
  memcpy(digits + 6, text + 8, 2);
  digits[8] = 0;
  return Parse(digits, out);
}

bool HDate::Set(int y, int m, int d) {
  year = y;
  month = m;
  day = d;
  return IsValid();
}

bool HDate::SetNumber(int n) {
  year = n / 10000;
  month = (n % 10000) / 100;
  day = n % 100;
  return IsValid();
}

bool HDate::Parse(const char* text, HDate* out) {
  constexpr int kDigits = 8;
  if (text == nullptr) return false;
  int n = 0;
  for (int i = 0; i < kDigits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;  // also the end of a short text
    n = n * 10 + (text[i] - '0');
  }
  HDate date;
  if (text[kDigits] != 0 || !date.SetNumber(n)) return false;
  *out = date;
  return true;
}

int HDate::Number() const { return IsValid() ? year * 10000 + month * 100 + day : -1; }

bool HDate::SetToday() {
  const time_t now = time(nullptr);
  struct tm t;
  if (localtime_r(&now, &t) == nullptr) return false;
  year = t.tm_year + 1900;
  month = t.tm_mon + 1;
  day = t.tm_mday;
  return true;
}

bool HDate::IsValid() const {
  return ValidYear(year) && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth();
}

int HDate::DaysInMonth() const {
  if (!ValidYear(year) || month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kMonthDays[month - 1];
}

int HDate::DayOfWeek() const {
  if (IsValid()) {
    // The Gregorian calendar's weekday, as mktime gives it, without the
    // time zone files mktime reads: 0 for Sunday.
    static const int kMonthOffset[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    const int y = month < 3 ? year - 1 : year;
    const int w = (y + y / 4 - y / 100 + y / 400 + kMonthOffset[month - 1] + day) % 7;
    return w < 0 ? w + 7 : w;
  }
  struct tm t = {};
  t.tm_year = year - 1900;
  t.tm_mon = month - 1;
  t.tm_mday = day;
  t.tm_isdst = -1;
  mktime(&t);
  return t.tm_wday;
}

bool HDate::PreviousDay() {
  if (day == 1) return PreviousMonth();
  --day;
  return IsValid();
}

bool HDate::NextDay() {
  if (day >= 30 || (month == 2 && day > 27)) {
    const int days = DaysInMonth();
    if (days == 0) return false;
    if (days == day) return NextMonth();
  }
  ++day;
  return IsValid();
}

bool HDate::PreviousWeek() {
  for (int i = 0; i < 7; ++i) {
    if (!PreviousDay()) return false;
  }
  return true;
}

bool HDate::NextWeek() {
  for (int i = 0; i < 7; ++i) {
    if (!NextDay()) return false;
  }
  return true;
}

bool HDate::PreviousMonth() {
  if (--month < 1) {
    month = 12;
    --year;
  }
  day = DaysInMonth();
  return IsValid();
}

bool HDate::NextMonth() {
  if (++month > 12) {
    month = 1;
    ++year;
  }
  day = 1;
  return IsValid();
}

int HDate::Compare(const HDate& other) const {
  if (year != other.year) return year < other.year ? -1 : 1;
  if (month != other.month) return month < other.month ? -1 : 1;
  if (day != other.day) return day < other.day ? -1 : 1;
  return 0;
}

bool HTime::Set(int h, int m, int s) {
  hour = h;
  minute = m;
  second = s;
  return IsValid();
}

bool HTime::IsValid() const {
  const bool clock = (hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59) || (hour == 24 && minute == 0);
  return clock && second >= -1 && second <= 59;
}
