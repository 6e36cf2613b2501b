#include "stats/items.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "core/file.h"
#include "objects/object_stream.h"
#include "stats/count_budget.h"
#include "stats/item_container.h"
#include "stats/vazivev.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

std::string Common(const std::string& host, const std::string& path) {
  return host + " - - [05/Jan/1999:10:00:00 +0900] \"GET " + path + " HTTP/1.0\" 200 10\n";
}
std::string Comma(const std::string& host, const std::string& path) {
  return host + ", 99/01/05, 10:00:00, " + path + ", 200\n";
}
std::string Times(int n, const std::string& line) {
  std::string text;
  while (n-- > 0) text += line;
  return text;
}

// Every row of a walk as "name hit rate|"; the walk's value must be the Hit.
std::string Walk(IObject* ranking) {
  std::string rows;
  if (ranking == nullptr || !ranking->First()) return rows;
  IObject* current = ranking->FindChild("Current");
  while (const char* hit = ranking->NextName()) {
    EXPECT_EQ(Text(current->GetProperty("Hit")), hit);
    rows += Text(current->GetProperty("Name")) + " " + hit + " " + Text(current->GetProperty("Rate")) + "|";
  }
  return rows;
}

// Every row of a walk with what a page shows beside it, as
// "name hit share before change|".
std::string WalkCompared(IObject* ranking) {
  std::string rows;
  if (ranking == nullptr || !ranking->First()) return rows;
  IObject* current = ranking->FindChild("Current");
  while (const char* hit = ranking->NextName()) {
    rows += Text(current->GetProperty("Name")) + " " + hit + " " + Text(current->GetProperty("Share")) + " " +
            Text(current->GetProperty("Before")) + " " + Text(current->GetProperty("Change")) + "|";
  }
  return rows;
}

// A program directory whose data/ holds the analysis object with a domain
// and a page container; each NextRequest starts from the stored files.
class ItemsTest : public ::testing::Test {
 protected:
  ItemsTest() {
    for (const char* dir : {"logs", "data", "data/vazivev", "data/vazivev/domains", "data/vazivev/pages"}) {
      mkdir((dir_ / dir).c_str(), 0755);
    }
    WriteFile(dir_ / "data/vazivev/domains/index", "object domains : DomainsContainer\nend\n");
    WriteFile(dir_ / "data/vazivev/pages/index", "object pages : PagesContainer\nend\n");
    NextRequest();
  }
  HVaziVev& NextRequest(int today = 19990401, const char* lines = "100", const char* unit = "3") {
    if (log_) {
      EXPECT_TRUE(log_->Commit());
    }
    log_ = std::make_unique<HVaziVev>("vazivev");
    SetCountBudget(-1);  // a test binary runs longer than one request's budget
    log_->SetDirectory("data/");
    log_->LoadIndex();
    HDate day;
    day.SetNumber(today);
    log_->SetToday(day);
    log_->SetProperty("lines", lines);
    log_->SetProperty("Unit", unit);
    return *log_;
  }
  HItemsContainer* Domains() { return dynamic_cast<HItemsContainer*>(log_->FindChild("domains")); }
  HItemsContainer* Pages() { return dynamic_cast<HItemsContainer*>(log_->FindChild("pages")); }
  void WriteDay(int yyyymmdd, const std::string& text) {
    WriteFile(dir_ / ("logs/QL" + std::to_string(yyyymmdd % 1000000) + ".log"), text);
  }
  // A stored ranking without its stamp, which ends it as a nested header.
  std::string Stored(const std::string& relative) {
    const std::string text = ReadFile(dir_ / ("data/vazivev/" + relative));
    const size_t stamp = text.find(" object ");
    if (stamp == std::string::npos || text.compare(stamp + 24, 17, " : Stamp\n end\nend") != 0) return text;
    return text.substr(0, stamp) + "end\n";
  }
  bool IsStored(const std::string& relative) { return Exists((dir_ / ("data/vazivev/" + relative)).c_str()); }
  void Call(IObject* object, const char* method, std::vector<const char*> args) {
    object->Call(method, static_cast<int>(args.size()), args.data());
  }

  ScratchDir dir_;
  FakeServer server_{dir_.Path()};
  std::unique_ptr<HVaziVev> log_;
};

}  // namespace

// The buckets of these names were worked out apart from the code:
// HashString modulo 1000 is 650 for '/c', 648 for '/a' and '/fc', 53 for
// '/' + 0xA4 0xA2 (757 if bytes were unsigned) and 106 for '/x.html'.
TEST(HItemTableTest, FindsByNameAndIteratesBucketsNewestFirst) {
  HItemTable table;
  for (const char* name : {"/c", "/a", "/\xA4\xA2", "/fc", "/x.html"}) table.Add(name, 1);
  table.Add("/a", 2);
  table.Set("/c", 9);
  std::string order;
  for (HItemEntry* entry = table.First(); entry != nullptr; entry = table.Next()) {
    order += entry->name.CStr() + std::string("=") + std::to_string(entry->count) + " ";
  }
  EXPECT_EQ("/\xA4\xA2=1 /x.html=1 /fc=1 /a=3 /c=9 ", order);
  EXPECT_EQ(nullptr, table.Find("/b"));
  EXPECT_EQ(nullptr, table.Find("/A"));  // names are exact

  // Many names, some 200 to a bucket: each is found as itself, and the
  // ranking is the iteration order sorted stably by count.
  for (int i = 0; i < 200000; ++i) table.Add(("/p" + std::to_string(i)).c_str(), i % 7 + 1);
  std::vector<HItemEntry*> iterated;
  for (HItemEntry* entry = table.First(); entry != nullptr; entry = table.Next()) iterated.push_back(entry);
  std::stable_sort(iterated.begin(), iterated.end(), [](HItemEntry* a, HItemEntry* b) { return a->count > b->count; });
  std::vector<HItemEntry*> ranked(table.Count());
  table.Rank(ranked.data());
  EXPECT_EQ(200005u, iterated.size());
  EXPECT_TRUE(iterated == ranked);
  int wrong = 0;
  for (int i = 0; i < 200000; i += 7) {
    const std::string name = "/p" + std::to_string(i);
    const HItemEntry* entry = table.Find(name.c_str());
    if (entry == nullptr || entry->name.Compare(name.c_str()) != 0 || entry->count != i % 7 + 1) ++wrong;
  }
  EXPECT_EQ(0, wrong);
  table.Clear();
  EXPECT_EQ(0, table.Count());
  EXPECT_EQ(nullptr, table.First());
  EXPECT_EQ(nullptr, table.Find("/a"));
}

// Names a visitor builds from the pairs "aZ" and "b9" all share one value
// of HashString: they still fall in one bucket, newest first, and each is
// found as itself, also in a sum.
TEST(HItemTableTest, NamesSharingOneHashKeepTheirBucketOrder) {
  HItemTable table;
  std::vector<std::string> names;
  for (int bits = 0; bits < 1024; ++bits) {
    std::string name = "/";
    for (int i = 0; i < 10; ++i) name += (bits >> i & 1) != 0 ? "b9" : "aZ";
    names.push_back(name);
    table.Add(name.c_str(), bits + 1);
  }
  int wrong = 0;
  const HItemEntry* entry = table.First();
  const int bucket = entry->bucket;
  for (int i = 1023; i >= 0; --i, entry = table.Next()) {
    if (entry == nullptr || entry->name.Compare(names[i].c_str()) != 0 || entry->bucket != bucket) ++wrong;
  }
  EXPECT_EQ(0, wrong);
  HItemTable sum;
  sum.AddAll(table);
  sum.AddAll(table);
  for (int i = 0; i < 1024; ++i) {
    const HItemEntry* found = sum.Find(names[i].c_str());
    if (found == nullptr || found->count != 2 * (i + 1)) ++wrong;
  }
  EXPECT_EQ(0, wrong);
}

// Adding again to names met a moment ago: names alike in their length,
// their first and their last bytes, or only in their middle, each keep
// their own count and bytes, and a cleared table forgets them.
TEST(HItemTableTest, RepeatedAddsKeepEveryNameApart) {
  HItemTable table;
  std::vector<std::string> names = {"200", "304", "2000", "", "/abcdefgh", "/abcdefgi", "/abcdefghij"};
  for (int i = 0; i < 300; ++i) names.push_back("/same-head-" + std::to_string(i) + "-same-tail");
  for (int round = 1; round <= 3; ++round) {
    for (size_t i = 0; i < names.size(); ++i) {
      for (size_t again = 0; again <= i % 3; ++again) table.Add(names[i].c_str(), 1, static_cast<long long>(i));
    }
  }
  int wrong = 0;
  for (size_t i = 0; i < names.size(); ++i) {
    const HItemEntry* entry = table.Find(names[i].c_str());
    const int times = 3 * static_cast<int>(i % 3 + 1);
    if (entry == nullptr || entry->count != times || entry->bytes != times * static_cast<long long>(i)) ++wrong;
  }
  EXPECT_EQ(0, wrong);
  EXPECT_EQ(static_cast<int>(names.size()), table.Count());
  table.Clear();
  table.Add("200", 1);
  EXPECT_EQ(1, table.Count());
  EXPECT_EQ(1, table.Find("200")->count);
}

TEST_F(ItemsTest, DayRankingsRowsRatesLimitAndFilter) {
  struct Case {
    const char* what;
    bool domains;
    std::string day;
    const char* lines;
    const char* unit;
    const char* text;
    const char* rows;
  };
  const Case cases[] = {
      {"domains", true, Times(3, Common("a.b.c.jp", "/")) + Common("x.b.c.jp", "/") + Times(2, Common("10.0.0.1", "/")),
       "100", "3", "", "b.c.jp 4 100|10.0.0.1 2 50|"},
      {"rates truncate", false, Times(2, Common("h", "/c")) + Times(7, Common("h", "/a")) + Times(3, Common("h", "/b")),
       "100", "3", "", "/a 7 100|/b 3 42|/c 2 28|"},
      {"lines", false,
       Common("h", "/1") + Times(2, Common("h", "/2")) + Times(3, Common("h", "/3")) + Times(4, Common("h", "/4")) +
           Times(5, Common("h", "/5")),
       "2", "3", "", "/5 5 100|/4 4 80|"},
      {"no lines", false, Common("h", "/1"), "0", "3", "", ""},
      {"text", true,
       Times(5, Common("h.example.com", "/")) + Times(2, Common("a.b.c.jp", "/")) + Common("x.y.ne.jp", "/"), "100",
       "3", "jp", "b.c.jp 2 100|y.ne.jp 1 50|"},
      {"text is exact", true, Common("a.b.c.jp", "/"), "100", "3", "JP", ""},
      {"unit 4", true, Times(2, Common("www.a.example.com", "/")) + Common("a.b.c.d.jp", "/"), "100", "4", "",
       "a.example.com 2 100|b.c.d.jp 1 50|"},
      {"images", false, Common("h", "/a.gif") + Common("h", "/b.JPEG") + Common("h", "/c.png"), "100", "3", "",
       "/c.png 1 100|"},
      {"comma layout", true, Comma("a.b.c.jp", "/x") + Comma("10.1.2.3", "/y") + Comma("q.b.c.jp", "/z"), "100", "3",
       "", "b.c.jp 2 100|10.1.2.3 1 50|"},
  };
  int day = 19990101;
  for (const Case& c : cases) {
    NextRequest(19990401, c.lines, c.unit);
    WriteDay(++day, c.day);
    HItemsContainer* container = c.domains ? Domains() : Pages();
    ASSERT_NE(nullptr, container);
    IObject* ranking = container->FindChild(std::to_string(day).c_str());
    ASSERT_NE(nullptr, ranking) << c.what;
    ranking->SetProperty("Text", c.text);
    EXPECT_EQ(c.rows, Walk(ranking)) << c.what;
  }
}

TEST_F(ItemsTest, EqualCountsFollowTheBuckets) {
  WriteDay(19990105, Common("h", "/c") + Common("h", "/a") + Common("h", "/\xA4\xA2") + Common("h", "/index.html") +
                         Common("h", "/fc") + Common("h", "/x.html") + Common("h", "/index.html"));
  const char* rows = "/index.html 2 100|/\xA4\xA2 1 50|/x.html 1 50|/fc 1 50|/a 1 50|/c 1 50|";
  EXPECT_EQ(rows, Walk(Pages()->FindChild("19990105")));
  NextRequest();
  unlink((dir_ / "logs/QL990105.log").c_str());
  EXPECT_EQ(rows, Walk(Pages()->FindChild("19990105")));  // stored in this order

  // Many ties: the sort keeps them in the table's order.
  std::string day = Times(2, Common("h", "/top"));
  for (int i = 0; i < 60; ++i) day += Common("h", "/p" + std::to_string(i));
  WriteDay(19990106, day);
  auto* ranking = dynamic_cast<HItemsHit*>(Pages()->FindChild("19990106"));
  ASSERT_NE(nullptr, ranking);
  std::string walked = Walk(ranking);
  std::string table = "/top 2 100|";
  for (HItemEntry* entry = ranking->Table().First(); entry != nullptr; entry = ranking->Table().Next()) {
    if (entry->count == 1) table += std::string(entry->name.CStr()) + " 1 50|";
  }
  EXPECT_EQ(table, walked);
}

// Whole per cents, halves away from zero, exact for any figures.
TEST(ChangeTextTest, RoundsHalvesAwayFromZero) {
  const struct {
    long long now, before;
    const char* text;
  } cases[] = {{0, 0, ""},       {5, 0, "new"},       {0, 5, "-100%"}, {150, 100, "+50%"},
               {100, 100, "0%"}, {1, 3, "-67%"},      {9, 8, "+13%"},  {1, 8, "-88%"},
               {7, 8, "-13%"},   {LLONG_MAX, 1, "+9223372036854775807%"}};
  for (const auto& c : cases) EXPECT_EQ(c.text, ChangeText(c.now, c.before)) << c.now << " / " << c.before;
}

TEST_F(ItemsTest, StoredDayReadsBackWithoutItsFile) {
  WriteDay(19990105, Times(4, Common("h", "/cgi/x=1")) + Times(2, Common("h", "/a=b=c")) + Common("h", "/x=") +
                         Times(3, Common("h", "/")) + Common("h", "/q?k=v"));
  IObject* day = Pages()->FindChild("19990105");
  EXPECT_EQ("5", Text(day->GetProperty("Count")));
  EXPECT_TRUE(day->IsModified());
  NextRequest();
  // Each path keeps the bytes its responses sent after its count.
  EXPECT_EQ(
      "object 19990105 : Pages\n =rows 5 total 11 size 55\n"
      " /cgi/x=1=4 40\n /=3 30\n /a=b=c=2 20\n /x==1 10\n /q=1 10\nend\n",
      Stored("pages/19990105"));
  // Its stamp, the day file's with the kind's, is read from the file's
  // last bytes alone.
  EXPECT_EQ(dynamic_cast<HItemsHit*>(Pages()->FindChild("19990105"))->StampFor(log_->DayStamp(HDate{1999, 1, 5})),
            HItemsHit::StoredStamp((dir_ / "data/vazivev/pages/19990105").c_str()));
  EXPECT_EQ("", HItemsHit::StoredStamp((dir_ / "data/vazivev/pages/index").c_str()));
  unlink((dir_ / "logs/QL990105.log").c_str());
  day = Pages()->FindChild("19990105");
  EXPECT_FALSE(day->IsModified());
  EXPECT_EQ("/cgi/x=1 4 100|/ 3 75|/a=b=c 2 50|/x= 1 25|/q 1 25|", Walk(day));
  EXPECT_EQ("5", Text(day->GetProperty("Count")));
  EXPECT_EQ("(null)", Text(day->GetProperty("19990105")));
  // Answers a page holds stay as they were while the walk moves on.
  ASSERT_TRUE(day->First());
  const char* hit = day->NextName();
  const char* name = day->FindChild("Current")->GetProperty("Name");
  const char* rate = day->FindChild("Current")->GetProperty("Rate");
  day->NextName();
  EXPECT_EQ("/cgi/x=1 4 100", Text(name) + " " + hit + " " + rate);

  // A busy page summed over years: the rate must not overflow.
  WriteFile(dir_ / "data/vazivev/pages/19990106", "object 19990106 : Pages\n /=40000000\n /a=30000000\nend\n");
  EXPECT_EQ("/ 40000000 100|/a 30000000 75|", Walk(Pages()->FindChild("19990106")));
}

// A stored ranking's header is trusted only while its line count matches
// every row: the shares then come from the header's total. Rows long
// enough that the count runs over many blocks of its sixteen-byte steps.
TEST_F(ItemsTest, LongStoredRankingIsTrustedOnlyWithEveryRow) {
  std::string rows = " /big=3000\n";
  for (int i = 0; i < 2999; ++i) rows += " /p" + std::to_string(i) + "=1\n";
  const auto stored = [&](int row_count, const std::string& body) {
    return "object 19990106 : Pages\n =rows " + std::to_string(row_count) + " total 3000 size " +
           std::to_string(body.size()) + "\n" + body + "end\n";
  };
  const auto first_share = [&]() {
    IObject* day = Pages()->FindChild("19990106");
    EXPECT_TRUE(day != nullptr && day->First() && day->NextName() != nullptr);
    return day == nullptr ? "" : Text(day->FindChild("Current")->GetProperty("Share"));
  };
  WriteFile(dir_ / "data/vazivev/pages/19990106", stored(3000, rows));
  EXPECT_EQ("100.0", first_share());  // the header's total
  NextRequest();
  // A line feed inside a name (a row joined to the next, the size kept):
  // the count no longer matches, and the rows' own sum is taken.
  std::string joined = rows;
  joined[joined.find("\n /p1500=1")] = 'x';
  WriteFile(dir_ / "data/vazivev/pages/19990106", stored(3000, joined));
  EXPECT_EQ("50.0", first_share());
}

// Names from the log that the stored format could not hold are never
// counted, the others read back as themselves, and the rest of the day
// stays intact. (A line that begins with a blank is read in the space
// layout, where it holds no request.)
TEST_F(ItemsTest, HostileNamesNeverBreakAStoredDay) {
  WriteDay(19990105, Times(3, Comma("ok.x.jp", "/")) + Times(2, Comma(" lead.x.jp", "/")) + Comma("cr\r.x.jp", "/") +
                         Comma("a=b.x.jp", "/") + Comma("object q : Domains", "/") + Comma("end", "/"));
  const char* rows = "ok.x.jp 3 100|cr\r.x.jp 1 33|end 1 33|";
  EXPECT_EQ(rows, Walk(Domains()->FindChild("19990105")));
  NextRequest();
  unlink((dir_ / "logs/QL990105.log").c_str());
  EXPECT_EQ(rows, Walk(Domains()->FindChild("19990105")));

  // Whatever a table holds, a name that would break its line is left out.
  HPagesHit pages("19990107", Pages());
  for (const char* name : {"/a\nb", "", "object x : Pages", "/ok", "/\rc"}) pages.Table().Set(name, 2);
  pages.SortItems();
  const std::string path = dir_ / "saved";
  HObjectStream out;
  ASSERT_TRUE(out.Open(path.c_str(), "w"));
  pages.Save(out);
  ASSERT_TRUE(out.Close());
  HObjectStream in;
  ASSERT_TRUE(in.Open(path.c_str(), "r") && in.ReadHeader(true));
  HPagesHit back("19990107", Pages());
  back.Load(in);
  EXPECT_EQ("2", Text(back.GetProperty("Count")));
  EXPECT_NE(nullptr, back.Table().Find("/ok"));
  EXPECT_NE(nullptr, back.Table().Find("/\rc"));
}

TEST_F(ItemsTest, MonthSumCreatesAndCountsMissingDays) {
  WriteDay(19990215, Times(9, Common("d.x.jp", "/")));  // the day before the window
  WriteDay(19990216, Times(2, Common("a.x.jp", "/")));
  WriteDay(19990315, Common("a.x.jp", "/") + Common("c.x.jp", "/"));
  WriteFile(dir_ / "data/vazivev/domains/19990301", "object 19990301 : Domains\n b.x.jp=5\nend\n");
  WriteFile(dir_ / "data/vazivev/domains/total", "object  : Domains\n old.jp=1\nend\n");
  HItemsContainer* domains = Domains();
  Call(domains, "Accumulate", {"19990315"});
  EXPECT_EQ("b.x.jp 5 100|a.x.jp 3 60|c.x.jp 1 20|", Walk(domains));
  domains->SetProperty("Text", "a.");
  EXPECT_EQ("a.x.jp 3 100|", Walk(domains));
  EXPECT_EQ("3", Text(domains->GetProperty("Count")));
  EXPECT_EQ("19990216", Text(domains->GetProperty("SetDate")));
  EXPECT_FALSE(IsStored("domains/total"));
  NextRequest();
  EXPECT_EQ("object 19990216 : Domains\n =rows 1 total 2 size 13\n a.x.jp=2 20\nend\n", Stored("domains/19990216"));
  EXPECT_TRUE(IsStored("domains/19990315"));
  EXPECT_FALSE(IsStored("domains/19990215"));
  EXPECT_FALSE(IsStored("domains/19990220"));  // no day file: nothing to store

  Call(Domains(), "Accumulate", {"19990231"});
  EXPECT_EQ("(null)", Text(Domains()->GetProperty("SetDate")));
  EXPECT_EQ("", Walk(Domains()));
}

TEST_F(ItemsTest, SumSinceTheFirstDayIsCachedInTotal) {
  log_->SetProperty("SetDate", "19990301");
  WriteFile(dir_ / "data/vazivev/domains/19990301", "object 19990301 : Domains\n a.x.jp=2\nend\n");
  WriteFile(dir_ / "data/vazivev/domains/19990302", "object 19990302 : Domains\n b.x.jp=3\nend\n");
  NextRequest(19990304);
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("b.x.jp 3 100|a.x.jp 2 66|", Walk(Domains()));
  EXPECT_EQ("19990301", Text(Domains()->GetProperty("SetDate")));
  EXPECT_EQ("object  : Domains\n =rows 2 total 5 size 20\n b.x.jp=3\n a.x.jp=2\nend\n", Stored("domains/total"));

  // Days later, unchanged: the cache answers, nothing is counted.
  NextRequest(19990306);
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("b.x.jp 3 100|a.x.jp 2 66|", Walk(Domains()));
  EXPECT_FALSE(Domains()->IsModified());

  // A new day file is counted into the sum, and a day whose file changed
  // is counted again: the cache follows the day files.
  WriteDay(19990304, Times(10, Common("c.x.jp", "/")));
  NextRequest(19990306);
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("c.x.jp 10 100|b.x.jp 3 30|a.x.jp 2 20|", Walk(Domains()));
  EXPECT_EQ("0", Text(Domains()->GetProperty("Uncounted")));
  NextRequest(19990306);
  WriteDay(19990304, Times(4, Common("c.x.jp", "/")));
  Call(Domains(), "Accumulate", {"19990302"});
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("c.x.jp 4 100|b.x.jp 3 75|a.x.jp 2 50|", Walk(Domains()));
  NextRequest(19990306);
  Call(Domains(), "Accumulate", {});  // now from the file
  EXPECT_EQ("c.x.jp 4 100|b.x.jp 3 75|a.x.jp 2 50|", Walk(Domains()));
  EXPECT_EQ("c.x.jp 4 100|", Walk(Domains()->FindChild("19990304")));

  // Out of count budget: the sum leaves the day out, says so, and is not
  // kept; the next request goes on.
  WriteDay(19990305, Times(7, Common("d.x.jp", "/")));
  NextRequest(19990306);
  SetCountBudget(0);
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("c.x.jp 4 100|b.x.jp 3 75|a.x.jp 2 50|", Walk(Domains()));
  EXPECT_EQ("1", Text(Domains()->GetProperty("Uncounted")));
  EXPECT_EQ("19990305", Text(Domains()->GetProperty("UncountedFrom")));
  NextRequest(19990306);
  SetCountBudget(-1);
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("d.x.jp 7 100|c.x.jp 4 57|b.x.jp 3 42|a.x.jp 2 28|", Walk(Domains()));

  // Without a stored first day the first day file gives it.
  log_->RemoveProperty("SetDate");
  unlink((dir_ / "data/vazivev/domains/total").c_str());
  Call(Domains(), "Accumulate", {});
  EXPECT_EQ("19990304", Text(Domains()->GetProperty("SetDate")));
  EXPECT_TRUE(IsStored("domains/total"));
}

TEST_F(ItemsTest, TotalIsNeverLeftHalfWritten) {
  log_->SetProperty("SetDate", "19990301");
  std::string day = "object 19990301 : Pages\n";
  for (int i = 0; i < 200; ++i) day += " /page" + std::to_string(i) + ".html=" + std::to_string(1000 - i) + "\n";
  WriteFile(dir_ / "data/vazivev/pages/19990301", day + "end\n");
  NextRequest(19990303);
  // A full disk: files may not grow past 100 bytes.
  struct rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = saved;
  limit.rlim_cur = 100;
  setrlimit(RLIMIT_FSIZE, &limit);
  Call(Pages(), "Accumulate", {});
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, old_handler);
  EXPECT_EQ("200", Text(Pages()->GetProperty("Count")));
  EXPECT_FALSE(IsStored("pages/total"));
  EXPECT_FALSE(IsStored("pages/total.Tmp"));
  NextRequest(19990303);
  Call(Pages(), "Accumulate", {});
  EXPECT_EQ("200", Text(Pages()->GetProperty("Count")));
  const std::string total = Stored("pages/total");
  EXPECT_NE(total, ReadFile(dir_ / "data/vazivev/pages/total"));  // with its stamp
  // Its rows as the day's, after the header that adds them up.
  EXPECT_EQ("\n =rows 200 total 180100 size 3691" + day.substr(day.find('\n')) + "end\n",
            total.substr(total.find('\n')));
}

TEST_F(ItemsTest, SqueezeSelectsByPathOrByDomain) {
  WriteDay(19990105, Times(2, Common("a.x.jp", "/index.html")) + Common("b.y.jp", "/INDEX.HTML") +
                         Times(5, Common("a.x.jp", "/other.html")) + Common("b.y.jp", "/other.html"));
  Call(Domains(), "Squeeze", {"19990105", "/index.html"});
  EXPECT_EQ("a.x.jp 2 100|b.y.jp 1 50|", Walk(Domains()));
  Call(Pages(), "Squeeze", {"19990105", "A.X.JP"});
  EXPECT_EQ("/other.html 5 100|/index.html 2 40|", Walk(Pages()));
  Call(Pages(), "Squeeze", {"19990105"});  // one argument: nothing changes
  EXPECT_EQ("2", Text(Pages()->GetProperty("Count")));
  Call(Pages(), "Squeeze", {"19990106", "a.x.jp"});  // no day file
  EXPECT_EQ("0", Text(Pages()->GetProperty("Count")));
  NextRequest();
  EXPECT_FALSE(IsStored("pages/19990105"));  // a cross-tabulation is not a day
}

TEST_F(ItemsTest, DaysAreNamedByTheirEightDigits) {
  struct Case {
    const char* name;
    const char* type;
    const char* made;  // "name : type", or "" for none
  };
  const Case cases[] = {
      {"19990105xyz", "Pages", "19990105 : Domains"}, {"19990105", "Object", "19990105 : Domains"},
      {"Extra", "DOMAINS", "extra : Domains"},        {"notes", "Object", "notes : Object"},
      {"19990231", "Domains", "19990231 : Domains"},  {"x", "Pages", ""},
  };
  for (const Case& c : cases) {
    IObject* made = Domains()->CreateObject(c.name, c.type);
    EXPECT_EQ(c.made, made == nullptr ? "" : std::string(made->GetName()) + " : " + made->GetTypeName()) << c.name;
    ReleaseObject(made);
  }
  EXPECT_EQ(nullptr, Domains()->FindChild("19990105xyz"));  // only the eight digits make a day
  EXPECT_EQ(nullptr, Domains()->FindChild("19990231"));
  ASSERT_NE(nullptr, Domains()->FindChild("19990105"));
  EXPECT_EQ(Domains()->FindChild("19990105"), Domains()->FindChild("19990105"));
  EXPECT_STREQ("PagesContainer", log_->CreateChild("more", "pagescontainer")->GetTypeName());
}

// A kind that counts by more than the day file (a rule list, the site's
// own hosts) counts the day again when that changes, and only then.
TEST_F(ItemsTest, ADayIsCountedAgainWhenWhatItsKindCountsByChanges) {
  class HStampedPages : public HPagesHit {
   public:
    using HPagesHit::HPagesHit;
    std::string KindStamp() override { return kind; }
    std::string kind = "list 1";
  };
  WriteDay(19990105, Times(2, Common("h", "/a")));
  HStampedPages day("19990105", Pages());
  EXPECT_TRUE(day.ComputeDay(false));
  EXPECT_TRUE(day.IsCurrentDay());
  EXPECT_FALSE(day.ComputeDay(false));
  day.kind = "list 2";
  EXPECT_FALSE(day.IsCurrentDay());
  EXPECT_TRUE(day.ComputeDay(false));
  EXPECT_NE(log_->DayStamp(HDate{1999, 1, 5}), day.Stamp());
  EXPECT_EQ(day.StampFor(log_->DayStamp(HDate{1999, 1, 5})), day.Stamp());
}

// A period of one stored day reads the day's rows as they lie, and the day
// before it is looked up where it lies: the page lists what a sum of those
// days lists, equal counts in the sum's order, with the same count, shares
// and comparison.
TEST_F(ItemsTest, OneStoredDayListsAsItsSum) {
  std::string before = Times(2, Common("h", "/top")) + Common("h", "/a=b");
  for (int i = 0; i < 40; ++i) before += Common("h", "/p" + std::to_string(i) + "=x");
  // '/a' and '/fc' share a bucket (648): equal counts there list the other
  // way round in a sum than in the day.
  std::string day =
      Times(3, Common("h", "/top")) + Times(2, Common("h", "/a=b")) + Common("h", "/a") + Common("h", "/fc");
  for (int i = 0; i < 80; ++i) day += Common("h", "/p" + std::to_string(i % 50) + "=x");
  WriteDay(19990105, before);
  WriteDay(19990106, day);
  EXPECT_EQ("42", Text(Pages()->FindChild("19990105")->GetProperty("Count")));
  EXPECT_EQ("54", Text(Pages()->FindChild("19990106")->GetProperty("Count")));
  EXPECT_EQ("1", Text(Domains()->FindChild("19990105")->GetProperty("Count")));
  EXPECT_EQ("1", Text(Domains()->FindChild("19990106")->GetProperty("Count")));
  NextRequest();
  // Two days, one of them without data: summed.
  Call(Pages(), "Range", {"19990106", "19990107"});
  Call(Pages(), "Previous", {"19990104", "19990105"});
  EXPECT_FALSE(Pages()->Result().HasTrustedHeader());
  const std::string summed = WalkCompared(Pages());
  EXPECT_EQ(0u, summed.find("/top 3 3.4 2 +50%|")) << summed;
  EXPECT_LT(summed.find("|/a 1 "), summed.find("|/fc 1 ")) << summed;
  for (const char* who : {"pages", "domains"}) {
    NextRequest();
    HItemsContainer* container = std::string(who) == "pages" ? Pages() : Domains();
    Call(container, "Range", {"19990106", "19990106"});
    Call(container, "Previous", {"19990105", "19990105"});
    EXPECT_TRUE(container->Result().HasTrustedHeader()) << who;
    EXPECT_EQ(std::string(who) == "pages" ? "54" : "1", Text(container->GetProperty("Count"))) << who;
    if (container == Pages()) {
      EXPECT_EQ(summed, WalkCompared(container));
    } else {
      EXPECT_EQ("h 87 100.0 43 +102%|", WalkCompared(container));
    }
  }
  // The day a page looks at while other parts of it read the same day.
  NextRequest();
  EXPECT_EQ("54", Text(Pages()->FindChild("19990106")->GetProperty("Count")));
  Call(Pages(), "Range", {"19990106", "19990106"});
  Call(Pages(), "Previous", {"19990105", "19990105"});
  EXPECT_EQ(summed, WalkCompared(Pages()));
}

// The header is taken only when the rows it describes are there as it
// says; otherwise they are counted as in a file without one, which an
// earlier version wrote and which reads as it always did, its shares
// counting the rows that keep bytes after their count.
TEST_F(ItemsTest, AStoredHeaderIsTakenOnlyWhenItsRowsMatch) {
  const std::string rows = " /=3 30\n /a=1 10\n";
  struct Case {
    const char* what;
    const char* header;
    bool trusted;
  };
  const Case cases[] = {
      {"no header", "", false},
      {"its header", " =rows 2 total 4 size 17\n", true},
      {"more rows than lines", " =rows 3 total 4 size 17\n", false},
      {"fewer rows than lines", " =rows 1 total 4 size 17\n", false},
      {"too short", " =rows 2 total 4 size 16\n", false},
      {"too long", " =rows 2 total 4 size 90\n", false},
      {"not numbers", " =rows two total 4 size 17\n", false},
      {"more after it", " =rows 2 total 4 size 17 x\n", false},
  };
  int day = 19990110;
  for (const Case& c : cases) {
    ++day;
    WriteFile(dir_ / ("data/vazivev/pages/" + std::to_string(day)),
              "object " + std::to_string(day) + " : Pages\n" + c.header + rows + "end\n");
    auto* ranking = dynamic_cast<HItemsHit*>(Pages()->FindChild(std::to_string(day).c_str()));
    ASSERT_NE(nullptr, ranking) << c.what;
    EXPECT_EQ(c.trusted, ranking->HasTrustedHeader()) << c.what;
    EXPECT_EQ("2", Text(ranking->GetProperty("Count"))) << c.what;
    EXPECT_EQ("/ 3 75.0 (null) (null)|/a 1 25.0 (null) (null)|", WalkCompared(ranking)) << c.what;
  }
  // A row that follows the header's rows is no row of the ranking.
  WriteFile(dir_ / "data/vazivev/pages/19990120",
            "object 19990120 : Pages\n =rows 1 total 3 size 8\n" + rows + "end\n");
  EXPECT_FALSE(dynamic_cast<HItemsHit*>(Pages()->FindChild("19990120"))->HasTrustedHeader());
  EXPECT_EQ("2", Text(Pages()->FindChild("19990120")->GetProperty("Count")));
}
