// Type "Visitors": the visitors of each day, a visitor being a distinct pair
// of client address and user agent over every line of the day, whatever its
// status (a 404 counts as a visit too). A day's count is kept as HHit keeps
// it (yyyymmdd = "count stamp"); beside it the day's visitors themselves are
// kept, as the sorted 64-bit hashes of their pairs, in the file
// "<name>.days/yyyymmdd" of the analysis's data folder, so that the
// visitors of a month, or of any range of days, are the exact number of
// distinct pairs over those days, not a sum. A day file costs 8 bytes per
// visitor.
#ifndef STATS_VISITORS_H_
#define STATS_VISITORS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "stats/hit.h"

class HVisitors : public HHit {
 public:
  HVisitors(const char* name, IStatsSettings* log);

  // "Range" and "Sum" as for any counter: the sum of a range is its
  // distinct visitors, the union of its days' pairs.

  // The number of distinct pairs of the day file, or -1 when it cannot be
  // opened.
  int CountHits(const char* file) override;
  // Gathers the pairs of the lines of the statistic's audience.
  std::unique_ptr<IDayCounter> DayCounter() override;
  // The number of distinct pairs the counter gathered.
  long long DayFigure(IDayCounter& counter) override;
  // The day's figure, with its visitors kept beside the count.
  long long FinishDay(const HDate& date, IDayCounter& counter, const std::string& stamp) override;
  bool SumsDays() const override { return false; }
  // The distinct visitors over the days from first to last, those in `left`
  // left out; each day counted first when it is not (within the budget).
  long long OverDays(const HDate& first, const HDate& last, const HUncounted& left) override;

  // The sorted distinct hashes of the pairs of a day file (the requests
  // of the statistic's audience); false when it cannot be opened.
  bool DayVisitors(const char* file, std::vector<uint64_t>* visitors);
  // The kept visitors of `date` when they are those of `stamp` (any kept
  // ones when `stamp` is empty: the day has no day file any more).
  bool ReadDay(const HDate& date, const std::string& stamp, std::vector<uint64_t>* visitors) const;

 private:
  // The distinct visitors of the days, read from their kept files (days
  // not kept counted first within the budget, else noted in range_left_).
  long long Union(const HDate& first, const HDate& last, const HUncounted& left);
  std::string DayPath(const HDate& date) const;
  bool WriteDay(const HDate& date, const std::string& stamp, const std::vector<uint64_t>& visitors) const;

  HUncounted range_left_;  // days Union had no time to count
};

#endif  // STATS_VISITORS_H_
