// The split seen from a request: a log that is no file, or one of the
// program's own, is refused at once,
// and a page can show why the split failed and how many lines it dropped;
// neither is stored.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

CgiResult Report(const CgiSite& site, const std::string& log_file) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n LogFile=" + log_file + "\nend\n");
  site.WritePage("Report", "[$System.vazivev.SplitError] [$System.vazivev.SplitDropped]\n");
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Report"}}, "", "1999-03-08 12:00:00");
}

}  // namespace

TEST(SplitPagesTest, EndlessLogIsRefusedWithAReason) {
  CgiSite site;
  const time_t start = time(nullptr);
  const CgiResult result = Report(site, "/dev/zero");
  EXPECT_LE(time(nullptr) - start, 5);
  EXPECT_NE(std::string::npos, result.out.find("[not a regular file: /dev/zero] [0]")) << result.out;
  EXPECT_EQ(std::string::npos, Slurp(site.Path("data/vazivev/index")).find("Split"));
}

TEST(SplitPagesTest, DroppedLinesAreShown) {
  CgiSite site;
  Write(site.Path("access.log"), "no date here\nh - - [05/Mar/1999:01:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n");
  const CgiResult result = Report(site, site.Path("access.log"));
  EXPECT_NE(std::string::npos, result.out.find("[] [1]")) << result.out;
  EXPECT_EQ(std::string::npos, Slurp(site.Path("data/vazivev/index")).find("Split"));
}

// Named as the log, a file the program writes itself is refused and left as
// it is: split, the carry-over file would take in its own lines again.
TEST(SplitPagesTest, OwnFilesAreRefusedAsTheLog) {
  CgiSite site;
  const std::string line = "h - - [05/Mar/1999:01:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n";
  mkdir(site.Path("logs").c_str(), 0755);
  Write(site.Path("vazivev.log"), line);
  Write(site.Path("logs/QL990304.log"), line);
  symlink(site.Path("vazivev.log").c_str(), site.Path("link.log").c_str());
  for (const char* name : {"vazivev.log", "logs/QL990304.log", "vazivev.txt", "link.log", "logs/../vazivev.log"}) {
    const std::string before = Slurp(site.Path(name));
    const CgiResult result = Report(site, site.Path(name));
    EXPECT_NE(std::string::npos, result.out.find("own files, not an access log")) << name << result.out;
    EXPECT_EQ(before, Slurp(site.Path(name))) << name;
  }
  Write(site.Path("access.log"), line);  // the log beside the program is not one of them
  EXPECT_NE(std::string::npos, Report(site, site.Path("access.log")).out.find("[] [0]"));
  EXPECT_EQ(line + line, Slurp(site.Path("logs/QL990305.log")));
}

// "Follow" from a request: the web server's log is read and left as it is,
// and the next request takes only what was written since.
TEST(SplitPagesTest, FollowReadsTheServersLogAndLeavesIt) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  const std::string log = site.Path("server.log");
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n Loging=Follow\n LogFile=" + log + "\nend\n");
  site.WritePage("Blank", "[$System.vazivev.SplitError]\n");
  const std::string a = "h - - [05/Mar/1999:01:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n";
  const std::string b = "h - - [06/Mar/1999:01:00:00 +0000] \"GET /b HTTP/1.0\" 200 1\n";
  Write(log, a);
  const auto get = std::map<std::string, std::string>{{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Blank"}};
  EXPECT_NE(std::string::npos, site.Run(get, "", "1999-03-08 12:00:00").out.find("[]"));
  std::ofstream(log, std::ios::app) << b;
  site.Run(get, "", "1999-03-08 12:00:00");
  EXPECT_EQ(a + b, Slurp(log));
  EXPECT_EQ(a, Slurp(site.Path("logs/QL990305.log")));
  EXPECT_EQ(b, Slurp(site.Path("logs/QL990306.log")));
  EXPECT_TRUE(Exists(site.Path("vazivev.follow")));
}

// The lines that could not be read reach the administrator by their day of
// arrival and reason, the first of them shown as text, never as markup.
TEST(SplitPagesTest, RejectedLinesArePagedByReason) {
  CgiSite site;
  Write(site.Path("access.log"), "<script>alert(1)</script>\x1b[31m\n" +
                                     std::string("h - - [01/Jan/2098:00:00:00 +0000] \"GET /later HTTP/1.1\" 200 1\n") +
                                     "h - - [05/Mar/1999:01:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n");
  Report(site, site.Path("access.log"));
  const std::string page =
      site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevRejected"}}, "", "1999-03-08 12:00:00").out;
  EXPECT_NE(std::string::npos, page.find("<td>No date or layout</td>")) << page;
  EXPECT_NE(std::string::npos, page.find("<td>Dated ahead</td>")) << page;
  EXPECT_NE(std::string::npos, page.find("&lt;script&gt;alert(1)&lt;/script&gt;?[31m")) << page;
  EXPECT_EQ(std::string::npos, page.find("<script>")) << page;
  EXPECT_NE(std::string::npos, page.find("<tr><td>1999/3/8</td>")) << page;
}
