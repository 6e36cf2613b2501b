// The settings page checks what it saves: files the web server's user
// cannot use, numbers that are none, site addresses, empty POSTs. A refused
// form saves nothing, answers 400 and comes back as it was sent.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

using Env = std::map<std::string, std::string>;

// Percent-encodes every byte but letters and digits.
std::string Encoded(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    char hex[4];
    snprintf(hex, sizeof hex, "%%%02X", c);
    out += isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return out;
}

// A site with a password, and the POSTs of its logged-in administrator.
class AdminSite {
 public:
  AdminSite() {
    const std::string out = Post("page=VaziVevPassword&newpassword=pw&confirm=pw").out;
    const size_t at = out.find("Set-Cookie: Admin=") + 18;
    cookie_ = out.substr(at, out.find(';', at) - at);
    site_.WritePage("Token", "$System.Admin.FormToken");
    const std::string page = site_.Run({{"QUERY_STRING", "page=Token"}, {"HTTP_COOKIE", "Admin=" + cookie_}}).out;
    token_ = page.substr(page.size() - 64);
  }
  const CgiSite& Site() const { return site_; }
  CgiResult Post(const std::string& body, const CgiSite::Limits& limits = {}) const {
    const Env env = {{"REQUEST_METHOD", "POST"},
                     {"CONTENT_LENGTH", std::to_string(body.size())},
                     {"HTTP_COOKIE", "Admin=" + cookie_}};
    return site_.Run(env, body, "", limits);
  }
  // The settings form with `fields` ("LogFile=..."), sent with the token.
  CgiResult Save(const std::string& fields, const CgiSite::Limits& limits = {}) const {
    return Post("page=VaziVevSettings&_token=" + token_ + "&" + fields, limits);
  }
  std::string Stored() const { return Slurp(site_.Path("data/vazivev/index")); }

 private:
  CgiSite site_;
  std::string cookie_;
  std::string token_;
};

// The text of the element `id`, its quotes unescaped.
std::string Said(const std::string& out, const std::string& id) {
  std::string text = Figure(out, id);
  for (size_t at; (at = text.find("&quot;")) != std::string::npos;) text.replace(at, 6, "\"");
  for (size_t at; (at = text.find("&#39;")) != std::string::npos;) text.replace(at, 5, "'");
  return text;
}

bool Refused(const CgiResult& r) { return r.out.find("Status: 400 Bad Request\nContent-type: text/html\n\n") == 0; }

}  // namespace

TEST(SettingsCheckTest, FilesMustBeThereAndPlain) {
  AdminSite admin;
  const std::string log = admin.Site().Beside("access.log");
  Write(log, "");
  ASSERT_FALSE(Refused(admin.Save("Loging=Unique&lines=20&LogFile=" + Encoded(log))));
  const std::string saved = admin.Stored();
  ASSERT_NE(std::string::npos, saved.find(" LogFile=" + log + "\n"));
  struct Case { std::string fields; std::string problem; std::string says; };
  const std::string missing = admin.Site().Beside("none.log");
  const Case cases[] = {
      {"Loging=Unique&LogFile=" + Encoded(missing), "problem-LogFile", "\"" + missing + "\" does not exist"},
      {"Loging=Follow&LogFile=%2Ftmp", "problem-LogFile", "\"/tmp\" is not a file but a folder"},
      {"Loging=Unique&LogFile=access.log", "problem-LogFile", "is not a full path"},
      {"Loging=Daily&DateFile=" + Encoded(missing + "/access-yymmdd.log"), "problem-DateFile",
       "the folder \"" + missing + "\" does not exist"},
      {"Loging=Unique&GeoDatabase=%2Fdev%2Fnull", "problem-GeoDatabase", "\"/dev/null\" is not a file."},
  };
  for (const Case& c : cases) {
    const CgiResult r = admin.Save(c.fields + "&lines=20");
    EXPECT_TRUE(Refused(r)) << c.fields << r.out.substr(0, 200);
    EXPECT_NE(std::string::npos, Said(r.out, c.problem).find(c.says)) << c.fields << ": " << Said(r.out, c.problem);
    EXPECT_EQ(saved, admin.Stored()) << c.fields;
  }
  // A file setting that does not change is not looked at: one gone
  // missing since does not block the others; nor is a Daily site's log.
  unlink(log.c_str());
  EXPECT_FALSE(Refused(admin.Save("Loging=Unique&lines=30&LogFile=" + Encoded(log))));
  EXPECT_NE(std::string::npos, admin.Stored().find(" lines=30\n"));
  EXPECT_FALSE(Refused(admin.Save("Loging=Daily&LogFile=" + Encoded(missing) + "&DateFile=%2Ftmp%2Fa-yymmdd.log")));
}

TEST(SettingsCheckTest, FilesMustBeOpenToTheWebServersUser) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  AdminSite admin;
  // The site belongs to the web server's user; the logs to root.
  const std::string site = admin.Site().Root();
  ASSERT_EQ(0, system(("chown -R nobody:nogroup '" + site + "'").c_str()));
  const std::string folder = admin.Site().Beside("logs");
  mkdir(folder.c_str(), 0755);
  const std::string secret = folder + "/secret.log", shared = folder + "/shared.log";
  Write(secret, "");
  chmod(secret.c_str(), 0600);
  Write(shared, "");
  chmod(shared.c_str(), 0644);
  CgiSite::Limits as_nobody;
  as_nobody.run_as = 65534;
  CgiResult r = admin.Save("Loging=Follow&LogFile=" + Encoded(secret), as_nobody);
  EXPECT_TRUE(Refused(r)) << r.out.substr(0, 300);
  EXPECT_EQ("The access log \"" + secret +
                "\" may not be read by the web server's user nobody (owner root, group root, mode 0600).",
            Said(r.out, "problem-LogFile"));
  // Split here, the log is emptied: the user must be able to write it too.
  r = admin.Save("Loging=Unique&LogFile=" + Encoded(shared), as_nobody);
  EXPECT_NE(std::string::npos, Said(r.out, "problem-LogFile").find("may not be read and written by the web server's user nobody (owner root, group root, mode 0644)"))
      << Said(r.out, "problem-LogFile");
  // Only read, it may be the web server's to write.
  r = admin.Save("Loging=Follow&LogFile=" + Encoded(shared), as_nobody);
  EXPECT_FALSE(Refused(r)) << Figure(r.out, "problem-LogFile");
  EXPECT_NE(std::string::npos, admin.Stored().find(" LogFile=" + shared + "\n"));
  // A folder above the day files that the user may not enter.
  chmod(folder.c_str(), 0700);
  r = admin.Save("Loging=Daily&DateFile=" + Encoded(folder + "/access-yymmdd.log"), as_nobody);
  EXPECT_NE(std::string::npos, Figure(r.out, "problem-DateFile").find("may not read the folder")) << r.out.substr(0, 300);
}

TEST(SettingsCheckTest, NumbersAddressesAndEmptyPosts) {
  AdminSite admin;
  ASSERT_FALSE(Refused(admin.Save("Loging=Unique&Unit=4&lines=25&URL=www.example.org&RootPath=%2Ftop%2F")));
  const std::string saved = admin.Stored();
  struct Case { std::string fields; std::string problem; };
  const Case cases[] = {
      {"lines=abc", "problem-lines"},       {"lines=-1", "problem-lines"},   {"lines=100001", "problem-lines"},
      {"lines=1e3", "problem-lines"},       {"Unit=x", "problem-Unit"},      {"URL=https%3A%2F%2F", "problem-URL"},
      {"URL=ftp%3A%2F%2Fexample.org", "problem-URL"}, {"URL=%2Fpath", "problem-URL"},
      {"URL=www.example.org%20x", "problem-URL"},
      // No setting at all: it would have blanked every one.
      {"", "problem-Form"}, {"other=1", "problem-Form"},
  };
  for (const Case& c : cases) {
    const CgiResult r = admin.Save(c.fields);
    EXPECT_TRUE(Refused(r)) << c.fields;
    EXPECT_NE("(none)", Figure(r.out, c.problem)) << c.fields;
    EXPECT_EQ(saved, admin.Stored()) << c.fields;
  }
  // Refused, the form shows what was typed, not what is stored.
  const CgiResult r = admin.Save("Loging=Unique&lines=abc&URL=typed.example&RootPath=%2Fnew%2F");
  EXPECT_NE(std::string::npos, r.out.find("name=\"lines\" value=\"abc\""));
  EXPECT_NE(std::string::npos, r.out.find("name=\"URL\" value=\"typed.example\""));
  EXPECT_NE(std::string::npos, r.out.find("name=\"RootPath\" value=\"/new/\""));
  // A setting the POST leaves out keeps its value; the address keeps its
  // scheme.
  ASSERT_FALSE(Refused(admin.Save("lines=7&URL=https%3A%2F%2Fwww.example.org%2F")));
  const std::string now = admin.Stored();
  EXPECT_NE(std::string::npos, now.find(" lines=7\n"));
  EXPECT_NE(std::string::npos, now.find(" URL=https://www.example.org\n")) << now;
  EXPECT_NE(std::string::npos, now.find(" Unit=4\n"));
  EXPECT_NE(std::string::npos, now.find(" RootPath=/top/\n"));
  EXPECT_NE(std::string::npos, now.find(" Loging=Unique\n"));
  // Empty values are values: they clear what they name.
  ASSERT_FALSE(Refused(admin.Save("lines=&RootPath=")));
  EXPECT_NE(std::string::npos, admin.Stored().find(" RootPath=\n"));
}
