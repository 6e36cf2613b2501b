// Every statistic for people only and for robots only, through the
// installed program on 8 March 1999: two days of a combined log of
// browsers, robots and lines without an agent, counted by the test as it
// writes them; the twins the method For makes, the "Audience" setting as
// the default, and history told again by a new robot list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <set>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kNow[] = "1999-03-08 12:00:00";

struct Agent {
  const char* text;
  bool robot;
};
const Agent kAgents[] = {
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
     "Safari/537.36",
     false},
    {"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)", true},
    {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.2; +https://openai.com/gptbot)", true},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_5 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.5 "
     "Mobile/15E148 Safari/604.1",
     false},
    {"-", false},
};

// What one audience did on a day, as the test counts it.
struct Figures {
  int pages = 0, all = 0, notfound = 0, hour10 = 0;
  long long bytes = 0;
  std::set<std::string> visitors;
  std::map<std::string, int> paths;
};
struct Day {
  Figures humans, robots, everyone;
};

std::string DayLog(int day, Day* counts) {
  std::string log;
  char date[40];
  for (int i = 0; i < 90 + day % 10; ++i) {
    const Agent& agent = kAgents[(i * 3 + day) % 5];
    const std::string client = i % 4 == 0 ? "2001:db8::" + std::to_string(i % 7) : "192.0.2." + std::to_string(i % 13);
    const int hour = 9 + i % 3;
    snprintf(date, sizeof date, "%02d/Mar/1999:%02d:%02d:00 +0000", day % 100, hour, i % 60);
    const std::string path = i % 6 == 0 ? "/logo.gif" : "/p" + std::to_string(i % 5) + ".html";
    const int status = i % 7 == 3 ? 404 : 200;
    const long long bytes = i * 131 % 5000;
    log += client + " - - [" + date + "] \"GET " + path + " HTTP/1.1\" " + std::to_string(status) + " " +
           std::to_string(bytes) + " \"-\" \"" + agent.text + "\"\n";
    for (Figures* f : {agent.robot ? &counts->robots : &counts->humans, &counts->everyone}) {
      ++f->all;
      f->bytes += bytes;
      f->visitors.insert(client + " " + agent.text);
      if (status == 404) ++f->notfound;
      if (path != "/logo.gif") {
        ++f->pages;
        ++f->paths[path];
        if (hour == 10) ++f->hour10;
      }
    }
  }
  return log;
}

std::string Body(const std::string& out) { return out.substr(out.find("\n\n") + 2); }

// The figures of `who` ("humans", "robots", "all" or "" for the setting's)
// on `day`, one "name value" line each, through the twins For gives.
std::string Ask(const CgiSite& site, const std::string& who, int day) {
  const std::string d = std::to_string(day);
  std::string page;
  for (const char* kind : {"hit", "all", "visitors", "bytes", "codes", "pages", "times"}) {
    page += "'$" + std::string(kind) + " = $System.vazivev.For " + kind + " " + who + "\n";
  }
  page +=
      "kinds $hit $all $visitors $bytes $codes $pages $times\n"
      "pages $System.vazivev.$hit." + d + "\nall $System.vazivev.$all." + d +
      "\nvisitors $System.vazivev.$visitors." + d + "\nbytes $System.vazivev.$bytes." + d +
      "\nnotfound $System.vazivev.$codes." + d + ".404\nhour10 $System.vazivev.$times." + d +
      ".10\n'for each $h in $System.vazivev.$pages." + d + "\npath $System.vazivev.$pages." + d +
      ".Current.Name $h\n'next\n";
  site.WritePage("A", page);
  return Body(site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=A"}}, "", kNow).out);
}

std::string Expected(const std::string& kinds, const Figures& f) {
  std::string text = "kinds " + kinds + "\npages " + std::to_string(f.pages) + "\nall " + std::to_string(f.all) +
                     "\nvisitors " + std::to_string(f.visitors.size()) + "\nbytes " + std::to_string(f.bytes) +
                     "\nnotfound " + std::to_string(f.notfound) + "\nhour10 " + std::to_string(f.hour10) + "\n";
  std::multimap<int, std::string, std::greater<int>> ranked;
  for (const auto& p : f.paths) ranked.emplace(p.second, p.first);
  std::string rows;
  for (const auto& r : ranked) rows += "path " + r.second + " " + std::to_string(r.first) + "\n";
  return text + rows;
}

// The path rows of an answer, sorted: equal counts may list in any order.
std::multiset<std::string> PathRows(const std::string& text) {
  std::multiset<std::string> rows;
  for (const std::string& line : SortedLines(text)) {
    if (line.rfind("path ", 0) == 0) rows.insert(line);
  }
  return rows;
}

void ExpectFigures(const std::string& expected, const std::string& got, const std::string& what) {
  EXPECT_EQ(expected.substr(0, expected.find("path ")), got.substr(0, got.find("path "))) << what;
  EXPECT_EQ(PathRows(expected), PathRows(got)) << what;
}

void SetUpAnalysis(const CgiSite& site, const std::string& audience) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"),
        "object vazivev : VaziVev\n lines=1000\n" + (audience.empty() ? "" : " Audience=" + audience + "\n") + "end\n");
  for (const char* one : {"hit : Hit", "all : AllHit", "visitors : Visitors", "bytes : Bytes"}) {
    const std::string name(one, strchr(one, ' '));
    Write(site.Path("data/vazivev/" + name), "object " + std::string(one) + "\nend\n");
  }
  for (const char* kind : {"codes : StatusContainer", "pages : PagesContainer", "times : TimesContainer",
                           "robots : RobotsContainer"}) {
    const std::string name(kind, strchr(kind, ' '));
    mkdir(site.Path("data/vazivev/" + name).c_str(), 0755);
    Write(site.Path("data/vazivev/" + name + "/index"), "object " + std::string(kind) + "\nend\n");
  }
}

}  // namespace

TEST(AudienceTest, HumansAndRobotsApartMakeEveryone) {
  CgiSite site;
  SetUpAnalysis(site, "");
  std::map<int, Day> days;
  for (const int day : {19990306, 19990307}) Write(site.Path("logs/QL" + std::to_string(day % 1000000) + ".log"),
                                                   DayLog(day, &days[day]));
  for (const int day : {19990306, 19990307}) {
    const Day& d = days[day];
    ASSERT_GT(d.robots.pages, 0);
    ASSERT_GT(d.humans.notfound, 0);
    ExpectFigures(Expected("hit-humans all-humans visitors-humans bytes-humans codes-humans pages-humans times-humans",
                           d.humans),
                  Ask(site, "humans", day), "humans");
    ExpectFigures(Expected("hit-robots all-robots visitors-robots bytes-robots codes-robots pages-robots times-robots",
                           d.robots),
                  Ask(site, "Robots", day), "robots");
    // Without the setting, and when asked for all, everybody's figures.
    const std::string kinds = "hit all visitors bytes codes pages times";
    ExpectFigures(Expected(kinds, d.everyone), Ask(site, "", day), "no setting");
    ExpectFigures(Expected(kinds, d.everyone), Ask(site, "all", day), "all");
  }
  // The twins are stored as statistics of their own, once.
  EXPECT_TRUE(Exists(site.Path("data/vazivev/hit-humans")));
  EXPECT_TRUE(Exists(site.Path("data/vazivev/pages-robots/index")));
  EXPECT_EQ(Ask(site, "humans", 19990307), Ask(site, "humans", 19990307));

  // The robot ranking has no twins; a name that is no statistic stays itself.
  site.WritePage("R", "'$a = $System.vazivev.For robots humans\n'$b = $System.vazivev.For nothing robots\n$a $b\n");
  EXPECT_EQ("robots nothing\n", Body(site.Get("page=R").out));
}

TEST(AudienceTest, TheSettingChoosesTheDefaultAndANewListTellsHistoryAgain) {
  CgiSite site;
  SetUpAnalysis(site, "humans");
  Day day;
  Write(site.Path("logs/QL990307.log"), DayLog(19990307, &day));
  ExpectFigures(Expected("hit-humans all-humans visitors-humans bytes-humans codes-humans pages-humans times-humans",
                         day.humans),
                Ask(site, "", 19990307), "setting");

  // A list that also knows the iPhone's Safari as a robot: the stored days
  // of both audiences are told again, the day file unchanged.
  const std::string list = Slurp(site.Path("robots.tsv"));
  ASSERT_FALSE(list.empty());
  Write(site.Path("robots.tsv"), list + "other\tiPhone checker\tiPhone OS 17_5\n");
  const std::string humans = Ask(site, "humans", 19990307);
  const std::string robots = Ask(site, "robots", 19990307);
  const int pages = atoi(humans.c_str() + humans.find("\npages ") + 7);
  const int robot_pages = atoi(robots.c_str() + robots.find("\npages ") + 7);
  EXPECT_LT(pages, day.humans.pages);
  EXPECT_EQ(day.everyone.pages, pages + robot_pages);
}
