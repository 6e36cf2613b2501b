#include "logread/country.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_util.h"

TEST(CountryTest, TheLastLabelOfAHostName) {
  const char* const cases[][2] = {
      {"www.example.co.jp", "JP"}, {"Host.Example.DE.", "DE"},    {"a.b.uk", "UK"},        {"mail.example.com", "(.com)"},
      {"x.example.museum", "(.museum)"}, {"192.0.2.7", ""},        {"2001:db8::1", ""},     {"localhost", ""},
      {"7.2.0.192.in-addr.arpa", ""},   {"bad.ex\x1b[31m", ""},     {"", ""},                {"trailing.", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], CountryOfHostName(c[0])) << c[0];
  EXPECT_EQ("", CountryOfHostName(nullptr));
}

TEST(CountryTest, ADatabaseThatCannotBeReadSaysWhyAndFindsNothing) {
  ScratchDir dir;
  HCountryDatabase database;
  EXPECT_FALSE(database.Open(dir / "missing.mmdb"));
  EXPECT_NE("", database.Error());
  WriteFile(dir / "garbage.mmdb", std::string(4096, 'x'));
  EXPECT_FALSE(database.Open(dir / "garbage.mmdb"));
  EXPECT_NE("", database.Error());
  EXPECT_FALSE(database.IsOpen());
  EXPECT_EQ("", database.Lookup("192.0.2.7"));
}
