#include "core/list.h"

HListNode* HList::PushFront(void* p) {
  HListNode* node = new HListNode;
  node->data = p;
  node->next = head_;
  if (head_ != nullptr) head_->prev = node; else tail_ = node;
  head_ = node;
  ++count_;
  return node;
}

HListNode* HList::PushBack(void* p) {
  HListNode* node = new HListNode;
  node->data = p;
  node->prev = tail_;
  if (tail_ != nullptr) tail_->next = node; else head_ = node;
  tail_ = node;
  ++count_;
  return node;
}

HListNode* HList::InsertBefore(HListNode* node, void* p) {
  if (node == nullptr || node == head_) return PushFront(p);
  HListNode* fresh = new HListNode;
  fresh->data = p;
  fresh->prev = node->prev;
  fresh->next = node;
  node->prev->next = fresh;
  node->prev = fresh;
  ++count_;
  return fresh;
}

HListNode* HList::InsertAfter(HListNode* node, void* p) {
  if (node == nullptr || node == tail_) return PushBack(p);
  HListNode* fresh = new HListNode;
  fresh->data = p;
  fresh->prev = node;
  fresh->next = node->next;
  node->next->prev = fresh;
  node->next = fresh;
  ++count_;
  return fresh;
}

void* HList::Unlink(HListNode* node) {
  if (node == nullptr) return nullptr;
  if (node->prev != nullptr) node->prev->next = node->next; else head_ = node->next;
  if (node->next != nullptr) node->next->prev = node->prev; else tail_ = node->prev;
  void* p = node->data;
  delete node;
  --count_;
  return p;
}

HListNode* HList::NodeAt(int i) const {
  if (i < 0 || i >= count_) return nullptr;
  HListNode* node = head_;
  while (i-- > 0) node = node->next;
  return node;
}

void HList::Clear() {
  while (head_ != nullptr) {
    HListNode* next = head_->next;
    delete head_;
    head_ = next;
  }
  tail_ = nullptr;
  count_ = 0;
}

void HStringList::Add(const char* text) { list_.PushBack(new HString(text)); }

void HStringList::Add(const char* text, int n) { list_.PushBack(new HString(text, n)); }

const HString& HStringList::Item(int i) const {
  const HString* item = list_.At(i);
  return item == nullptr ? sentinel_ : *item;
}
