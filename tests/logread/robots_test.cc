#include "logread/robots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "logread/referrer_site.h"

namespace {

// Agents as the robots and browsers send them.
const char kGooglebot[] = "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)";
const char kBingbot[] = "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)";
const char kGptBot[] =
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.2; +https://openai.com/gptbot)";
const char kClaudeBot[] =
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; ClaudeBot/1.0; +claudebot@anthropic.com)";
const char kAhrefsBot[] = "Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)";
const char kUptimeRobot[] = "Mozilla/5.0+(compatible; UptimeRobot/2.0; http://www.uptimerobot.com/)";
const char kFeedly[] = "Feedly/1.0 (+http://www.feedly.com/fetcher.html; 5 subscribers; like FeedFetcher-Google)";
const char* const kBrowsers[] = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
    "Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_2 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.2 "
    "Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 "
    "Safari/537.36 Edg/120.0.2210.91",
    "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.6099.144 Mobile "
    "Safari/537.36",
};

std::string Found(HRobotList& list, const char* agent) {
  const HRobot* robot = list.Match(agent);
  return robot == nullptr ? "-" : robot->name + " (" + robot->kind + ")";
}

}  // namespace

TEST(HRobotListTest, TheBuiltTableKnowsRobotsByKindAndNoBrowser) {
  HRobotList list;
  ASSERT_GT(list.LoadFile(VAZIVEV_ROBOT_TABLE), 1000);
  const struct {
    const char* agent;
    const char* found;
  } cases[] = {
      {kGooglebot, "Googlebot (search engine)"}, {kBingbot, "bingbot (search engine)"},
      {kGptBot, "GPTBot (AI crawler)"},          {kClaudeBot, "claudebot (AI crawler)"},
      {kAhrefsBot, "AhrefsBot (SEO tool)"},      {kUptimeRobot, "UptimeRobot (monitor)"},
      {kFeedly, "Feedly (feed reader)"},
  };
  for (int pass = 0; pass < 2; ++pass) {  // the second from the cache
    for (const auto& c : cases) EXPECT_EQ(c.found, Found(list, c.agent)) << c.agent;
    for (const char* browser : kBrowsers) EXPECT_EQ("-", Found(list, browser)) << browser;
  }
  EXPECT_EQ(nullptr, list.Match(""));
  EXPECT_EQ(nullptr, list.Match(nullptr));
  // The index of literals answers as every pattern at once does, for an
  // agent of each robot's name and for agents of several robots.
  int found = 0;
  std::string several;
  for (int i = 0; i < list.Count(); ++i) {
    const HRobot& robot = list.At(i);
    EXPECT_NE(std::find(std::begin(kRobotKinds), std::end(kRobotKinds), robot.kind), std::end(kRobotKinds));
    const std::string agent = "Mozilla/5.0 (compatible; " + robot.name + "/1.0; +http://x.example/)";
    const HRobot* indexed = list.MatchUncached(agent.data(), agent.size());
    EXPECT_EQ(list.MatchEveryPattern(agent.data(), agent.size()), indexed) << agent;
    found += indexed != nullptr;
    if (i % 100 == 0) several = robot.name + " " + several;
    EXPECT_EQ(list.MatchEveryPattern(several.data(), several.size()),
              list.MatchUncached(several.data(), several.size()))
        << several;
  }
  EXPECT_GT(found, list.Count() * 9 / 10);
}

TEST(HRobotListTest, BranchesKeepTheirRobotsPastGroupsAndBadLines) {
  HRobotList list;
  const std::string table =
      "other\tAB\t(a|b)x(y)?\n"
      "monitor\tBroken\t(unclosed\n"
      "no tabs here\n"
      "scanner\tCD\t(c)(d)z\n"
      "feed reader\tLast\tlast$\n";
  ASSERT_EQ(3, list.LoadTable(table));
  for (const char* agent : {"..cdz..", "bx", "the last", "cdz ax", "ax cdz", "ax", "x", ""}) {
    EXPECT_EQ(list.MatchEveryPattern(agent, strlen(agent)), list.MatchUncached(agent, strlen(agent))) << agent;
  }
  EXPECT_EQ("CD (scanner)", Found(list, "..cdz.."));
  EXPECT_EQ("AB (other)", Found(list, "bx"));
  EXPECT_EQ("Last (feed reader)", Found(list, "the last"));
  EXPECT_EQ("-", Found(list, "the last one"));
  // The leftmost match decides.
  EXPECT_EQ("CD (scanner)", Found(list, "cdz ax"));
  EXPECT_EQ("AB (other)", Found(list, "ax cdz"));
  EXPECT_EQ(0, list.LoadTable("other\tX\t(\n"));
  EXPECT_EQ("-", Found(list, "x"));
}

TEST(MakeRobotTableTest, KindFromTagsAndNameFromTheFirstInstance) {
  std::string table = "kept";
  EXPECT_FALSE(MakeRobotTable("{\"pattern\": 1}", table));
  EXPECT_FALSE(MakeRobotTable("[", table));
  EXPECT_EQ("kept", table);
  const char json[] = R"json([
    {"pattern": "Ahrefs(Bot|SiteAudit)", "tags": ["seo"], "instances": ["x (compatible; AhrefsBot/7.0; +h)"]},
    {"pattern": "Both", "tags": ["search-engine", "ai-crawler"], "instances": []},
    {"pattern": "odd\\=name\\/", "tags": ["archiver"]},
    {"pattern": "", "tags": ["seo"]},
    {"tags": ["seo"]},
    {"pattern": "tab\there", "tags": ["seo"]}
  ])json";
  ASSERT_TRUE(MakeRobotTable(json, table));
  EXPECT_EQ(
      "SEO tool\tAhrefsBot\tAhrefs(Bot|SiteAudit)\n"
      "AI crawler\tBoth\tBoth\n"
      "other\todd name\todd\\=name\\/\n",
      table);
}

TEST(ReferrerSiteTest, RegistrableDomainsOfTheIcannSection) {
  const struct {
    const char* referrer;
    const char* site;
  } cases[] = {
      {"https://www.google.co.jp/search?q=a", "google.co.jp"},
      {"http://news.bbc.co.uk/x", "bbc.co.uk"},
      {"HTTP://Www.Spiegel.DE./a", "spiegel.de"},
      {"http://user:pw@shop.example.de:8080/p?a=b", "example.de"},
      {"https://foo.blogspot.com/", "blogspot.com"},  // a private suffix, not ICANN
      {"https://a.b.city.kawasaki.jp/", "city.kawasaki.jp"},
      {"http://192.0.2.5:81/x", "192.0.2.5"},
      {"http://[2001:db8::1]:8080/", "[2001:db8::1]"},
      {"http://localhost:8080/", "localhost"},
      {"http://co.uk/", "co.uk"},
      {"http://com/", "com"},
      {"http://a..example.com/", "a..example.com"},
      {"android-app://com.google.android.gm/", kOtherReferrers},
      {"http://", kOtherReferrers},
      {"http://[::1/", kOtherReferrers},
      {"about:blank", kOtherReferrers},
  };
  for (const auto& c : cases) {
    std::string site;
    ReferrerSite(c.referrer, site);
    EXPECT_EQ(c.site, site) << c.referrer;
  }
}
