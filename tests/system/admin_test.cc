#include "system/admin.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

TEST(ScrambleTest, RoundTripsEveryStartAndByte) {
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  for (const std::string& text : {std::string("123:secret"), std::string(""), all}) {
    for (int start = 0; start < 24; ++start) {
      const std::string scrambled = Scramble(text.c_str(), start);
      EXPECT_EQ(2 * text.size() + 2, scrambled.size());
      EXPECT_EQ(std::string::npos, scrambled.find_first_of("IOlyz0123456789")) << scrambled;
      std::string back;
      ASSERT_TRUE(Unscramble(scrambled.c_str(), back)) << start;
      EXPECT_EQ(text, back);
    }
  }
  // The start index changes every symbol of the text.
  EXPECT_NE(Scramble("abc", 0).substr(0, 6), Scramble("abc", 1).substr(0, 6));
}

TEST(ScrambleTest, RejectsWhatItCannotHaveMade) {
  const std::string good = Scramble("7:pw", 5);
  std::string flipped = good;
  flipped[0] = flipped[0] == 'A' ? 'B' : 'A';  // the check symbol no longer fits
  std::string bad_start = good;
  bad_start.back() = 'Z';  // 25: no table position
  const std::string cases[] = {"", "A", "ABC", good + "A", good.substr(1), flipped, bad_start,
                               "I" + good.substr(1), good.substr(0, 2) + "!" + good.substr(3),
                               std::string(5000, 'A')};
  for (const std::string& text : cases) {
    std::string out = "unchanged";
    EXPECT_FALSE(Unscramble(text.c_str(), out)) << text;
    EXPECT_EQ("unchanged", out);
  }
  std::string out = "x";
  EXPECT_TRUE(Unscramble(Scramble("", 3).c_str(), out));  // two symbols: empty text
  EXPECT_EQ("", out);
}

TEST(Md5HexTest, KnownDigests) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex(""));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc"));
}

class HAdminTest : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("HTTP_COOKIE"); }
  void TearDown() override { unsetenv("HTTP_COOKIE"); }
  std::string SetPassword(HAdmin& admin, const std::string& a, const std::string& b) {
    const char* argv[] = {a.c_str(), b.c_str()};
    return RaisedBy([&] { CaptureStdout([&] { admin.Call("SetPassword", 2, argv); }); });
  }
  static const char* Digest(HAdmin& admin) { return admin.Properties().GetValue("_md5"); }
};

TEST_F(HAdminTest, ConfirmationIsCheckedBeforeLength) {
  HAdmin admin("admin");
  const std::string long_pw(65, 'x');
  EXPECT_EQ("ErrorCorrespond", SetPassword(admin, long_pw, "y"));
  EXPECT_EQ("ErrorValue", SetPassword(admin, long_pw, long_pw));
  EXPECT_EQ(nullptr, Digest(admin));  // nothing stored
  const char* one[] = {"a"};
  EXPECT_EQ("ErrorFail", RaisedBy([&] { admin.Call("SetPassword", 1, one); }));
  const char* with_null[] = {"a", nullptr};
  EXPECT_EQ("ErrorFail", RaisedBy([&] { admin.Call("setpassword", 2, with_null); }));
  const std::string max_pw(64, 'x');
  EXPECT_EQ("", SetPassword(admin, max_pw, max_pw));
  EXPECT_STREQ(Md5Hex(max_pw.c_str()).c_str(), Digest(admin));
  EXPECT_TRUE(admin.IsModified());
}

TEST_F(HAdminTest, PlaceholdersKeepThePassword) {
  HAdmin admin("admin");
  admin.Properties().SetValue("_md5", Md5Hex("old").c_str());
  FakeServer server;
  const char* argv[] = {"***************", "---------------"};
  admin.Call("SetPassword", 2, argv);
  EXPECT_EQ("", server.cookies);  // no cookie either
  EXPECT_STREQ(Md5Hex("old").c_str(), Digest(admin));
  EXPECT_EQ(HAdmin::kLoggedIn, admin.CheckAdmin());
}

TEST_F(HAdminTest, LoginStateFromTheCookie) {
  const std::string digest = Md5Hex("pw");
  struct Case { std::string cookie; int state; };
  const Case cases[] = {
      {"Admin=" + Scramble("123:pw", 4), HAdmin::kLoggedIn},
      {"x=1; Admin=" + Scramble("9:pw", 0) + "; y=2", HAdmin::kLoggedIn},
      {"Admin=" + Scramble("123:other", 4), HAdmin::kNotLoggedIn},
      {"Admin=" + Scramble("123pw", 4), HAdmin::kNotLoggedIn},   // no colon
      {"Admin=" + Scramble("123:", 4), HAdmin::kNotLoggedIn},    // nothing after it
      {"Admin=" + Scramble("123:pw", 4) + "A", HAdmin::kNotLoggedIn},
      {"Admin=garbage!", HAdmin::kNotLoggedIn},
      {"Admin=", HAdmin::kNotLoggedIn},
      {"other=1", HAdmin::kNotLoggedIn},
  };
  for (const Case& c : cases) {
    setenv("HTTP_COOKIE", c.cookie.c_str(), 1);
    HAdmin admin("admin");
    admin.Properties().SetValue("_md5", digest.c_str());
    EXPECT_EQ(c.state, admin.CheckAdmin()) << c.cookie;
  }
  // Without a password nobody needs a cookie.
  HAdmin open("admin");
  EXPECT_EQ(HAdmin::kNoPassword, open.CheckAdmin());
  open.Properties().SetValue("_md5", "");
  HAdmin empty("admin");
  empty.Properties().SetValue("_md5", "");
  EXPECT_EQ(HAdmin::kNoPassword, empty.CheckAdmin());
}

TEST_F(HAdminTest, EmptyPasswordRemovesItAndClearsTheCookie) {
  HAdmin admin("admin");
  admin.Properties().SetValue("_md5", Md5Hex("old").c_str());
  FakeServer server;
  const char* argv[] = {"", ""};
  admin.Call("SetPassword", 2, argv);
  EXPECT_EQ("Admin=;", server.cookies);  // the cookie is emptied
  EXPECT_STREQ("", Digest(admin));
  HAdmin next("admin");
  next.Properties().SetValue("_md5", "");
  EXPECT_EQ(HAdmin::kNoPassword, next.CheckAdmin());
}
