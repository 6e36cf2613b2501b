// The fixture of the template engine tests: a fake server holding request
// parameters and a plain container as the system object, made current for
// the test, and Render, which runs a template from a scratch page folder.
#ifndef TESTS_SCRIPT_SCRIPT_FIXTURE_H_
#define TESTS_SCRIPT_SCRIPT_FIXTURE_H_

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "core/iserver.h"
#include "core/params.h"
#include "objects/container.h"
#include "objects/factory.h"
#include "script/encoding.h"
#include "script/names.h"
#include "script/unicode.h"
#include "script/parse.h"
#include "tests/test_util.h"

class HFakeServer : public IServer {
 public:
  HFakeServer() : system_(new IContainer("System", 0)) {}
  ~HFakeServer() override { ReleaseObject(system_); }
  const char* GetParam(const char* name) override { return params.GetValue(name); }
  IEnum* EnumParam(const char* name) override { return new HEnumParam(params, name); }
  void SetParam(const char* name, const char* value) override {
    if (value != nullptr) {
      params.SetValue(name, value);
    } else {
      params.RemoveAll(name);
    }
  }
  IObject* GetSystem() override {
    if (!has_system) return nullptr;
    return system_override != nullptr ? system_override : system_;
  }
  IObjectFactory* GetFactory() override { return &factory_; }
  IEnum* GetEnumSource() override { return nullptr; }
  const char* GetHomeDir() override { return home.c_str(); }
  void SetCookie(const char*, const char*, time_t) override {}

  IContainer* System() { return system_; }

  HParams params;
  std::string home;
  bool has_system = true;
  IObject* system_override = nullptr;  // not owned

 private:
  IContainer* system_;
  IObjectFactory factory_;
};

class ScriptTest : public testing::Test {
 protected:
  void SetUp() override {
    saved_ = CurrentServer;
    CurrentServer = &server_;
    server_.home = dir_.Path() + "/";
    mkdir((dir_ / "page").c_str(), 0755);
    ObjectAliases.Clear();
    SjisOutput = false;
    Utf8Output = false;
  }
  void TearDown() override {
    ObjectAliases.Clear();
    IncludeCache.Clear();
    SjisOutput = false;
    Utf8Output = false;
    CurrentServer = saved_;
  }

  void Param(const char* name, const char* value) { server_.params.AddEntry(name, value); }
  const char* Value(const char* name) { return server_.params.GetValue(name); }
  // A new child of the system object.
  IObject* Child(const char* name, const char* type_name) {
    return server_.System()->CreateChild(name, type_name);
  }
  void WritePage(const std::string& name, const std::string& text) {
    WriteFile(dir_ / ("page/" + name), text);
  }
  // Loads `page` into `script` and returns what running it writes.
  std::string Render(HScript& script, const std::string& page) {
    WritePage("test.html", page);
    FILE* f = fopen((dir_ / "page/test.html").c_str(), "r");
    EXPECT_NE(nullptr, f);
    if (f == nullptr) return "";
    HScriptReader reader(f);
    script.Load(reader);
    fclose(f);
    return CaptureStdout([&] { run_result_ = script.Run(); });
  }
  std::string Render(const std::string& page) {
    HScript script;
    return Render(script, page);
  }

  ScratchDir dir_;
  HFakeServer server_;
  int run_result_ = 0;

 private:
  IServer* saved_ = nullptr;
};

#endif  // TESTS_SCRIPT_SCRIPT_FIXTURE_H_
