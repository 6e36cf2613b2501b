#include "stats/day_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace {

// The stamp as it was first written: printf's text of the size and the
// time of change, hashed.
std::string PrintedStamp(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return "";
  char text[96];
  snprintf(text, sizeof text, "%lld:%lld.%09ld", static_cast<long long>(info.st_size),
           static_cast<long long>(info.st_mtim.tv_sec), static_cast<long>(info.st_mtim.tv_nsec));
  std::string stamp;
  AppendStampHash(text, stamp);
  return stamp;
}

void SetTime(const std::string& path, time_t seconds, long nanoseconds) {
  const struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

}  // namespace

// Stored counts keep these stamps: their text must never change.
TEST(DayFilesTest, StampsKeepTheirText) {
  std::string hash;
  AppendStampHash("", hash);
  AppendStampHash("a", hash);
  EXPECT_EQ("cbf29ce484222325af63dc4c8601ec8c", hash);
  ScratchDir dir;
  const std::string path = dir / "f";
  WriteFile(path, std::string(12345, 'x'));
  for (const long nanoseconds : {0L, 5L, 123456789L, 999999999L}) {
    SetTime(path, 1700000000, nanoseconds);
    EXPECT_EQ(PrintedStamp(path), FileStamp(path)) << nanoseconds;
  }
  SetTime(path, 0, 0);
  EXPECT_EQ(PrintedStamp(path), FileStamp(path));
  EXPECT_EQ("", FileStamp(dir / "missing"));
}

// The folder is listed by name; whatever the folder does not list as a
// regular file is looked at, and the stamps are read when asked for.
TEST(DayFilesTest, ListsTheDaysByNameAndStampsThemWhenAsked) {
  ScratchDir dir;
  for (const char* name : {"QL990105.log", "QL990107.log", "QL990230.log", "QL990106.txt", "XL990108.log",
                           "QL99010.log", "QL990401.log"}) {
    WriteFile(dir / name, "line\n");
  }
  mkdir((dir / "QL990109.log").c_str(), 0755);                                            // a folder
  ASSERT_EQ(0, symlink((dir / "QL990105.log").c_str(), (dir / "QL990110.log").c_str()));  // a link to a file
  ASSERT_EQ(0, symlink((dir / "gone").c_str(), (dir / "QL990111.log").c_str()));          // to nothing
  HDayFiles files;
  files.Reset(dir / "QLyymmdd.log", HDate{1999, 4, 1});
  std::string days;
  for (const HDate& day : files.Days()) days += std::to_string(day.Number()) + " ";
  EXPECT_EQ("19990105 19990107 19990110 ", days);
  EXPECT_EQ(PrintedStamp(dir / "QL990107.log"), files.Stamp(HDate{1999, 1, 7}));
  EXPECT_EQ(PrintedStamp(dir / "QL990105.log"), files.Stamp(HDate{1999, 1, 10}));
  EXPECT_EQ("", files.Stamp(HDate{1999, 1, 9}));
  EXPECT_EQ("", files.Stamp(HDate{1999, 1, 6}));
  // Today is no complete day, but its file has a stamp.
  EXPECT_EQ(PrintedStamp(dir / "QL990401.log"), files.Stamp(HDate{1999, 4, 1}));
}

// A period looked up day by day finds exactly the days the listing finds.
TEST(DayFilesTest, APeriodLookedUpByNameFindsTheListedDays) {
  ScratchDir dir;
  for (const char* name : {"QL981231.log", "QL990105.log", "QL990107.log", "QL990106.txt", "QL990401.log"}) {
    WriteFile(dir / name, "line\n");
  }
  mkdir((dir / "QL990109.log").c_str(), 0755);
  ASSERT_EQ(0, symlink((dir / "QL990105.log").c_str(), (dir / "QL990110.log").c_str()));
  ASSERT_EQ(0, symlink((dir / "gone").c_str(), (dir / "QL990111.log").c_str()));
  const auto text = [](const std::vector<HDate>& days) {
    std::string out;
    for (const HDate& day : days) out += std::to_string(day.Number()) + " ";
    return out;
  };
  struct Case {
    HDate first, last;
    const char* days;
  };
  const Case cases[] = {
      {HDate{1999, 1, 1}, HDate{1999, 1, 31}, "19990105 19990107 19990110 "},
      {HDate{1998, 12, 31}, HDate{1999, 4, 30}, "19981231 19990105 19990107 19990110 "},  // today left out
      {HDate{1999, 1, 6}, HDate{1999, 1, 6}, ""},
      {HDate{1999, 1, 8}, HDate{1999, 1, 7}, ""},
      {HDate{1970, 1, 1}, HDate{2099, 12, 31}, "19981231 19990105 19990107 19990110 "},  // listed
  };
  for (const Case& c : cases) {
    HDayFiles looked_up;
    looked_up.Reset(dir / "QLyymmdd.log", HDate{1999, 4, 1});
    HDayFiles listed;
    listed.Reset(dir / "QLyymmdd.log", HDate{1999, 4, 1});
    listed.Days();
    EXPECT_EQ(c.days, text(looked_up.DaysIn(c.first, c.last))) << c.first.Number();
    EXPECT_EQ(c.days, text(listed.DaysIn(c.first, c.last))) << c.first.Number();
    std::string by_name;
    std::string by_listing;
    looked_up.AppendStampsIn(c.first, c.last, by_name);
    listed.AppendStampsIn(c.first, c.last, by_listing);
    EXPECT_EQ(by_listing, by_name) << c.first.Number();
    EXPECT_EQ(*c.days == 0, by_name.empty()) << c.first.Number();
  }
  EXPECT_TRUE(HDayFiles::IsShortPeriod(HDate{1999, 1, 1}, HDate{2000, 2, 4}));  // 400 days
  EXPECT_FALSE(HDayFiles::IsShortPeriod(HDate{1999, 1, 1}, HDate{2000, 2, 5}));
}

// The stamps of a period change with any of its days' files, and with
// nothing else.
TEST(DayFilesTest, APeriodsStampsFollowItsDaysFiles) {
  ScratchDir dir;
  for (const char* name : {"QL990105.log", "QL990107.log", "QL990201.log"}) WriteFile(dir / name, "line\n");
  const auto stamps = [&dir]() {
    HDayFiles files;
    files.Reset(dir / "QLyymmdd.log", HDate{1999, 4, 1});
    std::string text;
    files.AppendStampsIn(HDate{1999, 1, 1}, HDate{1999, 1, 31}, text);
    return text;
  };
  SetTime(dir / "QL990105.log", 1700000000, 0);
  const std::string first = stamps();
  SetTime(dir / "QL990201.log", 1700000000, 5);  // outside the period
  EXPECT_EQ(first, stamps());
  SetTime(dir / "QL990105.log", 1700000000, 1);
  const std::string touched = stamps();
  EXPECT_NE(first, touched);
  WriteFile(dir / "QL990105.log", "line\nline\n");
  SetTime(dir / "QL990105.log", 1700000000, 1);  // the same time, a longer file
  const std::string longer = stamps();
  EXPECT_NE(touched, longer);
  WriteFile(dir / "QL990110.log", "line\n");
  EXPECT_NE(longer, stamps());
  ASSERT_EQ(0, unlink((dir / "QL990110.log").c_str()));
  EXPECT_EQ(longer, stamps());
}
