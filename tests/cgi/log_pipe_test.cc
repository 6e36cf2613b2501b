// The piped logger as an operator meets it: a full disk, a file-size
// limit, a kill -9 while lines wait for the lock, a missing lock file, a
// rotation of the log.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include "tests/cgi/cgi_site.h"

namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string Lines(int first, int count, size_t width) {
  std::string out;
  for (int i = first; i < first + count; ++i) {
    std::string line = std::to_string(i) + " ";
    line.resize(width - 1, 'x');
    out += line + "\n";
  }
  return out;
}

// Starts the logger on a pipe; returns its pid and the pipe's write end.
pid_t StartLogger(const CgiSite& site, const std::string& log, const std::string& lock, int* to, long fsize = 0) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[0], 0);
    close(fds[1]);
    if (fsize > 0) {
      signal(SIGXFSZ, SIG_IGN);
      struct rlimit limit = {static_cast<rlim_t>(fsize), static_cast<rlim_t>(fsize)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    const std::string program = site.Path("vazivev-log");
    execl(program.c_str(), program.c_str(), log.c_str(), lock.c_str(), nullptr);
    _exit(127);
  }
  close(fds[0]);
  *to = fds[1];
  return pid;
}

int Finish(pid_t pid, int to) {
  close(to);
  int status = 0;
  waitpid(pid, &status, 0);
  return status;
}

bool HoldLock(int fd, short type) {
  struct flock whole = {};
  whole.l_type = type;
  whole.l_whence = SEEK_SET;
  return fcntl(fd, F_SETLK, &whole) == 0;
}

// Every line of `log` is one of `sent`, whole, and none is doubled.
void ExpectNoTornOrDoubled(const std::string& sent, const std::string& log) {
  ASSERT_TRUE(log.empty() || log.back() == '\n');
  std::istringstream lines(log);
  std::string line;
  std::string seen = "\n";
  while (std::getline(lines, line)) {
    EXPECT_NE(std::string::npos, sent.find(line + "\n")) << "torn: " << line.substr(0, 20);
    EXPECT_EQ(std::string::npos, seen.find("\n" + line + "\n")) << "doubled: " << line.substr(0, 20);
    seen += line + "\n";
  }
}

TEST(LogPipeTest, ShortWritesNeitherDoubleNorTearALine) {
  CgiSite site;
  const std::string log = site.Path("access.log");
  const std::string lines = Lines(0, 3, 400);  // 1,200 bytes against a 1,024-byte limit
  int to = -1;
  const pid_t pid = StartLogger(site, log, site.Path("vazivev.txt"), &to, 1024);
  ASSERT_EQ(static_cast<ssize_t>(lines.size()), write(to, lines.data(), lines.size()));
  Finish(pid, to);
  EXPECT_EQ(lines.substr(0, 800), Read(log));  // two whole lines; the third waits in the spool
  // A logger started without the limit takes the spool over.
  const pid_t next = StartLogger(site, log, site.Path("vazivev.txt"), &to);
  Finish(next, to);
  EXPECT_EQ(lines, Read(log));
}

TEST(LogPipeTest, FullFileSystemKeepsWholeLinesAndResumes) {
  CgiSite site;
  const std::string folder = site.Path("small");
  mkdir(folder.c_str(), 0755);
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) GTEST_SKIP() << "cannot mount a tmpfs";
  const std::string log = folder + "/access.log";
  const std::string lines = Lines(0, 300, 300);  // 90,000 bytes into 64 KiB
  int to = -1;
  const pid_t pid = StartLogger(site, log, site.Path("vazivev.txt"), &to);
  ASSERT_EQ(static_cast<ssize_t>(lines.size()), write(to, lines.data(), lines.size()));
  usleep(300 * 1000);
  const std::string full = Read(log);
  EXPECT_LT(full.size(), lines.size());
  ExpectNoTornOrDoubled(lines, full);
  // Room again (the log is taken away, as a split does): the lines held
  // go out, each once.
  truncate(log.c_str(), 0);
  for (int wait = 0; wait < 300 && Read(log).size() + full.size() < lines.size(); ++wait) usleep(10 * 1000);
  Finish(pid, to);
  EXPECT_EQ(lines, full + Read(log));
  umount(folder.c_str());
}

TEST(LogPipeTest, KilledLoggerLosesNoWaitingLine) {
  CgiSite site;
  const std::string log = site.Path("access.log");
  const int lock = open(site.Path("vazivev.txt").c_str(), O_RDWR);
  ASSERT_TRUE(HoldLock(lock, F_WRLCK));
  const std::string first = Lines(0, 10, 60);
  int to = -1;
  const pid_t pid = StartLogger(site, log, site.Path("vazivev.txt"), &to);
  ASSERT_EQ(static_cast<ssize_t>(first.size()), write(to, first.data(), first.size()));
  usleep(200 * 1000);
  kill(pid, SIGKILL);
  Finish(pid, to);
  EXPECT_EQ("", Read(log));
  const std::string second = Lines(10, 5, 60);
  const pid_t next = StartLogger(site, log, site.Path("vazivev.txt"), &to);
  ASSERT_EQ(static_cast<ssize_t>(second.size()), write(to, second.data(), second.size()));
  usleep(100 * 1000);
  HoldLock(lock, F_UNLCK);
  for (int wait = 0; wait < 300 && Read(log).size() < first.size() + second.size(); ++wait) usleep(10 * 1000);
  Finish(next, to);
  EXPECT_EQ(first + second, Read(log));
  close(lock);
}

TEST(LogPipeTest, MissingLockFileIsReportedAndNothingWrittenWithoutIt) {
  CgiSite site;
  const std::string log = site.Path("access.log");
  const std::string lock = site.Path("other-lock.txt");
  const std::string lines = Lines(0, 4, 50);
  int to = -1;
  pid_t pid = StartLogger(site, log, lock, &to);
  ASSERT_EQ(static_cast<ssize_t>(lines.size()), write(to, lines.data(), lines.size()));
  const int status = Finish(pid, to);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ("", Read(log));  // kept in the spool
  close(open(lock.c_str(), O_CREAT | O_WRONLY, 0644));
  pid = StartLogger(site, log, lock, &to);
  Finish(pid, to);
  EXPECT_EQ(lines, Read(log));
}

// A logger killed after a merge reached the log but before its spool was
// emptied: the next one finds the lines at the recorded place and does not
// write them again; one killed in the middle of the write has its torn part
// cut off and the merge made whole.
TEST(LogPipeTest, MergeCutShortByAKillIsNeitherRepeatedNorLost) {
  const std::string lines = Lines(0, 3, 40);
  for (const size_t in_log : {lines.size(), size_t{50}}) {
    CgiSite site;
    const std::string log = site.Path("access.log");
    const std::string before = "old line\n";
    char header[81];
    snprintf(header, sizeof header, "spool %020d %020zu %020zu", 0, lines.size(), before.size());
    std::string spool = header;
    spool.resize(79, ' ');
    spool += "\n" + lines;
    std::ofstream(site.Path("access.log.spool.999999999")) << spool;
    std::ofstream(log) << before << lines.substr(0, in_log);
    int to = -1;
    const pid_t pid = StartLogger(site, log, site.Path("vazivev.txt"), &to);
    Finish(pid, to);
    EXPECT_EQ(before + lines, Read(log)) << in_log;
    EXPECT_EQ("", Read(site.Path("access.log.spool.999999999")));  // merged and removed
  }
}

// Waits up to ten seconds for `done`: a loaded machine may be slow.
void WaitFor(const std::function<bool()>& done) {
  for (int wait = 0; wait < 1000 && !done(); ++wait) usleep(10 * 1000);
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Each rotation happens while lines stream, as soon as the log holds some:
// renamed away and created again soon after (exclusively, as the system's
// rotation does, which fails when the logger made a file in between),
// renamed and left missing (the logger creates it), copied and truncated,
// and the system's own rotations, forced, with their own state file. The
// lines sent afterwards end the new log. A rename keeps every line once, in
// order, across the two files; a truncation loses what arrives between the
// copy and it, but leaves the new log a tail of what was sent, its start
// where the truncation put it, and doubles nothing.
TEST(LogPipeTest, RotatedLogKeepsEachLineOnceAndTakesTheNewOnes) {
  const std::string system_rotation = "/usr/sbin/logrotate";
  const bool have_system_rotation = access(system_rotation.c_str(), X_OK) == 0;
  const struct {
    const char* name;
    bool renames;
    bool system;
    std::function<void(const std::string& log)> rotate;
  } cases[] = {
      {"rename, create", true, false,
       [](const std::string& log) {
         EXPECT_EQ(0, rename(log.c_str(), (log + ".1").c_str()));
         usleep(20 * 1000);  // while the logger writes on
         const int fd = open(log.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644);
         EXPECT_LE(0, fd);
         close(fd);
       }},
      {"rename", true, false, [](const std::string& log) { EXPECT_EQ(0, rename(log.c_str(), (log + ".1").c_str())); }},
      {"copy, truncate", false, false,
       [](const std::string& log) {
         Write(log + ".1", Read(log));
         truncate(log.c_str(), 0);
       }},
      {"create", true, true, nullptr},
      {"copytruncate", false, true, nullptr},
  };
  for (const auto& c : cases) {
    if (c.system && !have_system_rotation) continue;
    CgiSite site;
    const std::string log = site.Path("access.log");
    Write(site.Path("rotate.conf"), log + " {\n  " + c.name + "\n  rotate 2\n}\n");
    const std::string command =
        system_rotation + " -f -s " + site.Path("rotate.state") + " " + site.Path("rotate.conf") + " >/dev/null 2>&1";
    const std::string before = Lines(0, 4000, 80);
    const std::string after = Lines(4000, 50, 80);
    const std::string all = before + after;
    int to = -1;
    const pid_t pid = StartLogger(site, log, site.Path("vazivev.txt"), &to);
    std::thread writer([&] {
      for (size_t at = 0; at < before.size(); at += 4096) {
        const size_t n = std::min<size_t>(4096, before.size() - at);
        if (write(to, before.data() + at, n) != static_cast<ssize_t>(n)) return;
        usleep(500);
      }
    });
    WaitFor([&] { return !Read(log).empty(); });
    if (c.system) {
      EXPECT_EQ(0, system(command.c_str())) << c.name;
    } else {
      c.rotate(log);
    }
    writer.join();
    usleep(300 * 1000);  // a missing log is created after 200 ms
    ASSERT_EQ(static_cast<ssize_t>(after.size()), write(to, after.data(), after.size()));
    WaitFor([&] { return EndsWith(Read(log), after); });
    Finish(pid, to);
    const std::string old_file = Read(log + ".1");
    const std::string new_file = Read(log);
    EXPECT_FALSE(old_file.empty()) << c.name;
    EXPECT_TRUE(EndsWith(new_file, after)) << c.name;
    if (c.renames) {
      EXPECT_TRUE(all == old_file + new_file) << c.name;
    } else {
      EXPECT_EQ(0, all.compare(0, old_file.size(), old_file)) << c.name;
      EXPECT_TRUE(EndsWith(all, new_file)) << c.name;
      EXPECT_LE(old_file.size() + new_file.size(), all.size()) << c.name;
      ExpectNoTornOrDoubled(all, old_file + new_file);
    }
  }
  if (!have_system_rotation) GTEST_SKIP() << "without the system's rotations: logrotate is not installed";
}

}  // namespace
