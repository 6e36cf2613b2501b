// The robot classifier's cost on a day of mixed agents: loading the table,
// then classifying every line's agent without the cache (one combined match
// each) and with it (a look-up for every agent seen before). The day is
// made here: mostly browsers whose versions vary, so that about one line in
// ten brings an agent not seen yet, and one line in five a robot's.
//
//     robots_bench TABLE [LINES]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "logread/robots.h"

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

const char* const kBrowsers[] = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/%d.0.%d.0 Safari/537.36",
    "Mozilla/5.0 (X11; Linux x86_64; rv:%d.0) Gecko/20100101 Firefox/%d.0",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_%d like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.%d "
    "Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (Linux; Android 14; SM-S9%d) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.%d.144 Mobile "
    "Safari/537.36",
};
const char* const kRobots[] = {
    "Mozilla/5.0 (compatible; Googlebot/2.%d; +http://www.google.com/bot.html)%d",
    "Mozilla/5.0 (compatible; bingbot/2.%d; +http://www.bing.com/bingbot.htm)%d",
    "Mozilla/5.0 AppleWebKit/537.36 (KHTML, like Gecko; compatible; GPTBot/1.%d; +https://openai.com/gptbot)%d",
    "Mozilla/5.0 (compatible; AhrefsBot/7.%d; +http://ahrefs.com/robot/)%d",
    "Mozilla/5.0+(compatible; UptimeRobot/2.%d; http://www.uptimerobot.com/)%d",
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s TABLE [LINES]\n", argv[0]);
    return 2;
  }
  const long lines = argc > 2 ? atol(argv[2]) : 200000;
  std::vector<std::string> agents;
  agents.reserve(lines);
  unsigned seed = 1;
  char agent[512];
  for (long i = 0; i < lines; ++i) {
    seed = seed * 1103515245 + 12345;
    const unsigned r = seed >> 8;
    // One line in ten a new version (a new agent), the others one of 50.
    const int version = r % 10 == 0 ? static_cast<int>(i) : static_cast<int>(r % 50);
    if (r % 5 == 0) {
      snprintf(agent, sizeof agent, kRobots[(r >> 4) % 5], version % 10, version / 10);
    } else {
      snprintf(agent, sizeof agent, kBrowsers[(r >> 4) % 4], 100 + version % 30, version);
    }
    agents.push_back(agent);
  }
  HRobotList list;
  double start = Now();
  const int robots = list.LoadFile(argv[1]);
  const double load = Now() - start;
  int found = 0;
  start = Now();
  for (const std::string& a : agents) found += list.MatchUncached(a.data(), a.size()) != nullptr;
  const double uncached = Now() - start;
  int cached_found = 0;
  start = Now();
  for (const std::string& a : agents) cached_found += list.Match(a.c_str()) != nullptr;
  const double cached = Now() - start;
  // The index gives what every pattern at once gives, on a sample.
  int differ = 0;
  for (size_t i = 0; i < agents.size(); i += agents.size() / 500 + 1) {
    const std::string& a = agents[i];
    differ += list.MatchUncached(a.data(), a.size()) != list.MatchEveryPattern(a.data(), a.size());
  }
  printf("%d robots loaded in %.1f ms; %ld lines, %d by robots (%d with the cache)\n", robots, load * 1e3, lines, found,
         cached_found);
  printf("uncached %.0f ns/line, cached %.0f ns/line\n", uncached * 1e9 / lines, cached * 1e9 / lines);
  printf("%d of a sample differ from the plain alternation\n", differ);
  return found == cached_found && differ == 0 ? 0 : 1;
}
