// HServer, the CGI driver: one Run per process reads the request, takes
// the lock (Lock, which the application's server gives), renders the
// requested page through the embedded page script, saves, answers with a
// redirect or the not-found page where needed and releases the lock.
// Every answer carries the status that fits it ("Status:", ahead of the
// other header lines): that of an error's page, 404 for a page that does
// not exist, or one a page sets. Subclasses fill in the virtual steps.
#ifndef SERVER_SERVER_H_
#define SERVER_SERVER_H_

#include <ctime>
#include <string>

#include "core/iserver.h"
#include "core/params.h"
#include "core/text.h"
#include "server/held_output.h"
#include "server/server_script.h"

// The program directory, absolute and ending with "/".
extern HString HomeDir;
// The request parameters.
extern HParams Params;

class HServer : public IServer {
 public:
  HServer();
  HServer(const HServer&) = delete;
  HServer& operator=(const HServer&) = delete;

  const char* GetParam(const char* name) override;
  IEnum* EnumParam(const char* name) override;
  void SetParam(const char* name, const char* value) override;
  IObject* GetSystem() override { return nullptr; }
  IObjectFactory* GetFactory() override { return nullptr; }
  IEnum* GetEnumSource() override { return nullptr; }
  const char* GetHomeDir() override { return HomeDir.CStr(); }

  // The driver steps.
  virtual void ReadInput();
  virtual void ReadQuery();
  virtual void Update() {}
  // Work of the request that needs no lock, done before Lock: the slow
  // part of a login.
  virtual void BeforeLock() {}
  virtual void CheckLogin() {}
  virtual void Lock(int /*post*/) {}
  // The lock a request from the web server takes: Lock, unless the
  // application lets a request that may only read share it.
  virtual void LockRequest(int post) { Lock(post); }
  virtual void Unlock() {}
  virtual void Save() {}

  // The whole request. Never throws.
  void Run(int argc, char** argv);
  void SetHomeDir(const char* argv0);
  // Writes `text` (or the text/html header) and the blank line, once, after
  // the status. While the output is held, it is kept for the release; when
  // the page has already written text, the default header goes first
  // instead (a header after text is lost on the browser).
  void WriteHeader(const char* text);
  // While the output is held, the line is kept with it.
  void SetCookie(const char* name, const char* value, time_t expires = 0) override;
  // The status of the answer (200 sends no status line) and, above 0, the
  // seconds of a "Retry-After:". It takes effect while the header is not
  // yet sent: until the end of the request while the output is held.
  void SetStatus(int code, int retry_after = 0);
  int Status() const { return status_; }
  void SetRedirect(const char* url) { redirect_.Assign(url); }
  int IsPost() const { return post_; }
  const char* ServerName() const { return server_name_; }
  int IsMultipart() const { return multipart_; }
  int HeaderWritten() const { return header_written_; }
  // False when the page file cannot be opened (or its name would leave
  // page/); true otherwise, whatever the page then did. Writes the default
  // header first, unless the request is a POST, once the file is open.
  bool RenderPage(const char* name);
  // As RenderPage, but any error raised inside yields false.
  bool RenderErrorPage(const char* name);
  void WriteRedirect();
  void WriteBaseUrl();

 protected:
  void WriteCookie(const char* name, const char* value, time_t expires);
  // "Status:" and "Retry-After:" lines, or "" for a plain 200.
  std::string StatusLines() const;

  int post_ = 0;
  int multipart_ = 0;
  int header_written_ = 0;
  const char* server_name_ = "server";
  const char* default_page_ = "index";
  HServerScript script_;
  HString redirect_;
  int status_ = 200;
  int retry_after_ = 0;
  // The response, held until the request is done (a POST's until its save
  // has succeeded).
  HHeldOutput held_;
};

// True when a page name stays inside page/: not absolute and without a
// ".." path component.
bool IsSafePageName(const char* name);

#endif  // SERVER_SERVER_H_
