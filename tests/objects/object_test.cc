#include "objects/object.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "objects/container.h"
#include "objects/factory.h"
#include "objects/ncontainer.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

using ObjectPtr = std::unique_ptr<IObject, void (*)(IObject*)>;

ObjectPtr Make(const char* name, const char* type_name) {
  IObjectFactory factory;
  return ObjectPtr(factory.Create(name, type_name), ReleaseObject);
}

const char* CallWith(IObject* object, const char* method, std::vector<const char*> args) {
  return object->Call(method, static_cast<int>(args.size()), args.data());
}

// The values of the items, or the names of the children, in iteration order.
std::string Walk(IObject* object) {
  std::string out;
  if (!object->First()) return out;
  while (const char* name = object->NextName()) out += std::string(name) + ",";
  return out;
}

TEST(IObjectFactoryTest, TypeNamesMakeTheirKinds) {
  // The flag values are those of the stored format: container 1,
  // numbered 2, items 4, list 8.
  struct Case {
    const char* asked;
    const char* type_name;
    int flags;
    bool container, numbered, items, list;
  };
  const Case cases[] = {
      {"object", "Object", 0, false, false, false, false},
      {"ITEMS", "Items", 4, false, false, true, false},
      {"Container", "Container", 1, true, false, false, false},
      {"list", "List", 9, true, false, false, true},
      {"ncontainer", "NContainer", 3, true, true, false, false},
      {"NLIST", "NList", 15, true, true, true, true},
      {"nitems", "NItems", 7, true, true, true, false},
      {"NSet", "NSet", 11, true, true, false, true},
  };
  for (const Case& c : cases) {
    ObjectPtr object = Make("x", c.asked);
    ASSERT_NE(nullptr, object) << c.asked;
    EXPECT_STREQ(c.type_name, object->GetTypeName()) << c.asked;
    EXPECT_EQ(c.flags, object->GetFlags()) << c.asked;
    EXPECT_EQ(c.container, object->IsContainer()) << c.asked;
    EXPECT_EQ(c.numbered, object->IsNumbered()) << c.asked;
    EXPECT_EQ(c.items, object->IsItems()) << c.asked;
    EXPECT_EQ(c.list, object->IsList()) << c.asked;
  }
  EXPECT_EQ(nullptr, Make("x", "Objects"));
  EXPECT_EQ(nullptr, Make("x", ""));
}

TEST(IObjectTest, PropertiesIgnoreCaseAndHideUnderscoreNames) {
  IObject object("Settings", 0);
  EXPECT_STREQ("Settings", object.GetName());  // plain objects keep their case
  object.SetProperty("Title", "News");
  EXPECT_TRUE(object.IsModified());
  object.SetProperty("TITLE", "Sports");  // replaces, does not append
  EXPECT_EQ(1, object.Properties().Count());
  EXPECT_STREQ("Sports", object.GetProperty("title"));
  object.Properties().AddEntry("_md5", "secret");
  object.Properties().AddEntry("_lastid", "4");
  EXPECT_EQ(nullptr, object.GetProperty("_md5"));
  EXPECT_EQ(nullptr, object.GetProperty("_lastid"));
  EXPECT_EQ(nullptr, object.GetProperty("Missing"));
  object.SetPropertyInt("Size", -12);
  EXPECT_STREQ("-12", object.GetProperty("size"));
  EXPECT_EQ(-12, object.GetPropertyInt("SIZE"));
  EXPECT_EQ(0, object.GetPropertyInt("Missing"));
  object.RemoveProperty("SIZE");
  EXPECT_EQ(nullptr, object.GetProperty("Size"));
  object.RemoveProperty(nullptr);
  EXPECT_EQ(0, object.Properties().Count());
}

TEST(IObjectTest, ItemsAnswerCountFirstLastAndMembership) {
  IObject items("list", kItemsFlag);
  EXPECT_STREQ("0", items.GetProperty("Count"));
  EXPECT_EQ(nullptr, items.GetProperty("First"));
  CallWith(&items, "add", {"a\r\nb\n\nc"});
  EXPECT_EQ("a,b,c,", Walk(&items));
  EXPECT_STREQ("3", items.GetProperty("count"));
  EXPECT_STREQ("a", items.GetProperty("FIRST"));
  EXPECT_STREQ("c", items.GetProperty("last"));
  EXPECT_STREQ("b", items.GetProperty("b"));  // an item read by its own value
  EXPECT_EQ(nullptr, items.GetProperty("B"));  // values compare exactly
  EXPECT_EQ(nullptr, items.GetProperty("Title"));
  items.SetProperty("_item", "hidden");
  EXPECT_EQ(nullptr, items.GetProperty("_item"));
}

TEST(IObjectTest, ItemAddKeepsTheLastLineUnchanged) {
  struct Case {
    const char* text;
    const char* items;
  };
  const Case cases[] = {
      {"one", "one,"},
      {"one\n", "one,"},
      {"\n\r\n", ""},
      {"x\ny\r", "x,y\r,"},  // no line feed follows: the carriage return stays
      {"", ""},
  };
  for (const Case& c : cases) {
    IObject items("i", kItemsFlag);
    CallWith(&items, "Add", {c.text});
    EXPECT_EQ(c.items, Walk(&items)) << c.text;
    EXPECT_TRUE(items.IsModified()) << c.text;  // even when nothing was added
  }
}

TEST(IObjectTest, ItemMethodsAndTheirModifiedMark) {
  IObject items("i", kItemsFlag);
  items.Properties().AddItem("a");
  items.Properties().AddItem("b");
  items.Properties().AddItem("a");
  CallWith(&items, "OrderUp", {"a"});  // already first
  CallWith(&items, "OrderDown", {"missing"});
  EXPECT_FALSE(items.IsModified());
  CallWith(&items, "OrderDown", {"b"});  // b is second to last
  EXPECT_TRUE(items.IsModified());
  EXPECT_EQ("a,a,b,", Walk(&items));
  items.SetModified(false);
  CallWith(&items, "ORDERDOWN", {"b"});  // already last
  EXPECT_FALSE(items.IsModified());
  CallWith(&items, "Remove", {"missing"});
  EXPECT_TRUE(items.IsModified());  // removal marks in any case
  CallWith(&items, "Remove", {"a"});
  EXPECT_EQ("b,", Walk(&items));
  CallWith(&items, "RemoveAll", {});  // needs an argument, like the others
  EXPECT_EQ("b,", Walk(&items));
  CallWith(&items, "RemoveAll", {""});
  EXPECT_EQ("", Walk(&items));
}

TEST(IObjectTest, PlainObjectsIgnoreItemMethodsAndUnknownMethods) {
  IObject object("o", 0);
  object.SetProperty("a", "1");
  object.SetModified(false);
  for (const char* method : {"Add", "Remove", "RemoveAll", "OrderUp", "OrderDown", "Frobnicate"}) {
    EXPECT_EQ(nullptr, CallWith(&object, method, {"a", "Object"})) << method;
  }
  EXPECT_FALSE(object.IsModified());
  EXPECT_STREQ("1", object.GetProperty("a"));
  EXPECT_FALSE(object.First());
  EXPECT_EQ(nullptr, object.NextName());
  EXPECT_EQ(nullptr, object.FindChild("a"));
}

TEST(IContainerTest, NamesAreLowerCasedAndFoundWithoutRegardToCase) {
  FakeServer server;
  IContainer root("Root", 0);
  EXPECT_STREQ("root", root.GetName());
  IObject* data = root.CreateChild("MyData", "Container");
  ASSERT_NE(nullptr, data);
  EXPECT_STREQ("mydata", data->GetName());
  EXPECT_EQ(data, root.FindChild("MYDATA"));
  EXPECT_EQ(nullptr, root.FindChild("other"));
  EXPECT_TRUE(root.IsModified());
}

TEST(IContainerTest, CountFirstLastAndChildNames) {
  FakeServer server;
  IContainer box("box", 0);
  for (const char* name : {"a", "b", "c"}) box.CreateChild(name, "Object");
  box.SetProperty("b", "property");
  EXPECT_STREQ("3", box.GetProperty("COUNT"));
  EXPECT_STREQ("property", box.GetProperty("b"));  // a plain container answers Count only
  EXPECT_EQ(nullptr, box.GetProperty("First"));
  IContainer list("list", kListFlag);
  for (const char* name : {"x", "y"}) list.CreateChild(name, "Object");
  list.SetProperty("Title", "t");
  EXPECT_STREQ("x", list.GetProperty("first"));
  EXPECT_STREQ("y", list.GetProperty("Last"));
  EXPECT_STREQ("x", list.GetProperty("X"));  // the child's own name
  EXPECT_STREQ("t", list.GetProperty("title"));  // no child: the property
  EXPECT_EQ("x,y,", Walk(&list));
  list.First();
  EXPECT_STREQ("x", list.NextObject()->GetName());
}

TEST(IContainerTest, ListIdsCountOnFromTheLastId) {
  FakeServer server;
  IContainer list("list", kListFlag);
  EXPECT_STREQ("1", CallWith(&list, "Add", {"Object"}));
  EXPECT_STREQ("2", CallWith(&list, "add", {"Items"}));
  EXPECT_EQ("1,2,", Walk(&list));
  EXPECT_STREQ("Items", list.FindChild("2")->GetTypeName());
  EXPECT_EQ("ErrorCreate", RaisedBy([&] { CallWith(&list, "Add", {"NoSuchType"}); }));
  EXPECT_EQ("ErrorCreate", RaisedBy([&] { CallWith(&list, "Add", {"NContainer"}); }));
  EXPECT_EQ(2, list.ChildCount());
  EXPECT_STREQ("3", CallWith(&list, "Add", {"Object"}));
}

TEST(IContainerTest, NamedAddAndItsErrors) {
  FakeServer server;
  IContainer box("box", 0);
  EXPECT_STREQ("news", CallWith(&box, "Add", {"News", "Container"}));
  EXPECT_EQ(nullptr, CallWith(&box, "Add", {"Lonely"}));  // a name needs a type
  const char* refused[][2] = {
      {"x", "Unknown"},        // no such type
      {"n", "NList"},          // numbered children need a numbered parent
      {"a\nb", "Object"},      // would split the header line
      {"a : b", "Container"},  // would end the name early
  };
  for (const auto& r : refused) {
    EXPECT_EQ("ErrorCreate", RaisedBy([&] { CallWith(&box, "Add", {r[0], r[1]}); })) << r[0];
  }
  EXPECT_EQ(1, box.ChildCount());
}

TEST(IContainerTest, ChildOrderAndRemoval) {
  FakeServer server;
  IContainer box("box", 0);
  for (const char* name : {"a", "b", "c"}) box.CreateChild(name, "Object");
  box.SetModified(false);
  CallWith(&box, "OrderUp", {"A"});
  CallWith(&box, "OrderDown", {"c"});
  CallWith(&box, "Remove", {"zzz"});
  EXPECT_FALSE(box.IsModified());
  CallWith(&box, "OrderUp", {"c"});
  EXPECT_EQ("a,c,b,", Walk(&box));
  EXPECT_TRUE(box.IsModified());
  box.SetModified(false);
  CallWith(&box, "OrderDown", {"A"});
  EXPECT_EQ("c,a,b,", Walk(&box));
  CallWith(&box, "Remove", {"A"});
  EXPECT_EQ("c,b,", Walk(&box));
  EXPECT_EQ(nullptr, box.FindChild("a"));
}

TEST(IContainerTest, ModifiedChildMarksItsContainer) {
  FakeServer server;
  IContainer box("box", 0);
  IObject* child = box.CreateChild("c", "Object");
  box.SetModified(false);
  EXPECT_FALSE(box.IsModified());
  child->SetProperty("x", "1");
  EXPECT_TRUE(box.IsModified());
}

TEST(IContainerTest, ItemsContainersAddItemsWithOneArgument) {
  FakeServer server;
  INContainer nitems("n", kItemsFlag);
  CallWith(&nitems, "Add", {"p\nq"});
  EXPECT_EQ("p,q,", Walk(&nitems));
  EXPECT_EQ(0, nitems.ChildCount());
  EXPECT_STREQ("Kid", CallWith(&nitems, "Add", {"Kid", "Object"}));  // two: a child
  EXPECT_EQ(1, nitems.ChildCount());
  EXPECT_EQ("p,q,", Walk(&nitems));
}

TEST(IContainerTest, WithoutServerNothingIsCreated) {
  IContainer box("box", 0);
  EXPECT_EQ(nullptr, box.CreateChild("a", "Object"));
  EXPECT_FALSE(box.IsModified());
  EXPECT_EQ("ErrorCreate", RaisedBy([&] { CallWith(&box, "Add", {"a", "Object"}); }));
}

TEST(INContainerModelTest, IteratesItemsOnly) {
  FakeServer server;
  INContainer numbered("n", 0);
  numbered.CreateChild("a", "Object");
  EXPECT_FALSE(numbered.First());
  EXPECT_EQ(nullptr, numbered.NextObject());
  EXPECT_EQ(nullptr, numbered.GetProperty("Count"));  // properties only
}

}  // namespace
