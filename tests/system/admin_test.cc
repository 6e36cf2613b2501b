#include "system/admin.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "core/file_write.h"

#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

TEST(AdminTokenTest, OnlyWhatWasIssuedForThisPasswordAndNotTooOld) {
  const std::string secret(64, 'a');
  const std::string hash = "$y$j9T$salt$hash";
  const long long issued = 1700000000;
  const std::string token = MakeAdminToken(secret, hash, issued);
  EXPECT_EQ(0u, token.find("1700000000."));
  EXPECT_EQ(11u + 64u, token.size());
  EXPECT_EQ(std::string::npos, token.find("hash"));  // nothing of the password or its hash
  struct Case { std::string secret, credential, token; long long now; bool valid; };
  const Case cases[] = {
      {secret, hash, token, issued, true},
      {secret, hash, token, issued + kTokenLifetime, true},
      {secret, hash, token, issued + kTokenLifetime + 1, false},  // too old
      {secret, hash, token, issued - 1, false},                   // from the future
      {secret, "$y$j9T$salt$other", token, issued, false},        // the password changed
      {std::string(64, 'b'), hash, token, issued, false},         // another site's secret
      {secret, hash, "1700000001" + token.substr(10), issued + 5, false},  // time changed
      {secret, hash, token.substr(0, token.size() - 1) + "0", issued, false},
      {secret, hash, token + "0", issued, false},
      {secret, hash, "", issued, false},
      {secret, hash, ".", issued, false},
      {secret, hash, "99999999999999999999." + token.substr(11), issued, false},
      {secret, hash, "9999999999999999999." + token.substr(11), issued, false},  // past a long long
      {secret, hash, "999999999999999999." + token.substr(11), issued, false},
      {"", hash, token, issued, false},
      {secret, "", token, issued, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.valid, IsValidAdminToken(c.secret, c.credential, c.token.c_str(), c.now)) << c.token << " " << c.now;
  }
}

TEST(PasswordHashTest, SaltedSlowAndChecked) {
  const std::string a = HashPassword("s3cret");
  const std::string b = HashPassword("s3cret");
  EXPECT_EQ(0u, a.find("$y$"));
  EXPECT_NE(a, b);  // salted
  EXPECT_TRUE(PasswordMatches("s3cret", a.c_str()));
  EXPECT_TRUE(PasswordMatches("s3cret", b.c_str()));
  EXPECT_FALSE(PasswordMatches("s3cret!", a.c_str()));
  EXPECT_FALSE(PasswordMatches("", a.c_str()));
  EXPECT_FALSE(PasswordMatches("s3cret", ""));
  EXPECT_FALSE(PasswordMatches("s3cret", "*0"));
}

TEST(AdminSecretTest, MadeOnceOwnerOnly) {
  ScratchDir dir;
  const std::string path = dir / "AdminKey";
  EXPECT_EQ("", AdminSecret(path.c_str(), false));
  const std::string made = AdminSecret(path.c_str(), true);
  EXPECT_EQ(64u, made.size());
  EXPECT_EQ(made, AdminSecret(path.c_str(), false));
  EXPECT_EQ(made, AdminSecret(path.c_str(), true));  // kept, not made again
  struct stat info;
  ASSERT_EQ(0, stat(path.c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);
  EXPECT_NE(made, AdminSecret((dir / "Other").c_str(), true));
  file_faults::FailNth(file_faults::kSync, 1, EIO, true);  // a key never known to be on the disk is not used
  EXPECT_EQ("", AdminSecret((dir / "Third").c_str(), true));
  EXPECT_NE(0, access((dir / "Third").c_str(), F_OK));
  file_faults::Reset();
}

TEST(DigestTest, KnownAnswers) {
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", Md5Hex(""));
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", Md5Hex("abc"));
  // RFC 4231, test cases 1, 2, 3, 6 and 7 (the last two with a key longer
  // than a block).
  EXPECT_EQ("b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7",
            HmacSha256Hex(std::string(20, '\x0b'), "Hi There"));
  EXPECT_EQ("5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843",
            HmacSha256Hex("Jefe", "what do ya want for nothing?"));
  EXPECT_EQ("773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe",
            HmacSha256Hex(std::string(20, '\xaa'), std::string(50, '\xdd')));
  EXPECT_EQ("60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54",
            HmacSha256Hex(std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First"));
  EXPECT_EQ("9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2",
            HmacSha256Hex(std::string(131, '\xaa'),
                          "This is a test using a larger than block-size key and a larger than block-size data. The "
                          "key needs to be hashed before being used by the HMAC algorithm."));
}

class HAdminTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("HTTP_COOKIE");
    mkdir((home_ / "data").c_str(), 0755);
  }
  void TearDown() override { unsetenv("HTTP_COOKIE"); }
  std::string SetPassword(HAdmin& admin, const std::string& a, const std::string& b) {
    const char* argv[] = {a.c_str(), b.c_str()};
    return RaisedBy([&] { admin.Call("SetPassword", 2, argv); });
  }
  static const char* Hash(HAdmin& admin) { return admin.Properties().GetValue("_hash"); }
  static const char* Digest(HAdmin& admin) { return admin.Properties().GetValue("_md5"); }
  // The token of the last cookie written.
  std::string Token() const {
    const size_t at = server_.cookies.rfind("Admin=");
    return at == std::string::npos ? "" : server_.cookies.substr(at + 6, server_.cookies.size() - at - 7);
  }

  ScratchDir home_;
  FakeServer server_{home_.Path()};
};

TEST_F(HAdminTest, ConfirmationIsCheckedBeforeLength) {
  HAdmin admin("admin");
  const std::string long_pw(65, 'x');
  EXPECT_EQ("ErrorCorrespond", SetPassword(admin, long_pw, "y"));
  EXPECT_EQ("ErrorValue", SetPassword(admin, long_pw, long_pw));
  EXPECT_EQ(nullptr, Hash(admin));  // nothing stored
  const char* one[] = {"a"};
  EXPECT_EQ("ErrorFail", RaisedBy([&] { admin.Call("SetPassword", 1, one); }));
  const char* with_null[] = {"a", nullptr};
  EXPECT_EQ("ErrorFail", RaisedBy([&] { admin.Call("setpassword", 2, with_null); }));
  const std::string max_pw(64, 'x');
  EXPECT_EQ("", SetPassword(admin, max_pw, max_pw));
  EXPECT_TRUE(PasswordMatches(max_pw.c_str(), Hash(admin)));
  EXPECT_TRUE(admin.IsModified());
}

TEST_F(HAdminTest, PlaceholdersKeepThePassword) {
  HAdmin admin("admin");
  admin.Properties().SetValue("_md5", Md5Hex("old").c_str());
  const char* argv[] = {"***************", "---------------"};
  admin.Call("SetPassword", 2, argv);
  EXPECT_EQ("", server_.cookies);  // no cookie either
  EXPECT_STREQ(Md5Hex("old").c_str(), Digest(admin));
  EXPECT_EQ(HAdmin::kLoggedIn, admin.CheckAdmin());
}

// A token issued for the stored password logs in; it is matched as the
// cookie named exactly "Admin".
TEST_F(HAdminTest, LoginStateFromTheCookie) {
  HAdmin setter("admin");
  EXPECT_EQ("", SetPassword(setter, "pw", "pw"));
  const std::string hash = Hash(setter);
  const std::string token = Token();
  ASSERT_FALSE(token.empty());
  struct Case { std::string cookie; int state; };
  const Case cases[] = {
      {"Admin=" + token, HAdmin::kLoggedIn},
      {"x=1; Admin=" + token + "; y=2", HAdmin::kLoggedIn},
      {"NotAdmin=" + token, HAdmin::kNotLoggedIn},
      {"Admin=" + token + "0", HAdmin::kNotLoggedIn},
      {"Admin=" + MakeAdminToken(std::string(64, 'a'), hash, time(nullptr)), HAdmin::kNotLoggedIn},
      {"Admin=garbage!", HAdmin::kNotLoggedIn},
      {"Admin=", HAdmin::kNotLoggedIn},
      {"other=1", HAdmin::kNotLoggedIn},
  };
  for (const Case& c : cases) {
    setenv("HTTP_COOKIE", c.cookie.c_str(), 1);
    HAdmin admin("admin");
    admin.Properties().SetValue("_hash", hash.c_str());
    EXPECT_EQ(c.state, admin.CheckAdmin()) << c.cookie;
  }
  // Without a password nobody needs a cookie.
  HAdmin open("admin");
  EXPECT_EQ(HAdmin::kNoPassword, open.CheckAdmin());
  HAdmin empty("admin");
  empty.Properties().SetValue("_md5", "");
  EXPECT_EQ(HAdmin::kNoPassword, empty.CheckAdmin());
}

// An older site's digest still logs in, once: the login replaces it with
// the slow hash, and the cookie is bound to that.
TEST_F(HAdminTest, OldDigestLogsInAndIsReplaced) {
  HAdmin admin("admin");
  admin.Properties().SetValue("_md5", Md5Hex("old").c_str());
  server_.params.SetValue("_password", "wrong");
  EXPECT_EQ("ErrorPassword", RaisedBy([&] { admin.Login(); }));
  EXPECT_EQ("", server_.cookies);
  server_.params.SetValue("_password", "old");
  EXPECT_EQ("", RaisedBy([&] { admin.Login(); }));
  EXPECT_EQ(nullptr, Digest(admin));
  EXPECT_TRUE(PasswordMatches("old", Hash(admin)));
  EXPECT_TRUE(admin.IsModified());
  setenv("HTTP_COOKIE", ("Admin=" + Token()).c_str(), 1);
  HAdmin next("admin");
  next.Properties().SetValue("_hash", Hash(admin));
  EXPECT_EQ(HAdmin::kLoggedIn, next.CheckAdmin());
}

// What the check before the lock found counts only for the hash it
// checked: a password changed in the meantime is checked again.
TEST_F(HAdminTest, CheckBeforeTheLockHoldsOnlyForTheSameHash) {
  const std::string path = home_ / "data/admin";
  const std::string right = HashPassword("right");
  WriteFile(path, "object admin : Admin\n _hash=" + right + "\nend\n");
  PrecheckLogin(path.c_str(), "right");
  server_.params.SetValue("_password", "right");
  HAdmin same("admin");
  same.Properties().SetValue("_hash", right.c_str());
  EXPECT_EQ("", RaisedBy([&] { same.Login(); }));
  HAdmin changed("admin");
  changed.Properties().SetValue("_hash", HashPassword("other").c_str());
  EXPECT_EQ("ErrorPassword", RaisedBy([&] { changed.Login(); }));
  // An old digest checked before the lock is replaced by a hash made then.
  WriteFile(path, "object admin : Admin\n _md5=" + Md5Hex("right") + "\nend\n");
  PrecheckLogin(path.c_str(), "right");
  HAdmin old("admin");
  old.Properties().SetValue("_md5", Md5Hex("right").c_str());
  EXPECT_EQ("", RaisedBy([&] { old.Login(); }));
  EXPECT_TRUE(PasswordMatches("right", Hash(old)));
}

TEST_F(HAdminTest, EmptyPasswordRemovesItAndClearsTheCookie) {
  HAdmin admin("admin");
  admin.Properties().SetValue("_md5", Md5Hex("old").c_str());
  const char* argv[] = {"", ""};
  admin.Call("SetPassword", 2, argv);
  EXPECT_EQ("Admin=;", server_.cookies);  // the cookie is emptied
  EXPECT_EQ(nullptr, Digest(admin));
  EXPECT_EQ(nullptr, Hash(admin));
}
