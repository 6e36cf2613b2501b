// The referring sites and the robots through the installed program, on a
// generated combined log of 5 March 1999: the rankings agree with a count
// made while the log was written (sites by registrable domain, the site's
// own host and empty referrers left out, page requests only; robots by
// name and kind, every request, browsers never), the cross-tabulations
// list one site's referring addresses and one robot's paths, and stored
// days answer without their day file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";

void SetUpSite(const CgiSite& site) {
  for (const char* dir : {"data/vazivev", "data/vazivev/referrers", "data/vazivev/robots"}) {
    mkdir(site.Path(dir).c_str(), 0755);
  }
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n URL=http://www.mysite.jp\n lines=1000\nend\n");
  Write(site.Path("data/vazivev/referrers/index"), "object referrers : ReferrersContainer\nend\n");
  Write(site.Path("data/vazivev/robots/index"), "object robots : RobotsContainer\nend\n");
}

CgiResult Get(const CgiSite& site, const std::string& query) {
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", "1999-03-08 12:00:00");
}

std::string Page(const CgiSite& site, const std::string& name, const std::string& text) {
  site.WritePage(name, text);
  return Get(site, "page=" + name).out;
}

// A page writing "name|count" rows of the object at `path`.
std::string Rows(const std::string& path) {
  return "'for each $h in $" + path + "\n$" + path + ".Current.Name|$h\n'next\n";
}

std::map<std::string, int> Parse(const std::string& page) {
  std::map<std::string, int> rows;
  std::stringstream in(page.substr(page.find("\n\n") + 2));
  for (std::string line; std::getline(in, line);) {
    const size_t bar = line.rfind('|');
    if (bar != std::string::npos) rows[line.substr(0, bar)] += atoi(line.c_str() + bar + 1);
  }
  return rows;
}

// Each referrer with the site it is counted under ("" for none).
const struct {
  const char* referrer;
  const char* site;
} kReferrers[] = {
    {"https://www.google.co.jp/search?q=a&b=c", "google.co.jp"},
    {"http://news.example.co.uk/story", "example.co.uk"},
    {"https://blog.example.co.uk/", "example.co.uk"},
    {"http://www.spiegel.de/a", "spiegel.de"},
    {"-", ""},
    {"http://www.mysite.jp/other.html", ""},  // the site's own host
    {"HTTP://WWW.MYSITE.JP:80/", ""},
    {"http://mysite.jp/", "mysite.jp"},  // another host than the site's own
    {"http://192.0.2.5/x", "192.0.2.5"},
    {"android-app://com.google.android.gm/", "(no web address)"},
    {"http://localhost:8080/", "localhost"},
};

// Each agent with its ranking item ("" for a browser).
const struct {
  const char* agent;
  const char* item;
} kAgents[] = {
    {"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)", "Googlebot (search engine)"},
    {"Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)", "bingbot (search engine)"},
    {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.2; +https://openai.com/gptbot)",
     "GPTBot (AI crawler)"},
    {"Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; ClaudeBot/1.0; +claudebot@anthropic.com)",
     "claudebot (AI crawler)"},
    {"Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)", "AhrefsBot (SEO tool)"},
    {"Mozilla/5.0+(compatible; UptimeRobot/2.0; http://www.uptimerobot.com/)", "UptimeRobot (monitor)"},
    {"Feedly/1.0 (+http://www.feedly.com/fetcher.html; 5 subscribers; like FeedFetcher-Google)",
     "Feedly (feed reader)"},
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
     ""},
    {"Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0", ""},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.2 "
     "Mobile/15E148 Safari/604.1",
     ""},
    {"-", ""},
};

}  // namespace

TEST(ReferrersRobotsTest, DayRankingsAndCrossTabsAgreeWithAnIndependentCount) {
  CgiSite site;
  SetUpSite(site);
  std::map<std::string, int> sites, robots, example_referrers, gpt_paths;
  std::string log;
  const int referrers = sizeof kReferrers / sizeof kReferrers[0];
  const int agents = sizeof kAgents / sizeof kAgents[0];
  for (int i = 0; i < 900; ++i) {
    const auto& r = kReferrers[i % referrers];
    const auto& a = kAgents[(i / 3) % agents];
    const bool image = i % 5 == 4;
    const std::string path = image ? "/i/logo.gif" : "/p" + std::to_string(i % 4) + ".html";
    log += "h" + std::to_string(i % 9) + ".example.net - - [05/Mar/1999:10:00:00 +0000] \"GET " + path +
           " HTTP/1.1\" 200 10 \"" + r.referrer + "\" \"" + a.agent + "\"\n";
    if (*a.item != 0) ++robots[a.item];
    if (std::string(a.item) == "GPTBot (AI crawler)") ++gpt_paths[path];
    if (image || *r.site == 0) continue;
    ++sites[r.site];
    if (std::string(r.site) == "example.co.uk") ++example_referrers[r.referrer];
  }
  Write(site.Path("logs/QL990305.log"), log);
  const std::string day_page =
      Rows("System.vazivev.referrers.19990305") + "--\n" + Rows("System.vazivev.robots.19990305");
  const std::string day = Page(site, "Day", day_page);
  const size_t split = day.find("--\n");
  ASSERT_NE(std::string::npos, split) << day;
  EXPECT_EQ(sites, Parse(day.substr(0, split)));
  EXPECT_EQ(robots, Parse(std::string(kHtml) + day.substr(split + 3)));

  const std::string cross =
      Page(site, "Cross",
           "'$System.vazivev.referrers.Squeeze 19990305 example.co.uk\n" + Rows("System.vazivev.referrers") + "--\n");
  EXPECT_EQ(example_referrers, Parse(cross.substr(0, cross.find("--\n"))));
  // The robots' cross-tabulation through its page: the item holds blanks.
  const CgiResult paths = Get(site, "page=VaziVevRobotPages&Date=19990305&text=GPTBot+%28AI+crawler%29");
  EXPECT_EQ(0, paths.status);
  for (const auto& p : gpt_paths) {
    EXPECT_NE(std::string::npos,
              paths.out.find(">" + p.first + "</a></td><td class=\"num hits\">" + std::to_string(p.second) + "<"))
        << p.first << paths.out;
  }

  // Stored: the same answers without the day file.
  unlink(site.Path("logs/QL990305.log").c_str());
  EXPECT_EQ(day, Page(site, "Day", day_page));
  // The pages list them, names escaped.
  const CgiResult referrers_page = Get(site, "page=VaziVevReferrers&Date=19990305");
  EXPECT_NE(std::string::npos, referrers_page.out.find(">google.co.jp</a>")) << referrers_page.out;
  EXPECT_NE(std::string::npos, referrers_page.out.find("text=%28no%20web%20address%29"));
  const CgiResult robots_page = Get(site, "page=VaziVevRobots&Date=19990305&scope=month");
  EXPECT_NE(std::string::npos, robots_page.out.find(">UptimeRobot (monitor)</a>")) << robots_page.out;
}

// Without the robot table nothing is counted, and nothing is stored as
// counted: the day is counted once the table is back.
TEST(ReferrersRobotsTest, WithoutTheRobotTableNoDayIsStoredAsCounted) {
  CgiSite site;
  SetUpSite(site);
  Write(site.Path("logs/QL990305.log"),
        std::string("h - - [05/Mar/1999:10:00:00 +0000] \"GET /i.gif HTTP/1.1\" 200 1 ") + "\"-\" \"" +
            kAgents[0].agent + "\"\n");
  const std::string table = Slurp(site.Path("robots.tsv"));
  ASSERT_FALSE(table.empty());
  unlink(site.Path("robots.tsv").c_str());
  const std::string page = Rows("System.vazivev.robots.19990305");
  EXPECT_EQ(kHtml, Page(site, "Robots", page));
  Write(site.Path("robots.tsv"), table);
  EXPECT_EQ(std::string(kHtml) + "Googlebot (search engine)|1\n", Page(site, "Robots", page));
}
