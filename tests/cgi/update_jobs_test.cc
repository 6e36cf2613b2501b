// vazivev-update reads each day once for every statistic and deals the days
// out to several processes: the figures must be those of one process and
// those that page views count one statistic at a time, and an update cut
// short must lose and double nothing once the next one has run.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kNow[] = "2026-11-30 12:00:00";
const char* const kStatistics[] = {
    "hit:Hit",           "root:RootHit",         "all:AllHit",          "visitors:Visitors",
    "bytes:Bytes",       "hit-robots:Hit",       "domains:DomainsContainer", "pages:PagesContainer",
    "times:TimesContainer", "agents:AgentsContainer", "systems:SystemsContainer", "codes:StatusContainer",
    "notfound:NotFoundContainer", "referrers:ReferrersContainer", "robots:RobotsContainer",
    "countries:CountriesContainer", "pages-humans:PagesContainer", "visitors-robots:Visitors"};
const char* const kPages[] = {"VaziVevIndex",    "VaziVevDomains",  "VaziVevPages",     "VaziVevHours",
                              "VaziVevStatuses", "VaziVevNotFound", "VaziVevBytes",     "VaziVevReferrers",
                              "VaziVevAgents",   "VaziVevSystems",  "VaziVevRobots",    "VaziVevCountries"};

// Lines the generator never writes: longer than a read, a JSON line, the
// comma layout, a line without a line feed at the end of a day.
std::string OddLines(int day) {
  char date[64];
  snprintf(date, sizeof date, "[%02d/Nov/2026:10:00:00 +0000]", day);
  std::string lines = "192.0.2.9 - - " + std::string(date) + " \"GET /" + std::string(1100, 'l') +
                      " HTTP/1.1\" 200 5 \"-\" \"Long/1.0\"\n";
  lines += "192.0.2.10 - - " + std::string(date) + " \"GET /x.html HTTP/1.1\" 200 7 \"http://a.example/" +
           std::string(1000, 'r') + "\" \"Longer/2.0\"\n";
  char json[300];
  snprintf(json, sizeof json,
           "{\"ts\":\"2026-11-%02dT11:00:00+00:00\",\"client_ip\":\"198.51.100.4\",\"request\":{\"uri\":\"/j.html\","
           "\"host\":\"www.example.org\",\"headers\":{\"User-Agent\":[\"Json/1.0\"]}},\"status\":200,\"size\":42}\n",
           day);
  lines += json;
  char comma[100];
  snprintf(comma, sizeof comma, "h.example.jp, 26/11/%02d, 9:00:00, /comma.html, 200\n", day);
  return lines + comma;
}

// A site whose analysis reads `log`, with every kind of day statistic and
// twins of some for one audience.
void SetUpSite(const CgiSite& site, const std::string& log) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n Loging=Unique\n LogFile=" + log +
                                             "\n Unit=3\n lines=30\n URL=http://www.example.org\n"
                                             " Assets=css js png gif\n Statuses=2xx 304\nend\n");
  for (const char* kind : kStatistics) {
    const std::string spec(kind);
    const std::string name = spec.substr(0, spec.find(':'));
    const std::string type = spec.substr(spec.find(':') + 1);
    const std::string object = "object " + name + " : " + type + "\nend\n";
    if (type.find("Container") != std::string::npos) {
      mkdir(site.Path("data/vazivev/" + name).c_str(), 0755);
      Write(site.Path("data/vazivev/" + name + "/index"), object);
    } else {
      Write(site.Path("data/vazivev/" + name), object);
    }
  }
}

// Three sites over the same log: `days` days of the generator's modern
// layout with odd lines among them.
std::string MakeLog(const CgiSite& site, int lines, int days) {
  const std::string log = site.Beside("access.log");
  const std::string generate = std::string("python3 '") + VAZIVEV_SOURCE + "/bench/gen_log.py' '" + log + "' " +
                               std::to_string(lines) + " " + std::to_string(days) + " 2026-11-01 7 modern";
  EXPECT_EQ(0, system(generate.c_str()));
  std::string text = Slurp(log);
  for (int day = 1; day <= days; ++day) {
    char mark[32];
    snprintf(mark, sizeof mark, "[%02d/Nov/2026:12", day);
    const size_t place = text.find(mark);
    if (place == std::string::npos) continue;
    const size_t line = text.rfind('\n', place) + 1;
    text.insert(line, OddLines(day));
  }
  return text;
}

int Update(const CgiSite& site, const std::string& args, std::string* out = nullptr) {
  const std::string file = site.Beside("update.out");
  const int raw = system(
      ("cd '" + site.Root() + "' && " + FakeTimeCommand(kNow) + "./vazivev-update " + args + " >'" + file + "' 2>&1")
          .c_str());
  if (out != nullptr) *out = Slurp(file);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Every report page of every day, as one text.
std::string AllPages(const CgiSite& site, int days) {
  std::string all;
  for (int day = 1; day <= days; ++day) {
    for (const char* page : kPages) {
      const std::string query = std::string("page=") + page + "&Date=202611" + (day < 10 ? "0" : "") +
                                std::to_string(day);
      all += query + "\n" + site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", kNow).out;
    }
  }
  return all;
}

// A stored file with its stamps (runs of sixteen hexadecimal digits, which
// differ from site to site with the day files' inodes) blanked.
std::string WithoutStamps(const std::string& text) {
  std::string out;
  size_t run = 0;
  for (char c : text) {
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    run = hex ? run + 1 : 0;
    out += c;
    if (run == 16) out.replace(out.size() - 16, 16, "#");
  }
  return out;
}

std::string StoredText(const CgiSite& site, const std::string& name) {
  return WithoutStamps(Slurp(site.Path("data/vazivev/" + name)));
}

// Every statistic's stored figures, each day's of the rankings, and the
// pages of the first and the last day.
std::string StoredFigures(const CgiSite& site, int days) {
  std::string all;
  for (const char* kind : kStatistics) {
    const std::string spec(kind);
    const std::string name = spec.substr(0, spec.find(':'));
    if (spec.find("Container") == std::string::npos) {
      all += name + "\n" + StoredText(site, name);
      continue;
    }
    for (int day = 1; day <= days; ++day) {
      const std::string file = name + "/202611" + (day < 10 ? "0" : "") + std::to_string(day);
      all += file + "\n" + StoredText(site, file);
    }
  }
  for (const int day : {1, days}) {
    for (const char* page : kPages) {
      const std::string query = std::string("page=") + page + "&Date=202611" + (day < 10 ? "0" : "") +
                                std::to_string(day);
      all += query + "\n" + site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", kNow).out;
    }
  }
  return all;
}

// The temporary files of saves under data/: none once an update has ended.
std::string TemporaryFiles(const CgiSite& site) {
  const std::string command = "cd '" + site.Root() + "' && find data -name '*.Tmp'";
  std::string found;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) found += buffer;
    pclose(pipe);
  }
  return found;
}

}  // namespace

TEST(UpdateJobsTest, JobsGiveTheFiguresOfOneProcessAndOfPageViews) {
  constexpr int kDays = 4;
  CgiSite one, two, lazy;
  const std::string log = MakeLog(one, 9000, kDays);
  for (const CgiSite* site : {&one, &two, &lazy}) {
    Write(site->Path("access.log"), log);
    SetUpSite(*site, site->Path("access.log"));
  }
  std::string out;
  EXPECT_EQ(0, Update(one, "--jobs 1", &out)) << out;
  const std::string counted = "statistics 18, day statistics counted " + std::to_string(18 * kDays) + ",";
  EXPECT_NE(std::string::npos, out.find(counted)) << out;
  EXPECT_EQ(0, Update(two, "--jobs 2", &out)) << out;
  EXPECT_NE(std::string::npos, out.find(counted)) << out;
  // The workers' day files were renamed into place with the commit.
  EXPECT_EQ("", TemporaryFiles(two));
  for (const char* kind : kStatistics) {
    const std::string spec(kind);
    const std::string name = spec.substr(0, spec.find(':'));
    if (spec.find("Container") == std::string::npos) {
      EXPECT_EQ(StoredText(one, name), StoredText(two, name)) << name;
      continue;
    }
    for (int day = 1; day <= kDays; ++day) {
      const std::string file = name + "/202611" + (day < 10 ? "0" : "") + std::to_string(day);
      EXPECT_EQ(StoredText(one, file), StoredText(two, file)) << file;
      EXPECT_NE("", StoredText(one, file)) << file;
    }
  }
  // Page views count each statistic by itself, as they come. (The pages of
  // the site counted with two jobs follow from its stored figures, equal
  // to the one job's above.)
  EXPECT_EQ(AllPages(one, kDays), AllPages(lazy, kDays));
  const std::string day = Slurp(one.Path("logs/QL261103.log"));
  EXPECT_NE(std::string::npos, day.find("/comma.html"));
  EXPECT_NE(std::string::npos, day.find("/j.html"));
  EXPECT_EQ(2, Update(one, "--jobs 0"));
}

TEST(UpdateJobsTest, AStoppedUpdateLosesAndDoublesNothing) {
  constexpr int kDays = 20;
  CgiSite whole, stopped;
  const std::string log = MakeLog(whole, 60000, kDays);
  for (const CgiSite* site : {&whole, &stopped}) {
    Write(site->Path("access.log"), log);
    SetUpSite(*site, site->Path("access.log"));
  }
  std::string out;
  EXPECT_EQ(0, Update(whole, "--jobs 1", &out));
  // Stopped twice part of the way, by SIGTERM and then by SIGKILL, each as
  // soon as a worker counts; then run to its end.
  for (const char* signal : {"TERM", "KILL"}) {
    const std::string wait = "while kill -0 $p 2>/dev/null && ! pgrep -P $p >/dev/null; do sleep 0.005; done; ";
    const std::string command = "cd '" + stopped.Root() + "' && { " + FakeTimeCommand(kNow) +
                                "./vazivev-update --jobs 2 >/dev/null 2>&1 & p=$!; " + wait + "kill -" + signal +
                                " $p 2>/dev/null; wait $p; }";
    const int raw = system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) > 128) << signal << " came after the end: " << out;
  }
  EXPECT_EQ(0, Update(stopped, "--jobs 2", &out)) << out;
  EXPECT_EQ(0, Update(stopped, "--jobs 2", &out)) << out;
  EXPECT_NE(std::string::npos, out.find("day statistics counted 0,")) << out;
  EXPECT_EQ(StoredFigures(whole, kDays), StoredFigures(stopped, kDays));
  EXPECT_EQ("", TemporaryFiles(stopped));
}
