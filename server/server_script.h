// HServerScript, the template script embedded in the server: an HScript
// that knows its server and writes the page footer in front of the closing
// body tag while it runs the page.
#ifndef SERVER_SERVER_SCRIPT_H_
#define SERVER_SERVER_SCRIPT_H_

#include "script/parse.h"

class HServer;

class HServerScript : public HScript {
 public:
  // Runs the top-level items in order; before the first one whose text
  // holds "</body", "</BODY" or "</Body" the footer is written (once per
  // run). Returns the value of the item that stopped the page, else 0.
  int Run() override;
  // One small-font paragraph of one line, then a line feed.
  void WriteFooter();
  // Not owned; set by the server that embeds the script.
  void SetServer(HServer* server) { server_ = server; }

 private:
  HServer* server_ = nullptr;
};

#endif  // SERVER_SERVER_SCRIPT_H_
