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
