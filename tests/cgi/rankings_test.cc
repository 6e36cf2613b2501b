// The domain and page rankings through the installed program, on 8 March
// 1999: days counted from a generated log agree with a count made while the
// log was written, stored days answer without their day files, the month
// and all-time sums, the row limit and the filter, and names taken from the
// log reach the page escaped.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";

// An analysis with the two ranking containers and the given settings.
void SetUpRankings(const CgiSite& site, const std::string& settings) {
  for (const char* dir : {"data/vazivev", "data/vazivev/domains", "data/vazivev/pages"}) {
    mkdir(site.Path(dir).c_str(), 0755);
  }
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n" + settings + "end\n");
  Write(site.Path("data/vazivev/domains/index"), "object domains : DomainsContainer\nend\n");
  Write(site.Path("data/vazivev/pages/index"), "object pages : PagesContainer\nend\n");
}

std::string Page(const CgiSite& site, const std::string& name, const std::string& text) {
  site.WritePage(name, text);
  return site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=" + name}}, "", "1999-03-08 12:00:00").out;
}

// A page listing "name hit rate" rows of the object at `path`.
std::string Rows(const std::string& path) {
  return "'for each $h in $" + path + "\n$" + path + ".Current.Name $h $" + path + ".Current.Rate\n'next\n";
}

// The domain of a host as the analysis defines it, worked out on labels:
// a numeric address whole; under a top-level label of four letters whole,
// of three letters its last unit - 1 labels, else its last unit labels.
std::string DomainOf(const std::string& host, int unit) {
  if (isdigit(static_cast<unsigned char>(host.back()))) return host;
  std::vector<std::string> labels;
  std::stringstream in(host);
  for (std::string label; std::getline(in, label, '.');) labels.push_back(label);
  const size_t top = labels.back().size();
  const size_t keep = top == 4 ? labels.size() : top == 3 ? unit - 1 : unit;
  std::string domain;
  for (size_t i = labels.size() - std::min(keep, labels.size()); i < labels.size(); ++i) {
    domain += (domain.empty() ? "" : ".") + labels[i];
  }
  return domain;
}

// The rows a ranking of these counts lists, largest first. Rows of equal
// counts are compared as sets: their order is the table's own.
std::string Expected(const std::map<std::string, int>& counts) {
  std::vector<std::pair<int, std::string>> rows;
  for (const auto& c : counts) rows.push_back({-c.second, c.first});
  std::sort(rows.begin(), rows.end());
  std::string out;
  for (const auto& r : rows) {
    out += r.second + " " + std::to_string(-r.first) + " " + std::to_string(-r.first * 100 / -rows[0].first) + "\n";
  }
  return out;
}
std::string TiesSorted(const std::string& page) {
  std::vector<std::pair<int, std::string>> rows;
  std::stringstream in(page.substr(page.find("\n\n") + 2));
  for (std::string line; std::getline(in, line);) rows.push_back({-atoi(line.c_str() + line.find(' ') + 1), line});
  std::stable_sort(rows.begin(), rows.end());  // by count only, so ties stay together
  std::sort(rows.begin(), rows.end());
  std::string out;
  for (const auto& r : rows) out += r.second + "\n";
  return out;
}

}  // namespace

TEST(RankingsPagesTest, DaysMonthAndAllTimeAgreeWithAnIndependentCount) {
  const char* const kHosts[] = {"www.a%d.example.com",  "10.0.%d.7",   "h%d.b.example.co.jp", "x.y%d.net",
                                "n%d.dsl.in-addr.arpa", "p%d.q.or.jp", "m.a.example.com",     "z%d.uni.ac.uk"};
  for (const int unit : {3, 4}) {
    CgiSite site;
    SetUpRankings(site, " Unit=" + std::to_string(unit) + "\n lines=10000\n");
    std::map<int, std::map<std::string, int>> domains, pages;
    std::map<std::string, int> month_domains, month_pages;
    for (int day = 5; day <= 7; ++day) {
      std::string log;
      for (int i = 0; i < 700; ++i) {
        char host[64];
        snprintf(host, sizeof host, kHosts[(i * 7 + day) % 8], (i * 13) % (20 + day));
        const bool image = i % 6 == 5;
        const std::string path = image ? "/i/p.GIF" : "/d/p" + std::to_string(i * i % 37) + ".html";
        log += std::string(host) + " - - [0" + std::to_string(day) + "/Mar/1999:10:00:00 +0000] \"GET " + path +
               (i % 5 == 0 ? "?q=1" : "") + " HTTP/1.0\" 200 1\n";
        if (image) continue;
        ++domains[day][DomainOf(host, unit)];
        ++month_domains[DomainOf(host, unit)];
        ++pages[day][path];
        ++month_pages[path];
      }
      Write(site.Path("logs/QL99030" + std::to_string(day) + ".log"), log);
    }
    const std::string day_page = Rows("System.vazivev.domains.19990305") + Rows("System.vazivev.pages.19990307");
    const std::string day = Page(site, "Day", day_page);
    EXPECT_EQ(TiesSorted(kHtml + Expected(domains[5]) + Expected(pages[7])), TiesSorted(day)) << unit;
    // The month counts the days not stored yet; the sum since the first
    // day (5 March, the first day file found) sums the stored days.
    const std::string month_page = "'$System.vazivev.domains.Accumulate 19990331\n" + Rows("System.vazivev.domains") +
                                   "'$System.vazivev.pages.Accumulate 19990310\n'$System.vazivev.pages.Accumulate\n" +
                                   Rows("System.vazivev.pages") + "$System.vazivev.pages.SetDate\n";
    const std::string month = Page(site, "Month", month_page);
    EXPECT_EQ(TiesSorted(kHtml + Expected(month_domains) + Expected(month_pages)) + "19990305\n",
              TiesSorted(month.substr(0, month.rfind("1999"))) + "19990305\n")
        << unit;
    EXPECT_EQ("19990305\n", month.substr(month.rfind("1999")));
    // Stored: the same answers without the day files.
    for (int d = 5; d <= 7; ++d) unlink(site.Path("logs/QL99030" + std::to_string(d) + ".log").c_str());
    EXPECT_EQ(day, Page(site, "Day", day_page)) << unit;
    EXPECT_EQ(month, Page(site, "Month", month_page)) << unit;
  }
}

TEST(RankingsPagesTest, RowLimitAndTextFilter) {
  CgiSite site;
  SetUpRankings(site, " lines=2\n");
  std::string log;
  const char* const kHosts[] = {"a.example.com", "a.example.com", "a.example.com", "a.b.c.jp",
                                "a.b.c.jp",      "x.b.c.jp",      "p.ne.jp",       "10.0.0.1"};
  for (const char* host : kHosts)
    log += std::string(host) + " - - [05/Mar/1999:10:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n";
  Write(site.Path("logs/QL990305.log"), log);
  EXPECT_EQ(std::string(kHtml) + "example.com 3 100\nb.c.jp 3 100\n4\n",
            Page(site, "Limit", Rows("System.vazivev.domains.19990305") + "$System.vazivev.domains.19990305.Count\n"));
  // The leader of a filtered walk is the first row that passes it.
  EXPECT_EQ(std::string(kHtml) + "b.c.jp 3 100\np.ne.jp 1 33\n[\n]\n",
            Page(site, "Filter",
                 "'$System.vazivev.domains.19990305.Text = jp\n" + Rows("System.vazivev.domains.19990305") +
                     "'$System.vazivev.domains.19990305.Text = JP\n" + "[\n" + Rows("System.vazivev.domains.19990305") +
                     "]\n"));
}

// Anyone chooses the paths (and a host may be named anything): a page
// that writes them must never pass their markup or quotes through.
TEST(RankingsPagesTest, NamesFromTheLogAreEscaped) {
  CgiSite site;
  SetUpRankings(site, " lines=10\n");
  Write(site.Path("logs/QL990305.log"),
        "<b>'h'</b>.jp - - [05/Mar/1999:10:00:00 +0000] \"GET /<script>alert('x')</script> HTTP/1.0\" 200 1\n");
  Write(site.Path("logs/QL990306.log"), "h.jp, 99/03/06, 10:00:00, /\"><img src=x onerror='y'>, 200\n");
  const std::string out =
      Page(site, "Names",
           "'for each $h in $System.vazivev.pages.19990305\n"
           "<a title='$System.vazivev.pages.19990305.Current.Name'>\n'next\n"
           "'for each $h in $System.vazivev.pages.19990306\n"
           "<a title=\"$System.vazivev.pages.19990306.Current.Name\">\n'next\n"
           "'for each $h in $System.vazivev.domains.19990305\n"
           "<a title='$System.vazivev.domains.Current.Name'>$System.vazivev.domains.19990305.Current.Name\n'next\n");
  EXPECT_EQ(std::string(kHtml) + "<a title='/&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;'>\n" +
                "<a title=\"/&quot;&gt;&lt;img src=x onerror=&#39;y&#39;&gt;\">\n" +
                "<a title=''>&lt;b&gt;&#39;h&#39;&lt;/b&gt;.jp\n",
            out);
}

// The bytes each page and domain was sent, per day and summed over the
// month, with "-" as 0 and sums past 2^31; stored days read them back, and
// a day kept before bytes were (no bytes after its counts) is counted again.
TEST(RankingsPagesTest, BytesOfEachPageAndDomain) {
  CgiSite site;
  SetUpRankings(site, " lines=100\n");
  std::map<std::string, long long> page_bytes, domain_bytes;
  for (const int day : {5, 6}) {
    std::string log;
    for (int i = 0; i < 40; ++i) {
      const std::string host = "h" + std::to_string(i % 3) + ".example.jp";
      const std::string path = "/p" + std::to_string(i % 4) + ".html";
      const long long bytes = i % 5 == 0 ? 0 : (i == 7 ? 1500000000LL : i * 1000 + day);
      log += host + " - - [0" + std::to_string(day) + "/Mar/1999:10:00:00 +0000] \"GET " + path + " HTTP/1.0\" 200 " +
             (bytes == 0 ? "-" : std::to_string(bytes)) + "\n";
      page_bytes[path] += bytes;
      domain_bytes[DomainOf(host, 3)] += bytes;
    }
    Write(site.Path("logs/QL99030" + std::to_string(day) + ".log"), log);
  }
  const auto rows = [&](const std::string& kind, const std::string& scope) {
    const std::string list = "System.vazivev." + kind + scope;
    const std::string text = Page(site, "B" + kind, (scope.empty() ? "'$System.vazivev." + kind + ".Accumulate 19990307\n" : "") +
                                                       "'for each $h in $" + list + "\n$" + list + ".Current.Name $" + list +
                                                       ".Current.Bytes\n'next\n");
    std::map<std::string, long long> got;
    std::stringstream in(text.substr(text.find("\n\n") + 2));
    for (std::string name; in >> name;) in >> got[name];
    return got;
  };
  EXPECT_EQ(page_bytes, rows("pages", ""));
  EXPECT_EQ(domain_bytes, rows("domains", ""));
  EXPECT_GT(page_bytes["/p3.html"], 1LL << 31);
  // The day alone, counted, then read back from its stored ranking.
  std::map<std::string, long long> day_bytes;
  for (int i = 0; i < 40; ++i) day_bytes["/p" + std::to_string(i % 4) + ".html"] += i % 5 == 0 ? 0 : (i == 7 ? 1500000000LL : i * 1000 + 6);
  EXPECT_EQ(day_bytes, rows("pages", ".19990306"));
  EXPECT_EQ(day_bytes, rows("pages", ".19990306"));
  // A ranking stored without its bytes and stamp is counted again.
  Write(site.Path("data/vazivev/pages/19990306"), "object 19990306 : Pages\n /p0.html=10\nend\n");
  EXPECT_EQ(day_bytes, rows("pages", ".19990306"));
  // The shipped page shows them readable, the exact figure in its title.
  const std::string shown = site.Get("page=VaziVevPages&Date=19990306").out;
  EXPECT_NE(std::string::npos, shown.find("title=\"" + std::to_string(day_bytes["/p3.html"]) + " bytes\">1.5 GB<")) << shown;
}

// With ShortAddresses set, the client ranking lists networks and visitors
// are told apart by network; the setting counts stored days again.
TEST(RankingsPagesTest, ShortenedAddressesInTheRankingAndTheVisitors) {
  CgiSite site;
  SetUpRankings(site, " lines=100\n");
  Write(site.Path("data/vazivev/visitors"), "object visitors : Visitors\nend\n");
  std::string log;
  for (const char* client : {"192.0.2.7", "192.0.2.200", "198.51.100.1", "2001:db8:1:2::5", "2001:db8:1:ff::9",
                             "::ffff:192.0.2.9", "host.example.jp"}) {
    log += std::string(client) + " - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html HTTP/1.0\" 200 10\n";
  }
  Write(site.Path("logs/QL990307.log"), log);
  const std::string rows = Rows("System.vazivev.domains.19990307");
  const std::string whole = Page(site, "Whole", rows + "visitors $System.vazivev.visitors.19990307\n");
  EXPECT_NE(std::string::npos, whole.find("192.0.2.200 1 ")) << whole;
  EXPECT_NE(std::string::npos, whole.find("visitors 7")) << whole;
  std::string index = Slurp(site.Path("data/vazivev/index"));
  index.insert(index.find("end\n"), " ShortAddresses=1\n");
  Write(site.Path("data/vazivev/index"), index);
  const std::string shortened = Page(site, "Short", rows + "visitors $System.vazivev.visitors.19990307\n");
  const std::string body = shortened.substr(shortened.find("\n\n") + 2);
  std::string sorted;
  for (const std::string& line : SortedLines(body)) sorted += line + "\n";
  EXPECT_EQ("192.0.2.0/24 3 100\n198.51.100.0/24 1 33\n2001:db8:1::/48 2 66\nhost.example.jp 1 33\nvisitors 4\n", sorted)
      << shortened;
  EXPECT_EQ(std::string::npos, Slurp(site.Path("data/vazivev/domains/19990307")).find("192.0.2.7"));
}
