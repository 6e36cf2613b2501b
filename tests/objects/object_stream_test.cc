#include "objects/object_stream.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "objects/container.h"
#include "objects/factory.h"
#include "objects/object.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

using ObjectPtr = std::unique_ptr<IObject, void (*)(IObject*)>;

class HObjectStreamTest : public ::testing::Test {
 protected:
  // The file a Save of `object` writes.
  std::string SaveText(IObject* object) {
    HObjectStream stream;
    EXPECT_TRUE(stream.Open(path_.c_str(), "w"));
    object->Save(stream);
    EXPECT_TRUE(stream.Close());
    return ReadFile(path_);
  }

  // The object whose block `text` holds, made by the plain factory.
  ObjectPtr LoadText(const std::string& text) {
    WriteFile(path_, text);
    HObjectStream stream;
    EXPECT_TRUE(stream.Open(path_.c_str(), "r"));
    if (!stream.ReadHeader(true)) return ObjectPtr(nullptr, ReleaseObject);
    IObjectFactory factory;
    ObjectPtr object(factory.Create(stream.EntryName(), stream.EntryValue()), ReleaseObject);
    if (object) object->Load(stream);
    return object;
  }

  FakeServer server_;
  ScratchDir dir_;
  std::string path_ = dir_ / "block";
};

TEST_F(HObjectStreamTest, ListWithChildIsStoredLineByLine) {
  IContainer list("MyList", kListFlag);
  list.Call("Add", 1, std::vector<const char*>{"Container"}.data());
  list.RemoveChild("1");
  list.Call("Add", 1, std::vector<const char*>{"Object"}.data());
  list.SetProperty("title", "News");
  list.FindChild("2")->SetProperty("text", "first line\nsecond line");
  const std::string stored =
      "object mylist : List\n"
      " _lastid=2\n"
      " title=News\n"
      " object 2 : Object\n"
      "  text=first line\n"
      "\tsecond line\n"
      " end\n"
      "end\n";
  EXPECT_EQ(stored, SaveText(&list));
  ObjectPtr loaded = LoadText(stored);
  ASSERT_NE(nullptr, loaded);
  IContainer* back = static_cast<IContainer*>(loaded.get());
  EXPECT_EQ(2, back->LastId());
  EXPECT_STREQ("News", back->GetProperty("Title"));
  ASSERT_EQ(1, back->ChildCount());
  EXPECT_STREQ("first line\nsecond line", back->ChildAt(0)->GetProperty("text"));
  EXPECT_EQ(stored, SaveText(back));
}

TEST_F(HObjectStreamTest, ValuesRoundTrip) {
  struct Case {
    std::string value;
    std::string read_back;
  };
  const std::string long_value(3000, 'v');
  // " name=" is 6 bytes: these values give lines of exactly 1022 and 1023
  // bytes, the most one read of the 1024-byte buffer can hold with and
  // without its line feed.
  const std::string fits(1016, 'f');
  const std::string spills(1017, 's');
  const Case cases[] = {
      {"two\nlines", "two\nlines"},
      {"crlf\r\nlines\r\n", "crlf\nlines\n"},  // carriage returns go with line feeds
      {"lone\rreturn", "lone\rreturn"},        // kept when no line feed
      {"\n", "\n"},
      {"a\n\n\nb", "a\n\n\nb"},  // empty lines inside a value survive
      {"", ""},
      {"x=y=z", "x=y=z"},
      {"\ttab first", "\ttab first"},
      {long_value, long_value},
      {fits, fits},
      {spills, spills},
      {"head\n" + long_value + "\n" + spills, "head\n" + long_value + "\n" + spills},
      {std::string(2044, 'w') + "\n", std::string(2044, 'w') + "\n"},
  };
  for (const Case& c : cases) {
    IObject object("o", 0);
    object.SetProperty("name", c.value.c_str());
    object.SetProperty("after", "kept");
    const std::string text = SaveText(&object);
    EXPECT_EQ(std::string::npos, text.find("\n\n")) << "an empty line ends a block early";
    ObjectPtr back = LoadText(text);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(c.read_back, back->GetProperty("name")) << c.value.substr(0, 40);
    EXPECT_STREQ("kept", back->GetProperty("after")) << c.value.substr(0, 40);
    EXPECT_EQ(2, back->Properties().Count()) << c.value.substr(0, 40);
  }
  IObject object("o", 0);
  object.SetProperty("name", fits.c_str());
  const std::string text = SaveText(&object);
  const size_t start = text.find('\n') + 1;  // after the header line
  EXPECT_EQ(1022u, text.find('\n', start) - start);
}

TEST_F(HObjectStreamTest, ItemsKeepTheirOrderAndLineFeeds) {
  IObject items("i", kItemsFlag);
  for (const char* item : {"b", "a\nb", "", "a"}) items.Properties().AddItem(item);
  const std::string text = SaveText(&items);
  EXPECT_EQ("object i : Items\n _item=b\n _item=a\n\tb\n _item=\n _item=a\nend\n", text);
  ObjectPtr back = LoadText(text);
  ASSERT_NE(nullptr, back);
  ASSERT_EQ(4, back->Properties().Count());
  EXPECT_EQ(text, SaveText(back.get()));
  // Any name counts as an item when read.
  back = LoadText("object i : Items\n x=1\n _item=2\nend\n");
  EXPECT_STREQ("2", back->GetProperty("Count"));
  EXPECT_STREQ("1", back->GetProperty("First"));
}

TEST_F(HObjectStreamTest, BlocksThatEndAtOnce) {
  const char* texts[] = {
      "object c : Container\nend\n",
      "object c : Container\nend\nobject d : Object\n x=1\nend\n",  // a second block is not read
      "object c : Container\n",                                   // the file ends
      "object c : Container\n\n x=1\n object k : Object\n end\nend\n",  // an empty line ends it
  };
  for (const char* text : texts) {
    ObjectPtr back = LoadText(text);
    ASSERT_NE(nullptr, back) << text;
    EXPECT_EQ(0, back->Properties().Count()) << text;
    EXPECT_EQ(0, static_cast<IContainer*>(back.get())->ChildCount()) << text;
  }
}

TEST_F(HObjectStreamTest, ReadingSkipsWhatIsNotAProperty) {
  ObjectPtr back = LoadText(
      "object o : Container\n"
      "\torphan continuation\n"  // no pair yet: dropped
      " no equals sign\n"
      " a=1\n"
      " a=2\n"  // appended, not merged: look-ups find the first
      " object k : Object\n"
      "  b=3\n"
      "  junk\n"
      " end\n"
      "end\n");
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(2, back->Properties().Count());
  EXPECT_STREQ("1", back->GetProperty("a"));
  EXPECT_STREQ("3", back->FindChild("k")->GetProperty("b"));
}

TEST_F(HObjectStreamTest, UnknownChildTypeStopsItsBlock) {
  ObjectPtr back = LoadText(
      "object box : Container\n"
      " p=1\n"
      " object first : Object\n"
      "  x=1\n"
      " end\n"
      " object nested : Container\n"
      "  object inner : Object\n"
      "  end\n"
      " end\n"
      " object odd : NoSuchType\n"
      "  y=2\n"
      " end\n"
      " object last : Object\n"
      " end\n"
      "end\n");
  ASSERT_NE(nullptr, back);
  IContainer* box = static_cast<IContainer*>(back.get());
  EXPECT_STREQ("1", box->GetProperty("p"));
  ASSERT_EQ(2, box->ChildCount());
  EXPECT_STREQ("first", box->ChildAt(0)->GetName());
  EXPECT_STREQ("1", box->ChildAt(0)->GetProperty("x"));
  EXPECT_STREQ("nested", box->ChildAt(1)->GetName());
  EXPECT_EQ(1, static_cast<IContainer*>(box->ChildAt(1))->ChildCount());
}

TEST_F(HObjectStreamTest, LastIdIsReadBackAndUsed) {
  ObjectPtr back = LoadText(
      "object l : List\n"
      " _lastid=7\n"
      " object 7 : Object\n"
      " end\n"
      "end\n");
  ASSERT_NE(nullptr, back);
  EXPECT_EQ(nullptr, back->GetProperty("_lastid"));
  EXPECT_STREQ("8", back->Call("Add", 1, std::vector<const char*>{"Object"}.data()));
  // A first property of another name is an ordinary property.
  back = LoadText("object l : List\n title=x\n _lastid=3\nend\n");
  EXPECT_EQ(0, static_cast<IContainer*>(back.get())->LastId());
  EXPECT_STREQ("x", back->GetProperty("title"));
}

TEST_F(HObjectStreamTest, HeaderNamesMayBeEmptyOrHoldSpaces) {
  IObject object("", 0);
  EXPECT_EQ("object  : Object\nend\n", SaveText(&object));
  ObjectPtr back = LoadText("object a b : Object\n x=1\nend\n");
  ASSERT_NE(nullptr, back);
  EXPECT_STREQ("a b", back->GetName());
  EXPECT_EQ(nullptr, LoadText("object nameonly\nend\n"));
  EXPECT_EQ(nullptr, LoadText("objects x : Object\nend\n"));
}

TEST_F(HObjectStreamTest, FailedWriteLeavesTheOldFile) {
  WriteFile(path_, "old\n");
  {
    HObjectStream stream;
    ASSERT_TRUE(stream.Open(path_.c_str(), "w"));
    stream.WriteProperty("a", "1");
    EXPECT_EQ("old\n", ReadFile(path_));  // nothing replaced before Close
  }  // destroyed without Close: abandoned
  EXPECT_EQ("old\n", ReadFile(path_));
  const std::string taken = dir_ / "taken";
  ASSERT_EQ(0, mkdir(taken.c_str(), 0755));  // a directory where the file should go
  HObjectStream stream;
  ASSERT_TRUE(stream.Open(taken.c_str(), "w"));
  stream.WriteProperty("a", "1");
  EXPECT_FALSE(stream.Close());
  EXPECT_EQ("old\n", ReadFile(path_));
  EXPECT_EQ(0, system(("test $(ls -A '" + dir_.Path() + "' | wc -l) -eq 2").c_str()))
      << "no temporary file is left behind";
}

}  // namespace
