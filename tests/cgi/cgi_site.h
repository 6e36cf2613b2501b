// A scratch copy of the installed site, and a runner that starts the
// program in it as a web server would: a CGI environment, the request body
// on standard input, the site as working directory.
#ifndef TESTS_CGI_CGI_SITE_H_
#define TESTS_CGI_CGI_SITE_H_

#include <map>
#include <string>
#include <vector>

#include "tests/fake_time.h"

// The whole content of a file ("" when it cannot be read), a file written
// with exactly `text`, and whether anything (a dangling link too) has the
// path.
std::string Slurp(const std::string& path);
void Write(const std::string& path, const std::string& text);
bool Exists(const std::string& path);
// The text of a page's element with that id, up to its first tag, or
// "(none)" when the page has no such element.
std::string Figure(const std::string& page, const std::string& id);
// The lines of `text` without their line feeds, sorted.
std::vector<std::string> SortedLines(const std::string& text);

struct CgiResult {
  std::string out;
  int status = -1;  // exit status, or 128 + signal
};

class CgiSite {
 public:
  // Copies the installed site (program, page/, data/, logs/, lock file).
  CgiSite();
  ~CgiSite();
  CgiSite(const CgiSite&) = delete;
  CgiSite& operator=(const CgiSite&) = delete;

  const std::string& Root() const { return root_; }
  std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
  // A path beside the site, outside the program's folder (removed with it).
  std::string Beside(const std::string& name) const { return root_ + "-" + name; }
  void WritePage(const std::string& name, const std::string& text) const;

  // Runs one request. `env` holds the CGI variables (nothing else is
  // inherited but PATH); `faketime`, when set, pins the clock
  // ("2000-03-01 12:00:00").
  CgiResult Run(const std::map<std::string, std::string>& env, const std::string& body = "",
                const std::string& faketime = "") const;
  // How a run is cut short: killed (SIGKILL) after `kill_after_us`
  // microseconds when that is 0 or more, and with files limited to
  // `file_size_limit` bytes (SIGXFSZ ignored: a write past it fails, as on
  // a full disk) when that is above 0.
  struct Limits {
    long kill_after_us = -1;
    long file_size_limit = 0;
    // With a path, the kill waits until the file holds `kill_when_holds`
    // (and then kill_after_us more); a request that ends first is not
    // killed.
    std::string kill_when_path;
    std::string kill_when_holds;
    // Above 0, the program's address space is limited to this many bytes
    // (RLIMIT_AS): an allocation past it fails.
    long address_space_limit = 0;
    // At 0 or more, the program runs as this user and group id, as a web
    // server's user would (the test must run as root).
    int run_as = -1;
  };
  CgiResult Run(const std::map<std::string, std::string>& env, const std::string& body, const std::string& faketime,
                const Limits& limits) const;
  // A GET with the given query string.
  CgiResult Get(const std::string& query) const;

 private:
  std::string root_;
};

#endif  // TESTS_CGI_CGI_SITE_H_
