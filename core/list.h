// HList, a doubly linked list of borrowed pointers; HTypedList, its typed
// form with an iterator that may own its elements; HNamedList, a typed list
// whose elements are also found by name; and HStringList, a list of strings
// it owns.
#ifndef CORE_LIST_H_
#define CORE_LIST_H_

#include <cstddef>
#include <unordered_map>
#include <utility>

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

// What a typed list does with an element it lets go of (removed, cleared or
// destroyed with the list): a borrowing list leaves it alone, an owning one
// deletes it. Owners with other rules (objects are released) bring their own.
struct HBorrowElements {
  template <class T>
  void operator()(T*) const {}
};
struct HDeleteElements {
  template <class T>
  void operator()(T* element) const {
    delete element;
  }
};

// An HList of T pointers: the same nodes, order and operations, typed, with
// an iterator over the elements. Dispose decides whether the list owns them.
template <class T, class Dispose = HBorrowElements>
class HTypedList {
 public:
  class Iterator {
   public:
    explicit Iterator(HListNode* node) : node_(node) {}
    T* operator*() const { return static_cast<T*>(node_->data); }
    Iterator& operator++() {
      node_ = node_->next;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return node_ != other.node_; }
    bool operator==(const Iterator& other) const { return node_ == other.node_; }

   private:
    HListNode* node_;
  };

  HTypedList() = default;
  HTypedList(const HTypedList&) = delete;
  HTypedList& operator=(const HTypedList&) = delete;
  ~HTypedList() { Clear(); }

  // A loop may not remove the element it stands on; walk the nodes for that.
  Iterator begin() const { return Iterator(list_.Head()); }
  Iterator end() const { return Iterator(nullptr); }

  HListNode* PushBack(T* element) { return list_.PushBack(element); }
  HListNode* PushFront(T* element) { return list_.PushFront(element); }
  HListNode* InsertBefore(HListNode* node, T* element) { return list_.InsertBefore(node, element); }
  // Frees the node and hands its element to the caller; null for a null node.
  T* Unlink(HListNode* node) { return static_cast<T*>(list_.Unlink(node)); }
  // Frees the node and disposes of its element.
  void Remove(HListNode* node) { Dispose()(Unlink(node)); }
  // Disposes of every element, then frees the nodes.
  void Clear() {
    for (HListNode* node = list_.Head(); node != nullptr; node = node->next) Dispose()(Of(node));
    list_.Clear();
  }

  int Count() const { return list_.Count(); }
  HListNode* Head() const { return list_.Head(); }
  HListNode* Tail() const { return list_.Tail(); }
  // Null when i is out of range.
  HListNode* NodeAt(int i) const { return list_.NodeAt(i); }
  T* At(int i) const {
    HListNode* node = list_.NodeAt(i);
    return node == nullptr ? nullptr : Of(node);
  }
  // The node that holds `element`, or null.
  HListNode* NodeOf(const T* element) const {
    for (HListNode* node = list_.Head(); node != nullptr; node = node->next) {
      if (node->data == element) return node;
    }
    return nullptr;
  }
  static T* Of(const HListNode* node) { return static_cast<T*>(node->data); }

 private:
  HList list_;
};

template <class T>
using HOwnedList = HTypedList<T, HDeleteElements>;

// A typed list whose elements are also found by name (NameOf), compared
// without regard to ASCII case; among equal names the first in list order is
// found. Short lists are walked. From kIndexFrom elements on, the first
// look-up builds an index by HashNoCase, and every change of the list keeps
// it up to date, so a look-up costs one hash whatever the length. Order and
// every other behaviour are the plain list's. An element's name must not
// change while it is in the list; empty names are never indexed.
template <class T, const char* (*NameOf)(const T*), class Dispose = HBorrowElements>
class HNamedList {
 public:
  using Iterator = typename HTypedList<T, Dispose>::Iterator;
  static constexpr int kIndexFrom = 8;

  HNamedList() = default;
  HNamedList(const HNamedList&) = delete;
  HNamedList& operator=(const HNamedList&) = delete;
  ~HNamedList() { Clear(); }

  Iterator begin() const { return list_.begin(); }
  Iterator end() const { return list_.end(); }

  // The first node whose element has that name, or null (also for null).
  HListNode* FindNode(const char* name) const {
    if (name == nullptr) return nullptr;
    if (*name != 0 && (indexed_ || list_.Count() >= kIndexFrom)) {
      BuildIndex();
      const auto hit = index_.find(name);
      return hit == index_.end() ? nullptr : hit->second;
    }
    for (HListNode* node = list_.Head(); node != nullptr; node = node->next) {
      if (CompareNoCase(NameOf(Of(node)), name) == 0) return node;
    }
    return nullptr;
  }
  T* Find(const char* name) const {
    HListNode* node = FindNode(name);
    return node == nullptr ? nullptr : Of(node);
  }

  HListNode* PushBack(T* element) {
    HListNode* node = list_.PushBack(element);
    if (indexed_ && *NameOf(element) != 0) index_.emplace(NameOf(element), node);  // a namesake stays first
    return node;
  }
  // Before `node` (at the front for null or the head).
  HListNode* InsertBefore(HListNode* node, T* element) {
    HListNode* fresh = list_.InsertBefore(node, element);
    const char* name = NameOf(element);
    if (indexed_ && *name != 0 && !index_.emplace(name, fresh).second) DropIndex();  // which is first?
    return fresh;
  }
  T* Unlink(HListNode* node) {
    if (indexed_ && node != nullptr) Forget(node);
    return list_.Unlink(node);
  }
  void Remove(HListNode* node) { Dispose()(Unlink(node)); }
  // Exchanges the elements of two neighbouring nodes, `earlier` coming
  // right before `later`.
  void SwapWithNext(HListNode* earlier, HListNode* later) {
    std::swap(earlier->data, later->data);
    if (!indexed_) return;
    // The element now in `later` was first of its name when it stood in
    // `earlier`; the one now in `earlier` is first of its name if it was
    // when it stood in `later`.
    const char* moved_down = NameOf(Of(later));
    const char* moved_up = NameOf(Of(earlier));
    if (CompareNoCase(moved_down, moved_up) == 0) return;
    auto down = index_.find(moved_down);
    if (down != index_.end() && down->second == earlier) down->second = later;
    auto up = index_.find(moved_up);
    if (up != index_.end() && up->second == later) up->second = earlier;
  }
  void Clear() {
    DropIndex();
    list_.Clear();
  }

  int Count() const { return list_.Count(); }
  HListNode* Head() const { return list_.Head(); }
  HListNode* Tail() const { return list_.Tail(); }
  HListNode* NodeAt(int i) const { return list_.NodeAt(i); }
  T* At(int i) const { return list_.At(i); }
  static T* Of(const HListNode* node) { return static_cast<T*>(node->data); }

 private:
  struct Hash {
    std::size_t operator()(const char* name) const { return HashNoCase(name); }
  };
  struct Equal {
    bool operator()(const char* a, const char* b) const { return CompareNoCase(a, b) == 0; }
  };

  void BuildIndex() const {
    if (indexed_) return;
    index_.reserve(static_cast<std::size_t>(list_.Count()) * 2);
    for (HListNode* node = list_.Head(); node != nullptr; node = node->next) {
      const char* name = NameOf(Of(node));
      if (*name != 0) index_.emplace(name, node);  // keeps the first of each name
    }
    indexed_ = true;
  }
  void DropIndex() {
    index_.clear();
    indexed_ = false;
  }
  // `node` is about to leave the list: its name passes to the next namesake.
  void Forget(HListNode* node) {
    const char* name = NameOf(Of(node));
    if (*name == 0) return;
    auto hit = index_.find(name);
    if (hit == index_.end() || hit->second != node) return;
    index_.erase(hit);
    for (HListNode* next = node->next; next != nullptr; next = next->next) {
      if (CompareNoCase(NameOf(Of(next)), name) == 0) {
        index_.emplace(NameOf(Of(next)), next);
        return;
      }
    }
  }

  HTypedList<T, Dispose> list_;
  mutable std::unordered_map<const char*, HListNode*, Hash, Equal> index_;
  mutable bool indexed_ = false;
};

class HStringList {
 public:
  HStringList() = default;
  HStringList(const HStringList&) = delete;
  HStringList& operator=(const HStringList&) = delete;

  void Add(const char* text);
  // Adds the first `n` bytes of `text`.
  void Add(const char* text, int n);
  int Count() const { return list_.Count(); }
  // The i-th string, or an empty sentinel when i is out of range.
  const HString& Item(int i) const;
  HListNode* Head() const { return list_.Head(); }
  using Iterator = HOwnedList<HString>::Iterator;
  Iterator begin() const { return list_.begin(); }
  Iterator end() const { return list_.end(); }
  void Clear() { list_.Clear(); }

 private:
  HString sentinel_;
  HOwnedList<HString> list_;
};

#endif  // CORE_LIST_H_
