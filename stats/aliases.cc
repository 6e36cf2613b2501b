#include "stats/aliases.h"

#include "core/answers.h"

HAliases::HAliases(const char* name) : IContainer(name, kListFlag) { type_name_ = "Aliases"; }

const char* HAliases::Call(const char* method, int argc, const char* const* argv) {
  if (method != nullptr && IsWord(method, "find")) return argc >= 1 ? Find(argv[0]) : nullptr;
  return IContainer::Call(method, argc, argv);
}

const char* HAliases::Find(const char* name) {
  if (name == nullptr) return nullptr;
  for (IObject* child : children_) {
    // The stored property itself: an items child has no "Name", even when
    // one of its items reads "Name".
    const char* value = child->Properties().GetValue("Name");
    if (value != nullptr && CompareNoCase(value, name) == 0) return KeepAnswer(child->GetName());
  }
  return nullptr;
}
