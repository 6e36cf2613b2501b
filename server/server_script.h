// HServerScript, the template script embedded in the server: an HScript
// that knows its server. The pages carry their own footer
// (page/parts/foot.html), so it runs them exactly as HScript does.
#ifndef SERVER_SERVER_SCRIPT_H_
#define SERVER_SERVER_SCRIPT_H_

#include "script/parse.h"

class HServer;

class HServerScript : public HScript {
 public:
  // Not owned; set by the server that embeds the script.
  void SetServer(HServer* server) { server_ = server; }

 private:
  HServer* server_ = nullptr;
};

#endif  // SERVER_SERVER_SCRIPT_H_
