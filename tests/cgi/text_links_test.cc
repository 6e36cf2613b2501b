// Texts from the log as people wrote them, through the installed program
// on 5 March 1999: the page and domain rankings show paths and hosts
// percent-decoded where that gives UTF-8 or EUC-JP, with everything
// escaped, and each row's link, followed as a browser follows it, gives
// the cross-tabulation of exactly that row.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

// Each path with what its row shows; path i is requested i + 1 times, from
// host h<i>.example.com, so the rows come in the reverse order.
const struct {
  const char* path;
  const char* shown;
} kPaths[] = {
    {"/caf%C3%A9/%E6%97%A5%E6%9C%AC.html", "/caf&#233;/&#26085;&#26412;.html"},  // UTF-8, as browsers send it
    {"/\xE6\x97\xA5\xE6\x9C\xAC/", "/&#26085;&#26412;/"},                         // UTF-8, logged raw
    {"/%C6%FC%CB%DC.html", "/&#26085;&#26412;.html"},                             // EUC-JP
    {"/\xC6\xFC\xCB\xDC.txt", "/&#26085;&#26412;.txt"},
    {"/\x93\xFA\x96\x7B.html", "/%93%FA%96{.html"},  // Shift_JIS: neither, so bytes
    {"/caf\xE9.html", "/caf%E9.html"},               // Latin-1
    {"/a%FFb%0A", "/a%FFb%0A"},                      // decodes to no text
    {"/&#60;script&#62;", "/&amp;#60;script&amp;#62;"},
    {"/%3Cb%3E%26%22'+", "/&lt;b&gt;&amp;&quot;&#39;+"},
    {"/100%25%E2%82%AC", "/100%&#8364;"},
    {"/%C2%85x", "/%C2%85x"},  // a C1 control character stays escaped
};
constexpr int kCount = sizeof kPaths / sizeof kPaths[0];

struct Row {
  std::string href;  // as written in the page, "&amp;" and all
  std::string shown;
  int hits = 0;
  std::string share;
};

std::string Between(const std::string& text, const std::string& open, const std::string& close, size_t* at) {
  const size_t from = text.find(open, *at);
  if (from == std::string::npos) {
    *at = std::string::npos;
    return "";
  }
  const size_t begin = from + open.size();
  const size_t end = text.find(close, begin);
  *at = end;
  return text.substr(begin, end - begin);
}

// The rows of the page's ranking table, in order.
std::vector<Row> Rows(const std::string& page) {
  std::vector<Row> rows;
  const size_t table = page.find("id=\"ranking\"");
  const std::string body = table == std::string::npos ? "" : page.substr(table, page.find("</table>", table) - table);
  for (size_t at = 0;;) {
    Row row;
    row.href = Between(body, "<a href=\"", "\"", &at);
    if (at == std::string::npos) break;
    const std::string rel = Between(body, " ", ">", &at);
    EXPECT_EQ("rel=\"nofollow\"", rel) << row.href;
    row.shown = body.substr(at + 1, body.find("</a>", at) - at - 1);
    row.hits = atoi(Between(body, "class=\"num hits\">", "<", &at).c_str());
    row.share = Between(body, "class=\"num share\">", "<", &at);
    rows.push_back(row);
  }
  return rows;
}

// The query a browser sends for a link's href.
std::string QueryOf(std::string href) {
  for (size_t at; (at = href.find("&amp;")) != std::string::npos;) href.replace(at, 5, "&");
  return href.substr(href.find('?') + 1);
}

class TextLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* dir : {"data/vazivev", "data/vazivev/domains", "data/vazivev/pages"}) {
      mkdir(site_.Path(dir).c_str(), 0755);
    }
    Write(site_.Path("data/vazivev/index"), "object vazivev : VaziVev\n Unit=3\n lines=100\nend\n");
    Write(site_.Path("data/vazivev/domains/index"), "object domains : DomainsContainer\nend\n");
    Write(site_.Path("data/vazivev/pages/index"), "object pages : PagesContainer\nend\n");
    std::string log;
    for (int i = 0; i < kCount; ++i) {
      for (int k = 0; k <= i; ++k) {
        log += "h" + std::to_string(i) + ".example.com - - [05/Mar/1999:10:00:00 +0000] \"GET " + kPaths[i].path +
               " HTTP/1.0\" 200 1\n";
      }
    }
    // A host whose name is EUC-JP: its domain's link needs the hex form.
    log += "www.\xC6\xFC.example.jp - - [05/Mar/1999:11:00:00 +0000] \"GET /jp HTTP/1.0\" 200 1\n";
    Write(site_.Path("logs/QL990305.log"), log);
  }
  std::string Get(const std::string& query) const {
    return site_.Run({{"REQUEST_METHOD", "GET"}, {"QUERY_STRING", query}}, "", "1999-03-08 12:00:00").out;
  }

  CgiSite site_;
};

}  // namespace

TEST_F(TextLinksTest, PathsShownAsWrittenAndTheirLinksGiveTheSameRow) {
  const std::vector<Row> rows = Rows(Get("page=VaziVevPages&Date=19990305"));
  ASSERT_EQ(static_cast<size_t>(kCount + 1), rows.size());
  const int total = kCount * (kCount + 1) / 2 + 1;
  for (int i = 0; i < kCount; ++i) {
    const Row& row = rows[kCount - 1 - i];
    EXPECT_EQ(kPaths[i].shown, row.shown) << i;
    ASSERT_EQ(i + 1, row.hits) << i;
    char share[16];
    snprintf(share, sizeof share, "%.1f%%", 100.0 * (i + 1) / total);
    EXPECT_EQ(share, row.share) << i;
    // The link names the same path: its domains are the one host's, with
    // every request of the row, under the heading the row shows.
    const std::string cross = Get(QueryOf(row.href));
    EXPECT_EQ(kPaths[i].shown, Figure(cross, "which")) << row.href;
    const std::vector<Row> domains = Rows(cross);
    ASSERT_EQ(1u, domains.size()) << row.href;
    EXPECT_EQ("example.com", domains[0].shown);
    EXPECT_EQ(i + 1, domains[0].hits) << row.href;
    EXPECT_EQ("100.0%", domains[0].share);
  }
  // Read back from the stored day, the shares are those of the count.
  const std::vector<Row> stored = Rows(Get("page=VaziVevPages&Date=19990305"));
  ASSERT_EQ(rows.size(), stored.size());
  for (size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(rows[i].share, stored[i].share) << i;
}

TEST_F(TextLinksTest, HostsLinkBackAndTheFilterKeepsItsBytes) {
  const std::vector<Row> rows = Rows(Get("page=VaziVevDomains&Date=19990305"));
  ASSERT_EQ(2u, rows.size());
  EXPECT_EQ("&#26085;.example.jp", rows[1].shown);
  EXPECT_NE(std::string::npos, rows[1].href.find("&amp;texthex=C6FC2E")) << rows[1].href;
  const std::string cross = Get(QueryOf(rows[1].href));
  EXPECT_EQ("&#26085;.example.jp", Figure(cross, "which"));
  const std::vector<Row> pages = Rows(cross);
  ASSERT_EQ(1u, pages.size());
  EXPECT_EQ("/jp", pages[0].shown);
  // The period links of the cross-tabulation keep naming the same host.
  const size_t at = cross.find("id=\"back\"");
  ASSERT_NE(std::string::npos, at);
  const size_t href = cross.rfind("href=\"", at);
  const std::string prev = cross.substr(href + 6, cross.find('"', href + 6) - href - 6);
  EXPECT_EQ("&#26085;.example.jp", Figure(Get(QueryOf(prev)), "which")) << prev;
  // Typed into the filter (a UTF-8 page sends UTF-8), a text is matched
  // byte for byte and written back into the field as it was typed.
  const std::string filtered = Get("page=VaziVevPages&Date=19990305&text=%E6%97%A5");
  const std::vector<Row> matched = Rows(filtered);
  ASSERT_EQ(1u, matched.size());
  EXPECT_EQ(kPaths[1].shown, matched[0].shown);
  EXPECT_NE(std::string::npos, filtered.find("name=\"text\" value=\"&#26085;\"")) << filtered;
}

TEST_F(TextLinksTest, PagesDeclareTheCharsetTheySend) {
  const std::string page = Get("page=VaziVevPages&Date=19990305&text=%E9");
  EXPECT_NE(std::string::npos, page.find("<meta charset=\"UTF-8\">"));
  EXPECT_EQ(std::string::npos, page.find("<font"));
  // Every byte sent is UTF-8: the filter of a stray byte is shown as %E9.
  for (size_t i = 0; i < page.size();) {
    const unsigned char c = page[i];
    int n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    ASSERT_NE(0, n) << i;
    for (int k = 1; k < n; ++k) ASSERT_EQ(0x80, page[i + k] & 0xC0) << i;
    i += n;
  }
  EXPECT_NE(std::string::npos, page.find("value=\"%E9\""));
}
