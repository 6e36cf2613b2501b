// The installed program killed (kill -9) at random moments of its split and
// of its commit, and run with a file size limit that stands for a full disk.
// Afterwards every data file reads back, nothing a finished request stored
// is lost, and every access log line is in exactly one place.
//
// VAZIVEV_CRASH_RUNS sets the number of rounds of each kind (default 200),
// nine in ten of them killed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";

int Runs() {
  const char* runs = getenv("VAZIVEV_CRASH_RUNS");
  return runs != nullptr && atoi(runs) > 0 ? atoi(runs) : 200;
}

// Day `n` after 1 January 2001 as yyyy-mm-dd, and its day file's name.
struct Day {
  int year, month, day;
};
Day Nth(int n) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  Day d = {2001, 1, 1};
  while (n-- > 0) {
    const int last = kDays[d.month - 1] + (d.month == 2 && d.year % 4 == 0 ? 1 : 0);
    if (++d.day > last) {
      d.day = 1;
      if (++d.month > 12) {
        d.month = 1;
        ++d.year;
      }
    }
  }
  return d;
}
std::string Noon(const Day& d) {
  char text[32];
  snprintf(text, sizeof text, "%04d-%02d-%02d 12:00:00", d.year, d.month, d.day);
  return text;
}
std::string DayFile(const Day& d) {
  char text[32];
  snprintf(text, sizeof text, "logs/QL%02d%02d%02d.log", d.year % 100, d.month, d.day);
  return text;
}
std::string LogLine(const Day& d, int n) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[160];
  snprintf(text, sizeof text, "h%d.example.jp - - [%02d/%s/%04d:%02d:%02d:00 +0000] \"GET /p%d.html HTTP/1.0\" 200 1",
           n, d.day, kMonths[d.month - 1], d.year, n / 60 % 24, n % 60, n);
  return text;
}

long Micros(std::chrono::steady_clock::duration d) {
  return static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(d).count());
}

// The kill window: the median time a request of the same work took when it
// was not killed, measured now and then so that it follows the machine's
// load. A kill drawn from it lands inside the run, not after its end.
class KillWindow {
 public:
  explicit KillWindow(unsigned seed) : random_(seed) {}
  // Every tenth round, and the first three, run to their end and are timed.
  bool Measures(int round) const { return round < 3 || round % 10 == 0; }
  void Add(std::chrono::steady_clock::duration took) {
    times_.push_back(Micros(took));
    std::vector<long> sorted = times_;
    std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
    median_ = std::max(1L, sorted[sorted.size() / 2]);
  }
  CgiSite::Limits Kill() {
    CgiSite::Limits kill;
    kill.kill_after_us = static_cast<long>(random_() % static_cast<unsigned long>(median_));
    return kill;
  }
  // A kill up to 200 microseconds after `path` first holds `text`: the few
  // steps after a commit are too short for a kill drawn from the whole run
  // to land in them often.
  CgiSite::Limits KillAfter(const std::string& path, const std::string& text) {
    CgiSite::Limits kill;
    kill.kill_when_path = path;
    kill.kill_when_holds = text;
    kill.kill_after_us = static_cast<long>(random_() % 200);
    return kill;
  }

 private:
  std::mt19937 random_;
  std::vector<long> times_;
  long median_ = 1;
};

}  // namespace

// Each round appends a day, a few late lines of the day before (whose file
// the split then grows) and the first lines of the next day, then splits on
// that next day with the request killed at a random moment of its run (or
// just after its commit, with more lines written before the next request),
// and once more to completion. Each day's file must hold exactly its lines; the
// lines of the new day wait in the carry-over file and the log.
TEST(CrashTest, KilledSplitsLoseAndRepeatNoLine) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  std::ofstream(site.Path("data/vazivev/index"))
      << "object vazivev : VaziVev\n LogFile=" << site.Path("access.log") << "\nend\n";
  site.WritePage("Blank", "");
  KillWindow window(7);
  const std::map<std::string, std::string> get = {{"QUERY_STRING", "page=Blank"}};
  std::string waiting;  // lines of the coming day, written in the round before
  std::string before;   // the lines of the day before, in its file
  int n = 0;
  for (int round = 0; round < Runs(); ++round) {
    const Day day = Nth(round), next = Nth(round + 1);
    std::string lines = waiting, appended;
    for (int i = 0; i < 200; ++i) {
      const std::string line = LogLine(day, n++) + "\n";
      appended += line;
      lines += line;
      if (round > 0 && i % 70 == 0) {
        const std::string late = LogLine(Nth(round - 1), n++) + "\n";
        appended += late;
        before += late;
      }
    }
    waiting.clear();
    for (int i = 0; i < 5; ++i, ++n) waiting += LogLine(next, n) + "\n";
    std::ofstream(site.Path("access.log"), std::ios::app) << appended << waiting;
    if (window.Measures(round)) {
      const auto start = std::chrono::steady_clock::now();
      site.Run(get, "", Noon(next));
      window.Add(std::chrono::steady_clock::now() - start);
    } else if (round % 2 == 0) {
      site.Run(get, "", Noon(next), window.Kill());
    } else {
      // Killed just after the split's commit; then the web server writes
      // more of the new day before the next request finishes that split.
      site.Run(get, "", Noon(next), window.KillAfter(site.Path("vazivev.journal"), "commit "));
      std::string more;
      for (int i = 0; i < 3; ++i, ++n) more += LogLine(next, n) + "\n";
      std::ofstream(site.Path("access.log"), std::ios::app) << more;
      waiting += more;
    }
    const CgiResult r = site.Run(get, "", Noon(next));
    ASSERT_EQ(kHtml, r.out) << "round " << round;
    ASSERT_EQ(SortedLines(lines), SortedLines(Slurp(site.Path(DayFile(day))))) << "round " << round;
    if (round > 0) {
      ASSERT_EQ(SortedLines(before), SortedLines(Slurp(site.Path(DayFile(Nth(round - 1)))))) << "round " << round;
    }
    ASSERT_EQ(SortedLines(waiting), SortedLines(Slurp(site.Path("vazivev.log")) + Slurp(site.Path("access.log"))))
        << "round " << round;
    ASSERT_FALSE(std::ifstream(site.Path("vazivev.journal")).good());
    before = lines;
  }
}

// "Follow" killed at random moments (or just after its commit) while the
// server's log grows and is rotated now and then, compressed on the way:
// after a request that runs to its end, every line the server wrote is in
// the day files or waiting, exactly once, and the server's files are as
// the server left them.
TEST(CrashTest, KilledFollowsLoseAndRepeatNoLine) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  const std::string server = site.Root() + ".server";
  mkdir(server.c_str(), 0755);
  const std::string log = server + "/access.log";
  std::ofstream(site.Path("data/vazivev/index"))
      << "object vazivev : VaziVev\n Loging=Follow\n LogFile=" << log << "\nend\n";
  site.WritePage("Blank", "");
  KillWindow window(13);
  const std::map<std::string, std::string> get = {{"QUERY_STRING", "page=Blank"}};
  std::string written;
  int n = 0;
  const int rounds = Runs() / 2;
  for (int round = 0; round < rounds; ++round) {
    const Day day = Nth(round), next = Nth(round + 1);
    std::string lines;
    for (int i = 0; i < 100; ++i) lines += LogLine(day, n++) + "\n";
    std::ofstream(log, std::ios::app) << lines;
    written += lines;
    if (round % 5 == 4) {  // rotated: the older file compressed (delaycompress)
      const std::string rotate = "cd '" + server +
                                 "' && { [ ! -e access.log.1 ] || gzip -c access.log.1 > access.log.2.gz; }" +
                                 " && mv access.log access.log.1";
      ASSERT_EQ(0, system(rotate.c_str()));
    }
    if (window.Measures(round)) {
      const auto start = std::chrono::steady_clock::now();
      site.Run(get, "", Noon(next));
      window.Add(std::chrono::steady_clock::now() - start);
    } else if (round % 2 == 0) {
      site.Run(get, "", Noon(next), window.Kill());
    } else {
      site.Run(get, "", Noon(next), window.KillAfter(site.Path("vazivev.journal"), "commit "));
    }
    ASSERT_EQ(kHtml, site.Run(get, "", Noon(next)).out) << "round " << round;
    std::string taken = Slurp(site.Path("vazivev.log"));
    for (int d = 0; d <= round; ++d) taken += Slurp(site.Path(DayFile(Nth(d))));
    ASSERT_EQ(SortedLines(written), SortedLines(taken)) << "round " << round;
    ASSERT_FALSE(std::ifstream(site.Path("vazivev.journal")).good());
  }
  system(("rm -rf '" + server + "'").c_str());
}

// Each round posts a change of thirty stored objects, kills the request at
// a random moment of its run, and reads them all back: each holds its value before or
// after that change, never anything else, and every file reads.
TEST(CrashTest, KilledCommitsLeaveOldOrNewFiles) {
  CgiSite site;
  std::string set = "", show = "";
  for (int j = 0; j < 30; ++j) {
    set += "'$System.o" + std::to_string(j) + ".Add v Object\n'$System.o" + std::to_string(j) + ".v.n = $g\n";
    show += "$System.o" + std::to_string(j) + ".v.n ";
  }
  site.WritePage("Make", [] {
    std::string make;
    for (int j = 0; j < 30; ++j) make += "'$System.Add o" + std::to_string(j) + " Container\n";
    return make;
  }());
  site.WritePage("Set", set);
  site.WritePage("Show", show + "\n");
  const std::map<std::string, std::string> post = {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Make"}};
  ASSERT_EQ("Location: vazivev.cgi?\n\n", site.Run(post).out);
  std::vector<int> stored(30, -1);
  KillWindow window(11);
  for (int round = 0; round < Runs(); ++round) {
    const std::map<std::string, std::string> change = {{"REQUEST_METHOD", "POST"},
                                                       {"QUERY_STRING", "page=Set&g=" + std::to_string(round)}};
    if (window.Measures(round)) {
      const auto start = std::chrono::steady_clock::now();
      site.Run(change);
      window.Add(std::chrono::steady_clock::now() - start);
    } else {
      site.Run(change, "", "", window.Kill());
    }
    std::istringstream values(site.Get("page=Show").out.substr(sizeof kHtml - 1));
    for (int j = 0; j < 30; ++j) {
      std::string value;
      values >> value;
      const int now = value.empty() ? -1 : std::stoi(value);
      ASSERT_TRUE(now == stored[j] || now == round) << "round " << round << " object " << j << ": " << value;
      stored[j] = now;
    }
  }
  // A finished change is all there, and no temporary file is left.
  ASSERT_EQ("Location: vazivev.cgi?\n\n",
            site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Set&g=9999"}}).out);
  std::string all;
  for (int j = 0; j < 30; ++j) all += "9999 ";
  EXPECT_EQ(std::string(kHtml) + all + "\n", site.Get("page=Show").out);
  EXPECT_NE(0, system(("ls -R '" + site.Path("data") + "' | grep -q '\\.Tmp$'").c_str()));
}

// A full disk (here: a limit on file sizes) fails a change with the error
// page and leaves every stored file as it was; a split that cannot write
// leaves the day files and the log as they were.
TEST(CrashTest, FullDiskKeepsTheOldData) {
  CgiSite site;
  site.WritePage("ErrorFileSave", "not saved\n");
  site.WritePage("Set", "'$System.Add notes Object\n'$System.notes.text = $t\n");
  site.WritePage("Show", "$System.notes.text\n");
  const std::map<std::string, std::string> small = {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Set&t=old"}};
  ASSERT_EQ("Location: vazivev.cgi?\n\n", site.Run(small).out);
  const std::string index = Slurp(site.Path("data/index"));
  CgiSite::Limits full;
  full.file_size_limit = 64 * 1024;
  const std::string big(100 * 1024, 'x');
  const CgiResult r = site.Run(
      {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Set"}, {"CONTENT_LENGTH", std::to_string(big.size() + 2)}},
      "t=" + big, "", full);
  EXPECT_EQ("Status: 500 Internal Server Error\n" + std::string(kHtml) + "not saved\n", r.out);
  EXPECT_EQ(index, Slurp(site.Path("data/index")));
  EXPECT_EQ(std::string(kHtml) + "old\n", site.Get("page=Show").out);

  mkdir(site.Path("data/vazivev").c_str(), 0755);
  std::ofstream(site.Path("data/vazivev/index"))
      << "object vazivev : VaziVev\n LogFile=" << site.Path("access.log") << "\n Loging=Unique\nend\n";
  std::string log;
  for (int i = 0; i < 2000; ++i) log += LogLine(Nth(0), i) + "\n";
  std::ofstream(site.Path("access.log")) << log;
  std::ofstream(site.Path(DayFile(Nth(0)))) << "kept\n";
  site.WritePage("Blank", "");
  site.Run({{"QUERY_STRING", "page=Blank"}}, "", Noon(Nth(1)), full);
  EXPECT_EQ("kept\n", Slurp(site.Path(DayFile(Nth(0)))));
  EXPECT_EQ(log, Slurp(site.Path("access.log")));
  site.Run({{"QUERY_STRING", "page=Blank"}}, "", Noon(Nth(1)));  // with room again, the split goes through
  EXPECT_EQ("kept\n" + log, Slurp(site.Path(DayFile(Nth(0)))));
  EXPECT_EQ("", Slurp(site.Path("access.log")));
}
