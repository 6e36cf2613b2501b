#include "system/system.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "system/env_cookie.h"

TEST(IsInsideDocumentRootTest, TraversalAndTheRootItself) {
  struct Case { const char* path; bool inside; };
  const Case cases[] = {
      {"/images/photo.gif", true}, {"/a..b/c", true}, {"/..x", true},
      {"/../etc/passwd", false}, {"/a/../../b", false}, {"/a/..", false}, {"..", false},
      {"", false}, {"/", false}, {"//", false}, {"/.", false}, {"/./", false},
  };
  for (const Case& c : cases) EXPECT_EQ(c.inside, IsInsideDocumentRoot(c.path)) << c.path;
}

TEST(HSystemTest, PropertiesAndMethodsWithoutServer) {
  HSystem system;
  system.SetVersion("1.1", "0.3");
  EXPECT_STREQ("1.1", system.GetProperty("version"));
  EXPECT_STREQ("0.3", system.GetProperty("BUILD"));
  EXPECT_EQ(nullptr, system.GetProperty("IsPost"));
  EXPECT_EQ(nullptr, system.GetProperty("Server"));
  const char* abc_b[] = {"abc", "b"};
  const char* abc_big_b[] = {"abc", "B"};
  EXPECT_STREQ("1", system.Call("StrFind", 2, abc_b));
  EXPECT_EQ(nullptr, system.Call("strfind", 2, abc_big_b));
  EXPECT_EQ(nullptr, system.Call("StrFind", 1, abc_b));
  EXPECT_EQ(&system.DateObject(), system.FindChild("date"));
  EXPECT_EQ(&system.TimeObject(), system.FindChild("TIME"));
  EXPECT_STREQ("System", system.GetTypeName());
  EXPECT_STREQ("data/", system.GetDirectory());
}

TEST(HEnvTest, ScriptPathDirAndVariables) {
  HEnv env("Env");
  setenv("SCRIPT_NAME", "/cgi-bin/stat/run.cgi", 1);
  EXPECT_STREQ("/cgi-bin/stat", env.GetProperty("SCRIPT_PATH"));
  setenv("script_path", "lower", 1);
  EXPECT_STREQ("lower", env.GetProperty("script_path"));  // not the derived name
  setenv("SCRIPT_NAME", "run.cgi", 1);
  EXPECT_STREQ("", env.GetProperty("SCRIPT_PATH"));
  unsetenv("SCRIPT_NAME");
  EXPECT_STREQ("", env.GetProperty("SCRIPT_PATH"));
  setenv("HTTP_USER_AGENT", "Mozilla (Macintosh)", 1);
  EXPECT_STREQ("1", env.GetProperty("ismac"));
  setenv("HTTP_USER_AGENT", "mozilla (mac)", 1);
  EXPECT_STREQ("0", env.GetProperty("IsMac"));
  EXPECT_STREQ("1", env.GetProperty("IsUnix"));
  EXPECT_EQ(nullptr, env.GetProperty("NO_SUCH_VARIABLE_HERE"));
  unsetenv("script_path");
  unsetenv("HTTP_USER_AGENT");
}

TEST(HCookieTest, BrowserCookiesAndStoredValues) {
  HCookie cookie("Cookie");
  setenv("HTTP_COOKIE", "a=1; b=2; xc=5; e=", 1);
  EXPECT_STREQ("1", cookie.GetProperty("a"));
  EXPECT_STREQ("2", cookie.GetProperty("b"));
  EXPECT_EQ(nullptr, cookie.GetProperty("c"));  // not inside xc
  EXPECT_EQ(nullptr, cookie.GetProperty("d"));
  EXPECT_EQ(nullptr, cookie.GetProperty("e"));  // empty reads as absent
  cookie.SetProperty("A", "stored");
  EXPECT_STREQ("stored", cookie.GetProperty("a"));
  unsetenv("HTTP_COOKIE");
}
