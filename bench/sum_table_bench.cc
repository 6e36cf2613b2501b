// The memory of a summed table on its own: reads a stored ranking (a kept
// sum of bench/busy_bench.sh) into one HItemTable, as a sum holds it, and
// prints its entries and the heap it takes, the reference for the peak
// memory of the request that made the sum.
//
//     sum_table_bench RANKING
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "stats/items.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: sum_table_bench RANKING\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "r");
  if (in == nullptr) {
    perror(argv[1]);
    return 1;
  }
  const size_t before = mallinfo2().uordblks + mallinfo2().hblkhd;
  HItemTable table;
  char line[4096];
  while (fgets(line, sizeof line, in) != nullptr) {
    // An item line: a blank, the name, "=", the count and maybe the bytes.
    if (line[0] != ' ' || strncmp(line + 1, "object ", 7) == 0) continue;
    char* equals = strrchr(line, '=');
    if (equals == nullptr) continue;
    *equals = 0;
    char* rest = nullptr;
    const int count = static_cast<int>(strtol(equals + 1, &rest, 10));
    table.Add(line + 1, count, strtoll(rest, nullptr, 10));
  }
  fclose(in);
  const size_t after = mallinfo2().uordblks + mallinfo2().hblkhd;
  printf("%d entries, %.1f MB, %.0f bytes each\n", table.Count(), (after - before) / 1048576.0,
         table.Count() == 0 ? 0.0 : static_cast<double>(after - before) / table.Count());
  return 0;
}
