// Every statistic's counter of a day gives the same figures whether it
// reads the day together with all the others, sharing each line's facts,
// alone in a pass of its own, or alone through CountLogLines on its own
// copy of each line.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "logread/robots.h"
#include "stats/agents.h"
#include "stats/audience.h"
#include "stats/bytes.h"
#include "stats/countries.h"
#include "stats/day_pass.h"
#include "stats/hit.h"
#include "stats/item_container.h"
#include "stats/items.h"
#include "stats/referrers.h"
#include "stats/responses.h"
#include "stats/robot_ranking.h"
#include "stats/stats_settings.h"
#include "stats/times.h"
#include "stats/visitors.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

const char kFirefox[] = "Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0";
const char kChrome[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Safari/537.36";
const char kBot[] = "Mozilla/5.0 (compatible; Examplebot/2.1; +http://bot.example.com/)";
const char kOtherBot[] = "crawler-thing/1.0";
const char kRobotTable[] = "search engine\tExamplebot\tExamplebot\nscanner\tCrawler thing\tcrawler-thing\n";

std::string Combined(const std::string& client, const std::string& request, const std::string& status,
                     const std::string& bytes, const std::string& referrer, const std::string& agent) {
  return client + " - - [05/Jan/1999:10:11:12 +0900] \"" + request + "\" " + status + " " + bytes + " \"" +
         referrer + "\" \"" + agent + "\"\n";
}

// A combined line of exactly `size` bytes, its line feed included, padded
// in the agent (or, with `pad_path`, in the path).
std::string LineOfSize(size_t size, const std::string& agent, bool pad_path = false) {
  std::string line = Combined("203.0.113.9", "GET /long HTTP/1.1", "200", "77", "http://news.example.net/", agent);
  if (line.size() >= size) return line;
  const std::string pad(size - line.size(), pad_path ? 'p' : 'x');
  if (pad_path) return Combined("203.0.113.9", "GET /long" + pad + " HTTP/1.1", "200", "77", "http://news.example.net/", agent);
  return Combined("203.0.113.9", "GET /long HTTP/1.1", "200", "77", "http://news.example.net/", agent + pad);
}

// The odd cases of a day file: people and robots, pages and assets, the
// program's own path, excluded clients, every status class, all four
// layouts mixed, lines at and past each counter's read limit (the agent,
// the referrer or the status past the cut), JSON lines short and
// gathered, escapes, unclosed quotes, a zero byte, lines without a path
// or a layout, and no final line feed.
std::string OddDay() {
  std::string text;
  for (int i = 0; i < 3; ++i) {
    text += Combined("198.18.0." + std::to_string(i), "GET /index.html HTTP/1.1", "200", "1200",
                     "https://www.search.example.com/q?x=1", kFirefox);
  }
  text += Combined("h1.example.co.uk", "GET / HTTP/1.1", "200", "-", "-", kChrome);
  text += Combined("h1.example.co.uk", "GET /Index.HTML?x=1 HTTP/1.1", "304", "0", "http://www.example.org/a", kChrome);
  text += Combined("h2.example.com", "GET /style.css HTTP/1.1", "200", "300", "http://www.example.org/", kChrome);
  text += Combined("h2.example.com", "GET /pic.PNG?v=2 HTTP/1.1", "200", "900", "-", kFirefox);
  text += Combined("h2.example.com", "GET /photo.jpg HTTP/1.1", "200", "900", "-", kFirefox);
  text += Combined("198.18.0.1", "GET /missing HTTP/1.1", "404", "12", "http://www.example.org/links", kFirefox);
  text += Combined("198.18.0.1", "GET /gone?a=b HTTP/1.1", "404", "12", "http://elsewhere.example.net/", kChrome);
  text += Combined("198.18.0.1", "GET /missing HTTP/1.1", "404", "12", "-", kBot);
  text += Combined("198.18.0.2", "POST /cgi-bin/v.cgi?x HTTP/1.1", "200", "5", "-", kFirefox);
  text += Combined("198.18.0.2", "GET /cgi-bin/v.cgi/page HTTP/1.1", "200", "5", "-", kFirefox);
  text += Combined("198.18.0.3", "GET /broken HTTP/1.1", "500", "1", "-", kFirefox);
  text += Combined("198.18.0.3", "GET /moved HTTP/1.1", "301", "1", "android-app://com.example", kChrome);
  text += Combined("192.0.2.7", "GET /excluded HTTP/1.1", "200", "50", "-", kFirefox);
  text += Combined("198.51.100.77", "GET /excluded-net HTTP/1.1", "200", "50", "-", kChrome);
  text += Combined("[2001:db8::1]:443", "GET /six HTTP/1.1", "200", "60", "-", kFirefox);
  text += Combined("2001:db8:0:1::5", "GET /six HTTP/1.1", "200", "60", "-", kFirefox);
  for (int i = 0; i < 4; ++i) text += Combined("66.249.66." + std::to_string(i), "GET /index.html HTTP/1.1", "200", "1200", "-", kBot);
  text += Combined("66.249.66.9", "GET /robots.txt HTTP/1.1", "200", "20", "-", kOtherBot);
  text += Combined("66.249.66.9", "GET /robots.txt HTTP/1.1", "200", "20", "-", "-");
  // Escapes and quotes inside the quoted fields; an unclosed referrer.
  text += Combined("198.18.0.4", "GET /q HTTP/1.1", "200", "3", "http://a.example.com/\\\"x\\\"", "Agent \\\"quoted\\\" \\x41\\\\");
  text += "198.18.0.4 - - [05/Jan/1999:10:11:12 +0900] \"GET /open HTTP/1.1\" 200 3 \"http://open.example.com/\n";
  text += "198.18.0.4 - - [05/Jan/1999:10:11:12 +0900] \"GET /common HTTP/1.1\" 200 3\n";
  text += "198.18.0.4 - - [05/Jan/1999:10:11:12 +0900] \"-\" 400 0 \"-\" \"-\"\n";
  // The comma layout, the virtual host layout, no layout at all.
  text += "h3.example.com, 99/01/05, 10:11:12, /comma.html, 200\n";
  text += "h3.example.com, 99/01/05, 10:11:12, /comma.png, 404\n";
  text += "192.0.2.7, 99/01/05, 11:11:12, /comma-excluded, 200\n";
  text += "www.example.org:80 " + Combined("198.18.0.5", "GET /vhost HTTP/1.1", "200", "70", "-", kBot);
  text += "www.example.org:443 " + Combined("198.18.0.6", "GET /vhost HTTP/1.1", "404", "70", "http://www.example.org/", kFirefox);
  text += "garbage\n\n";
  // JSON: short, gathered past a read, and not JSON at all.
  const std::string json_head = "{\"ts\":915498672,\"status\":200,\"size\":44,\"request\":{\"client_ip\":\"198.18.0.7\","
                                "\"host\":\"www.example.org\",\"uri\":\"/json?q=1\",\"headers\":{\"User-Agent\":[\"";
  text += json_head + kFirefox + "\"],\"Referer\":[\"http://ref.example.com/\"]}}}\n";
  text += json_head + kBot + "\"]}}}\n";
  text += json_head + kFirefox + std::string(1500, 'j') + "\"]}}}\n";
  text += "{\"not json\n";
  // A zero byte inside the agent.
  text += Combined("198.18.0.8", "GET /zero HTTP/1.1", "200", "8", "-", std::string("Fire") + '\0' + "fox");
  // At and past the limits: 1022 bytes fits every counter, 1023 only those
  // of the whole buffer, 1024 and up none of them; the agent, the
  // referrer, the status or the path runs past the cut.
  for (size_t size : {1021, 1022, 1023, 1024, 1025, 1500}) {
    text += LineOfSize(size, kFirefox);
    text += LineOfSize(size, kBot);
    text += LineOfSize(size, kChrome, true);
  }
  text += std::string(3000, 'z') + "\n";
  text += Combined("198.18.0.9", "GET /last HTTP/1.1", "200", "9", "-", kChrome);
  text.pop_back();  // the last line without its line feed
  return text;
}

// Settings of a site: the rule of its statuses, assets, excluded clients
// and program path, and its own host.
class HSettings : public IStatsSettings {
 public:
  HSettings(const char* statuses, bool shorten)
      : rule_("css png", statuses, "192.0.2.7 198.51.100.0/24", "/cgi-bin/v.cgi"), shorten_(shorten) {}
  const HDate& Today() const override { return today_; }
  bool FindDayFile(HString&, const HDate&) const override { return false; }
  void MoveFirstDayBack(const HDate&) override {}
  HDate FirstDay() const override { return HDate(); }
  const char* RootPath() const override { return "/index.html"; }
  int Unit() const override { return 3; }
  int Lines() override { return 100; }
  const std::vector<HDate>& DaysWithFiles() override { return days_; }
  std::string DayStamp(const HDate&) override { return ""; }
  std::string DataPath(const char* name) const override { return name; }
  std::string CountryDatabase() const override { return ""; }
  const HPageRule& PageRule() override { return rule_; }
  bool IsOwnHost(const char* host) override { return strcmp(host, "www.example.org") == 0; }
  const std::vector<std::string>& OwnHosts() override { return hosts_; }
  bool ShortensAddresses() override { return shorten_; }

 private:
  HPageRule rule_;
  bool shorten_;
  HDate today_;
  std::vector<HDate> days_;
  std::vector<std::string> hosts_{"www.example.org"};
};

// One statistic: what makes a fresh counter of it (and whatever the
// counter counts into), by name.
struct HStatistic {
  std::string name;
  std::function<std::unique_ptr<IDayCounter>()> make;
};

// What a counter gathered: the lines it took and its saved result.
std::string Figures(const IDayCounter& counter) {
  std::string result;
  counter.SaveResult(result);
  return std::to_string(counter.Counted()) + ":" + result;
}

class DayPassFactsTest : public ::testing::Test {
 protected:
  DayPassFactsTest() {
    HRobotList::Shared().LoadTable(kRobotTable);
    file_ = dir_ / "day.log";
    WriteFile(file_, OddDay());
  }
  ~DayPassFactsTest() override { HRobotList::Shared().LoadTable(""); }

  // Every kind of statistic under the settings, with the filters pages
  // ask rankings for.
  void AddStatistics(const std::string& label, IStatsSettings& settings) {
    auto* container = new HDomainsContainer("items", &settings);
    keep_.emplace_back(container);
    IStatsSettings* log = &settings;
    const auto hit = [this, label](const char* name, std::function<HHit*()> make) {
      statistics_.push_back({label + name, [this, make] {
                               keep_.emplace_back(make());
                               return static_cast<HHit*>(keep_.back().get())->DayCounter();
                             }});
    };
    hit("hit", [log] { return new HHit("hit", log); });
    hit("root", [log] { return new HRootHit("root", log); });
    hit("all", [log] { return new HAllHit("all", log); });
    hit("bytes", [log] { return new HBytesHit("bytes", log); });
    hit("visitors", [log] { return new HVisitors("visitors", log); });
    statistics_.push_back({label + "hours", [this, log] {
                             hours_.emplace_back(new int[HTimesHit::kHours]());
                             return HTimesHit::HoursCounter(log->PageRule(), hours_.back().get());
                           }});
    const auto items = [&](const char* name, std::function<HItemsHit*()> make,
                           std::vector<const char*> filters) {
      filters.insert(filters.begin(), nullptr);
      for (const char* filter : filters) {
        statistics_.push_back({label + name + "/" + (filter == nullptr ? "" : filter), [this, make, filter] {
                                 HItemsHit* day = make();
                                 keep_.emplace_back(day);
                                 return day->ItemCounter(filter);
                               }});
      }
    };
    items("domains", [container] { return new HDomainsHit("19990105", container); }, {"/index.html"});
    items("pages", [container] { return new HPagesHit("19990105", container); }, {"example.com"});
    items("agents", [container] { return new HAgentsHit("19990105", container); }, {"Linux"});
    items("systems", [container] { return new HSystemsHit("19990105", container); }, {"Firefox"});
    items("codes", [container] { return new HStatusesHit("19990105", container); }, {});
    items("notfound", [container] { return new HNotFoundHit("19990105", container); },
          {"/missing", "(site) /missing"});
    items("referrers", [container] { return new HReferrersHit("19990105", container); }, {"example.com"});
    items("robots", [container] { return new HRobotsHit("19990105", container); },
          {"Examplebot (search engine)"});
    items("countries", [container] { return new HCountriesHit("19990105", container); }, {"/six"});
  }

  ScratchDir dir_;
  FakeServer server_{dir_.Path()};
  std::string file_;
  std::vector<HStatistic> statistics_;
  std::vector<std::unique_ptr<IObject>> keep_;
  std::vector<std::unique_ptr<int[]>> hours_;
};

}  // namespace

TEST_F(DayPassFactsTest, EveryStatisticCountsTheSameTogetherAndAlone) {
  HSettings plain("2xx 304 404", false);
  HSettings shortened("", true);
  HAudienceSettings humans(plain, HAudience::kHumans);
  HAudienceSettings robots(plain, HAudience::kRobots);
  AddStatistics("", plain);
  AddStatistics("short ", shortened);
  AddStatistics("humans ", humans);
  AddStatistics("robots ", robots);

  HDayPass together;
  std::vector<IDayCounter*> shared;
  for (const HStatistic& statistic : statistics_) {
    std::unique_ptr<IDayCounter> counter = statistic.make();
    shared.push_back(counter.get());
    together.Add(std::move(counter), nullptr);
  }
  ASSERT_TRUE(together.Run(file_.c_str()));

  int counted = 0;
  for (size_t i = 0; i < statistics_.size(); ++i) {
    const HStatistic& statistic = statistics_[i];
    HDayPass single;
    single.Add(statistic.make(), nullptr);
    ASSERT_TRUE(single.Run(file_.c_str()));
    IDayCounter* counting = &single.Counter(0);
    std::unique_ptr<IDayCounter> copied = statistic.make();
    const int lines = CountLogLines(file_.c_str(), copied->Limit(), [&](char* line) { return copied->Offer(line); });
    copied->SetCounted(lines);
    EXPECT_EQ(Figures(*copied), Figures(*shared[i])) << statistic.name;
    EXPECT_EQ(Figures(*copied), Figures(*counting)) << statistic.name;
    counted += shared[i]->Counted();
  }
  EXPECT_GT(counted, 0);
}

// The day's figures themselves, against a count by hand of OddDay: what
// the facts answer is what the lines say.
TEST_F(DayPassFactsTest, TheFiguresAreThoseOfTheLines) {
  HSettings plain("2xx 304 404", false);
  HAudienceSettings robots(plain, HAudience::kRobots);
  AddStatistics("", plain);
  AddStatistics("robots ", robots);
  HDayPass pass;
  std::vector<IDayCounter*> counters;
  for (const HStatistic& statistic : statistics_) {
    std::unique_ptr<IDayCounter> counter = statistic.make();
    counters.push_back(counter.get());
    pass.Add(std::move(counter), nullptr);
  }
  ASSERT_TRUE(pass.Run(file_.c_str()));
  const auto counted = [&](const std::string& name) {
    for (size_t i = 0; i < statistics_.size(); ++i) {
      if (statistics_[i].name == name) return counters[i]->Counted();
    }
    return -1;
  };
  // The top page: three people, one 304 of "/Index.HTML?x=1" (the case
  // and the query do not matter) and four Examplebot lines.
  EXPECT_EQ(8, counted("root"));
  EXPECT_EQ(4, counted("robots root"));
  // Robots fetch everything: ten Examplebot lines with a path (the 404,
  // the four top pages, the virtual host, JSON and the three long ones
  // whose agent ends within the read, which a line of 1023 bytes with its
  // line feed still does) and the crawler's one.
  EXPECT_EQ(11, counted("robots/"));
  EXPECT_EQ(11, counted("robots robots/"));
}
