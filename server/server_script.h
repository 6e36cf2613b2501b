// HServerScript, the template script embedded in the server. Until the
// template engine lands it keeps the page's lines and writes them as they
// are.
#ifndef SERVER_SERVER_SCRIPT_H_
#define SERVER_SERVER_SCRIPT_H_

#include "core/list.h"
#include "script/iscript.h"

class HServer;

class HServerScript : public IScript {
 public:
  int Run() override;
  int Load(HScriptReader& reader) override;
  void SetServer(HServer* server) { server_ = server; }

 private:
  HServer* server_ = nullptr;
  HStringList lines_;
};

#endif  // SERVER_SERVER_SCRIPT_H_
