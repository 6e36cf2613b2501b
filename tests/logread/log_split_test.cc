#include "logread/log_split.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "core/file_write.h"
#include "logread/log_line.h"
#include "logread/log_split_reader.h"
#include "logread/split_clock.h"
#include "tests/test_util.h"

namespace {

// A format 1 line of day `day` of March 1999 at `hour`, unique by `n`.
std::string Line(int day, int hour, int n) {
  char text[160];
  snprintf(text, sizeof text, "h%d.example.jp - - [%02d/Mar/1999:%02d:00:00 +0900] \"GET /p%d.html HTTP/1.0\" 200 1\n",
           n, day, hour, n);
  return text;
}

HDate Day(int number) {
  HDate date;
  date.SetNumber(number);
  return date;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    end = end == std::string::npos ? text.size() : end + 1;
    out.push_back(text.substr(at, end - at));
    at = end;
  }
  return out;
}

// Every file of the site that holds log lines, by name, with its text.
std::map<std::string, std::string> Files(const ScratchDir& site) {
  std::map<std::string, std::string> files;
  for (const char* name : {"vazivev.log", "access.log", "vazivev.journal", "vazivev.log.Tmp"}) {
    if (access((site / name).c_str(), F_OK) == 0) files[name] = ReadFile(site / name);
  }
  for (int day = 1; day <= 31; ++day) {
    char name[32];
    snprintf(name, sizeof name, "logs/QL9903%02d.log", day);
    if (access((site / name).c_str(), F_OK) == 0) files[name] = ReadFile(site / name);
    if (access((site / (std::string(name) + ".Tmp")).c_str(), F_OK) == 0) files[std::string(name) + ".Tmp"] = "?";
  }
  return files;
}

class LogSplitTest : public ::testing::Test {
 protected:
  void SetUp() override { mkdir((site_ / "logs").c_str(), 0755); }
  bool Split(int today = 19990308) {
    return SplitAccessLog((site_.Path() + "/").c_str(), (site_ / "access.log").c_str(), Day(today));
  }
  ScratchDir site_;
};

}  // namespace

TEST_F(LogSplitTest, CompletedDaysMoveOutAndTodayWaits) {
  const std::string late = Line(5, 23, 90);
  const std::string long_line =
      "h.example.jp - - [06/Mar/1999:01:00:00 +0900] \"GET /" + std::string(5000, 'x') + " HTTP/1.0\"\n";
  // Day 5 already holds a line from an earlier split.
  WriteFile(site_ / "logs/QL990305.log", Line(5, 1, 1));
  WriteFile(site_ / "vazivev.log", Line(5, 2, 2) + "no date here\n" + Line(6, 0, 3));
  WriteFile(site_ / "access.log", "format=x y z\n" + Line(6, 5, 4) + long_line + late + Line(7, 9, 5) + Line(8, 0, 6) +
                                      Line(7, 23, 7) + Line(9, 1, 8));
  ASSERT_TRUE(Split());
  const auto files = Files(site_);
  EXPECT_EQ(Line(5, 1, 1) + Line(5, 2, 2) + late, files.at("logs/QL990305.log"));  // the late line joins its day
  EXPECT_EQ(Line(6, 0, 3) + Line(6, 5, 4) + long_line, files.at("logs/QL990306.log"));
  EXPECT_EQ(Line(7, 9, 5), files.at("logs/QL990307.log"));
  // From the first line of today on, everything waits, a late line too.
  EXPECT_EQ(Line(8, 0, 6) + Line(7, 23, 7) + Line(9, 1, 8), files.at("vazivev.log"));
  EXPECT_EQ("format=x y z\n", files.at("access.log"));
  EXPECT_EQ(5u, files.size());  // no journal, no temporary file

  // The same day again: nothing to do, nothing changes.
  WriteFile(site_ / "access.log", "format=x y z\n" + Line(8, 3, 9));
  ASSERT_TRUE(Split());
  EXPECT_EQ(Line(8, 0, 6) + Line(7, 23, 7) + Line(9, 1, 8), ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ("format=x y z\n" + Line(8, 3, 9), ReadFile(site_ / "access.log"));
  // The next day: the waiting lines go out up to the first of the new day;
  // day 7 keeps its line and gains the late one.
  ASSERT_TRUE(Split(19990309));
  EXPECT_EQ(Line(7, 9, 5) + Line(7, 23, 7), ReadFile(site_ / "logs/QL990307.log"));
  EXPECT_EQ(Line(8, 0, 6), ReadFile(site_ / "logs/QL990308.log"));
  EXPECT_EQ(Line(9, 1, 8) + Line(8, 3, 9), ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ("format=x y z\n", ReadFile(site_ / "access.log"));
}

TEST_F(LogSplitTest, CommaLayoutAndNoCarryOverLeft) {
  WriteFile(site_ / "access.log", "a.jp, 99/03/06, 9:00:00, /a\nb.jp, 99/03/07, 10:00:00, /b\n");
  ASSERT_TRUE(Split());
  EXPECT_EQ("a.jp, 99/03/06, 9:00:00, /a\n", ReadFile(site_ / "logs/QL990306.log"));
  EXPECT_EQ("b.jp, 99/03/07, 10:00:00, /b\n", ReadFile(site_ / "logs/QL990307.log"));
  EXPECT_EQ("", ReadFile(site_ / "access.log"));
  EXPECT_NE(0, access((site_ / "vazivev.log").c_str(), F_OK));
}

// A line is read up to its first zero byte: one before the date hides the
// date, even right after a line of the same day, and such a line is
// dropped like any undated one.
TEST_F(LogSplitTest, ZeroByteBeforeTheDateHidesIt) {
  std::string hidden = Line(5, 2, 2);
  hidden[1] = 0;
  std::string after_date = Line(5, 3, 3);
  after_date[after_date.size() - 3] = 0;  // behind the date: it still counts
  WriteFile(site_ / "access.log", Line(5, 1, 1) + hidden + after_date + Line(9, 0, 4));
  ASSERT_TRUE(Split());
  EXPECT_EQ(Line(5, 1, 1) + after_date, ReadFile(site_ / "logs/QL990305.log"));
  EXPECT_EQ(Line(9, 0, 4), ReadFile(site_ / "vazivev.log"));
}

TEST_F(LogSplitTest, DayFileThatCannotBeMadeStopsTheSplitThere) {
  mkdir((site_ / "logs/QL990306.log.Tmp").c_str(), 0755);  // in the way of day 6's file
  WriteFile(site_ / "access.log", Line(5, 1, 1) + Line(6, 1, 2) + Line(5, 2, 3) + Line(8, 1, 4));
  ASSERT_TRUE(Split());
  EXPECT_EQ(Line(5, 1, 1), ReadFile(site_ / "logs/QL990305.log"));
  EXPECT_EQ(Line(6, 1, 2) + Line(5, 2, 3) + Line(8, 1, 4), ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ("", ReadFile(site_ / "access.log"));
  rmdir((site_ / "logs/QL990306.log.Tmp").c_str());
  ASSERT_TRUE(Split());  // the next split takes up where it stopped
  EXPECT_EQ(Line(5, 1, 1) + Line(5, 2, 3), ReadFile(site_ / "logs/QL990305.log"));
  EXPECT_EQ(Line(6, 1, 2), ReadFile(site_ / "logs/QL990306.log"));
  EXPECT_EQ(Line(8, 1, 4), ReadFile(site_ / "vazivev.log"));
}

// A write that fails halfway (here: the file size limit, as a full disk
// would) undoes the split: old files as they were, every line still unread.
TEST_F(LogSplitTest, FailedWriteLeavesEverythingAsItWas) {
  std::string log;
  for (int n = 0; n < 3000; ++n) log += Line(5 + n % 2, 1, n);
  WriteFile(site_ / "logs/QL990305.log", Line(5, 0, 9999));
  WriteFile(site_ / "access.log", log + Line(8, 1, 1));
  const auto before = Files(site_);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(Split() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(1, WEXITSTATUS(status));  // reported as undone
  EXPECT_EQ(before, Files(site_));
}

// The split is stopped (as by kill -9) at every step in turn. A line
// arrives in the log, written there without the lock, at every step but in
// the moment between the last read of the log and its emptying, and a
// large batch arrives while the split is stopped; then the next split runs. Every line is then in exactly one
// place, and each day file holds exactly its day's lines.
TEST_F(LogSplitTest, StoppedAtAnyStepEveryLineEndsUpInExactlyOnePlace) {
  const std::string carry = Line(4, 22, 100) + Line(4, 23, 101);
  std::string log = "format=header\n";
  for (int n = 0; n < 12; ++n) log += Line(4 + n / 4, n % 24, n);
  log += Line(5, 23, 50) + Line(6, 1, 51) + Line(4, 23, 52) + Line(8, 0, 53) + Line(7, 1, 54);
  const std::string day6_before = Line(6, 0, 200);
  std::string arrived;  // more than the log held: a log emptied meanwhile grows past its old length
  for (int n = 0; n < 40; ++n) arrived += Line(8, 5, 300 + n);

  static std::string log_path;
  static int steps = 0;
  static int stop_at = 0;
  // Unbounded, and with a budget that stops every split after a few lines
  // (the split that finds a place kept goes on from it).
  for (const long long budget : {0LL, 700LL}) {
    SetSplitBudget(budget, 0);
    int total = 0;
    for (int stop = 1;; ++stop) {
      ScratchDir site;
      mkdir((site / "logs").c_str(), 0755);
      WriteFile(site / "vazivev.log", carry);
      WriteFile(site / "access.log", log);
      WriteFile(site / "logs/QL990306.log", day6_before);
      const std::string home = site.Path() + "/";
      log_path = site / "access.log";
      const pid_t child = fork();
      if (child == 0) {
        stop_at = stop;
        LogSplitStep = [](SplitStep kind) {
          if (kind == kSplitFileStep) {  // noted beside the site, so the test knows what arrived
            std::ofstream(log_path, std::ios::app) << Line(8, 12, 1000 + steps);
            std::ofstream(log_path + ".arrived", std::ios::app) << Line(8, 12, 1000 + steps);
          }
          if (++steps == stop_at) raise(SIGKILL);
        };
        SplitAccessLog(home.c_str(), log_path.c_str(), Day(19990308));
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
      const bool stopped = WIFSIGNALED(status);
      std::ofstream(log_path, std::ios::app) << arrived;
      for (int split = 0; split < 100; ++split) {
        EXPECT_TRUE(SplitAccessLog(home.c_str(), log_path.c_str(), Day(19990308))) << stop << LastSplitFailure();
        if (access((site / "vazivev.offset").c_str(), F_OK) != 0) break;
      }
      EXPECT_NE(0, access((site / "vazivev.offset").c_str(), F_OK));

      const std::string all = carry + log.substr(14) + day6_before + arrived + ReadFile(log_path + ".arrived");
      std::vector<std::string> found;
      for (const auto& [name, text] : Files(site)) {
        ASSERT_TRUE(name == "vazivev.log" || name == "access.log" || name.rfind(".log") == name.size() - 4)
            << name << " left behind, stop " << stop;
        for (const std::string& line : Lines(text)) {
          if (line == "format=header\n") continue;
          if (name.rfind("logs/QL", 0) == 0) {  // a day file holds its own day only
            EXPECT_NE(std::string::npos, line.find("[" + name.substr(11, 2) + "/Mar")) << name << ": " << line;
          }
          found.push_back(line);
        }
      }
      std::vector<std::string> expected = Lines(all);
      std::sort(found.begin(), found.end());
      std::sort(expected.begin(), expected.end());
      ASSERT_EQ(expected, found) << "stop " << stop << " budget " << budget;
      EXPECT_EQ(0u, ReadFile(log_path).find("format=header\n"));
      if (!stopped) {
        total = stop - 1;
        break;
      }
    }
    EXPECT_GT(total, 10) << total;  // the split was stopped at every one of its steps
  }
  SetSplitBudget(kSplitByteBudget, kSplitSecondBudget);
}

// A device named as the log would give bytes without end: it is refused,
// with the reason, and nothing is read from it.
TEST_F(LogSplitTest, LogThatIsNotARegularFileIsRefused) {
  WriteFile(site_ / "vazivev.log", Line(5, 1, 1));
  EXPECT_FALSE(SplitAccessLog((site_.Path() + "/").c_str(), "/dev/zero", Day(19990308)));
  EXPECT_NE(nullptr, strstr(LastSplitFailure(), "not a regular file: /dev/zero"));
  EXPECT_EQ(Line(5, 1, 1), ReadFile(site_ / "vazivev.log"));
  ASSERT_TRUE(Split());
  EXPECT_STREQ("", LastSplitFailure());
}

// Undated lines and a line too long to keep are dropped and added up.
TEST_F(LogSplitTest, DroppedLinesAreCounted) {
  const std::string huge = "h [05/Mar/1999:01:00:00 +0900] " + std::string(kMaxSplitLine + 10, 'x') + "\n";
  WriteFile(site_ / "access.log", Line(5, 1, 1) + "no date\n" + huge + Line(5, 2, 2) + Line(9, 0, 3));
  ASSERT_TRUE(Split());
  EXPECT_EQ(Line(5, 1, 1) + Line(5, 2, 2), ReadFile(site_ / "logs/QL990305.log"));
  EXPECT_EQ(2, LastSplitDropped());
  WriteFile(site_ / "access.log", "junk\n" + Line(6, 1, 4));
  ASSERT_TRUE(Split(19990310));
  EXPECT_EQ(1, LastSplitDropped());
  EXPECT_EQ(3, ReadSplitDropped((site_.Path() + "/").c_str()));
}

// Any failed write, sync or rename of the split says why, and leaves either
// everything as it was or a journal that the next split finishes; that
// split, with nothing failing, leaves every line once in its place.
TEST_F(LogSplitTest, EveryFailedFileOperationUndoesTheSplitWithAReason) {
  std::string log;
  for (int n = 0; n < 200; ++n) log += Line(5 + n % 3, 1, n);
  log += Line(8, 1, 999);
  for (const auto op : {file_faults::kWrite, file_faults::kSync, file_faults::kRename}) {
    for (long nth = 1; nth < 6; ++nth) {
      ScratchDir site;
      mkdir((site / "logs").c_str(), 0755);
      WriteFile(site / "logs/QL990305.log", Line(5, 0, 5000));
      WriteFile(site / "access.log", log);
      const std::string home = site.Path() + "/";
      file_faults::Reset();
      file_faults::FailNth(op, nth, ENOSPC);
      const bool ok = SplitAccessLog(home.c_str(), (site / "access.log").c_str(), Day(19990308));
      file_faults::Reset();
      if (ok) continue;  // fewer operations than nth
      EXPECT_NE(nullptr, strstr(LastSplitFailure(), "No space left")) << op << " " << nth << LastSplitFailure();
      if (access((site / "vazivev.journal").c_str(), F_OK) != 0) {
        EXPECT_EQ(log, ReadFile(site / "access.log")) << op << " " << nth;
        EXPECT_EQ(Line(5, 0, 5000), ReadFile(site / "logs/QL990305.log"));
      }
      ASSERT_TRUE(SplitAccessLog(home.c_str(), (site / "access.log").c_str(), Day(19990308)));
      EXPECT_EQ(Line(8, 1, 999), ReadFile(site / "vazivev.log"));
      std::string day5 = Line(5, 0, 5000);
      for (int n = 0; n < 200; n += 3) day5 += Line(5, 1, n);
      EXPECT_EQ(day5, ReadFile(site / "logs/QL990305.log")) << op << " " << nth;
    }
  }
}

// A split that reaches its budget moves what it took, leaves the log as it
// is and keeps its place; the next ones go on from there, lines written
// meanwhile included, and the one that reaches the end empties the log. A
// log that no longer holds the bytes before the place is read from its
// start.
TEST_F(LogSplitTest, BudgetedSplitsGoOnWhereTheLastStopped) {
  std::string log = "format=h\n";
  std::string day5;
  for (int n = 0; n < 30; ++n) {
    log += Line(5, 1, n);
    day5 += Line(5, 1, n);
  }
  WriteFile(site_ / "access.log", log);
  SetSplitBudget(static_cast<long long>(Line(5, 1, 0).size()) * 10, 0);
  ASSERT_TRUE(Split());
  EXPECT_EQ(log, ReadFile(site_ / "access.log"));
  EXPECT_EQ(10u, Lines(ReadFile(site_ / "logs/QL990305.log")).size());
  EXPECT_EQ(0, access((site_ / "vazivev.offset").c_str(), F_OK));
  std::ofstream(site_ / "access.log", std::ios::app) << Line(5, 2, 90) << Line(9, 0, 91);
  day5 += Line(5, 2, 90);
  for (int split = 0; split < 10 && access((site_ / "vazivev.offset").c_str(), F_OK) == 0; ++split)
    ASSERT_TRUE(Split());
  EXPECT_EQ(day5, ReadFile(site_ / "logs/QL990305.log"));
  EXPECT_EQ(Line(9, 0, 91), ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ("format=h\n", ReadFile(site_ / "access.log"));

  // Replaced under the split's feet (rotated, or rewritten by hand): from
  // the start.
  WriteFile(site_ / "access.log", log);
  ASSERT_TRUE(Split(19990310));
  WriteFile(site_ / "access.log", "format=h\n" + Line(6, 1, 500) + log.substr(9));
  for (int split = 0; split < 10 && access((site_ / "vazivev.offset").c_str(), F_OK) == 0; ++split) {
    ASSERT_TRUE(Split(19990310));
  }
  EXPECT_EQ(Line(6, 1, 500), ReadFile(site_ / "logs/QL990306.log"));
  SetSplitBudget(kSplitByteBudget, kSplitSecondBudget);
}

// No line decides for the others or holds them back: each line is read in
// its own layout, a line dated in the future is dropped rather than kept
// waiting, and a date written where a visitor's text goes (the user name,
// the host) is not taken for the line's.
TEST_F(LogSplitTest, NoLineHoldsAnotherBack) {
  const std::string comma = "a.jp, 99/03/06, 9:00:00, /a\n";
  const std::string in_user = "127.0.0.1 - [31/Dec/2035 x [05/Mar/1999:01:00:00 +0900] \"GET / HTTP/1.0\" 200 1\n";
  const std::string in_host = "\x1b[31m - - [06/Mar/1999:02:00:00 +0900] \"GET /b HTTP/1.0\" 200 1\n";
  WriteFile(site_ / "access.log", "x,y z\n" + Line(5, 1, 1) + comma +
                                      "h - - [01/Jan/2098:00:00:00 +0000] \"GET / \"\n" + in_user + in_host +
                                      Line(7, 1, 2) + Line(8, 1, 3));
  ASSERT_TRUE(Split());
  EXPECT_EQ(Line(5, 1, 1) + in_user, ReadFile(site_ / "logs/QL990305.log"));
  EXPECT_EQ(comma + in_host, ReadFile(site_ / "logs/QL990306.log"));
  EXPECT_EQ(Line(7, 1, 2), ReadFile(site_ / "logs/QL990307.log"));
  EXPECT_EQ(Line(8, 1, 3), ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ(2, LastSplitDropped());  // the garbage line and the one of 2098

  // Days after 2035 are days like the others.
  WriteFile(site_ / "access.log", "h - - [01/Jan/2036:10:00:00 +0000] \"GET / HTTP/1.1\" 200 1\n");
  ASSERT_TRUE(Split(20360102));
  EXPECT_NE("", ReadFile(site_ / "logs/QL360101.log"));
}

// Each line's day ends at midnight of its own zone: with the server logging
// in UTC and this program in Tokyo, the UTC day still running is held back
// although Tokyo's has ended, and that day is the split's earliest today.
TEST_F(LogSplitTest, TheDayIsTheZoneOfEachLine) {
  EXPECT_EQ(540, LineZoneOffset("h - - [09/Dec/2026:15:59:00 +0900] \"GET /\"", 1));
  EXPECT_EQ(-330, LineZoneOffset("h - - [09/Dec/2026:15:59:00 -0530] \"GET /\"", 1));
  for (const char* line : {"h - - [09/Dec/2026:15:59:00] \"GET /\"", "h - - [09/Dec/2026:15:59:00 +09] \"GET /\"",
                           "h - - [09/Dec/2026:15:59:00 +2500] \"GET /\"", "a, 26/12/09, 15:59:00, /"}) {
    EXPECT_EQ(kNoZone, LineZoneOffset(line, DetectLogFormat(line))) << line;
  }
  const char* saved = getenv("TZ");
  const std::string zone = saved != nullptr ? saved : "";
  setenv("TZ", "JST-9", 1);
  tzset();
  const time_t now = 1796832000;  // 2026-12-09 16:00:00 UTC, 10 December 01:00 in Tokyo
  const std::string done = "h - - [08/Dec/2026:23:00:00 +0000] \"GET /a HTTP/1.1\" 200 1\n";
  const std::string running = "h - - [09/Dec/2026:15:59:00 +0000] \"GET /b HTTP/1.1\" 200 1\n";
  const std::string tokyo = "h - - [10/Dec/2026:00:30:00 +0900] \"GET /c HTTP/1.1\" 200 1\n";
  const std::string ahead = "h - - [10/Dec/2026:00:01:00 +0000] \"GET /d HTTP/1.1\" 200 1\n";
  WriteFile(site_ / "access.log", done + ahead + running + tokyo);
  ASSERT_TRUE(SplitAccessLog((site_.Path() + "/").c_str(), (site_ / "access.log").c_str(), now));
  EXPECT_EQ(done, ReadFile(site_ / "logs/QL261208.log"));
  EXPECT_EQ(running + tokyo, ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ(1, LastSplitDropped());  // ahead of the UTC clock
  EXPECT_EQ(20261209, LastSplitToday().Number());
  if (saved != nullptr) {
    setenv("TZ", zone.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// A virtual host's line goes by its bracketed date, a JSON line by the local
// day of its time (10 December in Tokyo, still the 9th in UTC).
TEST_F(LogSplitTest, VirtualHostAndJsonLinesGoToTheirDays) {
  const char* saved = getenv("TZ");
  const std::string zone = saved != nullptr ? saved : "";
  setenv("TZ", "JST-9", 1);
  tzset();
  const std::string vhost = "example.com:80 203.0.113.5 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200 1\n";
  const std::string json = "{\"ts\":1796832000.5,\"request\":{\"uri\":\"/a\"},\"status\":200}\n";
  const std::string today = "{\"ts\":1796918400,\"request\":{\"uri\":\"/b\"},\"status\":200}\n";
  WriteFile(site_ / "access.log", vhost + json + "{\"ts\":1796832000\n" + today);
  ASSERT_TRUE(Split(20261211));
  EXPECT_EQ(vhost, ReadFile(site_ / "logs/QL261209.log"));
  EXPECT_EQ(json, ReadFile(site_ / "logs/QL261210.log"));
  EXPECT_EQ(today, ReadFile(site_ / "vazivev.log"));
  EXPECT_EQ(1, LastSplitDropped());  // the JSON cut short
  if (saved != nullptr) {
    setenv("TZ", zone.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}
