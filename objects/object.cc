#include "objects/object.h"

#include <cstring>

#include "core/answers.h"
#include "objects/object_stream.h"

IObject::IObject(const char* name, int flags)
    : name_(name), type_name_((flags & kItemsFlag) != 0 ? "Items" : "Object"), flags_(flags) {}

IObject::~IObject() = default;

void IObject::Release() { delete this; }

const char* IObject::GetName() const { return name_.CStr(); }

bool IObject::IsModified() { return modified_; }

bool IObject::IsContainer() { return (flags_ & kContainerFlag) != 0; }

bool IObject::IsNumbered() { return (flags_ & kNumberedFlag) != 0; }

bool IObject::IsItems() { return (flags_ & kItemsFlag) != 0; }

bool IObject::IsList() { return (flags_ & kListFlag) != 0; }

bool IObject::IsPrivate() { return false; }

const char* IObject::GetProperty(const char* name) {
  if (name == nullptr || name[0] == '_') return nullptr;
  const HParamEntry* entry = nullptr;
  if (!IsItems()) {
    entry = properties_.FindEntry(name);
  } else if (CompareNoCase(name, "Count") == 0) {
    return NumberAnswer(properties_.Count());
  } else if (CompareNoCase(name, "First") == 0) {
    if (properties_.Head() != nullptr) entry = HParams::EntryOf(properties_.Head());
  } else if (CompareNoCase(name, "Last") == 0) {
    if (properties_.Tail() != nullptr) entry = HParams::EntryOf(properties_.Tail());
  } else {
    entry = properties_.FindEntryByValue(name);
  }
  return entry == nullptr ? nullptr : KeepAnswer(entry->value);
}

void IObject::SetProperty(const char* name, const char* value) {
  // A visitor may pick the name ("$System.Cnt.$k = $v"): one that breaks
  // its line in the stored file could plant lines, even whole objects.
  if (!IsItems() && !IsStorablePropertyName(name)) return;
  properties_.SetValue(name, value);
  modified_ = true;
}

void IObject::RemoveProperty(const char* name) {
  if (name == nullptr) {
    properties_.Clear();
  } else {
    properties_.RemoveAll(name);
  }
  ForgetRemovedCursor();
  modified_ = true;
}

// A page may remove items while a for loop walks them: when the item the
// cursor points at is gone, the walk ends instead of reading freed memory.
void IObject::ForgetRemovedCursor() {
  if (!IsItems() || cursor_ == nullptr) return;
  for (HListNode* node = properties_.Head(); node != nullptr; node = node->next) {
    if (node == cursor_) return;
  }
  cursor_ = nullptr;
}

int IObject::GetPropertyInt(const char* name) { return ToInt(GetProperty(name)); }

void IObject::SetPropertyInt(const char* name, int value) {
  char text[kDecimalSize];
  FormatDecimal(text, value);
  SetProperty(name, text);
}

const char* IObject::Call(const char* method, int argc, const char* const* argv) {
  if (method == nullptr) return nullptr;
  if (CompareNoCase(method, "Add") == 0) return Add(argc, argv);
  if (CompareNoCase(method, "Remove") == 0) return Remove(argc, argv);
  if (CompareNoCase(method, "RemoveAll") == 0) return RemoveAll(argc, argv);
  if (CompareNoCase(method, "OrderUp") == 0) return OrderUp(argc, argv);
  if (CompareNoCase(method, "OrderDown") == 0) return OrderDown(argc, argv);
  return nullptr;
}

bool IObject::First() {
  cursor_ = IsItems() ? properties_.Head() : nullptr;
  return cursor_ != nullptr;
}

const char* IObject::NextName() {
  if (!IsItems() || cursor_ == nullptr) return nullptr;
  const HParamEntry* entry = HParams::EntryOf(cursor_);
  cursor_ = cursor_->next;
  return KeepAnswer(entry->value);
}

IObject* IObject::NextObject() { return nullptr; }

IObject* IObject::FindChild(const char*) { return nullptr; }

bool IObject::Load(HObjectStream& stream) {
  ReadProperties(stream);
  return true;
}

bool IObject::Save(HObjectStream& stream) {
  stream.BeginObject(name_.CStr(), type_name_);
  WriteProperties(stream);
  stream.EndObject();
  return true;
}

void IObject::SetModified(bool flag) { modified_ = flag; }

void IObject::TakeProperty(const char* name, const char* value, HParamEntry** current) {
  if (name == nullptr) {
    if (*current != nullptr) (*current)->value.Append(value);
    return;
  }
  *current = IsItems() ? properties_.AddItem(value) : properties_.AddEntry(name, value);
}

void IObject::ReadProperties(HObjectStream& stream) {
  HParamEntry* current = nullptr;
  while (stream.ReadProperty()) TakeProperty(stream.EntryName(), stream.EntryValue(), &current);
}

void IObject::WriteProperties(HObjectStream& stream) {
  const bool items = IsItems();
  for (const HParamEntry* entry : properties_) {
    stream.WriteProperty(items ? nullptr : entry->name.CStr(), entry->value.CStr());
  }
}

const char* IObject::Add(int argc, const char* const* argv) {
  if (!IsItems() || argc < 1) return nullptr;
  const char* text = argv[0];
  for (const char* end = strchr(text, '\n'); end != nullptr; end = strchr(text, '\n')) {
    int length = static_cast<int>(end - text);
    if (length > 0 && text[length - 1] == '\r') --length;
    if (length > 0) properties_.AddItem(HString(text, length).CStr());
    text = end + 1;
  }
  if (*text != 0) properties_.AddItem(text);
  modified_ = true;
  return nullptr;
}

const char* IObject::Remove(int argc, const char* const* argv) {
  if (!IsItems() || argc < 1) return nullptr;
  properties_.RemoveItem(argv[0]);
  ForgetRemovedCursor();
  modified_ = true;
  return nullptr;
}

const char* IObject::RemoveAll(int argc, const char* const*) {
  if (!IsItems() || argc < 1) return nullptr;
  properties_.Clear();
  ForgetRemovedCursor();
  modified_ = true;
  return nullptr;
}

const char* IObject::OrderUp(int argc, const char* const* argv) {
  if (!IsItems() || argc < 1) return nullptr;
  if (properties_.MoveItemUp(argv[0]) != 0) modified_ = true;
  return nullptr;
}

const char* IObject::OrderDown(int argc, const char* const* argv) {
  if (!IsItems() || argc < 1) return nullptr;
  if (properties_.MoveItemDown(argv[0]) != 0) modified_ = true;
  return nullptr;
}
