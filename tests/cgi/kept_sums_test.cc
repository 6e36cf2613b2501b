// Rankings over ranges of days and cross-tabulations kept between
// requests, through the installed program on 15 March 1999: a kept one
// gives the figures of a fresh sum, is made again once a day it holds
// changes, and only so many are kept; and a request that runs out of
// memory answers the error page alone.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kNow[] = "1999-03-15 12:00:00";

// The requests of one day of February: path -> count, and those of
// h1.example.jp.
struct Day {
  std::map<std::string, int> paths;
  std::map<std::string, int> from_h1;
};

// `count` lines of 1999-02-`mday`, from line `from` on.
std::string Lines(int mday, int from, int count, Day& day) {
  std::string log;
  for (int i = from; i < from + count; ++i) {
    const std::string host = "h" + std::to_string((i + mday) % 4) + ".example.jp";
    const std::string path = "/p" + std::to_string((i * mday) % 5) + ".html";
    char date[40];
    snprintf(date, sizeof date, "%02d/Feb/1999:%02d:10:00 +0000", mday, 8 + i % 9);
    log += host + " - - [" + date + "] \"GET " + path + " HTTP/1.0\" 200 10\n";
    ++day.paths[path];
    if (host == "h1.example.jp") ++day.from_h1[path];
  }
  return log;
}

std::string DayFile(const CgiSite& site, int mday) {
  char name[32];
  snprintf(name, sizeof name, "logs/QL9902%02d.log", mday);
  return site.Path(name);
}

// A site with a pages container and day files for 1 to 28 February.
std::map<int, Day> WriteSite(const CgiSite& site) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n lines=1000\n Unit=3\nend\n");
  mkdir(site.Path("data/vazivev/pages").c_str(), 0755);
  Write(site.Path("data/vazivev/pages/index"), "object pages : PagesContainer\nend\n");
  std::map<int, Day> days;
  for (int mday = 1; mday <= 28; ++mday) Write(DayFile(site, mday), Lines(mday, 0, 10 + mday % 4, days[mday]));
  return days;
}

// The ranking of the period against the days before it, a cross-tab of
// the period and one of its last day.
const char kPage[] =
    "'set p = System.Period\n"
    "'$System.vazivev.pages.Range $p.From $p.To\n"
    "'$System.vazivev.pages.Previous $p.PrevFrom $p.PrevTo\n"
    "count $System.vazivev.pages.Count\n"
    "'for each $h in $System.vazivev.pages\n"
    "path $System.vazivev.pages.Current.Name $h $System.vazivev.pages.Current.Before\n"
    "'next\n"
    "'$System.vazivev.pages.Squeeze $p.From $p.To h1.example.jp\n"
    "'for each $h in $System.vazivev.pages\ncross $System.vazivev.pages.Current.Name $h\n'next\n"
    "'$System.vazivev.pages.Squeeze $p.To h1.example.jp\n"
    "'for each $h in $System.vazivev.pages\nlast $System.vazivev.pages.Current.Name $h\n'next\n";

// 8 to 21 February, after 25 January to 7 February.
const char kPeriod[] = "from=1999-02-08&to=1999-02-21";

std::string Ask(const CgiSite& site, const std::string& query) {
  const std::string out = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=P&" + query}}, "", kNow).out;
  return out.substr(out.find("\n\n") + 2);
}

// What kPage shows for kPeriod, as sorted lines: rows of equal counts may
// list in any order.
std::vector<std::string> Expected(const std::map<int, Day>& days) {
  std::map<std::string, int> now, before, cross;
  for (const auto& day : days) {
    if (day.first >= 8 && day.first <= 21) {
      for (const auto& p : day.second.paths) now[p.first] += p.second;
      for (const auto& p : day.second.from_h1) cross[p.first] += p.second;
    } else if (day.first < 8) {
      for (const auto& p : day.second.paths) before[p.first] += p.second;
    }
  }
  std::string text = "count " + std::to_string(now.size()) + "\n";
  for (const auto& p : now) {
    text += "path " + p.first + " " + std::to_string(p.second) + " " + std::to_string(before[p.first]) + "\n";
  }
  for (const auto& p : cross) text += "cross " + p.first + " " + std::to_string(p.second) + "\n";
  for (const auto& p : days.at(21).from_h1) text += "last " + p.first + " " + std::to_string(p.second) + "\n";
  return SortedLines(text);
}

// The kept files whose names begin with `kind`.
std::vector<std::string> Kept(const CgiSite& site, char kind) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(site.Path("data/vazivev/pages/sums").c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] == kind) names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  return names;
}

TEST(KeptSumsTest, KeptSumsGiveTheFiguresOfAFreshSum) {
  CgiSite site;
  const std::map<int, Day> days = WriteSite(site);
  site.WritePage("P", kPage);
  const std::string fresh = Ask(site, kPeriod);
  EXPECT_EQ(Expected(days), SortedLines(fresh)) << fresh;
  // The period, the days before it, the period's cross-tab and those of
  // its 14 days.
  EXPECT_EQ(2u, Kept(site, 'r').size());
  EXPECT_EQ(1u, Kept(site, 'x').size());
  EXPECT_EQ(14u, Kept(site, 'd').size());
  // Read back, in the same order; the days before it are looked up through
  // an index of their sum, kept from then on.
  EXPECT_EQ(fresh, Ask(site, kPeriod));
  EXPECT_EQ(1u, Kept(site, 'i').size());
  EXPECT_EQ(fresh, Ask(site, kPeriod));

  // What a later view lists is what was kept: a kept file changed by hand
  // shows, so nothing was summed again.
  const std::string range = site.Path("data/vazivev/pages/sums/r19990208-19990221");
  const std::string kept = Slurp(range);
  const size_t at = kept.find(" /p0.html=");
  ASSERT_NE(std::string::npos, at) << kept;
  Write(range, kept.substr(0, at) + " /kept.html=1\n" + kept.substr(at));
  EXPECT_NE(std::string::npos, Ask(site, kPeriod).find("path /kept.html 1 0\n"));
}

TEST(KeptSumsTest, ADayThatChangesMakesItsSumsAgain) {
  CgiSite site;
  std::map<int, Day> days = WriteSite(site);
  site.WritePage("P", kPage);
  EXPECT_EQ(Expected(days), SortedLines(Ask(site, kPeriod)));
  EXPECT_EQ(Expected(days), SortedLines(Ask(site, kPeriod)));  // its index kept
  // Late lines for a day of the period (and its last day), and for one of
  // the days before it.
  for (const int mday : {3, 12, 21}) {
    Write(DayFile(site, mday), Slurp(DayFile(site, mday)) + Lines(mday, 100, 7 + mday % 3, days[mday]));
  }
  const std::string again = Ask(site, kPeriod);
  EXPECT_EQ(Expected(days), SortedLines(again)) << again;
  // A day file gone: its cross-tabs lose it, its ranking stays stored.
  unlink(DayFile(site, 12).c_str());
  const std::string without = Ask(site, kPeriod);
  days[12].from_h1.clear();
  EXPECT_EQ(Expected(days), SortedLines(without)) << without;
  // Still only one file for each period and cross-tab.
  EXPECT_EQ(2u, Kept(site, 'r').size());
  EXPECT_EQ(1u, Kept(site, 'x').size());
  EXPECT_EQ(14u, Kept(site, 'd').size());
}

TEST(KeptSumsTest, OnlyTheSixteenSumsUsedLastAreKept) {
  CgiSite site;
  WriteSite(site);
  site.WritePage("R", "'$System.vazivev.pages.Range $a $b\ncount $System.vazivev.pages.Count\n");
  site.WritePage("X", "'$System.vazivev.pages.Squeeze $a $b h1.example.jp\nok\n");
  const auto ask = [&](const char* page, int last) {
    const std::string query = std::string("page=") + page + "&a=19990201&b=199902" + (last < 10 ? "0" : "") +
                              std::to_string(last);
    return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", kNow).out;
  };
  // One day is read as it is stored, never kept: the ranges span two days or more.
  for (int last = 2; last <= 21; ++last) {
    ask("R", last);
    ask("X", last);
    // The first one stays in use.
    if (last > 2) ask("R", 2);
  }
  const std::vector<std::string> ranges = Kept(site, 'r');
  EXPECT_EQ(16u, ranges.size());
  const auto kept = [&](const std::string& name) {
    for (const std::string& range : ranges) {
      if (range == name) return true;
    }
    return false;
  };
  EXPECT_TRUE(kept("r19990201-19990202"));
  EXPECT_TRUE(kept("r19990201-19990221"));
  EXPECT_FALSE(kept("r19990201-19990206"));  // used longest ago
  EXPECT_TRUE(kept("r19990201-19990207"));
  EXPECT_EQ(16u, Kept(site, 'x').size());
  // A removed one is made again, with its figures.
  EXPECT_EQ(ask("R", 5), ask("R", 5));
}

#if !defined(__SANITIZE_ADDRESS__)
// Under the sanitizers the address space holds their shadow memory: no
// small limit fits.
TEST(KeptSumsTest, OutOfMemoryAnswersTheErrorPageAlone) {
  CgiSite site;
  WriteSite(site);
  // Two days of 100,000 paths each: their sum needs more than the limit.
  for (int mday = 1; mday <= 2; ++mday) {
    std::string log;
    for (int i = 0; i < 100000; ++i) {
      log += "h.example.jp - - [0" + std::to_string(mday) + "/Feb/1999:10:00:00 +0000] \"GET /" +
             std::to_string(mday) + "/" + std::to_string(i) + " HTTP/1.0\" 200 1\n";
    }
    Write(DayFile(site, mday), log);
  }
  site.WritePage("ErrorMemory", "page ErrorMemory\n");
  CgiSite::Limits limits;
  limits.address_space_limit = 32L << 20;
  const std::string answer = "Status: 413 Content Too Large\nContent-type: text/html\n\npage ErrorMemory\n";
  // A sum that finds no memory, and a page too long to hold, each after
  // the page wrote its first lines.
  site.WritePage("Sum", "first lines\n'$System.vazivev.pages.Range 19990201 19990202\n$System.vazivev.pages.Count\n");
  site.WritePage("Long", "first lines\n'$s = " + std::string(4000, 'y') + "\n'for $i = 1 to $n\n$s\n'next\n");
  for (const char* query : {"page=Sum", "page=Long&n=40000"}) {
    const CgiResult r = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", kNow, limits);
    EXPECT_EQ(0, r.status) << query;
    EXPECT_EQ(answer, r.out.substr(0, 200)) << query;
  }
  // Within the limit the long page is whole.
  const CgiResult whole = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Long&n=1000"}}, "", kNow, limits);
  EXPECT_EQ("Content-type: text/html\n\nfirst lines\nyyy", whole.out.substr(0, 40));
  EXPECT_EQ(site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Long&n=1000"}}, "", kNow).out, whole.out);
  EXPECT_LT(1000000u, whole.out.size());
}
#endif

}  // namespace
