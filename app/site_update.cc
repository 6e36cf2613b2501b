#include "app/site_update.h"

#include <dirent.h>

#include <chrono>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/update_days.h"
#include "app/update_sums.h"
#include "app/vazivev_server.h"
#include "core/errors.h"
#include "server/server.h"
#include "stats/count_budget.h"
#include "stats/hit.h"
#include "stats/item_container.h"
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
  std::vector<HHit*> counters;
  for (const std::string& name : StoredChildren(home, *log)) {
    IObject* child = log->FindChild(name.c_str());
    if (child == nullptr) continue;
    if (finish) {
      if (auto* items = dynamic_cast<HItemsContainer*>(child)) rankings.push_back(items);
      if (auto* counter = dynamic_cast<HHit*>(child)) counters.push_back(counter);
      continue;
    }
    if (IsDayStatistic(child)) statistics.push_back(child);
  }
  if (finish) {
    MakeSums(home, rankings, log->DaysWithFiles(), jobs);
    // Every day is counted now: the counters keep the note of it, so that
    // their months read no day's stamp at the next view.
    for (HHit* counter : counters) {
      HUncounted left;
      counter->CountAllDue(log->DaysWithFiles(), &left);
    }
  }
  counts.statistics = static_cast<int>(statistics.size());
  if (!finish && !statistics.empty()) {
    // Day by day, newest first: every due statistic of a day in one read.
    std::vector<HDate> days;
    const std::vector<HDate>& with_files = log->DaysWithFiles();
    for (auto day = with_files.rbegin(); day != with_files.rend(); ++day) {
      if (day->Compare(log->Today()) < 0) days.push_back(*day);
    }
    HDayCounts day_counts;
    CountDays(statistics, days, jobs, system, &day_counts);
    counts.counted = day_counts.counted;
    counts.left = day_counts.left;
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
