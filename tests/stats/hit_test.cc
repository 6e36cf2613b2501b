#include "stats/hit.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "objects/object_stream.h"
#include "stats/vazivev.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

// `text` without the stamps (a blank and 16 hex digits) before each `end`.
std::string WithoutStamps(std::string text, char end) {
  for (size_t at = text.find(end); at != std::string::npos; at = text.find(end, at + 1)) {
    if (at >= 17 && text[at - 17] == ' ' &&
        text.find_first_not_of("0123456789abcdef", at - 16) == at) {
      text.erase(at - 17, 17);
      at -= 17;
    }
  }
  return text;
}

// `text` without the note that every day is counted as its file stands
// (HHit::CountAllDue), a hash: an entry ending in `end`, with its blank.
std::string WithoutNote(std::string text, char end) {
  const size_t at = text.find("AllDays=");
  if (at == std::string::npos) return text;
  const size_t begin = at > 0 && text[at - 1] == ' ' ? at - 1 : at;
  const size_t stop = text.find(end, at);
  return text.erase(begin, stop == std::string::npos ? std::string::npos : stop + 1 - begin);
}

// DumpParams without the stamps that follow each stored count.
std::string Counts(const HParams& params) { return WithoutNote(WithoutStamps(DumpParams(params), ';'), ';'); }

HDate Day(int yyyymmdd) {
  HDate date;
  date.SetNumber(yyyymmdd);
  return date;
}

std::string Common(const char* request) {
  return std::string("h.example.jp - - [05/Jan/1999:10:00:00 +0900] \"") + request + "\" 200 10\n";
}

// Label cells as the graphs write them.
std::string Label(const std::string& text) { return "  <td><font size=-1>" + text + "</font></td>\n"; }
std::string Empty(int n) {
  std::string cells;
  while (n-- > 0) cells += "  <td></td>\n";
  return cells;
}

// The caller's cells of a graph's label row, after its fixed head.
std::string Labels(const std::string& graph) {
  const std::string head = "  <td align=right valign=top><font size=-1>0</font></td>\n  <td></td>\n";
  const std::string tail = " </tr>\n</table>\n";
  const size_t from = graph.find(head);
  if (from == std::string::npos || graph.size() < from + head.size() + tail.size()) return "(no label row)";
  return graph.substr(from + head.size(), graph.size() - from - head.size() - tail.size());
}

// The row spans of the value columns' spacers, in column order.
std::vector<int> Spacers(const std::string& graph) {
  std::vector<int> spans;
  for (size_t at = graph.find("<td width="); at != std::string::npos; at = graph.find("<td width=", at + 1)) {
    if (graph.compare(at, 12, "<td width=1 ") != 0) spans.push_back(atoi(strstr(&graph[at], "rowspan=") + 8));
  }
  return spans;
}

class HHitTest : public ::testing::Test {
 protected:
  HHitTest() {
    mkdir((dir_ / "logs").c_str(), 0755);
    log_.SetToday(Day(19990401));
    SetCountBudget(-1);  // a test binary runs longer than one request's budget
  }
  // logs/QLyymmdd.log of that day with n counted lines.
  void WriteDay(int yyyymmdd, int n) {
    std::string text;
    while (n-- > 0) text += Common("GET /p.html HTTP/1.0");
    char name[32];
    snprintf(name, sizeof name, "logs/QL%06d.log", yyyymmdd % 1000000);
    WriteFile(dir_ / name, text);
  }
  HHit* Make(const char* name, const char* type) { return static_cast<HHit*>(log_.CreateChild(name, type)); }
  std::string Graph(IObject* object) {
    const char* color[] = {"red"};
    return CaptureStdout([&] { object->Call("Graph", 1, color); });
  }
  void Accumulate(IObject* object, const char* date) { object->Call("Accumulate", 1, &date); }

  ScratchDir dir_;
  FakeServer server_{dir_.Path()};
  HVaziVev log_{"vazivev"};
};

}  // namespace

TEST_F(HHitTest, CountsOfBothCountersOverBothLayoutsAndLongLines) {
  struct Case {
    const char* what;
    std::string text;
    const char* root_path;
    int hits;
    int roots;
  };
  const std::string rest = "h.example.jp - - [05/Jan/1999:10:00:00 +0900] \"GET ";
  const Case cases[] = {
      {"common layout",
       Common("GET / HTTP/1.0") + Common("GET /?x=1 HTTP/1.0") + Common("GET /index.html HTTP/1.0") +
           Common("GET /img/logo.GIF HTTP/1.0") + Common("GET /a.jpeg?x=1 HTTP/1.0") + Common("-") +
           Common("GET /INDEX.HTML HTTP/1.0") + Common("GET /a.png HTTP/1.0"),
       "", 5, 2},
      {"root path set", Common("GET / HTTP/1.0") + Common("GET /index.html HTTP/1.0") + Common("GET /INDEX.HTML"),
       "/Index.html", 3, 2},
      // The layout is that of the first line holding a space or a comma.
      {"comma layout",
       "junk\nh1, 99/01/05, 10:00:00, /, 200\nh2, 99/01/05, 10:00:01, /index.html, 200\n"
       "h3, 99/01/05, 10:00:02, /pic.jpg, 200\nh4, 99/01/05, 10:00:03, /b.html\r\nh5, 99/01/05, 10:00:04\n",
       "", 3, 1},
      // Only the first piece of an over-long line is judged: here an image,
      // then the top page, each followed by pieces that look like lines.
      {"long lines",
       rest + "/img.gif?" + std::string(1200, 'a') + " \"GET / HTTP/1.0\"\n" + rest + "/ HTTP/1.0\" " +
           std::string(1500, 'x') + " \"GET /p.html HTTP/1.0\"\n",
       "", 1, 1},
      // 1023 bytes with the line feed fill one daily read exactly; the
      // top-page read takes the line feed as a piece of its own.
      {"line at the limit", rest + "/a.html " + std::string(1023 - rest.size() - 9, 'y') + "\n" + Common("GET /"), "",
       2, 1},
      // A zero byte inside a line does not end it.
      {"zero byte", rest + std::string("/a\0b HTTP/1.0\"\n", 15) + Common("GET / HTTP/1.0"), "", 2, 1},
  };
  HHit* hits = Make("hits", "Hit");
  HHit* roots = Make("roots", "RootHit");
  const std::string file = dir_ / "day.log";
  for (const Case& c : cases) {
    WriteFile(file, c.text);
    log_.SetProperty("RootPath", c.root_path);
    EXPECT_EQ(c.hits, hits->CountHits(file.c_str())) << c.what;
    EXPECT_EQ(c.roots, roots->CountHits(file.c_str())) << c.what;
  }
  EXPECT_EQ(-1, hits->CountHits((dir_ / "missing.log").c_str()));
}

TEST_F(HHitTest, DayIsCountedOnceStoredNewestFirstAndMarksModified) {
  HHit* hits = Make("Hits", "Hit");
  ASSERT_NE(nullptr, hits);
  EXPECT_EQ("hits", std::string(hits->GetName()));
  EXPECT_EQ("RootHit", std::string(log_.CreateChild("top", "ROOTHIT")->GetTypeName()));
  WriteDay(19990105, 5);
  WriteDay(19990106, 6);
  WriteDay(19990107, 7);
  log_.SetModified(false);
  hits->SetModified(false);

  EXPECT_EQ("5", Text(hits->GetProperty("19990105")));
  EXPECT_TRUE(hits->IsModified());
  EXPECT_EQ("19990105", std::string(log_.Setting("SetDate")));
  EXPECT_EQ("7", Text(hits->GetProperty("19990107abc")));
  EXPECT_EQ("6", Text(hits->GetProperty("19990106")));
  EXPECT_EQ("19990107=7;19990106=6;19990105=5;", Counts(hits->Properties()));

  unlink((dir_ / "logs/QL990105.log").c_str());
  EXPECT_EQ("5", Text(hits->GetProperty("19990105")));
}

// A counted day whose file has changed since (late lines, an import) is
// counted again, and its month with it; one without a stamp (stored before
// stamps were kept) too. A day whose file is gone keeps its count.
TEST_F(HHitTest, DayIsCountedAgainWhenItsFileChanged) {
  HHit* hits = Make("hits", "Hit");
  WriteDay(19990105, 5);
  WriteDay(19990106, 6);
  hits->SetProperty("19990107", "9");  // no stamp, no file
  EXPECT_EQ("5", Text(hits->GetProperty("19990105")));
  EXPECT_EQ("20", Text(hits->FindChild("Total")->GetProperty("19990101")));
  hits->SetModified(false);
  EXPECT_EQ("5", Text(hits->GetProperty("19990105")));
  EXPECT_FALSE(hits->IsModified());

  WriteDay(19990105, 8);
  hits->SetProperty("19990106", "6");  // as stored before stamps
  log_.SetToday(Day(19990401));        // a new request lists the day files again
  EXPECT_EQ("8", Text(hits->GetProperty("19990105")));
  EXPECT_EQ("23", Text(hits->FindChild("Total")->GetProperty("19990101")));
  EXPECT_TRUE(hits->IsModified());
  EXPECT_EQ("19990107=9;19990106=6;19990105=8;", Counts(hits->Properties()));
  EXPECT_EQ("0", Text(hits->FindChild("Total")->GetProperty("Uncounted")));
  EXPECT_EQ("19990105", Text(hits->FindChild("Total")->GetProperty("From")));
}

TEST_F(HHitTest, NamesWithoutACountGiveNullAndStoreNothing) {
  HHit* hits = Make("hits", "Hit");
  log_.SetToday(Day(19990301));
  WriteDay(19990301, 1);
  WriteDay(19990302, 1);
  hits->SetProperty("Color", "red");
  hits->SetProperty("19990301", "9");  // stored, yet today (the clock went back)
  hits->SetModified(false);
  const char* names[] = {"19990231", "19990301", "19990302", "19990227", "SetDate",
                         "Color",    "Count",    "_lastid",  "",         "Total"};
  for (const char* name : names) EXPECT_EQ("(null)", Text(hits->GetProperty(name))) << name;
  EXPECT_EQ("Color=red;19990301=9;", DumpParams(hits->Properties()));
  EXPECT_FALSE(hits->IsModified());
}

TEST(HHitWindowTest, MonthWindowStart) {
  const int cases[][2] = {
      {20000315, 20000216}, {20000330, 20000301}, {20000331, 20000301}, {19990110, 19981211},
      {20000228, 20000129}, {19990301, 19990202}, {19990228, 19990201}, {19700115, 19700101},
  };
  for (const auto& c : cases) EXPECT_EQ(c[1], HHit::MonthWindowStart(Day(c[0])).Number()) << c[0];
}

TEST_F(HHitTest, DailyGraphsOfOneMonthWindows) {
  HHit* hits = Make("hits", "Hit");
  WriteDay(19990216, 3);
  WriteDay(19990301, 1);
  EXPECT_EQ("", Graph(hits));  // no window yet
  Accumulate(hits, "19990315");
  EXPECT_EQ("19990216", Text(hits->GetProperty("SetDate")));
  const std::string graph = Graph(hits);
  std::vector<int> spacers(28, 101);  // one row per hit: 3 on 16 Feb, 1 on 1 Mar
  spacers[0] = 98;
  spacers[13] = 100;
  EXPECT_EQ(spacers, Spacers(graph));
  EXPECT_NE(std::string::npos, graph.find("  <td width=15 rowspan=98><br></td>\n"));
  EXPECT_EQ(Label("16") + Empty(3) + Label("20") + Empty(8) + "  <td colspan=2><font size=-1>3/1</font></td>\n" +
                Empty(7) + Label("10") + Empty(4) + Label("15"),
            Labels(graph));
  EXPECT_EQ("19990301=1;19990216=3;", Counts(hits->Properties()));
  // Stored days are not read again.
  unlink((dir_ / "logs/QL990216.log").c_str());
  unlink((dir_ / "logs/QL990301.log").c_str());
  EXPECT_EQ(graph, Graph(hits));

  // Ending on a 1st, whose label has no 2nd to span; the 2nd without its
  // 1st gets a label of its own.
  Accumulate(hits, "19990301");
  const std::string to_first = Graph(hits);
  EXPECT_EQ(28u, Spacers(to_first).size());
  EXPECT_EQ(Label("2") + Empty(7) + Label("10") + Empty(9) + Label("20") + Empty(8) + Label("3/1"), Labels(to_first));

  Accumulate(hits, "19990231");
  EXPECT_EQ("", Graph(hits));
  EXPECT_EQ("(null)", Text(hits->GetProperty("SetDate")));
}

TEST_F(HHitTest, MonthTotalsAndTheirGraph) {
  HHit* hits = Make("hits", "Hit");
  const char* days[][2] = {{"19990203", "4"}, {"19990201", "1"}, {"19990115", "2"}, {"junk", "100"},
                           {"19981231", "5"}, {"19981201", "1"}, {"19981130", "7"}};
  for (const auto& d : days) hits->SetProperty(d[0], d[1]);
  IObject* total = hits->FindChild("TOTAL");
  ASSERT_NE(nullptr, total);
  EXPECT_EQ("5", Text(total->GetProperty("19990201")));
  EXPECT_EQ("6", Text(total->GetProperty("19981201")));
  EXPECT_EQ("(null)", Text(total->GetProperty("19990203")));

  const std::string graph = Graph(total);
  EXPECT_EQ((std::vector<int>{94, 95, 99, 96}), Spacers(graph));  // 7, 6, 2, 5 on a top of 7
  EXPECT_EQ(Label("1998/11") + Label("12") + Label("1999/1") + Label("2"), Labels(graph));

  // A day counted after the months were read joins its month.
  WriteDay(19990210, 2);
  log_.SetToday(Day(19990401));  // the day files are listed once per request
  EXPECT_EQ("2", Text(hits->GetProperty("19990210")));
  EXPECT_EQ("7", Text(total->GetProperty("19990201")));
}

TEST_F(HHitTest, StoredEntriesLoadBackInOrder) {
  HHit* hits = Make("Hits", "Hit");
  WriteDay(19990105, 5);
  WriteDay(19990107, 7);
  hits->GetProperty("19990105");
  hits->GetProperty("19990107");
  hits->FindChild("Total")->GetProperty("19990101");  // months exist but are not stored

  const std::string path = dir_ / "hits";
  HObjectStream out;
  ASSERT_TRUE(out.Open(path.c_str(), "w"));
  hits->Save(out);
  ASSERT_TRUE(out.Close());
  EXPECT_EQ("object hits : Hit\n 19990107=7\n 19990105=5\nend\n",
            WithoutNote(WithoutStamps(ReadFile(path), '\n'), '\n'));
  EXPECT_NE(WithoutStamps(ReadFile(path), '\n'), ReadFile(path));

  HObjectStream in;
  ASSERT_TRUE(in.Open(path.c_str(), "r"));
  ASSERT_TRUE(in.ReadHeader(true));
  IObject* back = log_.CreateObject(in.EntryName(), in.EntryValue());
  ASSERT_NE(nullptr, back);
  back->Load(in);
  EXPECT_EQ("Hit", std::string(back->GetTypeName()));
  EXPECT_EQ("19990107=7;19990105=5;", Counts(back->Properties()));
  unlink((dir_ / "logs/QL990107.log").c_str());
  EXPECT_EQ("7", Text(back->GetProperty("19990107")));
  back->Release();
}

// Once the count budget is spent, the days of the window wait for a later
// request (and say so); the window's last day, the one a page names, is
// still counted.
TEST_F(HHitTest, WindowDaysWaitOnceTheBudgetIsSpent) {
  HHit* hits = Make("hits", "Hit");
  WriteDay(19990310, 2);
  WriteDay(19990315, 3);
  Accumulate(hits, "19990315");
  SetCountBudget(0);
  EXPECT_EQ("3", Text(hits->GetProperty("19990315")));
  EXPECT_EQ("(null)", Text(hits->GetProperty("19990310")));
  EXPECT_EQ("1", Text(hits->GetProperty("Uncounted")));
  SetCountBudget(-1);
  EXPECT_EQ("2", Text(hits->GetProperty("19990310")));
}

// The months read no day's stamp while the note kept with the counter
// holds; a changed day file, or an entry gone, counts again.
TEST_F(HHitTest, MonthsFollowEveryChangeAfterTheNoteOfCountedDays) {
  WriteDay(19990105, 5);
  WriteDay(19990106, 6);
  const std::string path = dir_ / "hits";
  const auto months = [&](const std::string& edit_from, const std::string& edit_to) {
    HHit* hits = Make("hits", "Hit");
    HObjectStream in;
    if (in.Open(path.c_str(), "r") && in.ReadHeader(true)) hits->Load(in);
    const std::string total = Text(hits->FindChild("Total")->GetProperty("19990101"));
    HObjectStream out;
    EXPECT_TRUE(out.Open(path.c_str(), "w"));
    hits->Save(out);
    EXPECT_TRUE(out.Close());
    log_.RemoveChild("hits");
    std::string text = ReadFile(path);
    const size_t at = edit_from.empty() ? std::string::npos : text.find(edit_from);
    if (at != std::string::npos) WriteFile(path, text.replace(at, edit_from.size(), edit_to));
    return total;
  };
  EXPECT_EQ("11", months("", ""));
  EXPECT_NE(std::string::npos, ReadFile(path).find(" AllDays="));
  EXPECT_EQ("11", months(" 19990106=6", " x19990106=6"));  // an entry gone
  EXPECT_EQ("11", months("", ""));
  WriteDay(19990106, 9);
  log_.SetToday(Day(19990401));  // a new request lists the day files again
  EXPECT_EQ("14", months("", ""));
}
