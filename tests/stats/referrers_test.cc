#include "stats/referrers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stats/vazivev.h"
#include "tests/objects/fake_server.h"
#include "tests/test_util.h"

// The site's own hosts come from "URL" and the aliases, whatever form an
// alias is written in, and the referrers from them are not counted; a
// changed "URL" is taken at once.
TEST(HReferrersHitTest, OwnHostsFromTheAddressAndTheAliasesAreLeftOut) {
  ScratchDir dir;
  FakeServer server(dir.Path());
  HVaziVev log("vazivev");
  log.SetProperty("URL", "www.Site.jp/top/");
  IObject* aliases = log.CreateChild("Aliases", "Aliases");
  ASSERT_NE(nullptr, aliases);
  for (const char* name : {"https://Mirror.site.jp:8443/x", "site.jp", ""}) {
    const char* type[] = {"Object"};
    IObject* alias = aliases->FindChild(aliases->Call("Add", 1, type));
    ASSERT_NE(nullptr, alias);
    alias->SetProperty("Name", name);
  }
  EXPECT_EQ((std::vector<std::string>{"www.site.jp", "mirror.site.jp", "site.jp"}), log.OwnHosts());

  const std::string file = dir.Path() + "/day.log";
  std::string text;
  for (const char* referrer : {"http://www.site.jp/a", "https://MIRROR.site.jp/", "http://site.jp:80/",
                               "http://blog.site.jp/", "http://other.co.jp/?a=b", "", "-"}) {
    text +=
        "h - - [05/Mar/1999:10:00:00 +0000] \"GET /p.html HTTP/1.0\" 200 1 \"" + std::string(referrer) + "\" \"a\"\n";
  }
  // An image is no page request; the common layout has no referrer.
  text += "h - - [05/Mar/1999:10:00:00 +0000] \"GET /i.gif HTTP/1.0\" 200 1 \"http://other.co.jp/\" \"a\"\n";
  text += "h - - [05/Mar/1999:10:00:00 +0000] \"GET /p.html HTTP/1.0\" 200 1\n";
  WriteFile(file, text);
  HReferrersContainer container("referrers", &log);
  HReferrersHit day("", &container);
  EXPECT_EQ(2, day.CountItems(file.c_str(), nullptr));
  ASSERT_EQ(2, day.Table().Count());
  EXPECT_EQ(1, day.Table().Find("site.jp")->count);  // blog.site.jp is another host
  EXPECT_EQ(1, day.Table().Find("other.co.jp")->count);

  log.SetProperty("URL", "http://elsewhere.jp");
  HReferrersHit again("", &container);
  EXPECT_EQ(3, again.CountItems(file.c_str(), nullptr));
  EXPECT_EQ(2, again.Table().Find("site.jp")->count);
}
