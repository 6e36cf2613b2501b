/* The floor of log parsing: reads a common-log-format file with fgets into
 * a 1024-byte buffer and finds each line's host, date and path with a plain
 * hand-written scan, nothing else. Prints the lines per second.
 *
 *     cc -O2 -o floor bench/floor.c && ./floor access.log
 */
#include <stdio.h>
#include <time.h>

static char line[1024];

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s LOG\n", argv[0]);
    return 2;
  }
  FILE* in = fopen(argv[1], "r");
  if (in == NULL) {
    perror(argv[1]);
    return 1;
  }
  struct timespec t0, t1;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  long lines = 0;
  unsigned long sum = 0; /* keeps the compiler from dropping the scan */
  while (fgets(line, sizeof line, in) != NULL) {
    ++lines;
    char* p = line;
    while (*p != 0 && *p != ' ') ++p; /* host: line .. p */
    sum += (unsigned long)(p - line);
    while (*p != 0 && *p != '[') ++p; /* date: "[dd/Mon/yyyy" */
    if (*p == '[' && p[1] != 0 && p[2] != 0) {
      int day = (p[1] - '0') * 10 + (p[2] - '0');
      int year = 0;
      p += 3;
      if (*p == '/') {
        ++p;
        while (*p != 0 && *p != '/') ++p; /* the month name */
        if (*p == '/') {
          ++p;
          while (*p >= '0' && *p <= '9') year = year * 10 + (*p++ - '0');
        }
      }
      sum += (unsigned long)(day + year);
    }
    while (*p != 0 && *p != '"') ++p; /* path: after the request's method */
    while (*p != 0 && *p != ' ') ++p;
    if (*p == ' ') {
      char* path = ++p;
      while (*p != 0 && *p != ' ' && *p != '?' && *p != '"') ++p;
      sum += (unsigned long)(p - path);
    }
  }
  clock_gettime(CLOCK_MONOTONIC, &t1);
  fclose(in);
  double seconds = (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) / 1e9;
  printf("%.0f lines/s (%ld lines in %.3f s, check %lu)\n", lines / seconds, lines, seconds, sum);
  return 0;
}
