// The first count of one day by hours: HTimesHit::ComputeHours over one day
// file, the work a page triggers the first time it asks for the hours of a
// day. The analysis object is set to read the web server's own day files,
// with DAYFILE's name as the pattern (the day's yymmdd in it replaced), so
// that DAYFILE is found as the file of DATE. A fresh day object counts the
// file `runs` times (the file in the page cache); prints the median and the
// best run in lines per second.
//
//     times_bench DAYFILE YYYYMMDD [RUNS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "stats/times.h"
#include "stats/vazivev.h"

int main(int argc, char** argv) {
  DayArgs args;
  if (!ReadDayArgs(argc, argv, 1, "YYYYMMDD ", args)) return 2;
  const int runs = args.runs;
  const long lines = args.lines;
  HDate date;
  if (!date.SetNumber(atoi(argv[2]))) {
    fprintf(stderr, "%s: not a date\n", argv[2]);
    return 2;
  }
  std::string pattern = argv[1];
  const size_t file_part = pattern.find_last_of('/') == std::string::npos ? 0 : pattern.find_last_of('/') + 1;
  const size_t at = pattern.find(std::string(argv[2] + 2, 6), file_part);
  if (at == std::string::npos) {
    fprintf(stderr, "%s: the file name must hold %s\n", argv[1], argv[2] + 2);
    return 2;
  }
  pattern.replace(at, 6, "yymmdd");

  HVaziVev log("vazivev");
  log.SetProperty("Loging", "Daily");
  log.SetProperty("DateFile", pattern.c_str());
  log.SetToday(date);
  std::vector<double> seconds;
  long counted = 0;
  for (int i = 0; i < runs; ++i) {
    HTimesHit day(argv[2], &log);
    const double start = Now();
    day.ComputeHours();
    seconds.push_back(Now() - start);
    counted = 0;
    for (int hour = 0; hour < HTimesHit::kHours; ++hour) counted += day.GetPropertyInt(std::to_string(hour).c_str());
    if (day.Properties().Count() != HTimesHit::kHours) {
      fprintf(stderr, "%s: not counted\n", argv[1]);
      return 1;
    }
  }
  const Rates rates = LinesPerSecond(lines, seconds);
  printf("times    %.0f lines/s (best %.0f; %ld lines, %ld counted, median of %d)\n", rates.median, rates.best, lines,
         counted, runs);
  return 0;
}
