// What reading user agents costs: loading the rule list (YAML only), then
// compiling all of its rules at once; then, on fresh parsers, the parse of
// `agents` distinct agents made from real ones (versions varied), with the
// rules compiled lazily as parses reach them and with all compiled first,
// and the parse of agents that no rule matches (every rule tried).
//
//     agents_bench [AGENTS]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "logread/ua_parser.h"

namespace {

const char* const kAgents[] = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/%d.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 "
    "Safari/537.36 Edg/%d.0.2903.86",
    "Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/%d.0",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.%d "
    "Safari/605.1.15",
    "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.%d.104 Mobile "
    "Safari/537.36",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 18_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/18.%d "
    "Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (compatible; Googlebot/2.%d; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.%d; +http://www.bing.com/bingbot.htm)",
};

std::vector<std::string> Agents(int count, bool unmatched) {
  std::vector<std::string> agents;
  char text[512];
  for (int i = 0; i < count; ++i) {
    if (unmatched) {
      snprintf(text, sizeof text, "zq%dx-%08d (no such thing; %d)", i % 97, i, i * 7);
    } else {
      snprintf(text, sizeof text, kAgents[i % (sizeof kAgents / sizeof *kAgents)], 100 + i);
    }
    agents.push_back(text);
  }
  return agents;
}

double ParseAll(HAgentParser& parser, const std::vector<std::string>& agents) {
  const double start = Now();
  size_t total = 0;
  for (const std::string& agent : agents) total += parser.Parse(agent.c_str()).family.size();
  const double seconds = Now() - start;
  if (total == 0) fprintf(stderr, "nothing parsed\n");
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int count = argc > 1 ? atoi(argv[1]) : 2000;
  {
    HAgentParser parser;
    double start = Now();
    if (!parser.Load(kAgentRegexesFile)) {
      fprintf(stderr, "cannot read %s\n", kAgentRegexesFile);
      return 1;
    }
    const double load = Now() - start;
    start = Now();
    parser.CompileAll();
    const double compile = Now() - start;
    printf("rules %d: load %.1f ms, compile all %.1f ms (%d refused)\n", parser.RuleCount(), load * 1e3, compile * 1e3,
           parser.FailedCount());
  }
  const std::vector<std::string> real = Agents(count, false);
  const std::vector<std::string> unmatched = Agents(count, true);
  {
    HAgentParser parser;
    parser.Load(kAgentRegexesFile);
    double start = Now();
    parser.Parse(real[0].c_str());
    printf("lazy: one Chrome agent %.1f ms, %d rules compiled\n", (Now() - start) * 1e3, parser.CompiledCount());
    const double first = ParseAll(parser, std::vector<std::string>(real.begin(), real.begin() + 8));
    printf("lazy: first 8 agents %.1f ms, %d rules compiled\n", first * 1e3, parser.CompiledCount());
    const double rest = ParseAll(parser, real);
    printf("lazy: %d distinct agents %.1f us each, %d rules compiled\n", count, rest / count * 1e6,
           parser.CompiledCount());
  }
  {
    HAgentParser parser;
    parser.Load(kAgentRegexesFile);
    parser.CompileAll();
    printf("compiled: %d distinct agents %.1f us each\n", count, ParseAll(parser, real) / count * 1e6);
    printf("compiled: %d unmatched agents %.1f us each\n", count, ParseAll(parser, unmatched) / count * 1e6);
  }
  HAgentCache cache;
  double start = Now();
  for (const std::string& agent : real) cache.Parse(agent.c_str());
  const double first = Now() - start;
  start = Now();
  for (const std::string& agent : real) cache.Parse(agent.c_str());
  printf("cache: %.1f us first, %.2f us again\n", first / count * 1e6, (Now() - start) / count * 1e6);
  return 0;
}
