// The counting pieces of vazivev-update: every due statistic of a day in
// one read of its day file, the days dealt out to worker processes. Each
// process writes the day files of the statistics that keep a file a day
// (the rankings, the hours) as soon as it has read the day, under their
// temporary names; a worker hands the names and the figures of the other
// statistics over, and the commit of the process holding the lock renames
// every file with its own.
#ifndef APP_UPDATE_DAYS_H_
#define APP_UPDATE_DAYS_H_

#include <vector>

#include "core/date.h"

class HSystem;
class IObject;

// Whether the child of the analysis is counted day by day: a hit counter,
// a ranking or the hours.
bool IsDayStatistic(IObject* child);

struct HDayCounts {
  int counted = 0;  // day statistics
  int left = 0;     // days left for want of time, or unreadable
};

// Counts the due statistics of `days` (newest first) while the budget
// lasts, on `jobs` processes; every file written is adopted by `system`
// for its next commit. Each process counts its first day with anything
// due whatever the budget says.
void CountDays(const std::vector<IObject*>& statistics, const std::vector<HDate>& days, int jobs, HSystem* system,
               HDayCounts* counts);

#endif  // APP_UPDATE_DAYS_H_
