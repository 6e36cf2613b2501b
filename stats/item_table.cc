#include "stats/item_table.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/keyed_hash.h"

namespace {

constexpr int kFirstIndexBits = 6;

// The index's hash of a name, and the slot where its probing starts.
inline uint32_t KeyOf(const char* name, size_t length) {
  return static_cast<uint32_t>(KeyedHash(name, length) >> 32);
}
inline uint32_t KeyOf(const char* name) { return KeyOf(name, strlen(name)); }
inline uint32_t SlotOf(uint32_t key, int bits) { return key >> (32 - bits); }

inline int SaturatedSum(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  if (sum > INT_MAX) return INT_MAX;
  if (sum < INT_MIN) return INT_MIN;
  return static_cast<int>(sum);
}

// Bytes are never negative: a sum stops at the largest long long.
inline long long SaturatedBytes(long long a, long long b) { return b > LLONG_MAX - a ? LLONG_MAX : a + b; }

}  // namespace

HItemTable::HItemTable() = default;

HItemTable::~HItemTable() { Clear(); }

// The slot that holds the entry of that name, or the empty slot where it
// would go. The index must exist.
HItemTable::IndexSlot* HItemTable::Slot(const char* name, uint32_t key) const {
  for (uint32_t i = SlotOf(key, bits_);; i = (i + 1) & mask_) {
    IndexSlot& slot = slots_[i];
    if (slot.entry == 0 || (slot.key == key && strcmp(Made(slot.entry - 1)->name.CStr(), name) == 0)) return &slot;
  }
}

void HItemTable::Grow() {
  const int bits = slots_ ? bits_ + 1 : kFirstIndexBits;
  const uint32_t size = 1u << bits;
  const uint32_t mask = size - 1;
  std::unique_ptr<IndexSlot[]> slots(new IndexSlot[size]());
  if (slots_) {
    for (uint32_t old = 0; old <= mask_; ++old) {
      if (slots_[old].entry == 0) continue;
      uint32_t i = SlotOf(slots_[old].key, bits);
      while (slots[i].entry != 0) i = (i + 1) & mask;
      slots[i] = slots_[old];
    }
  }
  slots_ = std::move(slots);
  bits_ = bits;
  mask_ = mask;
}

HItemEntry* HItemTable::Find(const char* name) const {
  if (!slots_ || name == nullptr) return nullptr;
  const IndexSlot* slot = Slot(name, KeyOf(name));
  return slot->entry == 0 ? nullptr : Made(slot->entry - 1);
}

HItemEntry* HItemTable::NewEntry() {
  if (block_used_ == kBlockEntries) {
    blocks_.emplace_back(new HItemEntry[kBlockEntries]);
    block_used_ = 0;
  }
  return &blocks_.back()[block_used_++];
}

HItemEntry* HItemTable::Insert(const char* name, uint32_t key, const uint32_t* hash, int count, long long bytes) {
  // At most half full, so that a miss ends within a few slots.
  if (!slots_ || static_cast<uint32_t>(count_ + 1) * 2 > mask_ + 1) Grow();
  IndexSlot* slot = Slot(name, key);
  if (slot->entry != 0) {
    HItemEntry* entry = Made(slot->entry - 1);
    entry->count = SaturatedSum(entry->count, count);
    entry->bytes = SaturatedBytes(entry->bytes, bytes);
    return entry;
  }
  if (!buckets_) buckets_.reset(new HItemEntry*[kBuckets]());
  HItemEntry* entry = NewEntry();
  entry->name = name;
  entry->hash = hash != nullptr ? *hash : HashString(name);
  entry->key = key;
  entry->bucket = static_cast<int>(entry->hash % kBuckets);
  entry->count = count;
  entry->bytes = bytes;
  entry->next = buckets_[entry->bucket];
  buckets_[entry->bucket] = entry;
  ++count_;
  *slot = {key, static_cast<uint32_t>(count_)};
  return entry;
}

HItemEntry* HItemTable::Set(const char* name, int count, long long bytes) {
  const uint32_t key = KeyOf(name);
  const IndexSlot* slot = slots_ ? Slot(name, key) : nullptr;
  if (slot == nullptr || slot->entry == 0) return Insert(name, key, nullptr, count, bytes);
  HItemEntry* entry = Made(slot->entry - 1);
  entry->count = count;
  entry->bytes = bytes;
  return entry;
}

uint64_t HItemTable::NameHead(const char* name, size_t length) {
  uint64_t head = 0;
  memcpy(&head, name, length < 8 ? length : 8);
  return head;
}

size_t HItemTable::RecentPlace(uint64_t head, const char* name, size_t length) {
  uint64_t tail = 0;
  if (length > 8) memcpy(&tail, name + length - 8, 8);
  const uint64_t mixed = (head ^ (tail * 0xff51afd7ed558ccdULL) ^ length) * 0x9e3779b97f4a7c15ULL;
  return static_cast<size_t>(mixed >> (64 - kRecentBits));
}

HItemEntry* HItemTable::Add(const char* name, int n, long long bytes) {
  const size_t length = strlen(name);
  const uint64_t head = NameHead(name, length);
  HRecent& recent = recent_[RecentPlace(head, name, length)];
  if (recent.entry != nullptr && recent.head == head && recent.length == length &&
      (length <= 8 || memcmp(recent.entry->name.CStr() + 8, name + 8, length - 8) == 0)) {
    HItemEntry* entry = recent.entry;
    entry->count = SaturatedSum(entry->count, n);
    entry->bytes = SaturatedBytes(entry->bytes, bytes);
    return entry;
  }
  HItemEntry* entry = Insert(name, KeyOf(name, length), nullptr, n, bytes);
  recent = {entry, head, length};
  return entry;
}

void HItemTable::AddAll(const HItemTable& other) {
  if (&other == this) return;
  for (const HItemEntry* entry = other.After(nullptr); entry != nullptr; entry = other.After(entry)) Add(entry);
}

void HItemTable::Clear() {
  if (buckets_) std::fill(buckets_.get(), buckets_.get() + kBuckets, nullptr);
  std::fill(recent_, recent_ + (1 << kRecentBits), HRecent());
  blocks_.clear();
  block_used_ = kBlockEntries;
  slots_.reset();
  bits_ = 0;
  mask_ = 0;
  count_ = 0;
  cursor_ = nullptr;
}

HItemEntry* HItemTable::First() { return cursor_ = After(nullptr); }

HItemEntry* HItemTable::Next() { return cursor_ = cursor_ == nullptr ? nullptr : After(cursor_); }

HItemEntry* HItemTable::After(const HItemEntry* entry) const {
  if (entry != nullptr && entry->next != nullptr) return entry->next;
  if (!buckets_) return nullptr;  // no entry was ever made
  for (int b = entry == nullptr ? 0 : entry->bucket + 1; b < kBuckets; ++b) {
    if (buckets_[b] != nullptr) return buckets_[b];
  }
  return nullptr;
}

void HItemTable::Rank(HItemEntry** out) const {
  // Entries never change buckets and newer ones go in front, so iteration
  // order is bucket, then making order backwards: sorting on those keys
  // walks the blocks in order instead of chasing the chains.
  struct Key {
    int count;
    int bucket;
    uint32_t made;
  };
  std::vector<Key> keys(count_);
  for (uint32_t n = 0; n < static_cast<uint32_t>(count_); ++n) {
    const HItemEntry* entry = Made(n);
    keys[n] = {entry->count, entry->bucket, n};
  }
  std::sort(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
    if (a.count != b.count) return a.count > b.count;
    if (a.bucket != b.bucket) return a.bucket < b.bucket;
    return a.made > b.made;
  });
  for (int i = 0; i < count_; ++i) out[i] = Made(keys[i].made);
}
