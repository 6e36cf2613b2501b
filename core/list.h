// HList, a doubly linked list of borrowed pointers, and HStringList, a list
// of strings it owns.
#ifndef CORE_LIST_H_
#define CORE_LIST_H_

#include "core/text.h"

struct HListNode {
  HListNode* prev = nullptr;
  HListNode* next = nullptr;
  void* data = nullptr;
};

// Never owns its elements: Clear and the destructor free the nodes only.
class HList {
 public:
  HList() = default;
  HList(const HList&) = delete;
  HList& operator=(const HList&) = delete;
  ~HList() { Clear(); }

  HListNode* PushFront(void* p);
  HListNode* PushBack(void* p);
  HListNode* InsertBefore(HListNode* node, void* p);
  HListNode* InsertAfter(HListNode* node, void* p);
  // Frees the node and returns its element; null for a null node.
  void* Unlink(HListNode* node);
  // Null when i is out of range.
  HListNode* NodeAt(int i) const;
  void Clear();

  int Count() const { return count_; }
  HListNode* Head() const { return head_; }
  HListNode* Tail() const { return tail_; }
  // The iteration step: returns the element of `node` and advances it.
  static void* Next(HListNode*& node) {
    void* p = node->data;
    node = node->next;
    return p;
  }

 private:
  HListNode* head_ = nullptr;
  HListNode* tail_ = nullptr;
  int count_ = 0;
};

class HStringList {
 public:
  HStringList() = default;
  HStringList(const HStringList&) = delete;
  HStringList& operator=(const HStringList&) = delete;
  ~HStringList() { Clear(); }

  void Add(const char* text);
  int Count() const { return list_.Count(); }
  // The i-th string, or an empty sentinel when i is out of range.
  const HString& Item(int i) const;
  HListNode* Head() const { return list_.Head(); }
  void Clear();

 private:
  HString sentinel_;
  HList list_;
};

#endif  // CORE_LIST_H_
