#include "logread/byte_source.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/test_util.h"

namespace {

std::string ReadAll(HByteSource& source) {
  std::string text;
  char buffer[7];  // small, so that reads end inside the decoder's chunks
  for (ssize_t n; (n = source.Read(buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// A plain file reads as it is; concatenated xz streams read as one.
TEST(ByteSourceTest, PlainAndConcatenatedXz) {
  ScratchDir dir;
  const std::string text = "a - - [01/Mar/1999:00:00:00 +0000] \"GET / HTTP/1.0\" 200 1\n";
  WriteFile(dir / "access.log", text);
  HByteSource plain;
  ASSERT_TRUE(plain.Open((dir / "access.log").c_str()));
  EXPECT_EQ(text, ReadAll(plain));

  const std::string command = "cd '" + dir.Path() + "' && xz -c access.log > a.xz && cat a.xz a.xz > two.xz";
  ASSERT_EQ(0, system(command.c_str()));
  HByteSource xz;
  ASSERT_TRUE(xz.Open((dir / "two.xz").c_str())) << xz.Error();
  EXPECT_EQ(HByteSource::kXz, xz.kind());
  EXPECT_EQ(text + text, ReadAll(xz));  // concatenated streams read as one
}

}  // namespace
