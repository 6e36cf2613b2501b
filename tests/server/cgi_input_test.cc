#include "server/cgi_input.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "server/server.h"
#include "tests/test_util.h"

namespace {

std::string Decoded(const char* text) {
  std::string buffer(text);
  PercentDecode(&buffer[0]);
  return buffer.c_str();
}

}  // namespace

TEST(PercentDecodeTest, EscapesPlusAndCutOffEnds) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"a%2Bb+c", "a+b c"},
      {"%%41", "%41"},      // "%%" is one percent sign
      {"%4g", "\x04"},      // as far as hex digits reach
      {"%zz1", "%1"},       // no hex digit: a percent sign, two bytes eaten
      {"%e3%81%82", "\xe3\x81\x82"},
      {"ab%", "ab%"},       // a cut-off escape never reads past the end
      {"ab%4", "ab%4"},
      {"%", "%"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Decoded(c.in)) << c.in;
}

TEST(ParseQueryStringTest, OnlyTextIsDecodedAndEmptyValuesAreDropped) {
  struct Case { const char* query; const char* params; };
  const Case cases[] = {
      {"page=Top&text=a%2Bb+c", "page=Top;text=a+b c;"},
      {"name=a%2Bb", "name=a%2Bb;"},
      {"flag&page=Top", "page=Top;"},
      {"a=&b=1", "b=1;"},
      {"a=1&", "a=1;"},
      {"x%41=1", "x%41=1;"},
      {"TEXT=%41", "TEXT=A;"},
      {"a&b=&=c", "=c;"},
      // A name from the log comes back byte for byte, never converted.
      {"text=%E6%97%A5", "text=\xE6\x97\xA5;"},
      {"text=%82%A0", "text=\x82\xA0;"},
      {"texthex=2fC6FC&page=P", "text=/\xC6\xFC;page=P;"},
      {"texthex=2F0&texthex=2G&texthex=2F00&texthex=", ""},  // no whole pairs, a zero byte
  };
  for (const Case& c : cases) {
    HParams p;
    ParseQueryString(c.query, p);
    EXPECT_EQ(c.params, DumpParams(p)) << c.query;
  }
}

TEST(ParseFormBodyTest, EveryValueDecodedEmptyOnesKept) {
  HParams p;
  char body[] = "a=&b=x%41&c&d=1%2";
  ParseFormBody(body, p);
  EXPECT_EQ("a=;b=xA;d=1%2;", DumpParams(p));
  // Kept in EUC-JP whether the page that sent them was in UTF-8 or in
  // Shift_JIS; UTF-8 that EUC-JP cannot hold stays as it came.
  HParams q;
  char japanese[] = "u=%E3%81%82&s=%82%A0&e=%A4%A2&x=%F0%9F%98%80";
  ParseFormBody(japanese, q);
  EXPECT_EQ("u=\xA4\xA2;s=\xA4\xA2;e=\xA4\xA2;x=\xF0\x9F\x98\x80;", DumpParams(q));
}

TEST(ContentLengthTest, RefusesWhatIsNotASmallNumber) {
  struct Case { const char* text; long length; };
  const Case cases[] = {
      {nullptr, 0}, {"", 0}, {"12", 12}, {"-1", -1}, {"abc", -1}, {"12x", -1},
      {"99999999999999999999", -1}, {"16777216", 16777216}, {"16777217", -1},
  };
  for (const Case& c : cases) EXPECT_EQ(c.length, ContentLength(c.text, kMaxFormBody)) << (c.text ? c.text : "null");
}

TEST(ReadBodyTest, ShortBodyEndsAtEndOfInput) {
  ScratchDir dir;
  WriteFile(dir / "body", "a=1&b=2");
  FILE* in = fopen((dir / "body").c_str(), "r");
  ASSERT_NE(nullptr, in);
  EXPECT_STREQ("a=1&b=2", ReadBody(in, 1000).CStr());
  fclose(in);
}

TEST(CgiEnvironmentTest, CookieAndDocumentRoot) {
  setenv("HTTP_COOKIE", "xuser=1; user=2;user=3", 1);
  HString value("old");
  EXPECT_TRUE(GetCookie("user", value));
  EXPECT_STREQ("2", value.CStr());  // the name whole: not inside xuser
  EXPECT_FALSE(GetCookie("none", value));
  EXPECT_FALSE(GetCookie("use", value));
  EXPECT_FALSE(GetCookie("user=2", value));
  EXPECT_STREQ("2", value.CStr());
  unsetenv("HTTP_COOKIE");
  EXPECT_FALSE(GetCookie("user", value));

  setenv("PATH_TRANSLATED", "/www/docs/info/x", 1);
  setenv("PATH_INFO", "/info/x", 1);
  setenv("DOCUMENT_ROOT", "/other/", 1);
  HString root;
  DocumentRoot(root);
  EXPECT_STREQ("/www/docs", root.CStr());
  unsetenv("PATH_TRANSLATED");
  EXPECT_TRUE(DocumentRootStrict(root));
  EXPECT_STREQ("/other", root.CStr());
  unsetenv("DOCUMENT_ROOT");
  EXPECT_FALSE(DocumentRootStrict(root));
  unsetenv("PATH_INFO");
}

TEST(HServerTest, HomeDirFromArgv0) {
  HServer server;
  server.SetHomeDir("/www/cgi-bin/log.cgi");
  EXPECT_STREQ("/www/cgi-bin/", HomeDir.CStr());
  char cwd[1024];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
  server.SetHomeDir("sub/log.cgi");
  EXPECT_EQ(std::string(cwd) + "/sub/", HomeDir.CStr());
  server.SetHomeDir("log.cgi");
  EXPECT_EQ(std::string(cwd) + "/", HomeDir.CStr());
}

TEST(HServerTest, PageNamesThatLeavePageDirectory) {
  struct Case { const char* name; bool safe; };
  const Case cases[] = {
      {"Index", true}, {"sub/Page", true}, {"a..b", true}, {"..x/y", true},
      {"..", false}, {"../x", false}, {"sub/../../x", false}, {"/etc/passwd", false},
      {"sub/..", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.safe, IsSafePageName(c.name)) << c.name;
}
