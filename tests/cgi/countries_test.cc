// The countries ranking through the installed program: host names by their
// last label, numeric addresses as "(address)" while no database is named.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <string>

#include "tests/cgi/cgi_site.h"

TEST(CountriesTest, HostNamesByTheirLastLabelAndAddressesApart) {
  CgiSite site;
  mkdir(site.Path("data/vazivev").c_str(), 0755);
  Write(site.Path("data/vazivev/index"), "object vazivev : VaziVev\n Loging=Unique\n LogFile=" +
                                             site.Path("access.log") + "\n lines=20\nend\n");
  Write(site.Path("data/vazivev/hit"), "object hit : Hit\nend\n");
  const std::map<std::string, int> clients = {{"a.example.co.jp", 3}, {"b.example.DE", 2}, {"c.example.com", 1},
                                              {"192.0.2.1", 2},       {"2001:db8::5", 1}};
  std::string log;
  for (const auto& [client, n] : clients) {
    for (int i = 0; i < n; ++i) {
      log += client + " - - [05/Mar/1999:10:00:00 +0000] \"GET /p.html HTTP/1.1\" 200 5 \"-\" \"ua\"\n";
    }
    log += client + " - - [05/Mar/1999:10:00:00 +0000] \"GET /i.gif HTTP/1.1\" 200 5 \"-\" \"ua\"\n";  // no page
  }
  Write(site.Path("access.log"), log);
  const CgiResult r = site.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", "page=VaziVevCountries&Date=19990305"}},
                               "", "1999-03-08 12:00:00");
  std::map<std::string, int> shown;
  const std::string row = "<td class=\"name\"><a href=\"";
  for (size_t at = r.out.find(row); at != std::string::npos; at = r.out.find(row, at + 1)) {
    const size_t name = r.out.find('>', at + row.size()) + 1;
    const size_t hits = r.out.find("num hits\">", name);
    shown[r.out.substr(name, r.out.find('<', name) - name)] = atoi(r.out.c_str() + hits + 10);
  }
  EXPECT_EQ((std::map<std::string, int>{{"JP", 3}, {"DE", 2}, {"(.com)", 1}, {"(address)", 3}}), shown) << r.out;
}
