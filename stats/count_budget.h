// The budget of day counting for figures that span many days (a month, the
// months graph, everything since the first day): a request counts days for
// them for at most about two seconds, so that no visitor waits for years of
// history; the days left are counted by later requests or by
// vazivev-update, and the figure says which days it does not cover yet. A
// day a page names by itself is always counted. One budget per process.
#ifndef STATS_COUNT_BUDGET_H_
#define STATS_COUNT_BUDGET_H_

#include <vector>

#include "core/date.h"

// The days a figure over many days leaves out because they are not counted
// yet (or changed since and not counted again), oldest first.
struct HUncounted {
  std::vector<int> days;  // yyyymmdd

  void Add(const HDate& day) { days.push_back(day.Number()); }
  bool Holds(int day) const;
  // Sorts the days and drops repeats.
  void Settle();
  int First() const { return days.empty() ? 0 : days.front(); }
  int Last() const { return days.empty() ? 0 : days.back(); }
};

// The seconds a request may count for ranges.
constexpr double kRequestCountSeconds = 2.0;

// Starts a new budget of `seconds` from now; below 0, no bound.
void SetCountBudget(double seconds);
// Whether another day may be counted now; the first call of a process
// starts its budget of kRequestCountSeconds.
bool MayCountAnotherDay();
// How many days MayCountAnotherDay refused since the budget began.
int DaysRefused();

#endif  // STATS_COUNT_BUDGET_H_
