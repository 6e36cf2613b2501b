#include "stats/agents.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "logread/ua_parser.h"
#include "stats/count_budget.h"
#include "stats/vazivev.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

namespace {

const char kFirefox[] = "Mozilla/5.0 (X11; Linux x86_64; rv:133.0) Gecko/20100101 Firefox/133.0";
const char kChrome[] =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/131.0.0.0 Safari/537.36";
const char kFirefoxWindows[] = "Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:133.0) Gecko/20100101 Firefox/133.0";

std::string Combined(const std::string& path, const std::string& agent, int status = 200) {
  return "h.example.com - - [05/Jan/1999:10:00:00 +0900] \"GET " + path + " HTTP/1.1\" " + std::to_string(status) +
         " 10 \"-\" \"" + agent + "\"\n";
}
std::string Times(int n, const std::string& line) {
  std::string text;
  while (n-- > 0) text += line;
  return text;
}

std::string Walk(IObject* ranking) {
  std::string rows;
  if (ranking == nullptr || !ranking->First()) return rows;
  IObject* current = ranking->FindChild("Current");
  while (const char* hit = ranking->NextName()) rows += std::string(current->GetProperty("Name")) + " " + hit + "|";
  return rows;
}

// A program directory with the two containers; each NextRequest starts
// from the stored files.
class AgentsTest : public ::testing::Test {
 protected:
  AgentsTest() {
    for (const char* dir : {"logs", "data", "data/vazivev", "data/vazivev/agents", "data/vazivev/systems"}) {
      mkdir((dir_ / dir).c_str(), 0755);
    }
    WriteFile(dir_ / "data/vazivev/agents/index", "object agents : AgentsContainer\nend\n");
    WriteFile(dir_ / "data/vazivev/systems/index", "object systems : SystemsContainer\nend\n");
    NextRequest();
  }
  void NextRequest() {
    if (log_) {
      EXPECT_TRUE(log_->Commit());
    }
    log_ = std::make_unique<HVaziVev>("vazivev");
    SetCountBudget(-1);
    log_->SetDirectory("data/");
    log_->LoadIndex();
    HDate day;
    day.SetNumber(19990401);
    log_->SetToday(day);
    log_->SetProperty("lines", "100");
  }
  IObject* Agents() { return log_->FindChild("agents"); }
  IObject* Systems() { return log_->FindChild("systems"); }

  ScratchDir dir_;
  FakeServer server_{dir_.Path()};
  std::unique_ptr<HVaziVev> log_;
};

}  // namespace

TEST_F(AgentsTest, StoredDaysAnswerWithoutReadingTheRules) {
  // Under ctest each test runs in a process of its own; run together, an
  // earlier test may have read the rules already.
  const bool fresh = !SharedAgentCache().IsLoadTried();
  WriteFile(dir_ / "data/vazivev/agents/19990105", "object 19990105 : Agents\n Chrome 131=5\n Firefox 133=2\nend\n");
  EXPECT_EQ("Chrome 131 5|Firefox 133 2|", Walk(Agents()->FindChild("19990105")));
  const char* argv[] = {"19990131"};
  Agents()->Call("Accumulate", 1, argv);
  EXPECT_EQ("Chrome 131 5|Firefox 133 2|", Walk(Agents()));
  if (fresh) {
    EXPECT_FALSE(SharedAgentCache().IsLoadTried());
  }
}

TEST_F(AgentsTest, PageRequestsWithAnAgentCountAndReadBack) {
  WriteFile(dir_ / "logs/QL990105.log", Times(3, Combined("/a.html", kChrome)) + Times(2, Combined("/", kFirefox)) +
                                            Combined("/b", kFirefoxWindows) + Combined("/i.gif", kChrome) +
                                            Combined("/c", "-") + Combined("/d", "") +
                                            "h - - [05/Jan/1999:10:00:00 +0900] \"GET /e HTTP/1.0\" 200 10\n");
  const std::string agents = "Chrome 131 3|Firefox 133 3|Other 2|";
  const std::string systems = "Windows 10 4|Linux 2|Other 2|";
  EXPECT_EQ(agents, Walk(Agents()->FindChild("19990105")));
  EXPECT_EQ(systems, Walk(Systems()->FindChild("19990105")));
  // A cross-tab: the systems of one browser, and the browsers of one system.
  const char* by_browser[] = {"19990105", "firefox 133"};
  Systems()->Call("Squeeze", 2, by_browser);
  EXPECT_EQ("Linux 2|Windows 10 1|", Walk(Systems()));
  const char* by_system[] = {"19990105", "Windows 10"};
  Agents()->Call("Squeeze", 2, by_system);
  EXPECT_EQ("Chrome 131 3|Firefox 133 1|", Walk(Agents()));
  NextRequest();
  unlink((dir_ / "logs/QL990105.log").c_str());
  EXPECT_EQ(agents, Walk(Agents()->FindChild("19990105")));
  EXPECT_EQ(systems, Walk(Systems()->FindChild("19990105")));
}
