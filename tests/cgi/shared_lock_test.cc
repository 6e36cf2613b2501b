// Page views that only read share the site's lock; a view that must change
// a file starts again under the write lock before it changes anything, and
// a writer waiting at the turnstile keeps new readers out.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kNow[] = "1999-03-02 12:00:00";
// A hundred times fast: a request's eleven seconds of waiting for the lock
// take a tenth of a second.
const char kFastNow[] = "1999-03-02 12:00:00 x100";
const char kQuery[] = "page=VaziVevPages&period=19990301";

void SetUpAnalysis(const CgiSite& site) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"),
        "object vazivev : VaziVev\n Loging=Unique\n LogFile=" + site.Path("access.log") + "\nend\n");
  mkdir(site.Path("data/vazivev/pages").c_str(), 0755);
  Write(site.Path("data/vazivev/pages/index"), "object pages : PagesContainer\nend\n");
  std::string log;
  for (int i = 0; i < 6; ++i) {
    log += "h" + std::to_string(i) + ".example.jp - - [01/Mar/1999:1" + std::to_string(i) + ":00:00 +0000] \"GET /p" +
           std::to_string(i % 3) + ".html HTTP/1.0\" 200 1\n";
  }
  Write(site.Path("access.log"), log);
}

// Holds `type` on `length` bytes from `start` of the site's lock file,
// as another request would; released when the descriptor is closed.
int Hold(const CgiSite& site, short type, off_t start, off_t length) {
  const int fd = open(site.Path("vazivev.txt").c_str(), O_RDWR | O_CLOEXEC);
  struct flock range = {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  EXPECT_EQ(0, fcntl(fd, F_SETLK, &range));
  return fd;
}

CgiResult View(const CgiSite& site, const char* clock) {
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", kQuery}}, "", clock);
}

bool Busy(const CgiResult& r) { return r.out.find("Status: 503") == 0; }

}  // namespace

TEST(SharedLockTest, ReadersShareTheLockAndAWriterWaitsUntilTheyLeave) {
  CgiSite site;
  SetUpAnalysis(site);
  const std::string log = Slurp(site.Path("access.log"));
  // With another reader inside, the view that must split the log waits
  // for the write lock, and changes nothing while it waits.
  int reader = Hold(site, F_RDLCK, 0, 1);
  CgiResult r = View(site, kFastNow);
  EXPECT_TRUE(Busy(r)) << r.out.substr(0, 200);
  EXPECT_EQ(log, Slurp(site.Path("access.log")));
  struct stat info;
  EXPECT_NE(0, stat(site.Path("logs/QL990301.log").c_str(), &info));
  EXPECT_NE(0, stat(site.Path("data/vazivev/pages/19990301").c_str(), &info));
  close(reader);
  // Alone, it splits the log and counts the day.
  r = View(site, kNow);
  ASSERT_FALSE(Busy(r));
  EXPECT_EQ("3", Figure(r.out, "count"));
  EXPECT_EQ("", Slurp(site.Path("access.log")));
  EXPECT_EQ(0, stat(site.Path("data/vazivev/pages/19990301").c_str(), &info));
  // Counted and stored, the view only reads: it goes in beside the reader.
  reader = Hold(site, F_RDLCK, 0, 1);
  const CgiResult again = View(site, kFastNow);
  EXPECT_FALSE(Busy(again)) << again.out.substr(0, 200);
  EXPECT_EQ("3", Figure(again.out, "count"));
  // A writer at the turnstile keeps a new reader out until it is done.
  const int writer = Hold(site, F_WRLCK, 1, 1);
  EXPECT_TRUE(Busy(View(site, kFastNow)));
  close(writer);
  close(reader);
  EXPECT_EQ("3", Figure(View(site, kNow).out, "count"));
}
