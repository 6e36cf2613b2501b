#include "app/site_update.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <vector>

#include "app/vazivev_server.h"
#include "app/worker_processes.h"
#include "core/errors.h"
#include "core/file_write.h"
#include "objects/commit.h"
#include "server/server.h"
#include "stats/count_budget.h"
#include "stats/day_container.h"
#include "stats/day_pass.h"
#include "stats/hit.h"
#include "stats/item_container.h"
#include "stats/times.h"
#include "stats/vazivev.h"
#include "system/system.h"

namespace {

// One piece under the lock: visitors wait at most about this long.
constexpr double kPieceSeconds = 1.0;

struct HPieceCounts {
  int statistics = 0;
  int counted = 0;
  int left = 0;
  bool saved = true;
};

// The names of the stored children of the analysis: its files and folders
// but its own index and the temporary files of a save.
std::vector<std::string> StoredChildren(const std::string& home, HVaziVev& log) {
  std::vector<std::string> names;
  DIR* dir = opendir((home + log.GetDirectory()).c_str());
  if (dir == nullptr) return names;
  while (const struct dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || name == "index" || name.find('.') != std::string::npos) continue;
    names.push_back(name);
  }
  closedir(dir);
  return names;
}

// Adds the count of `day` to `pass` when the statistic has it due; false
// when it has not, or is no day statistic (IsDayStatistic).
bool AddDue(IObject* child, const HDate& day, HDayPass& pass) {
  if (auto* hit = dynamic_cast<HHit*>(child)) return hit->AddDueDay(day, pass);
  if (auto* items = dynamic_cast<HItemsContainer*>(child)) return items->AddDueDay(day, pass);
  if (auto* times = dynamic_cast<HTimesContainer*>(child)) return times->AddDueDay(day, pass);
  return false;
}

bool IsDayStatistic(IObject* child) {
  return dynamic_cast<HHit*>(child) != nullptr || dynamic_cast<HItemsContainer*>(child) != nullptr ||
         dynamic_cast<HTimesContainer*>(child) != nullptr;
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

// Counts the due days, newest first, while the budget lasts: with more
// than one job, the days are dealt out to forked workers and this process,
// which alone stores what they counted.
void CountDays(const std::vector<IObject*>& statistics, const std::vector<HDate>& days, int jobs, HSystem* system,
               HPieceCounts* counts) {
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

// A ranking's sum since the first day, and those of the month of the last
// day with data and of the month before, which its page compares with:
// their first views read them made.
void MakeSum(HItemsContainer& ranking, const std::vector<HDate>& days) {
  ranking.Call("Accumulate", 0, nullptr);
  if (days.empty()) return;
  HDate month = days.back();
  ranking.KeepMonth(month);
  month.day = 1;
  if (month.PreviousDay()) ranking.KeepMonth(month);
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

// The sums of every ranking, dealt out to workers (DealSums): a worker
// writes the files of its sums itself and hands back where each sum begins
// (its ranking's "SetDate"); what a worker did not hand back, this process
// makes.
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

// One piece: the update step, a second of counting, the commit. With
// `finish`, the sums of the rankings are made instead.
HPieceCounts RunPiece(const std::string& home, bool finish, int jobs) {
  HPieceCounts counts;
  HVaziVevServer server;
  HomeDir = home.c_str();
  server.Lock(0);
  server.Update();
  auto* log = dynamic_cast<HVaziVev*>(server.GetSystem()->FindChild("vazivev"));
  if (log == nullptr) throw "the analysis is not set up yet (no data/vazivev)";
  const char* split_error = log->GetProperty("SplitError");
  if (split_error != nullptr && *split_error != 0) fprintf(stderr, "vazivev-update: %s\n", split_error);
  SetCountBudget(kPieceSeconds);
  auto* system = dynamic_cast<HSystem*>(server.GetSystem());
  std::vector<IObject*> statistics;
  std::vector<HItemsContainer*> rankings;
  for (const std::string& name : StoredChildren(home, *log)) {
    IObject* child = log->FindChild(name.c_str());
    if (child == nullptr) continue;
    if (finish) {
      if (auto* items = dynamic_cast<HItemsContainer*>(child)) rankings.push_back(items);
      continue;
    }
    if (IsDayStatistic(child)) statistics.push_back(child);
  }
  if (finish) MakeSums(home, rankings, log->DaysWithFiles(), jobs);
  counts.statistics = static_cast<int>(statistics.size());
  if (!finish && !statistics.empty()) {
    // Day by day, newest first: every due statistic of a day in one read.
    std::vector<HDate> days;
    const std::vector<HDate>& with_files = log->DaysWithFiles();
    for (auto day = with_files.rbegin(); day != with_files.rend(); ++day) {
      if (day->Compare(log->Today()) < 0) days.push_back(*day);
    }
    CountDays(statistics, days, jobs, system, &counts);
  }
  counts.saved = system == nullptr || system->Commit();
  server.Unlock();
  return counts;
}

// What an error a request would show as a page means here.
const char* ErrorText(const char* error) {
  if (strcmp(error, ErrorBusy) == 0) return "the site stayed locked by another request for 11 s; try again later";
  if (strcmp(error, ErrorInstall) == 0) return "cannot open vazivev.txt beside the program for its lock";
  if (strcmp(error, ErrorMemory) == 0) return "out of memory";
  return error;
}

}  // namespace

int RunSiteUpdate(const std::string& home, FILE* out, bool progress, int jobs) {
  const auto start = std::chrono::steady_clock::now();
  int counted = 0;
  int statistics = 0;
  int pieces = 0;
  try {
    for (;;) {
      const HPieceCounts piece = RunPiece(home, false, jobs);
      ++pieces;
      statistics = piece.statistics;
      if (!piece.saved) {
        fprintf(stderr, "vazivev-update: could not save the statistics; check that %sdata/ is writable\n",
                home.c_str());
        return 1;
      }
      counted += piece.counted;
      if (progress) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fprintf(out, "\r%d day statistics counted, %d days still to count (%.0f s)   ", counted, piece.left,
                seconds);
        fflush(out);
      }
      // Nothing left, or nothing more that can be counted (an unreadable
      // day file is not tried for ever).
      if (piece.left == 0 || piece.counted == 0) {
        if (progress) fputc('\n', out);
        if (piece.left > 0) {
          fprintf(stderr, "vazivev-update: %d days could not be counted\n", piece.left);
          return 1;
        }
        break;
      }
    }
    if (!RunPiece(home, true, jobs).saved) {
      fprintf(stderr, "vazivev-update: could not save the sums; check that %sdata/ is writable\n", home.c_str());
      return 1;
    }
  } catch (const char* error) {
    if (progress) fputc('\n', out);
    fprintf(stderr, "vazivev-update: %s\n", ErrorText(error));
    return 1;
  } catch (const std::bad_alloc&) {
    fprintf(stderr, "vazivev-update: out of memory\n");
    return 1;
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fprintf(out, "statistics %d, day statistics counted %d, in %d pieces, %.1f s\n", statistics, counted, pieces,
          seconds);
  return 0;
}
