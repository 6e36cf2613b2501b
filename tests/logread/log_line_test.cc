#include "logread/log_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

// A heap copy of exactly the line and its zero, so that the sanitizer
// catches any read past the end; each parser gets a fresh one.
std::vector<char> Copy(const char* line) {
  return std::vector<char>(line, line + std::char_traits<char>::length(line) + 1);
}

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

}  // namespace

TEST(LogLineTest, ParsersOverBothLayoutsAndHostileLines) {
  struct Case {
    const char* line;
    int format;
    int date;  // yyyymmdd, 0 when ParseLogDate is false
    const char* path;
    int length;
    const char* domain3;  // Unit 3
    const char* domain4;  // Unit 4
    int hour;
  };
  const Case cases[] = {
      {"a.b.c.jp - - [05/mar/1999:23:59:59 +0900] \"GET /a/b.html?x=1 HTTP/1.0\" 200 1234\n",
       1, 19990305, "/a/b.html", 9, "b.c.jp", "a.b.c.jp", 23},
      {"www.x.example.com - - [31/Dec/1998:00:10:00 +0000] \"GET / HTTP/1.0\" 200 10\n",
       1, 19981231, "/", 1, "example.com", "x.example.com", 0},
      {"10.0.0.1 - - [01/JAN/2000:09:05:00 +0900] \"GET /img/LOGO.GIF HTTP/1.0\" 200 5\n",
       1, 20000101, "/img/LOGO.GIF", 13, "10.0.0.1", "10.0.0.1", 9},
      {"h.a.b.arpa - - [28/Feb/2035:12:00:00 +0900] \"POST /cgi/x=1 HTTP/1.1\" 200 0\n",
       1, 20350228, "/cgi/x=1", 8, "h.a.b.arpa", "h.a.b.arpa", 12},
      {"host.example.org - - [05/Foo/1999:10:00:00 +0900] \"GET /x HTTP/1.0\" 200 1\n",
       1, 0, "/x", 2, "example.org", "host.example.org", 10},
      {"b.c.d.e.de - - [29/Feb/2000:08:00:00 +0900] \"GET /index.html\" 200 1\n",
       1, 20000229, "/index.html", 11, "d.e.de", "c.d.e.de", 8},
      // A request of "-": the " /" in the user agent is not a path.
      {"a.de - - [29/Feb/1999:07:00:00 +0900] \"-\" 408 0 \"-\" \"bot /crawl\"\n",
       1, 0, nullptr, 0, "a.de", "a.de", 7},
      // The day is two characters, not every digit up to the slash.
      {"h.com - - [123/Mar/1999:05:00:00 +0900] \"GET /d HTTP/1.0\"\n",
       1, 19990312, "/d", 2, "h.com", "h.com", 5},
      // IPv6 clients: the host's colons are not the time.
      {"2001:db8::beef - - [05/Mar/1999:21:30:00 +0900] \"GET /v6 HTTP/1.0\"\n",
       1, 19990305, "/v6", 3, "2001:db8::beef", "2001:db8::beef", 21},
      {"\xb0\xa1.example.jp - - [05/Mar/1999:01:02:03 +0900] \"GET /\xa4\xa2 HTTP/1.0\"\n",
       1, 19990305, "/\xa4\xa2", 3, "\xb0\xa1.example.jp", "\xb0\xa1.example.jp", 1},
      {"a.b.c.jp, 98/12/31, 9:05:00, /x/y.html, 200\n",
       0, 19981231, "/x/y.html", 9, "b.c.jp", "a.b.c.jp", 9},
      {"10.1.2.3, 00/01/02, 23:59:59, /last\r\n",
       0, 20000102, "/last", 5, "10.1.2.3", "10.1.2.3", 23},
      {"x.y.com, 80/01/01, 24:00:00, /q?a=1 b, 200\n",
       0, 19800101, "/q?a=1 b", 8, "y.com", "x.y.com", -1},
      {"x.y.net, 79/01/01, 07:00:00, /p\n", 0, 20790101, "/p", 2, "y.net", "x.y.net", 7},
      {"ab/c, 98/12/31, 10:00:00, /p\n", 0, 0, "/p", 2, "ab/c", "ab/c", 10},
      {":x, /p", 0, 0, "/p", 2, ":x", ":x", -1},
      {",/", 0, 0, nullptr, 0, nullptr, nullptr, -1},
      {"x, 99/12/", 0, 0, nullptr, 0, "x", "x", -1},
      {"host - - [", 1, 0, nullptr, 0, "host", "host", -1},
      {"host - - [05/", 1, 0, nullptr, 0, "host", "host", -1},
      {"host - - 05/Mar/1999:10:00:00 \"GET /", 1, 0, "/", 1, "host", "host", 10},
      {"a \"", 1, 0, nullptr, 0, "a", "a", -1},
      {" /", 1, 0, nullptr, 0, nullptr, nullptr, -1},
      {"", -1, 0, nullptr, 0, nullptr, nullptr, -1},
      {"\n", -1, 0, nullptr, 0, nullptr, nullptr, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<char> line = Copy(c.line);
    const int format = DetectLogFormat(line.data());
    EXPECT_EQ(c.format, format);
    HDate date;
    EXPECT_EQ(c.date != 0, ParseLogDate(line.data(), format, date));
    if (c.date != 0) {
      EXPECT_EQ(c.date, date.Number());
    }
    int length = -1;
    EXPECT_EQ(Text(c.path), Text(ExtractPagePath(line.data(), format, length)));
    EXPECT_EQ(c.length, length);
    line = Copy(c.line);
    EXPECT_EQ(Text(c.domain3), Text(ExtractDomain(line.data(), format, 3)));
    line = Copy(c.line);
    EXPECT_EQ(Text(c.domain4), Text(ExtractDomain(line.data(), format, 4)));
    line = Copy(c.line);
    EXPECT_EQ(c.hour, ExtractHour(line.data(), format));
  }
}

TEST(LogLineTest, DomainSuffixCountsLabelsFromTheEnd) {
  struct Case { const char* host; int unit; const char* domain; };
  const Case cases[] = {
      {"a.b.c.jp", 0, "b.c.jp"},         // an unset unit behaves as 3
      {"a.b.c.d.e.jp", 5, "b.c.d.e.jp"},
      {"x.a.b.c.net", 4, "b.c.net"},     // one label fewer under three letters
      {"www.example.info", 3, "www.example.info"},  // four letters: whole
      {".b.com", 3, "b.com"},            // a dot at the very start counts
      {".com", 3, ".com"},
  };
  for (const Case& c : cases) {
    std::vector<char> host = Copy(c.host);
    char* last = host.data() + host.size() - 2;
    EXPECT_EQ(std::string(c.domain), DomainSuffix(host.data(), last, c.unit)) << c.host;
  }
}

TEST(LogLineTest, IsImagePathLooksAtTheEndOnly) {
  struct Case { const char* path; int length; bool image; };
  const Case cases[] = {
      {"/img/LOGO.GIF", 13, true}, {"/a.jpeg", 7, true}, {".gif", 4, true},
      {".jpeg", 5, true},         {"/a.Jpg", 6, true},  {"/a.png", 6, false},
      {"/a.gif?x", 8, false},      {"gif", 3, false},    {"/a.gif", 5, false},  // length rules
  };
  for (const Case& c : cases) EXPECT_EQ(c.image, IsImagePath(c.path, c.length)) << c.path;
}

TEST(LogLineTest, DateFileNameFillsTheFileNamePartOnly) {
  ScratchDir dir;
  WriteFile(dir / "ac010305.log", "");
  HDate march5;
  march5.Set(2001, 3, 5);
  HDate invalid;
  invalid.Set(2001, 2, 29);
  struct Case { std::string pattern; const HDate* date; bool exists; std::string name; };
  const Case cases[] = {
      {"logs/QLyymmdd.log", &march5, false, "logs/QL010305.log"},
      {dir / "acyymmdd.log", &march5, true, dir / "ac010305.log"},
      {"ddmmyy", &march5, false, "050301"},
      {"yyyymmdd", &march5, false, "01yy0305"},    // only the first "yy"
      {"mm/dd\\x.yymmdd", &march5, false, "mm/dd\\x.010305"},  // after the later separator
      {"/var/log/yymm/access", &march5, false, "keep"},  // no dd in the file name
      {"YYMMDD", &march5, false, "keep"},          // lower case only
      {"yymmdd", &invalid, false, "keep"},
      {"", &march5, false, "keep"},
  };
  for (const Case& c : cases) {
    HString name("keep");
    EXPECT_EQ(c.exists, DateFileName(name, c.pattern.c_str(), *c.date)) << c.pattern;
    EXPECT_STREQ(c.name.c_str(), name.CStr()) << c.pattern;
  }
}
