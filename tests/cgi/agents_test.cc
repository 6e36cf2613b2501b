// The browser and system rankings through the installed program, on 8 March
// 1999: days counted from a generated combined log agree with a count made
// while the log was written (page requests only; lines without an agent
// field left out, "-" counted as "Other"), the month sums the days, a
// stored day answers without its day file, the systems of one browser, and
// the pages list the names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";

struct Agent {
  const char* text;
  const char* browser;
  const char* system;
};

// Real agents and what they are.
const Agent kAgents[] = {
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
     "Safari/537.36",
     "Chrome 131", "Windows 10"},
    {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
     "Safari/537.36 Edg/131.0.2903.86",
     "Edge 131", "Windows 10"},
    {"Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0", "Firefox 133", "Linux"},
    {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Safari/537.36",
     "Chrome 131", "Linux"},
    {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.1 "
     "Safari/605.1.15",
     "Safari 18", "Mac OS X 10"},
    {"Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.6778.104 "
     "Mobile Safari/537.36",
     "Chrome Mobile 131", "Android 14"},
    {"Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
     "Version/18.1 Mobile/15E148 Safari/604.1",
     "Mobile Safari 18", "iOS 18"},
    {"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)", "Googlebot 2", "Other"},
    {"-", "Other", "Other"},
};
constexpr int kKinds = sizeof kAgents / sizeof *kAgents;

using Counts = std::map<std::string, int>;

std::string Page(const CgiSite& site, const std::string& name, const std::string& text) {
  site.WritePage(name, text);
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=" + name}}, "", "1999-03-08 12:00:00").out;
}

std::string Rows(const std::string& path) {
  return "'for each $h in $" + path + "\n$" + path + ".Current.Name|$h\n'next\n";
}

// The rows of these counts, sorted by name (the order of equal counts is the
// table's own, so rows are compared as a set, and their counts as ranked).
std::string Expected(const Counts& counts) {
  std::string out;
  for (const auto& c : counts) out += c.first + "|" + std::to_string(c.second) + "\n";
  return out;
}

// The listed rows sorted by name, after checking that they come largest
// count first.
std::string Listed(const std::string& rows) {
  std::vector<std::string> lines;
  std::stringstream in(rows);
  int last = -1;
  for (std::string line; std::getline(in, line);) {
    const int count = atoi(line.c_str() + line.rfind('|') + 1);
    EXPECT_TRUE(last < 0 || count <= last) << rows;
    last = count;
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::string Body(const std::string& out) { return out.substr(std::min(out.size(), sizeof kHtml - 1)); }

}  // namespace

TEST(AgentsPagesTest, DaysMonthAndCrossTabAgreeWithAnIndependentCount) {
  CgiSite site;
  for (const char* dir : {"data/vazivev", "data/vazivev/agents", "data/vazivev/systems"}) {
    mkdir(site.Path(dir).c_str(), 0755);
  }
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n lines=10000\nend\n");
  Write(site.Path("data/vazivev/agents/index"), "object agents : AgentsContainer\nend\n");
  Write(site.Path("data/vazivev/systems/index"), "object systems : SystemsContainer\nend\n");
  std::map<int, Counts> browsers, systems;
  Counts month_browsers, chrome_systems;
  for (int day = 5; day <= 7; ++day) {
    std::string log;
    for (int i = 0; i < 600; ++i) {
      const Agent& agent = kAgents[(i * 7 + day) % kKinds];
      const bool image = i % 6 == 5;
      const bool common = i % 11 == 3;  // no agent field
      log += "h" + std::to_string(i % 13) + ".example.com - - [0" + std::to_string(day) +
             "/Mar/1999:10:00:00 +0000] \"GET " + (image ? "/i/p.gif" : "/p" + std::to_string(i % 5) + ".html") +
             " HTTP/1.1\" 200 12";
      if (!common) log += std::string(" \"http://r.example/\" \"") + agent.text + "\"";
      log += "\n";
      if (image || common) continue;
      ++browsers[day][agent.browser];
      ++systems[day][agent.system];
      ++month_browsers[agent.browser];
      if (day == 6 && std::string(agent.browser) == "Chrome 131") ++chrome_systems[agent.system];
    }
    Write(site.Path("logs/QL99030" + std::to_string(day) + ".log"), log);
  }
  const std::string days =
      Page(site, "Days", Rows("System.vazivev.agents.19990305") + "--\n" + Rows("System.vazivev.systems.19990307"));
  const size_t split = days.find("--\n");
  ASSERT_NE(split, std::string::npos) << days;
  EXPECT_EQ(Expected(browsers[5]), Listed(Body(days.substr(0, split))));
  EXPECT_EQ(Expected(systems[7]), Listed(days.substr(split + 3)));

  const std::string month =
      Page(site, "Month", "'$System.vazivev.agents.Accumulate 19990331\n" + Rows("System.vazivev.agents"));
  EXPECT_EQ(Expected(month_browsers), Listed(Body(month)));
  const std::string cross = Page(
      site, "Cross", "'$System.vazivev.systems.Squeeze 19990306 \"Chrome 131\"\n" + Rows("System.vazivev.systems"));
  EXPECT_EQ(Expected(chrome_systems), Listed(Body(cross)));

  // The stored day answers with its day file gone.
  unlink(site.Path("logs/QL990305.log").c_str());
  EXPECT_EQ(Expected(browsers[5]), Listed(Body(Page(site, "Stored", Rows("System.vazivev.agents.19990305")))));

  const CgiResult page = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevSystems&Date=19990307"}},
                                  "", "1999-03-08 12:00:00");
  EXPECT_NE(page.out.find("id=\"ranking\""), std::string::npos) << page.out;
  EXPECT_NE(page.out.find(">Android 14</a>"), std::string::npos);
  EXPECT_NE(page.out.find("page=VaziVevSystemAgents&amp;period=1999-03-07&amp;text=Mac%20OS%20X%2010"), std::string::npos)
      << page.out;
  const CgiResult one =
      site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevAgentSystems&Date=19990306&text=Chrome+131"}},
               "", "1999-03-08 12:00:00");
  EXPECT_NE(one.out.find(">Windows 10</a>"), std::string::npos) << one.out;
  EXPECT_EQ(one.out.find(">iOS 18</a>"), std::string::npos);
}

// Saving the settings makes every statistic, also when a setting has the
// name of one ("Statuses" beside the status codes).
TEST(AgentsPagesTest, SavingTheSettingsMakesEveryStatistic) {
  CgiSite site;
  const std::string body =
      "page=VaziVevSettings&Loging=Unique&Unit=3&lines=20&Statuses=2xx+304&Assets=css+js&LogFile=";
  site.Run({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", std::to_string(body.size())}}, body);
  for (const char* plain : {"hit", "root", "all", "visitors", "bytes"}) {
    EXPECT_TRUE(Exists(site.Path(std::string("data/vazivev/") + plain))) << plain;
  }
  for (const char* container : {"domains", "pages", "times", "agents", "systems", "codes", "notfound", "countries",
                                "referrers", "robots"}) {
    EXPECT_TRUE(Exists(site.Path(std::string("data/vazivev/") + container + "/index"))) << container;
  }
  EXPECT_NE(Slurp(site.Path("data/vazivev/agents/index")).find("object agents : AgentsContainer"), std::string::npos);
}
