// Figures that cover every day they name, through the installed program:
// one request to the months counts every day of the log; lines added to a
// counted day reach every page of that day; vazivev-update counts every
// statistic for every day, after which pages only read.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kNow[] = "1999-03-02 12:00:00";
const char* const kMonths[] = {"Jan", "Feb", "Mar"};

// The site reads site/access.log and has every statistic of the settings
// page.
void SetUpAnalysis(const CgiSite& site) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"),
        "object vazivev : VaziVev\n Loging=Unique\n LogFile=" + site.Path("access.log") + "\n lines=50\nend\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  Write(site.Path("data/vazivev/root"), "object root : RootHit\nend\n");
  Write(site.Path("data/vazivev/all"), "object all : AllHit\nend\n");
  for (const char* kind : {"domains:DomainsContainer", "pages:PagesContainer", "times:TimesContainer"}) {
    const std::string name(kind, strchr(kind, ':'));
    mkdir(site.Path("data/vazivev/" + name).c_str(), 0755);
    Write(site.Path("data/vazivev/" + name + "/index"), "object " + name + " : " + (strchr(kind, ':') + 1) + "\nend\n");
  }
}

std::string Line(int month, int day, int hour, const std::string& path) {
  char text[200];
  snprintf(text, sizeof text, "h%d.example.jp - - [%02d/%s/1999:%02d:00:00 +0000] \"GET %s HTTP/1.0\" 200 1\n", hour,
           day, kMonths[month], hour, path.c_str());
  return text;
}

// 1 January to 1 March 1999: day n (from 0) has n % 5 + 1 page requests
// and one image. Fills the true count of each day and month.
std::string History(std::map<int, int>* days, std::map<int, int>* months) {
  static const int kLengths[] = {31, 28, 1};
  std::string log;
  int n = 0;
  for (int month = 0; month < 3; ++month) {
    for (int day = 1; day <= kLengths[month]; ++day, ++n) {
      const int pages = n % 5 + 1;
      for (int i = 0; i < pages; ++i) log += Line(month, day, i, "/p" + std::to_string(i) + ".html");
      log += Line(month, day, 23, "/i.gif");
      (*days)[19990000 + (month + 1) * 100 + day] = pages;
      (*months)[19990001 + (month + 1) * 100] += pages;
    }
  }
  return log;
}

// Runs vazivev-update in the site with its clock starting at `when` (with
// libfaketime's modifiers): what it printed, its exit status in *status.
std::string RunUpdate(const CgiSite& site, const std::string& when, int* status) {
  const std::string out = site.Root() + ".update";
  *status = system(("cd '" + site.Root() + "' && " + FakeTimeCommand(when) + "./vazivev-update >'" + out + "' 2>&1").c_str());
  const std::string printed = Slurp(out);
  remove(out.c_str());
  return printed;
}

CgiResult Page(const CgiSite& site, const std::string& query) {
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", kNow);
}

// The stored counts of the counter file `name`, by day: its lines
// " yyyymmdd=count stamp".
std::map<int, int> StoredDays(const CgiSite& site, const std::string& name) {
  std::map<int, int> days;
  const std::string text = Slurp(site.Path("data/vazivev/" + name));
  for (size_t at = text.find("\n "); at != std::string::npos; at = text.find("\n ", at + 1)) {
    int day = 0;
    int count = 0;
    if (sscanf(text.c_str() + at, "\n %8d=%d", &day, &count) == 2 && day > 19000000) days[day] = count;
  }
  return days;
}

// The numbers of every "<td class="num">n</td>" of a page after `from`.
std::vector<int> NumberCells(const std::string& page, const std::string& from = "") {
  std::vector<int> cells;
  const std::string open = "<td class=\"num\">";
  for (size_t at = page.find(open, from.empty() ? 0 : page.find(from)); at != std::string::npos;
       at = page.find(open, at + 1)) {
    cells.push_back(atoi(page.c_str() + at + open.size()));
  }
  return cells;
}

}  // namespace

TEST(UpdateTest, OneRequestCountsEveryDayAndLateLinesReachEveryPage) {
  CgiSite site;
  SetUpAnalysis(site);
  std::map<int, int> days, months;
  Write(site.Path("access.log"), History(&days, &months));

  // The very first view: its months cover every day, none left out.
  CgiResult r = Page(site, "Date=19990301");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(std::string::npos, r.out.find("id=\"uncounted\"")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("from 1999/1/1 to 1999/3/1")) << r.out;
  EXPECT_EQ(days, StoredDays(site, "hit"));
  std::map<int, int> shown;
  // Each month's row links to the month's own view.
  for (size_t at = r.out.find("\">1999/"); at != std::string::npos; at = r.out.find("\">1999/", at + 1)) {
    int month = 0;
    int count = 0;
    if (sscanf(r.out.c_str() + at, "\">1999/%d</a></td><td class=\"num\">%d<", &month, &count) == 2) {
      shown[19990001 + month * 100] = count;
    }
  }
  EXPECT_EQ(months, shown);

  // Late lines of a counted day (logged after its midnight): its figure,
  // its hours and its ranking all count them.
  EXPECT_EQ("5", Figure(Page(site, "Date=19990115").out, "hits"));
  Write(site.Path("access.log"), Line(0, 15, 7, "/late.html") + Line(0, 15, 7, "/late.html"));
  r = Page(site, "Date=19990115");
  EXPECT_EQ("7", Figure(r.out, "hits")) << r.out;
  EXPECT_EQ(7, StoredDays(site, "hit")[19990115]);
  const std::string hours = Page(site, "page=VaziVevHours&Date=19990115").out;
  int sum = 0;
  for (int cell : NumberCells(hours, "id=\"hours\"")) sum += cell;
  EXPECT_EQ(7, sum) << hours;
  const std::string ranking = Page(site, "page=VaziVevPages&Date=19990115").out;
  EXPECT_NE(std::string::npos, ranking.find(">/late.html</a></td><td class=\"num hits\">2<")) << ranking;
  const std::string month = Page(site, "page=VaziVevPages&Date=19990131&scope=month").out;
  EXPECT_NE(std::string::npos, month.find(">/late.html</a></td><td class=\"num hits\">2<")) << month;
}

TEST(UpdateTest, UpdateCountsEveryStatisticThenPagesOnlyRead) {
  CgiSite site;
  SetUpAnalysis(site);
  std::map<int, int> days, months;
  Write(site.Path("access.log"), History(&days, &months));
  int raw = 0;
  const std::string printed = RunUpdate(site, kNow, &raw);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << printed;
  EXPECT_NE(std::string::npos, printed.find("statistics 6, day statistics counted 360")) << printed;
  EXPECT_EQ(days, StoredDays(site, "hit"));
  EXPECT_EQ(60u, StoredDays(site, "root").size());
  for (const char* kind : {"domains", "pages", "times"}) {
    EXPECT_TRUE(Exists(site.Path(std::string("data/vazivev/") + kind + "/19990101"))) << kind;
    EXPECT_TRUE(Exists(site.Path(std::string("data/vazivev/") + kind + "/19990301"))) << kind;
  }
  EXPECT_TRUE(Exists(site.Path("data/vazivev/pages/total")));
  // The month of the last day and the month its page compares it with are
  // summed already: that page makes no sum of its own.
  const std::string march = site.Path("data/vazivev/pages/sums/r19990301-19990301");
  for (const char* kind : {"domains", "pages"}) {
    const std::string sums = site.Path(std::string("data/vazivev/") + kind + "/sums/");
    EXPECT_TRUE(Exists(sums + "r19990301-19990301")) << kind;
    EXPECT_TRUE(Exists(sums + "r19990201-19990228")) << kind;
    // And the indexes of what the last day's pages compare with.
    EXPECT_TRUE(Exists(sums + "ir19990201-19990228")) << kind;
    EXPECT_TRUE(Exists(sums + "i19990228")) << kind;
  }
  const std::string kept = Slurp(march);
  const std::string month = Page(site, "page=VaziVevPages&period=1999-03").out;
  EXPECT_NE(std::string::npos, month.find(">/p0.html</a></td><td class=\"num hits\">1<")) << month;
  EXPECT_EQ(kept, Slurp(march));
  EXPECT_FALSE(Exists(site.Path("data/vazivev/pages/sums/r19990301-19990331")));

  // Pages now answer from what is stored: nothing is counted or written.
  const std::string before = Slurp(site.Path("data/vazivev/hit")) + Slurp(site.Path("data/vazivev/pages/total"));
  struct stat pages_total;
  stat(site.Path("data/vazivev/pages/total").c_str(), &pages_total);
  EXPECT_EQ(0, Page(site, "Date=19990301").status);
  const std::string all = Page(site, "page=VaziVevPages&Date=19990301&scope=all").out;
  EXPECT_NE(std::string::npos, all.find(">/p0.html</a></td><td class=\"num hits\">60<")) << all;
  struct stat after;
  stat(site.Path("data/vazivev/pages/total").c_str(), &after);
  EXPECT_EQ(pages_total.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
  EXPECT_EQ(before, Slurp(site.Path("data/vazivev/hit")) + Slurp(site.Path("data/vazivev/pages/total")));

  // The day page made the people's and the robots' twins of its figures:
  // a run counts those, and a run after it finds nothing left to count.
  int first = 0;
  RunUpdate(site, kNow, &first);
  EXPECT_EQ(0, first);
  int again = 0;
  const std::string second = RunUpdate(site, kNow, &again);
  EXPECT_TRUE(WIFEXITED(again) && WEXITSTATUS(again) == 0);
  EXPECT_NE(std::string::npos, second.find("day statistics counted 0,")) << second;

  // Another rule for page requests counts history again from the day files.
  std::string index = Slurp(site.Path("data/vazivev/index"));
  index.insert(index.find(" lines="), " Assets=html\n");
  Write(site.Path("data/vazivev/index"), index);
  EXPECT_EQ("1", Figure(Page(site, "Date=19990115").out, "hits"));
  EXPECT_EQ(1, StoredDays(site, "hit")[19990115]);
}

// On a machine so slow that each piece's second is spent before its
// first day is reached (here a clock run a thousand times fast), every
// piece still counts a day of its own: the update ends, counts everything
// and says nothing of days that could not be counted.
TEST(UpdateTest, PiecesThatStartLateStillCountEveryDay) {
  CgiSite site;
  SetUpAnalysis(site);
  std::map<int, int> days, months;
  Write(site.Path("access.log"), History(&days, &months));
  int raw = 0;
  const std::string printed = RunUpdate(site, std::string(kNow) + " x1000", &raw);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << printed;
  EXPECT_NE(std::string::npos, printed.find("day statistics counted 360")) << printed;
  EXPECT_EQ(days, StoredDays(site, "hit"));
}

// Visitors: distinct pairs of client and user agent over every line of a
// day, and over a month the distinct pairs of the month, not a sum of days.
TEST(UpdateTest, VisitorsOfADayAndOfAMonthAreDistinctPairs) {
  CgiSite site;
  SetUpAnalysis(site);
  std::map<int, std::set<std::string>> days;
  std::map<int, std::set<std::string>> months;
  std::string log;
  for (int month = 0; month < 2; ++month) {
    for (int day = 1; day <= (month == 0 ? 31 : 28); ++day) {
      for (int i = 0; i <= day % 4 + 1; ++i) {
        const std::string client = i % 2 ? "2001:db8::" + std::to_string(i) : "192.0.2." + std::to_string(i);
        const std::string agent = "Agent/" + std::to_string(i % 3) + " (x; \\\"q\\\")";
        char line[300];
        // A visitor asks twice, once for a page that is not there.
        for (const char* status : {"200", "404"}) {
          snprintf(line, sizeof line, "%s - - [%02d/%s/1999:%02d:00:00 +0000] \"GET /v HTTP/1.1\" %s 10 \"-\" \"%s\"\n",
                   client.c_str(), day, kMonths[month], i, status, agent.c_str());
          log += line;
        }
        const std::string pair = client + "|" + agent;
        days[19990000 + (month + 1) * 100 + day].insert(pair);
        months[19990001 + (month + 1) * 100].insert(pair);
      }
    }
  }
  Write(site.Path("access.log"), log);
  const std::string page = Page(site, "Date=19990228").out;
  EXPECT_EQ(std::to_string(days[19990228].size()), Figure(page, "visitors")) << page;
  EXPECT_EQ(std::to_string(days[19990115].size()), Figure(Page(site, "Date=19990115").out, "visitors"));
  std::map<int, size_t> shown;
  for (size_t at = page.find("\">1999/"); at != std::string::npos; at = page.find("\">1999/", at + 1)) {
    int month = 0;
    const size_t cell = page.find("num visitors\">", at);
    if (sscanf(page.c_str() + at, "\">1999/%d<", &month) == 1 && cell != std::string::npos) {
      shown[19990001 + month * 100] = static_cast<size_t>(atoi(page.c_str() + cell + 14));
    }
  }
  EXPECT_EQ(months[19990101].size(), shown[19990101]);
  EXPECT_EQ(months[19990201].size(), shown[19990201]);
  EXPECT_LT(months[19990101].size(), 31u);  // a sum of days would be far more
  // Each counted day keeps its visitors beside its count.
  EXPECT_TRUE(Exists(site.Path("data/vazivev/visitors.days/19990115")));
}
