// HEnv and HCookie, the read-only views of the CGI environment ("Env") and
// of the browser's cookies ("Cookie") that the system object creates on
// first use. Their answers are kept like every answer (core/answers.h).
#ifndef SYSTEM_ENV_COOKIE_H_
#define SYSTEM_ENV_COOKIE_H_

#include "objects/object.h"

class HEnv : public IObject {
 public:
  explicit HEnv(const char* name);
  // "SCRIPT_PATH" (exact case), "DocumentRoot", "IsMac", "IsUnix", "Dir";
  // any other name is the environment variable of exactly that name, or
  // null.
  const char* GetProperty(const char* name) override;
};

class HCookie : public IObject {
 public:
  explicit HCookie(const char* name);
  // A value stored on the object during the request, else the browser's
  // cookie of that name; an empty value reads as null.
  const char* GetProperty(const char* name) override;
};

#endif  // SYSTEM_ENV_COOKIE_H_
