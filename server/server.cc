#include "server/server.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/errors.h"
#include "core/file.h"
#include "server/cgi_input.h"
#include "server/http_status.h"
#include "server/multipart.h"

HString HomeDir;
HParams Params;

namespace {

// What a busy answer asks the browser to wait before it tries again.
constexpr int kBusyRetrySeconds = 5;
// Memory set aside at the start of a request and given back when it runs
// out, so that the error page can still be made.
constexpr size_t kMemoryReserve = 1 << 20;

const char kNotFound[] = "<html><body><font size=+1><b>File not found.</b></font></body></html>\n";

// Header values come from the environment or from pages; a line break in
// one would start a header of its own.
void WriteHeaderValue(const char* text) {
  for (; *text != 0; ++text) {
    if (*text != '\r' && *text != '\n') putchar(*text);
  }
}

}  // namespace

HServer::HServer() { script_.SetServer(this); }

const char* HServer::GetParam(const char* name) { return Params.GetValue(name); }

IEnum* HServer::EnumParam(const char* name) { return new HEnumParam(Params, name); }

void HServer::SetParam(const char* name, const char* value) {
  if (value == nullptr) {
    Params.RemoveAll(name);
  } else {
    Params.SetValue(name, value);
  }
}

void HServer::ReadQuery() {
  const char* query = getenv("QUERY_STRING");
  if (query != nullptr && *query != 0) ParseQueryString(query, Params);
  // A password in a query string ends up in the web server's access log: it
  // is taken from a posted body only.
  Params.RemoveAll("_password");
}

void HServer::ReadInput() {
  ReadQuery();
  const char* method = getenv("REQUEST_METHOD");
  if (method == nullptr || CompareNoCase(method, "post", 4) != 0) return;
  post_ = 1;
  const char* type = getenv("CONTENT_TYPE");
  static const char kMultipart[] = "multipart/form-data";
  HString boundary("--");
  if (type != nullptr && CompareNoCase(type, kMultipart, sizeof kMultipart - 1) == 0) {
    multipart_ = 1;
    // Quoted or not, and not necessarily the last parameter. Without a
    // boundary no part could be found: the body is not read.
    HString value;
    if (!FindHeaderParam(type + sizeof kMultipart - 1, type + strlen(type), "boundary", value) || value.IsEmpty()) {
      return;
    }
    boundary.Append(value);
  }
  const long length = ContentLength(getenv("CONTENT_LENGTH"), multipart_ ? kMaxMultipartBody : kMaxFormBody);
  if (length < 0) throw ErrorMemory;
  if (length == 0) return;
  if (multipart_) {
    MultiPart.Parse(length, boundary.CStr(), Params);
    return;
  }
  HString body = ReadBody(stdin, length);
  ParseFormBody(body.PtrAt(0), Params);
}

void HServer::SetHomeDir(const char* argv0) {
  HomeDir.Clear();
  if (argv0 == nullptr) argv0 = "";
  if (argv0[0] != '/') {
    char cwd[1024];
    if (getcwd(cwd, sizeof cwd) == nullptr) return;
    HomeDir.Assign(cwd);
    if (HomeDir.IsEmpty() || HomeDir.At(HomeDir.Length() - 1) != '/') HomeDir.Append("/");
  }
  const int slash = FindLastChar(argv0, '/');
  if (slash >= 0) {
    HString dir(argv0, slash + 1);
    HomeDir.Append(dir);
  }
}

void HServer::WriteHeader(const char* text) {
  if (header_written_) return;
  header_written_ = 1;
  if (held_.IsHolding()) {
    held_.SetHeader(held_.HasText() ? nullptr : text);
    return;
  }
  fputs(StatusLines().c_str(), stdout);
  fputs(text == nullptr ? "Content-type: text/html\n" : text, stdout);
  fputs("\n", stdout);
}

void HServer::SetStatus(int code, int retry_after) {
  status_ = code;
  retry_after_ = retry_after;
}

std::string HServer::StatusLines() const {
  std::string lines;
  if (status_ != 200 && *StatusReason(status_) != 0) {
    lines = "Status: " + std::to_string(status_) + " " + StatusReason(status_) + "\n";
  }
  if (retry_after_ > 0) lines += "Retry-After: " + std::to_string(retry_after_) + "\n";
  return lines;
}

void HServer::SetCookie(const char* name, const char* value, time_t expires) {
  if (held_.IsHolding()) {
    // Held with the response, and sent only when it is: before the header,
    // whatever the page writes first.
    FILE* memory = stdout;
    char* line = nullptr;
    size_t size = 0;
    stdout = open_memstream(&line, &size);
    if (stdout != nullptr) {
      WriteCookie(name, value, expires);
      fclose(stdout);
      held_.AddHeaderLine(std::string(line, size));
    }
    free(line);
    stdout = memory;
    return;
  }
  WriteCookie(name, value, expires);
}

void HServer::WriteCookie(const char* name, const char* value, time_t expires) {
  fputs("Set-Cookie: ", stdout);
  WriteHeaderValue(name);
  putchar('=');
  WriteHeaderValue(value);
  if (expires != 0) {
    char when[48];
    struct tm utc;
    if (gmtime_r(&expires, &utc) != nullptr && strftime(when, sizeof when, "%A, %d-%b-%y %H:%M:%S GMT", &utc) > 0) {
      printf("; expires=%s", when);
    }
  }
  // Out of reach of the pages' scripts, never sent with another site's
  // request, and over HTTPS only when the request came that way.
  fputs("; HttpOnly; SameSite=Strict", stdout);
  if (IsHttpsRequest()) fputs("; Secure", stdout);
  putchar('\n');
}

bool IsSafePageName(const char* name) {
  if (name[0] == '/') return false;
  for (const char* part = name;;) {
    const char* end = strchr(part, '/');
    const size_t length = end == nullptr ? strlen(part) : static_cast<size_t>(end - part);
    if (length == 2 && part[0] == '.' && part[1] == '.') return false;
    if (end == nullptr) return true;
    part = end + 1;
  }
}

bool HServer::RenderPage(const char* name) {
  if (name == nullptr || *name == 0) name = default_page_;
  if (!IsSafePageName(name)) return false;
  HString path(HomeDir);
  path.Append("page/");
  path.Append(name);
  path.Append(".html");
  HFile file;
  if (!file.Open(path.CStr(), "r")) return false;
  HScriptReader reader(file.Stream());
  script_.Load(reader);
  file.Close();
  // Held, a page may still give its own header before its first text
  // (an export's type); it gets the default one at the end otherwise.
  if (!post_ && !held_.IsHolding()) WriteHeader(nullptr);
  script_.Run();
  return true;
}

bool HServer::RenderErrorPage(const char* name) {
  try {
    return RenderPage(name);
  } catch (...) {
    return false;
  }
}

void HServer::WriteBaseUrl() {
  const char* script = getenv("SCRIPT_NAME");
  if (script == nullptr) return;
  const int slash = FindLastChar(script, '/');
  if (slash < 0) return;
  const char* host = getenv("SERVER_NAME");
  if (host != nullptr && *host != 0) {
    const char* port_text = getenv("SERVER_PORT");
    const int port = port_text == nullptr ? 80 : ToInt(port_text);
    fputs(port == 443 ? "https://" : "http://", stdout);
    WriteHeaderValue(host);
    if (port != 443 && port != 80) {
      putchar(':');
      WriteHeaderValue(port_text);
    }
  }
  const HString dir(script, slash + 1);
  WriteHeaderValue(dir.CStr());
}

void HServer::WriteRedirect() {
  fputs("Location: ", stdout);
  WriteBaseUrl();
  if (!redirect_.IsEmpty()) {
    WriteHeaderValue(redirect_.CStr());
  } else {
    printf("%s.cgi?", server_name_);
  }
  fputs("\n\n", stdout);
}

void HServer::Run(int /*argc*/, char** argv) {
  SetHomeDir(argv == nullptr ? nullptr : argv[0]);
  const char* input_error = nullptr;
  try {
    ReadInput();
  } catch (const char* name) {
    input_error = name;
  } catch (const std::bad_alloc&) {
    input_error = ErrorMemory;
  } catch (...) {
    input_error = ErrorFail;
  }
  bool found = false;
  const char* error = nullptr;
  bool changing = false;
  std::unique_ptr<char[]> reserve(new (std::nothrow) char[kMemoryReserve]);
  try {
    if (input_error == nullptr) BeforeLock();
    LockRequest(post_);
    if (input_error != nullptr) throw input_error;
    Update();
    // Every answer waits until the request is done, so that an error met
    // on the way still decides its status; a POST changes data, and its
    // answer must wait until the change is stored anyway.
    changing = post_ != 0;
    held_.Start();
    CheckLogin();
    found = RenderPage(Params.GetValue("page"));
    // A page cut short because its text found no memory is no answer.
    if (held_.Failed()) throw ErrorMemory;
    signal(SIGTERM, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);
    Save();
  } catch (const char* name) {
    error = name;
  } catch (const std::bad_alloc&) {
    error = ErrorMemory;
  } catch (...) {
    error = ErrorFail;
  }
  if (error != nullptr) {
    const bool out_of_memory = CompareNoCase(error, ErrorMemory) == 0;
    if (out_of_memory) reserve.reset();
    if ((changing || out_of_memory) && held_.IsHolding()) {
      // The error page alone: nothing of a change that was not stored, nor
      // of a page that may stop anywhere for want of memory.
      held_.Discard();
      header_written_ = 0;
    }
    SetStatus(ErrorStatus(error), CompareNoCase(error, ErrorBusy) == 0 ? kBusyRetrySeconds : retry_after_);
    WriteHeader(nullptr);
    found = RenderErrorPage(error);
  } else if (!found) {
    // The page asked for does not exist: the site's own not-found page.
    SetStatus(404);
    WriteHeader(nullptr);
    found = RenderErrorPage(ErrorNotFound);
  }
  if (!found) {
    WriteHeader(nullptr);
    fputs(kNotFound, stdout);
  }
  // A page that wrote text without a header gets the default one first,
  // and so does every GET: only a POST that wrote nothing is redirected.
  if (held_.IsHolding() && !header_written_ && (held_.HasText() || !post_)) WriteHeader(nullptr);
  const bool redirect = post_ && !header_written_;
  held_.Release(StatusLines());
  if (redirect) WriteRedirect();
  Unlock();
}
