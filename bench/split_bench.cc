// The split of a whole access log into day files: copies LOG into a scratch
// site as its access log (not timed), splits it with every day complete
// (timed), and prints the median and the best of RUNS runs in lines per
// second. The day files are synced to the disk, as in the program. The
// scratch site goes under $TMPDIR (default /tmp): on a tmpfs the figure
// leaves the disk out.
//
//     split_bench LOG TODAY(yyyymmdd) [RUNS]
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "logread/log_split.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s LOG TODAY [RUNS]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 5;
  HDate today;
  if (!today.SetNumber(atoi(argv[2]))) return 2;
  long lines = 0;
  {
    std::ifstream in(argv[1], std::ios::binary);
    for (std::string line; std::getline(in, line);) ++lines;
  }
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/vazivev-split-XXXXXX";
    const char* made = mkdtemp(&pattern[0]);
    if (made == nullptr) return 1;
    const std::string home = std::string(made) + "/";
    mkdir((home + "logs").c_str(), 0755);
    const std::string copy = "cp '" + std::string(argv[1]) + "' '" + home + "access.log'";
    if (system(copy.c_str()) != 0) return 1;
    sync();  // the copy's writes are not the split's
    const double start = Now();
    const bool ok = SplitAccessLog(home.c_str(), (home + "access.log").c_str(), today);
    seconds.push_back(Now() - start);
    if (system(("rm -rf '" + home + "'").c_str()) != 0 || !ok) return 1;
  }
  const Rates rates = LinesPerSecond(lines, seconds);
  printf("%.0f lines/s (best %.0f; %ld lines, median of %d)\n", rates.median, rates.best, lines, runs);
  return 0;
}
