#include "server/server_script.h"

#include "core/file.h"

int HServerScript::Run() {
  bool footer_written = false;
  for (HScriptItem* item : root_.Children()) {
    if (!footer_written) {
      const HString& text = item->text;
      if (text.Find("</body") >= 0 || text.Find("</BODY") >= 0 || text.Find("</Body") >= 0) {
        WriteFooter();
        footer_written = true;
      }
    }
    if (const int result = item->Execute()) return result;
  }
  return 0;
}

void HServerScript::WriteFooter() {
  WriteText("<p><font size=-1>Page made by the access log analyser</font></p>\n");
}
