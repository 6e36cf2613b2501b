#include "core/params.h"

#include <cstring>

HParams::~HParams() { Clear(); }

HParamEntry* HParams::CreateEntry(const char* name, const char* value) {
  return new HParamEntry(name, value);
}

HParamEntry* HParams::FindEntry(const char* name) const { return list_.Find(name); }

HParamEntry* HParams::FindEntryByValue(const char* value) const {
  for (HParamEntry* entry : list_) {
    if (entry->value.Compare(value) == 0) return entry;
  }
  return nullptr;
}

const char* HParams::GetValue(const char* name) const {
  const HParamEntry* entry = FindEntry(name);
  return entry == nullptr ? nullptr : entry->value.CStr();
}

const HString& HParams::GetValueText(const char* name) const {
  static const HString kNone;
  const HParamEntry* entry = FindEntry(name);
  return entry == nullptr ? kNone : entry->value;
}

void HParams::SetValue(const char* name, const char* value) {
  HParamEntry* entry = FindEntry(name);
  if (entry != nullptr) {
    entry->value.Assign(value);
  } else {
    AddEntry(name, value);
  }
}

HParamEntry* HParams::AddEntry(const char* name, const char* value) {
  HParamEntry* entry = CreateEntry(name, value);
  list_.PushBack(entry);
  return entry;
}

HParamEntry* HParams::InsertEntry(HParamEntry* before, const char* name, const char* value) {
  HListNode* node = list_.Head();
  while (node != nullptr && node->data != before) node = node->next;
  HParamEntry* entry = CreateEntry(name, value);
  if (node == nullptr) {
    list_.PushBack(entry);
  } else {
    list_.InsertBefore(node, entry);
  }
  return entry;
}

void HParams::RemoveAll(const char* name) {
  // Nothing before the first of that name can match.
  for (HListNode* node = list_.FindNode(name); node != nullptr;) {
    HListNode* next = node->next;
    if (CompareNoCase(EntryOf(node)->name.CStr(), name) == 0) list_.Remove(node);
    node = next;
  }
}

bool HParams::RemoveItem(const char* value) {
  bool removed = false;
  for (HListNode* node = list_.Head(); node != nullptr;) {
    HListNode* next = node->next;
    const HParamEntry* entry = EntryOf(node);
    if (entry->name.IsEmpty() && entry->value.Compare(value) == 0) {
      list_.Remove(node);
      removed = true;
    }
    node = next;
  }
  return removed;
}

HListNode* HParams::FindItemNode(const char* value) const {
  for (HListNode* node = list_.Head(); node != nullptr; node = node->next) {
    const HParamEntry* entry = EntryOf(node);
    if (entry->name.IsEmpty() && entry->value.Compare(value) == 0) return node;
  }
  return nullptr;
}

int HParams::MoveItemUp(const char* value) {
  HListNode* node = FindItemNode(value);
  if (node == nullptr || node->prev == nullptr) return 0;
  list_.SwapWithNext(node->prev, node);
  return 1;
}

int HParams::MoveItemDown(const char* value) {
  HListNode* node = FindItemNode(value);
  if (node == nullptr || node->next == nullptr) return 0;
  list_.SwapWithNext(node, node->next);
  return 1;
}

void HParams::Clear() { list_.Clear(); }

HEnumParam::HEnumParam(const HParams& params, const char* name) {
  for (const HParamEntry* entry : params) {
    if (name == nullptr || CompareNoCase(entry->name.CStr(), name) == 0) values_.Add(entry->value.CStr());
  }
  cursor_ = values_.begin();
}

bool HEnumParam::First() {
  cursor_ = values_.begin();
  return cursor_ != values_.end();
}

const char* HEnumParam::Next() {
  if (cursor_ == values_.end()) return nullptr;
  const char* text = (*cursor_)->CStr();
  ++cursor_;
  return text;
}
