#include "stats/times.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "stats/aliases.h"
#include "stats/vazivev.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

HDate Day(int yyyymmdd) {
  HDate date;
  date.SetNumber(yyyymmdd);
  return date;
}

std::string Common(const char* time, const char* request) {
  return std::string("h.example.jp - - [05/Jan/1999:") + time + " +0900] \"" + request + "\" 200 10\n";
}

// Every hour's answer as "hour=count;" for the hours that answer.
std::string Hours(IObject* day) {
  std::string out;
  for (int hour = 0; hour < 24; ++hour) {
    const char* count = day->GetProperty(std::to_string(hour).c_str());
    if (count != nullptr) out += std::to_string(hour) + "=" + count + ";";
  }
  return out;
}

class HTimesTest : public ::testing::Test {
 protected:
  HTimesTest() {
    mkdir((dir_ / "logs").c_str(), 0755);
    log_.SetToday(Day(19990110));
    times_ = static_cast<HTimesContainer*>(log_.CreateChild("times", "TimesContainer"));
  }
  void WriteDay(int yyyymmdd, const std::string& text) {
    char name[32];
    snprintf(name, sizeof name, "logs/QL%06d.log", yyyymmdd % 1000000);
    WriteFile(dir_ / name, text);
  }
  IObject* Make(const char* name, const char* type = "Times") { return times_->CreateChild(name, type); }

  ScratchDir dir_;
  FakeServer server_{dir_.Path()};
  HVaziVev log_{"vazivev"};
  HTimesContainer* times_ = nullptr;
};

const char kThreeHours[] =
    "0=1;1=0;2=0;3=0;4=0;5=0;6=0;7=0;8=0;9=1;10=0;11=0;12=0;13=0;14=0;15=0;16=0;17=0;18=0;"
    "19=0;20=0;21=0;22=0;23=1;";

}  // namespace

TEST_F(HTimesTest, CountsPageRequestsByHourInBothLayouts) {
  const std::string rest = "h.example.jp - - [05/Jan/1999:09:59:00 +0900] \"GET /";
  const struct {
    const char* what;
    std::string text;
  } cases[] = {
      {"common", Common("00:10:00", "GET /a.html HTTP/1.0") + Common("09:59:59", "GET /?q=1 HTTP/1.0") +
                     Common("23:00:00", "GET /b HTTP/1.0") + Common("12:00:00", "GET /i.GIF HTTP/1.0") +
                     Common("13:00:00", "GET /p.jpeg?x HTTP/1.0") + Common("14:00:00", "-")},
      // The first line holds neither a space nor a comma; the next one
      // decides the layout.
      {"comma",
       "junk\nh1, 99/01/05, 0:10:00, /a.html, 200\nh2, 99/01/05, 09:59:00, /, 200\n"
       "h3, 99/01/05, 23:00:00, /b, 200\nh4, 99/01/05, 12:00:00, /c.jpg, 200\n"
       "h5, 99/01/05, 14:00:00\nh6, 99/01/05, x, /d, 200\n"},
      // Only the first piece of an over-long line is judged; the pieces
      // after it look like lines of other hours.
      {"long lines", Common("00:10:00", "GET /a HTTP/1.0") + rest + std::string(1100, 'a') + " " +
                         Common("15:00:00", "GET /c HTTP/1.0") + Common("23:00:00", "GET /b HTTP/1.0") + rest +
                         "i.gif?" + std::string(1100, 'b') + " " + Common("16:00:00", "GET /d HTTP/1.0")},
  };
  for (const auto& c : cases) {
    WriteDay(19990105, c.text);
    IObject* day = Make("19990105");
    ASSERT_NE(nullptr, day);
    EXPECT_EQ(kThreeHours, Hours(day)) << c.what;
    EXPECT_EQ(25, day->Properties().Count()) << c.what;  // and the day file's stamp
    EXPECT_TRUE(day->IsModified()) << c.what;
    times_->RemoveChild("19990105");
  }
}

TEST_F(HTimesTest, DaysThatAreNotCounted) {
  const std::string one = Common("10:00:00", "GET / HTTP/1.0");
  for (int day : {19990109, 19990110, 19990111}) WriteDay(day, one);
  EXPECT_EQ("(null)", Text(Make("19990111")->GetProperty("10")));  // after today
  IObject* today = Make("19990110");
  EXPECT_EQ("1", Text(today->GetProperty("10")));  // today is counted

  // Today's counts are left alone when its file grows; a past day is
  // counted again when its file is not the one counted.
  WriteDay(19990110, one + one);
  EXPECT_EQ("1", Text(today->GetProperty("10")));
  IObject* held = Make("19990109");
  held->SetProperty("Note", "kept");
  held->SetProperty("10", "5");
  EXPECT_EQ("1", Text(held->GetProperty("10")));
  EXPECT_EQ("kept", Text(held->GetProperty("Note")));

  // A missing day file is looked for again at the next read.
  IObject* missing = Make("19990108");
  EXPECT_EQ("", Hours(missing));
  EXPECT_FALSE(missing->IsModified());
  WriteDay(19990108, one);
  EXPECT_EQ("1", Text(missing->GetProperty("10")));
}

TEST_F(HTimesTest, ContainerMakesDaysByName) {
  const struct {
    const char* name;
    const char* type;
    const char* made;  // name and type of the result, or "(null)"
  } cases[] = {
      {"19990105", "Times", "19990105 Times"},
      {"19990105xyz", "Object", "19990105 Times"},  // a date wins over the type
      {"Day", "TIMES", "day Times"},
      {"note", "Object", "note Object"},
      {"19990231", "Object", "19990231 Object"},
      {"note", "Nothing", "(null)"},
  };
  for (const auto& c : cases) {
    IObject* made = times_->CreateObject(c.name, c.type);
    EXPECT_EQ(c.made, made == nullptr ? "(null)" : std::string(made->GetName()) + " " + made->GetTypeName()) << c.name;
    ReleaseObject(made);
  }
  EXPECT_EQ(19990105, static_cast<HTimesHit*>(Make("19990105"))->Day().Number());
}

TEST(HAliasesTest, FindGivesTheNumberOfTheFirstMatchingName) {
  ScratchDir dir;
  FakeServer server(dir.Path());
  HVaziVev log("vazivev");
  IObject* aliases = log.CreateChild("Aliases", "ALIASES");
  ASSERT_NE(nullptr, aliases);
  EXPECT_EQ("Aliases", std::string(aliases->GetTypeName()));
  const char* names[] = {"bar", "foo", "FOO", "\xC4", nullptr};
  for (const char* name : names) {
    const char* type[] = {"Object"};
    IObject* child = aliases->FindChild(aliases->Call("Add", 1, type));
    ASSERT_NE(nullptr, child);
    if (name != nullptr) child->SetProperty("Name", name);
  }
  const struct {
    const char* name;
    const char* found;
  } cases[] = {
      {"Foo", "2"},        // the first of 2 and 3
      {"BAR", "1"},        // upper case asks for lower
      {"\xE4", "(null)"},  // 32 apart, but not ASCII letters
      {"", "(null)"},      // child 5 has no Name at all
      {"fo", "(null)"},    // the whole name must match
  };
  for (const auto& c : cases) EXPECT_EQ(c.found, Text(aliases->Call("FIND", 1, &c.name))) << c.name;
  EXPECT_EQ("(null)", Text(aliases->Call("find", 0, nullptr)));
}
