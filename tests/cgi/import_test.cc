// vazivev-import run as an operator would: history in every compressed
// form, in any order, each line once in its day file; the same files again
// add nothing; a broken archive is named and the rest goes on; a killed
// import run again loses and repeats nothing.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

std::string Line(int day, int n) {
  char text[160];
  snprintf(text, sizeof text, "h%d.example.jp - - [%02d/Mar/1999:%02d:00:00 +0000] \"GET /p%d.html HTTP/1.0\" 200 1\n",
           n, day, n % 24, n);
  return text;
}

// Runs the site's vazivev-import on `files`; its output and exit status.
std::string Import(const CgiSite& site, const std::string& files, int* status) {
  const std::string out = site.Root() + ".import";
  const int raw = system(("cd '" + site.Root() + "' && ./vazivev-import " + files + " >'" + out + "' 2>&1").c_str());
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  const std::string text = Slurp(out);
  remove(out.c_str());
  return text;
}

}  // namespace

TEST(ImportTest, HistoryInEveryFormOnceAndOnlyOnce) {
  CgiSite site;
  const std::string history = site.Root() + ".history";
  mkdir(history.c_str(), 0755);
  std::string all;
  int n = 0;
  const char* const kinds[] = {"", "gzip", "bzip2", "xz", "zstd -q"};
  std::string files;
  for (int k = 0; k < 5; ++k) {
    std::string lines;
    for (int i = 0; i < 50; ++i) lines += Line(1 + k, n++);
    all += lines;
    const std::string plain = history + "/access.log." + std::to_string(k + 1);
    Write(plain, lines);
    if (*kinds[k] != 0) {
      ASSERT_EQ(0, system((std::string(kinds[k]) + " '" + plain + "'").c_str()));
    }
    files = " '" + plain +
            (*kinds[k] == 0 ? ""
             : k == 1       ? ".gz"
             : k == 2       ? ".bz2"
             : k == 3       ? ".xz"
                            : ".zst") +
            "'" + files;
  }
  Write(history + "/broken.gz", "\x1f\x8b not really");
  int status = 0;
  std::string out = Import(site, files + " '" + history + "/broken.gz'", &status);
  EXPECT_EQ(1, status) << out;
  EXPECT_NE(std::string::npos, out.find("broken.gz")) << out;
  EXPECT_NE(std::string::npos, out.find("lines added 250")) << out;
  EXPECT_NE(std::string::npos, out.find("days touched 5")) << out;
  std::string taken;
  for (int day = 1; day <= 5; ++day) taken += Slurp(site.Path("logs/QL99030" + std::to_string(day) + ".log"));
  EXPECT_EQ(SortedLines(all), SortedLines(taken));

  out = Import(site, files, &status);
  EXPECT_EQ(0, status) << out;
  EXPECT_NE(std::string::npos, out.find("lines added 0")) << out;
  EXPECT_NE(std::string::npos, out.find("lines already present 250")) << out;
  std::string again;
  for (int day = 1; day <= 5; ++day) again += Slurp(site.Path("logs/QL99030" + std::to_string(day) + ".log"));
  EXPECT_EQ(taken, again);
  system(("rm -rf '" + history + "'").c_str());
}

// Two years of daily rotated files, compressed, in one command; the same
// command again adds nothing.
TEST(ImportTest, TwoYearsOfRotatedFilesInOneCommand) {
  CgiSite site;
  const std::string history = site.Root() + ".years";
  mkdir(history.c_str(), 0755);
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int file = 0;
  for (int year = 1997; year <= 1998; ++year) {
    for (int month = 0; month < 12; ++month) {
      for (int day = 1; day <= kDays[month]; ++day, ++file) {
        std::string lines;
        for (int i = 0; i < 3; ++i) {
          char line[160];
          snprintf(line, sizeof line, "h%d.example.jp - - [%02d/%s/%d:1%d:00:00 +0000] \"GET /p%d HTTP/1.0\" 200 1\n",
                   i, day, kMonths[month], year, i, file);
          lines += line;
        }
        Write(history + "/access.log." + std::to_string(730 - file), lines);
      }
    }
  }
  ASSERT_EQ(0, system(("gzip '" + history + "'/access.log.*").c_str()));
  int status = 0;
  std::string out = Import(site, "'" + history + "'/access.log.*.gz", &status);
  EXPECT_EQ(0, status) << out;
  EXPECT_NE(std::string::npos, out.find("files read 730 (skipped 0), lines added 2190 ")) << out;
  EXPECT_NE(std::string::npos, out.find("days touched 730")) << out;
  EXPECT_EQ(3u, SortedLines(Slurp(site.Path("logs/QL981231.log"))).size());
  out = Import(site, "'" + history + "'/access.log.*.gz", &status);
  EXPECT_NE(std::string::npos, out.find("files read 0 (skipped 730), lines added 0 ")) << out;
  system(("rm -rf '" + history + "'").c_str());
}

// The import killed at random moments of its run, then run again: every
// line once.
TEST(ImportTest, KilledImportsLoseAndRepeatNoLine) {
  std::mt19937 random(5);
  std::string lines;
  for (int n = 0; n < 20000; ++n) lines += Line(1 + n % 20, n);
  long took = 1;
  for (int round = 0; round < 12; ++round) {
    CgiSite site;
    const std::string file = site.Root() + ".history.log";
    Write(file, lines);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(site.Root().c_str()) != 0) _exit(127);
      freopen("/dev/null", "w", stdout);
      execl("./vazivev-import", "vazivev-import", file.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (round > 0) {
      usleep(static_cast<useconds_t>(random() % static_cast<unsigned long>(took)));
      kill(child, SIGKILL);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (round == 0) {  // the first runs to its end and sets the window
      took = std::max(
          1L,
          static_cast<long>(
              std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count()));
    }
    int again = 0;
    const std::string out = Import(site, "'" + file + "'", &again);
    ASSERT_EQ(0, again) << out;
    std::string taken;
    for (int day = 1; day <= 20; ++day) {
      char name[32];
      snprintf(name, sizeof name, "logs/QL9903%02d.log", day);
      taken += Slurp(site.Path(name));
    }
    ASSERT_EQ(SortedLines(lines), SortedLines(taken)) << "round " << round;
    remove(file.c_str());
  }
}
