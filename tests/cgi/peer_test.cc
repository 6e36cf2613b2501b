// The day figures against an independent count: a log of today's web
// (bench/gen_log.py's "modern" layout) over three days, each day read by
// the Debian package goaccess (as a site owner would run it, with error
// responses counted among the visitors), and each day's figures of the
// program must equal its figures for the same day.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

// goaccess's report of one day's lines, as JSON.
nlohmann::json Peer(const std::string& lines, const std::string& scratch) {
  Write(scratch + ".log", lines);
  const std::string command = "goaccess '" + scratch + ".log' --log-format=COMBINED --4xx-to-unique-count " +
                              "--no-progress -o '" + scratch + ".json' >/dev/null 2>&1";
  EXPECT_EQ(0, system(command.c_str())) << command;
  nlohmann::json report = nlohmann::json::parse(Slurp(scratch + ".json"), nullptr, false);
  remove((scratch + ".log").c_str());
  remove((scratch + ".json").c_str());
  return report;
}

}  // namespace

TEST(PeerTest, DayFiguresEqualAnIndependentCount) {
  if (system("command -v goaccess >/dev/null 2>&1") != 0) GTEST_SKIP() << "goaccess is not installed";
  CgiSite site;
  const std::string log = site.Path("access.log");
  const std::string generate =
      std::string("python3 '") + VAZIVEV_SOURCE + "/bench/gen_log.py' '" + log + "' 6000 3 2026-11-01 3 modern";
  ASSERT_EQ(0, system(generate.c_str()));
  const std::string all = Slurp(log);
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"),
        "object vazivev : VaziVev\n Loging=Unique\n LogFile=" + log + "\n lines=100\nend\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  Write(site.Path("data/vazivev/bytes"), "object bytes : Bytes\nend\n");
  mkdir(site.Path("data/vazivev/codes").c_str(), 0755);
  Write(site.Path("data/vazivev/codes/index"), "object codes : StatusContainer\nend\n");
  for (int day = 1; day <= 3; ++day) {
    char stamp[32];
    snprintf(stamp, sizeof stamp, "[%02d/Nov/2026:", day);
    std::string lines;
    for (size_t at = 0; at < all.size();) {
      const size_t end = all.find('\n', at) + 1;
      const std::string line = all.substr(at, end - at);
      if (line.find(stamp) != std::string::npos) lines += line;
      at = end;
    }
    SCOPED_TRACE(stamp);
    const nlohmann::json peer = Peer(lines, site.Beside("peer"));
    ASSERT_TRUE(peer.is_object());
    const CgiResult page = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "Date=2026110" + std::to_string(day)}},
                                    "", "2026-11-05 12:00:00");
    EXPECT_EQ(std::to_string(peer["general"]["total_requests"].get<long long>()), Figure(page.out, "allhits"));
    EXPECT_EQ(std::to_string(peer["general"]["unique_visitors"].get<long long>()), Figure(page.out, "visitors"));
    // The bytes sent, exact in the figure's title.
    const std::string sent = "title=\"" + std::to_string(peer["general"]["bandwidth"].get<long long>()) + " bytes\"";
    EXPECT_NE(std::string::npos, page.out.find(sent)) << sent;
    // Every status code, and so the 404s.
    std::map<std::string, long long> theirs;
    for (const auto& group : peer["status_codes"]["data"]) {
      for (const auto& item : group["items"]) theirs[item["data"].get<std::string>().substr(0, 3)] = item["hits"]["count"];
    }
    const std::string statuses =
        site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevStatuses&Date=2026110" + std::to_string(day)}},
                 "", "2026-11-05 12:00:00")
            .out;
    std::map<std::string, long long> ours;
    const std::string row = "<td class=\"name\">";
    for (size_t at = statuses.find(row); at != std::string::npos; at = statuses.find(row, at + 1)) {
      const size_t name = at + row.size();
      const size_t hits = statuses.find("num hits\">", name);
      if (hits == std::string::npos) break;
      ours[statuses.substr(name, 3)] = atoll(statuses.c_str() + hits + 10);
    }
    EXPECT_EQ(theirs, ours) << statuses;
    EXPECT_EQ(std::to_string(theirs["404"]), Figure(page.out, "notfound"));
  }
}
