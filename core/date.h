// Calendar dates valid from 1970 to 2099 and times of day. Month lengths
// beyond the fixed table, weekdays and today come from the host's local
// calendar.
#ifndef CORE_DATE_H_
#define CORE_DATE_H_

// Every mutating operation returns the new validity. A step out of range
// leaves the out-of-range values in place (Number() is then -1).
class HDate {
 public:
  int year = 0;
  int month = 0;
  int day = 0;

  bool Set(int y, int m, int d);
  // yyyymmdd
  bool SetNumber(int n);
  // The one strict reading of a date written as text: exactly eight
  // digits yyyymmdd forming a valid date, nothing before or after them.
  // True with the date in *out; false for anything else (a null text, a
  // sign, blanks, other characters, more or fewer digits, a day the
  // calendar lacks), leaving *out as it was.
  static bool Parse(const char* text, HDate* out);
  // Parse, or the same date written yyyy-mm-dd (as date fields send it).
  static bool ParseDay(const char* text, HDate* out);
  int Number() const;
  bool SetToday();
  bool IsValid() const;
  // 0 when the year or the month is invalid.
  int DaysInMonth() const;
  // 0 (Sunday) to 6 (Saturday).
  int DayOfWeek() const;
  bool PreviousDay();
  bool NextDay();
  bool PreviousWeek();
  bool NextWeek();
  // To the LAST day of the previous month.
  bool PreviousMonth();
  // To the FIRST day of the next month.
  bool NextMonth();
  // -1, 0 or 1.
  int Compare(const HDate& other) const;
};

// The English abbreviations: "Jan" to "Dec", and "Sun" (0) to "Sat".
extern const char* const kMonthAbbreviations[12];
extern const char* const kWeekdayAbbreviations[7];

// Writes the date as yyyy-mm-dd.
constexpr int kIsoDateSize = 16;
void FormatIsoDate(const HDate& date, char (&text)[kIsoDateSize]);

// second == -1 means no seconds.
class HTime {
 public:
  int hour = 0;
  int minute = 0;
  int second = -1;

  bool Set(int h, int m, int s);
  bool IsValid() const;
};

#endif  // CORE_DATE_H_
