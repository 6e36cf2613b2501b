// What the counting benchmarks share: a monotonic clock in seconds, the
// lines of a file, the median and best of a set of timed runs, and their
// arguments.
#ifndef BENCH_BENCH_UTIL_H_
#define BENCH_BENCH_UTIL_H_

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <ctime>
#include <vector>

inline double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// -1 when the file cannot be read.
inline long CountLines(const char* path) {
  FILE* in = fopen(path, "r");
  if (in == nullptr) return -1;
  long lines = 0;
  for (int c = getc(in); c != EOF; c = getc(in)) lines += c == '\n';
  fclose(in);
  return lines;
}

// Lines per second at the median and at the best of the runs' seconds.
struct Rates {
  double median, best;
};
inline Rates LinesPerSecond(long lines, std::vector<double> seconds) {
  std::sort(seconds.begin(), seconds.end());
  return {static_cast<double>(lines) / seconds[seconds.size() / 2], static_cast<double>(lines) / seconds[0]};
}

// The arguments of a counting benchmark: DAYFILE, then `extra` more, then
// an optional number of runs (default 21). Prints the usage line, or why the
// day file cannot be read, and returns false when they do not do.
struct DayArgs {
  const char* file;
  long lines;
  int runs;
};
inline bool ReadDayArgs(int argc, char** argv, int extra, const char* extra_usage, DayArgs& args) {
  if (argc < 2 + extra) {
    fprintf(stderr, "usage: %s DAYFILE %s[RUNS]\n", argv[0], extra_usage);
    return false;
  }
  args.file = argv[1];
  args.runs = argc > 2 + extra ? std::max(1, atoi(argv[2 + extra])) : 21;
  args.lines = CountLines(args.file);
  if (args.lines < 0) perror(args.file);
  return args.lines >= 0;
}

#endif  // BENCH_BENCH_UTIL_H_
