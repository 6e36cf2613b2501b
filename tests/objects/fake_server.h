// A stand-in server for the object tests: it offers the plain factory and a
// program directory, and is the current server while it lives.
#ifndef TESTS_OBJECTS_FAKE_SERVER_H_
#define TESTS_OBJECTS_FAKE_SERVER_H_

#include <string>

#include "core/iserver.h"
#include "core/params.h"
#include "objects/factory.h"

class FakeServer : public IServer {
 public:
  explicit FakeServer(const std::string& home_dir = "") : home_dir_(home_dir) {
    if (!home_dir_.empty() && home_dir_.back() != '/') home_dir_ += '/';
    saved_ = CurrentServer;
    CurrentServer = this;
  }
  ~FakeServer() override { CurrentServer = saved_; }
  const char* GetParam(const char* name) override { return params.GetValue(name); }
  IEnum* EnumParam(const char*) override { return nullptr; }
  void SetParam(const char*, const char*) override {}
  IObject* GetSystem() override { return nullptr; }
  IObjectFactory* GetFactory() override { return &factory_; }
  IEnum* GetEnumSource() override { return nullptr; }
  const char* GetHomeDir() override { return home_dir_.c_str(); }
  // Records each cookie as "name=value;".
  void SetCookie(const char* name, const char* value, time_t) override {
    cookies += std::string(name) + "=" + value + ";";
  }

  std::string cookies;
  HParams params;

 private:
  IObjectFactory factory_;
  std::string home_dir_;
  IServer* saved_;
};

#endif  // TESTS_OBJECTS_FAKE_SERVER_H_
