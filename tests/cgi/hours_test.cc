// The hourly graph through the installed program, with a pinned date: a
// day counted from its day file and drawn, then read back from the stored
// counts after the day file is gone.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

// `n` requests for `path` at minute `minute` of `hour` on 7 March 1999.
std::string Requests(int n, int hour, int minute, const char* path) {
  std::string text;
  char line[160];
  for (int i = 0; i < n; ++i) {
    snprintf(line, sizeof line, "h%d.example.jp - - [07/Mar/1999:%02d:%02d:%02d +0000] \"GET %s HTTP/1.0\" 200 1\n",
             i % 7, hour, minute, i % 60, path);
    text += line;
  }
  return text;
}

}  // namespace

// 3 requests at 00h, 345 at 09h, 120 at 13h (and 50 images, not counted)
// and 8 at 23h. The top of the scale is 400, so one row stands for 4
// requests: 345 gets 86 rows, 120 gets 30, 8 gets 2 and 3 gets none. 24
// columns of 400 / 24 + 1 = 17 pixels.
TEST(HoursPageTest, HourlyGraphOfOneDayThenFromTheStoredCounts) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  mkdir(site.Path("data/vazivev/times").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\nend\n");
  Write(site.Path("data/vazivev/times/index"), "object times : TimesContainer\nend\n");
  Write(site.Path("logs/QL990307.log"), Requests(3, 0, 10, "/") + Requests(200, 9, 5, "/a.html") +
                                            Requests(50, 13, 0, "/p.gif") + Requests(120, 13, 30, "/b.html?x=1") +
                                            Requests(145, 9, 59, "/c/") + Requests(8, 23, 0, "/a.html"));
  site.WritePage("Count", "'$System.vazivev.times.Add 19990307 Times\n'$System.vazivev.times.19990307.Graph red\n");
  site.WritePage("Stored", "'$System.vazivev.times.19990307.Graph red\n");

  std::string expected = "Content-type: text/html\n\n<table border=0 cellspacing=1 cellpadding=0>\n <tr>\n";
  expected += "  <td height=1></td>\n  <td></td>\n  <td width=1 bgcolor=\"#808080\" rowspan=102></td></td>\n";
  for (int hour = 0; hour < 24; ++hour) {
    const int span = hour == 9 ? 15 : hour == 13 ? 71 : hour == 23 ? 99 : 101;
    expected += "  <td width=17 rowspan=" + std::to_string(span) + "><br></td>\n";
  }
  expected += " </tr>\n";
  const char* const scale[] = {"400", "320", "240", "160", "80"};
  for (int row = 0; row < 100; ++row) {
    expected += " <tr>\n  <td height=1></td>\n";
    if (row % 20 == 0) {
      expected +=
          std::string("  <td align=right valign=top rowspan=20><font size=-1>") + scale[row / 20] + "</font></td>\n";
    }
    if (row == 14) expected += "  <td bgcolor=\"red\" rowspan=86><br></td>\n";
    if (row == 70) expected += "  <td bgcolor=\"red\" rowspan=30><br></td>\n";
    if (row == 98) expected += "  <td bgcolor=\"red\" rowspan=2><br></td>\n";
    expected += " </tr>\n";
  }
  expected += " <tr>\n  <td height=1></td>\n  <td height=1 bgcolor=\"#808080\" colspan=25></td>\n </tr>\n";
  expected += " <tr>\n  <td height=1></td>\n  <td align=right valign=top><font size=-1>0</font></td>\n  <td></td>\n";
  for (int hour = 0; hour < 24; ++hour) expected += "  <td><font size=-1>" + std::to_string(hour) + "</font></td>\n";
  expected += " </tr>\n</table>\n";

  const char kMarch8[] = "1999-03-08 12:00:00";
  EXPECT_EQ(expected, site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Count"}}, "", kMarch8).out);
  const std::string stored = Slurp(site.Path("data/vazivev/times/19990307"));
  EXPECT_EQ(0u, stored.find("object 19990307 : Times\n 0=3\n 1=0\n")) << stored;
  EXPECT_NE(std::string::npos, stored.find("\n 9=345\n")) << stored;
  unlink(site.Path("logs/QL990307.log").c_str());
  EXPECT_EQ(expected, site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Stored"}}, "", kMarch8).out);
}

// A day a page adds before its day file exists, or for today or later, is
// not stored while it has counted nothing; its container is, and the day
// is counted once its file is there.
TEST(HoursPageTest, AddedDaysAreStoredOnlyOnceCounted) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\nend\n");
  site.WritePage("Make", "'$System.vazivev.Add times TimesContainer\n'$System.vazivev.Add pages PagesContainer\n");
  site.WritePage("Add", "'$System.vazivev.times.Add $d Times\n'$System.vazivev.pages.Add $d Pages\n");
  const char kMarch8[] = "1999-03-08 12:00:00";
  site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Make"}}, "", kMarch8);
  EXPECT_TRUE(Exists(site.Path("data/vazivev/times/index")));
  EXPECT_TRUE(Exists(site.Path("data/vazivev/pages/index")));
  for (const char* day : {"19990307", "19990308", "19990309"}) {
    site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", std::string("page=Add&d=") + day}}, "", kMarch8);
    EXPECT_FALSE(Exists(site.Path(std::string("data/vazivev/times/") + day))) << day;
    EXPECT_FALSE(Exists(site.Path(std::string("data/vazivev/pages/") + day))) << day;
  }
  Write(site.Path("logs/QL990307.log"), Requests(2, 9, 0, "/a.html"));
  site.WritePage("Show", "$System.vazivev.times.19990307.9\n");
  EXPECT_EQ("Content-type: text/html\n\n2\n", site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Show"}}, "", kMarch8).out);
  EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/times/19990307")).find(" 9=2\n"));
}
