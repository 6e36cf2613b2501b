// Fuzz target for everything that reads bytes from the internet: the query
// string, the form body, multipart bodies and content types, the Japanese
// code conversions, auto-linking, the administrator cookie and the period
// a query names. Build with
// clang and -DVAZIVEV_FUZZ=ON, then run build/input_fuzz -max_total_time=60.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/period.h"
#include "core/iserver.h"
#include "core/params.h"
#include "script/encoding.h"
#include "server/cgi_input.h"
#include "server/multipart.h"
#include "system/admin.h"

namespace {

// A server that only answers parameters, for the objects that read them.
class HParamServer : public IServer {
 public:
  explicit HParamServer(HParams& params) : params_(params) {}
  const char* GetParam(const char* name) override { return params_.GetValue(name); }
  IEnum* EnumParam(const char*) override { return nullptr; }
  void SetParam(const char*, const char*) override {}
  IObject* GetSystem() override { return nullptr; }
  IObjectFactory* GetFactory() override { return nullptr; }
  IEnum* GetEnumSource() override { return nullptr; }
  const char* GetHomeDir() override { return ""; }
  void SetCookie(const char*, const char*, time_t) override {}

 private:
  HParams& params_;
};

void ReadPeriod(HParams& params) {
  HParamServer server(params);
  IServer* saved = CurrentServer;
  CurrentServer = &server;
  HPeriod period("Period", nullptr);
  for (const char* name : {"From", "To", "FromIso", "ToIso", "Days", "Kind", "Label", "IsToday", "Query", "Valid",
                           "Error", "GraphFrom", "PrevFrom", "PrevTo", "PrevLabel", "BackQuery", "NextQuery"}) {
    period.GetProperty(name);
  }
  CurrentServer = saved;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the reader, the rest is its input.
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string zero_free = text.c_str();
  HParams params;
  switch (data[0] % 7) {
    case 0:
      ParseQueryString(zero_free.c_str(), params);
      break;
    case 1: {
      std::string body = zero_free;
      ParseFormBody(&body[0], params);
      break;
    }
    case 2: {
      HString boundary;
      FindHeaderParam(text.data(), text.data() + text.size(), "boundary", boundary);
      std::string body = text;
      FILE* in = fmemopen(&body[0], body.size() + 1, "r");
      if (in == nullptr) return 0;
      HMultiPart multipart;
      multipart.Parse(static_cast<long>(body.size()), "--b", params, in);
      fclose(in);
      break;
    }
    case 3: {
      const HString euc = ToEucJp(zero_free.c_str());
      EucToSjis(euc.CStr());
      UrlEncodeEuc(zero_free.c_str());
      JisToEuc(zero_free.c_str());
      SjisToEuc(zero_free.c_str());
      break;
    }
    case 4: {
      FILE* saved = stdout;
      stdout = fopen("/dev/null", "w");
      AutoLinkLine(zero_free.c_str(), static_cast<int>(zero_free.size()));
      EscapeHtml(zero_free.c_str());
      fclose(stdout);
      stdout = saved;
      break;
    }
    case 5:
      ParseQueryString(zero_free.c_str(), params);
      ReadPeriod(params);
      break;
    default: {
      IsValidAdminToken("0123456789abcdef", "$y$credential", zero_free.c_str(), 1700000000);
      HString cookie;
      setenv("HTTP_COOKIE", zero_free.c_str(), 1);
      if (GetCookie("Admin", cookie)) IsValidAdminToken("0123456789abcdef", "$y$credential", cookie.CStr(), 1700000000);
      break;
    }
  }
  return 0;
}
