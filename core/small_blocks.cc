#include "core/small_blocks.h"

#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <new>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VAZIVEV_LIBRARY_NEW 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(VAZIVEV_FULL_TEARDOWN)
#define VAZIVEV_LIBRARY_NEW 1
#endif

namespace {

// A page uses a few hundred KiB of it; an address-space limit counts it all.
constexpr size_t kRegionBytes = size_t{4} << 20;
constexpr size_t kRunBytes = size_t{64} << 10;
constexpr size_t kGrain = 16;  // the alignment operator new promises
constexpr size_t kLargest = 256;
constexpr size_t kClasses = kLargest / kGrain + 1;  // class c holds blocks of c * kGrain bytes; 0 is unused
constexpr size_t kRuns = kRegionBytes / kRunBytes;

struct FreeBlock {
  FreeBlock* next;
};

// Zero-initialised, so it is ready before any constructor runs: static
// constructors allocate too.
struct Pool {
  std::atomic<char*> base;  // the region; null before the first run (and for good if it could not be had)
  std::atomic<char*> end;
  bool reserved;            // the region was asked for
  const void* owner;        // the marker of the thread that uses the region
  char* next_run;
  char* run_at[kClasses];   // the next unused block of each class's current run
  char* run_end[kClasses];
  FreeBlock* free_list[kClasses];
  unsigned char run_class[kRuns];
};

Pool pool;
thread_local char thread_marker;

[[maybe_unused]] bool InRegion(const void* p) {
  const char* at = static_cast<const char*>(p);
  const char* base = pool.base.load(std::memory_order_relaxed);
  return base != nullptr && at >= base && at < pool.end.load(std::memory_order_relaxed);
}

[[maybe_unused]] bool IsOwnerThread() {
  if (pool.owner == nullptr) pool.owner = &thread_marker;  // the first allocation is the main thread's
  return pool.owner == &thread_marker;
}

// A fresh run for class c, its first block given out; null when the region
// is used up or could not be reserved.
[[maybe_unused]] void* NewRun(size_t c) {
  if (!pool.reserved) {
    pool.reserved = true;
    void* region = mmap(nullptr, kRegionBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                        -1, 0);
    if (region == MAP_FAILED) return nullptr;
    // Where huge pages are always on, the first block would make the
    // kernel clear 2 MiB at once: more than a whole request costs.
    madvise(region, kRegionBytes, MADV_NOHUGEPAGE);
    pool.next_run = static_cast<char*>(region);
    pool.end.store(pool.next_run + kRegionBytes, std::memory_order_relaxed);
    pool.base.store(pool.next_run, std::memory_order_relaxed);
  }
  char* base = pool.base.load(std::memory_order_relaxed);
  if (base == nullptr || pool.next_run == base + kRegionBytes) return nullptr;
  char* run = pool.next_run;
  pool.next_run += kRunBytes;
  pool.run_class[static_cast<size_t>(run - base) / kRunBytes] = static_cast<unsigned char>(c);
  pool.run_at[c] = run + c * kGrain;
  pool.run_end[c] = run + kRunBytes;
  return run;
}

// The usual case, small enough to inline: a block from the size's free
// list or from its current run; null sends the caller to SlowAllocate.
[[maybe_unused]] inline void* FastAllocate(size_t n) {
  if (n > kLargest || pool.owner != &thread_marker) return nullptr;
  const size_t c = n == 0 ? 1 : (n + kGrain - 1) / kGrain;
  if (FreeBlock* block = pool.free_list[c]) {
    pool.free_list[c] = block->next;
    return block;
  }
  char* at = pool.run_at[c];
  if (at == nullptr || static_cast<size_t>(pool.run_end[c] - at) < c * kGrain) return nullptr;
  pool.run_at[c] = at + c * kGrain;
  return at;
}

// Everything else: the first allocation, a new run, a large block, another
// thread, a used-up region; throws std::bad_alloc as operator new must.
[[maybe_unused]] __attribute__((noinline)) void* SlowAllocate(size_t n) {
  if (n <= kLargest && IsOwnerThread()) {
    if (void* block = FastAllocate(n)) return block;
    if (void* block = NewRun(n == 0 ? 1 : (n + kGrain - 1) / kGrain)) return block;
  }
  for (;;) {
    if (void* p = malloc(n == 0 ? 1 : n)) return p;
    std::new_handler handler = std::get_new_handler();
    if (handler == nullptr) throw std::bad_alloc();
    handler();
  }
}

[[maybe_unused]] inline void* AllocateOrThrow(size_t n) {
  void* block = FastAllocate(n);
  return block != nullptr ? block : SlowAllocate(n);
}

[[maybe_unused]] void Release(void* p) {
  if (p == nullptr) return;
  if (!InRegion(p)) {
    free(p);
    return;
  }
  if (!IsOwnerThread()) return;
  const char* base = pool.base.load(std::memory_order_relaxed);
  const size_t c = pool.run_class[static_cast<size_t>(static_cast<char*>(p) - base) / kRunBytes];
  auto* block = static_cast<FreeBlock*>(p);
  block->next = pool.free_list[c];
  pool.free_list[c] = block;
}

}  // namespace

bool IsSmallBlock(const void* p) { return InRegion(p); }

size_t SmallBlockRunBytes() {
  const char* base = pool.base.load(std::memory_order_relaxed);
  return base == nullptr ? 0 : static_cast<size_t>(pool.next_run - base);
}

#ifndef VAZIVEV_LIBRARY_NEW

bool SmallBlocksInUse() { return true; }

void* operator new(size_t n) { return AllocateOrThrow(n); }
void* operator new[](size_t n) { return AllocateOrThrow(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  try {
    return AllocateOrThrow(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  try {
    return AllocateOrThrow(n);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }

#else

bool SmallBlocksInUse() { return false; }

#endif
