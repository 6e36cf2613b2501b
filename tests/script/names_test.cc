#include "script/names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "objects/container.h"
#include "tests/script/script_fixture.h"

namespace {

std::string Text(const char* value) { return value == nullptr ? "(null)" : value; }

TEST(DatePartTest, FragmentsOfDatesTimesAndStamps) {
  struct Case { const char* value; const char* part; const char* result; };
  const Case cases[] = {
      {"19990105", "Year", "1999"},
      {"19990105", "month", "1"},               // no leading zero; any case
      {"19990105", "Day", "5"},
      {"19990105", "WDay", "\xB2\xD0"},          // a Tuesday
      {"19990103", "WDay", "\xC6\xFC"},          // a Sunday
      {"19990109", "WDay", "\xC5\xDA"},          // a Saturday
      {"19990229", "WDay", "(null)"},            // not a valid date
      {"19990105", "Hour", "19"},                // eight bytes: bytes 0-1
      {"0905", "Minute00", "05"},
      {"0905", "Minute", "5"},
      {"0905", "Second", "(null)"},              // too short for seconds
      {"090507", "Second00", "07"},
      {"19990105093000", "Hour", "9"},           // a stamp: bytes 8-9
      {"19990105093007", "Second00", "07"},
      {"1999010509300", "Hour", "19"},           // 13 bytes is no stamp yet
      {"abc", "Year", "(null)"},
      {"abcdefgh", "Year", "0"},
      {"1", "Hour", "(null)"},
      {"19990105", "Week", "(null)"},
      {"19990105", "", "(null)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.result, Text(DatePart(c.value, c.part))) << c.value << " " << c.part;
  }
}

using NamesTest = ScriptTest;

TEST_F(NamesTest, FormDateValue) {
  struct Field { const char* name; const char* value; };
  struct Case { std::vector<Field> fields; const char* result; };
  const Case cases[] = {
      {{{"start.Year", "1999"}, {"start.Month", "1"}, {"start.Day", "5"}}, "19990105"},
      {{{"start.Year", "1999"}, {"start.Month", "1"}, {"start.Day", "5"},
        {"start.Hour", "9"}, {"start.Minute", "30"}}, "199901050930"},
      {{{"start.Hour", "9"}, {"start.Minute", "5"}, {"start.Second", "7"}}, "090507"},
      {{{"start.Hour", "24"}}, "2400"},
      {{{"start.Year", "99"}, {"start.Month", "12"}, {"start.Day", "31"}}, "991231"},
      {{{"start.Year", "2000"}, {"start.Month", "13"}, {"start.Day", "1"}}, "(null)"},
      {{{"start.Year", "2000"}, {"start.Month", "2"}}, "(null)"},   // day 0
      {{{"start.Year", "x2000"}, {"start.Month", "1"}, {"start.Day", "1"}}, "(null)"},
      {{{"start.Hour", "25"}}, "(null)"},
      {{{"start.Hour", "9"}, {"start.Second", "60"}}, "(null)"},
      {{{"start.Hour", "-1"}}, "(null)"},
      {{{"start.x", "10"}, {"start.Year", "bad"}}, "1"},             // an image button
      {{{"start.Month", "1"}}, "(null)"},
  };
  for (const Case& c : cases) {
    server_.params.Clear();
    for (const Field& f : c.fields) Param(f.name, f.value);
    EXPECT_EQ(c.result, Text(FormDateValue("start"))) << c.result;
    EXPECT_EQ(c.result, Text(ResolveValue("start"))) << c.result;
  }
}

TEST_F(NamesTest, ResolveValueOrder) {
  IContainer* system = server_.System();
  system->SetProperty("sort", "by system");
  system->SetProperty("shown", "prop");
  IObject* box = Child("box", "Container");
  box->SetProperty("color", "red");
  box->SetProperty("when", "19990105");
  box->SetProperty("empty", "");
  IObject* inner = static_cast<IContainer*>(box)->CreateChild("inner", "Object");
  inner->SetProperty("size", "10");
  Param("sort", "name");
  Param("System.Count", "param");   // a dotted name tries the tree first
  Param("d", "19990105");
  Param("t", "0905");
  Param("key", "box");
  Param("prop", "color");
  Param("a.b", "dotted");
  Param("empty", "");
  struct Case { const char* name; const char* value; };
  const Case cases[] = {
      {"sort", "name"},
      {"shown", "prop"},             // no parameter: the system's property
      {"System.Count", "1"},
      {"System.box.color", "red"},
      {"box.color", "red"},
      {"box.$prop", "red"},          // the property named by a parameter
      {"box.$noprop", "(null)"},
      {"box.inner.size", "10"},
      {"box.when.Year", "1999"},     // a property taken apart as a date
      {"box.when.Hour00", "19"},
      {"box.empty.Year", "(null)"},
      {"box.nothing.Year", "(null)"},
      {"box.missing", "(null)"},
      {"System.$key.Count", "1"},
      {"System.$nokey.Count", "(null)"},
      {"d.Year", "1999"},
      {"d.WDay", "\xB2\xD0"},
      {"t.Minute00", "05"},
      {"a.b", "dotted"},
      {"empty.Year", "(null)"},
      {"missing", "(null)"},
      {"missing.Year", "(null)"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value, Text(ResolveValue(c.name))) << c.name;
}

TEST_F(NamesTest, ObjectsAndAliases) {
  IObject* box = Child("box", "Container");
  IObject* inner = static_cast<IContainer*>(box)->CreateChild("inner", "Object");
  IObject* other = Child("other", "Object");
  Param("k", "inner");
  struct Case { const char* name; IObject* object; };
  const Case cases[] = {
      {"System", server_.System()},
      {"SYSTEM", server_.System()},
      {"box", box},
      {"BOX", box},
      {"System.box", box},
      {"box.inner", inner},
      {"box.$k", inner},
      {"box.$nokey", nullptr},
      {"box.nothing", nullptr},
      {"nothing", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(c.object, ResolveObject(c.name)) << c.name;
  EXPECT_EQ(box, TokenObject("$box"));
  EXPECT_EQ(nullptr, TokenObject(nullptr));
  EXPECT_STREQ("literal", TokenValue("literal"));
  EXPECT_EQ(nullptr, TokenValue(nullptr));

  ObjectAliases.Bind("alias", inner);
  ObjectAliases.Bind("box", other);  // hidden by the system's child box
  EXPECT_EQ(inner, ResolveObject("ALIAS"));
  EXPECT_EQ(box, ResolveObject("box"));
  ObjectAliases.Bind("Alias", other);  // rebinding replaces, whatever the case
  EXPECT_EQ(other, ResolveObject("alias"));
  ObjectAliases.Unbind("aLias");
  EXPECT_EQ(nullptr, ResolveObject("alias"));
  ObjectAliases.Unbind("never bound");
}

TEST_F(NamesTest, WithoutSystemObjectOnlyParametersResolve) {
  Child("box", "Container");
  ObjectAliases.Bind("alias", server_.System());
  Param("p", "v");
  Param("d", "19990105");
  server_.has_system = false;
  EXPECT_STREQ("v", ResolveValue("p"));
  EXPECT_STREQ("1999", ResolveValue("d.Year"));
  EXPECT_EQ(nullptr, ResolveValue("box.Count"));
  EXPECT_EQ(nullptr, ResolveObject("System"));
  EXPECT_EQ(nullptr, ResolveObject("alias"));
  IServer* saved = CurrentServer;
  CurrentServer = nullptr;
  EXPECT_EQ(nullptr, ResolveValue("p"));
  EXPECT_EQ(nullptr, ResolveObject("System"));
  CurrentServer = saved;
}

}  // namespace
