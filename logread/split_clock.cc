#include "logread/split_clock.h"

#include "logread/json_line.h"
#include "logread/log_line.h"

namespace {

// The date of `when` shifted by `offset` minutes, read as UTC; or, for
// kNoZone, of `when` in the local zone. Invalid when the calendar fails.
HDate DayAt(time_t when, int offset) {
  struct tm t;
  const bool ok = offset == kNoZone ? localtime_r(&when, &t) != nullptr
                                    : gmtime_r(&(when += static_cast<time_t>(offset) * 60), &t) != nullptr;
  HDate day;
  if (ok) day.Set(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return day;
}

int Digits(const char* p, int n) {
  int value = 0;
  for (int i = 0; i < n; ++i) {
    if (p[i] < '0' || p[i] > '9') return -1;
    value = value * 10 + p[i] - '0';
  }
  return value;
}

}  // namespace

int LineZoneOffset(const char* line, int format) {
  if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    return fields != nullptr && fields->has_zone ? fields->zone : kNoZone;
  }
  if (format != kCommonLayout && format != kVirtualHostLayout) return kNoZone;
  const char* open = FindCommonDate(line);
  return open == nullptr ? kNoZone : CommonZoneOffset(open);
}

int CommonZoneOffset(const char* open) {
  // "[dd/Mon/yyyy:hh:mm:ss +hhmm]": every byte up to the sign is there
  // when the time is; a zero byte stops the checks before the end.
  for (int i = 1; i <= 21; ++i) {
    if (open[i] == 0) return kNoZone;
  }
  if (open[12] != ':' || open[21] != ' ' || (open[22] != '+' && open[22] != '-')) return kNoZone;
  const int hours = Digits(open + 23, 2);
  const int minutes = hours < 0 ? -1 : Digits(open + 25, 2);
  if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59) return kNoZone;
  const int offset = hours * 60 + minutes;
  return open[22] == '-' ? -offset : offset;
}

HSplitClock::HSplitClock(const HDate& today) : fixed_(true) {
  days_.today = today;
  days_.latest = today;
  const HDate clock = DayAt(time(nullptr) + kClockSkewSeconds, kNoZone);
  if (clock.IsValid() && clock.Compare(today) > 0) days_.latest = clock;
}

HSplitClock::HSplitClock(time_t now) : fixed_(false), now_(now) {}

const HLineDays& HSplitClock::For(int offset) {
  if (!fixed_ && offset != offset_) {
    offset_ = offset;
    days_.today = DayAt(now_, offset);
    days_.latest = DayAt(now_ + kClockSkewSeconds, offset);
  }
  if (!earliest_.IsValid() || days_.today.Compare(earliest_) < 0) earliest_ = days_.today;
  return days_;
}
