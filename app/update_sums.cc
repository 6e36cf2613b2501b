#include "app/update_sums.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "app/worker_processes.h"
#include "core/file_write.h"
#include "stats/day_container.h"
#include "stats/day_pass.h"
#include "stats/item_container.h"

namespace {

// What a page of `first` to `last` compares with, looked up once: its
// kept index is then made.
void IndexPrevious(HItemsContainer& ranking, const HDate& first, const HDate& last) {
  char from[kDayNameSize];
  char to[kDayNameSize];
  DayName(from, first);
  DayName(to, last);
  const char* const argv[] = {from, to};
  ranking.Call("Previous", 2, argv);
}

// A ranking's sum since the first day, and those of the month of the last
// day with data and of the month before, which its page compares with,
// with the indexes of the month before and of the day before the last:
// their first views read them made and write nothing.
void MakeSum(HItemsContainer& ranking, const std::vector<HDate>& days) {
  ranking.Call("Accumulate", 0, nullptr);
  if (days.empty()) return;
  HDate month = days.back();
  ranking.KeepMonth(month);
  month.day = 1;
  if (month.PreviousDay()) {
    ranking.KeepMonth(month);
    HDate first = month;
    first.day = 1;
    IndexPrevious(ranking, first, month);
  }
  HDate before = days.back();
  if (before.PreviousDay()) IndexPrevious(ranking, before, before);
}

// Which process makes which sum: the biggest first, each to the process
// with the least so far, a sum's size guessed from the file of its last
// day.
std::vector<size_t> DealSums(const std::string& home, const std::vector<HItemsContainer*>& rankings,
                             const std::vector<HDate>& days, size_t share) {
  std::vector<long long> sizes(rankings.size(), 0);
  if (!days.empty()) {
    char name[kDayNameSize];
    DayName(name, days.back());
    for (size_t i = 0; i < rankings.size(); ++i) {
      struct stat info;
      if (stat((home + rankings[i]->GetDirectory() + name).c_str(), &info) == 0) sizes[i] = info.st_size;
    }
  }
  std::vector<size_t> order(rankings.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return sizes[a] > sizes[b]; });
  std::vector<long long> load(share, 0);
  std::vector<size_t> owner(rankings.size(), 0);
  for (size_t i : order) {
    const size_t least = static_cast<size_t>(std::min_element(load.begin(), load.end()) - load.begin());
    owner[i] = least;
    load[least] += sizes[i] + 1;
  }
  return owner;
}

}  // namespace

void MakeSums(const std::string& home, const std::vector<HItemsContainer*>& rankings, const std::vector<HDate>& days,
              int jobs) {
  const size_t share = std::min(static_cast<size_t>(jobs < 1 ? 1 : jobs), std::max<size_t>(rankings.size(), 1));
  const std::vector<size_t> owner = DealSums(home, rankings, days, share);
  std::vector<HWorkerProcess> workers = StartWorkers(share - 1, [&](size_t k, int fd) {
    std::string out;
    for (size_t i = 0; i < rankings.size(); ++i) {
      if (owner[i] != k) continue;
      MakeSum(*rankings[i], days);
      const char* start = rankings[i]->Properties().GetValue("SetDate");
      PutResultNumber(out, static_cast<long long>(i));
      PutResultText(out, start == nullptr ? "" : start);
    }
    return WriteFully(fd, out.data(), out.size()) == out.size();
  });
  std::vector<bool> made(rankings.size(), false);
  for (size_t i = 0; i < rankings.size(); ++i) {
    if (owner[i] != 0 && owner[i] <= workers.size()) continue;
    MakeSum(*rankings[i], days);
    made[i] = true;
  }
  for (const HWorkerProcess& worker : workers) {
    std::string results;
    FinishWorker(worker, &results);
    const char* p = results.data();
    const char* const end = p + results.size();
    long long i = 0;
    std::string start;
    while (GetResultNumber(p, end, &i) && GetResultText(p, end, &start)) {
      if (i < 0 || static_cast<size_t>(i) >= rankings.size()) break;
      const char* own = rankings[i]->Properties().GetValue("SetDate");
      if (!start.empty() && start != (own == nullptr ? "" : own)) rankings[i]->SetProperty("SetDate", start.c_str());
      made[i] = true;
    }
  }
  for (size_t i = 0; i < rankings.size(); ++i) {
    if (!made[i]) MakeSum(*rankings[i], days);
  }
}

