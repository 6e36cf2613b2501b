#include "core/params.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/test_util.h"

TEST(HParamsTest, LookupIgnoresCaseOfNamesNotValues) {
  HParams p;
  p.AddEntry("Page", "Top");
  p.AddEntry("page", "Second");
  EXPECT_STREQ("Top", p.GetValue("PAGE"));
  EXPECT_EQ(nullptr, p.GetValue("none"));
  EXPECT_STREQ("", p.GetValueText("none").CStr());
  EXPECT_EQ(nullptr, p.FindEntryByValue("top"));
  EXPECT_NE(nullptr, p.FindEntryByValue("Top"));
  p.SetValue("PAGE", "New");
  p.SetValue("other", "x");
  EXPECT_EQ("Page=New;page=Second;other=x;", DumpParams(p));
  p.RemoveAll("page");
  EXPECT_EQ("other=x;", DumpParams(p));
  p.InsertEntry(p.FindEntry("other"), "first", "1");
  EXPECT_EQ("first=1;other=x;", DumpParams(p));
}

TEST(HParamsTest, ItemsMoveAndRemoveByValue) {
  HParams p;
  p.AddItem("a");
  p.AddEntry("named", "b");
  p.AddItem("b");
  p.AddItem("c");
  EXPECT_EQ(0, p.MoveItemUp("a"));    // already first
  EXPECT_EQ(0, p.MoveItemDown("c"));  // already last
  EXPECT_EQ(0, p.MoveItemUp("zz"));   // absent
  EXPECT_EQ(1, p.MoveItemUp("b"));    // the item, not the named entry
  EXPECT_EQ("=a;=b;named=b;=c;", DumpParams(p));
  EXPECT_EQ(1, p.MoveItemDown("a"));
  EXPECT_EQ("=b;=a;named=b;=c;", DumpParams(p));
  p.AddItem("b");
  EXPECT_TRUE(p.RemoveItem("b"));  // every item of that value, no named entry
  EXPECT_FALSE(p.RemoveItem("b"));
  EXPECT_EQ("=a;named=b;=c;", DumpParams(p));
}

TEST(HEnumParamTest, CopiesValuesInOrder) {
  HParams p;
  p.AddEntry("v", "1");
  p.AddEntry("w", "x");
  p.AddEntry("V", "2");
  p.AddEntry("v", "3");
  HEnumParam values(p, "v");
  p.Clear();  // later changes do not show
  std::string out;
  ASSERT_TRUE(values.First());
  while (const char* v = values.Next()) out += v;
  EXPECT_EQ("123", out);
  EXPECT_EQ(nullptr, values.Next());
  EXPECT_TRUE(values.First());  // restarts
  EXPECT_STREQ("1", values.Next());
  HEnumParam none(p, nullptr);
  EXPECT_FALSE(none.First());
}
