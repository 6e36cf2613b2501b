#include "core/small_blocks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

// Every size up to the largest small one gets an aligned block of its own
// from the region, a freed block is given again to its size, and larger
// ones come from elsewhere.
TEST(SmallBlocksTest, SizesAlignmentAndReuse) {
  if (!SmallBlocksInUse()) GTEST_SKIP() << "the sanitizer's allocator is in use";
  std::vector<char*> blocks;
  for (size_t n = 0; n <= 256; ++n) {
    char* p = new char[n];
    EXPECT_TRUE(IsSmallBlock(p)) << n;
    EXPECT_EQ(0u, reinterpret_cast<uintptr_t>(p) % 16) << n;
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<char>(n);
    blocks.push_back(p);
  }
  for (size_t n = 0; n <= 256; ++n) {
    for (size_t i = 0; i < n; ++i) ASSERT_EQ(static_cast<char>(n), blocks[n][i]) << n;  // no block overlaps another
  }
  char* freed = blocks[100];
  delete[] freed;
  char* again = new char[97];  // the same size of block: 97 to 112 bytes
  EXPECT_EQ(freed, again);
  blocks[100] = again;
  for (char* p : blocks) delete[] p;

  std::unique_ptr<char[]> large(new char[257]);
  EXPECT_FALSE(IsSmallBlock(large.get()));
  auto* object = new std::vector<int>(3);
  EXPECT_TRUE(IsSmallBlock(object));
  delete object;
}

// Once the region is used up, blocks come from malloc and freed region
// blocks are still reused; another thread never takes region blocks, and
// frees the main thread's safely.
TEST(SmallBlocksTest, UsedUpRegionAndOtherThreads) {
  if (!SmallBlocksInUse()) GTEST_SKIP() << "the sanitizer's allocator is in use";
  std::vector<std::unique_ptr<char[]>> blocks;
  std::unique_ptr<char[]> outside;
  while (!outside) {
    std::unique_ptr<char[]> p(new char[256]);
    if (IsSmallBlock(p.get())) {
      blocks.push_back(std::move(p));
    } else {
      outside = std::move(p);
    }
    ASSERT_LT(blocks.size(), 100000u);
  }
  EXPECT_EQ(size_t{4} << 20, SmallBlockRunBytes());
  char* freed = blocks.back().release();
  blocks.pop_back();
  delete[] freed;
  std::unique_ptr<char[]> reused(new char[250]);
  EXPECT_EQ(freed, reused.get());

  char* from_main = new char[32];
  std::set<bool> small_in_thread;
  std::thread other([&] {
    std::unique_ptr<char[]> own(new char[32]);
    small_in_thread.insert(IsSmallBlock(own.get()));
    delete[] from_main;  // left in place: the free lists are the main thread's
  });
  other.join();
  EXPECT_EQ(std::set<bool>{false}, small_in_thread);
}

}  // namespace
