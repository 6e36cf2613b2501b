#include "core/list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> Walk(const HList& list) {
  std::vector<int> out;
  for (HListNode* node = list.Head(); node != nullptr;) out.push_back(*static_cast<int*>(HList::Next(node)));
  return out;
}

std::vector<int> WalkBack(const HList& list) {
  std::vector<int> out;
  for (HListNode* node = list.Tail(); node != nullptr; node = node->prev) out.push_back(*static_cast<int*>(node->data));
  return out;
}

}  // namespace

TEST(HListTest, InsertionsKeepBothDirectionsConsistent) {
  int v[5] = {0, 1, 2, 3, 4};
  HList list;
  HListNode* two = list.PushBack(&v[2]);
  list.PushFront(&v[0]);
  list.InsertBefore(two, &v[1]);
  list.InsertAfter(two, &v[3]);
  list.InsertAfter(list.Tail(), &v[4]);
  EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), Walk(list));
  EXPECT_EQ((std::vector<int>{4, 3, 2, 1, 0}), WalkBack(list));
  EXPECT_EQ(5, list.Count());
  EXPECT_EQ(&v[3], list.Unlink(list.NodeAt(3)));
  EXPECT_EQ(&v[0], list.Unlink(list.Head()));
  EXPECT_EQ(&v[4], list.Unlink(list.Tail()));
  EXPECT_EQ((std::vector<int>{1, 2}), Walk(list));
  EXPECT_EQ((std::vector<int>{2, 1}), WalkBack(list));
}

TEST(HListTest, EdgesOfTheList) {
  int x = 7;
  HList list;
  EXPECT_EQ(nullptr, list.NodeAt(0));
  EXPECT_EQ(nullptr, list.Unlink(nullptr));
  list.InsertBefore(list.Head(), &x);  // on an empty list: a push
  EXPECT_EQ(nullptr, list.NodeAt(-1));
  EXPECT_EQ(nullptr, list.NodeAt(1));
  list.Unlink(list.Head());
  EXPECT_EQ(nullptr, list.Head());
  EXPECT_EQ(nullptr, list.Tail());
  EXPECT_EQ(0, list.Count());
}

TEST(HStringListTest, OutOfRangeGivesTheEmptySentinel) {
  HStringList list;
  list.Add("a");
  list.Add("b");
  EXPECT_STREQ("b", list.Item(1).CStr());
  EXPECT_STREQ("", list.Item(5).CStr());
  EXPECT_STREQ("", list.Item(-1).CStr());
  EXPECT_EQ(2, list.Count());
}

namespace {

struct Named {
  std::string name;
  static int alive;
  explicit Named(std::string n) : name(std::move(n)) { ++alive; }
  ~Named() { --alive; }
};
int Named::alive = 0;

const char* NameOfNamed(const Named* n) { return n->name.c_str(); }

// The first node whose name matches, found the slow way.
HListNode* FirstByWalk(const HListNode* head, const char* name) {
  for (const HListNode* node = head; node != nullptr; node = node->next) {
    if (CompareNoCase(static_cast<const Named*>(node->data)->name.c_str(), name) == 0) {
      return const_cast<HListNode*>(node);
    }
  }
  return nullptr;
}

}  // namespace

// Long enough to be indexed, with namesakes in different cases: after every
// kind of change the index must find what a walk finds, the first namesake.
TEST(HNamedListTest, IndexAgreesWithAWalkThroughEveryChange) {
  {
    HNamedList<Named, NameOfNamed, HDeleteElements> list;
    const char* const names[] = {"a", "B", "c", "A", "b", "d", "", "e", "C", "f"};
    unsigned seed = 7;
    auto next = [&seed](unsigned n) {
      seed = seed * 1103515245u + 12345u;
      return (seed >> 16) % n;
    };
    for (int step = 0; step < 3000; ++step) {
      const unsigned op = next(5);
      Named* fresh = new Named(names[next(10)]);
      HListNode* at = list.Count() > 0 ? list.NodeAt(static_cast<int>(next(list.Count()))) : nullptr;
      if (op == 0 || list.Count() < 12) {
        list.PushBack(fresh);
      } else if (op == 1) {
        list.InsertBefore(at, fresh);
      } else if (op == 2) {
        delete fresh;
        list.Remove(at);
      } else if (op == 3 && at->next != nullptr) {
        delete fresh;
        list.SwapWithNext(at, at->next);
      } else {
        delete fresh;
      }
      for (const char* name : {"A", "b", "C", "d", "E", "f", "g", ""}) {
        ASSERT_EQ(FirstByWalk(list.Head(), name), list.FindNode(name)) << "step " << step << " name " << name;
      }
    }
    EXPECT_EQ(list.Count(), Named::alive);
  }
  EXPECT_EQ(0, Named::alive);  // the owning list deleted every element
}
