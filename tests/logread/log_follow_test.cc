#include "logread/log_follow.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "core/date.h"
#include "logread/log_split.h"
#include "tests/fake_time.h"
#include "tests/test_util.h"

namespace {

// A line of day `day` of March 1999, unique by `n`.
std::string Line(int day, int n) {
  char text[160];
  snprintf(text, sizeof text, "h%d.example.jp - - [%02d/Mar/1999:%02d:00:00 +0000] \"GET /p%d.html HTTP/1.0\" 200 1\n",
           n, day, n % 24, n);
  return text;
}

HDate Day(int number) {
  HDate date;
  date.SetNumber(number);
  return date;
}

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end == std::string::npos ? text.size() : end + 1;
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

// A server's log folder beside a site: the test writes and rotates the
// log as a web server and logrotate would, and checks that following never
// changes a byte of those files and takes every line exactly once.
class FollowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    mkdir((site_ / "logs").c_str(), 0755);
    mkdir((site_ / "server").c_str(), 0755);
  }
  std::string Log() const { return site_ / "server/access.log"; }
  // Appends lines as the web server does, remembering them.
  void Serve(const std::string& lines) {
    std::ofstream(Log(), std::ios::app) << lines;
    written_ += lines;
  }
  bool Follow(int today) { return FollowAccessLog((site_.Path() + "/").c_str(), Log().c_str(), Day(today)); }
  // The server's files as they are now.
  std::map<std::string, std::string> ServerFiles() const {
    std::map<std::string, std::string> files;
    for (const std::string& path : RotatedLogs(Log())) files[path] = ReadFile(path);
    files[Log()] = ReadFile(Log());
    return files;
  }
  // Every line taken: the day files and the carry-over file.
  std::string Taken() const {
    std::string all = ReadFile(site_ / "vazivev.log");
    for (int day = 1; day <= 31; ++day) {
      char name[32];
      snprintf(name, sizeof name, "logs/QL9903%02d.log", day);
      all += ReadFile(site_ / name);
    }
    return all;
  }
  void Rotate(const char* command) {
    const std::string folder = site_ / "server";
    ASSERT_EQ(0, system(("cd '" + folder + "' && " + command).c_str())) << command;
  }

  ScratchDir site_;
  std::string written_;
};

}  // namespace

TEST_F(FollowTest, RotatedCompressedAndTruncatedLogsAreReadOnceAndNeverWritten) {
  int n = 0;
  auto day_lines = [&](int day, int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += Line(day, n++);
    return lines;
  };
  Serve(day_lines(5, 30) + day_lines(6, 30) + day_lines(8, 5));
  auto before = ServerFiles();
  ASSERT_TRUE(Follow(19990308)) << LastSplitFailure();
  EXPECT_EQ(before, ServerFiles());
  EXPECT_EQ(30u, SortedLines(ReadFile(site_ / "logs/QL990306.log")).size());
  EXPECT_EQ(written_.size(), Taken().size());

  // Nothing new: nothing changes, the place stays.
  const std::string place = ReadFile(site_ / "vazivev.follow");
  ASSERT_TRUE(Follow(19990308));
  EXPECT_EQ(place, ReadFile(site_ / "vazivev.follow"));

  // Rotated with "create", lines both before and after it, then rotated
  // twice more without a view, the older file compressed on the way
  // (delaycompress); then truncated in place after a copy (copytruncate).
  Serve(day_lines(8, 10));
  Rotate("mv access.log access.log.1");
  Serve(day_lines(9, 10));
  ASSERT_TRUE(Follow(19990310)) << LastSplitFailure();
  Serve(day_lines(10, 10));
  Rotate("gzip -c access.log.1 > access.log.2.gz && rm access.log.1 && mv access.log access.log.1");
  Serve(day_lines(10, 10));
  Rotate(
      "gzip -c access.log.2.gz > /dev/null; xz -c access.log.1 > access.log.3.xz; "
      "mv access.log.2.gz access.log.4.gz; mv access.log.3.xz access.log.2.xz; rm access.log.1; "
      "mv access.log access.log.1");
  Serve(day_lines(11, 10));
  before = ServerFiles();
  ASSERT_TRUE(Follow(19990312)) << LastSplitFailure();
  EXPECT_EQ(before, ServerFiles());
  Serve(day_lines(11, 5));
  Rotate("cp access.log access.log.0 && : > access.log");
  Rotate("mv access.log.1 access.log.3 && mv access.log.0 access.log.1");
  Serve(day_lines(12, 7));
  before = ServerFiles();
  ASSERT_TRUE(Follow(19990313)) << LastSplitFailure();
  EXPECT_EQ(before, ServerFiles());
  EXPECT_EQ(SortedLines(written_), SortedLines(Taken()));
  EXPECT_EQ(7u, SortedLines(ReadFile(site_ / "logs/QL990312.log")).size());
  // The rotated files read to their end are recorded, so an import of them
  // adds nothing.
  for (const std::string& path : RotatedLogs(Log())) {
    HFileFingerprint print;
    ASSERT_TRUE(ContentHead(path.c_str(), kFollowHeadBytes, &print.hash, &print.length));
    EXPECT_LE(0, ImportedLines((site_.Path() + "/").c_str(), print)) << path;
  }
}

// The real logrotate with Debian's stock rotation (daily, compress,
// delaycompress, create), and with its dateext and copytruncate variants,
// forced on fourteen days in turn (its clock pinned to each) with views now
// and then: every line once, the server's files untouched.
TEST_F(FollowTest, RealLogrotateOverTwoWeeks) {
  if (access("/usr/sbin/logrotate", X_OK) != 0 || FakeTimeLibrary() == nullptr) {
    GTEST_SKIP() << "logrotate or faketime is not installed";
  }
  for (const char* variant : {"create 0640", "create 0640\n dateext", "copytruncate"}) {
    SCOPED_TRACE(variant);
    ScratchDir site;
    mkdir((site / "logs").c_str(), 0755);
    mkdir((site / "server").c_str(), 0755);
    const std::string home = site.Path() + "/";
    const std::string log = site / "server/access.log";
    const std::string config = site / "rotate.conf";
    WriteFile(config, log + " {\n daily\n rotate 14\n compress\n delaycompress\n missingok\n " + variant + "\n}\n");
    chmod(config.c_str(), 0644);
    const std::string state = site / "rotate.state";
    std::string written;
    auto server_files = [&] {
      std::map<std::string, std::string> files;
      for (const std::string& path : RotatedLogs(log)) files[path] = ReadFile(path);
      files[log] = ReadFile(log);
      return files;
    };
    int n = 0;
    for (int day = 1; day <= 14; ++day) {
      std::string lines;
      for (int i = 0; i < 20; ++i) lines += Line(day, n++);
      std::ofstream(log, std::ios::app) << lines;
      written += lines;
      // A view on some days only: days 4 to 8 pass without one.
      if (day < 4 || day > 8) {
        const auto before = server_files();
        ASSERT_TRUE(FollowAccessLog(home.c_str(), log.c_str(), Day(19990300 + day))) << LastSplitFailure();
        EXPECT_EQ(before, server_files()) << day;
      }
      char when[32];
      snprintf(when, sizeof when, "1999-03-%02d 23:59:00", day);
      ASSERT_EQ(
          0, system((FakeTimeCommand(when) + "logrotate -f -s '" + state + "' '" + config + "'").c_str()));
    }
    std::ofstream(log, std::ios::app) << Line(15, n);
    written += Line(15, n);
    ASSERT_TRUE(FollowAccessLog(home.c_str(), log.c_str(), Day(19990316))) << LastSplitFailure();
    std::string taken = ReadFile(site / "vazivev.log");
    for (int day = 1; day <= 31; ++day) {
      char name[32];
      snprintf(name, sizeof name, "logs/QL9903%02d.log", day);
      taken += ReadFile(site / name);
    }
    EXPECT_EQ(SortedLines(written), SortedLines(taken));
  }
}

// Stopped at every step of a follow that finishes a rotated file and reads
// the new log, and then followed to the end: every line once, the server's
// files untouched.
TEST_F(FollowTest, StoppedAtAnyStepEveryLineIsTakenOnce) {
  static int steps = 0;
  static int stop_at = 0;
  int total = 0;
  for (int stop = 1;; ++stop) {
    ScratchDir site;
    mkdir((site / "logs").c_str(), 0755);
    mkdir((site / "server").c_str(), 0755);
    const std::string home = site.Path() + "/";
    const std::string log = site / "server/access.log";
    std::string written;
    for (int n = 0; n < 12; ++n) written += Line(4 + n % 3, n);
    WriteFile(log, written);
    ASSERT_TRUE(FollowAccessLog(home.c_str(), log.c_str(), Day(19990308)));
    std::string more;
    for (int n = 12; n < 20; ++n) more += Line(6 + n % 3, n);
    std::ofstream(log, std::ios::app) << more;
    rename(log.c_str(), (log + ".1").c_str());
    std::string fresh;
    for (int n = 20; n < 26; ++n) fresh += Line(7 + n % 2, n);
    WriteFile(log, fresh);
    written += more + fresh;
    const pid_t child = fork();
    if (child == 0) {
      stop_at = stop;
      LogSplitStep = [](SplitStep) {
        if (++steps == stop_at) raise(SIGKILL);
      };
      FollowAccessLog(home.c_str(), log.c_str(), Day(19990309));
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(FollowAccessLog(home.c_str(), log.c_str(), Day(19990309))) << stop << LastSplitFailure();
    std::string taken = ReadFile(site / "vazivev.log");
    for (int day = 4; day <= 8; ++day) taken += ReadFile(site / ("logs/QL99030" + std::to_string(day) + ".log"));
    ASSERT_EQ(SortedLines(written), SortedLines(taken)) << "stop " << stop;
    EXPECT_EQ(more, ReadFile(log + ".1").substr(ReadFile(log + ".1").size() - more.size()));
    EXPECT_EQ(fresh, ReadFile(log));
    if (!WIFSIGNALED(status)) {
      total = stop - 1;
      break;
    }
  }
  EXPECT_GT(total, 10) << total;
}

// An import in pieces, stopped at any step and then run again to its end:
// every line of the file once, its lines of today waiting with those that
// waited before, the file untouched.
TEST_F(FollowTest, ImportStoppedAtAnyStepTakesEveryLineOnce) {
  static int steps = 0;
  static int stop_at = 0;
  std::string lines;
  for (int n = 0; n < 24; ++n) lines += Line(n % 8 == 7 ? 9 : 3 + n % 4, n);  // day 9 is today
  const std::string waiting = Line(9, 100);
  int total = 0;
  for (int stop = 1;; ++stop) {
    ScratchDir site;
    mkdir((site / "logs").c_str(), 0755);
    const std::string home = site.Path() + "/";
    const std::string file = site / "old.log";
    WriteFile(file, lines);
    WriteFile(site / "vazivev.log", waiting);
    SetSplitBudget(static_cast<long long>(Line(3, 10).size()) * 5, 0);
    const pid_t child = fork();
    if (child == 0) {
      stop_at = stop;
      LogSplitStep = [](SplitStep) {
        if (++steps == stop_at) raise(SIGKILL);
      };
      for (bool done = false; !done;) {
        if (!ImportLogPiece(home.c_str(), file.c_str(), Day(19990309), &done)) _exit(1);
      }
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    for (bool done = false; !done;) ASSERT_TRUE(ImportLogPiece(home.c_str(), file.c_str(), Day(19990309), &done));
    SetSplitBudget(kSplitByteBudget, kSplitSecondBudget);
    std::string taken = ReadFile(site / "vazivev.log");
    for (int day = 3; day <= 6; ++day) taken += ReadFile(site / ("logs/QL99030" + std::to_string(day) + ".log"));
    ASSERT_EQ(SortedLines(lines + waiting), SortedLines(taken)) << "stop " << stop;
    EXPECT_EQ(0u, ReadFile(site / "vazivev.log").find(waiting));
    EXPECT_EQ(lines, ReadFile(file));
    if (!WIFSIGNALED(status)) {
      total = stop - 1;
      break;
    }
  }
  EXPECT_GT(total, 10) << total;
}
