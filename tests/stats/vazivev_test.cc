#include "stats/vazivev.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

}  // namespace

TEST(HVaziVevTest, UrlAndUnitRules) {
  struct Case { const char* name; const char* value; const char* stored; };
  const Case cases[] = {
      {"URL", "host/top/", "http://host"},
      {"URL", "http://www.example.jp/a/b", "http://www.example.jp"},
      {"URL", "http://host", "http://host"},
      {"url", "https://host/x", "https://host"},  // the scheme is kept
      {"URL", "https://www.example.org/", "https://www.example.org"},
      {"URL", "HTTPS://Host:8443/a", "HTTPS://Host:8443"},
      {"Unit", "1", "3"},
      {"UNIT", "5", "5"},
      {"Unit", "x", "3"},
      {"RootPath", "/Index.html", "/Index.html"},
  };
  for (const Case& c : cases) {
    HVaziVev log("vazivev");
    log.SetProperty(c.name, c.value);
    EXPECT_EQ(c.stored, Text(log.GetProperty(c.name))) << c.name << "=" << c.value;
  }
}

// Day files are found in the program's logs/, or by the web server's own
// pattern in the "Daily" mode; finding one changes nothing.
TEST(HVaziVevTest, DayFiles) {
  ScratchDir home;
  FakeServer server(home.Path());
  mkdir((home / "logs").c_str(), 0755);
  WriteFile(home / "logs/QL990305.log", "");
  HVaziVev log("vazivev");
  HDate date;
  HString name;
  date.SetNumber(19990305);
  EXPECT_TRUE(log.FindDayFile(name, date));
  EXPECT_EQ(home / "logs/QL990305.log", name.CStr());
  date.SetNumber(19990303);
  EXPECT_FALSE(log.FindDayFile(name, date));
  EXPECT_EQ("(null)", Text(log.GetProperty("SetDate")));
  EXPECT_FALSE(log.IsModified());

  log.SetProperty("Loging", "daily");
  log.SetProperty("DateFile", (home / "www-yymmdd.log").c_str());
  WriteFile(home / "www-990302.log", "");
  date.SetNumber(19990302);
  EXPECT_TRUE(log.FindDayFile(name, date));
  EXPECT_EQ(home / "www-990302.log", name.CStr());
}

// "SetDate" only ever moves back, and is read strictly: a text that is not
// exactly a date counts as no first day.
TEST(HVaziVevTest, TheFirstDayOnlyMovesBack) {
  HVaziVev log("vazivev");
  HDate date;
  date.SetNumber(19990305);
  log.MoveFirstDayBack(date);
  EXPECT_EQ("19990305", Text(log.GetProperty("SetDate")));
  EXPECT_TRUE(log.IsModified());
  date.SetNumber(19990310);
  log.MoveFirstDayBack(date);
  EXPECT_EQ("19990305", Text(log.GetProperty("SetDate")));
  date.SetNumber(19990301);
  log.MoveFirstDayBack(date);
  EXPECT_EQ(19990301, log.FirstDay().Number());

  log.SetProperty("SetDate", "19990301x");
  EXPECT_FALSE(log.FirstDay().IsValid());
  date.SetNumber(19990310);
  log.MoveFirstDayBack(date);
  EXPECT_EQ("19990310", Text(log.GetProperty("SetDate")));
}

// The rule is built once, and again after any of its settings changed or
// went; the program's path is noted only when it is one, and only once.
TEST(HVaziVevTest, PageRuleFollowsItsSettings) {
  HVaziVev log("vazivev");
  const std::string none = log.PageRule().Signature();
  EXPECT_EQ(none, Text(log.GetProperty("PageRuleSignature")));
  const char* const settings[][2] = {{"ASSETS", "css"}, {"Statuses", "200"}, {"exclude", "::1"}, {"ScriptPath", "/a"}};
  for (const auto& setting : settings) {
    log.SetProperty(setting[0], setting[1]);
    EXPECT_NE(none, log.PageRule().Signature()) << setting[0];
    log.RemoveProperty(setting[0]);
    EXPECT_EQ(none, log.PageRule().Signature()) << setting[0];
  }
  log.SetModified(false);
  log.NoteScriptPath("vazivev.cgi");
  EXPECT_FALSE(log.IsModified());
  log.NoteScriptPath("/cgi-bin/vazivev.cgi");
  EXPECT_TRUE(log.IsModified());
  EXPECT_TRUE(log.PageRule().IsScriptPath("/cgi-bin/vazivev.cgi", 20));
}

// Stored figures keep the stamps of their days: their text must never
// change, and must follow every setting they hold.
TEST(HVaziVevTest, DayStampsKeepTheirText) {
  ScratchDir home;
  FakeServer server(home.Path());
  mkdir((home / "logs").c_str(), 0755);
  const std::string path = home / "logs/QL990305.log";
  WriteFile(path, "line\n");
  HVaziVev log("vazivev");
  const HDate day{1999, 3, 5};
  const auto expected = [&](const char* geo, const char* shortened) {
    std::string stamp;
    AppendStampHash(FileStamp(path) + " " + Text(log.GetProperty("PageRuleSignature")) + " " + geo + shortened,
                    stamp);
    return stamp;
  };
  EXPECT_EQ(expected("", ""), log.DayStamp(day));
  log.SetProperty("Assets", "css js");
  log.SetProperty("GeoDatabase", "/nowhere.mmdb");
  EXPECT_EQ(expected("/nowhere.mmdb", ""), log.DayStamp(day));
  log.SetProperty("ShortAddresses", "1");
  EXPECT_EQ(expected("/nowhere.mmdb", " short"), log.DayStamp(day));
  EXPECT_EQ("", log.DayStamp(HDate{1999, 3, 6}));
}
