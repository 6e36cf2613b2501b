// What the counting benchmarks share: a monotonic clock in seconds, the
// lines of a file, and the median and best of a set of timed runs.
#ifndef BENCH_BENCH_UTIL_H_
#define BENCH_BENCH_UTIL_H_

#include <algorithm>
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

#endif  // BENCH_BENCH_UTIL_H_
