// Periods through the installed program on 15 March 1999: the period a
// request names (days, ISO weeks, months, years, presets, ranges, the older
// day and scope addresses, and what is no period), and every kind of
// statistic summed over a range and over the days just before it, against
// sums the test makes of a generated log of 40 days.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kNow[] = "1999-03-15 12:00:00";

std::string Body(const std::string& out) { return out.substr(out.find("\n\n") + 2); }

std::string Ask(const CgiSite& site, const std::string& page, const std::string& query) {
  site.WritePage("P", page);
  return Body(site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=P&" + query}}, "", kNow).out);
}

// What the test counted of each day.
struct Day {
  int pages = 0;
  int all = 0;
  long long bytes = 0;
  std::set<std::string> visitors;
  std::map<std::string, int> paths;
  std::map<std::string, int> statuses;
  int hour9 = 0;
  std::map<std::string, int> from_h1;  // the paths h1.example.jp requested
};

std::map<int, Day> WriteLog(const CgiSite& site) {
  std::map<int, Day> days;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n lines=1000\n Unit=3\nend\n");
  for (const char* one : {"hit : Hit", "all : AllHit", "visitors : Visitors", "bytes : Bytes"}) {
    Write(site.Path("data/vazivev/" + std::string(one, strchr(one, ' '))), "object " + std::string(one) + "\nend\n");
  }
  for (const char* kind : {"pages : PagesContainer", "codes : StatusContainer", "times : TimesContainer"}) {
    const std::string name(kind, strchr(kind, ' '));
    mkdir(site.Path("data/vazivev/" + name).c_str(), 0755);
    Write(site.Path("data/vazivev/" + name + "/index"), "object " + std::string(kind) + "\nend\n");
  }
  // 1 February to 12 March 1999, every third day without a line.
  for (int n = 0; n < 40; ++n) {
    const int month = n < 28 ? 2 : 3;
    const int mday = n < 28 ? n + 1 : n - 27;
    if (n % 3 == 2) continue;
    const int number = 19990000 + month * 100 + mday;
    Day& d = days[number];
    std::string log;
    char date[40];
    for (int i = 0; i < 20 + n % 7 * 3; ++i) {
      const std::string host = "h" + std::to_string((i + n) % 6) + ".example.jp";
      const std::string path = i % 5 == 4 ? "/logo.gif" : "/p" + std::to_string((i * n) % 4) + ".html";
      const int status = i % 6 == 5 ? 404 : 200;
      const long long bytes = (i * 37 + n) % 900;
      const int hour = 8 + i % 3;
      snprintf(date, sizeof date, "%02d/%s/1999:%02d:10:00 +0000", mday, month == 2 ? "Feb" : "Mar", hour);
      log += host + " - - [" + date + "] \"GET " + path + " HTTP/1.0\" " + std::to_string(status) + " " +
             std::to_string(bytes) + "\n";
      ++d.all;
      d.bytes += bytes;
      d.visitors.insert(host);
      ++d.statuses[std::to_string(status)];
      if (path != "/logo.gif") {
        ++d.pages;
        ++d.paths[path];
        if (hour == 9) ++d.hour9;
        if (host == "h1.example.jp") ++d.from_h1[path];
      }
    }
    Write(site.Path("logs/QL" + std::to_string(number % 1000000) + ".log"), log);
  }
  return days;
}

// The sums the test expects over the days from first to last.
Day Sum(const std::map<int, Day>& days, int first, int last) {
  Day sum;
  for (const auto& day : days) {
    if (day.first < first || day.first > last) continue;
    const Day& d = day.second;
    sum.pages += d.pages;
    sum.all += d.all;
    sum.bytes += d.bytes;
    sum.hour9 += d.hour9;
    sum.visitors.insert(d.visitors.begin(), d.visitors.end());
    for (const auto& p : d.paths) sum.paths[p.first] += p.second;
    for (const auto& s : d.statuses) sum.statuses[s.first] += s.second;
    for (const auto& s : d.from_h1) sum.from_h1[s.first] += s.second;
  }
  return sum;
}

// A page that prints the figures of the request's period and of the days
// before it, one "name value" line each.
const char kFigures[] =
    "'set p = System.Period\n"
    "'$System.vazivev.hit.Range $p.PrevFrom $p.PrevTo\n"
    "'$System.vazivev.visitors.Range $p.PrevFrom $p.PrevTo\n"
    "pages-before $System.vazivev.hit.Sum\nvisitors-before $System.vazivev.visitors.Sum\n"
    "'$System.vazivev.hit.Range $p.From $p.To\n'$System.vazivev.all.Range $p.From $p.To\n"
    "'$System.vazivev.visitors.Range $p.From $p.To\n'$System.vazivev.bytes.Range $p.From $p.To\n"
    "'$System.vazivev.times.Range $p.From $p.To\n'$System.vazivev.codes.Range $p.From $p.To\n"
    "pages $System.vazivev.hit.Sum\nall $System.vazivev.all.Sum\nvisitors $System.vazivev.visitors.Sum\n"
    "bytes $System.vazivev.bytes.Sum\nhour9 $System.vazivev.times.Hours.9\nnotfound $System.vazivev.codes.404\n"
    "'$System.vazivev.pages.Range $p.From $p.To\n'$System.vazivev.pages.Previous $p.PrevFrom $p.PrevTo\n"
    "'for each $h in $System.vazivev.pages\n"
    "path $System.vazivev.pages.Current.Name $h $System.vazivev.pages.Current.Before\n'next\n"
    "'$System.vazivev.pages.Squeeze $p.From $p.To h1.example.jp\n"
    "'for each $h in $System.vazivev.pages\ncross $System.vazivev.pages.Current.Name $h\n'next\n";

std::string Expected(const std::map<int, Day>& days, int first, int last, int prev_first, int prev_last) {
  Day now = Sum(days, first, last);
  Day before = Sum(days, prev_first, prev_last);
  std::ostringstream out;
  out << "pages-before " << before.pages << "\nvisitors-before " << before.visitors.size() << "\npages " << now.pages
      << "\nall " << now.all << "\nvisitors " << now.visitors.size() << "\nbytes " << now.bytes << "\nhour9 "
      << now.hour9 << "\nnotfound " << now.statuses["404"] << "\n";
  for (const auto& p : now.paths) out << "path " << p.first << " " << p.second << " " << before.paths[p.first] << "\n";
  for (const auto& p : now.from_h1) out << "cross " << p.first << " " << p.second << "\n";
  return out.str();
}

// The lines of a page sorted, rows of equal counts may list in any order.
std::string Sorted(const std::string& text) {
  std::string sorted;
  for (const std::string& line : SortedLines(text)) sorted += line + "\n";
  return sorted;
}

}  // namespace

TEST(PeriodTest, TheRequestNamesItsPeriod) {
  CgiSite site;
  const std::string page =
      "$System.Period.From $System.Period.To $System.Period.Days $System.Period.Kind [$System.Period.Label] "
      "$System.Period.PrevFrom $System.Period.PrevTo [$System.Period.BackQuery] [$System.Period.NextQuery] "
      "[$System.Period.Valid]\n";
  const struct {
    const char* query;
    const char* answer;
  } kCases[] = {
      {"", "19990314 19990314 1 day [Sun 14 Mar 1999] 19990313 19990313 [period=1999-03-13] [] [1]"},
      {"Date=19990301", "19990301 19990301 1 day [Mon 1 Mar 1999] 19990228 19990228 [period=1999-02-28] "
                        "[period=1999-03-02] [1]"},
      {"period=1999-03-01", "19990301 19990301 1 day [Mon 1 Mar 1999] 19990228 19990228 [period=1999-02-28] "
                            "[period=1999-03-02] [1]"},
      {"period=1999-02", "19990201 19990228 28 month [February 1999] 19990104 19990131 [period=1999-01] "
                         "[period=1999-03] [1]"},
      {"period=1999-W01", "19990104 19990110 7 week [Week 1 of 1999: 4 Jan 1999 to 10 Jan 1999] 19981228 19990103 "
                          "[period=1998-W53] [period=1999-W02] [1]"},
      {"period=1998-W53", "19981228 19990103 7 week [Week 53 of 1998: 28 Dec 1998 to 3 Jan 1999] 19981221 19981227 "
                          "[period=1998-W52] [period=1999-W01] [1]"},
      {"period=1998", "19980101 19981231 365 year [1998] 19970101 19971231 [period=1997] [period=1999] [1]"},
      // The year so far ends yesterday, and nothing leads past it.
      {"period=1999", "19990101 19990314 73 year [1 Jan 1999 to 14 Mar 1999] 19981020 19981231 [period=1998] [] [1]"},
      {"period=last7", "19990308 19990314 7 range [8 Mar 1999 to 14 Mar 1999] 19990301 19990307 "
                       "[from=1999-03-01&to=1999-03-07] [] [1]"},
      {"period=lastmonth", "19990201 19990228 28 month [February 1999] 19990104 19990131 [period=1999-01] "
                           "[period=1999-03] [1]"},
      {"from=1999-02-10&to=19990219", "19990210 19990219 10 range [10 Feb 1999 to 19 Feb 1999] 19990131 19990209 "
                                      "[from=1999-01-31&to=1999-02-09] [from=1999-02-20&to=1999-03-01] [1]"},
      {"Date=19990310&scope=month", "19990211 19990310 28 range [11 Feb 1999 to 10 Mar 1999] 19990114 19990210 "
                                    "[from=1999-01-14&to=1999-02-10] [from=1999-03-11&to=1999-04-07] [1]"},
      // What is no period falls back to yesterday, not valid.
      {"period=1999-13", "19990314 19990314 1 day [Sun 14 Mar 1999] 19990313 19990313 [period=1999-03-13] [] []"},
      {"period=1999-W54", "19990314 19990314 1 day [Sun 14 Mar 1999] 19990313 19990313 [period=1999-03-13] [] []"},
      {"from=1999-02-10&to=1999-02-01", "19990314 19990314 1 day [Sun 14 Mar 1999] 19990313 19990313 "
                                        "[period=1999-03-13] [] []"},
      {"period=1999-04", "19990314 19990314 1 day [Sun 14 Mar 1999] 19990313 19990313 [period=1999-03-13] [] []"},
      {"period=abc", "19990314 19990314 1 day [Sun 14 Mar 1999] 19990313 19990313 [period=1999-03-13] [] []"},
  };
  for (const auto& c : kCases) EXPECT_EQ(std::string(c.answer) + "\n", Ask(site, page, c.query)) << c.query;
  EXPECT_EQ("+50% -25% new 0% \n", Ask(site, "'$a = $System.Period.Change 15 10\n'$b = $System.Period.Change 3 4\n"
                                             "'$c = $System.Period.Change 5 0\n'$d = $System.Period.Change 7 7\n"
                                             "'$e = $System.Period.Change 0 0\n$a $b $c $d $e\n",
                                        ""));
}

TEST(PeriodTest, EveryStatisticSumsARangeAndTheDaysBeforeIt) {
  CgiSite site;
  const std::map<int, Day> days = WriteLog(site);
  // A range across a month's end, a week, a whole month, and the old
  // month window: each with as many days before it.
  EXPECT_EQ(Sorted(Expected(days, 19990210, 19990305, 19990118, 19990209)),
            Sorted(Ask(site, kFigures, "from=1999-02-10&to=1999-03-05")));
  EXPECT_EQ(Sorted(Expected(days, 19990222, 19990228, 19990215, 19990221)),
            Sorted(Ask(site, kFigures, "period=1999-W08")));
  EXPECT_EQ(Sorted(Expected(days, 19990201, 19990228, 19990104, 19990131)),
            Sorted(Ask(site, kFigures, "period=1999-02")));
  // The same again, from what the first views stored.
  EXPECT_EQ(Sorted(Expected(days, 19990201, 19990228, 19990104, 19990131)),
            Sorted(Ask(site, kFigures, "period=1999-02")));
  // A late line in a day of the month reaches every sum kept of it.
  std::map<int, Day> later = days;
  Write(site.Path("logs/QL990205.log"),
        Slurp(site.Path("logs/QL990205.log")) +
            "h1.example.jp - - [05/Feb/1999:09:10:00 +0000] \"GET /p1.html HTTP/1.0\" 200 100\n");
  Day& d = later[19990205];
  ++d.pages, ++d.all, d.bytes += 100, ++d.statuses["200"], ++d.paths["/p1.html"], ++d.hour9, ++d.from_h1["/p1.html"];
  EXPECT_EQ(Sorted(Expected(later, 19990201, 19990228, 19990104, 19990131)),
            Sorted(Ask(site, kFigures, "period=1999-02")));
  // Visitors over a range are distinct ones, not a sum of days.
  const Day february = Sum(days, 19990201, 19990228);
  size_t day_sum = 0;
  for (const auto& d : days) {
    if (d.first <= 19990228) day_sum += d.second.visitors.size();
  }
  EXPECT_LT(february.visitors.size(), day_sum);
}

TEST(PeriodTest, TheShippedPagesShowThePeriodAndTheOneBefore) {
  CgiSite site;
  const std::map<int, Day> days = WriteLog(site);
  const Day now = Sum(days, 19990201, 19990228);
  const Day before = Sum(days, 19990104, 19990131);
  const std::string dashboard = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "period=1999-02"}}, "", kNow).out;
  EXPECT_EQ(std::to_string(now.pages), Figure(dashboard, "hits"));
  EXPECT_EQ(std::to_string(before.pages), Figure(dashboard, "hits-before"));
  EXPECT_EQ(std::to_string(now.visitors.size()), Figure(dashboard, "visitors"));
  EXPECT_EQ(std::to_string(now.all), Figure(dashboard, "allhits"));
  const std::string pages =
      site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevPages&period=1999-03"}}, "", kNow).out;
  EXPECT_NE(std::string::npos, pages.find("<strong id=\"selected\">1 Mar 1999 to 14 Mar 1999</strong>")) << pages;
  EXPECT_NE(std::string::npos, pages.find("value=\"1999-03-01\"")) << pages;
  EXPECT_NE(std::string::npos, pages.find("(15 Feb 1999 to 28 Feb 1999)")) << pages;
  const Day march = Sum(days, 19990301, 19990314);
  const Day march_before = Sum(days, 19990215, 19990228);
  const std::string p1 = "/p1.html";
  const std::string row = ">" + p1 + "</a></td><td class=\"num hits\">" + std::to_string(march.paths.at(p1)) +
                          "</td><td class=\"num change\" title=\"" + std::to_string(march_before.paths.at(p1)) +
                          " before\">";
  EXPECT_NE(std::string::npos, pages.find(row)) << pages;
}

TEST(PeriodTest, ExportsGiveThePagesFiguresAsCsvAndJson) {
  CgiSite site;
  const std::map<int, Day> days = WriteLog(site);
  const auto get = [&](const std::string& query) {
    return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevExport&" + query}}, "", kNow).out;
  };
  Day feb = Sum(days, 19990210, 19990305);
  const std::string range = "from=19990210&to=19990305";

  // A day series: a row for each day with data, and its sum.
  const std::string csv = get("report=hit&format=csv&" + range);
  EXPECT_EQ(0u, csv.find("Content-type: text/csv; charset=utf-8\n\ndate,value\n")) << csv;
  std::string rows;
  for (const auto& d : days) {
    if (d.first < 19990210 || d.first > 19990305) continue;
    char iso[16];
    snprintf(iso, sizeof iso, "%04d-%02d-%02d", d.first / 10000, d.first / 100 % 100, d.first % 100);
    rows += std::string(iso) + "," + std::to_string(d.second.pages) + "\n";
  }
  EXPECT_EQ("date,value\n" + rows, Body(csv));
  const std::string visitors = Body(get("report=visitors&format=json&" + range));
  EXPECT_NE(std::string::npos, visitors.find("\"kind\":\"days\",\"audience\":\"all\",\"from\":\"1999-02-10\",\"to\":"
                                             "\"1999-03-05\",\"total\":" +
                                             std::to_string(feb.visitors.size()) + ",\"days\":[{\"date\":"))
      << visitors;

  // A ranking: every row, whatever the row limit, largest first, bytes
  // where the ranking keeps them; names quoted as CSV needs.
  std::multimap<int, std::string, std::greater<int>> ranked;
  for (const auto& p : feb.paths) ranked.emplace(p.second, p.first);
  const std::string pages = Body(get("report=pages&format=csv&" + range));
  std::stringstream in(pages);
  std::string line;
  std::getline(in, line);
  EXPECT_EQ("rank,name,requests,bytes", line);
  std::map<std::string, int> listed;
  int previous = 1 << 30;
  for (int rank = 1; std::getline(in, line); ++rank) {
    std::stringstream fields(line);
    std::string r, name, requests;
    std::getline(fields, r, ',');
    std::getline(fields, name, ',');
    std::getline(fields, requests, ',');
    EXPECT_EQ(std::to_string(rank), r);
    EXPECT_LE(atoi(requests.c_str()), previous);
    previous = atoi(requests.c_str());
    listed[name] = atoi(requests.c_str());
  }
  EXPECT_EQ(feb.paths, listed);
  const std::string json = Body(get("report=pages&format=json&" + range));
  EXPECT_EQ(0u, json.find("{\"report\":\"pages\",\"kind\":\"ranking\",\"audience\":\"all\",\"from\":\"1999-02-10\"")) << json;
  EXPECT_NE(std::string::npos, json.find("{\"rank\":1,\"name\":\"" + ranked.begin()->second + "\",\"requests\":" +
                                         std::to_string(ranked.begin()->first) + ",\"bytes\":"))
      << json;
  // Hours.
  const std::string hours = Body(get("report=times&format=csv&" + range));
  EXPECT_NE(std::string::npos, hours.find("\n9," + std::to_string(feb.hour9) + "\n")) << hours;

  // What cannot be exported says so, with a fitting status.
  EXPECT_EQ(0u, get("report=nothing&format=csv&" + range).find("Status: 404")) << get("report=nothing");
  EXPECT_EQ(0u, get("report=hit-humans&format=csv&" + range).find("Status: 404"));
  EXPECT_EQ(0u, get("report=hit&format=csv&from=19990230&to=19990305").find("Status: 400"));
}

// Today so far: the lines of today waiting in the carry-over file, counted
// from a snapshot; the next day counts the day again from its day file.
TEST(PeriodTest, TodaySoFarAndThenTheWholeDay) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n Loging=Unique\n LogFile=" + site.Path("access.log") +
                                             "\n lines=100\nend\n");
  for (const char* one : {"hit : Hit", "all : AllHit", "visitors : Visitors", "root : RootHit"}) {
    Write(site.Path("data/vazivev/" + std::string(one, strchr(one, ' '))), "object " + std::string(one) + "\nend\n");
  }
  mkdir(site.Path("data/vazivev/pages").c_str(), 0755);
  Write(site.Path("data/vazivev/pages/index"), "object pages : PagesContainer\nend\n");
  const auto lines = [](int day, int from, int count) {
    std::string log;
    for (int i = from; i < from + count; ++i) {
      log += "192.0.2." + std::to_string(i % 9) + " - - [" + std::to_string(day) + "/Mar/1999:0" +
             std::to_string(i % 10) + ":00:00 +0000] \"GET /t" + std::to_string(i % 3) + ".html HTTP/1.0\" 200 5\n";
    }
    return log;
  };
  Write(site.Path("access.log"), lines(14, 0, 7) + lines(15, 0, 11));
  const auto get = [&](const std::string& query, const char* now) {
    return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", now).out;
  };
  const std::string today = get("period=today", kNow);
  EXPECT_EQ("11", Figure(today, "hits")) << today;
  EXPECT_NE(std::string::npos, today.find("Today so far: the requests up to")) << today;
  const std::string pages = get("page=VaziVevPages&period=today", kNow);
  EXPECT_NE(std::string::npos, pages.find(">/t0.html</a></td><td class=\"num hits\">4<")) << pages;
  EXPECT_EQ("7", Figure(get("period=yesterday", kNow), "hits"));

  // More lines of the day come; the next day has them all.
  std::string log = Slurp(site.Path("access.log"));
  Write(site.Path("access.log"), log + lines(15, 11, 6));
  const char kTomorrow[] = "1999-03-16 12:00:00";
  EXPECT_EQ("17", Figure(get("period=1999-03-15", kTomorrow), "hits"));
  const std::string whole = get("page=VaziVevPages&period=1999-03-15", kTomorrow);
  EXPECT_NE(std::string::npos, whole.find(">/t0.html</a></td><td class=\"num hits\">6<")) << whole;
  EXPECT_FALSE(Exists(site.Path("logs/today-19990315.log")));
}

// A day whose day file is gone keeps its figures in every range: rankings
// and hours alike.
TEST(PeriodTest, StoredDaysWithoutTheirFilesStayInRanges) {
  CgiSite site;
  const std::map<int, Day> days = WriteLog(site);
  const std::string query = "from=1999-02-01&to=1999-02-28";
  const std::string before = Ask(site, kFigures, query);
  unlink(site.Path("logs/QL990210.log").c_str());
  unlink(site.Path("logs/QL990211.log").c_str());
  // Cross-tabulations are counted from the day files, the rest is kept.
  const auto kept = [](const std::string& text) {
    std::string lines;
    for (const std::string& line : SortedLines(text)) {
      if (line.rfind("cross ", 0) != 0) lines += line + "\n";
    }
    return lines;
  };
  EXPECT_EQ(kept(before), kept(Ask(site, kFigures, query)));
  EXPECT_EQ(Sorted(Expected(days, 19990201, 19990228, 19990104, 19990131)), Sorted(before));
}

// A month's distinct visitors are kept with the stamps of its days: a new
// visitor in a late line of one day reaches the months table.
TEST(PeriodTest, TheMonthsVisitorsFollowALateLine) {
  CgiSite site;
  const std::map<int, Day> days = WriteLog(site);
  const char kMonths[] = "feb $System.vazivev.visitors.Total.19990201\n";
  const std::string before = Ask(site, kMonths, "period=1999-02");
  EXPECT_EQ("feb " + std::to_string(Sum(days, 19990201, 19990228).visitors.size()) + "\n", before);
  EXPECT_EQ(before, Ask(site, kMonths, "period=1999-02"));
  Write(site.Path("logs/QL990205.log"),
        Slurp(site.Path("logs/QL990205.log")) +
            "h9.example.jp - - [05/Feb/1999:09:10:00 +0000] \"GET /p1.html HTTP/1.0\" 200 1\n");
  EXPECT_EQ("feb " + std::to_string(Sum(days, 19990201, 19990228).visitors.size() + 1) + "\n",
            Ask(site, kMonths, "period=1999-02"));
}
