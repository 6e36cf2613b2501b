// The administrator through the installed pages: wrong passwords slowed
// down per client address, the logout, and what a visitor sees.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

using Env = std::map<std::string, std::string>;

CgiResult Post(const CgiSite& site, const std::string& body, Env env = {}, const std::string& faketime = "") {
  env["REQUEST_METHOD"] = "POST";
  env["CONTENT_LENGTH"] = std::to_string(body.size());
  return site.Run(env, body, faketime);
}

// The value of the "Admin" cookie the answer sets, or "(none)".
std::string AdminCookie(const std::string& out) {
  const std::string key = "Set-Cookie: Admin=";
  const size_t at = out.find(key);
  if (at == std::string::npos) return "(none)";
  return out.substr(at + key.size(), out.find(';', at) - at - key.size());
}

CgiResult Login(const CgiSite& site, const std::string& password, const std::string& address,
                const std::string& when) {
  return Post(site, "_System=Admin&page=VaziVevWelcome&_password=" + password, {{"REMOTE_ADDR", address}}, when);
}

// The text after the header block.
std::string Body(const std::string& out) {
  const size_t end = out.find("\n\n");
  return end == std::string::npos ? "" : out.substr(end + 2);
}

std::string Get(const CgiSite& site, const std::string& query, const std::string& cookie) {
  return site.Run({{"QUERY_STRING", query}, {"HTTP_COOKIE", "Admin=" + cookie}}).out;
}

}  // namespace

TEST(AdminPagesTest, WrongPasswordsSlowDownTheirAddressOnly) {
  CgiSite site;
  ASSERT_NE("(none)", AdminCookie(Post(site, "page=VaziVevPassword&newpassword=pw&confirm=pw").out));
  const std::string guesser = "192.0.2.1", other = "2001:db8::7";
  // Four wrong passwords answer the plain wrong-password page.
  for (int i = 0; i < 4; ++i) {
    const CgiResult r = Login(site, "wrong", guesser, "2026-01-01 10:00:00");
    EXPECT_EQ(0, r.out.find("Status: 403 Forbidden\nContent-type: text/html\n\n")) << i << r.out;
    EXPECT_EQ("(none)", Figure(r.out, "wait"));
  }
  // The fifth starts the wait, and says so.
  CgiResult r = Login(site, "wrong", guesser, "2026-01-01 10:00:00");
  EXPECT_NE(std::string::npos, Figure(r.out, "wait").find("accepted in 10 seconds")) << r.out;
  // Until it ends, even the right password is refused unseen, with the rest
  // of the wait; from another address the right password works.
  r = Login(site, "pw", guesser, "2026-01-01 10:00:03");
  EXPECT_EQ(0, r.out.find("Status: 429 Too Many Requests\nRetry-After: 7\nContent-type: text/html\n\n")) << r.out;
  EXPECT_NE(std::string::npos, Figure(r.out, "error").find("wait 7 seconds"));
  EXPECT_EQ("(none)", AdminCookie(r.out));
  r = Login(site, "pw", other, "2026-01-01 10:00:03");
  EXPECT_NE("(none)", AdminCookie(r.out));
  EXPECT_EQ(std::string::npos, r.out.find("Status:"));
  // After the wait the address may try again; one more failure doubles it.
  r = Login(site, "wrong", guesser, "2026-01-01 10:00:10");
  EXPECT_NE(std::string::npos, Figure(r.out, "wait").find("accepted in 20 seconds")) << r.out;
  r = Login(site, "pw", guesser, "2026-01-01 10:00:29");
  EXPECT_EQ(0, r.out.find("Status: 429 Too Many Requests\nRetry-After: 1\n")) << r.out;
  // The right password after the wait logs in, and the address starts
  // afresh: four more failures bring no wait.
  r = Login(site, "pw", guesser, "2026-01-01 10:00:30");
  EXPECT_NE("(none)", AdminCookie(r.out));
  EXPECT_EQ(std::string::npos, Slurp(site.Path("data/AdminFailures")).find(guesser));
  for (int i = 0; i < 4; ++i) Login(site, "wrong", guesser, "2026-01-01 10:01:00");
  EXPECT_EQ(0, Login(site, "pw", guesser, "2026-01-01 10:01:00").out.find("Set-Cookie: Admin="));
  // A record is forgotten a day after its last failure.
  for (int i = 0; i < 5; ++i) Login(site, "wrong", guesser, "2026-01-02 10:00:00");
  EXPECT_EQ(0, Login(site, "pw", guesser, "2026-01-02 10:00:05").out.find("Status: 429"));
  r = Login(site, "wrong", guesser, "2026-01-03 10:00:00");
  EXPECT_EQ("(none)", Figure(r.out, "wait")) << r.out;
  // A damaged file counts as no failures, and is replaced whole.
  Write(site.Path("data/AdminFailures"), "garbage\n" + guesser + " x 1\n\n");
  r = Login(site, "wrong", guesser, "2026-01-03 10:00:00");
  EXPECT_EQ(guesser + " 1 1767434400\n", Slurp(site.Path("data/AdminFailures")));  // 2026-01-03 10:00 UTC
}

TEST(AdminPagesTest, LogoutEndsEveryLoginMadeBeforeIt) {
  CgiSite site;
  site.WritePage("Secret", "'Admin\nsecret\n");
  site.WritePage("VaziVevLogin", "login page\n");
  site.WritePage("Token", "$System.Admin.FormToken");
  const std::string first = AdminCookie(Post(site, "page=VaziVevPassword&newpassword=pw&confirm=pw").out);
  const std::string second = AdminCookie(Login(site, "pw", "192.0.2.1", "").out);
  ASSERT_NE("(none)", second);
  // A visitor's POST cannot end them.
  Post(site, "page=VaziVevLogout");
  EXPECT_EQ("secret\n", Body(Get(site, "page=Secret", first)));
  // Without this login's form token, nothing happens either.
  EXPECT_EQ(0, Post(site, "page=VaziVevLogout", {{"HTTP_COOKIE", "Admin=" + first}}).out.find("Status: 403"));
  EXPECT_EQ("secret\n", Body(Get(site, "page=Secret", second)));
  // The logout page's form ends both logins and clears this browser's cookie.
  const std::string page = Get(site, "page=VaziVevLogout", first);
  const std::string token = Body(Get(site, "page=Token", first));
  EXPECT_NE(std::string::npos, page.find("name=\"_token\" value=\"" + token + "\""));
  const CgiResult r = Post(site, "page=VaziVevLogout&_token=" + token, {{"HTTP_COOKIE", "Admin=" + first}});
  EXPECT_EQ(0, r.out.find("Set-Cookie: Admin=; expires=Thursday, 01-Jan-70 00:00:01 GMT;")) << r.out;
  EXPECT_NE("(none)", Figure(r.out, "loggedout"));
  EXPECT_EQ("login page\n", Body(Get(site, "page=Secret", first)));
  EXPECT_EQ("login page\n", Body(Get(site, "page=Secret", second)));
  // A new login works at once.
  const std::string third = AdminCookie(Login(site, "pw", "192.0.2.1", "").out);
  EXPECT_EQ("secret\n", Body(Get(site, "page=Secret", third)));
}

TEST(AdminPagesTest, VisitorsSeeNoAdministratorLinks) {
  CgiSite site;
  const auto links = [](const std::string& out) {
    return std::to_string(out.find("page=VaziVevSettings") != std::string::npos) +
           std::to_string(out.find("page=VaziVevPassword") != std::string::npos) +
           std::to_string(out.find("id=\"logout\"") != std::string::npos);
  };
  // Without a password everybody is the administrator (nobody to log out).
  EXPECT_EQ("110", links(site.Get("").out));
  const std::string cookie = AdminCookie(Post(site, "page=VaziVevPassword&newpassword=pw&confirm=pw").out);
  for (const std::string query : {"", "page=VaziVevPages", "page=NoSuchPage", "Date=junk"}) {
    EXPECT_EQ("000", links(site.Get(query).out)) << query;
    EXPECT_EQ("111", links(Get(site, query, cookie))) << query;
  }
  // The login page stays at its address.
  EXPECT_NE(std::string::npos, site.Get("page=VaziVevLogin").out.find("name=\"_password\""));
  // An administrator's file that cannot be read shows no links either.
  Write(site.Path("data/admin"), "garbage\n");
  EXPECT_EQ("000", links(site.Get("page=VaziVevPages").out));
}
