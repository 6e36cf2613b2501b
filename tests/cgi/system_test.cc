// The system object through the installed program: calendar and clock for
// pinned dates, the environment and cookies, uploads and removals below the
// document root, and the administrator's password and login.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";
using Env = std::map<std::string, std::string>;

CgiResult Post(const CgiSite& site, const std::string& body, Env env = {}) {
  env["REQUEST_METHOD"] = "POST";
  env["CONTENT_LENGTH"] = std::to_string(body.size());
  return site.Run(env, body);
}

// The value of the Set-Cookie line for "Admin", or "" when there is none.
std::string AdminCookie(const std::string& out) {
  const std::string key = "Set-Cookie: Admin=";
  const size_t at = out.find(key);
  if (at == std::string::npos) return "";
  return out.substr(at + key.size(), out.find(';', at) - at - key.size());
}

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

}  // namespace

TEST(SystemPagesTest, CalendarAndClockForAPinnedDay) {
  CgiSite site;
  site.WritePage("Cal",
                 "$Date|$System.Date.Value|$System.Date.thisday|$System.Date.istoday|"
                 "$System.Time.Value|$System.Time.Color|$System.LogDate.LastDate|"
                 "$System.LogDate.PrevLastDay|$System.LogDate.NextLastDate|$System.Version|$System.Build\n");
  // Without a "Date" parameter the selected day is yesterday.
  CgiResult r = site.Run({{"QUERY_STRING", "page=Cal"}}, "", "2000-03-01 09:05:07");
  EXPECT_EQ(std::string(kHtml) + "20000229|20000229|20000301|0|090507|#ffc080|20000229|31|20000331|1.1|0.3\n", r.out);
  r = site.Run({{"QUERY_STRING", "page=Cal&Date=20000105"}}, "", "2000-03-01 23:00:00");
  EXPECT_EQ(std::string(kHtml) + "20000105|20000105|20000301|0|230000|#c0c0ff|20000131|31|20000229|1.1|0.3\n", r.out);
  r = site.Run({{"QUERY_STRING", "page=Cal&Date=20000301"}}, "", "2000-03-01 12:00:00");
  EXPECT_EQ(std::string(kHtml) + "20000301|20000301|20000301|1|120000|#c0ffc0|20000331|29|20000430|1.1|0.3\n", r.out);
  // Written with dashes, the same day; the links carry it in one form.
  r = site.Run({{"QUERY_STRING", "page=Cal&Date=2000-01-05"}}, "", "2000-03-01 23:00:00");
  EXPECT_EQ(std::string(kHtml) + "20000105|20000105|20000301|0|230000|#c0c0ff|20000131|31|20000229|1.1|0.3\n", r.out);
  // A date that is no day answers the invalid-date page (400), whose links
  // lead to yesterday; an empty one is yesterday.
  site.WritePage("ErrorDate", "no day: $BadDate, shown $Date\n");
  for (const std::string bad : {"junk", "19991315", "19990100", "20261332", "99999999", "00000000", "2000-1-05",
                                "2000-01-5x", "2000/01/05", "200001050", "-2000105", "19691231", "21000101"}) {
    r = site.Run({{"QUERY_STRING", "page=Cal&Date=" + bad}}, "", "2000-03-01 12:00:00");
    EXPECT_EQ("Status: 400 Bad Request\n" + std::string(kHtml) + "no day: " + bad + ", shown 20000229\n", r.out);
  }
  r = site.Run({{"QUERY_STRING", "page=Cal&Date="}}, "", "2000-03-01 09:05:07");
  EXPECT_EQ(std::string(kHtml) + "20000229|20000229|20000301|0|090507|#ffc080|20000229|31|20000331|1.1|0.3\n", r.out);
  // Whether the selected day has statistics yet.
  site.WritePage("Status", "$System.LogDate.DayStatus\n");
  for (const auto& [day, status] : std::map<std::string, std::string>{
           {"20000229", "past"}, {"20000301", "today"}, {"20000302", "future"}}) {
    r = site.Run({{"QUERY_STRING", "page=Status&Date=" + day}}, "", "2000-03-01 12:00:00");
    EXPECT_EQ(std::string(kHtml) + status + "\n", r.out) << day;
  }
  // The ways through the calendar stop at today, from any day.
  site.WritePage("Moves", "$System.LogDate.prevmonth|$System.LogDate.prevweek|$System.LogDate.prevday|"
                          "$System.LogDate.nextday|$System.LogDate.nextweek|$System.LogDate.nextmonth\n");
  for (const auto& [day, moves] : std::map<std::string, std::string>{
           {"20000201", "20000101|20000125|20000131|20000202|20000208|20000301"},
           {"20000228", "20000101|20000221|20000227|20000229||20000301"},
           {"20000229", "20000101|20000222|20000228|20000301||20000301"},
           {"20000301", "20000201|20000223|20000229|||"},
           {"20000320", "20000201|||||"}}) {
    r = site.Run({{"QUERY_STRING", "page=Moves&Date=" + day}}, "", "2000-03-01 12:00:00");
    EXPECT_EQ(std::string(kHtml) + moves + "\n", r.out) << day;
  }
  // An input error still fixes the day for the error page.
  site.WritePage("ErrorMemory", "too big for $Date\n");
  r = site.Run({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "-1"}}, "", "2000-03-01 12:00:00");
  EXPECT_EQ("Status: 413 Content Too Large\n" + std::string(kHtml) + "too big for 20000229\n", r.out);
}

TEST(SystemPagesTest, EnvironmentAndCookies) {
  CgiSite site;
  site.WritePage("Env",
                 "$System.Env.SCRIPT_PATH|$System.Env.Dir|$System.Env.IsMac|$System.Env.HTTP_X_TEST|"
                 "$System.Cookie.a|$System.Cookie.b|$System.Cookie.c|$System.Server|$System.IsPost\n");
  const CgiResult r = site.Run({{"QUERY_STRING", "page=Env"},
                                {"SCRIPT_NAME", "/cgi-bin/stat/vazivev.cgi"},
                                {"HTTP_USER_AGENT", "Mozilla (Macintosh)"},
                                {"HTTP_X_TEST", "<x>"},
                                {"HTTP_COOKIE", "a=1; xb=2"}});
  // "xb" is not "b": cookie names are matched whole.
  EXPECT_EQ(std::string(kHtml) + "/cgi-bin/stat|" + site.Root() + "/|1|&lt;x&gt;|1|||vazivev.cgi|\n", r.out);
  // Creating the views on first use stores nothing.
  EXPECT_EQ("", Slurp(site.Path("data/index")));
}

TEST(SystemPagesTest, UploadIsSavedBelowTheDocumentRoot) {
  CgiSite site;
  const std::string docroot = site.Beside("htdocs");
  mkdir(docroot.c_str(), 0755);
  site.WritePage("Upload", "'$System.AttachFile $dest\n'$System.ContentType\nstored $up\n");
  const std::string content = "GIF89a\r\n\x01\x02 binary\n";
  auto body = [&](const std::string& dest) {
    return "--XX\r\nContent-Disposition: form-data; name=\"page\"\r\n\r\nUpload\r\n"
           "--XX\r\nContent-Disposition: form-data; name=\"dest\"\r\n\r\n" +
           dest +
           "\r\n"
           "--XX\r\nContent-Disposition: form-data; name=\"up\"; filename=\"C:\\My Pictures\\my photo.gif\"\r\n"
           "Content-Type: image/gif\r\n\r\n" +
           content + "\r\n--XX--\r\n";
  };
  const Env env = {{"CONTENT_TYPE", "multipart/form-data; boundary=XX"}, {"DOCUMENT_ROOT", docroot + "/"}};
  CgiResult r = Post(site, body("/images/2000/my_photo.gif"), env);
  EXPECT_EQ(std::string(kHtml) + "stored my_photo.gif\n", r.out);
  EXPECT_EQ(content, Slurp(docroot + "/images/2000/my_photo.gif"));
  // Outside the document root: refused with the error page, nothing written.
  site.WritePage("ErrorAttachFile", "attach refused\n");
  for (const std::string dest : {"/../my_photo.gif", "/a/../../my_photo.gif"}) {
    r = Post(site, body(dest), env);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Status: 500 Internal Server Error\n" + std::string(kHtml) + "attach refused\n", r.out) << dest;  // the error page alone
  }
  EXPECT_FALSE(Exists(docroot + "/../my_photo.gif"));
  // An upload that was never sent, and no document root at all.
  r = Post(site, body("/images/other.gif"), env);
  EXPECT_NE(std::string::npos, r.out.find("attach refused")) << r.out;
  r = Post(site, body("/images/my_photo.gif"), {{"CONTENT_TYPE", "multipart/form-data; boundary=XX"}});
  EXPECT_NE(std::string::npos, r.out.find("attach refused")) << r.out;
  // No "/" in the path: nothing happens, nothing is raised.
  r = Post(site, body("my_photo.gif"), env);
  EXPECT_EQ(std::string(kHtml) + "stored my_photo.gif\n", r.out);
  // Straight into the root.
  r = Post(site, body("/my_photo.gif"), env);
  EXPECT_EQ(std::string(kHtml) + "stored my_photo.gif\n", r.out);
  EXPECT_EQ(content, Slurp(docroot + "/my_photo.gif"));
  // Links never lead the upload out: not as a folder, not as the file.
  const std::string outside = site.Beside("outside");
  mkdir(outside.c_str(), 0755);
  ASSERT_EQ(0, symlink(outside.c_str(), (docroot + "/link").c_str()));
  ASSERT_EQ(0, symlink((outside + "/target").c_str(), (docroot + "/images/victim.gif").c_str()));
  for (const std::string dest : {"/link/new/deeper/my_photo.gif", "/link/my_photo.gif", "htdocs/my_photo.gif"}) {
    r = Post(site, body(dest), env);
    EXPECT_NE(std::string::npos, r.out.find("attach refused")) << dest;
  }
  EXPECT_FALSE(Exists(outside + "/new"));
  EXPECT_FALSE(Exists(outside + "/my_photo.gif"));
  EXPECT_FALSE(Exists(site.Beside("htdocshtdocs")));
}

// Content types and part headers as browsers and other clients send them.
TEST(SystemPagesTest, UploadWithQuotedBoundaryAndHeadersInAnyOrder) {
  CgiSite site;
  const std::string docroot = site.Beside("htdocs");
  mkdir(docroot.c_str(), 0755);
  site.WritePage("Upload", "'$System.AttachFile /$up\nstored $up $note\n");
  const std::string content = "line 1\r\n--X is not the boundary\r\n";
  const std::string body =
      "--XX\r\nContent-Disposition: form-data; name=\"page\"\r\n\r\nUpload\r\n"
      "--XX\r\nContent-Disposition: form-data; name=\"note\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\nhello\r\n"
      "--XX\r\nContent-Type: text/plain\r\n"
      "Content-Disposition: form-data; filename=\"notes; v2.txt\"; name=\"up\"\r\n\r\n" +
      content + "\r\n--XX--\r\n";
  for (const std::string type :
       {"multipart/form-data; boundary=\"XX\"", "multipart/form-data; boundary=XX; charset=UTF-8"}) {
    unlink((docroot + "/notes;_v2.txt").c_str());
    const CgiResult r = Post(site, body, {{"CONTENT_TYPE", type}, {"DOCUMENT_ROOT", docroot}});
    EXPECT_EQ(std::string(kHtml) + "stored notes;_v2.txt hello\n", r.out) << type;
    EXPECT_EQ(content, Slurp(docroot + "/notes;_v2.txt")) << type;
  }
}

TEST(SystemPagesTest, UploadsNeverReplaceLinksOrHiddenFiles) {
  CgiSite site;
  const std::string docroot = site.Beside("htdocs");
  mkdir(docroot.c_str(), 0755);
  const std::string outside = site.Beside("secret");
  std::ofstream(outside) << "secret";
  ASSERT_EQ(0, symlink(outside.c_str(), (docroot + "/v.txt").c_str()));
  site.WritePage("ErrorAttachFile", "attach refused\n");
  site.WritePage("Upload", "'$System.AttachFile /$up\n'$System.ContentType $none\nstored $up\n");
  for (const std::string name : {"v.txt", ".htaccess"}) {
    const std::string body =
        "--XX\r\nContent-Disposition: form-data; name=\"page\"\r\n\r\nUpload\r\n"
        "--XX\r\nContent-Disposition: form-data; name=\"up\"; filename=\"" +
        name + "\"\r\nContent-Type: text/plain\r\n\r\nowned\r\n--XX--";
    const CgiResult r =
        Post(site, body, {{"CONTENT_TYPE", "multipart/form-data; boundary=XX"}, {"DOCUMENT_ROOT", docroot}});
    // An empty header argument still gives the default content type.
    EXPECT_EQ("Status: 500 Internal Server Error\n" + std::string(kHtml) + "attach refused\n", r.out);
  }
  EXPECT_EQ("secret", Slurp(outside));
  EXPECT_FALSE(Exists(docroot + "/.htaccess"));
}

TEST(SystemPagesTest, RemovalsStayInsideTheDocumentRoot) {
  CgiSite site;
  const std::string docroot = site.Beside("htdocs"), outside = site.Beside("outside");
  for (const std::string& dir : {docroot, outside, docroot + "/old", docroot + "/old/sub"}) mkdir(dir.c_str(), 0755);
  std::ofstream(docroot + "/a.txt") << "a";
  std::ofstream(docroot + "/old/sub/f") << "f";
  std::ofstream(outside + "/keep") << "keep";
  ASSERT_EQ(0, symlink(outside.c_str(), (docroot + "/old/link").c_str()));
  ASSERT_EQ(0, symlink(outside.c_str(), (docroot + "/link").c_str()));
  site.WritePage("Remove",
                 "'$System.RemoveFile /a.txt\n'$System.RemoveFile /link/keep\n'$System.RemoveFile /../outside/keep\n"
                 "'$System.RemoveDir /old\n'$System.RemoveDir /\n'$System.RemoveDir /../outside\n"
                 "'$System.RemoveDir /link\ndone\n");
  const CgiResult r = site.Run({{"QUERY_STRING", "page=Remove"}, {"DOCUMENT_ROOT", docroot}});
  EXPECT_EQ(std::string(kHtml) + "done\n", r.out);
  EXPECT_FALSE(Exists(docroot + "/a.txt"));
  EXPECT_FALSE(Exists(docroot + "/old"));
  EXPECT_FALSE(Exists(docroot + "/link"));  // the link goes, not its target
  EXPECT_TRUE(Exists(docroot));
  EXPECT_EQ("keep", Slurp(outside + "/keep"));
}

TEST(SystemPagesTest, PasswordLoginAndProtectedPages) {
  CgiSite site;
  site.WritePage("VaziVevLogin", "login page for $page\n");
  site.WritePage("Secret", "'Admin\nsecret\n");
  for (const char* name : {"ErrorPassword", "ErrorCorrespond", "ErrorValue"}) {
    site.WritePage(name, std::string(name) + "\n");
  }
  // While no password is set, everybody is the administrator.
  EXPECT_EQ(std::string(kHtml) + "secret\n", site.Get("page=Secret").out);
  // The shipped password page sets the first password.
  CgiResult r = Post(site, "page=VaziVevPassword&newpassword=s3cret&confirm=other");
  EXPECT_EQ("Status: 400 Bad Request\n" + std::string(kHtml) + "ErrorCorrespond\n", r.out);
  r = Post(site, "page=VaziVevPassword&newpassword=" + std::string(65, 'x') + "&confirm=" + std::string(65, 'x'));
  EXPECT_EQ("Status: 400 Bad Request\n" + std::string(kHtml) + "ErrorValue\n", r.out);
  r = Post(site, "page=VaziVevPassword&newpassword=s3cret&confirm=s3cret");
  const std::string first_cookie = AdminCookie(r.out);
  EXPECT_FALSE(first_cookie.empty());
  EXPECT_EQ(0, r.out.find("Set-Cookie: Admin=")) << r.out;  // before the header
  EXPECT_NE(std::string::npos, r.out.find("Password changed"));
  EXPECT_NE(std::string::npos, Slurp(site.Path("data/admin")).find(" _hash=$y$")) << Slurp(site.Path("data/admin"));

  // Now the protected pages want a login.
  EXPECT_EQ(std::string(kHtml) + "login page for Secret\n", site.Get("page=Secret").out);
  r = Post(site, "page=VaziVevPassword&newpassword=x&confirm=x");
  EXPECT_EQ(std::string(kHtml) + "login page for VaziVevPassword\n", r.out);
  r = Post(site, "page=Secret&_System=Admin&_password=wrong");
  EXPECT_EQ("Status: 403 Forbidden\n" + std::string(kHtml) + "ErrorPassword\n", r.out);
  r = Post(site, "page=Secret&_System=Admin&_password=s3cret");
  const std::string cookie = AdminCookie(r.out);
  ASSERT_FALSE(cookie.empty());
  EXPECT_EQ("Set-Cookie: Admin=" + cookie + "; HttpOnly; SameSite=Strict\n" + kHtml + "secret\n", r.out);
  // The cookie proves the login on the next requests.
  EXPECT_EQ(std::string(kHtml) + "secret\n",
            site.Run({{"QUERY_STRING", "page=Secret"}, {"HTTP_COOKIE", "Admin=" + cookie}}).out);
  EXPECT_EQ(std::string(kHtml) + "secret\n",
            site.Run({{"QUERY_STRING", "page=Secret"}, {"HTTP_COOKIE", "x=1; Admin=" + first_cookie}}).out);
  for (const std::string& bad :
       {cookie.substr(1), cookie + "A", std::string("Admin"), std::string("!!"), std::string(3000, 'B')}) {
    EXPECT_EQ(std::string(kHtml) + "login page for Secret\n",
              site.Run({{"QUERY_STRING", "page=Secret"}, {"HTTP_COOKIE", "Admin=" + bad}}).out);
  }
  // A change in the administrator's name carries the form token of this
  // login, which the shipped form holds; without it, nothing changes.
  site.WritePage("ErrorForm", "ErrorForm\n");
  site.WritePage("Token", "$System.Admin.FormToken\n");
  auto token_of = [&](const std::string& login) {
    const std::string out = site.Run({{"QUERY_STRING", "page=Token"}, {"HTTP_COOKIE", "Admin=" + login}}).out;
    return out.substr(strlen(kHtml), out.size() - strlen(kHtml) - 1);
  };
  const std::string token = token_of(cookie);
  EXPECT_EQ(64u, token.size());
  EXPECT_EQ("", token_of("x"));
  const std::string form = site.Run({{"QUERY_STRING", "page=VaziVevPassword"}, {"HTTP_COOKIE", "Admin=" + cookie}}).out;
  EXPECT_NE(std::string::npos, form.find("name=\"_token\" value=\"" + token + "\"")) << form;
  const std::string admin = Slurp(site.Path("data/admin"));
  for (const std::string& bad : {std::string(), std::string("&_token="), "&_token=" + token.substr(1) + "0", "&_token=" + cookie}) {
    r = Post(site, "page=VaziVevPassword&newpassword=&confirm=" + bad, {{"HTTP_COOKIE", "Admin=" + cookie}});
    EXPECT_EQ("Status: 403 Forbidden\n" + std::string(kHtml) + "ErrorForm\n", r.out) << bad;
  }
  EXPECT_EQ(admin, Slurp(site.Path("data/admin")));
  // The administrator removes the password: the page is open again.
  r = Post(site, "page=VaziVevPassword&newpassword=&confirm=&_token=" + token, {{"HTTP_COOKIE", "Admin=" + cookie}});
  EXPECT_EQ(0, r.out.find("Set-Cookie: Admin=; HttpOnly; SameSite=Strict\n"));
  EXPECT_EQ(std::string(kHtml) + "secret\n", site.Get("page=Secret").out);
}

// Until a password is set every visitor is the administrator: the shipped
// settings page then saves everything but the files to read, which wait for
// the password.
TEST(SystemPagesTest, FilesAreNamedOnlyOnceAPasswordIsSet) {
  CgiSite site;
  site.WritePage("ErrorNoPassword", "ErrorNoPassword\n");
  const std::string log = "LogFile=" + Encoded(site.Path("access.log"));
  const std::string form = "page=VaziVevSettings&Loging=Unique&Unit=3&lines=20";
  CgiResult r = Post(site, form + "&" + log);
  EXPECT_EQ("Status: 403 Forbidden\n" + std::string(kHtml) + "ErrorNoPassword\n", r.out);
  EXPECT_FALSE(Exists(site.Path("data/vazivev/index")));
  r = Post(site, form + "&DateFile=%2Fetc%2Fpasswd");
  EXPECT_EQ("Status: 403 Forbidden\n" + std::string(kHtml) + "ErrorNoPassword\n", r.out);
  r = Post(site, form + "&LogFile=");
  EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/index")).find(" lines=20\n"));
  const std::string settings = site.Get("page=VaziVevSettings").out;
  EXPECT_NE(std::string::npos, settings.find("id=\"nopassword\""));
  EXPECT_NE(std::string::npos, settings.find("name=\"LogFile\" value=\"\" size=\"50\" readonly>"));

  const std::string cookie = AdminCookie(Post(site, "page=VaziVevPassword&newpassword=pw&confirm=pw").out);
  site.WritePage("Token", "$System.Admin.FormToken");
  const std::string page = site.Run({{"QUERY_STRING", "page=Token"}, {"HTTP_COOKIE", "Admin=" + cookie}}).out;
  const std::string token = page.substr(page.size() - 64);
  Write(site.Path("access.log"), "");
  Post(site, form + "&" + log + "&_token=" + token, {{"HTTP_COOKIE", "Admin=" + cookie}});
  EXPECT_NE(std::string::npos, Slurp(site.Path("data/vazivev/index")).find(" LogFile=" + site.Path("access.log") + "\n"));
}

TEST(SystemPagesTest, SystemPropertiesAndPlainChildrenLastAcrossRequests) {
  CgiSite site;
  site.WritePage("Make", "'$System.Add settings Object\n'$System.settings.color = red\n'$System.title = Stats\n");
  site.WritePage("More", "'$System.Add more Object\n'$System.more.size = 3\n'$System.Cookie.a = 9\n");
  site.WritePage("Show", "$System.settings.color|$System.title|$System.more.size|$System.Cookie.a\n");
  const Env post = {{"REQUEST_METHOD", "POST"}};
  auto env = post;
  env["QUERY_STRING"] = "page=Make";
  EXPECT_EQ("Location: vazivev.cgi?\n\n", site.Run(env).out);
  env["QUERY_STRING"] = "page=More";
  EXPECT_EQ("Location: vazivev.cgi?\n\n", site.Run(env).out);  // must not lose the first
  // Cookie values set by a page last only for that request.
  EXPECT_EQ(std::string(kHtml) + "red|Stats|3|\n", site.Get("page=Show").out);
  // Changes of the system's own data alone are kept as well.
  site.WritePage("Change", "'$System.title = New\n'$System.Remove more\n");
  env["QUERY_STRING"] = "page=Change";
  EXPECT_EQ("Location: vazivev.cgi?\n\n", site.Run(env).out);
  EXPECT_EQ(std::string(kHtml) + "red|New||\n", site.Get("page=Show").out);
}

TEST(SystemPagesTest, ComparisonOfTwoAnswersFromOneSharedText) {
  CgiSite site;
  // Both sides are answered in the same scratch text; the left one must
  // survive the reading of the right one.
  site.WritePage("Cmp",
                 "'if $System.Env.X_A = $System.Env.SCRIPT_PATH\nsame\n'else\ndiffer\n'endif\n"
                 "'if $System.LogDate.LastDate = $System.LogDate.NextLastDate\nsame\n'else\ndiffer\n'endif\n");
  const CgiResult r =
      site.Run({{"QUERY_STRING", "page=Cmp&Date=20000115"}, {"X_A", "/a"}, {"SCRIPT_NAME", "/a/vazivev.cgi"}});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(std::string(kHtml) + "same\ndiffer\n", r.out);
}

TEST(SystemPagesTest, RemovingWhatALoopOrANameStillHolds) {
  CgiSite site;
  site.WritePage("Loop",
                 "'$System.Add box Container\n'$System.box.Add a Object\n'$System.box.Add b Object\n"
                 "'$System.box.Add c Object\n'set $keep = System.box.b\n"
                 "'for each $n in $System.box\n$n\n'$System.box.Remove b\n'next\n"
                 "'$keep.x = 1\n$keep.x|$System.box.Count\n"
                 "'$System.Add list Items\n'$System.list.Add x\n'$System.list.Add y\n'$System.list.Add z\n"
                 "'for each $i in $System.list\n$i\n'$System.list.Remove y\n'next\n"
                 "'for each $i in $System.box\n'$System.Remove box\n$i\n'next\n");
  const CgiResult r = site.Get("page=Loop");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(std::string(kHtml) + "a\nc\n1|2\nx\na\nc\n", r.out);
}

// Under a web server whose document root is the program's own folder (an
// alias to the site), or holds it, no upload or removal reaches the pages,
// the data, the logs, the lock file or the folder itself.
TEST(SystemPagesTest, TheProgramFolderIsOutOfReach) {
  CgiSite site;
  site.WritePage("ErrorAttachFile", "attach refused\n");
  site.WritePage("Upload", "'$System.AttachFile $dest\nstored\n");
  const std::string admin = "object admin : Admin\n _md5=0\nend\n";
  std::ofstream(site.Path("data/admin")) << admin;
  for (const std::string dest : {"/page/Evil.html", "/data/index", "/vazivev.txt", "/logs/x.log", "/new/x.html"}) {
    const std::string body =
        "--XX\r\nContent-Disposition: form-data; name=\"page\"\r\n\r\nUpload\r\n"
        "--XX\r\nContent-Disposition: form-data; name=\"dest\"\r\n\r\n" +
        dest +
        "\r\n"
        "--XX\r\nContent-Disposition: form-data; name=\"up\"; filename=\"" +
        dest.substr(dest.rfind('/') + 1) + "\"\r\n\r\n'$System.Admin.SetPassword a a\r\n--XX--";
    const CgiResult r =
        Post(site, body, {{"CONTENT_TYPE", "multipart/form-data; boundary=XX"}, {"DOCUMENT_ROOT", site.Root()}});
    EXPECT_NE(std::string::npos, r.out.find("attach refused")) << dest << r.out;
  }
  EXPECT_FALSE(Exists(site.Path("page/Evil.html")));
  EXPECT_FALSE(Exists(site.Path("new")));
  EXPECT_EQ("", Slurp(site.Path("vazivev.txt")));
  site.WritePage("Remove",
                 "'$System.RemoveFile /data/admin\n'$System.RemoveDir /page\n'$System.RemoveDir /data\n"
                 "'$System.RemoveFile /vazivev.cgi\ndone\n");
  EXPECT_EQ(std::string(kHtml) + "done\n",
            site.Run({{"QUERY_STRING", "page=Remove"}, {"DOCUMENT_ROOT", site.Root()}}).out);
  // A document root above the site: the folder that holds the program.
  const std::string parent = site.Root().substr(0, site.Root().rfind('/'));
  const std::string name = site.Root().substr(parent.size());
  site.WritePage("RemoveAll", "'$System.RemoveDir " + name + "\n'$System.RemoveDir " + name + "/data\ndone\n");
  EXPECT_EQ(std::string(kHtml) + "done\n",
            site.Run({{"QUERY_STRING", "page=RemoveAll"}, {"DOCUMENT_ROOT", parent}}).out);
  EXPECT_EQ(admin, Slurp(site.Path("data/admin")));
  EXPECT_TRUE(Exists(site.Path("page/VaziVevIndex.html")));
  EXPECT_TRUE(Exists(site.Path("vazivev.cgi")));
}

// An administrator record that is there but cannot be read is no reason to
// let everybody in: the guarded page answers ErrorFileLoad.
TEST(SystemPagesTest, UnreadableAdministratorFailsClosed) {
  CgiSite site;
  site.WritePage("ErrorFileLoad", "cannot load\n");
  site.WritePage("Secret", "'Admin\nsecret\n");
  for (const std::string text : {"", "garbage\n", "object admin Admin\n _md5=x\nend\n",
                                 "object admin : Admin\n _hash\nend\n", "object admin : Admin\n _hash=\nend\n"}) {
    std::ofstream(site.Path("data/admin")) << text;
    EXPECT_EQ("Status: 500 Internal Server Error\n" + std::string(kHtml) + "cannot load\n", site.Get("page=Secret").out) << text;
    const CgiResult r = Post(site, "page=VaziVevPassword&newpassword=mine&confirm=mine");
    EXPECT_NE(std::string::npos, r.out.find("cannot load")) << r.out;
    EXPECT_EQ(text, Slurp(site.Path("data/admin")));
  }
  unlink(site.Path("data/admin").c_str());
  mkdir(site.Path("data/admin").c_str(), 0755);  // a folder where the file belongs
  EXPECT_EQ("Status: 500 Internal Server Error\n" + std::string(kHtml) + "cannot load\n", site.Get("page=Secret").out);
}

// Property names chosen by a visitor cannot plant lines in a stored file.
TEST(SystemPagesTest, PropertyNamesCannotInjectLines) {
  CgiSite site;
  site.WritePage("Make", "'$System.Add cnt Object\n");
  site.WritePage("Set", "'$System.cnt.$k = $v\n'$System.cnt.ok = 1\n");
  site.WritePage("Secret", "'Admin\nsecret\n");
  EXPECT_EQ("Location: vazivev.cgi?\n\n", Post(site, "page=Make").out);
  for (const std::string k : {"x\n object Admin : Admin\n _md5=0cc175b9c0f1b6a831c399e269772661\n",
                              "object Admin : Admin", " object admin : Admin", "a=b", "x\rend"}) {
    Post(site, "page=Set&k=" + Encoded(k) + "&v=1");
    const std::string index = Slurp(site.Path("data/index"));
    EXPECT_EQ(std::string::npos, index.find("Admin")) << index;
    EXPECT_NE(std::string::npos, index.find(" ok=1\n")) << index;
    EXPECT_EQ(std::string(kHtml) + "secret\n", site.Get("page=Secret").out);  // still no password
  }
}

// A password change whose save fails answers with the error page alone: no
// "changed" page, and no cookie for a password that was not stored.
TEST(SystemPagesTest, FailedSaveOfAPostShowsOnlyTheErrorPage) {
  CgiSite site;
  site.WritePage("ErrorFileSave", "not saved\n");
  mkdir(site.Path("data/admin.Tmp").c_str(), 0755);  // the replacement cannot be written
  const CgiResult r = Post(site, "page=VaziVevPassword&newpassword=s3cret&confirm=s3cret");
  EXPECT_EQ("Status: 500 Internal Server Error\n" + std::string(kHtml) + "not saved\n", r.out);
  EXPECT_FALSE(Exists(site.Path("data/admin")));
  rmdir(site.Path("data/admin.Tmp").c_str());
  EXPECT_EQ(0u, Post(site, "page=VaziVevPassword&newpassword=s3cret&confirm=s3cret").out.find("Set-Cookie: Admin="));
}
