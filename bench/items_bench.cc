// The first count of one day by the rankings: HDomainsHit and HPagesHit
// counting one day file into a fresh table and sorting it, the work a page
// triggers the first time it asks for a day's ranking. Each kind counts the
// file `runs` times (the file in the page cache); prints the median and the
// best run in lines per second, and the distinct items.
//
//     items_bench DAYFILE [RUNS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "stats/item_container.h"
#include "stats/items.h"
#include "stats/vazivev.h"

namespace {

template <class Items>
void Run(const char* label, HItemsContainer& container, const char* path, long lines, int runs) {
  std::vector<double> seconds;
  int counted = 0;
  int items = 0;
  for (int i = 0; i < runs; ++i) {
    auto day = std::make_unique<Items>("", &container);
    const double start = Now();
    counted = day->CountItems(path, nullptr);
    seconds.push_back(Now() - start);
    items = day->Table().Count();
  }
  const Rates rates = LinesPerSecond(lines, seconds);
  printf("%-8s %.0f lines/s (best %.0f; %ld lines, %d counted, %d items, median of %d)\n", label, rates.median,
         rates.best, lines, counted, items, runs);
}

}  // namespace

int main(int argc, char** argv) {
  DayArgs args;
  if (!ReadDayArgs(argc, argv, 0, "", args)) return 2;
  HVaziVev log("vazivev");
  log.SetProperty("Unit", "3");
  HDomainsContainer domains("domains", &log);
  HPagesContainer pages("pages", &log);
  Run<HDomainsHit>("domains", domains, args.file, args.lines, args.runs);
  Run<HPagesHit>("pages", pages, args.file, args.lines, args.runs);
  return 0;
}
