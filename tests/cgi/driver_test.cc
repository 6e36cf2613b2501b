// The program as a web server runs it: headers, pages, redirects, errors
// and the lock, seen from standard output and the site's files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cgi/cgi_site.h"

namespace {

const char kHtml[] = "Content-type: text/html\n\n";
const char kNotFound[] = "<html><body><font size=+1><b>File not found.</b></font></body></html>\n";

// Replaces the shipped error pages with one-line marks, so that answers
// can be compared byte for byte.
void MarkErrorPages(const CgiSite& site) {
  for (const char* name : {"ErrorInstall", "ErrorBusy", "ErrorMemory", "ErrorFail", "ErrorNotFound", "VaziVevIndex"}) {
    site.WritePage(name, std::string("page ") + name + "\n");
  }
}

// The status lines each marked page answers with.
std::string StatusOf(const std::string& name) {
  const std::map<std::string, std::string> statuses = {
      {"ErrorInstall", "Status: 500 Internal Server Error\n"},
      {"ErrorBusy", "Status: 503 Service Unavailable\nRetry-After: 5\n"},
      {"ErrorMemory", "Status: 413 Content Too Large\n"},
      {"ErrorFail", "Status: 500 Internal Server Error\n"},
      {"ErrorNotFound", "Status: 404 Not Found\n"},
      {"VaziVevIndex", ""}};
  return statuses.at(name);
}

std::string Answer(const char* name) { return StatusOf(name) + kHtml + "page " + name + "\n"; }

}  // namespace

TEST(DriverTest, GetWithoutParametersAnswersTheDefaultPage) {
  CgiSite site;
  site.WritePage("VaziVevIndex", "<p>index</p>\n");
  for (const std::string query : {"", "page=", "Date=19990101"}) {
    const CgiResult r = site.Get(query);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string(kHtml) + "<p>index</p>\n", r.out) << query;
  }
  // The installed default page is a real page.
  CgiSite installed;
  const CgiResult r = installed.Run({});
  EXPECT_EQ(0, r.out.find(std::string(kHtml) + "<!DOCTYPE html>\n<html lang=\"en\">"));
  EXPECT_NE(std::string::npos, r.out.find("</html>\n"));
}

TEST(DriverTest, PagesInSubfoldersAndMissingPages) {
  CgiSite site;
  mkdir(site.Path("page/sub").c_str(), 0755);
  site.WritePage("sub/Inner", "inner\n");
  EXPECT_EQ(std::string(kHtml) + "inner\n", site.Get("page=sub/Inner").out);
  // The installed not-found page is one of the site's own.
  CgiResult r = site.Get("page=NoSuchPage");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0, r.out.find("Status: 404 Not Found\nContent-type: text/html\n\n<!DOCTYPE html>")) << r.out;
  EXPECT_EQ("What you asked for does not exist.", Figure(r.out, "error"));
  // A POST to a missing page is no redirect either.
  r = site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=NoSuchPage"}, {"CONTENT_LENGTH", "3"}}, "a=1");
  EXPECT_EQ(0, r.out.find("Status: 404 Not Found\nContent-type: text/html\n\n<!DOCTYPE html>")) << r.out;
  // Without it, the fixed answer, still a 404.
  unlink(site.Path("page/ErrorNotFound.html").c_str());
  EXPECT_EQ("Status: 404 Not Found\n" + std::string(kHtml) + kNotFound, site.Get("page=NoSuchPage").out);
}

TEST(DriverTest, PageNamesThatLeavePageFolderAreNotFound) {
  CgiSite site;
  // A template outside page/ that a traversal would reach.
  std::ofstream(site.Path("secret.html")) << "secret\n";
  std::ofstream(site.Path("data/x.html")) << "data\n";
  MarkErrorPages(site);
  for (const std::string& name : std::vector<std::string>{"../secret", "sub/../../secret", "/" + site.Root() + "/secret",
                                 site.Root() + "/secret", "../data/x", ".."}) {
    const CgiResult r = site.Get("page=" + name);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Answer("ErrorNotFound"), r.out) << name;
  }
}

TEST(DriverTest, PostThatWritesNothingIsRedirected) {
  CgiSite site;
  site.WritePage("Quiet", "");
  struct Case { std::map<std::string, std::string> env; std::string location; };
  const Case cases[] = {
      {{{"SCRIPT_NAME", "/cgi-bin/vazivev.cgi"}, {"SERVER_NAME", "www"}},
       "http://www/cgi-bin/vazivev.cgi?"},
      {{{"SCRIPT_NAME", "/cgi-bin/vazivev.cgi"}, {"SERVER_NAME", "www"}, {"SERVER_PORT", "8080"}},
       "http://www:8080/cgi-bin/vazivev.cgi?"},
      {{{"SCRIPT_NAME", "/cgi-bin/vazivev.cgi"}, {"SERVER_NAME", "www"}, {"SERVER_PORT", "443"}},
       "https://www/cgi-bin/vazivev.cgi?"},
      {{{"SCRIPT_NAME", "/cgi-bin/vazivev.cgi"}}, "/cgi-bin/vazivev.cgi?"},
      {{}, "vazivev.cgi?"},
      // A line break smuggled into the environment cannot add a header.
      {{{"SCRIPT_NAME", "/a/x.cgi"}, {"SERVER_NAME", "www\r\nSet-Cookie: x=1"}},
       "http://wwwSet-Cookie: x=1/a/vazivev.cgi?"},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::string> env = c.env;
    env["REQUEST_METHOD"] = "POST";
    env["QUERY_STRING"] = "page=Quiet";
    env["CONTENT_LENGTH"] = "3";
    const CgiResult r = site.Run(env, "a=1");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Location: " + c.location + "\n\n", r.out);
  }
}

TEST(DriverTest, PostPageThatWritesTextGetsTheDefaultHeaderFirst) {
  // A page's text never goes out ahead of a header, nor is it followed by a
  // redirect; a header the page asks for after its text comes too late.
  CgiSite site;
  site.WritePage("Talk", "hello\n");
  site.WritePage("Late", "hello\n'$System.ContentType \"Content-type: text/plain\"\nworld\n");
  EXPECT_EQ(std::string(kHtml) + "hello\n", site.Run({{"REQUEST_METHOD", "post"}, {"QUERY_STRING", "page=Talk"}}).out);
  EXPECT_EQ(std::string(kHtml) + "hello\nworld\n",
            site.Run({{"REQUEST_METHOD", "post"}, {"QUERY_STRING", "page=Late"}}).out);
}

TEST(DriverTest, MissingLockFileIsErrorInstall) {
  CgiSite site;
  MarkErrorPages(site);
  unlink(site.Path("vazivev.txt").c_str());
  const CgiResult r = site.Get("");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Answer("ErrorInstall"), r.out);
  EXPECT_FALSE(std::ifstream(site.Path("vazivev.txt")).good());  // never created
  // Without its error page, the fixed answer, with the error's status.
  unlink(site.Path("page/ErrorInstall.html").c_str());
  EXPECT_EQ(StatusOf("ErrorInstall") + kHtml + kNotFound, site.Get("").out);
}

TEST(DriverTest, HeldLockIsErrorBusyForGetAndPost) {
  CgiSite site;
  MarkErrorPages(site);
  const int fd = open(site.Path("vazivev.txt").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  ASSERT_EQ(0, fcntl(fd, F_SETLK, &whole));
  // A POST's busy page carries the header too: the lock comes first. The
  // clock runs a hundred times fast, so the eleven seconds of waiting take
  // a tenth of a second.
  const CgiResult r =
      site.Run({{"REQUEST_METHOD", "POST"}, {"CONTENT_LENGTH", "3"}}, "a=1", "2026-01-01 00:00:00 x100");
  close(fd);
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(Answer("ErrorBusy"), r.out);
  // Released with the descriptor: the next request goes through.
  EXPECT_EQ(Answer("VaziVevIndex"), site.Get("").out);
}

TEST(DriverTest, BadContentLengthIsErrorMemory) {
  CgiSite site;
  MarkErrorPages(site);
  site.WritePage("Quiet", "");
  for (const std::string length : {"-5", "abc", "99999999999999999999", "16777217"}) {
    const CgiResult r = site.Run(
        {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Quiet"}, {"CONTENT_LENGTH", length}}, "a=1");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Answer("ErrorMemory"), r.out) << length;
  }
}

TEST(DriverTest, ShortOrOddBodiesAreHarmless) {
  CgiSite site;
  site.WritePage("Quiet", "");
  const std::string bodies[] = {"a=1%", "%%%=%", "&&&", "=", std::string("a=\0b", 4), "a=%4"};
  for (const std::string& body : bodies) {
    // CONTENT_LENGTH larger than the body: the body ends at end of input.
    const CgiResult r = site.Run(
        {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Quiet"}, {"CONTENT_LENGTH", "1000"}}, body);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("Location: vazivev.cgi?\n\n", r.out);
  }
}

TEST(DriverTest, MultipartPosts) {
  CgiSite site;
  MarkErrorPages(site);
  site.WritePage("Quiet", "");
  const std::map<std::string, std::string> base = {{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Quiet"}};
  // Without a boundary no body is read, but it is still a POST.
  auto env = base;
  env["CONTENT_TYPE"] = "multipart/form-data";
  env["CONTENT_LENGTH"] = "5";
  EXPECT_EQ("Location: vazivev.cgi?\n\n", site.Run(env, "xxxxx").out);
  // Above the limit: refused before anything is read.
  env["CONTENT_TYPE"] = "multipart/form-data; boundary=b";
  env["CONTENT_LENGTH"] = "67108865";
  const CgiResult big = site.Run(env, "--b\r\n");
  EXPECT_EQ(0, big.status);
  EXPECT_EQ(Answer("ErrorMemory"), big.out);
  // A well-formed body shorter than announced.
  env["CONTENT_LENGTH"] = "1000";
  const CgiResult ok = site.Run(env, "--b\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n--b--");
  EXPECT_EQ(0, ok.status);
  EXPECT_EQ("Location: vazivev.cgi?\n\n", ok.out);
}

TEST(DriverTest, ErrorInTheMiddleOfAPageFollowsItsOutputUnderOneHeader) {
  CgiSite site;
  site.WritePage("ErrorCreate", "cannot create\n");
  // A name with a slash can never be stored, so adding it raises ErrorCreate.
  site.WritePage("Broken", "before\n'$System.Add a/b Object\nafter\n");
  // The answer waits for the end of the request: the error still decides
  // its status.
  const std::string failed = "Status: 500 Internal Server Error\n" + std::string(kHtml);
  EXPECT_EQ(failed + "before\ncannot create\n", site.Get("page=Broken").out);
  // A POST's output waits for its save: an error sends the error page alone.
  const CgiResult r = site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Broken"}});
  EXPECT_EQ(failed + "cannot create\n", r.out);
  // An error page that fails itself gives the fixed answer.
  site.WritePage("ErrorCreate", "'$System.Add c/d Object\n");
  EXPECT_EQ(failed + "before\n" + kNotFound, site.Get("page=Broken").out);
}

TEST(DriverTest, ObjectsMadeByOneRequestAreReadByTheNext) {
  CgiSite site;
  site.WritePage("Make", "'$System.Add notes Container\n'$System.notes.Add first Object\n"
                         "'$System.notes.first.title = \"Hello, world\"\n");
  site.WritePage("Show", "$System.notes.first.title|$System.notes.Count\n");
  EXPECT_EQ("Location: vazivev.cgi?\n\n", site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Make"}}).out);
  EXPECT_EQ(std::string(kHtml) + "Hello, world|1\n", site.Get("page=Show").out);
}

TEST(DriverTest, APageSetsItsStatusUntilTheAnswerGoesOut) {
  CgiSite site;
  site.WritePage("Early", "'$System.Status 404\nmissing\n");
  site.WritePage("Late", "text\n'$System.Status 400\nmore\n");
  site.WritePage("Odd", "'$System.Status 299\nodd\n");
  EXPECT_EQ("Status: 404 Not Found\n" + std::string(kHtml) + "missing\n", site.Get("page=Early").out);
  // The answer is held: a status set after text still goes first.
  EXPECT_EQ("Status: 400 Bad Request\n" + std::string(kHtml) + "text\nmore\n", site.Get("page=Late").out);
  const CgiResult post = site.Run({{"REQUEST_METHOD", "POST"}, {"QUERY_STRING", "page=Late"}});
  EXPECT_EQ("Status: 400 Bad Request\n" + std::string(kHtml) + "text\nmore\n", post.out);
  // A code the program has no reason phrase for is not sent.
  EXPECT_EQ(std::string(kHtml) + "odd\n", site.Get("page=Odd").out);
}
