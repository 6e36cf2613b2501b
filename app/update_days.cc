#include "app/update_days.h"

#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>

#include "app/worker_processes.h"
#include "core/file_write.h"
#include "objects/commit.h"
#include "stats/count_budget.h"
#include "stats/day_container.h"
#include "stats/day_pass.h"
#include "stats/hit.h"
#include "stats/item_container.h"
#include "stats/times.h"
#include "system/system.h"

namespace {

// Adds the count of `day` to `pass` when the statistic has it due; false
// when it has not, or is no day statistic (IsDayStatistic).
bool AddDue(IObject* child, const HDate& day, HDayPass& pass) {
  if (auto* hit = dynamic_cast<HHit*>(child)) return hit->AddDueDay(day, pass);
  if (auto* items = dynamic_cast<HItemsContainer*>(child)) return items->AddDueDay(day, pass);
  if (auto* times = dynamic_cast<HTimesContainer*>(child)) return times->AddDueDay(day, pass);
  return false;
}

// Every due statistic of `day`, each tagged with its place in `statistics`.
void PlanDay(const std::vector<IObject*>& statistics, const HDate& day, HDayPass& pass) {
  for (size_t i = 0; i < statistics.size(); ++i) {
    pass.SetTag(static_cast<int>(i));
    AddDue(statistics[i], day, pass);
  }
}

// The statistic of `tag` when it keeps a file a day: a worker stores such
// a day itself.
HDayContainer* DayFileStatistic(const std::vector<IObject*>& statistics, long long tag) {
  if (tag < 0 || static_cast<size_t>(tag) >= statistics.size()) return nullptr;
  return dynamic_cast<HDayContainer*>(statistics[static_cast<size_t>(tag)]);
}

using HDayFiles = std::vector<std::pair<std::string, std::string>>;

// Finishes the counts of a read `pass` whose statistics keep a file a day,
// marked in `own`, and writes their day files under their temporary names,
// given in `files` for the commit to rename. False when a file could not
// be written: then none is kept, and the day stays due.
bool StoreDayFiles(const std::vector<IObject*>& statistics, const HDate& day, HDayPass& pass, std::vector<bool>* own,
                   HDayFiles* files) {
  own->assign(pass.Size(), false);
  for (size_t job = 0; job < pass.Size(); ++job) (*own)[job] = DayFileStatistic(statistics, pass.Tag(job)) != nullptr;
  pass.FinishLoaded(*own);
  HCommitBatch batch;
  bool stored = true;
  std::vector<HDayContainer*> saved;
  for (size_t job = 0; job < pass.Size(); ++job) {
    HDayContainer* statistic = (*own)[job] ? DayFileStatistic(statistics, pass.Tag(job)) : nullptr;
    if (statistic == nullptr || std::find(saved.begin(), saved.end(), statistic) != saved.end()) continue;
    saved.push_back(statistic);
    if (!statistic->SaveDayAlone(day)) stored = false;
  }
  *files = batch.HandOver();
  if (stored) return true;
  for (const auto& file : *files) unlink(file.first.c_str());
  files->clear();
  return false;
}

// A worker's results, in a file made before the fork: for each day it
// counted, the day, the number of counts, and for each its tag, stamp,
// lines, and either 0 and its result or 1 for a day file it stored (see
// StoreDayFiles); then the number of stored files and each one's
// temporary name and target. At the end 0 and the number of days it left.
// False when the day's files could not be written.
bool SaveDay(const std::vector<IObject*>& statistics, const HDate& day, HDayPass& pass, std::string& out) {
  std::vector<bool> own;
  HDayFiles files;
  if (!StoreDayFiles(statistics, day, pass, &own, &files)) return false;
  PutResultNumber(out, day.Number());
  PutResultNumber(out, static_cast<long long>(pass.Size()));
  for (size_t job = 0; job < pass.Size(); ++job) {
    IDayCounter& counter = pass.Counter(job);
    PutResultNumber(out, pass.Tag(job));
    PutResultText(out, counter.Stamp());
    PutResultNumber(out, counter.Counted());
    PutResultNumber(out, own[job] ? 1 : 0);
    if (own[job]) continue;
    std::string result;
    counter.SaveResult(result);
    PutResultText(out, result);
  }
  PutResultNumber(out, static_cast<long long>(files.size()));
  for (const auto& file : files) {
    PutResultText(out, file.first);
    PutResultText(out, file.second);
  }
  return true;
}

// One worker's share of the days: every `jobs`-th one from `first` on,
// while the budget lasts. Its results go to `fd`; false when they could not
// all be written.
bool CountWorkerDays(const std::vector<IObject*>& statistics, const std::vector<HDate>& days, size_t first,
                     size_t jobs, int fd) {
  bool written = true;
  std::string out;
  long long left = 0;
  // The first day with anything due is counted however long the piece
  // took to start: every piece gets on, and a piece that counts nothing
  // means days that cannot be read.
  bool counted_one = false;
  for (size_t i = first; i < days.size(); i += jobs) {
    if (counted_one && !MayCountAnotherDay()) {
      ++left;
      continue;
    }
    HDayPass pass;
    PlanDay(statistics, days[i], pass);
    if (pass.IsEmpty() || !pass.Read(pass.File().c_str())) continue;
    counted_one = true;
    if (!SaveDay(statistics, days[i], pass, out)) {
      ++left;
      continue;
    }
    // Written as it goes, so that memory holds one day's results.
    if (WriteFully(fd, out.data(), out.size()) != out.size()) written = false;
    out.clear();
  }
  PutResultNumber(out, 0);
  PutResultNumber(out, left);
  return WriteFully(fd, out.data(), out.size()) == out.size() && written;
}

// Installs one worker's results as its days' counts, and its stored day
// files for `system` to rename with its commit; adds the days it counted to
// `counted` and those it left to `left`. False when the results do not
// read to their end.
bool InstallResults(const std::vector<IObject*>& statistics, const std::string& results, HSystem* system,
                    int* counted, int* left) {
  const char* p = results.data();
  const char* const end = p + results.size();
  for (;;) {
    long long number = 0;
    long long jobs = 0;
    if (!GetResultNumber(p, end, &number) || !GetResultNumber(p, end, &jobs)) return false;
    if (number == 0) {
      *left += static_cast<int>(jobs);
      return p == end;
    }
    HDate day;
    if (!day.SetNumber(static_cast<int>(number))) return false;
    // The same statistics are due here as they were there: nothing of
    // this day was stored since. Each takes the stamp the worker read.
    HDayPass pass;
    PlanDay(statistics, day, pass);
    std::vector<bool> ready(pass.Size(), false);
    std::vector<bool> stored(pass.Size(), false);
    for (long long i = 0; i < jobs; ++i) {
      long long tag = 0;
      long long lines = 0;
      long long kind = 0;
      std::string stamp;
      std::string result;
      if (!GetResultNumber(p, end, &tag) || !GetResultText(p, end, &stamp) || !GetResultNumber(p, end, &lines) ||
          !GetResultNumber(p, end, &kind) || (kind == 0 && !GetResultText(p, end, &result))) {
        return false;
      }
      for (size_t job = 0; job < pass.Size(); ++job) {
        if (pass.Tag(job) != tag || ready[job] || stored[job]) continue;
        if (kind != 0) {
          stored[job] = DayFileStatistic(statistics, tag) != nullptr;
          break;
        }
        IDayCounter& counter = pass.Counter(job);
        const char* from = result.data();
        if (counter.LoadResult(from, from + result.size())) {
          counter.SetStamp(stamp);
          counter.SetCounted(static_cast<int>(lines));
          ready[job] = true;
        }
        break;
      }
    }
    long long files = 0;
    if (!GetResultNumber(p, end, &files)) return false;
    for (long long i = 0; i < files; ++i) {
      std::string temp;
      std::string target;
      if (!GetResultText(p, end, &temp) || !GetResultText(p, end, &target)) return false;
      // Only a day file's own temporary name is renamed onto it.
      if (system != nullptr && temp == target + HFileWriter::kTempSuffix) system->AdoptFile(temp, target);
    }
    pass.FinishLoaded(ready);
    for (size_t job = 0; job < pass.Size(); ++job) {
      if (stored[job]) DayFileStatistic(statistics, pass.Tag(job))->DropDay(day);
      *counted += ready[job] || stored[job] ? 1 : 0;
    }
  }
}

}  // namespace

bool IsDayStatistic(IObject* child) {
  return dynamic_cast<HHit*>(child) != nullptr || dynamic_cast<HItemsContainer*>(child) != nullptr ||
         dynamic_cast<HTimesContainer*>(child) != nullptr;
}

void CountDays(const std::vector<IObject*>& statistics, const std::vector<HDate>& days, int jobs, HSystem* system,
               HDayCounts* counts) {
  const size_t share = static_cast<size_t>(jobs < 1 ? 1 : jobs);
  std::vector<HWorkerProcess> workers;
  if (share > 1 && days.size() > 1) {
    workers = StartWorkers(std::min(share, days.size()) - 1, [&](size_t k, int fd) {
      return CountWorkerDays(statistics, days, k, share, fd);
    });
  }
  // The days of workers that could not start are this process's own; its
  // first with anything due is counted whatever the budget says, as a
  // worker's is.
  bool counted_one = false;
  for (size_t i = 0; i < days.size(); ++i) {
    const size_t owner = i % share;
    if (owner != 0 && owner <= workers.size()) continue;
    if (counted_one && !MayCountAnotherDay()) {
      ++counts->left;
      continue;
    }
    HDayPass pass;
    PlanDay(statistics, days[i], pass);
    if (pass.IsEmpty() || !pass.Read(pass.File().c_str())) continue;
    counted_one = true;
    // The day files are written now, while the workers still count; the
    // commit only renames them.
    std::vector<bool> own;
    HDayFiles files;
    if (!StoreDayFiles(statistics, days[i], pass, &own, &files)) {
      ++counts->left;
      continue;
    }
    own.flip();
    pass.FinishLoaded(own);
    for (const auto& file : files) {
      if (system != nullptr) system->AdoptFile(file.first, file.second);
    }
    counts->counted += static_cast<int>(pass.Size());
  }
  for (size_t w = 0; w < workers.size(); ++w) {
    std::string results;
    const bool ended = FinishWorker(workers[w], &results);
    int left = 0;
    const bool whole = InstallResults(statistics, results, system, &counts->counted, &left);
    if (!whole || !ended) {
      // What the worker did not hand over is counted by a later piece.
      for (size_t i = w + 1; i < days.size(); i += share) ++left;
    }
    counts->left += left;
  }
}

