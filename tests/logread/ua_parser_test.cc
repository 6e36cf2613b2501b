#include "logread/ua_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The installed list, read once for every test of real agents.
HAgentParser& Installed() {
  static HAgentParser* parser = [] {
    auto* made = new HAgentParser;
    made->Load(kAgentRegexesFile);
    return made;
  }();
  return *parser;
}

struct Case {
  const char* agent;
  const char* browser;
  const char* system;
};

TEST(AgentParser, CurrentBrowsersOnEachSystem) {
  ASSERT_TRUE(Installed().IsLoaded()) << kAgentRegexesFile;
  const Case cases[] = {
      {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
       "Safari/537.36",
       "Chrome 131", "Windows 10"},
      {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
       "Safari/537.36 Edg/131.0.2903.86",
       "Edge 131", "Windows 10"},
      {"Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:133.0) Gecko/20100101 Firefox/133.0", "Firefox 133", "Windows 10"},
      {"Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0", "Firefox 133", "Linux"},
      {"Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Safari/537.36",
       "Chrome 131", "Linux"},
      {"Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.1 "
       "Safari/605.1.15",
       "Safari 18", "Mac OS X 10"},
      {"Mozilla/5.0 (Macintosh; Intel Mac OS X 14.7; rv:133.0) Gecko/20100101 Firefox/133.0", "Firefox 133",
       "Mac OS X 14"},
      {"Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.6778.104 "
       "Mobile Safari/537.36",
       "Chrome Mobile 131", "Android 14"},
      {"Mozilla/5.0 (Android 14; Mobile; rv:133.0) Gecko/133.0 Firefox/133.0", "Firefox Mobile 133", "Android 14"},
      {"Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) "
       "Version/18.1 Mobile/15E148 Safari/604.1",
       "Mobile Safari 18", "iOS 18"},
      {"Mozilla/5.0 (iPad; CPU OS 17_6 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) CriOS/131.0.6778.73 "
       "Mobile/15E148 Safari/604.1",
       "Chrome Mobile iOS 131", "iOS 17"},
      {"Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)", "Googlebot 2", "Other"},
      {"curl/8.5.0", "curl 8", "Other"},
  };
  for (const Case& c : cases) {
    const HAgent agent = Installed().Parse(c.agent);
    EXPECT_EQ(agent.Browser(), c.browser) << c.agent;
    EXPECT_EQ(agent.System(), c.system) << c.agent;
  }
}

TEST(AgentParser, GarbageEmptyAndHugeAgentsAreOther) {
  for (const char* agent : {"", "-", "\x01\x02\xff\xfe(((", "zzzz zzzz"}) {
    const HAgent parsed = Installed().Parse(agent);
    EXPECT_EQ(parsed.Browser(), "Other") << agent;
    EXPECT_EQ(parsed.System(), "Other") << agent;
  }
  EXPECT_EQ(Installed().Parse(nullptr).Browser(), "Other");
  // 64 KiB: only the first kLongestAgent bytes are read, so a browser's
  // token past them is not seen, and one before them still is.
  const std::string filler(64 * 1024, 'A');
  EXPECT_EQ(Installed().Parse((filler + " Firefox/133.0").c_str()).Browser(), "Other");
  const std::string firefox = "Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0 ";
  EXPECT_EQ(Installed().Parse((firefox + filler).c_str()).Browser(), "Firefox 133");
}

TEST(AgentParser, FirstMatchWinsAndReplacementsTakeGroups) {
  HAgentParser parser;
  ASSERT_TRUE(parser.LoadText(R"(
user_agent_parsers:
  - regex: '(Nightly|Aurora)/(\d+)'
    family_replacement: 'Firefox ($1)'
  - regex: '(Fox)/(\d+)\.(\d+)'
  - regex: 'Fox'
    family_replacement: 'Second'
  - regex: 'Old/(\d+)'
    family_replacement: 'Old'
    v1_replacement: '$1x'
  - regex: '(Broken'
    family_replacement: 'Never'
  - regex: 'Broken'
    family_replacement: '  Spaced  '
os_parsers:
  - regex: 'Win(95|98|NT)'
    os_replacement: 'Windows $1'
  - regex: '(Tux) (\d+)?'
device_parsers:
  - regex: 'Fox'
    device_replacement: 'Device'
)"));
  EXPECT_EQ(parser.RuleCount(), 8);
  EXPECT_EQ(parser.Parse("Nightly/140 Win98").Browser(), "Firefox (Nightly) 140");
  EXPECT_EQ(parser.Parse("Nightly/140 Win98").System(), "Windows 98");
  EXPECT_EQ(parser.Parse("Fox/12.3").Browser(), "Fox 12");
  EXPECT_EQ(parser.Parse("Old/7").Browser(), "Old 7x");
  EXPECT_EQ(parser.Parse("Tux ").System(), "Tux");  // an unset group is empty
  EXPECT_EQ(parser.Parse("Tux 5").System(), "Tux 5");
  // A rule PCRE2 refuses never matches; the next rule is tried; blanks
  // around a result are trimmed.
  EXPECT_EQ(parser.Parse("Broken").Browser(), "Spaced");
  EXPECT_EQ(parser.FailedCount(), 1);
  // Only the rules a parse reached were compiled.
  HAgentParser lazy;
  ASSERT_TRUE(lazy.LoadText("user_agent_parsers:\n  - regex: 'A'\n  - regex: 'B'\n  - regex: 'C'\n"));
  lazy.Parse("A");
  EXPECT_EQ(lazy.CompiledCount(), 1);
  lazy.CompileAll();
  EXPECT_EQ(lazy.CompiledCount(), 3);
}

TEST(AgentParser, UnreadableListsLeaveNoRules) {
  HAgentParser parser;
  EXPECT_FALSE(parser.Load("/nonexistent/regexes.yaml"));
  EXPECT_FALSE(parser.LoadText("user_agent_parsers: [unclosed"));
  EXPECT_FALSE(parser.LoadText("other: 1\n"));
  EXPECT_FALSE(parser.IsLoaded());
  EXPECT_EQ(parser.Parse("Firefox/1.0").Browser(), "Other");
}

TEST(AgentCache, ParsesEachAgentOnceAndStaysBounded) {
  HAgentCache cache;
  cache.SetPath("/nonexistent/regexes.yaml");
  EXPECT_FALSE(cache.Ready());
  HAgentCache real(100);
  const HAgent& first = real.Parse("curl/8.5.0");
  EXPECT_EQ(&first, &real.Parse("curl/8.5.0"));
  EXPECT_EQ(real.Size(), 1u);
  for (int i = 0; i < 105; ++i) real.Parse(("x/" + std::to_string(i)).c_str());
  EXPECT_LE(real.Size(), 100u);
  EXPECT_EQ(real.Parse("curl/8.5.0").Browser(), "curl 8");
}

}  // namespace
