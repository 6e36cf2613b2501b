#include "core/file.h"

#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cstdio>

#include <string>
#include <vector>

#include "tests/test_util.h"

TEST(HFileTest, GetsStripsLineFeedAndSplitsLongLines) {
  ScratchDir dir;
  const std::string path = dir / "f.txt";
  WriteFile(path, "abc\n\n" + std::string(2000, 'x') + "\nend");
  HFile file;
  ASSERT_TRUE(file.Open(path.c_str(), "r"));
  EXPECT_FALSE(file.Open(path.c_str(), "r"));  // already open
  char buf[1024];
  EXPECT_EQ(3, file.Gets(buf, sizeof buf));
  EXPECT_STREQ("abc", buf);
  EXPECT_EQ(0, file.Gets(buf, sizeof buf));  // an empty line reads like the end
  EXPECT_EQ(1023, file.Gets(buf, sizeof buf));
  EXPECT_EQ(977, file.Gets(buf, sizeof buf));
  EXPECT_NE(nullptr, file.RawGets(buf, sizeof buf));
  EXPECT_STREQ("end", buf);
  EXPECT_EQ(nullptr, file.RawGets(buf, sizeof buf));
  EXPECT_EQ(0, file.Close());
  EXPECT_EQ(0, file.Close());
  EXPECT_EQ(0, file.Gets(buf, sizeof buf));
  EXPECT_EQ(0, file.Puts("x"));
}

TEST(FileSystemTest, PathKindsAndDirectories) {
  ScratchDir dir;
  WriteFile(dir / "plain", "");
  EXPECT_EQ(1, PathKind(dir.Path().c_str()));
  EXPECT_EQ(0, PathKind((dir / "plain").c_str()));
  EXPECT_EQ(-1, PathKind((dir / "none").c_str()));
  EXPECT_FALSE(IsDirectory((dir / "plain").c_str()));
  EXPECT_TRUE(Exists((dir / "plain").c_str()));
  EXPECT_TRUE(EnsureDirectory((dir / "sub").c_str()));
  EXPECT_TRUE(EnsureDirectory((dir / "sub").c_str()));  // already there
  EXPECT_FALSE(MakeDirectory((dir / "sub").c_str()));
  EXPECT_FALSE(EnsureDirectory((dir / "plain").c_str()));  // a file is in the way
}

TEST(FileTest, ReadWholeFileKeepsZeroBytes) {
  ScratchDir dir;
  const std::string bytes("a\0b\nc\0", 6);
  WriteFile(dir / "data", bytes);
  EXPECT_EQ(bytes, ReadWholeFile((dir / "data").c_str()));
  EXPECT_EQ("", ReadWholeFile((dir / "missing").c_str()));
  EXPECT_EQ("", ReadWholeFile(dir.Path().c_str()));  // a folder reads as nothing
}

// The read is sized by the file's size: one that says 0 but has more (a
// kernel file) still reads whole, past the first guess.
TEST(FileTest, ReadWholeFileReadsPastTheSizeItWasGiven) {
  // Two hundred mappings, every other one unreadable so that none merge:
  // the kernel's list of them is some 15 KB.
  std::vector<void*> maps;
  for (int i = 0; i < 200; ++i) {
    maps.push_back(mmap(nullptr, 4096, i % 2 == 0 ? PROT_READ : PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  }
  const std::string text = ReadWholeFile("/proc/self/maps");
  char last[32];
  snprintf(last, sizeof last, "%lx-", reinterpret_cast<unsigned long>(maps.back()));
  for (void* map : maps) munmap(map, 4096);
  EXPECT_GT(text.size(), 8192u);
  EXPECT_NE(std::string::npos, text.find(last));
  EXPECT_EQ('\n', text.back());
}
