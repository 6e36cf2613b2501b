// Fuzz target for the conditions of if and elif: the input is a directive
// line, cut into tokens and parsed from the first and from the second token
// on; a parsed condition is evaluated, twice, against a stand-in server
// with a few parameters and a small object tree, and must give the same
// answer both times. The answers of one input are freed after it. Build with clang and -DVAZIVEV_FUZZ=ON, then run
// build/expr_fuzz -max_total_time=60.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/answers.h"
#include "core/iserver.h"
#include "core/params.h"
#include "objects/container.h"
#include "objects/factory.h"
#include "script/eval.h"
#include "script/item.h"

namespace {

class HStandInServer : public IServer {
 public:
  HStandInServer() : system_(new IContainer("System", 0)) {
    CurrentServer = this;
    params_.AddEntry("a", "abc");
    params_.AddEntry("zero", "0");
    params_.AddEntry("empty", "");
    params_.AddEntry("text", "a b");
    params_.AddEntry("text", "second");
    IObject* box = system_->CreateChild("box", "Container");
    if (box != nullptr) box->SetProperty("title", "News");
    IObject* list = system_->CreateChild("list", "Items");
    if (list != nullptr) list->Call("Add", 1, std::vector<const char*>{"one\ntwo"}.data());
  }
  const char* GetParam(const char* name) override { return params_.GetValue(name); }
  IEnum* EnumParam(const char* name) override { return new HEnumParam(params_, name); }
  void SetParam(const char*, const char*) override {}
  IObject* GetSystem() override { return system_; }
  IObjectFactory* GetFactory() override { return &factory_; }
  IEnum* GetEnumSource() override { return nullptr; }
  const char* GetHomeDir() override { return "/nonexistent/"; }
  void SetCookie(const char*, const char*, time_t) override {}

 private:
  HParams params_;
  IContainer* system_;
  IObjectFactory factory_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HStandInServer* server = new HStandInServer;
  (void)server;
  const std::string line(reinterpret_cast<const char*>(data), size);
  HStringList args;
  Tokenize(line.c_str(), &args);
  for (int first = 0; first <= 1; ++first) {
    std::unique_ptr<HEvalItem> condition = ParseCondition(args, first);
    if (condition == nullptr) continue;
    const int once = condition->Evaluate() != 0;
    if ((condition->Evaluate() != 0) != once) abort();
  }
  ReleaseAnswers();  // one input, one request
  return 0;
}
