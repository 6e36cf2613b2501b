// Template pages rendered by the installed program: references, blocks,
// includes, charsets and pages built to break the parser.
#include <gtest/gtest.h>

#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";

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
                "<option value=1>1\n<option value=2>2\n</body></html>\n",
            r.out);
}

// A form value comes in the charset of the page that sent it (UTF-8, or
// Shift_JIS from a page that asks for it), is kept in EUC-JP and goes out
// in the charset the page asks for.
TEST(ScriptPagesTest, FormTextIsKeptInEucAndSentBackInThePagesCharset) {
  CgiSite site;
  site.WritePage("J", "$v|\\\\\n'charset sjis\n$v|\\\\\n'charset utf-8\n$v|\\\\\n'encode $v\n'charset euc\n$v\n");
  // The hiragana A, percent-encoded as a browser sends it.
  for (const char* sent : {"%82%A0", "%E3%81%82"}) {
    const std::string body = std::string("page=J&v=") + sent;
    const CgiResult r = site.Run({{"REQUEST_METHOD", "POST"},
                                  {"CONTENT_TYPE", "application/x-www-form-urlencoded"},
                                  {"CONTENT_LENGTH", std::to_string(body.size())}},
                                 body);
    EXPECT_EQ(std::string(kHtml) + "\xA4\xA2|\x82\xA0|\xE3\x81\x82|%A4%A2\n", r.out) << sent;
  }
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

TEST(ScriptPagesTest, EveryDirectiveInOnePage) {
  CgiSite site;
  site.WritePage("All",
                 "'set $d = System.Date\n"
                 "'init $who = World\n"
                 "'init $page = ignored\n"
                 "'$copy = $who\n"
                 "'inc $n\n"
                 "'inc $n 5\n"
                 "'$System.Add tags Items\n"
                 "'$System.tags.Add red\n"
                 "'$System.tags.Add green\n"
                 "'$System.tags.OrderUp green\n"
                 "Hi $who/$copy/$_raw/$raw/$n/$d.Year$/$d.Month$/$d.wdayen/$d.prevday.WDay\n"
                 "'options $pick in $System.tags\n"
                 "'options $m in 1 to 12 unit _Month step 5\n"
                 "'options $h in 0 to 23 unit _Hour step 11\n"
                 "'options $mi in 0 to 10 unit _Minute step 5\n"
                 "'options $x in 8 to 10 unit kg\n"
                 "'options $x in 9 to 10 unit \xCA\xAC\n"
                 "'autolink $note\n"
                 "'encode $who\n"
                 "$who\n"
                 "'for each $c in color\n"
                 "$index:$c \\\\\n"
                 "'next\n"
                 "'for $i = 3 to 1\n"
                 "'if $i = 3\n"
                 "three\n"
                 "'elif $i = 2\n"
                 "'exit\n"
                 "'else\n"
                 "never\n"
                 "'endif\n"
                 "'next\n"
                 "never\n");
  const CgiResult r = site.Run(
      {{"QUERY_STRING",
        "page=All&raw=<i>&n=9&pick=green&m=6&h=11&color=a&color=b&Date=19990105&x=9&note=see+http://a.b/c?d=e+me@x.org"}},
      "", "2000-03-01 12:00:00");
  EXPECT_EQ(std::string(kHtml) +
                "Hi World/World/<i>/&lt;i&gt;/15/1999/1/Tue/\xB7\xEE\n"
                "<option selected>green\n<option>red\n"
                "<option value=1>Jan\n<option value=6 selected>Jun\n<option value=11>Nov\n"
                "<option value=0>am 12\n<option value=11 selected>am 11\n<option value=22>pm 10\n"
                "<option value=0>:00\n<option value=5>:05\n<option value=10>:10\n"
                "<option value=8>8kg\n<option value=9 selected>9kg\n<option value=10>10kg\n"
                "<option value=9 selected>09\xCA\xAC\n<option value=10>10\xCA\xAC\n"
                "see+<a href=\"http://a.b/c?d\">http://a.b/c?d</a>=<a href=\"mailto:e+me@x.org\">e+me@x.org</a><br>\n"
                "World\n"
                "1:a 2:b three\n",
            r.out);
}

}  // namespace
