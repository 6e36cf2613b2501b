// The log analysis through the installed program, with pinned dates: the
// split of the access log at every request, the hit counters and their
// graphs, the "Loging" decision, the web server's own day files, and the
// piped logger.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";
const char kMarch8[] = "1999-03-08 12:00:00";

// A site whose analysis object reads `site/access.log` (or the given
// settings), with the counters "hit" and "root".
void SetUpAnalysis(const CgiSite& site, const std::string& settings) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n" + settings + "end\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  Write(site.Path("data/vazivev/root"), "object root : RootHit\nend\n");
}

CgiResult Page(const CgiSite& site, const std::string& page, const std::string& query = "") {
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=" + page + query}}, "", kMarch8);
}

// Request number n of a generated log: a host, a path (every fifth an
// image, every seventh the top page, some with a query) and a time.
struct Request {
  std::string host, path;
  bool image, top;
};
Request Nth(int n) {
  static const char* const kHosts[] = {"a.b.example.jp", "www.example.com", "10.0.0.7", "x.y.z.ne.jp", "h.net.arpa"};
  Request r;
  r.host = kHosts[n % 5];
  r.image = n % 5 == 3;
  r.top = !r.image && n % 7 == 0;
  r.path = r.image ? (n % 2 ? "/img/i.GIF" : "/img/p.jpeg") : r.top ? (n % 2 ? "/" : "/?from=x") : "/d/p" + std::to_string(n % 13) + ".html";
  return r;
}
std::string Common(const Request& r, int day, int second) {
  char text[240];
  snprintf(text, sizeof text, "%s - - [%02d/Mar/1999:%02d:%02d:%02d +0000] \"GET %s HTTP/1.0\" 200 1\n", r.host.c_str(),
           day, second / 3600 % 24, second / 60 % 60, second % 60, r.path.c_str());
  return text;
}
std::string Comma(const Request& r, int day, int second) {
  char text[240];
  snprintf(text, sizeof text, "%s, 99/03/%02d, %d:%02d:%02d, %s, 200\n", r.host.c_str(), day, second / 3600 % 24,
           second / 60 % 60, second % 60, r.path.c_str());
  return text;
}

}  // namespace

// Three days and the morning of today in the access log; the first request
// of 8 March splits it, and the counters agree with a count made while
// the log was written. A second request reads the stored counts even with
// the day files gone.
TEST(LogAnalysisPagesTest, SplitAndCountBothLayouts) {
  for (const bool comma : {false, true}) {
    CgiSite site;
    SetUpAnalysis(site, " LogFile=" + site.Path("access.log") + "\n");
    std::string log = "format=%h %l %u %t \"%r\" %>s %b\n";
    std::map<int, int> hits, tops;
    std::string today;
    int n = 0;
    for (int day = 5; day <= 8; ++day) {
      for (int i = 0; i < 400 + day * 10; ++i, ++n) {
        const Request r = Nth(n);
        const std::string line = comma ? Comma(r, day, i * 97) : Common(r, day, i * 97);
        (day == 8 ? today : log) += line;
        if (!r.image) ++hits[day];
        if (r.top && (!comma || r.path == "/")) ++tops[day];  // commas keep the query in the path
      }
    }
    Write(site.Path("access.log"), log + today);
    site.WritePage("Counts",
                   "$System.vazivev.hit.19990305 $System.vazivev.hit.19990306 $System.vazivev.hit.19990307 "
                   "$System.vazivev.root.19990305 $System.vazivev.root.19990307 [$System.vazivev.hit.19990308]\n");
    const std::string expected = std::string(kHtml) + std::to_string(hits[5]) + " " + std::to_string(hits[6]) + " " +
                                 std::to_string(hits[7]) + " " + std::to_string(tops[5]) + " " +
                                 std::to_string(tops[7]) + " []\n";  // today is not complete
    EXPECT_EQ(expected, Page(site, "Counts").out) << comma;
    EXPECT_EQ("format=%h %l %u %t \"%r\" %>s %b\n", Slurp(site.Path("access.log")));
    EXPECT_EQ(today, Slurp(site.Path("vazivev.log")));
    EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/hit")).find("19990305="));
    // "Loging" was decided by the first request and stored.
    EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/index")).find(" Loging=Unique\n"));
    for (int day = 5; day <= 7; ++day) unlink(site.Path("logs/QL99030" + std::to_string(day) + ".log").c_str());
    EXPECT_EQ(expected, Page(site, "Counts").out);
  }
}

TEST(LogAnalysisPagesTest, LogingIsDecidedOnTheFirstRequest) {
  // Both set: the single log wins and the day-file pattern is dropped.
  CgiSite site;
  SetUpAnalysis(site, " LogFile=" + site.Path("access.log") + "\n DateFile=/var/log/access-yymmdd.log\n");
  site.WritePage("Blank", "");
  Page(site, "Blank");
  const std::string stored = Slurp(site.Path("data/vazivev/index"));
  EXPECT_NE(std::string::npos, stored.find(" Loging=Unique\n"));
  EXPECT_EQ(std::string::npos, stored.find("DateFile"));

  // Only the web server's own day files: they are read as they are, and
  // nothing is split.
  CgiSite daily;
  SetUpAnalysis(daily, " DateFile=" + daily.Path("www/access-yymmdd.log") + "\n");
  mkdir(daily.Path("www").c_str(), 0755);
  Write(daily.Path("www/access-990306.log"), Common(Nth(1), 6, 10) + Common(Nth(3), 6, 20) + Common(Nth(7), 6, 30));
  daily.WritePage("Counts", "$System.vazivev.hit.19990306 $System.vazivev.root.19990306\n");
  EXPECT_EQ(std::string(kHtml) + "2 1\n", Page(daily, "Counts").out);
  EXPECT_NE(std::string::npos, Slurp(daily.Path("data/vazivev/index")).find(" Loging=Daily\n"));
  EXPECT_NE(std::string::npos, Slurp(daily.Path("data/vazivev/index")).find(" SetDate=19990306\n"));
  EXPECT_FALSE(Exists(daily.Path("logs/QL990306.log")));
}

// The month of 16 February to 15 March 1999 with two days counted: the
// whole graph as worked out by hand. The largest value, 3, makes a scale
// of 3 and one row per hit; 28 columns of 400 / 28 + 1 = 15 pixels.
TEST(LogAnalysisPagesTest, DailyGraphOverAMonthBoundary) {
  CgiSite site;
  SetUpAnalysis(site, " LogFile=" + site.Path("access.log") + "\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\n 19990305=3\n 19990220=1\nend\n");
  site.WritePage("Graph", "'$System.vazivev.hit.Accumulate 19990315\n'$System.vazivev.hit.Graph red\n");
  std::string expected = std::string(kHtml) + "<table border=0 cellspacing=1 cellpadding=0>\n <tr>\n" +
                         "  <td height=1></td>\n  <td></td>\n" +
                         "  <td width=1 bgcolor=\"#808080\" rowspan=102></td></td>\n";
  // 16..28 February, then 1..15 March; the 20th of February and 5th of March.
  for (int column = 0; column < 28; ++column) {
    const int span = column == 4 ? 100 : column == 17 ? 98 : 101;
    expected += "  <td width=15 rowspan=" + std::to_string(span) + "><br></td>\n";
  }
  expected += " </tr>\n";
  for (int row = 0; row < 100; ++row) {
    expected += " <tr>\n  <td height=1></td>\n";
    if (row % 20 == 0) {
      expected += "  <td align=right valign=top rowspan=20><font size=-1>" + std::to_string(100 - row) +
                  "</font></td>\n";
    }
    if (row == 97) expected += "  <td bgcolor=\"red\" rowspan=3><br></td>\n";
    if (row == 99) expected += "  <td bgcolor=\"red\" rowspan=1><br></td>\n";
    expected += " </tr>\n";
  }
  expected += " <tr>\n  <td height=1></td>\n  <td height=1 bgcolor=\"#808080\" colspan=29></td>\n </tr>\n";
  expected += " <tr>\n  <td height=1></td>\n  <td align=right valign=top><font size=-1>0</font></td>\n  <td></td>\n";
  expected += "  <td><font size=-1>16</font></td>\n";
  for (int day = 17; day <= 28; ++day) {
    expected += day == 20 ? "  <td><font size=-1>20</font></td>\n" : "  <td></td>\n";
  }
  expected += "  <td colspan=2><font size=-1>3/1</font></td>\n";
  for (int day = 3; day <= 15; ++day) {
    expected += day == 10 || day == 15 ? "  <td><font size=-1>" + std::to_string(day) + "</font></td>\n" : "  <td></td>\n";
  }
  expected += " </tr>\n</table>\n";
  EXPECT_EQ(expected, Page(site, "Graph").out);
}

TEST(LogAnalysisPagesTest, EmptyMonthGraphIsAnEmptyTable) {
  CgiSite site;
  SetUpAnalysis(site, "");
  site.WritePage("Graph", "'$System.vazivev.hit.Total.Graph blue\n");
  EXPECT_EQ(std::string(kHtml) + "<table>\n <tr>\n </tr>\n</table>\n", Page(site, "Graph").out);
}

// The piped logger appends under the site's lock: lines written to it while
// a request holds the lock wait, then arrive whole and in order.
TEST(LogAnalysisPagesTest, PipedLoggerWaitsForTheLock) {
  CgiSite site;
  const std::string log = site.Path("access.log");
  const int lock = open(site.Path("vazivev.txt").c_str(), O_RDWR);
  ASSERT_GE(lock, 0);
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  ASSERT_EQ(0, fcntl(lock, F_SETLK, &whole));
  int pipe_fds[2];
  ASSERT_EQ(0, pipe(pipe_fds));
  const pid_t logger = fork();
  if (logger == 0) {
    dup2(pipe_fds[0], 0);
    close(pipe_fds[1]);
    const std::string program = site.Path("vazivev-log");
    execl(program.c_str(), program.c_str(), log.c_str(), nullptr);
    _exit(127);
  }
  close(pipe_fds[0]);
  const std::string lines = Common(Nth(1), 7, 1) + Common(Nth(2), 7, 2);
  ASSERT_EQ(static_cast<ssize_t>(lines.size()), write(pipe_fds[1], lines.data(), lines.size()));
  usleep(200 * 1000);
  EXPECT_EQ("", Slurp(log));  // held back while the lock is taken
  whole.l_type = F_UNLCK;
  fcntl(lock, F_SETLK, &whole);
  for (int wait = 0; wait < 200 && Slurp(log).size() < lines.size(); ++wait) usleep(10 * 1000);
  EXPECT_EQ(lines, Slurp(log));
  // A stop request writes out what the pipe holds, a last unfinished line
  // with its line feed.
  ASSERT_EQ(3, write(pipe_fds[1], "end", 3));
  kill(logger, SIGTERM);
  int status = 0;
  waitpid(logger, &status, 0);
  close(pipe_fds[1]);
  close(lock);
  EXPECT_EQ(lines + "end\n", Slurp(log));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}
