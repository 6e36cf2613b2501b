#include "logread/page_rule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Asset(const HPageRule& rule, const std::string& path) {
  return rule.IsAsset(path.c_str(), static_cast<int>(path.size()));
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
    bool asset, image;
  };
  const Case cases[] = {
      {"/A.CsS?v=3", true, false},   {"/a.html?f=x.css", false, false},  // the query is no extension
      {"/d.css/page", false, false}, {"/a.css/", false, false},          // nor a folder's
      {"/f.woff2", true, false},     {"/f.woff", false, false},          // a prefix of an extension is another
      {"/x.min.js", true, false},    {"/x.js.map", false, false},       {"/css", false, false},
      {"/P.JPEG?s=1", false, true},  {"/i.gif", false, true},  // a list replaces the images
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.asset, Asset(rule, c.path)) << c.path;
    EXPECT_EQ(c.image, Asset(images, c.path)) << c.path;
  }
}

TEST(HPageRuleTest, StatusCodesAndClasses) {
  const HPageRule rule("", "2xx 304,40X", "", "");
  for (const int status : {200, 299, 304, 400, 409}) EXPECT_TRUE(rule.StatusCounts(status)) << status;
  for (const int status : {199, 300, 305, 410, 500, -1}) EXPECT_FALSE(rule.StatusCounts(status)) << status;
  const HPageRule middle("", "X5x", "", "");  // any first digit but 0
  for (const int status : {150, 159, 950}) EXPECT_TRUE(middle.StatusCounts(status)) << status;
  for (const int status : {105, 140, 160, 960}) EXPECT_FALSE(middle.StatusCounts(status)) << status;
  // Words that are no status are left out; nothing left is no setting.
  const HPageRule garbage("", "2x 0xx 1000 abc", "", "");
  EXPECT_TRUE(garbage.StatusCounts(-1));
  EXPECT_EQ(HPageRule().Signature(), garbage.Signature());
}

TEST(HPageRuleTest, ExcludedNetworksAndTheirEdges) {
  const HPageRule rule("", "",
                       "192.0.2.77/24 198.51.100.6/31 2001:db8:8000::/33 ::1/128 [2001:db8:1::5] 10.9.9.9/32 "
                       "host.example 1.2.3.4/33 5.6.7.8/ 9.9.9.9/x 2001:db8:2::/129",
                       "");
  const char* const excluded[] = {"192.0.2.0",
                                  "192.0.2.255",
                                  "198.51.100.6",
                                  "198.51.100.7",
                                  "2001:db8:8000::1",
                                  "2001:db8:ffff:ffff::",
                                  "::1",
                                  "2001:db8:1::5",
                                  "10.9.9.9",
                                  "::ffff:192.0.2.9",
                                  "[2001:db8:8000::9]:443",
                                  "192.0.2.1:8080"};
  const char* const kept[] = {
      "192.0.3.0",    "192.0.1.255", "198.51.100.8", "198.51.100.5", "2001:db8:7fff::", "::2", "10.9.9.8",
      "host.example", "1.2.3.4",     "5.6.7.8",      "9.9.9.9",      "2001:db8:2::",    "",    "192.0.2"};
  for (const char* client : excluded) EXPECT_TRUE(rule.IsExcluded(client)) << client;
  for (const char* client : kept) EXPECT_FALSE(rule.IsExcluded(client)) << client;

  const HPageRule all_v4("", "", "0.0.0.0/0", "");
  EXPECT_TRUE(all_v4.IsExcluded("255.255.255.255"));
  EXPECT_FALSE(all_v4.IsExcluded("2001:db8::1"));  // a family of its own
}

// The client and the status are read whole in each layout, before the path
// is cut out of the line: the virtual host is not the client, JSON's
// client_ip comes before remote_ip; the program's own path never counts.
TEST(HPageRuleTest, WholeLinesOfEveryLayout) {
  const HPageRule rule("css", "2xx", "192.0.2.0/24 2001:db8::/32", "/s.cgi");
  const char kDay[] = " - - [07/Mar/1999:10:00:00 +0000] \"GET ";
  struct Case {
    std::string line;
    bool page;
  };
  const Case cases[] = {
      {"198.51.100.1" + std::string(kDay) + "/a.html?q=1 HTTP/1.1\" 200 5 \"-\" \"ua\"\n", true},
      {"2001:db8::7" + std::string(kDay) + "/a.html HTTP/1.1\" 200 5\n", false},
      {"198.51.100.1" + std::string(kDay) + "/a.html HTTP/1.1\" 404 5\n", false},
      {"198.51.100.1" + std::string(kDay) + "/a.html\" 200 5\n", true},  // no protocol
      {"198.51.100.1" + std::string(kDay) + "/a.css HTTP/1.1\" 200 5\n", false},
      {"198.51.100.1" + std::string(kDay) + "/s.cgi?page=x HTTP/1.1\" 200 5\n", false},
      {"192.0.2.1:80 198.51.100.1" + std::string(kDay) + "/a HTTP/1.1\" 200 5\n", true},
      {"www:80 192.0.2.1" + std::string(kDay) + "/a HTTP/1.1\" 200 5\n", false},
      {"192.0.2.1, 99/03/07, 10:00:00, /a.html, 200\n", false},
      {"198.51.100.1, 99/03/07, 10:00:00, /a.css?v=1, 200\n", false},
      {"{\"request\":{\"remote_ip\":\"198.51.100.1\",\"client_ip\":\"192.0.2.3\",\"uri\":\"/a\"},\"status\":200}",
       false},
      {"{\"request\":{\"remote_ip\":\"192.0.2.3\",\"client_ip\":\"198.51.100.1\",\"uri\":\"/a\"},\"status\":200}",
       true},
      {"{\"request\":{\"remote_addr\":\"[2001:db8::1]:5000\",\"uri\":\"/a\"},\"status\":200}", false},
      {"{\"request\":{\"client_ip\":\"198.51.100.1\",\"uri\":\"/a\"}}", false},  // no status
  };
  for (const Case& c : cases) EXPECT_EQ(c.page, Page(rule, c.line.c_str())) << c.line;
}

TEST(HPageRuleTest, SignatureIsStableAndFollowsWhatIsCounted) {
  // Stored with each day's figures, so it must not change from one version
  // to the next: FNV-1a of "assets=(images);statuses=(all);exclude=;script=",
  // worked out apart from the code.
  EXPECT_EQ("811d1571ce6c8fc3", HPageRule().Signature());

  const HPageRule base("css js", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi");
  std::string codes;
  for (int code = 200; code <= 299; ++code) codes += std::to_string(code) + ",";
  EXPECT_EQ(base.Signature(),
            HPageRule("JS,.css, js", "304,2XX", "2001:DB8:0::/32 192.0.2.77/24 192.0.2.0/24", "/s.cgi").Signature());
  EXPECT_EQ(base.Signature(),
            HPageRule("js css", (codes + "304").c_str(), "2001:db8::/32 192.0.2.0/24", "/s.cgi").Signature());
  const HPageRule other[] = {HPageRule("css js map", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
                             HPageRule("", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
                             HPageRule("css js", "2xx 301", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
                             HPageRule("css js", "", "192.0.2.0/24 2001:db8::/32", "/s.cgi"),
                             HPageRule("css js", "2xx 304", "192.0.2.0/25 2001:db8::/32", "/s.cgi"),
                             HPageRule("css js", "2xx 304", "192.0.2.0/24", "/s.cgi"),
                             HPageRule("css js", "2xx 304", "192.0.2.0/24 2001:db8::/32", "/t.cgi")};
  for (const HPageRule& rule : other) EXPECT_NE(base.Signature(), rule.Signature());
}
