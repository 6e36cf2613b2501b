// HPeriod, the system object's child "Period": the whole days a page
// reports on, read from the request when first asked, and the period of
// the same length just before it, which the pages set beside it.
//
// The request names a period in one of these ways, the first that is
// there counting:
//   from=2026-11-01&to=2026-11-30   any range of days (also yyyymmdd)
//   period=2026-11-05               one day (also 20261105)
//   period=2026-W49                 an ISO week, Monday to Sunday
//   period=2026-11                  a month
//   period=2026                     a year
//   period=today | yesterday | last7 | last30 | thismonth | lastmonth | thisyear | all
//   scope=month (with Date)         the month up to the selected day, as
//                                   the older addresses ask
//   scope=all                       every day since the first with data
//   Date=20261105                   that day alone (the default: yesterday)
// A period never reaches past yesterday: its end moves back to yesterday
// (a day of its own may be today, which the pages say is not over). A
// period that is no period ("2026-13", "abc", a start after the end, a
// start in the future) is not valid; the pages then say so.
#ifndef APP_PERIOD_H_
#define APP_PERIOD_H_

#include <string>

#include "core/date.h"
#include "objects/object.h"

class HPeriod : public IObject {
 public:
  // `first_day` gives the first day with data for "all" (an invalid date
  // when none is known); it is asked only then.
  using FirstDay = HDate (*)();
  HPeriod(const char* name, FirstDay first_day);

  // "From", "To" (yyyymmdd), "FromIso", "ToIso" (yyyy-mm-dd, for date
  // fields), "Days", "Kind" ("day", "week", "month", "year" or "range"),
  // "Label" (such as "November 2026"), "IsToday" ("1" for today alone),
  // "Query" (the period in a link's
  // query, such as "period=2026-11"), "Valid" ("1" or empty), "Error"
  // (why not valid); "PrevFrom", "PrevTo", "PrevLabel": the period of as
  // many days just before; "BackQuery" and "NextQuery": the period of the
  // same kind before and after it (a month steps by months), NextQuery
  // empty when that would begin after yesterday.
  const char* GetProperty(const char* name) override;
  // "Change NOW BEFORE": the change in whole per cent ("+12%", "-3%",
  // "new", empty when both are 0 or either is no number); "Share PART
  // WHOLE": PART of WHOLE in per cent with one decimal ("12.5%"), empty
  // when WHOLE is not above 0.
  const char* Call(const char* method, int argc, const char* const* argv) override;

  // Reads the request now (the properties do so on first use).
  void Resolve();
  const HDate& From() {
    Resolve();
    return from_;
  }
  const HDate& To() {
    Resolve();
    return to_;
  }

 private:
  // The period a "period" word names, or false.
  bool ReadPeriodWord(const char* word, const HDate& yesterday);
  void SetKind(const char* kind, const std::string& query);
  std::string Label(const HDate& from, const HDate& to) const;

  FirstDay first_day_;
  bool resolved_ = false;
  bool valid_ = false;
  std::string error_;
  std::string kind_;
  std::string query_;
  HDate from_;
  HDate to_;
  HDate yesterday_;
};

#endif  // APP_PERIOD_H_
