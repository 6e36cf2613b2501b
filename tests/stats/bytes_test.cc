#include "stats/bytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <string>

#include "stats/vazivev.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

std::string Text(const char* p) { return p == nullptr ? "(null)" : p; }

std::string Size(long long bytes) {
  char text[32];
  FormatByteSize(bytes, text, sizeof text);
  return text;
}

HDate Day(int yyyymmdd) {
  HDate date;
  date.SetNumber(yyyymmdd);
  return date;
}

}  // namespace

TEST(FormatByteSizeTest, UnitsAndRoundingAtTheirEdges) {
  EXPECT_EQ("0 B", Size(-5));
  EXPECT_EQ("999 B", Size(999));
  EXPECT_EQ("1.0 kB", Size(1000));
  EXPECT_EQ("1.2 GB", Size(1249999999));
  EXPECT_EQ("1.3 GB", Size(1250000000));
  EXPECT_EQ("999.9 kB", Size(999949));
  EXPECT_EQ("1.0 MB", Size(999950));  // never "1000.0 kB"
  EXPECT_EQ("9.2 EB", Size(LLONG_MAX));
}

// The days, the months and their readable views of a "Bytes" counter past
// 2^31, beside a "Hit" whose months keep stopping at the largest int.
TEST(HBytesHitTest, ExactFiguresPastTheIntRange) {
  ScratchDir dir;
  FakeServer server{dir.Path()};
  mkdir((dir / "logs").c_str(), 0755);
  HVaziVev log{"vazivev"};
  log.SetToday(Day(19990401));
  SetCountBudget(-1);
  WriteFile(dir / "logs/QL990305.log",
            "h.jp - - [05/Mar/1999:10:00:00 +0000] \"GET /a HTTP/1.0\" 200 3000000000\n"
            "h.jp - - [05/Mar/1999:10:00:00 +0000] \"GET /b.gif HTTP/1.0\" 404 -\n"
            "h.jp - - [05/Mar/1999:10:00:00 +0000] \"GET /c HTTP/1.0\" 304\n"
            "h.jp, 99/03/05, 10:00:00, /d, 200\n"
            "{\"ts\":920628000,\"request\":{\"uri\":\"/e\"},\"status\":200,\"size\":7}\n"
            "no line at all 5\n");
  auto* bytes = static_cast<HHit*>(log.CreateChild("bytes", "Bytes"));
  EXPECT_EQ("3000000007", Text(bytes->GetProperty("19990305")));
  EXPECT_EQ("3.0 GB", Text(bytes->FindChild("Readable")->GetProperty("19990305")));
  bytes->SetProperty("19990306", "9223372036854775000 stamp");
  EXPECT_EQ(std::to_string(LLONG_MAX), Text(bytes->FindChild("Total")->GetProperty("19990301")));
  EXPECT_EQ("9.2 EB", Text(bytes->FindChild("TotalReadable")->GetProperty("19990301")));
  EXPECT_EQ("(null)", Text(bytes->FindChild("Readable")->GetProperty("19990307")));

  auto* hits = static_cast<HHit*>(log.CreateChild("hits", "Hit"));
  hits->SetProperty("19990201", "2147483000");
  hits->SetProperty("19990202", "1000");
  EXPECT_EQ("2147483647", Text(hits->FindChild("Total")->GetProperty("19990201")));
}
