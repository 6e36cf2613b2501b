#include "system/env_cookie.h"

#include <cstdlib>
#include <cstring>

#include "server/cgi_input.h"
#include "server/iserver.h"

namespace {

HString& Answer() {
  static HString answer;
  return answer;
}

}  // namespace

HEnv::HEnv(const char* name) : IObject(name, 0) { type_name_ = "Env"; }

const char* HEnv::GetProperty(const char* name) {
  HString& answer = Answer();
  if (strcmp(name, "SCRIPT_PATH") == 0) {
    const char* script = getenv("SCRIPT_NAME");
    const int slash = script == nullptr ? -1 : FindLastChar(script, '/');
    answer.Assign(script, slash < 0 ? 0 : slash);
    return answer.CStr();
  }
  if (CompareNoCase(name, "DocumentRoot") == 0) {
    answer.Clear();
    DocumentRoot(answer);
    return answer.CStr();
  }
  if (CompareNoCase(name, "IsMac") == 0) {
    const char* agent = getenv("HTTP_USER_AGENT");
    return agent != nullptr && strstr(agent, "Mac") != nullptr ? "1" : "0";
  }
  if (CompareNoCase(name, "IsUnix") == 0) return "1";
  if (CompareNoCase(name, "Dir") == 0) return CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir();
  return getenv(name);
}

HCookie::HCookie(const char* name) : IObject(name, 0) { type_name_ = "Cookie"; }

const char* HCookie::GetProperty(const char* name) {
  HString& answer = Answer();
  answer.Clear();
  if (properties_.Count() > 0) answer.Assign(properties_.GetValue(name));
  if (answer.IsEmpty()) GetCookie(name, answer);
  return answer.IsEmpty() ? nullptr : answer.CStr();
}
