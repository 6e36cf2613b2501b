// The page-request rule through the installed program: a day of a site of
// today in the combined layout, with the settings Assets, Statuses and
// Exclude set and the program's own requests in it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

// Requests of the day ("path status"): page requests under the settings
// below, worked out by hand, and the others (assets, probes, a redirect,
// the program's own pages).
const char* const kPages[] = {"/ 200", "/index.html?from=mail 200", "/news.html 304", "/doc.pdf 206",
                              "/cgi-bin/vazivev.cgix 200"};
const char* const kOthers[] = {"/style.css?v=3 200",
                               "/app.JS 200",
                               "/app.js.map 200",
                               "/logo.PNG 200",
                               "/photo.webp 304",
                               "/favicon.ico 200",
                               "/.env 404",
                               "/wp-login.php 404",
                               "/old.html 301",
                               "/cgi-bin/vazivev.cgi?page=VaziVevPages 200",
                               "/cgi-bin/vazivev.cgi 200"};
// Clients; the second and the third are excluded.
const char* const kClients[] = {"198.51.100.4", "192.0.2.200", "2001:db8::5", "2001:db9::5", "::ffff:203.0.113.9"};

std::string Line(const char* client, const std::string& request, int second) {
  const size_t space = request.find(' ');
  char text[400];
  snprintf(text, sizeof text,
           "%s - - [07/Mar/1999:%02d:%02d:%02d +0000] \"GET %s HTTP/1.1\" %s 512 \"https://example.com/\" "
           "\"Mozilla/5.0 (X11; Linux x86_64)\"\n",
           client, second / 3600 % 24, second / 60 % 60, second % 60, request.substr(0, space).c_str(),
           request.substr(space + 1).c_str());
  return text;
}

std::string Between(const std::string& text, const std::string& open) {
  const size_t at = text.find(open);
  return at == std::string::npos ? "(none)" : text.substr(at + open.size(), text.find('<', at) - at - open.size());
}

}  // namespace

// The first request notes the program's path and counts the day by it; the
// day page shows the page requests beside all requests, and makes the
// counter of all requests that an older site lacks. Outside a web request
// the stored path still counts.
TEST(PageRulePagesTest, PageRequestsOfAModernLog) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n LogFile=" + site.Path("access.log") +
                                             "\n Assets=css js map png webp ico\n Statuses=2xx, 304\n"
                                             " Exclude=192.0.2.0/24 2001:DB8::/32 crawler.example\nend\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  Write(site.Path("data/vazivev/root"), "object root : RootHit\nend\n");
  std::string log;
  int second = 0;
  for (int round = 0; round < 7; ++round) {
    for (const char* client : kClients) {
      for (const char* request : kPages) log += Line(client, request, second += 7);
      for (const char* request : kOthers) log += Line(client, request, second += 7);
    }
  }
  Write(site.Path("access.log"), log + "198.51.100.4 - - [08/Mar/1999:00:00:01 +0000] \"GET / HTTP/1.1\" 200 5\n");
  const int clients_kept = 3;
  const std::string pages = std::to_string(7 * clients_kept * 5);
  const std::string all = std::to_string(7 * 5 * 16);

  const CgiResult day = site.Run({{"REQUEST_METHOD", "GET"},
                                  {"QUERY_STRING", "page=VaziVevIndex&Date=19990307"},
                                  {"SCRIPT_NAME", "/cgi-bin/vazivev.cgi"}},
                                 "", "1999-03-08 12:00:00");
  EXPECT_EQ(pages, Between(day.out, "id=\"hits\">"));
  EXPECT_EQ(all, Between(day.out, "id=\"allhits\">"));
  EXPECT_EQ(std::to_string(7 * clients_kept), Between(day.out, "id=\"tophits\">"));
  EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/index")).find(" ScriptPath=/cgi-bin/vazivev.cgi\n"));

  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");  // counted afresh
  site.WritePage("Counts", "$System.vazivev.hit.19990307 $System.vazivev.all.19990307\n");
  EXPECT_EQ("Content-type: text/html\n\n" + pages + " " + all + "\n",
            site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=Counts"}}, "", "1999-03-08 12:00:00").out);
}
