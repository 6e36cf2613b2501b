#include "script/encoding.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "tests/test_util.h"

namespace {

// A heap copy of exactly the text and its zero byte, so that AddressSanitizer
// reports any read past the terminator.
std::unique_ptr<char[]> Exact(const std::string& text) {
  std::unique_ptr<char[]> p(new char[text.size() + 1]);
  memcpy(p.get(), text.c_str(), text.size() + 1);
  return p;
}

std::string Str(const HString& s) { return std::string(s.CStr(), s.Length()); }

// Byte sequences from an independent converter: EUC-JP, Shift_JIS.
struct Pair {
  const char* name;
  const char* euc;
  const char* sjis;
};
const Pair kPairs[] = {
    {"hiragana a", "\xA4\xA2", "\x82\xA0"},
    {"kanji (even and odd rows)", "\xB4\xC1\xBB\xFA", "\x8A\xBF\x8E\x9A"},
    {"three kanji", "\xC6\xFC\xCB\xDC\xB8\xEC", "\x93\xFA\x96\x7B\x8C\xEA"},
    {"katakana a", "\xA5\xA2", "\x83\x41"},
    {"odd row, low cell", "\xCF\xD3", "\x98\x72"},
    {"row above 0x5E", "\xF4\xA6", "\xEA\xA4"},
    {"long vowel mark", "\xA1\xBC", "\x81\x5B"},
    {"wave dash", "\xA1\xC1", "\x81\x60"},
    {"trail byte is a backslash", "\xC9\xBD", "\x95\x5C"},
    {"half-width katakana", "\x8E\xB1", "\xB1"},
    {"three half-width", "\x8E\xC3\x8E\xBD\x8E\xC4", "\xC3\xBD\xC4"},
    {"mixed with ASCII", "a\xB4\xC1 b", "a\x8A\xBF b"},
};

TEST(EucToSjisTest, KnownCharacters) {
  for (const Pair& p : kPairs) EXPECT_EQ(p.sjis, Str(EucToSjis(Exact(p.euc).get()))) << p.name;
}

TEST(SjisToEucTest, KnownCharacters) {
  for (const Pair& p : kPairs) EXPECT_EQ(p.euc, Str(SjisToEuc(Exact(p.sjis).get()))) << p.name;
}

TEST(JisToEucTest, EscapesSwitchTheDoubleByteMode) {
  struct Case { const char* jis; const char* euc; };
  const Case cases[] = {
      {"\x1B$B4A;z\x1B(B", "\xB4\xC1\xBB\xFA"},              // new JIS
      {"\x1B$@$\"\x1B(J", "\xA4\xA2"},                        // old JIS, roman
      {"a\x1B$B$\"\x1B(Bb", "a\xA4\xA2" "b"},                 // text around it
      {"\x1B$B$\"\n$\"", "\xA4\xA2\n$\""},                    // line feed ends it
      {"\x1B$B$\"\r\n", "\xA4\xA2\r\n"},
      {"\x1BK$\"\x1BH", "\xA4\xA2"},                          // the ESC K form
  };
  for (const Case& c : cases) EXPECT_EQ(c.euc, Str(JisToEuc(Exact(c.jis).get()))) << c.jis;
}

TEST(DetectKanjiCodeTest, Classification) {
  struct Case { const char* text; KanjiCode code; };
  const Case cases[] = {
      {"plain ascii", kKanjiAscii},
      {"\x1B$B4A\x1B(B", kKanjiJisNew},
      {"\x1B$@4A\x1B(B", kKanjiJisOld},
      {"\x1BK4A", kKanjiJisNec},
      {"\x1B(B", kKanjiAscii},
      {"\x8A\xBF\x8E\x9A", kKanjiSjis},           // lead 0x81..0x9F
      {"\xC6\xFC\xCB\xDC", kKanjiEuc},            // second byte 0xF0..0xFE
      {"\xA4\xA2", kKanjiEucOrSjis},              // both readings possible
      {"\xB1", kKanjiSjis},                       // one half-width byte
      {"\xB1" "A", kKanjiSjis},
      {"\xF4\xA6", kKanjiEuc},                    // first byte 0xF0..0xFE
      {"\x8E\xB1", kKanjiEucOrSjis},
      {"\x8E\x41", kKanjiSjis},
      {"\xC8\xE0\xFD", kKanjiEuc},                // decided by a later byte
      {"\xC8\xE0\x85", kKanjiSjis},
      {"\xEA\x41", kKanjiSjis},                   // lead 0xE0..0xEF
      {"\xEA\xFE", kKanjiEuc},
      {"\xA4\xA2\x8A\xBF", kKanjiSjis},           // undecided, then decided
      {"\x1B", kKanjiAscii},                      // truncated sequences
      {"\x1B$", kKanjiAscii},
      {"\x8E", kKanjiAscii},
      {"\xEA", kKanjiAscii},
      {"", kKanjiAscii},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.code, DetectKanjiCode(Exact(c.text).get())) << testing::PrintToString(c.text);
  }
}

TEST(ToEucJpTest, ConvertsOnlyWhatIsClearlyJisOrSjis) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"\x8A\xBF\x8E\x9A", "\xB4\xC1\xBB\xFA"},   // Shift_JIS
      {"\x1B$B4A\x1B(B", "\xB4\xC1"},             // JIS
      {"\xC6\xFC\xCB\xDC", "\xC6\xFC\xCB\xDC"},   // EUC-JP stays
      {"\xA4\xA2", "\xA4\xA2"},                   // undecided stays
      {"\x1BK4A", "\x1BK4A"},                     // ESC K stays
      {"a+b c", "a+b c"},
      {"\xB1", "\x8E\xB1"},                       // one byte grows to two
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Str(ToEucJp(Exact(c.in).get()))) << c.in;
  EXPECT_EQ("", Str(ToEucJp(nullptr)));
}

// Every converter must stop at the terminating zero byte, whatever sequence
// it is in the middle of.
TEST(ConverterBoundsTest, TruncatedSequencesAtTheEnd) {
  struct Case { const char* name; HString (*fn)(const char*); const char* in; const char* out; };
  const Case cases[] = {
      {"euc lead", EucToSjis, "a\xA4", "a\xA4"},
      {"single shift", EucToSjis, "a\x8E", "a\x8E"},
      {"euc lead before ascii", EucToSjis, "\xA4" "a", "\xA4" "a"},
      {"sjis lead", SjisToEuc, "a\x82", "a\x82"},
      {"sjis lead before non-trail", SjisToEuc, "\x82\x20", "\x82\x20"},
      {"lone escape", JisToEuc, "a\x1B", "a"},
      {"escape and dollar", JisToEuc, "a\x1B$", "a"},
      {"half a pair", JisToEuc, "\x1B$B4A4", "\xB4\xC1\xB4"},
      {"url lead byte", UrlEncodeEuc, "x\xA4", "x%A4"},
      {"url single shift", UrlEncodeEuc, "\x8E", "%8E"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Str(c.fn(Exact(c.in).get()))) << c.name;
  EXPECT_EQ(kKanjiSjis, DetectKanjiCode(Exact("\xA4").get()));
}

TEST(ConverterBoundsTest, OneMebibyteValues) {
  const size_t n = 1 << 20;
  // A Shift_JIS kanji, then half-width katakana: the worst growth.
  const std::string kana = "\x8A\xBF" + std::string(n, '\xB1');
  const HString euc = ToEucJp(Exact(kana).get());
  ASSERT_EQ(2 * n + 2, static_cast<size_t>(euc.Length()));
  EXPECT_EQ("\x8E\xB1", Str(euc).substr(2 * n));
  EXPECT_EQ(n + 2, static_cast<size_t>(EucToSjis(euc.CStr()).Length()));
  EXPECT_EQ(6 * n + 6, static_cast<size_t>(UrlEncodeEuc(euc.CStr()).Length()));
  std::string jis = "\x1B$B" + std::string(n, '!');
  EXPECT_EQ(n, static_cast<size_t>(ToEucJp(Exact(jis).get()).Length()));
}

TEST(UrlEncodeEucTest, OnlyJapaneseIsEncoded) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"a b&c", "a b&c"},
      {"\xA4\xA2", "%A4%A2"},
      {"x\xB4\xC1y", "x%B4%C1y"},
      {"\x8E\xB1", "%8E%B1"},
      {"%2F+", "%2F+"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Str(UrlEncodeEuc(Exact(c.in).get()))) << c.in;
}

TEST(EscapeHtmlTest, OnlyAnglesAndQuotes) {
  EXPECT_EQ("a&lt;b & &quot;c&quot;&gt;", CaptureStdout([] { EscapeHtml("a<b & \"c\">"); }));
  EXPECT_EQ("", CaptureStdout([] { EscapeHtml(nullptr); }));
  // A single quote would end a single-quoted attribute.
  EXPECT_EQ("&#39;\xA4\xA2&#39;&amp;", CaptureStdout([] { EscapeHtml("'\xA4\xA2'&amp;"); }));
}

TEST(AutoLinkLineTest, LinksAndEscapes) {
  struct Case { const char* line; const char* out; };
  const Case cases[] = {
      {"see http://a.b/c?b=c end",
       "see <a href=\"http://a.b/c?b\">http://a.b/c?b</a>=c end<br>\n"},
      {"mail me: foo.bar@example.com now",
       "mail me: <a href=\"mailto:foo.bar@example.com\">foo.bar@example.com</a> now<br>\n"},
      {"a@b.c or http://x/",
       "<a href=\"mailto:a@b.c\">a@b.c</a> or <a href=\"http://x/\">http://x/</a><br>\n"},
      {"http://x/ then a@b.c",
       "<a href=\"http://x/\">http://x/</a> then <a href=\"mailto:a@b.c\">a@b.c</a><br>\n"},
      {"https://x.y/ only", "https://x.y/ only<br>\n"},
      {"<http://a/>", "&lt;<a href=\"http://a/\">http://a/</a>&gt;<br>\n"},
      {"\xA4\xA2" "foo@x.jp", "\xA4\xA2<a href=\"mailto:foo@x.jp\">foo@x.jp</a><br>\n"},
      {"\xA4x@y.z", "\xA4x@y.z<br>\n"},  // the byte after a lead is skipped
      {"@foo", "@foo<br>\n"},
      {"", "<br>\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.out, CaptureStdout([&] { AutoLinkLine(c.line, static_cast<int>(strlen(c.line))); }))
        << c.line;
  }
}

TEST(AutoLinkLineTest, NeverLooksPastItsLine) {
  const char text[] = "abc\nhttp://x/ and y@z";
  EXPECT_EQ("abc<br>\n", CaptureStdout([&] { AutoLinkLine(text, 3); }));
  int n = 0;
  LinkKind kind = kLinkUrl;
  EXPECT_EQ(-1, FindLink(text, 3, &n, &kind));
  EXPECT_EQ(kLinkNone, kind);
}

}  // namespace
