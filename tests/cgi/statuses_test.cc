// The status codes, the paths not found and the bytes sent, through the
// installed program on 8 March 1999: a generated combined log of IPv4 and
// IPv6 clients from 26 February to 7 March, whose every line the test
// counts itself as it writes it, against each statistic's day, month window
// and months; stored days answering without their day files, a changed day
// file counted again, and the pages that show them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";
const char kNow[] = "1999-03-08 12:00:00";
const int kDays[] = {19990226, 19990227, 19990228, 19990301, 19990302,
                     19990303, 19990304, 19990305, 19990306, 19990307};

void SetUpAnalysis(const CgiSite& site) {
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n URL=http://www.example.org\n lines=1000\nend\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  Write(site.Path("data/vazivev/bytes"), "object bytes : Bytes\nend\n");
  for (const char* kind : {"codes:StatusContainer", "notfound:NotFoundContainer"}) {
    const std::string name(kind, strchr(kind, ':'));
    mkdir(site.Path("data/vazivev/" + name).c_str(), 0755);
    Write(site.Path("data/vazivev/" + name + "/index"), "object " + name + " : " + (strchr(kind, ':') + 1) + "\nend\n");
  }
}

// What the test counted while writing the log.
struct Counts {
  std::map<int, std::map<std::string, int>> statuses, notfound;  // by day
  std::map<int, long long> bytes;                                // by day
  std::map<std::string, std::map<std::string, int>> referrers;   // of one day's 404 item
};

std::string Month(int day) {
  static const char* const kMonths[] = {"", "Jan", "Feb", "Mar"};
  return kMonths[day / 100 % 100];
}

// One day's log: statuses 200, 301, 304, 404 and 500 in turn, a line
// without a status, 404s linked from the site (also by https and with a
// port), from elsewhere and probes without a referrer, bytes of every size
// and "-"; the 5th of March sends more than 2^31 bytes.
std::string DayLog(int day, int salt, Counts* counts) {
  static const int kStatuses[] = {200, 301, 304, 404, 500};
  static const char* const kReferrers[] = {"http://www.example.org/index.html", "https://WWW.example.org:443/a?b=c",
                                           "https://other.example.net/links", "-", ""};
  static const char* const kMissing[] = {"/old.html", "/.env", "/wp-login.php", "/img/x.png", "/a=b"};
  std::string log;
  const int lines = 60 + day % 7 * 5 + salt;
  char date[32];
  snprintf(date, sizeof date, "%02d/%s/1999:%02d:00:00 +0000", day % 100, Month(day).c_str(), 10);
  for (int i = 0; i < lines; ++i) {
    const std::string host = i % 3 == 0 ? "2001:db8::" + std::to_string(i % 11) : "192.0.2." + std::to_string(i % 23);
    const int status = kStatuses[(i * 7 + day + salt) % 5];
    std::string path = "/p" + std::to_string(i % 9) + ".html";
    std::string referrer = "http://www.example.org/";
    if (status == 404) {
      // One line in five is a 404: the fifths pick the path and the referrer.
      const int fifth = i / 5;
      path = kMissing[(fifth + salt) % 5];
      referrer = path == "/.env" || path == "/wp-login.php" ? "-" : kReferrers[(fifth / 5 + fifth * 2) % 5];
    }
    long long bytes = (i * 7919 + salt) % 20000;
    std::string bytes_field = std::to_string(bytes);
    if (i % 10 == 4) {
      bytes = 0;
      bytes_field = "-";
    }
    if (day == 19990305 && i < 3) {
      bytes = 900000000LL + i;
      bytes_field = std::to_string(bytes);
    }
    log += host + " - - [" + date + "] \"GET " + path + (i % 4 == 0 ? "?q=1" : "") + " HTTP/1.1\" " +
           std::to_string(status) + " " + bytes_field + " \"" + referrer + "\" \"agent/1.0\"\n";
    ++counts->statuses[day][std::to_string(status)];
    counts->bytes[day] += bytes;
    if (status == 404) {
      const bool site = referrer.find("example.org") != std::string::npos;
      const std::string item = (site ? "(site) " : "") + path;
      ++counts->notfound[day][item];
      ++counts->referrers[std::to_string(day) + " " + item][referrer == "-" || referrer.empty() ? "(none)" : referrer];
    }
  }
  // No readable status; a line of another kind is no response at all.
  log += "192.0.2.9 - - [" + std::string(date) + "] \"GET / HTTP/1.1\" - 5\n";
  ++counts->statuses[day]["-"];
  counts->bytes[day] += 5;
  log += "garbage\n";
  return log;
}

std::string DayFile(int day) { return "logs/QL" + std::to_string(day % 1000000) + ".log"; }

std::string Page(const CgiSite& site, const std::string& name, const std::string& text) {
  site.WritePage(name, text);
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=" + name}}, "", kNow).out;
}

// A template listing "name count" rows of the ranking at `path`.
std::string Rows(const std::string& path) {
  return "'for each $h in $" + path + "\n$" + path + ".Current.Name $h\n'next\n";
}

// The rows of a page body as a map (their order is checked apart).
std::map<std::string, int> Parse(const std::string& body) {
  std::map<std::string, int> rows;
  std::stringstream in(body);
  for (std::string line; std::getline(in, line);) {
    const size_t blank = line.rfind(' ');
    rows[line.substr(0, blank)] = atoi(line.c_str() + blank + 1);
  }
  return rows;
}

std::string Body(const std::string& out) { return out.substr(out.find("\n\n") + 2); }

std::map<std::string, int> Sum(const std::map<int, std::map<std::string, int>>& days) {
  std::map<std::string, int> sum;
  for (const auto& day : days) {
    for (const auto& item : day.second) sum[item.first] += item.second;
  }
  return sum;
}

}  // namespace

TEST(StatusesPagesTest, DaysMonthAndEverythingAgreeWithTheLog) {
  CgiSite site;
  SetUpAnalysis(site);
  Counts counts;
  for (const int day : kDays) Write(site.Path(DayFile(day)), DayLog(day, 0, &counts));

  for (const int day : {19990228, 19990305}) {
    const std::string d = std::to_string(day);
    EXPECT_EQ(counts.statuses[day], Parse(Body(Page(site, "S", Rows("System.vazivev.codes." + d))))) << day;
    EXPECT_EQ(counts.notfound[day], Parse(Body(Page(site, "N", Rows("System.vazivev.notfound." + d))))) << day;
    EXPECT_EQ(std::to_string(counts.bytes[day]) + "\n", Body(Page(site, "B", "$System.vazivev.bytes." + d + "\n")));
  }
  EXPECT_GT(counts.bytes[19990305], 1LL << 31);
  // The month window ending on the 7th holds every day of the log.
  const std::string month = "'$System.vazivev.codes.Accumulate 19990307\n" + Rows("System.vazivev.codes");
  EXPECT_EQ(Sum(counts.statuses), Parse(Body(Page(site, "SM", month))));
  const std::string all = "'$System.vazivev.notfound.Accumulate\n" + Rows("System.vazivev.notfound");
  const std::string all_out = Page(site, "NA", all);
  EXPECT_EQ(Sum(counts.notfound), Parse(Body(all_out)));
  // Broken links of the site itself come first, each group largest first.
  std::stringstream rows(Body(all_out));
  bool in_site = true;
  int last = 1 << 30;
  for (std::string line; std::getline(rows, line);) {
    const bool site_row = line.compare(0, 7, "(site) ") == 0;
    EXPECT_FALSE(site_row && !in_site) << line;
    const int count = atoi(line.c_str() + line.rfind(' ') + 1);
    if (in_site && !site_row) last = 1 << 30;
    in_site = site_row;
    EXPECT_LE(count, last) << line;
    last = count;
  }
  // Months: February and March, exact past 2^31.
  long long february = 0, march = 0;
  for (const auto& day : counts.bytes) (day.first < 19990301 ? february : march) += day.second;
  EXPECT_EQ(std::to_string(march) + " " + std::to_string(february) + "\n",
            Body(Page(site, "BM", "$System.vazivev.bytes.Total.19990301 $System.vazivev.bytes.Total.19990201\n")));

  // The referrers of one day's 404 item, "(none)" for probes.
  site.WritePage("R", "'$System.vazivev.notfound.Squeeze 19990303 $text\n" + Rows("System.vazivev.notfound"));
  for (const char* item : {"%28site%29+%2Fold.html", "%2F.env", "%2Fold.html", "%2Fa%3Db"}) {
    const std::string out =
        site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", std::string("page=R&text=") + item}}, "", kNow).out;
    std::string name = item;
    for (const auto& code :
         std::map<std::string, std::string>{{"%28", "("}, {"%29", ")"}, {"+", " "}, {"%2F", "/"}, {"%3D", "="}}) {
      for (size_t at; (at = name.find(code.first)) != std::string::npos;)
        name.replace(at, code.first.size(), code.second);
    }
    EXPECT_FALSE(counts.referrers["19990303 " + name].empty()) << name;
    EXPECT_EQ(counts.referrers["19990303 " + name], Parse(Body(out))) << name;
  }

  // Stored: the same answers without the day files.
  const std::string stored = Rows("System.vazivev.codes.19990301") + Rows("System.vazivev.notfound.19990306") +
                             "$System.vazivev.bytes.19990305\n";
  const std::string before = Page(site, "St", stored);
  for (const int day : kDays) unlink(site.Path(DayFile(day)).c_str());
  EXPECT_EQ(before, Page(site, "St", stored));
  EXPECT_EQ(Sum(counts.statuses), Parse(Body(Page(site, "SM", month))));
}

TEST(StatusesPagesTest, AChangedDayFileIsCountedAgain) {
  CgiSite site;
  SetUpAnalysis(site);
  Counts first, second;
  Write(site.Path(DayFile(19990306)), DayLog(19990306, 0, &first));
  const std::string statuses = Rows("System.vazivev.codes.19990306");
  const std::string notfound = Rows("System.vazivev.notfound.19990306");
  const std::string bytes = "$System.vazivev.bytes.19990306\n";
  EXPECT_EQ(first.statuses[19990306], Parse(Body(Page(site, "S", statuses))));
  EXPECT_EQ(first.notfound[19990306], Parse(Body(Page(site, "N", notfound))));
  EXPECT_EQ(std::to_string(first.bytes[19990306]) + "\n", Body(Page(site, "B", bytes)));
  sleep(1);  // a new modification time as well as a new size
  Write(site.Path(DayFile(19990306)), DayLog(19990306, 3, &second));
  EXPECT_EQ(second.statuses[19990306], Parse(Body(Page(site, "S", statuses))));
  EXPECT_EQ(second.notfound[19990306], Parse(Body(Page(site, "N", notfound))));
  EXPECT_EQ(std::to_string(second.bytes[19990306]) + "\n", Body(Page(site, "B", bytes)));
  EXPECT_NE(first.bytes[19990306], second.bytes[19990306]);
}

TEST(StatusesPagesTest, ThePagesShowTheFiguresEscaped) {
  CgiSite site;
  SetUpAnalysis(site);
  Counts counts;
  std::string log = DayLog(19990305, 0, &counts);
  log +=
      "192.0.2.1 - - [05/Mar/1999:11:00:00 +0000] \"GET /<b>'x'</b> HTTP/1.1\" 404 9 "
      "\"http://www.example.org/<i>\" \"a\"\n";
  Write(site.Path(DayFile(19990305)), log);
  const auto get = [&](const std::string& query) {
    return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", kNow).out;
  };
  const std::string index = get("Date=19990305");
  EXPECT_NE(std::string::npos,
            index.find("id=\"notfound\">" + std::to_string(counts.statuses[19990305]["404"] + 1) + "</strong>"))
      << index;
  const long long bytes = counts.bytes[19990305] + 9;
  EXPECT_NE(std::string::npos, index.find("title=\"" + std::to_string(bytes) + " bytes\">2.7 GB</strong>")) << index;
  const std::string statuses = get("page=VaziVevStatuses&Date=19990305");
  EXPECT_NE(std::string::npos, statuses.find("<td class=\"name\">404</td><td class=\"num hits\">" +
                                             std::to_string(counts.statuses[19990305]["404"] + 1) + "</td>"))
      << statuses;
  const std::string notfound = get("page=VaziVevNotFound&Date=19990305&scope=month");
  EXPECT_NE(std::string::npos, notfound.find("(site) /&lt;b&gt;&#39;x&#39;&lt;/b&gt;")) << notfound;
  EXPECT_EQ(std::string::npos, notfound.find("<b>'x'")) << notfound;
  const std::string referrers =
      get("page=VaziVevNotFoundReferrers&Date=19990305&text=%28site%29+%2F%3Cb%3E%27x%27%3C%2Fb%3E");
  EXPECT_NE(std::string::npos, referrers.find("http://www.example.org/&lt;i&gt;</td><td class=\"num hits\">1<"))
      << referrers;
  const std::string sent = get("page=VaziVevBytes&Date=19990305");
  EXPECT_NE(std::string::npos, sent.find("<span id=\"exact\">" + std::to_string(bytes) + "</span>")) << sent;
  EXPECT_NE(std::string::npos, sent.find("<td>1999/3</td><td class=\"num\">2.7 GB</td>")) << sent;
}

TEST(StatusesPagesTest, UpdateCountsTheThreeStatisticsForEveryDay) {
  CgiSite site;
  SetUpAnalysis(site);
  Counts counts;
  for (const int day : kDays) Write(site.Path(DayFile(day)), DayLog(day, 0, &counts));
  const std::string out = site.Root() + ".update";
  const int raw =
      system(("cd '" + site.Root() + "' && " + FakeTimeCommand(kNow) + "./vazivev-update >'" + out + "' 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << Slurp(out);
  EXPECT_NE(std::string::npos, Slurp(out).find("statistics 4, day statistics counted 40")) << Slurp(out);
  remove(out.c_str());
  for (const int day : kDays) {
    EXPECT_TRUE(Exists(site.Path("data/vazivev/codes/" + std::to_string(day)))) << day;
    EXPECT_TRUE(Exists(site.Path("data/vazivev/notfound/" + std::to_string(day)))) << day;
    unlink(site.Path(DayFile(day)).c_str());
  }
  EXPECT_EQ(std::to_string(counts.bytes[19990305]) + "\n", Body(Page(site, "B", "$System.vazivev.bytes.19990305\n")));
  EXPECT_EQ(counts.notfound[19990227], Parse(Body(Page(site, "N", Rows("System.vazivev.notfound.19990227")))));
}
