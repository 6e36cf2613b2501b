#include "system/env_cookie.h"

#include <cstdlib>
#include <cstring>

#include "core/answers.h"
#include "core/iserver.h"
#include "server/cgi_input.h"

HEnv::HEnv(const char* name) : IObject(name, 0) { type_name_ = "Env"; }

const char* HEnv::GetProperty(const char* name) {
  if (strcmp(name, "SCRIPT_PATH") == 0) {
    const char* script = getenv("SCRIPT_NAME");
    const int slash = script == nullptr ? -1 : FindLastChar(script, '/');
    return KeepAnswer(slash < 0 ? "" : script, slash < 0 ? 0 : slash);
  }
  if (CompareNoCase(name, "DocumentRoot") == 0) {
    HString root;
    DocumentRoot(root);
    return KeepAnswer(root);
  }
  if (CompareNoCase(name, "IsMac") == 0) {
    const char* agent = getenv("HTTP_USER_AGENT");
    return agent != nullptr && strstr(agent, "Mac") != nullptr ? "1" : "0";
  }
  if (CompareNoCase(name, "IsUnix") == 0) return "1";
  if (CompareNoCase(name, "Dir") == 0) return CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir();
  return getenv(name);  // the environment lives as long as the process
}

HCookie::HCookie(const char* name) : IObject(name, 0) { type_name_ = "Cookie"; }

const char* HCookie::GetProperty(const char* name) {
  const char* stored = properties_.GetValue(name);
  if (stored != nullptr && *stored != 0) return KeepAnswer(stored);
  HString cookie;
  GetCookie(name, cookie);
  return cookie.IsEmpty() ? nullptr : KeepAnswer(cookie);
}
