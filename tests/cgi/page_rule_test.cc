// The page-request rule through the installed program: a day of a site of
// today in the combined layout, with the settings Assets, Statuses and
// Exclude set and the program's own requests in it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kScript[] = "/cgi-bin/vazivev.cgi";

// A request of the day and whether it is a page request under the
// settings below, worked out by hand.
struct Request {
  const char* path;
  int status;
  bool page;
};
const Request kRequests[] = {
    {"/", 200, true},
    {"/index.html?from=mail", 200, true},
    {"/news.html", 304, true},
    {"/doc.pdf", 206, true},
    {"/style.css?v=3", 200, false},
    {"/app.JS", 200, false},
    {"/app.js.map", 200, false},
    {"/logo.PNG", 200, false},
    {"/photo.webp", 304, false},
    {"/favicon.ico", 200, false},
    {"/.env", 404, false},          // a scanner's probe
    {"/wp-login.php", 404, false},  // another one
    {"/old.html", 301, false},
    {"/cgi-bin/vazivev.cgi?page=VaziVevPages", 200, false},
    {"/cgi-bin/vazivev.cgi", 200, false},
    {"/cgi-bin/vazivev.cgix", 200, true},
};
// Clients; the second and the third are excluded.
const char* const kClients[] = {"198.51.100.4", "192.0.2.200", "2001:db8::5", "2001:db9::5", "::ffff:203.0.113.9"};
constexpr bool kExcluded[] = {false, true, true, false, false};

std::string Line(const char* client, const Request& r, int second) {
  char text[400];
  snprintf(text, sizeof text,
           "%s - - [07/Mar/1999:%02d:%02d:%02d +0000] \"GET %s HTTP/1.1\" %d 512 \"https://example.com/\" "
           "\"Mozilla/5.0 (X11; Linux x86_64)\"\n",
           client, second / 3600 % 24, second / 60 % 60, second % 60, r.path, r.status);
  return text;
}

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const size_t at = text.find(open);
  if (at == std::string::npos) return "(none)";
  const size_t end = text.find(close, at + open.size());
  return text.substr(at + open.size(), end - at - open.size());
}

}  // namespace

// The first request notes the program's path and counts the day by it; the
// day page shows the page requests beside all requests, and makes the
// counter of all requests that an older site lacks.
TEST(PageRulePagesTest, PageRequestsOfAModernLog) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n LogFile=" + site.Path("access.log") +
                                             "\n Assets=css js map png webp ico\n Statuses=2xx, 304\n"
                                             " Exclude=192.0.2.0/24 2001:DB8::/32 crawler.example\nend\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  Write(site.Path("data/vazivev/root"), "object root : RootHit\nend\n");

  std::string log;
  int pages = 0;
  int tops = 0;
  int all = 0;
  int second = 0;
  for (int round = 0; round < 7; ++round) {
    for (size_t c = 0; c < sizeof kClients / sizeof kClients[0]; ++c) {
      for (const Request& r : kRequests) {
        log += Line(kClients[c], r, second += 7);
        ++all;
        if (!kExcluded[c] && r.page) ++pages;
        if (!kExcluded[c] && std::string(r.path) == "/") ++tops;
      }
    }
  }
  log += "198.51.100.4 - - [08/Mar/1999:00:00:01 +0000] \"GET / HTTP/1.1\" 200 512 \"-\" \"-\"\n";
  Write(site.Path("access.log"), log);

  const CgiResult day = site.Run(
      {{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevIndex&Date=19990307"}, {"SCRIPT_NAME", kScript}}, "",
      "1999-03-08 12:00:00");
  EXPECT_EQ(std::to_string(pages), Between(day.out, "id=\"hits\">", "<"));
  EXPECT_EQ(std::to_string(all), Between(day.out, "id=\"allhits\">", "<"));
  EXPECT_EQ(std::to_string(tops), Between(day.out, "id=\"tophits\">", "<"));
  EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/index")).find(" ScriptPath=/cgi-bin/vazivev.cgi\n"));

  // Outside a web request the stored path still counts; a day counted
  // afresh, with the stored counts gone, comes out the same.
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  site.WritePage("Counts", "$System.vazivev.hit.19990307 $System.vazivev.all.19990307\n");
  EXPECT_EQ("Content-type: text/html\n\n" + std::to_string(pages) + " " + std::to_string(all) + "\n",
            site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Counts"}}, "", "1999-03-08 12:00:00").out);
}
