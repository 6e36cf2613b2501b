// The first count of a day whose paths a visitor chose so that they all
// share one value of the item tables' string hash, against a day of as
// many random paths: HPagesHit counting each day file into a fresh table
// and sorting it. Prints the median of `runs` counts of each (the files in
// the page cache) and their ratio.
//
//     collide_bench COLLIDING_DAYFILE RANDOM_DAYFILE [RUNS]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "bench/bench_util.h"
#include "stats/item_container.h"
#include "stats/items.h"
#include "stats/vazivev.h"

namespace {

// The median seconds of `runs` first counts of `path`.
double MedianCount(HItemsContainer& container, const char* path, int runs, int& items) {
  std::vector<double> seconds;
  for (int i = 0; i < runs; ++i) {
    auto day = std::make_unique<HPagesHit>("", &container);
    const double start = Now();
    day->CountItems(path, nullptr);
    seconds.push_back(Now() - start);
    items = day->Table().Count();
  }
  std::sort(seconds.begin(), seconds.end());
  return seconds[seconds.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s COLLIDING_DAYFILE RANDOM_DAYFILE [RUNS]\n", argv[0]);
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, atoi(argv[3])) : 5;
  HVaziVev log("vazivev");
  HPagesContainer pages("pages", &log);
  int colliding_items = 0;
  int random_items = 0;
  // Random first, so that neither count gets a warmer allocator.
  const double random = MedianCount(pages, argv[2], runs, random_items);
  const double colliding = MedianCount(pages, argv[1], runs, colliding_items);
  printf("random    %.3f s (%d items, median of %d)\n", random, random_items, runs);
  printf("colliding %.3f s (%d items, median of %d)\n", colliding, colliding_items, runs);
  printf("ratio     %.2f (colliding / random)\n", colliding / random);
  return 0;
}
