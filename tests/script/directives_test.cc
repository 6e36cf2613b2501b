#include "script/directives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/container.h"
#include "tests/script/script_fixture.h"

namespace {

// A container that records the page methods called on it.
class HRecorder : public IContainer {
 public:
  HRecorder() : IContainer("recorder", 0) {}
  const char* Call(const char* method, int argc, const char* const* argv) override {
    std::string call = method;
    for (int i = 0; i < argc; ++i) call += std::string("|") + argv[i];
    calls.push_back(call);
    EXPECT_EQ(nullptr, argv[argc]);
    return "result";
  }
  std::vector<std::string> calls;
};

using DirectiveTest = ScriptTest;

TEST_F(DirectiveTest, InitSetsOnlyMissingVariables) {
  Render("'init $page = Top\n");
  EXPECT_STREQ("Top", Value("page"));
  server_.params.Clear();
  Param("page", "");
  Render("'init $page = Top\n");
  EXPECT_STREQ("", Value("page"));
  Param("src", "S");
  Render("'init $a = $src\n'init $b = $missing\n'init $c Top\n");
  EXPECT_STREQ("S", Value("a"));
  EXPECT_EQ(nullptr, Value("b"));
  EXPECT_EQ(nullptr, Value("c"));
}

TEST_F(DirectiveTest, Inc) {
  struct Case { const char* n; const char* line; const char* after; };
  const Case cases[] = {
      {"9", "'inc $n\n", "10"},
      {"2", "'inc $n 5\n", "7"},
      {"5", "'inc $n -1\n", "4"},
      {"2", "'inc $n $s\n", "5"},          // s = 3
      {"2", "'inc $n $missing\n", "3"},    // a step without value adds 1
      {"7x", "'inc n\n", "8"},             // atoi of the value
      {"abc", "'inc $n\n", "abc"},
      {"-3", "'inc $n\n", "-3"},           // a leading minus is never changed
      {"", "'inc $n\n", ""},
      {"2147483647", "'inc $n\n", "2147483647"},
      {"5", "'include $n\n", "6"},         // the keyword prefix rule
  };
  for (const Case& c : cases) {
    server_.params.Clear();
    Param("n", c.n);
    Param("s", "3");
    Render(c.line);
    EXPECT_STREQ(c.after, Value("n")) << c.line << " from " << c.n;
  }
  server_.params.Clear();
  Render("'inc $n\n");
  EXPECT_EQ(nullptr, Value("n"));
}

TEST_F(DirectiveTest, AssignmentsToVariablesAndProperties) {
  IObject* box = Child("box", "Object");
  Param("y", "Y");
  Param("x", "old");
  Param("key", "size");
  Render("'$x = $y\n'$lit = plain\n'$count = $System.Count\n"
         "'$box.color = red\n'$box.$key = 10\n'$box.$nokey = 1\n'$nobox.a = 1\n");
  EXPECT_STREQ("Y", Value("x"));
  EXPECT_STREQ("plain", Value("lit"));
  EXPECT_STREQ("1", Value("count"));
  EXPECT_STREQ("red", box->GetProperty("color"));
  EXPECT_STREQ("10", box->GetProperty("size"));
  EXPECT_EQ(nullptr, box->GetProperty("nokey"));
  Render("'$x = $missing\n'$lit = a b\n");  // no value removes the variable
  EXPECT_EQ(nullptr, Value("x"));
  EXPECT_EQ(nullptr, Value("lit"));
}

TEST_F(DirectiveTest, MethodCallsThroughNamesAndAliases) {
  IObject* list = Child("list", "List");
  Render("'$id = $list.Add Object\n'set $l = list\n'$id2 = $L.Add Object\n'$l.Add Object\n");
  EXPECT_STREQ("1", Value("id"));
  EXPECT_STREQ("2", Value("id2"));
  EXPECT_STREQ("3", list->GetProperty("Count"));
  Render("'$list.Remove 2\n");
  EXPECT_EQ(nullptr, list->FindChild("2"));
  EXPECT_STREQ("2", list->GetProperty("Count"));
  // A method that answers nothing still assigns an empty text.
  Render("'$r = $list.OrderUp 3\n");
  EXPECT_STREQ("", Value("r"));
  HScriptLet add("$list.Add NoSuchType");
  EXPECT_EQ("ErrorCreate", RaisedBy([&] { add.Execute(); }));
}

TEST_F(DirectiveTest, ArgumentsAreExpanded) {
  HRecorder recorder;
  server_.system_override = &recorder;
  Param("v", "X");
  Param("a.b", "dotted");
  Render("'AdminCheck $v x \"a $v b\" $missing pre$v$post $a.b! \"\"\n"
         "'Readme\n'Postal one\n'Write\n'LoginUser $System.Count\n");
  const std::vector<std::string> expected = {
      "AdminCheck|X|x|a X b||preXpost|dotted!|", "Readme", "Postal|one", "Write",
      "LoginUser|0"};
  EXPECT_EQ(expected, recorder.calls);
}

TEST(SplitTargetTest, LastPeriodSplits) {
  ScratchDir dir;
  HFakeServer server;
  IServer* saved = CurrentServer;
  CurrentServer = &server;
  IObject* box = server.System()->CreateChild("box", "Container");
  IObject* inner = static_cast<IContainer*>(box)->CreateChild("inner", "Object");
  struct Case { const char* token; IObject* object; const char* member; };
  const Case cases[] = {
      {"$box.Add", box, "Add"},
      {"$box.inner.x", inner, "x"},
      {"#box.x", box, "x"},        // the first byte is skipped whatever it is
      {"$.x", nullptr, ""},        // the period must be at index 2 or later
      {"$box.", nullptr, ""},      // and not the last byte
      {"$box", nullptr, ""},
      {"$nothing.x", nullptr, ""},
  };
  for (const Case& c : cases) {
    IObject* object = box;
    HString member("stale");
    EXPECT_EQ(c.object != nullptr, SplitTarget(c.token, &object, &member)) << c.token;
    EXPECT_EQ(c.object, object) << c.token;
    EXPECT_STREQ(c.member, member.CStr()) << c.token;
  }
  CurrentServer = saved;
}

TEST_F(DirectiveTest, SystemCommandsWithoutSuchMethodDoNothing) {
  EXPECT_EQ("a\nb\n", Render("a\n'Login now\n'Admin\nb\n"));
  server_.has_system = false;
  EXPECT_EQ("a\n", Render("a\n'Admin x\n"));
}

TEST_F(DirectiveTest, OptionsFromObjects) {
  IObject* colors = Child("colors", "Items");
  const char* items[] = {"red", "green", "blue"};
  for (const char* item : items) colors->Properties().AddItem(item);
  Param("c", "green");
  struct Case { const char* line; const char* out; };
  const Case cases[] = {
      {"'options $colors\n", "<option>red\n<option>green\n<option>blue\n"},
      {"'options colors\n", "<option>red\n<option>green\n<option>blue\n"},
      {"'options $c in $colors\n", "<option>red\n<option selected>green\n<option>blue\n"},
      {"'options $c IN $colors extra\n", "<option>red\n<option selected>green\n<option>blue\n"},
      {"'options $c of $colors\n", ""},
      {"'options $c in $nothing\n", ""},
      {"'options $missing in $colors\n", "<option>red\n<option>green\n<option>blue\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Render(c.line)) << c.line;
}

TEST_F(DirectiveTest, OptionsFromNumbers) {
  Param("m", "3");
  Param("h", "x");
  Param("two", "2");
  const std::string months = Render("'options $m in 1 to 12 unit _Month\n");
  EXPECT_EQ(
      "<option value=1>Jan\n<option value=2>Feb\n<option value=3 selected>Mar\n"
      "<option value=4>Apr\n<option value=5>May\n<option value=6>Jun\n"
      "<option value=7>Jul\n<option value=8>Aug\n<option value=9>Sep\n"
      "<option value=10>Oct\n<option value=11>Nov\n<option value=12>Dec\n",
      months);
  const std::string hours = Render("'options $h in 0 to 23 unit _hour\n");
  EXPECT_NE(std::string::npos, hours.find("<option value=0>am 12\n"));
  EXPECT_NE(std::string::npos, hours.find("<option value=11>am 11\n"));
  EXPECT_NE(std::string::npos, hours.find("<option value=12>pm 12\n"));
  EXPECT_NE(std::string::npos, hours.find("<option value=23>pm 11\n"));
  EXPECT_EQ(std::string::npos, hours.find("selected"));
  struct Case { const char* line; const char* out; };
  const Case cases[] = {
      {"'options $x in 0 to 10 unit _Minute step 5\n",
       "<option value=0>:00\n<option value=5>:05\n<option value=10>:10\n"},
      {"'options $x in 5 to 10 unit \xCA\xAC step 5\n",
       "<option value=5>05\xCA\xAC\n<option value=10>10\xCA\xAC\n"},
      {"'options $x in 9 to 10 unit \xC9\xC3\n",
       "<option value=9>09\xC9\xC3\n<option value=10>10\xC9\xC3\n"},
      {"'options $two in 1 to $two unit h\n", "<option value=1>1h\n<option value=2 selected>2h\n"},
      {"'options $x in 1 to 2 unit _Minute step 0\n", "<option value=1>:01\n<option value=2>:02\n"},
      {"'options $x in 1 to 2 step 5 x\n", "<option value=1>1\n<option value=2>2\n"},
      {"'options $x in 1 to 3 unit _Month step -1\n",
       "<option value=1>Jan\n<option value=2>Feb\n<option value=3>Mar\n"},
      {"'options $x in 11 to 13 unit _Month\n",
       "<option value=11>Nov\n<option value=12>Dec\n<option value=13>\n"},
      {"'options $x in 3 to 1\n", ""},
      {"'options $x in 1 until 3\n", ""},
      {"'options $x in 2147483646 to 2147483647\n",
       "<option value=2147483646>2147483646\n<option value=2147483647>2147483647\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.out, Render(c.line)) << c.line;
}

TEST_F(DirectiveTest, AutoLink) {
  struct Case { const char* value; const char* out; };
  const Case cases[] = {
      {"a\r\nb\r\n", "a\r<br>\nb\r<br>\n"},
      {"a\n\nb", "a<br>\n<br>\nb<br>\n"},
      {"see http://x/y <now>\n", "see <a href=\"http://x/y\">http://x/y</a> &lt;now&gt;<br>\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    server_.params.Clear();
    Param("v", c.value);
    EXPECT_EQ(c.out, Render("'autolink $v\n")) << c.value;
  }
  EXPECT_EQ("", Render("'autolink $missing\n'autolink\n"));
  EXPECT_EQ("plain<br>\n", Render("'autolink plain\n"));
}

TEST_F(DirectiveTest, ExitStopsLoopsAndThePage) {
  EXPECT_EQ("1\n2\n", Render("'for $i = 1 to 3\n$i\n'if $i = 2\n'exit\n'endif\n'next\nafter\n"));
  EXPECT_NE(0, run_result_);
  EXPECT_EQ("a\n", Render("a\n'exit now\nb\n"));
}

TEST_F(DirectiveTest, EncodeAndCharset) {
  Param("v", "\xA4\xA2 b<");
  Render("'encode $v\n'encode $missing\n");
  EXPECT_STREQ("%A4%A2 b<", Value("v"));
  EXPECT_EQ(nullptr, Value("missing"));
  // For a link: every byte but letters, digits and -_.~/ (a path chosen by
  // any visitor: quotes, markup, "&", "#", "?", "%", a blank).
  Param("p", "/a b/\"x'<&#?%=+~_-.\xA4");
  Render("'urlencode $p\n'urlencode missing\n");
  EXPECT_STREQ("/a%20b/%22x%27%3C%26%23%3F%25%3D%2B~_-.%A4", Value("p"));
  EXPECT_EQ(nullptr, Value("missing"));
  server_.params.Clear();
  Param("v", "<\xA4\xA2>");
  // Values are converted, before escaping; the template's own text is not.
  EXPECT_EQ("&lt;\xA4\xA2&gt;|&lt;\x82\xA0&gt;|<\x82\xA0>|\xA4\xA2|<\xA4\xA2>\n",
            Render("$v|\\\\\n'charset sjis\n$v|$_v|\xA4\xA2|\\\\\n'charset EUC\n$_v\n"));
  EXPECT_FALSE(SjisOutput);
  Render("'charset SJIS\n'charset\n");  // only the keyword changes nothing
  EXPECT_TRUE(SjisOutput);
  EXPECT_EQ("&lt;\xE3\x81\x82&gt;|<\xE3\x81\x82>|\xA4\xA2\n", Render("'charset Utf-8\n$v|$_v|\xA4\xA2\n"));
  EXPECT_FALSE(SjisOutput);
  Render("'charset euc\n");
  EXPECT_FALSE(Utf8Output);
}

// Texts from the log: shown through $_NAME once made readable, and carried
// by a link segment; an unset variable stays unset for the first.
TEST_F(DirectiveTest, ShowTextAndTextLink) {
  Param("p", "/caf%C3%A9&x");
  Param("q", "/caf%C3%A9&x");
  Param("l", "/\xC6\xFC");
  Render("'showtext p\n'showtext $q exact\n'showtext missing\n'textlink l\n'textlink none\n");
  EXPECT_STREQ("/caf&#233;&amp;x", Value("p"));
  EXPECT_STREQ("/caf%C3%A9&amp;x", Value("q"));
  EXPECT_EQ(nullptr, Value("missing"));
  EXPECT_STREQ("texthex=2FC6FC", Value("l"));
  EXPECT_STREQ("text=", Value("none"));
}

TEST_F(DirectiveTest, SetBindsAndUnbinds) {
  IObject* box = Child("box", "Object");
  box->SetProperty("color", "red");
  EXPECT_EQ("red|red\n", Render("'set $d = System.box\n$d.color|$D.color\n"));
  EXPECT_EQ(box, ObjectAliases.Find("d"));
  Render("'set $d = null\n");
  EXPECT_EQ(nullptr, ObjectAliases.Find("d"));
  Render("'set d = $box\n'set d = nothing\n");
  EXPECT_EQ(nullptr, ObjectAliases.Find("d"));
  Render("'set d == box\n'setting d = box\n");
  EXPECT_EQ(box, ObjectAliases.Find("d"));  // the second line is a set too
}

TEST_F(DirectiveTest, NumericFor) {
  Param("three", "3");
  struct Case { const char* line; const char* out; };
  const Case cases[] = {
      {"'for $i = 1 to 3\n", "1,2,3,"},
      {"'for $i = 3 to 1\n", "3,2,1,"},
      {"'for $i = 1 TO $three\n", "1,2,3,"},
      {"'for $i = 2 to 2\n", "2,"},
      {"'for $i = 1 to x\n", ""},
      {"'for $i = -1 to 1\n", ""},
      {"'for $i = 1 to $missing\n", ""},
      {"'for $i := 1 to 3\n", ""},
      {"'for $i = 1 until 3\n", ""},
      {"'for $i = 1 to\n", ""},
      {"'for $i = 2147483646 to 2147483647\n", "2147483646,2147483647,"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.out, Render(std::string(c.line) + "$i,\\\\\n'next\n")) << c.line;
  }
  Render("'for $i = 1 to 2\n'next\n");
  EXPECT_STREQ("2", Value("i"));  // the variable keeps the last value
  Render("'for $big = 1 to 100000\n'next\n");
  EXPECT_STREQ("100000", Value("big"));
}

TEST_F(DirectiveTest, EachFor) {
  Param("color", "red");
  Param("color", "green");
  Param("Color", "blue");
  IContainer* list = static_cast<IContainer*>(Child("list", "Container"));
  list->CreateChild("One", "Object");
  list->CreateChild("two", "Object");
  ObjectAliases.Bind("bound", list);
  struct Case { const char* line; const char* out; };
  const Case cases[] = {
      {"'for each $v in color\n", "1:red,2:green,3:blue,"},
      {"'for EACH v In $color\n", "1:red,2:green,3:blue,"},
      {"'for each $v in $list\n", "1:One,2:two,"},
      {"'for each $v in bound\n", "1:One,2:two,"},
      {"'for each $v in $nothing\n", ""},
      {"'for each $v of color\n", ""},
      {"'for each $v\n", ""},
      {"'for all $v in color\n", ""},  // no server here offers another source
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.out, Render(std::string(c.line) + "$index:$v,\\\\\n'next\n")) << c.line;
  }
  EXPECT_EQ("1:red,", Render("'for each $v in color\n$index:$v,\\\\\n'if $index = 1\n'exit\n'endif\n'next\nx\n"));
}

}  // namespace
