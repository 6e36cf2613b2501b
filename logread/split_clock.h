// The days that bound a line of the log in the split, in the line's own
// time zone: a web server stamps each line with its offset ("+0900"), and
// its day ends at midnight of that zone, whatever zone this program runs
// under. A line is of a completed day when its date is before `today`, and
// is no line of this log when its date is after `latest` (the day of a
// moment a few minutes ahead of the clock, for a server whose clock runs a
// little ahead).
#ifndef LOGREAD_SPLIT_CLOCK_H_
#define LOGREAD_SPLIT_CLOCK_H_

#include <ctime>

#include "core/date.h"

// A line without a readable offset: the program's own zone.
constexpr int kNoZone = 100000;
constexpr time_t kClockSkewSeconds = 5 * 60;

// The offset of a line in minutes east of UTC, or kNoZone. The space
// layouts (formats 1 and 2) carry one after the time in their date
// ("[dd/Mon/yyyy:hh:mm:ss +hhmm]"), a JSON line when its "ts" is text with
// an offset; a JSON line's number of seconds is read in the program's own
// zone.
int LineZoneOffset(const char* line, int format);
// The offset of a space layout's date at `open` (its "[", as FindCommonDate
// finds it; the text is zero-ended), or kNoZone.
int CommonZoneOffset(const char* open);

struct HLineDays {
  HDate today;
  HDate latest;
};

class HSplitClock {
 public:
  // Every zone has `today` (for callers that name the day themselves);
  // `latest` is today, or the clock's own day when that is later.
  explicit HSplitClock(const HDate& today);
  // Each zone's own days at the moment `now`.
  explicit HSplitClock(time_t now);

  // The days of a line with that offset. The answer stays valid until the
  // next call.
  const HLineDays& For(int offset);
  // The earliest `today` For gave; invalid before the first call.
  const HDate& EarliestToday() const { return earliest_; }

 private:
  bool fixed_;
  time_t now_ = 0;
  int offset_ = kNoZone - 1;  // the offset `days_` holds: none yet
  HLineDays days_;
  HDate earliest_;
};

#endif  // LOGREAD_SPLIT_CLOCK_H_
