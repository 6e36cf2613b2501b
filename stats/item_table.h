// HItemTable, the counts of one ranking: an entry per name (a domain, a
// path, a status) with its count and bytes, in a fixed iteration order,
// and its ranking largest first.
#ifndef STATS_ITEM_TABLE_H_
#define STATS_ITEM_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/text.h"

// One item of a table: a domain or a path, its count, and the bytes its
// responses sent (kept by the kinds that CountBytes).
struct HItemEntry {
  HString name;
  int bucket = 0;  // HashString(name) modulo the bucket count
  int count = 0;
  long long bytes = 0;
  HItemEntry* next = nullptr;  // the next entry of the same bucket
  uint32_t hash = 0;           // the whole HashString(name)
  uint32_t key = 0;            // the index's keyed hash of the name
};

// A chained hash table of 1000 buckets that owns its entries. The buckets
// fix the iteration order: bucket 0 to 999, and within a bucket the most
// recently inserted entry first; rankings list equal counts in this order.
// Look-ups go through a second, open-addressed index keyed by KeyedHash
// (core/keyed_hash.h), so finding a name costs one hash and about one
// comparison however long the chains grow, and names sent to collide in
// the buckets' hash do not collide there. Names are compared exactly.
class HItemTable {
 public:
  static constexpr int kBuckets = 1000;

  HItemTable();
  HItemTable(const HItemTable&) = delete;
  HItemTable& operator=(const HItemTable&) = delete;
  ~HItemTable();

  // The entry of that name, or null. The entry is owned by the table and
  // lives until Clear.
  HItemEntry* Find(const char* name) const;
  // Gives the entry of that name the count and the bytes, inserting it at
  // the head of its bucket when it is new. Returns the entry.
  HItemEntry* Set(const char* name, int count, long long bytes = 0);
  // Adds n to the count of that name and `bytes` to its bytes (a new entry
  // starts at them), without going past the largest int or long long.
  // Returns the entry.
  HItemEntry* Add(const char* name, int n, long long bytes = 0);
  // Add of an entry of another table (its hash is not computed again).
  HItemEntry* Add(const HItemEntry* from) {
    return Insert(from->name.CStr(), from->key, &from->hash, from->count, from->bytes);
  }
  // Adds every entry of `other` into this table, in other's order.
  void AddAll(const HItemTable& other);
  // Frees every entry.
  void Clear();
  int Count() const { return count_; }
  // The entry made n-th (from 0, below Count()).
  const HItemEntry* MadeAt(int n) const { return Made(static_cast<uint32_t>(n)); }

  // Iteration in bucket order through the table's one cursor: First gives
  // the first entry (null when empty), Next the one after the entry it or
  // First gave last (null at the end).
  HItemEntry* First();
  HItemEntry* Next();
  // The entry after `entry` in iteration order, or null; leaves the cursor.
  HItemEntry* After(const HItemEntry* entry) const;
  // Fills `out` (room for Count() pointers) with every entry, largest count
  // first and equal counts in iteration order: what a stable sort of the
  // iteration order by count gives.
  void Rank(HItemEntry** out) const;

 private:
  // One place of the index: the keyed hash of a name and 1 + the number of
  // its entry in making order (0: empty). Probing past other names never
  // touches their entries.
  struct IndexSlot {
    uint32_t key;
    uint32_t entry;
  };
  // Entries are made in blocks; a block never moves, so entries keep their
  // addresses until Clear.
  static constexpr int kBlockEntries = 512;
  // The entries Add gave last, by a quick unkeyed mix of the name: a day's
  // statuses, agents or countries are few, and most lines add to one of
  // them again. A place holds one entry, whose name is compared, so names
  // that share a place only go through the index.
  // The place keeps the name's length and first bytes too, so that a
  // name of another entry is mostly told apart without reading it.
  static constexpr int kRecentBits = 6;
  struct HRecent {
    HItemEntry* entry = nullptr;
    uint64_t head = 0;  // the first 8 bytes of the name, zero-padded
    size_t length = 0;
  };
  static uint64_t NameHead(const char* name, size_t length);
  static size_t RecentPlace(uint64_t head, const char* name, size_t length);

  // Adds `count` to the entry of `name`, whose keyed hash is `key`, making
  // it when it is new; `hash` is its HashString when known, else null.
  HItemEntry* Insert(const char* name, uint32_t key, const uint32_t* hash, int count, long long bytes);
  IndexSlot* Slot(const char* name, uint32_t key) const;
  void Grow();
  HItemEntry* NewEntry();
  // The entry made n-th (from 0).
  HItemEntry* Made(uint32_t n) const { return &blocks_[n / kBlockEntries][n % kBlockEntries]; }

  int count_ = 0;
  // Made with the first entry: a page makes many tables it never fills.
  std::unique_ptr<HItemEntry*[]> buckets_;
  HItemEntry* cursor_ = nullptr;
  // The index: a power-of-two array, at most half full.
  std::unique_ptr<IndexSlot[]> slots_;
  int bits_ = 0;
  uint32_t mask_ = 0;
  std::vector<std::unique_ptr<HItemEntry[]>> blocks_;
  int block_used_ = kBlockEntries;  // entries taken from the last block
  HRecent recent_[1 << kRecentBits];
};

#endif  // STATS_ITEM_TABLE_H_
