#include "logread/page_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Asset(const HPageRule& rule, const std::string& path) {
  return rule.IsAsset(path.c_str(), static_cast<int>(path.size()));
}

bool Script(const HPageRule& rule, const std::string& path) {
  return rule.IsScriptPath(path.c_str(), static_cast<int>(path.size()));
}

// IsPage as the counters ask it: the whole line first, then its path.
bool Page(const HPageRule& rule, const char* text) {
  std::vector<char> line(text, text + std::char_traits<char>::length(text) + 1);
  const int format = DetectLogFormat(line.data());
  if (!rule.LineCounts(line.data(), format)) return false;
  int length = 0;
  const char* path = ExtractPagePath(line.data(), format, length);
  return path != nullptr && rule.PathCounts(path, length);
}

}  // namespace

TEST(HPageRuleTest, AssetsByExtensionWithoutQueryAndCase) {
  const HPageRule rule("CSS, .js  png,,woff2", "", "", "");
  const HPageRule images;  // no setting: the images of old
  struct Case {
    const char* path;
    bool asset;
    bool image;
  };
  const Case cases[] = {
      {"/a.css", true, false},
      {"/A.CsS?v=3", true, false},  // the query string is not the extension
      {"/a.html?f=x.css", false, false},
      {"/d.css/page", false, false},  // a dot in a folder name
      {"/a.css/", false, false},
      {"/f.woff2", true, false},
      {"/f.woff", false, false},  // a prefix of an extension is another one
      {"/a.cs", false, false},
      {"/x.min.js", true, false},
      {"/x.js.map", false, false},
      {"/css", false, false},
      {"/", false, false},
      {"/p.jpg", false, true},  // a list replaces the images
      {"/P.JPEG?s=1", false, true},
      {"/i.gif", false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.asset, Asset(rule, c.path)) << c.path;
    EXPECT_EQ(c.image, Asset(images, c.path)) << c.path;
  }
}

TEST(HPageRuleTest, StatusCodesAndClasses) {
  const HPageRule rule("", "2xx 304,40X", "", "");
  struct Case {
    int status;
    bool counts;
  };
  const Case cases[] = {{200, true}, {299, true}, {199, false}, {300, false}, {304, true}, {305, false},
                        {400, true}, {409, true}, {410, false}, {500, false}, {-1, false}};
  for (const Case& c : cases) EXPECT_EQ(c.counts, rule.StatusCounts(c.status)) << c.status;
  // Words that are no status are left out; nothing left is no setting.
  const HPageRule garbage("", "2x 0xx 1000 abc", "", "");
  EXPECT_TRUE(garbage.StatusCounts(-1));
  EXPECT_TRUE(garbage.StatusCounts(503));
  EXPECT_EQ(HPageRule().Signature(), garbage.Signature());
}

TEST(HPageRuleTest, ExcludedNetworksAndTheirEdges) {
  const HPageRule rule("", "",
                       "192.0.2.77/24 10.1.2.3 198.51.100.6/31 2001:db8:8000::/33 ::1/128 [2001:db8:1::5] "
                       "host.example 1.2.3.4/33 5.6.7.8/ 9.9.9.9/x 2001:db8:2::/129",
                       "");
  struct Case {
    const char* client;
    bool excluded;
  };
  const Case cases[] = {
      {"192.0.2.0", true},
      {"192.0.2.255", true},
      {"192.0.3.0", false},
      {"192.0.1.255", false},
      {"10.1.2.3", true},
      {"10.1.2.4", false},
      {"198.51.100.6", true},
      {"198.51.100.7", true},
      {"198.51.100.8", false},
      {"198.51.100.5", false},
      {"2001:db8:8000::1", true},
      {"2001:db8:ffff:ffff::", true},
      {"2001:db8:7fff::", false},
      {"::1", true},
      {"::2", false},
      {"2001:db8:1::5", true},
      {"2001:db8:1::6", false},
      {"::ffff:192.0.2.9", true},
      {"[2001:db8:8000::9]:443", true},
      {"192.0.2.1:8080", true},
      {"fe80::1%eth0", false},
      {"host.example", false},
      {"1.2.3.4", false},
      {"5.6.7.8", false},
      {"9.9.9.9", false},
      {"2001:db8:2::", false},
      {"", false},
      {"192.0.2", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.excluded, rule.IsExcluded(c.client)) << c.client;

  const HPageRule all_v4("", "", "0.0.0.0/0", "");
  EXPECT_TRUE(all_v4.IsExcluded("255.255.255.255"));
  EXPECT_FALSE(all_v4.IsExcluded("2001:db8::1"));  // a family of its own
  const HPageRule all_v6("", "", "::/0", "");
  EXPECT_TRUE(all_v6.IsExcluded("ffff::1"));
  EXPECT_FALSE(all_v6.IsExcluded("192.0.2.1"));
  const HPageRule host128("", "", "2001:db8::ff/128 192.0.2.255/32", "");
  EXPECT_TRUE(host128.IsExcluded("2001:db8::ff"));
  EXPECT_FALSE(host128.IsExcluded("2001:db8::fe"));
  EXPECT_TRUE(host128.IsExcluded("192.0.2.255"));
  EXPECT_FALSE(host128.IsExcluded("192.0.2.254"));
}

TEST(HPageRuleTest, OwnScriptPath) {
  const HPageRule rule("", "", "", "/cgi-bin/vazivev.cgi");
  EXPECT_TRUE(Script(rule, "/cgi-bin/vazivev.cgi"));
  EXPECT_TRUE(Script(rule, "/cgi-bin/vazivev.cgi?page=VaziVevPages"));  // comma layout keeps the query
  EXPECT_TRUE(Script(rule, "/cgi-bin/vazivev.cgi/x"));
  EXPECT_FALSE(Script(rule, "/cgi-bin/vazivev.cgix"));
  EXPECT_FALSE(Script(rule, "/cgi-bin/vazivev.cg"));
  EXPECT_FALSE(Script(rule, "/cgi-bin/"));
  EXPECT_FALSE(Script(HPageRule(), "/cgi-bin/vazivev.cgi"));
  EXPECT_FALSE(Script(HPageRule(), "/"));
}

// The client and the status are read whole in each layout, before the path
// is cut out of the line: the virtual host is not the client, JSON's
// client_ip comes before remote_ip.
TEST(HPageRuleTest, WholeLinesOfEveryLayout) {
  const HPageRule rule("css", "2xx", "192.0.2.0/24 2001:db8::/32", "/s.cgi");
  struct Case {
    const char* line;
    bool page;
  };
  const Case cases[] = {
      {"198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html?q=1 HTTP/1.1\" 200 5 \"-\" \"ua\"\n", true},
      {"192.0.2.9 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html HTTP/1.1\" 200 5\n", false},
      {"2001:db8::7 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html HTTP/1.1\" 200 5\n", false},
      {"198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html HTTP/1.1\" 404 5\n", false},
      {"198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html\" 200 5\n", true},
      {"198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.css HTTP/1.1\" 200 5\n", false},
      {"198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /s.cgi?page=x HTTP/1.1\" 200 5\n", false},
      {"198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a.html HTTP/1.1\" - 5\n", false},
      {"192.0.2.1:80 198.51.100.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a HTTP/1.1\" 200 5\n", true},
      {"www:80 192.0.2.1 - - [07/Mar/1999:10:00:00 +0000] \"GET /a HTTP/1.1\" 200 5\n", false},
      {"192.0.2.1, 99/03/07, 10:00:00, /a.html, 200\n", false},
      {"198.51.100.1, 99/03/07, 10:00:00, /a.css?v=1, 200\n", false},
      {"198.51.100.1, 99/03/07, 10:00:00, /a.html, 301\n", false},
      {"198.51.100.1, 99/03/07, 10:00:00, /a.html, 204\n", true},
      {"{\"ts\":920800800,\"request\":{\"remote_ip\":\"198.51.100.1\",\"client_ip\":\"192.0.2.3\",\"uri\":\"/a\"},"
       "\"status\":200}\n",
       false},
      {"{\"ts\":920800800,\"request\":{\"remote_ip\":\"192.0.2.3\",\"client_ip\":\"198.51.100.1\",\"uri\":\"/a\"},"
       "\"status\":200}\n",
       true},
      {"{\"ts\":920800800,\"request\":{\"remote_addr\":\"[2001:db8::1]:5000\",\"uri\":\"/a\"},\"status\":200}\n",
       false},
      {"{\"ts\":920800800,\"request\":{\"client_ip\":\"198.51.100.1\",\"uri\":\"/a\"}}\n", false},  // no status
  };
  for (const Case& c : cases) EXPECT_EQ(c.page, Page(rule, c.line)) << c.line;
}

TEST(HPageRuleTest, SignatureIsStableAndFollowsWhatIsCounted) {
  // Stored with each day's figures, so it must not change from one version
  // to the next: FNV-1a of "assets=(images);statuses=(all);exclude=;script=",
  // worked out apart from the code.
  EXPECT_EQ("811d1571ce6c8fc3", HPageRule().Signature());
  EXPECT_EQ(HPageRule().Signature(), HPageRule(nullptr, "", " ,", nullptr).Signature());

  const HPageRule base("css js", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi");
  std::string codes;
  for (int code = 200; code <= 299; ++code) codes += std::to_string(code) + ",";
  const HPageRule same[] = {
      HPageRule("JS,.css, js", "304,2XX", "2001:DB8:0::/32 192.0.2.77/24 192.0.2.0/24", "/s.cgi"),
      HPageRule("js css", (codes + "304").c_str(), "2001:db8::/32,192.0.2.0/24", "/s.cgi"),
  };
  for (const HPageRule& rule : same) EXPECT_EQ(base.Signature(), rule.Signature());

  const HPageRule other[] = {
      HPageRule("css js map", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
      HPageRule("css", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
      HPageRule("", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
      HPageRule("css js", "2xx", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
      HPageRule("css js", "2xx 301", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
      HPageRule("css js", "", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
      HPageRule("css js", "2xx 304", "192.0.2.0/25 2001:db8::/32", "/s.cgi"),
      HPageRule("css js", "2xx 304", "192.0.2.0/24 2001:db8::/48", "/s.cgi"),
      HPageRule("css js", "2xx 304", "192.0.2.0/24", "/s.cgi"),
      HPageRule("css js", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/t.cgi"),
      HPageRule("css js", "2xx 304", "192.0.2.0/24 2001:db8::/32", ""),
  };
  for (const HPageRule& rule : other) EXPECT_NE(base.Signature(), rule.Signature());
  EXPECT_EQ(16u, base.Signature().size());
}
