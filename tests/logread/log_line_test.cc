#include "logread/log_line.h"

#include <gtest/gtest.h>

#include <time.h>

#include <string>
#include <vector>

#include "logread/log_split_reader.h"
#include "logread/split_clock.h"
#include "tests/test_util.h"

namespace {

// A heap copy of exactly the line and its zero, so that the sanitizer
// catches any read past the end; each parser gets a fresh one.
std::vector<char> Copy(const char* line) {
  return std::vector<char>(line, line + std::char_traits<char>::length(line) + 1);
}

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

// Runs the test in Tokyo, nine hours ahead of UTC, so that a JSON time read
// as UTC gives another day and hour.
class ZoneForTest {
 public:
  explicit ZoneForTest(const char* zone) {
    const char* saved = getenv("TZ");
    had_ = saved != nullptr;
    if (had_) saved_ = saved;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~ZoneForTest() {
    if (had_) {
      setenv("TZ", saved_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool had_ = false;
  std::string saved_;
};

// The Caddy-style line of the examples: 2026-12-09 16:00:00.5 UTC, 01:00 of
// 10 December in Tokyo.
const char kJson[] =
    "{\"level\":\"info\",\"ts\":1796832000.5,\"logger\":\"http.log.access\",\"msg\":\"handled request\","
    "\"request\":{\"remote_ip\":\"10.0.0.9\",\"client_ip\":\"203.0.113.5\",\"proto\":\"HTTP/2.0\","
    "\"method\":\"GET\",\"host\":\"example.com\",\"uri\":\"/a?b=1\",\"headers\":{\"User-Agent\":[\"x\"],"
    "\"Referer\":[\"y\"]}},\"bytes_read\":0,\"user_id\":\"\",\"duration\":0.001,\"size\":5120,"
    "\"status\":200}\n";

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

TEST(LogLineTest, FirstFieldDecidesTheLayout) {
  struct Case {
    const char* line;
    int format;
  };
  const Case cases[] = {
      {"example.com:80 1.2.3.4 - - [", 2},
      {"1.2.3.4:8080 5.6.7.8 - -", 2},
      {"[::1]:443 h - -", 2},
      {"::1 - - [", 1},
      {"2001:db8::1:80 - -", 1},
      {"host:abc - -", 1},
      {"host: - -", 1},
      {":80 - -", 1},
      {"host:123456 - -", 1},
      {"a:1:2 - -", 1},
      {"[::1] - -", 1},
      {"[a]b]:80 x", 1},
      {"[]:80 x", 1},
      {"a:80,b c", 0},
      {" {\"ts\":1}", 1},
      {"{x} - - [01/Jan/2000:00:00:00 +0000] \"GET /\"", -1},  // no JSON, though it was read as format 1
  };
  for (const Case& c : cases) EXPECT_EQ(c.format, DetectLogFormat(c.line)) << c.line;
}

TEST(LogLineTest, VirtualHostAndJsonLayoutsReadEveryField) {
  ZoneForTest tokyo("JST-9");
  struct Case {
    const char* line;
    int format;
    int date;  // yyyymmdd, 0 when ParseLogDate is false
    const char* path;
    const char* domain;  // Unit 3
    const char* vhost;
    int hour;
    int status;
    long long bytes;
    int zone;
  };
  const Case cases[] = {
      {"example.com:80 203.0.113.5 - - [09/Dec/2026:10:00:00 +0000] \"GET /a?b HTTP/1.1\" 200 123 \"-\" \"UA\"\n", 2,
       20261209, "/a", "203.0.113.5", "example.com", 10, 200, 123, 0},
      // The escaped quotes and the fields in the user agent count for nothing.
      {"www.example.org:443 host.a.example.co.jp - - [09/Dec/2026:23:59:59 +0900] \"GET / HTTP/2.0\" 304 - \"-\" "
       "\"x \\\"q\\\" /y\\\" 500 7\"\n",
       2, 20261209, "/", "example.co.jp", "www.example.org", 23, 304, 0, 540},
      {"[2001:db8::1]:8080 2001:db8::2 - - [01/Jan/2027:00:00:00 -0500] \"GET /v6 HTTP/1.1\" 404 9\n", 2, 20270101,
       "/v6", "2001:db8::2", "[2001:db8::1]", 0, 404, 9, -300},
      {kJson, 3, 20261210, "/a", "203.0.113.5", "example.com", 1, 200, 5120, kNoZone},
      // Members in any order and escaped; only the request's own count,
      // however deep the others nest; an empty client_ip gives remote_ip.
      {"{\"status\":404,\"uri\":\"/top\",\"request\":{\"uri\":\"\\/x\\u0041?q\",\"h\":{\"a\":[[{\"uri\":\"/no\"}]]},"
       "\"client_ip\":\"\",\"remote_ip\":\"2001:db8::beef\",\"host\":\"example.com:8443\"},\"ts\":1796832000}",
       3, 20261210, "/xA", "2001:db8::beef", "example.com", 1, 404, -1, kNoZone},
      // Older and other time forms: an offset of its own gives the line
      // its day; milliseconds and nanoseconds; remote_addr without port.
      {"{\"ts\":\"2026-12-09T23:30:00.123-05:00\",\"status\":200,\"size\":7,"
       "\"request\":{\"remote_addr\":\"198.51.100.7:51234\",\"uri\":\"/old\"}}",
       3, 20261209, "/old", "198.51.100.7", nullptr, 23, 200, 7, -300},
      {"{\"ts\":1796832000500,\"request\":{\"remote_addr\":\"[2001:db8::7]:443\",\"uri\":\"/ms\"}}", 3,
       20261210, "/ms", "2001:db8::7", nullptr, 1, -1, -1, kNoZone},
      {"{\"ts\":1796832000000000000,\"request\":{\"remote_addr\":\"203.0.113.9\",\"remote_ip\":\"10.1.1.1\"}}",
       3, 20261210, nullptr, "10.1.1.1", nullptr, 1, -1, -1, kNoZone},
      {"{\"ts\":\"2026/12/09 10:00:00\"}", 3, 20261209, nullptr, nullptr, nullptr, 10, -1, -1, kNoZone},
      {"{\"ts\":\"09/Dec/2026:10:00:00 +0000\"}", 3, 20261209, nullptr, nullptr, nullptr, 10, -1, -1, 0},
      {"{\"ts\":\"2026-02-30T10:00:00Z\"}", 3, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":\"2026-12-09T10:00:00+25:00\"}", 3, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":\"2026-12-09T10:00:00Zjunk\"}", 3, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      // A decoded zero byte or line feed ends the path and the address.
      {"{\"request\":{\"uri\":\"/a\\u0000b\",\"client_ip\":\"1.2.3.4\\nx\"}}", 3, 0, "/a", "1.2.3.4", nullptr, -1, -1,
       -1, kNoZone},
      {"{\"level\":\"info\",\"request\":{\"uri\":\"*\",\"host\":\"\"}}", 3, 0, nullptr, nullptr, nullptr, -1, -1, -1,
       kNoZone},
      // Out of range or of the wrong type: a member as good as missing.
      {"{\"ts\":1e300,\"status\":20000000000000000000,\"size\":-5,\"request\":{\"uri\":\"/h\"}}", 3, 0, "/h", nullptr,
       nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":\"1796832000\",\"status\":\"200\",\"size\":1.5,\"request\":[\"uri\",\"/x\"]}", 3, 0, nullptr, nullptr,
       nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":-1,\"status\":99,\"size\":18446744073709551615}", 3, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      // The last of duplicate members counts; a size is exact past 2^53.
      {"{\"status\":200,\"status\":\"x\",\"size\":9007199254740993,\"request\":{\"uri\":\"/d\",\"uri\":7}}", 3, 0,
       nullptr, nullptr, nullptr, -1, -1, 9007199254740993, kNoZone},
      // No JSON at all: no layout, nothing read.
      {"{\"ts\":1796832000,\"request\":{\"uri\":\"/a\"}", -1, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":1796832000} x", -1, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":1796832000,\"request\":{\"uri\":\"/\xff\"}}", -1, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
      {"{\"ts\":1e999}", -1, 0, nullptr, nullptr, nullptr, -1, -1, -1, kNoZone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<char> line = Copy(c.line);
    const int format = DetectLogFormat(line.data());
    EXPECT_EQ(c.format, format);
    HDate date;
    EXPECT_EQ(c.date != 0, ParseLogDate(line.data(), c.format, date));
    if (c.date != 0) {
      EXPECT_EQ(c.date, date.Number());
    }
    EXPECT_EQ(c.zone, LineZoneOffset(line.data(), c.format));
    EXPECT_EQ(c.status, ExtractStatus(line.data(), c.format));
    EXPECT_EQ(c.bytes, ExtractBytes(line.data(), c.format));
    int length = -1;
    const std::string path = Text(ExtractPagePath(line.data(), c.format, length));
    EXPECT_EQ(Text(c.path), path);
    EXPECT_EQ(c.path == nullptr ? 0 : static_cast<int>(path.size()), length);
    line = Copy(c.line);
    EXPECT_EQ(Text(c.domain), Text(ExtractDomain(line.data(), c.format, 3)));
    line = Copy(c.line);
    EXPECT_EQ(Text(c.vhost), Text(ExtractVirtualHost(line.data(), c.format)));
    line = Copy(c.line);
    EXPECT_EQ(c.hour, ExtractHour(line.data(), c.format));
    if (c.format != kJsonLayout) {
      EXPECT_EQ(c.hour, ReadHour(c.line, c.format));
    }
  }
}

TEST(LogLineTest, StatusAndBytesOfTheSpaceAndCommaLayouts) {
  struct Case {
    const char* line;
    const char* path;
    int status;
    long long bytes;
    int hour;
  };
  const Case cases[] = {
      {"1.2.3.4 - - [09/Dec/2026:10:00:00 +0000] \"GET /a HTTP/1.1\" 200 1234 \"-\" \"UA\"", "/a", 200, 1234, 10},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"GET /a\\\"b\\\\ HTTP/1.1\" 404 - \"r\" \"u\"", "/a\\", 404, 0, 10},
      // A quote in the user name is escaped: the request is still found.
      {"h - us\\\"er [09/Dec/2026:10:00:00 +0000] \"GET /u HTTP/1.1\" 200 5", "/u", 200, 5, 10},
      {"h - [a:b] [09/Dec/2026:11:00:00 +0000] \"GET / HTTP/2\" 301 0 \"-\" \"a\\\" 500 99 \\\"b\"", "/", 301, 0, 11},
      {"2001:db8::1 - - [09/Dec/2026:12:00:00 +0000] \"GET /x HTTP/2.0\" 500 1234567890123456789", "/x", 500, -1, 12},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"-\" 408 0\n", nullptr, 408, 0, 10},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"GET /x 200 1", "/x", -1, -1, 10},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"GET /\" 20 1\r\n", "/", -1, 1, 10},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"GET /\" 2000 12x", "/", -1, -1, 10},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"GET /\" 099 -", "/", -1, 0, 10},
      {"h - - [09/Dec/2026:10:00:00 +0000] \"GET /\"200 1", "/", -1, -1, 10},
      {"a.b.c.jp, 98/12/31, 9:05:00, /x/y.html, 200\n", "/x/y.html", 200, -1, 9},
      {"10.1.2.3, 00/01/02, 23:59:59, /last\r\n", "/last", -1, -1, 23},
      {"x, 80/01/01, 1:00:00, /q?a=1 b, 2000", "/q?a=1 b", -1, -1, 1},
      {"x, 80/01/01, 1:00:00, /q,404,", "/q", 404, -1, 1},
      // Nothing between the colons, or no colon after the hour: no hour.
      {"h - - [09/Dec/2026::00:00 +0000] \"GET /\" 200 1", "/", 200, 1, -1},
      {"h - - [09/Dec/2026:10 +0000] \"GET /\" 200 1", "/", 200, 1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<char> line = Copy(c.line);
    const int format = DetectLogFormat(line.data());
    EXPECT_EQ(c.status, ExtractStatus(line.data(), format));
    EXPECT_EQ(c.bytes, ExtractBytes(line.data(), format));
    int length = 0;
    EXPECT_EQ(Text(c.path), Text(ExtractPagePath(line.data(), format, length)));
    line = Copy(c.line);
    EXPECT_EQ(c.hour, ExtractHour(line.data(), format));
    EXPECT_EQ(c.hour, ReadHour(c.line, format));
  }
}

// Nesting costs the parser a bit a level, and no line past the split's
// limit is parsed at all.
TEST(LogLineTest, DeepAndLongJsonLines) {
  ZoneForTest tokyo("JST-9");
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  const std::string nested = "{\"a\":" + deep + ",\"ts\":1796832000}";
  HDate date;
  EXPECT_EQ(3, DetectLogFormat(nested.c_str()));
  EXPECT_TRUE(ParseLogDate(nested.c_str(), 3, date));
  EXPECT_EQ(20261210, date.Number());
  EXPECT_EQ(-1, DetectLogFormat(("{\"a\":" + std::string(200000, '[')).c_str()));
  const std::string pad = "{\"ts\":1796832000,\"pad\":\"";
  std::string longest = pad + std::string(kMaxSplitLine - pad.size() - 2, 'x') + "\"}";
  EXPECT_EQ(3, DetectLogFormat(longest.c_str()));
  longest.insert(pad.size(), "x");
  EXPECT_EQ(-1, DetectLogFormat(longest.c_str()));
}

// The parse of a line is kept for the parsers that follow on the same
// buffer, also after they have cut it; another line there is parsed anew.
TEST(LogLineTest, JsonLineIsParsedOnceButNeverTakenForAnother) {
  ZoneForTest tokyo("JST-9");
  char line[512];
  snprintf(line, sizeof line, "%s", kJson);
  ASSERT_EQ(3, DetectLogFormat(line));
  int length = 0;
  EXPECT_STREQ("/a", ExtractPagePath(line, 3, length));
  EXPECT_STREQ("203.0.113.5", ExtractDomain(line, 3, 3));
  EXPECT_EQ(1, ExtractHour(line, 3));
  EXPECT_EQ(200, ExtractStatus(line, 3));
  EXPECT_STREQ("example.com", ExtractVirtualHost(line, 3));
  snprintf(line, sizeof line, "%s", "{\"ts\":1796896800,\"request\":{\"uri\":\"/b\",\"client_ip\":\"1.2.3.4\"}}");
  EXPECT_EQ(19, ExtractHour(line, 3));
  EXPECT_STREQ("/b", ExtractPagePath(line, 3, length));
  EXPECT_STREQ("1.2.3.4", ExtractDomain(line, 3, 3));
  EXPECT_EQ(-1, ExtractStatus(line, 3));
  snprintf(line, sizeof line, "%s", "{\"ts\":1796896800,\"request\":{\"uri\":\"/b\"}");  // cut short
  EXPECT_EQ(-1, ExtractHour(line, 3));
}

// A day file of every layout: each line counts in its own, and a JSON line
// longer than a read is gathered whole (a line of another layout counts by
// its first piece only).
TEST(LogLineTest, CountPagePathsReadsEveryLayout) {
  ZoneForTest tokyo("JST-9");
  ScratchDir dir;
  const std::string json_long =
      "{\"ts\":1796832000,\"request\":{\"uri\":\"/long\",\"client_ip\":\"9.9.9.9\","
      "\"headers\":{\"Cookie\":[\"" +
      std::string(1500, 'c') + " /x\"]}}}\n";
  WriteFile(dir / "day.log",
            "a.example.jp - - [09/Dec/2026:10:00:00 +0900] \"GET /one HTTP/1.1\" 200 1\n"
            "example.com:80 203.0.113.5 - - [09/Dec/2026:11:00:00 +0900] \"GET /two HTTP/1.1\" 200 1\n" +
                std::string(kJson) + json_long + "b.example.jp, 26/12/09, 13:00:00, /four, 200\n");
  std::vector<std::string> seen;
  const int counted =
      CountPagePaths((dir / "day.log").c_str(), kLogLineSize - 1, [&](char* line, int format, const char* path, int) {
        const std::string text = path;
        const int hour = ExtractHour(line, format);
        seen.push_back(text + " " + Text(ExtractDomain(line, format, 3)) + " " + std::to_string(hour));
        return true;
      });
  EXPECT_EQ(5, counted);
  const std::vector<std::string> expected = {"/one a.example.jp 10", "/two 203.0.113.5 11", "/a 203.0.113.5 1",
                                             "/long 9.9.9.9 1", "/four b.example.jp 13"};
  EXPECT_EQ(expected, seen);
}

TEST(LogLineTest, ReferrerAndUserAgentOfEveryLayout) {
  struct Case {
    const char* line;
    int format;
    int referrer_length;
    const char* referrer;
    const char* agent;
  };
  const Case cases[] = {
      {"1.2.3.4 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200 5 \"https://a.example.co.jp/x?q=1\" "
       "\"Mozilla/5.0 (X11; Linux x86_64)\"\n",
       1, 29, "https://a.example.co.jp/x?q=1", "Mozilla/5.0 (X11; Linux x86_64)"},
      // Escapes as the servers write them; "-" is none.
      {"::1 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/2.0\" 404 - \"-\" \"say \\\"hi\\\" \\\\ \\x41\"\n", 1, 0, "",
       "say \"hi\" \\ A"},
      {"v.example:80 1.2.3.4 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200 5 \"r\" \"ua\"\n", 2, 1, "r",
       "ua"},
      // The common layout has neither; an unclosed field is none.
      {"1.2.3.4 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200 5\n", 1, -1, "", ""},
      {"1.2.3.4 - - [09/Dec/2026:10:00:00 +0000] \"GET / HTTP/1.1\" 200 5 \"open\n", 1, -1, "", ""},
      {"h, 99/01/05, 0:10:00, /a.html, 200\n", 0, -1, "", ""},
      {"{\"ts\":1796832000,\"request\":{\"headers\":{\"User-Agent\":[\"curl/8\",\"x\"],\"referer\":[\"https://r/\"]}}}",
       3, 10, "https://r/", "curl/8"},
      {"{\"ts\":1796832000,\"request\":{\"uri\":\"/\",\"headers\":{\"X\":[\"y\"]}},\"headers\":{\"Referer\":[\"no\"]}}", 3,
       0, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ASSERT_EQ(c.format, DetectLogFormat(c.line));
    char out[64];
    EXPECT_EQ(c.referrer_length, ExtractReferrer(c.line, c.format, out, sizeof out));
    EXPECT_STREQ(c.referrer, out);
    ExtractUserAgent(c.line, c.format, out, sizeof out);
    EXPECT_STREQ(c.agent, out);
  }
  // Cut to fit, always ended.
  char small[5];
  EXPECT_EQ(4, ExtractUserAgent(cases[0].line, 1, small, sizeof small));
  EXPECT_STREQ("Mozi", small);
}

TEST(ReferrerHostTest, TakesTheHostOfAnAbsoluteAddressOnly) {
  const struct {
    const char* referrer;
    const char* host;
  } kCases[] = {
      {"http://www.example.org/a?b", "www.example.org"},
      {"https://User:pw@Example.ORG:8443/x@y", "Example.ORG"},
      {"http://[2001:db8::1]:80/", "2001:db8::1"},
      {"android-app://com.example", "com.example"},
      {"http://h.example#frag", "h.example"},
      {"/relative/page", ""},
      {"-", ""},
      {"http:///nohost", ""},
      {"http://[2001:db8::1/", ""},
      {"1http://digit.first/", ""},
  };
  for (const auto& c : kCases) {
    char out[64] = "x";
    EXPECT_EQ(static_cast<int>(strlen(c.host)), ReferrerHost(c.referrer, out, sizeof out)) << c.referrer;
    EXPECT_STREQ(c.host, out) << c.referrer;
  }
  char small[4];
  EXPECT_EQ(0, ReferrerHost("http://abcd/", small, sizeof small));
  EXPECT_EQ(3, ReferrerHost("http://abc/", small, sizeof small));
}
