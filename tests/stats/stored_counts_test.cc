#include "stats/stored_counts.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/test_util.h"

namespace {

// A stored ranking as a file holds it: a head the reader has read, then
// the rows up to the end line.
const char kHead[] = "object  : Domains\n =rows 5 total 20 size 60\n";
const char kRows[] =
    " a.example=7 700\n b.example=5\n x=y=3\n a.example=4\n c.example=1\nend\n";

void SetTime(const std::string& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(0, utimensat(AT_FDCWD, path.c_str(), times, 0));
}

std::string Counts(const HStoredCounts& counts) {
  std::string text;
  for (const char* name : {"a.example", "b.example", "x=y", "x", "c.example", "missing", ""}) {
    text += std::to_string(counts.Find(name)) + " ";
  }
  return text;
}

}  // namespace

// A kept index answers as the rows indexed in memory do, without the
// ranking being read, until the file it was made from is replaced.
TEST(StoredCountsTest, AKeptIndexAnswersAsTheRowsDoWhileItsFileStays) {
  ScratchDir dir;
  const std::string path = dir / "r1";
  const std::string index = dir / "ir1";
  WriteFile(path, std::string(kHead) + kRows);
  HStoredCounts counts;
  ASSERT_TRUE(counts.Index(kRows, 0, true));
  const std::string expected = Counts(counts);
  EXPECT_EQ("4 5 3 0 1 0 0 ", expected);  // the last count of a name holds
  EXPECT_FALSE(HStoredCounts().OpenIndex(path, index));
  ASSERT_TRUE(counts.SaveIndex(path, index));

  HStoredCounts kept;
  ASSERT_TRUE(kept.OpenIndex(path, index));
  EXPECT_EQ(expected, Counts(kept));
  SetTime(path, 1000000000);  // a use of a kept sum moves its time
  ASSERT_TRUE(kept.OpenIndex(path, index));
  EXPECT_EQ(expected, Counts(kept));

  // The same rows in a new file are a new ranking; so are other rows.
  WriteFile(dir / "new", std::string(kHead) + kRows);
  ASSERT_EQ(0, rename((dir / "new").c_str(), path.c_str()));
  EXPECT_FALSE(kept.OpenIndex(path, index));
  EXPECT_EQ("0 0 0 0 0 0 0 ", Counts(kept));

  // An index is saved only for the text that ends the file.
  HStoredCounts other;
  ASSERT_TRUE(other.Index(" a.example=9\nend\n", 0, true));
  EXPECT_FALSE(other.SaveIndex(path, index));
  ASSERT_TRUE(counts.SaveIndex(path, index));
  WriteFile(index, "VZINDX2\n short");  // cut short
  EXPECT_FALSE(kept.OpenIndex(path, index));
}
