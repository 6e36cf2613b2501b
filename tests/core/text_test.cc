#include "core/text.h"
#include "core/keyed_hash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

TEST(HStringTest, EmptyStringsShareOneTextAndClearTwiceSafely) {
  HString a, b;
  EXPECT_NE(nullptr, a.CStr());
  EXPECT_EQ(a.CStr(), b.CStr());
  a.Clear();
  a.Clear();
  EXPECT_STREQ("", a.CStr());
  HString c("x", 0);  // zero bytes from a real pointer
  EXPECT_TRUE(c.IsEmpty());
  c.Append("");
  EXPECT_EQ(a.CStr(), c.CStr());  // nothing allocated
}

TEST(HStringTest, AssignCountsBytesAndCopiesFromItself) {
  HString s;
  s.Assign("abcdef", 3);
  EXPECT_STREQ("abc", s.CStr());
  EXPECT_EQ(3, s.Length());
  s.Assign(s.CStr() + 1);  // from its own buffer
  EXPECT_STREQ("bc", s.CStr());
  s.Append("de").AppendNumber(-42);
  EXPECT_STREQ("bcde-42", s.CStr());
  HString part;
  part.Append("xyz", 2).Append("", 0).Append("12345", 3).Append(part.CStr(), 1);  // from its own buffer too
  EXPECT_STREQ("xy123x", part.CStr());
  EXPECT_EQ(6, part.Length());
  HString copy(s);
  copy.SetAt(0, 'X');
  EXPECT_STREQ("bcde-42", s.CStr());
  HString moved(std::move(copy));
  EXPECT_STREQ("Xcde-42", moved.CStr());
  EXPECT_TRUE(copy.IsEmpty());  // NOLINT: moved-from is empty by contract
}

// Assigning into a buffer that holds the text reuses it; appends grow it
// by doubling, and an append of the string's own text survives the growth.
TEST(HStringTest, BufferIsReusedAndGrows) {
  HString s("a longer first value");
  const char* buffer = s.CStr();
  s.Assign("short");
  EXPECT_EQ(buffer, s.CStr());
  EXPECT_STREQ("short", s.CStr());
  s.Assign(s.CStr() + 2, 2);  // overlapping, from its own buffer
  EXPECT_STREQ("or", s.CStr());
  std::string expected = "or";
  for (int i = 0; i < 12; ++i) {
    s.Append(s.CStr());  // doubles the text, from its own buffer
    expected += expected;
  }
  EXPECT_EQ(expected, s.CStr());
  EXPECT_EQ(static_cast<int>(expected.size()), s.Length());
  HString moved(std::move(s));
  moved.Append("!");
  EXPECT_EQ(expected + "!", moved.CStr());
  s.Assign("again");  // NOLINT: a moved-from string is empty and usable
  EXPECT_STREQ("again", s.CStr());
}

TEST(HStringTest, SearchesStopAtLength) {
  HString s("abc");
  EXPECT_EQ(-1, s.Find("c", 3));
  EXPECT_EQ(-1, s.FindChar('c', 3));
  EXPECT_EQ(2, s.FindChar('c', 2));
  EXPECT_EQ(-1, s.FindAnyOf("x"));
  EXPECT_EQ(2, s.FindAnyOf("c"));
  EXPECT_EQ(1, HString("abab").Find("ba"));
  EXPECT_EQ(2, HString("abab").FindLastChar('a'));
  EXPECT_EQ(-1, HString().Find(""));
}

TEST(CompareNoCaseTest, CaseLimitAndHighBytes) {
  struct Case { const char* a; const char* b; int n; int sign; };
  const Case cases[] = {
      {"Count", "count", -1, 0},     // ASCII case is ignored
      {"Counter", "Count", 5, 0},    // the limit ends the walk
      {"Count", "Counter", -1, -1},  // the shorter text sorts first
      {"Counter", "Count", -1, 1},
      {"\xC4", "\xE4", -1, -1},      // 32 apart, but not ASCII letters
      {"[", "{", -1, -1},            // 32 apart, punctuation
      {"abc", "abd", 2, 0},
      {"", "", -1, 0},
      {"a", "", 0, 0},
  };
  for (const Case& c : cases) {
    const int r = CompareNoCase(c.a, c.b, c.n);
    EXPECT_EQ(c.sign, (r > 0) - (r < 0)) << c.a << " / " << c.b;
  }
}

TEST(TextHelpersTest, ConversionsAndSearches) {
  EXPECT_EQ(0, ToInt(nullptr));
  EXPECT_EQ(-12, ToInt("  -12x3"));
  EXPECT_EQ(0, ToInt("x1"));
  // The digits read without the library read as it reads them.
  for (const char* text : {"0", "7", "19990105", "123456789", "1234567890", "2147483647", "00000000012", "42 17",
                           "99999999x", "", "+5", "-0"}) {
    EXPECT_EQ(atoi(text), ToInt(text)) << text;
  }
  // Decimals as snprintf writes them, both ends of the range included.
  for (const long long value : {0LL, 7LL, -7LL, 10LL, 19990105LL, 2147483647LL, -2147483648LL, 9223372036854775807LL,
                                -9223372036854775807LL - 1}) {
    char expected[kDecimalSize], got[kDecimalSize];
    const int length = snprintf(expected, sizeof expected, "%lld", value);
    EXPECT_EQ(length, FormatDecimal(got, value));
    EXPECT_STREQ(expected, got);
  }
  char text[] = "AbZ\xC4z";
  LowerCase(text);
  EXPECT_STREQ("abz\xC4z", text);
  EXPECT_EQ('A', ToUpperChar('a'));
  EXPECT_EQ('\xE4', ToUpperChar('\xE4'));
  EXPECT_EQ(3, FindChar("abcabc", 'a', 1));
  EXPECT_EQ(-1, Find("abc", "d"));
  EXPECT_EQ(4, FindLastChar("a/b//c", '/'));
}

TEST(HashStringTest, SignedBytesAndWrapAround) {
  EXPECT_EQ(0u, HashString(""));
  EXPECT_EQ(97u, HashString("a"));
  EXPECT_EQ(97u * 33 + 98, HashString("ab"));
  // 0xA4 counts as -92, so one EUC-JP byte hashes to 2^32 - 92.
  EXPECT_EQ(4294967204u, HashString("\xA4"));
  // Long texts wrap modulo 2^32 rather than saturating (worked out with
  // arbitrary-precision integers).
  EXPECT_EQ(692472336u, HashString(std::string(40, 'z').c_str()));
  // The case-blind hash lowers ASCII letters only.
  EXPECT_EQ(HashString("count"), HashNoCase("CoUnT"));
  EXPECT_NE(HashString("["), HashNoCase("{"));
  EXPECT_EQ(4294967204u, HashNoCase("\xA4"));
}

TEST(ByteClassTest, Boundaries) {
  struct Case { unsigned char c; bool blank, euc, kana, lead, trail; };
  const Case cases[] = {
      {0x09, true, false, false, false, false},
      {0x0B, false, false, false, false, false},
      {0x40, false, false, false, false, true},
      {0x7F, false, false, false, false, false},
      {0x80, false, false, false, false, true},
      {0x81, false, false, false, true, true},
      {0x9F, false, false, false, true, true},
      {0xA0, false, false, false, false, true},
      {0xA1, false, true, true, false, true},
      {0xDF, false, true, true, false, true},
      {0xE0, false, true, false, true, true},
      {0xEF, false, true, false, true, true},
      {0xF0, false, true, false, false, true},
      {0xFC, false, true, false, false, true},
      {0xFD, false, true, false, false, false},
      {0xFE, false, true, false, false, false},
      {0xFF, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.blank, IsBlank(c.c)) << int(c.c);
    EXPECT_EQ(c.euc, IsEucByte(c.c)) << int(c.c);
    EXPECT_EQ(c.kana, IsSjisKana(c.c)) << int(c.c);
    EXPECT_EQ(c.lead, IsSjisLead(c.c)) << int(c.c);
    EXPECT_EQ(c.trail, IsSjisTrail(c.c)) << int(c.c);
  }
  EXPECT_TRUE(IsAlnum('z') && IsAlnum('0') && !IsAlnum('_') && !IsAlpha(0xC4));
}

// The index hash tells apart texts that share a HashString, and covers
// exactly the bytes it is given.
TEST(KeyedHashTest, CollidingTextsAndLengths) {
  EXPECT_EQ(HashString("aZ"), HashString("b9"));
  EXPECT_NE(KeyedHash("aZ"), KeyedHash("b9"));
  EXPECT_EQ(KeyedHash("/index.html"), KeyedHash("/index.html"));
  EXPECT_EQ(KeyedHash("/index.html", 6), KeyedHash("/index"));
  EXPECT_NE(KeyedHash("", 0), KeyedHash("\0", 1));
}
