#include "server/params.h"

#include <cstring>

HParams::~HParams() { Clear(); }

HParamEntry* HParams::CreateEntry(const char* name, const char* value) {
  return new HParamEntry(name, value);
}

HParamEntry* HParams::FindEntry(const char* name) const {
  for (HListNode* node = list_.Head(); node != nullptr; node = node->next) {
    if (CompareNoCase(EntryOf(node)->name.CStr(), name) == 0) return EntryOf(node);
  }
  return nullptr;
}

HParamEntry* HParams::FindEntryByValue(const char* value) const {
  for (HListNode* node = list_.Head(); node != nullptr; node = node->next) {
    if (EntryOf(node)->value.Compare(value) == 0) return EntryOf(node);
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
  for (HListNode* node = list_.Head(); node != nullptr;) {
    HListNode* next = node->next;
    if (CompareNoCase(EntryOf(node)->name.CStr(), name) == 0) delete static_cast<HParamEntry*>(list_.Unlink(node));
    node = next;
  }
}

bool HParams::RemoveItem(const char* value) {
  bool removed = false;
  for (HListNode* node = list_.Head(); node != nullptr;) {
    HListNode* next = node->next;
    const HParamEntry* entry = EntryOf(node);
    if (entry->name.IsEmpty() && entry->value.Compare(value) == 0) {
      delete static_cast<HParamEntry*>(list_.Unlink(node));
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
  void* swap = node->data;
  node->data = node->prev->data;
  node->prev->data = swap;
  return 1;
}

int HParams::MoveItemDown(const char* value) {
  HListNode* node = FindItemNode(value);
  if (node == nullptr || node->next == nullptr) return 0;
  void* swap = node->data;
  node->data = node->next->data;
  node->next->data = swap;
  return 1;
}

void HParams::Clear() {
  for (HListNode* node = list_.Head(); node != nullptr;) delete static_cast<HParamEntry*>(HList::Next(node));
  list_.Clear();
}

HEnumParam::HEnumParam(const HParams& params, const char* name) {
  for (HListNode* node = params.Head(); node != nullptr; node = node->next) {
    const HParamEntry* entry = HParams::EntryOf(node);
    if (name == nullptr || CompareNoCase(entry->name.CStr(), name) == 0) values_.Add(entry->value.CStr());
  }
  cursor_ = values_.Head();
}

bool HEnumParam::First() {
  cursor_ = values_.Head();
  return cursor_ != nullptr;
}

const char* HEnumParam::Next() {
  if (cursor_ == nullptr) return nullptr;
  return static_cast<HString*>(HList::Next(cursor_))->CStr();
}
