#include "server/server_script.h"

#include "core/file.h"

int HServerScript::Run() {
  for (HListNode* node = lines_.Head(); node != nullptr;) WriteText(static_cast<HString*>(HList::Next(node))->CStr());
  return 0;
}

int HServerScript::Load(HScriptReader& reader) {
  lines_.Clear();
  while (reader.ReadLine() != nullptr) lines_.Add(reader.line);
  return 0;
}
