#include "script/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Str(const HString& s) { return std::string(s.CStr(), s.Length()); }

}  // namespace

TEST(Utf8LengthTest, OnlyWellFormedCharacters) {
  struct Case { const char* bytes; int length; };
  const Case cases[] = {
      {"a", 1},
      {"\xC3\xA9", 2},
      {"\xE6\x97\xA5", 3},
      {"\xF0\x9F\x98\x80", 4},
      {"\xC0\xAF", 0},          // overlong "/"
      {"\xE0\x9F\xBF", 0},      // overlong three bytes
      {"\xED\xA0\x80", 0},      // a surrogate
      {"\xF4\x90\x80\x80", 0},  // past U+10FFFF
      {"\xA9", 0},              // a continuation byte alone
      {"\xE6\x97", 0},          // cut off by the end
      {"\xE6\x97/", 0},
  };
  for (const Case& c : cases) {
    const std::string b = c.bytes;
    EXPECT_EQ(c.length, Utf8Length(reinterpret_cast<const unsigned char*>(b.data()), static_cast<int>(b.size())))
        << c.bytes;
  }
}

TEST(EucToUtf8Test, SystemTextConvertedForeignUtf8KeptTheRestReplaced) {
  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"plain <ascii>", "plain <ascii>"},
      {"\xA4\xA2\xC6\xFC", "\xE3\x81\x82\xE6\x97\xA5"},  // hiragana A and a kanji
      {"\x8E\xB1", "\xEF\xBD\xB1"},                      // half-width katakana
      {"caf\xE9", "caf\xEF\xBF\xBD"},                    // no EUC-JP, no UTF-8
      {"\xE2\x86\x92", "\xE2\x86\x92"},                  // UTF-8, and no EUC-JP
      {"\xA4\xA2\x80", "\xE3\x81\x82\xEF\xBF\xBD"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Str(EucToUtf8(c.in))) << c.in;
  bool done = true;
  EXPECT_EQ("\xA4\xA2", Str(Utf8ToEuc("\xE3\x81\x82", &done)));
  EXPECT_TRUE(done);
  EXPECT_EQ("\xA4\xA2", Str(Utf8ToEuc("\xA4\xA2", &done)));  // not UTF-8: left alone
  EXPECT_FALSE(done);
}

TEST(TextLinkSegmentTest, HexOnlyForBytesAWebServerRefuses) {
  EXPECT_EQ("text=/caf%C3%A9%20%26%3D%25", Str(TextLinkSegment("/caf\xC3\xA9 &=%")));
  EXPECT_EQ("texthex=2FC6FC", Str(TextLinkSegment("/\xC6\xFC")));
  EXPECT_EQ("texthex=610A", Str(TextLinkSegment("a\n")));
  EXPECT_EQ("text=", Str(TextLinkSegment(nullptr)));
}
