// The calendar and clock objects that pages reach as System.Date and
// System.Time. Both are plain objects whose property reads answer from their
// own date or time record, never from their property list; everything else
// (setting properties, methods, iteration) is the plain object's.
//
// Fixed names (weekdays, months, "1"/"0") are static texts; computed answers
// are kept like every answer (core/answers.h).
#ifndef SCRIPT_DATE_OBJECT_H_
#define SCRIPT_DATE_OBJECT_H_

#include "core/date.h"
#include "objects/object.h"

// The selected day of a calendar page, with the real current date kept
// beside it: moving the selected day never changes "thisday", "istoday" or
// "inmonth"'s idea of today.
class HDateObject : public IObject {
 public:
  // Named "Date". Reads the local date now: the selected day starts as
  // today, and today and this month are fixed from that one reading. A clock
  // that cannot be read leaves every date invalid (today is then -1).
  HDateObject();
  // Named "Date", with `today` given (the system object reads the clock
  // once for both date and time). The selected day starts as `today`; this
  // month is its month and today its Number() (-1 when invalid).
  explicit HDateObject(const HDate& today);

  // Answers the calendar names ("Year", "Month", "Day", "Value", "prevmonth",
  // "prevweek", "prevday", "nextmonth", "nextweek", "nextday", "lastday",
  // "wday", "wdayen", "monthen", "color", "hdcolor", "fgcolor", "first",
  // "inmonth", "istoday", "thisday", "thismonth"), ASCII case-insensitive.
  // A null or unknown name gives the empty text; "monthen" of a month out
  // of 1..12 gives null; a neighbour that leaves 1970..2099 gives the empty
  // text. Never raises.
  const char* GetProperty(const char* name) override;

  // The selected day, for the application to set (SetNumber from the
  // request, PreviousDay at start-up) and to read (the "LogDate" object).
  HDate& Date() { return date_; }
  const HDate& Date() const { return date_; }
  void SetDate(const HDate& date) { date_ = date; }
  // The current month (1..12, 0 when the clock failed) and the current date
  // as yyyymmdd (-1 when invalid), both fixed at construction.
  int ThisMonth() const { return this_month_; }
  int Today() const { return today_; }

 private:
  int this_month_ = 0;
  int today_ = -1;
  HDate date_;
};

// A time of day: the moment the request started, for pages to show.
class HTimeObject : public IObject {
 public:
  // Named "Time". Reads the local time of day now (hour, minute, second);
  // a clock that cannot be read leaves 00:00 without seconds.
  HTimeObject();
  // Named "Time", holding `time` as given.
  explicit HTimeObject(const HTime& time);

  // Answers "Hour", "Minute", "Second", "Hour00", "Minute00", "Second00",
  // "HourEn", "Color" and "Value", ASCII case-insensitive; a null or
  // unknown name gives the empty text. A time without seconds (second -1)
  // answers the empty text for "Second" and "Second00" and hhmm for
  // "Value". Never raises.
  const char* GetProperty(const char* name) override;

  HTime& Time() { return time_; }
  const HTime& Time() const { return time_; }
  void SetTime(const HTime& time) { time_ = time; }

 private:
  HTime time_;
};

#endif  // SCRIPT_DATE_OBJECT_H_
