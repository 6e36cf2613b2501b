#include "core/stored_text.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/test_util.h"

namespace {

// Maps `text` written to a file, from `from` on.
HStoredText Mapped(const ScratchDir& dir, const std::string& text, size_t from) {
  WriteFile(dir / "rows", text);
  const int fd = open((dir / "rows").c_str(), O_RDONLY);
  HStoredText mapped;
  EXPECT_TRUE(mapped.Map(fd, from, text.size()));
  close(fd);
  return mapped;
}

// A mapped text reads as the file's bytes, and a zero byte follows it even
// when it fills its last page: the line scans stop there as on a string.
TEST(StoredTextTest, AMappedFileEndsInAZeroByte) {
  ScratchDir dir;
  std::string text(8192, 'x');
  text[100] = '\n';
  const HStoredText mapped = Mapped(dir, text, 10);
  ASSERT_TRUE(mapped.IsMapped());
  EXPECT_EQ(text.size() - 10, mapped.size());
  EXPECT_EQ(0, memcmp(mapped.data(), text.data() + 10, mapped.size()));
  EXPECT_EQ('\0', mapped.data()[mapped.size()]);
  EXPECT_EQ(8192u - 10, strlen(mapped.data()));
  EXPECT_EQ(90u, mapped.find('\n'));
  EXPECT_EQ(std::string::npos, mapped.find('\n', 91));

  // Copies and tails share the pages; an append makes the text its own.
  HStoredText copy = mapped;
  const HStoredText tail = mapped.Tail(91);
  EXPECT_EQ(mapped.data(), copy.data());
  EXPECT_EQ(mapped.data() + 91, tail.data());
  EXPECT_EQ(tail.size(), strlen(tail.data()));
  copy.append("end\n");
  EXPECT_FALSE(copy.IsMapped());
  EXPECT_EQ(mapped.substr(0) + "end\n", copy.substr(0));
  EXPECT_EQ(8192u - 10, mapped.size());  // the original is untouched
}

// The std::string calls the readers make, with compare past the end
// unequal rather than an exception (a stored file cut short).
TEST(StoredTextTest, ComparesFindsAndCutsAsAStringWould) {
  HStoredText held;
  held.Assign(" =rows 2\n a=1\n object x : Stamp\n");
  const std::string same(held.data(), held.size());
  for (size_t at : {0u, 1u, 9u, 14u, 31u, 32u}) {
    for (const char* text : {" =rows ", "a=1", "\n object ", "", " : Stamp\n", "zzz"}) {
      const int want = same.compare(at, 9, text);
      const int got = held.compare(at, 9, text);
      EXPECT_EQ(want < 0, got < 0) << at << " " << text;
      EXPECT_EQ(want == 0, got == 0) << at << " " << text;
      EXPECT_EQ(same.find(text, at), held.find(text, at)) << at << " " << text;
    }
    EXPECT_EQ(same.substr(at, 5), held.substr(at, 5));
  }
  EXPECT_NE(0, held.compare(35, 3, ""));  // past the end
  EXPECT_EQ("", held.substr(99));
  EXPECT_EQ(std::string::npos, held.find("a", 99));
  HStoredText copy = held;
  EXPECT_NE(held.data(), copy.data());
  EXPECT_EQ(same, std::string(copy.data(), copy.size()));
  held.clear();
  EXPECT_TRUE(held.empty());
  EXPECT_EQ('\0', held.data()[0]);
}

}  // namespace
