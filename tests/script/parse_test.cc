#include "script/parse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "server/server_script.h"
#include "tests/script/script_fixture.h"

namespace {

std::vector<std::string> Tokens(const char* text) {
  HStringList list;
  Tokenize(text, &list);
  std::vector<std::string> out;
  for (HListNode* node = list.Head(); node != nullptr;) {
    out.push_back(static_cast<HString*>(HList::Next(node))->CStr());
  }
  return out;
}

TEST(TokenizeTest, BlanksQuotesAndNoEscapes) {
  using V = std::vector<std::string>;
  struct Case { const char* text; V tokens; };
  const Case cases[] = {
      {"set $a = b\n", V{"set", "$a", "=", "b"}},
      {" \t a\r\n", V{"a"}},
      {"if \"a b\" = $x", V{"if", "a b", "=", "$x"}},
      {"x\"y z", V{"x\"y", "z"}},           // a quote inside a token is a byte
      {"a \"\" b", V{"a", "", "b"}},        // "" is an empty token
      {"a \"open quote\n", V{"a", "open quote\n"}},  // runs to the end
      {"\"a\"b", V{"a", "b"}},              // the closing quote ends the token
      {"", V{}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.tokens, Tokens(c.text)) << c.text;
}

using TextLineTest = ScriptTest;

TEST_F(TextLineTest, References) {
  Param("name", "<b>");
  Param("count", "3");
  Param("n", "5");
  Param("unit", "yen");
  Param("a", "A");
  struct Case { const char* line; const char* out; };
  const Case cases[] = {
      {"Hello $name!\n", "Hello &lt;b&gt;!\n"},
      {"Hello $_name!\n", "Hello <b>!\n"},       // unescaped without the "_"
      {"$count$items\n", "3items\n"},            // the ending "$" is eaten
      {"a$ b $1 $\n", "a$ b $1 $\n"},            // no name after "$"
      {"Total: $n.\n", "Total: \n"},             // the period is in the name
      {"price.$unit.x\n", "price.yen.x\n"},      // plain form after a period
      {"$missing|\n", "|\n"},
      {"$a$a\n", "Aa\n"},                      // the second "$" ends the first name
      {"a\\\\\nb\n", "ab\n"},                    // two backslashes join lines
      {"\\\\\n", ""},
      {"a\\\\ \n", "a\\\\ \n"},                  // only right before the feed
      {"$a\\\\\n$a\n", "AA\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Render(c.line)) << c.line;
}

TEST_F(TextLineTest, LongLinesArriveInPiecesOf1022Bytes) {
  // The second piece begins with an apostrophe: it is a directive line.
  EXPECT_EQ(std::string(1022, 'x') + "after\n",
            Render(std::string(1022, 'x') + "'set a = b\nafter\n"));
  // A reference cut by the piece boundary ends there.
  Param("ab", "AB");
  Param("a", "A");
  EXPECT_EQ(std::string(1020, 'x') + "Ab\n", Render(std::string(1020, 'x') + "$ab\n"));
  // A zero byte ends what its line shows; the next line is read whole.
  EXPECT_EQ("abnext\n", Render(std::string("ab\0cd\nnext\n", 11)));
  // A very long line comes out whole.
  const std::string line(100000, 'y');
  EXPECT_EQ(line + "\n", Render(line + "\n"));
}

TEST_F(TextLineTest, DirectiveLinesAndComments) {
  const char* page =
      "'this is a note\n"
      "'   \t'another\n"
      "'endif\n"          // stray end words are dropped
      "'next\n"
      "'\n"
      "text\n"
      "' For later use\n"  // a note beginning with a keyword opens a block
      "hidden\n"
      "'next\n"
      "end\n";
  EXPECT_EQ("text\nend\n", Render(page));
}

TEST_F(TextLineTest, IncludesAreReadOncePerPage) {
  HScript script;
  WritePage("head.html", "head $x\n<!--#include file=\"head.html\"-->\n");
  Param("x", "1");
  const char* page =
      "<!--#include file=\"head.html\"-->\n"
      "'for $x = 2 to 3\n"
      "<!--#include file=\"head.html\"-->trailing text is dropped\n"
      "'next\n"
      "<!--#include file=\"missing.html\"-->\n"
      "<!--#include file=\"head.html\n"   // no closing quote: dropped
      "<!--#include FILE=\"head.html\"-->\n";
  EXPECT_EQ(
      "head 1\n<!--#include file=\"head.html\"-->\n"
      "head 2\n<!--#include file=\"head.html\"-->\n"
      "head 3\n<!--#include file=\"head.html\"-->\n"
      "<!--#include FILE=\"head.html\"-->\n",
      Render(script, page));
  EXPECT_EQ(1, IncludeCache.Count());
}

TEST_F(TextLineTest, UnclosedBlocksRenderWhatWasRead) {
  EXPECT_EQ("a\nb\nb\n", Render("a\n'for $i = 1 to 2\nb\n"));
  EXPECT_EQ("x\n", Render("'if 1\n'for $i = 1 to 1\nx\n"));
}

TEST_F(TextLineTest, DeepNestingIsCutAtTheDepthLimit) {
  const int depth = 300;
  std::string page, expected;
  for (int i = 0; i < depth; ++i) {
    page += "'if 1\nL" + std::to_string(i) + "\n";
    if (i < HScriptReader::kMaxDepth) expected += "L" + std::to_string(i) + "\n";
  }
  for (int i = 0; i < depth; ++i) page += "'endif\nE\n";
  // The template ends where the limit is reached: no E line is read.
  EXPECT_EQ(expected, Render(page));
}

TEST_F(TextLineTest, HugeNestingAndElifChainsDoNotCrash) {
  std::string page;
  for (int i = 0; i < 200000; ++i) page += "'for $i = 1 to 1\n";
  page += "x\n";
  EXPECT_EQ("", Render(page));  // cut before the text
  std::string chain = "'if 0\n";
  for (int i = 0; i < 100000; ++i) chain += "'elif 0\n";
  chain += "'else\nlast\n'endif\n";
  EXPECT_EQ("", Render(chain));  // the else lies beyond the limit
  std::string open;
  for (int i = 0; i < 100000; ++i) open += "'if $x\n";
  EXPECT_EQ("", Render(open));
}

TEST_F(TextLineTest, IncludesCountTheirOwnDepth) {
  // An include at the deepest level whose file is nested as deep again.
  std::string inner, page;
  for (int i = 0; i < 1000; ++i) inner += "'if 1\n";
  WritePage("deep.html", inner);
  for (int i = 1; i < HScriptReader::kMaxDepth; ++i) page += "'for $i = 1 to 1\n";
  page += "<!--#include file=\"deep.html\"-->\nx\n";
  EXPECT_EQ("x\n", Render(page));
}

// Blocks keep their lines and parse them when first run; a page renders
// exactly as when every block is parsed at once.
TEST_F(TextLineTest, KeptBlocksRenderAsBlocksParsedAtOnce) {
  WritePage("part.html", "P$x\n'if $x = 2\ntwo\n'endif\n");
  const std::string long_line(3000, 'w');
  std::string deep = "'for $k = 1 to 2\n";
  for (int i = 0; i < 300; ++i) deep += "'if 1\nD" + std::to_string(i) + "\n";
  deep += "tail\n";
  const std::vector<std::string> pages = {
      "'for $x = 1 to 3\n'if $x = 1\none\n'elif $x = 2\n<!--#include file=\"part.html\"-->\n'else\nother $x\n'endif\n'next\n",
      "'if 0\n'for $i = 1 to 2\nno\n'next\n'elseif\nelse-prefix\n'endif\nafter\n",
      "'iffy 1\ny\n'endiffy\n'format $i = 1 to 2\nf$i\n'nextt\n",              // keywords as prefixes
      "'for $i = 1 to 2\n'endif\nstray $i\n'next\n'if 1\n'next\nstray\n'endif\n",  // ends of the other kind
      "'if 1\n'set $a = 5\n$a\n'$b = 6\n$b\n'a comment\n'endif\n",
      "'if 1\n" + long_line + "\n'" + long_line + "\n'endif\nend\n",
      "'if 1\n'if 0\nx\n'else\n'for $i = 2 to 1\n$i\n'next\n'endif\n",         // unclosed at the end
      "'if 1\n'elif\nnever\n'endif\n'if\nno condition\n'else\nnot either\n'endif\n",
      deep,
  };
  for (const std::string& page : pages) {
    HScriptParse::lazy_blocks = false;
    const std::string at_once = Render(page);
    IncludeCache.Clear();
    HScriptParse::lazy_blocks = true;
    EXPECT_EQ(at_once, Render(page)) << page.substr(0, 200);
    IncludeCache.Clear();
  }
}

TEST_F(TextLineTest, LoadReplacesThePreviousTree) {
  HScript script;
  EXPECT_EQ("one\n", Render(script, "one\n"));
  EXPECT_EQ("two\n", Render(script, "two\n"));
}

using ServerScriptTest = ScriptTest;

// The pages carry their own footer: the script adds nothing to them.
TEST_F(ServerScriptTest, PagesAreWrittenAsTheyStand) {
  HServerScript script;
  for (const char* page : {"<html>\nx</body></html>\n", "a\n</Body>\n", "'if 1\n</body>\n'endif\n"}) {
    std::string expected = page;
    if (expected[0] == '\'') expected = "</body>\n";
    EXPECT_EQ(expected, Render(script, page)) << page;
  }
  EXPECT_EQ("a\n", Render(script, "a\n'exit\n</body>\n"));
  EXPECT_NE(0, run_result_);
}

}  // namespace
