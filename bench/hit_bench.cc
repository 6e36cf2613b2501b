// The first count of one day: HHit::CountHits and HRootHit::CountHits over
// one day file, the work a page triggers the first time it asks for a day,
// without settings and with a page-request rule.
// Each counter counts the file `runs` times (the file in the page cache);
// prints the median and the best run in lines per second.
//
//     hit_bench DAYFILE [RUNS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "bench/bench_util.h"
#include "stats/hit.h"
#include "stats/vazivev.h"

namespace {

void Run(const char* label, HHit& counter, const char* path, long lines, int runs) {
  std::vector<double> seconds;
  int counted = 0;
  for (int i = 0; i < runs; ++i) {
    const double start = Now();
    counted = counter.CountHits(path);
    seconds.push_back(Now() - start);
  }
  const Rates rates = LinesPerSecond(lines, seconds);
  printf("%-8s %.0f lines/s (best %.0f; %ld lines, %d counted, median of %d)\n", label, rates.median, rates.best, lines,
         counted, runs);
}

}  // namespace

int main(int argc, char** argv) {
  DayArgs args;
  if (!ReadDayArgs(argc, argv, 0, "", args)) return 2;
  HVaziVev log("vazivev");
  HHit hits("hits", &log);
  HRootHit roots("roothits", &log);
  Run("hit", hits, args.file, args.lines, args.runs);
  Run("roothit", roots, args.file, args.lines, args.runs);
  // The page-request rule of a site of today: each line's extension, status
  // and client are looked at.
  HVaziVev ruled("vazivev");
  ruled.SetProperty("Assets", "css js mjs map gif jpg jpeg png webp avif svg ico woff woff2 mp4 webm");
  ruled.SetProperty("Statuses", "2xx 304");
  ruled.SetProperty("Exclude", "192.0.2.0/24 10.0.0.0/8 2001:db8::/32");
  ruled.SetProperty("ScriptPath", "/cgi-bin/vazivev.cgi");
  HHit ruled_hits("hits", &ruled);
  HRootHit ruled_roots("roothits", &ruled);
  Run("hit+rule", ruled_hits, args.file, args.lines, args.runs);
  Run("root+rule", ruled_roots, args.file, args.lines, args.runs);
  return 0;
}
