#include "objects/ncontainer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/file.h"
#include "core/file_write.h"
#include "objects/commit.h"
#include "objects/object.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

void Shell(const std::string& command) { EXPECT_EQ(0, system(command.c_str())) << command; }

const char* CallWith(IObject* object, const char* method, std::vector<const char*> args) {
  return object->Call(method, static_cast<int>(args.size()), args.data());
}

// A program directory with a fresh root tree stored in its "data/".
class INContainerTest : public ::testing::Test {
 protected:
  INContainerTest() { Reload(); }

  // Drops the loaded tree, as the next request would start.
  INContainer& Reload() {
    root_ = std::make_unique<INContainer>("", 0);
    root_->SetDirectory("data/");
    return *root_;
  }
  std::string Data(const std::string& relative) const { return home_ / ("data/" + relative); }
  bool Exists(const std::string& relative) const { return ::Exists(Data(relative).c_str()); }
  void Store(const std::string& relative, const std::string& text) {
    Shell("mkdir -p \"$(dirname '" + Data(relative) + "')\"");
    WriteFile(Data(relative), text);
  }
  // Every path under data/, one a line, sorted.
  std::string Listing() const {
    return CaptureStdout([&] {
      Shell("cd '" + home_.Path() + "/data' 2>/dev/null && find . -mindepth 1 | LC_ALL=C sort");
    });
  }

  ScratchDir home_;
  FakeServer server_{home_.Path()};
  std::unique_ptr<INContainer> root_;
};

TEST_F(INContainerTest, EachKindOfChildLivesWhereItBelongs) {
  root_->CreateChild("Admin", "Container")->SetProperty("_md5", "abc");
  root_->CreateChild("Note", "Object")->SetProperty("text", "inline");
  IContainer* stats = static_cast<IContainer*>(root_->CreateChild("Stats", "NContainer"));
  stats->SetProperty("unit", "3");
  stats->CreateChild("Day", "Container")->SetProperty("hits", "12");
  stats->CreateChild("memo", "Object")->SetProperty("m", "1");
  static_cast<IContainer*>(stats->FindChild("day"))->CreateChild("inner", "Object")->SetProperty("i", "2");
  EXPECT_STREQ("data/stats/", static_cast<INContainer*>(stats)->GetDirectory());
  ASSERT_TRUE(root_->Commit());

  EXPECT_EQ("./admin\n./index\n./stats\n./stats/day\n./stats/index\n", Listing());
  EXPECT_EQ("object admin : Container\n _md5=abc\nend\n", ReadFile(Data("admin")));
  EXPECT_EQ("object  : NContainer\n object Note : Object\n  text=inline\n end\nend\n", ReadFile(Data("index")));
  EXPECT_EQ("object stats : NContainer\n unit=3\n object memo : Object\n  m=1\n end\nend\n",
            ReadFile(Data("stats/index")));
  EXPECT_EQ("object day : Container\n hits=12\n object inner : Object\n  i=2\n end\nend\n",
            ReadFile(Data("stats/day")));

  INContainer& again = Reload();
  IObject* admin = again.FindChild("ADMIN");
  ASSERT_NE(nullptr, admin);
  EXPECT_EQ(nullptr, admin->GetProperty("_md5"));  // hidden from pages, but loaded:
  EXPECT_STREQ("abc", admin->Properties().GetValue("_md5"));
  IObject* loaded_stats = again.FindChild("stats");
  ASSERT_NE(nullptr, loaded_stats);
  EXPECT_STREQ("3", loaded_stats->GetProperty("unit"));
  EXPECT_STREQ("1", loaded_stats->FindChild("Memo")->GetProperty("m"));
  IObject* day = loaded_stats->FindChild("day");
  ASSERT_NE(nullptr, day);
  EXPECT_STREQ("2", day->FindChild("inner")->GetProperty("i"));
  EXPECT_EQ(nullptr, again.FindChild("missing"));
  EXPECT_EQ(2, again.ChildCount());  // only what was asked for is loaded
}

// What a page adds is there at the next request, also while it is empty.
TEST_F(INContainerTest, EmptyChildrenAddedByAPageAreStored) {
  CallWith(root_.get(), "Add", {"box", "Container"});
  CallWith(root_.get(), "Add", {"set", "NContainer"});
  ASSERT_TRUE(root_->Commit());
  Reload();
  EXPECT_NE(nullptr, root_->FindChild("box"));
  EXPECT_NE(nullptr, root_->FindChild("set"));
}

TEST_F(INContainerTest, OnlyModifiedFilesAreRewritten) {
  Store("a", "object a : Container\n x=1\nend\n");
  Store("b", "object b : Container\n y=1\nend\n");
  root_->FindChild("a")->SetProperty("x", "2");
  root_->FindChild("b");
  WriteFile(Data("b"), "object b : Container\n y=changed elsewhere\nend\n");
  ASSERT_TRUE(root_->Commit());
  EXPECT_EQ("object a : Container\n x=2\nend\n", ReadFile(Data("a")));
  EXPECT_EQ("object b : Container\n y=changed elsewhere\nend\n", ReadFile(Data("b")));
  EXPECT_FALSE(Exists("index"));  // the root's own block did not change
}

TEST_F(INContainerTest, LoadedNameComesFromTheFile) {
  Store("foo", "object bar : Container\n x=1\nend\n");
  IObject* child = root_->FindChild("FOO");
  ASSERT_NE(nullptr, child);
  EXPECT_STREQ("bar", child->GetName());
  Store("odd", "object odd : NoSuchType\nend\n");
  Store("headless", " x=1\nend\n");
  EXPECT_EQ(nullptr, root_->FindChild("odd"));
  EXPECT_EQ(nullptr, root_->FindChild("headless"));
  EXPECT_EQ(1, root_->ChildCount());
}

TEST_F(INContainerTest, NListIdsRunAheadOfLastId) {
  Store("news/index", "object news : NList\n _lastid=3\n _item=1\n _item=5\n _item=2\nend\n");
  Store("news/5", "object 5 : Container\n title=five\nend\n");
  Store("news/2/index", "object 2 : NContainer\n title=two\nend\n");
  IObject* news = root_->FindChild("news");
  ASSERT_NE(nullptr, news);
  EXPECT_STREQ("3", news->GetProperty("Count"));
  EXPECT_EQ(5, static_cast<IContainer*>(news)->LastId());
  EXPECT_STREQ("1", news->GetProperty("First"));
  EXPECT_STREQ("2", news->GetProperty("Last"));
  std::string walked;
  ASSERT_TRUE(news->First());
  for (int i = 0; i < 3; ++i) {
    IObject* element = news->NextObject();
    walked += element == nullptr ? "-" : element->GetProperty("title");
    walked += ",";
  }
  EXPECT_EQ(nullptr, news->NextObject());
  EXPECT_EQ("-,five,two,", walked);  // 1 has no file: null mid-walk
  EXPECT_STREQ("6", CallWith(news, "Add", {"Object"}));
  IObject* six = news->FindChild("6");
  ASSERT_NE(nullptr, six);
  six->SetProperty("title", "six");
  ASSERT_TRUE(root_->Commit());
  EXPECT_EQ(
      "object news : NList\n _lastid=6\n _item=1\n _item=5\n _item=2\n _item=6\n"
      " object 6 : Object\n  title=six\n end\nend\n",
      ReadFile(Data("news/index")));

  IObject* reloaded = Reload().FindChild("news");
  ASSERT_NE(nullptr, reloaded);
  EXPECT_STREQ("7", CallWith(reloaded, "Add", {"Container"}));
  six = reloaded->FindChild("6");
  ASSERT_NE(nullptr, six);
  EXPECT_STREQ("six", six->GetProperty("title"));
}

TEST_F(INContainerTest, IdsContinueAfterReload) {
  for (const char* type_name : {"NSet", "NList", "List"}) {
    Reload();
    IObject* set = root_->CreateChild(type_name, type_name);
    ASSERT_NE(nullptr, set) << type_name;
    CallWith(set, "Add", {"Object"});
    CallWith(set, "Add", {"Object"});
    CallWith(set, "Remove", {"2"});
    set->SetProperty("keep", "x");  // stores a plain List in its own file
    ASSERT_TRUE(root_->Commit()) << type_name;
    IObject* back = Reload().FindChild(type_name);
    ASSERT_NE(nullptr, back) << type_name;
    EXPECT_STREQ("3", CallWith(back, "Add", {"Object"})) << type_name;
  }
}

TEST_F(INContainerTest, UntouchedNListKeepsItsIds) {
  Store("l/index", "object l : NList\n _lastid=2\n _item=1\n _item=2\nend\n");
  IObject* list = root_->FindChild("l");
  ASSERT_NE(nullptr, list);
  list->SetModified(true);  // marked without being asked anything
  ASSERT_TRUE(root_->Commit());
  EXPECT_EQ("object l : NList\n _lastid=2\n _item=1\n _item=2\nend\n", ReadFile(Data("l/index")));
}

// A child saved alone by another process comes as a finished temporary
// file; the commit that takes it renames it into place, while a leftover
// of a killed save beside it is removed.
TEST_F(INContainerTest, AFileSavedElsewhereIsRenamedWithTheCommit) {
  struct HSaver : INContainer {
    using INContainer::INContainer;
    using INContainer::SaveChildAlone;
  };
  Store("stats/index", "object stats : NContainer\nend\n");
  std::vector<std::pair<std::string, std::string>> handed;
  {
    HSaver other("stats", 0);
    other.SetDirectory("data/");
    IObject* day = other.CreateChild("day", "Container");
    day->SetProperty("hits", "3");
    HCommitBatch batch;
    ASSERT_TRUE(other.SaveChildAlone(day));
    handed = batch.HandOver();
  }
  ASSERT_EQ(1u, handed.size());
  EXPECT_TRUE(Exists("stats/day.Tmp"));  // neither renamed nor removed by its own batch
  Store("stats/stray.Tmp", "killed");
  root_->FindChild("stats")->SetProperty("unit", "1");
  HCommitBatch commit;
  commit.Add(handed[0].first.c_str(), handed[0].second.c_str());
  ASSERT_TRUE(root_->Commit());
  ASSERT_TRUE(commit.Apply());
  EXPECT_EQ("./stats\n./stats/day\n./stats/index\n", Listing());
  EXPECT_EQ("object day : Container\n hits=3\nend\n", ReadFile(Data("stats/day")));
}

TEST_F(INContainerTest, RemovedChildrenAreDeletedAtCommit) {
  Store("old", "object old : Container\nend\n");
  Store("tree/index", "object tree : NContainer\nend\n");
  Store("tree/leaf", "object leaf : Container\nend\n");
  Store("tree/deep/index", "object deep : NContainer\nend\n");
  Store("keep", "object keep : Container\nend\n");
  root_->FindChild("tree");
  CallWith(root_.get(), "Remove", {"OLD"});  // never loaded
  CallWith(root_.get(), "Remove", {"Tree"});  // loaded
  CallWith(root_.get(), "Remove", {"never-stored"});
  EXPECT_EQ(nullptr, root_->FindChild("tree"));  // not read back from its file
  EXPECT_EQ(nullptr, root_->FindChild("old"));
  EXPECT_TRUE(Exists("old"));  // nothing happens before the commit
  ASSERT_TRUE(root_->Commit());
  EXPECT_EQ("./index\n./keep\n", Listing());
  ASSERT_TRUE(root_->Commit());  // again, with everything already gone
  EXPECT_EQ("./index\n./keep\n", Listing());
}

TEST_F(INContainerTest, RemovedNListElementIsDeletedAndNotSavedAgain) {
  Store("l/index", "object l : NList\n _lastid=2\n _item=1\n _item=2\nend\n");
  Store("l/1", "object 1 : Container\n t=one\nend\n");
  Store("l/2", "object 2 : Container\n t=two\nend\n");
  IObject* list = root_->FindChild("l");
  IObject* element = list->FindChild("1");
  ASSERT_NE(nullptr, element);
  element->SetProperty("t", "changed");
  CallWith(list, "Remove", {"1"});
  EXPECT_STREQ("changed", element->GetProperty("t"));  // still usable in this request
  ASSERT_TRUE(root_->Commit());
  ASSERT_TRUE(root_->Commit());
  EXPECT_FALSE(Exists("l/1"));
  EXPECT_EQ("object l : NList\n _lastid=2\n _item=2\nend\n", ReadFile(Data("l/index")));
}

TEST_F(INContainerTest, ChildMadeAnewAfterRemovalSurvives) {
  Store("box/index", "object box : NContainer\nend\n");
  Store("box/stale", "object stale : Container\nend\n");
  CallWith(root_.get(), "Remove", {"box"});
  IObject* box = root_->CreateChild("box", "NContainer");
  ASSERT_NE(nullptr, box);
  box->SetProperty("fresh", "1");
  ASSERT_TRUE(root_->Commit());
  EXPECT_EQ("./box\n./box/index\n./index\n", Listing());
  EXPECT_STREQ("1", Reload().FindChild("box")->GetProperty("fresh"));
}

TEST_F(INContainerTest, NamesThatLeaveTheDirectoryAreNeverPaths) {
  WriteFile(home_ / "secret", "object secret : Container\n x=1\nend\n");
  Store("index", "object  : NContainer\n p=1\nend\n");
  Store("sub/index", "object sub : NContainer\nend\n");
  Store("sub/x", "object ../../secret : Container\nend\n");  // a name from the file
  const char* bad_names[] = {"../secret", "..", ".", "", "a/b", "a\\b", "/abs", "INDEX", "index"};
  for (const char* name : bad_names) {
    EXPECT_EQ("ErrorCreate", RaisedBy([&] { CallWith(root_.get(), "Add", {name, "Container"}); })) << name;
    EXPECT_EQ("ErrorCreate", RaisedBy([&] { CallWith(root_.get(), "Add", {name, "NContainer"}); })) << name;
    EXPECT_EQ(nullptr, root_->FindChild(name)) << name;
    CallWith(root_.get(), "Remove", {name});
  }
  IObject* sub = root_->FindChild("sub");
  ASSERT_NE(nullptr, sub);
  EXPECT_EQ(nullptr, sub->FindChild("x"));
  CallWith(sub, "Remove", {"../index"});
  root_->SetModified(false);
  ASSERT_TRUE(root_->Commit());
  EXPECT_EQ("object secret : Container\n x=1\nend\n", ReadFile(home_ / "secret"));
  EXPECT_EQ("object  : NContainer\n p=1\nend\n", ReadFile(Data("index")));
  EXPECT_EQ("./index\n./sub\n./sub/index\n./sub/x\n", Listing());
}

TEST_F(INContainerTest, FailedWriteOrSyncKeepsOldFilesAndSkipsDeletion) {
  for (file_faults::Op op : {file_faults::kWrite, file_faults::kSync}) {
    Store("a", "object a : Container\n v=old\nend\n");
    Store("gone", "object gone : Container\nend\n");
    Reload().FindChild("a")->SetProperty("v", std::string(4096, 'n').c_str());
    CallWith(root_.get(), "Remove", {"gone"});
    file_faults::Reset();
    file_faults::FailNth(op, 1, ENOSPC);  // a full disk
    const bool committed = root_->Commit();
    file_faults::Reset();
    EXPECT_FALSE(committed) << op;
    EXPECT_EQ("object a : Container\n v=old\nend\n", ReadFile(Data("a"))) << op;
    EXPECT_TRUE(Exists("gone")) << op;  // a failed save deletes nothing
    EXPECT_EQ("./a\n./gone\n", Listing()) << op;  // no temporary file left
    EXPECT_TRUE(root_->Commit()) << op;  // room again
    EXPECT_EQ(std::string::npos, ReadFile(Data("a")).find("old")) << op;
    EXPECT_FALSE(Exists("gone")) << op;
  }
}

// A rename that fails in the middle of a batch: the files renamed before it
// are in place, whole; the later ones keep their old content, and none of
// their temporary files stays behind.
TEST_F(INContainerTest, ARenameFailingMidBatchStopsTheRest) {
  const char* names[] = {"b1", "b2", "b3"};
  for (const char* name : names) Store(name, std::string("object ") + name + " : Container\n v=old\nend\n");
  Reload();
  for (const char* name : names) root_->FindChild(name)->SetProperty("v", "new");
  file_faults::Reset();
  file_faults::FailNth(file_faults::kRename, 2, EIO);
  const bool committed = root_->Commit();
  file_faults::Reset();
  EXPECT_FALSE(committed);
  int renamed = 0;
  for (const char* name : names) {
    const std::string text = ReadFile(Data(name));
    const std::string old_text = std::string("object ") + name + " : Container\n v=old\nend\n";
    if (text != old_text) {
      EXPECT_EQ(0, renamed) << "only the first rename went through";
      EXPECT_EQ(std::string("object ") + name + " : Container\n v=new\nend\n", text);
      ++renamed;
    }
  }
  EXPECT_EQ(1, renamed);
  EXPECT_EQ("./b1\n./b2\n./b3\n", Listing());
}

// A crash after a commit: whatever was never synced is lost, yet every
// object is whole, old or new.
TEST_F(INContainerTest, DroppedUnsyncedDataLeavesEveryObjectWhole) {
  Store("x", "object x : Container\n v=old\nend\n");
  Store("y", "object y : Container\n v=old\nend\n");
  Reload().FindChild("x")->SetProperty("v", std::string(100000, 'x').c_str());
  root_->FindChild("y")->SetProperty("v", "new");
  root_->CreateChild("z", "Container")->SetProperty("v", "new");
  file_faults::TrackUnsynced();
  ASSERT_TRUE(root_->Commit());
  file_faults::DropUnsynced();
  Reload();
  for (const char* name : {"x", "y", "z"}) {
    IObject* child = root_->FindChild(name);
    ASSERT_NE(nullptr, child) << name;
    const std::string value = child->GetProperty("v") == nullptr ? "" : child->GetProperty("v");
    EXPECT_TRUE(value == "old" || value == "new" || value == std::string(100000, 'x')) << name;
    EXPECT_EQ("end\n", ReadFile(Data(name)).substr(ReadFile(Data(name)).size() - 4)) << name;
  }
}

// A commit is all or nothing: one file that cannot be written, and none of
// the others replaces what was stored; no temporary file stays behind.
TEST_F(INContainerTest, AFailureOfOneChildSavesNothing) {
  Store("first", "object first : Container\n x=old\nend\n");
  root_->FindChild("first")->SetProperty("x", "1");
  root_->CreateChild("blocked", "NContainer")->SetProperty("x", "1");
  root_->CreateChild("last", "Container")->SetProperty("x", "1");
  Store("blocked", "a file where a directory must go\n");
  EXPECT_FALSE(root_->Commit());
  EXPECT_EQ("object first : Container\n x=old\nend\n", ReadFile(Data("first")));
  EXPECT_FALSE(Exists("last"));
  EXPECT_FALSE(Exists("index"));
  EXPECT_EQ("blocked\nfirst\n", CaptureStdout([&] { Shell("ls '" + Data("") + "'"); }));
}

TEST_F(INContainerTest, MissingParentDirectoryFailsTheSave) {
  INContainer deep("", 0);
  deep.SetDirectory("no/such/dir/");  // directories are made one level at a time
  deep.SetProperty("x", "1");
  EXPECT_FALSE(deep.Commit());
  INContainer unattached("loose", 0);
  EXPECT_TRUE(unattached.SaveFiles());  // nothing to write
  unattached.SetProperty("x", "1");
  EXPECT_FALSE(unattached.SaveFiles());  // changes, but no place for them
  EXPECT_EQ("", CaptureStdout([&] { Shell("ls -A '" + home_.Path() + "'"); }));
}

TEST_F(INContainerTest, ReplacedFileKeepsItsPermissions) {
  Store("admin", "object admin : Container\nend\n");
  chmod(Data("admin").c_str(), 0600);
  root_->FindChild("admin")->SetProperty("_md5", "abc");
  ASSERT_TRUE(root_->Commit());
  struct stat info;
  ASSERT_EQ(0, stat(Data("admin").c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777);
}

TEST(RemoveTreeTest, RemovesLinksNotWhatTheyPointAt) {
  ScratchDir dir;
  WriteFile(dir / "outside", "x");
  Shell("mkdir -p '" + (dir / "t/a/b") + "' && touch '" + (dir / "t/a/b/f") + "' && ln -s '" +
        dir.Path() + "' '" + (dir / "t/link") + "'");
  RemoveTree((dir / "t").c_str());
  EXPECT_FALSE(Exists((dir / "t").c_str()));
  EXPECT_EQ("x", ReadFile(dir / "outside"));
  RemoveTree((dir / "t").c_str());  // missing: nothing happens
}

}  // namespace
