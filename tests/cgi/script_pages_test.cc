// Template pages rendered by the installed program: references, blocks,
// includes, the footer, charsets and pages built to break the parser.
#include <gtest/gtest.h>

#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";

// The footer line the program writes before the closing body tag.
std::string Footer(const CgiSite& site) {
  site.WritePage("FooterOnly", "</body>\n");
  const std::string out = site.Get("page=FooterOnly").out;
  return out.substr(sizeof kHtml - 1, out.size() - (sizeof kHtml - 1) - 8);
}

TEST(ScriptPagesTest, ReferencesLoopsConditionsAndIncludes) {
  CgiSite site;
  site.WritePage("head", "<title>$title</title>\n");
  site.WritePage("P",
                 "<html>\n"
                 "<!--#include file=\"head.html\"-->\n"
                 "'init $n = 3\n"
                 "'for $i = 1 to $n\n"
                 "'if $i = 2\n"
                 "<b>$i</b>\n"
                 "'else\n"
                 "$i:$title\n"
                 "'endif\n"
                 "'next\n"
                 "'options $i in 1 to 2\n"
                 "</body></html>\n");
  const CgiResult r = site.Get("page=P&title=<T>");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(std::string(kHtml) +
                "<html>\n<title>&lt;T&gt;</title>\n1:&lt;T&gt;\n<b>2</b>\n3:&lt;T&gt;\n"
                "<option value=1>1\n<option value=2>2\n" +
                Footer(site) + "</body></html>\n",
            r.out);
}

TEST(ScriptPagesTest, FooterOnlyBeforeATopLevelTag) {
  CgiSite site;
  const std::string footer = Footer(site);
  ASSERT_FALSE(footer.empty());
  EXPECT_EQ('\n', footer.back());
  site.WritePage("Exit", "a\n'exit\n</body>\n");
  site.WritePage("Block", "'if 1\n</body>\n'endif\n");
  EXPECT_EQ(std::string(kHtml) + "a\n", site.Get("page=Exit").out);
  EXPECT_EQ(std::string(kHtml) + "</body>\n", site.Get("page=Block").out);
}

TEST(ScriptPagesTest, FormTextInShiftJisIsKeptInEucAndSentBackInShiftJis) {
  CgiSite site;
  site.WritePage("J", "$text|\\\\\n'charset sjis\n$text|\\\\\n'encode $text\n'charset euc\n$text\n");
  // The Shift_JIS bytes of a hiragana, percent-encoded as a browser sends them.
  const CgiResult r = site.Get("page=J&text=%82%A0");
  EXPECT_EQ(std::string(kHtml) + "\xA4\xA2|\x82\xA0|%A4%A2\n", r.out);
}

TEST(ScriptPagesTest, PagesThatWouldExhaustTheParserStillAnswer) {
  CgiSite site;
  std::string nested, elifs = "'if 0\n", lines;
  for (int i = 0; i < 100000; ++i) nested += "'if 1\n";
  for (int i = 0; i < 100000; ++i) elifs += "'elif 0\n";
  lines = "top\n" + std::string(50000, 'x') + "$" + std::string(5000, 'a') + "\n";
  site.WritePage("Nested", nested + "deep\n");
  site.WritePage("Elifs", elifs);
  site.WritePage("Long", lines);
  for (const char* page : {"Nested", "Elifs"}) {
    const CgiResult r = site.Get(std::string("page=") + page);
    EXPECT_EQ(0, r.status) << page;
    EXPECT_EQ(kHtml, r.out) << page;
  }
  const CgiResult r = site.Get("page=Long");
  EXPECT_EQ(0, r.status);
  // Lines arrive in pieces of 1022 bytes: the reference ends with its
  // piece, and the rest of the name is text of the next piece.
  const int taken = 1022 - 50000 % 1022 - 1;
  EXPECT_EQ(std::string(kHtml) + "top\n" + std::string(50000, 'x') + std::string(5000 - taken, 'a') + "\n",
            r.out);
}

}  // namespace
