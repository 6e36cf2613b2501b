/* Runs one command N times, as a web server starts a CGI program: in folder
 * DIR, with only the given environment, standard input and output on
 * /dev/null. Prints one line:
 *
 *     wall=<median ms> cpu=<mean ms, user + system> rss=<largest peak KiB>
 *
 *     cc -O2 -o measure bench/measure.c
 *     measure [-n N] [-C DIR] [-e NAME=VALUE]... -- COMMAND [ARG]...
 *
 * Each run is waited for with wait4, so the CPU time and peak memory are
 * those of that one process; posix_spawn keeps this program's own memory
 * out of the child's peak.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int Compare(const void* a, const void* b) {
  const double x = *(const double*)a, y = *(const double*)b;
  return (x > y) - (x < y);
}

static double Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
  int runs = 1;
  const char* folder = ".";
  char* env[64];
  int envc = 0;
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    if (strcmp(argv[i], "-n") == 0 && i + 1 < argc) runs = atoi(argv[++i]);
    else if (strcmp(argv[i], "-C") == 0 && i + 1 < argc) folder = argv[++i];
    else if (strcmp(argv[i], "-e") == 0 && i + 1 < argc && envc < 62) env[envc++] = argv[++i];
  }
  if (i + 1 >= argc || runs < 1) {
    fprintf(stderr, "usage: %s [-n N] [-C DIR] [-e NAME=VALUE]... -- COMMAND [ARG]...\n", argv[0]);
    return 2;
  }
  char** command = argv + i + 1;
  env[envc++] = "PATH=/usr/bin:/bin";
  env[envc] = NULL;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  double* walls = malloc(sizeof(double) * runs);
  double cpu = 0;
  long peak = 0;
  for (int run = 0; run < runs; ++run) {
    const double start = Now();
    pid_t pid = 0;
    if (posix_spawn(&pid, command[0], &actions, NULL, command, env) != 0) {
      perror(command[0]);
      return 1;
    }
    int status = 0;
    struct rusage usage;
    wait4(pid, &status, 0, &usage);
    walls[run] = Now() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      fprintf(stderr, "%s failed with status %d\n", command[0], status);
      return 1;
    }
    cpu += usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    if (usage.ru_maxrss > peak) peak = usage.ru_maxrss;
  }
  qsort(walls, runs, sizeof(double), Compare);
  printf("wall=%.3f cpu=%.3f rss=%ld\n", walls[runs / 2] * 1000, cpu / runs * 1000, peak);
  return 0;
}
