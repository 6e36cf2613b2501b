// The program's own operator new and delete for small blocks. Every request
// is a new process that makes a few thousand small objects (the template's
// items, names, values) and ends soon after; the C library's allocator
// spends about 130 instructions on each fresh block, a quarter of a page's
// cost. Blocks of up to 256 bytes come instead from one region reserved at
// the first allocation: runs of 64 KiB, each cut into blocks of one size,
// with a free list per size. Everything else goes to malloc.
//
// The region holds at most 4 MiB; once it is used up, new blocks come from
// malloc and freed ones are still reused, so a long count costs at most that
// much more memory than it would under malloc alone. Only the thread that
// allocated first uses the region: a block freed by another thread is left
// where it is. Builds under the address sanitizer keep the library's
// operators, so that the sanitizer sees every block.
#ifndef CORE_SMALL_BLOCKS_H_
#define CORE_SMALL_BLOCKS_H_

#include <cstddef>

// Whether `p` lies in the region (a block made there, live or freed).
bool IsSmallBlock(const void* p);
// The bytes of the region given out in runs so far.
size_t SmallBlockRunBytes();
// Whether the operators above are the ones in use (not under a sanitizer).
bool SmallBlocksInUse();

#endif  // CORE_SMALL_BLOCKS_H_
