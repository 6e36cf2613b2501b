#include "loganalysis/items.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/answers.h"
#include "loganalysis/item_container.h"
#include "loganalysis/log_line.h"
#include "loganalysis/vazivev.h"
#include "objects/object_stream.h"

namespace {

// The item counters leave the buffer's last byte unused.
constexpr int kItemReadLimit = kLogLineSize - 1;
constexpr int kFirstIndexBits = 6;
// An item line is a blank, the name, "=" and the count; the reader finds
// the "=" only in the first piece of a line.
constexpr int kLongestStoredName = HObjectStream::kLineSize - 3;

const char kObjectWord[] = "object ";
constexpr int kObjectWordLength = sizeof kObjectWord - 1;

// Names that differ in their last bytes differ mostly in the low bits of
// their hash; the multiplication carries those into the high bits, which
// pick the index slot.
inline uint32_t SlotOf(uint32_t hash, int bits) { return (hash * 2654435769u) >> (32 - bits); }

inline int SaturatedSum(int a, int b) {
  const long long sum = static_cast<long long>(a) + b;
  if (sum > INT_MAX) return INT_MAX;
  if (sum < INT_MIN) return INT_MIN;
  return static_cast<int>(sum);
}

}  // namespace

HItemTable::HItemTable() { std::fill(buckets_, buckets_ + kBuckets, nullptr); }

HItemTable::~HItemTable() { Clear(); }

// The slot that holds the entry of that name, or the empty slot where it
// would go. The index must exist.
HItemTable::IndexSlot* HItemTable::Slot(const char* name, uint32_t hash) const {
  for (uint32_t i = SlotOf(hash, bits_);; i = (i + 1) & mask_) {
    IndexSlot& slot = slots_[i];
    if (slot.entry == 0 || (slot.hash == hash && strcmp(Made(slot.entry - 1)->name.CStr(), name) == 0)) return &slot;
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
      uint32_t i = SlotOf(slots_[old].hash, bits);
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
  const IndexSlot* slot = Slot(name, HashString(name));
  return slot->entry == 0 ? nullptr : Made(slot->entry - 1);
}

HItemEntry* HItemTable::NewEntry() {
  if (block_used_ == kBlockEntries) {
    blocks_.emplace_back(new HItemEntry[kBlockEntries]);
    block_used_ = 0;
  }
  return &blocks_.back()[block_used_++];
}

HItemEntry* HItemTable::Insert(const char* name, uint32_t hash, int count) {
  // At most half full, so that a miss ends within a few slots.
  if (!slots_ || static_cast<uint32_t>(count_ + 1) * 2 > mask_ + 1) Grow();
  IndexSlot* slot = Slot(name, hash);
  if (slot->entry != 0) {
    HItemEntry* entry = Made(slot->entry - 1);
    entry->count = SaturatedSum(entry->count, count);
    return entry;
  }
  HItemEntry* entry = NewEntry();
  entry->name = name;
  entry->hash = hash;
  entry->bucket = static_cast<int>(hash % kBuckets);
  entry->count = count;
  entry->next = buckets_[entry->bucket];
  buckets_[entry->bucket] = entry;
  ++count_;
  *slot = {hash, static_cast<uint32_t>(count_)};
  return entry;
}

HItemEntry* HItemTable::Set(const char* name, int count) {
  const uint32_t hash = HashString(name);
  const IndexSlot* slot = slots_ ? Slot(name, hash) : nullptr;
  if (slot == nullptr || slot->entry == 0) return Insert(name, hash, count);
  HItemEntry* entry = Made(slot->entry - 1);
  entry->count = count;
  return entry;
}

HItemEntry* HItemTable::Add(const char* name, int n) { return Insert(name, HashString(name), n); }

void HItemTable::AddAll(const HItemTable& other) {
  if (&other == this) return;
  for (const HItemEntry* entry = other.After(nullptr); entry != nullptr; entry = other.After(entry)) Add(entry);
}

void HItemTable::Clear() {
  std::fill(buckets_, buckets_ + kBuckets, nullptr);
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

HItemsHit::HItemsHit(const char* name, HItemsContainer* container)
    : IContainer(name, 0),
      log_(container == nullptr ? nullptr : container->Log()),
      container_(container),
      current_("Current", 0) {
  if (IsDigit(static_cast<unsigned char>(name_.At(0)))) day_.SetNumber(ToInt(name_.CStr()));
}

HItemsHit::~HItemsHit() = default;

const char* HItemsHit::GetProperty(const char* name) {
  if (name == nullptr || !IsWord(name, "Count")) return nullptr;
  ComputeDay(true);
  return NumberAnswer(table_.Count());
}

void HItemsHit::SetProperty(const char* name, const char* value) {
  if (name != nullptr && IsWord(name, "Text")) {
    filter_ = value == nullptr ? "" : value;
    return;
  }
  IContainer::SetProperty(name, value);
}

bool HItemsHit::First() {
  ComputeDay(true);
  loaded_place_ = 0;
  position_ = 0;
  yielded_ = 0;
  top_ = 0;
  return sorted_ != nullptr || !loaded_.empty();
}

HItemEntry* HItemsHit::NextEntry() {
  if (sorted_) {
    if (position_ >= sorted_count_ || position_ >= table_.Count()) return nullptr;
    return sorted_[position_++];
  }
  return loaded_place_ < loaded_.size() ? loaded_[loaded_place_++] : nullptr;
}

const char* HItemsHit::NextName() {
  if (log_ == nullptr || yielded_ >= log_->Lines()) return nullptr;
  HItemEntry* entry;
  do {
    entry = NextEntry();
    if (entry == nullptr) return nullptr;
  } while (!filter_.IsEmpty() && strstr(entry->name.CStr(), filter_.CStr()) == nullptr);
  ++yielded_;
  if (top_ == 0) top_ = entry->count;
  // In 64 bits: a busy page's sum over years passes INT_MAX / 100.
  const long long rate = top_ == 0 ? 0 : static_cast<long long>(entry->count) * 100 / top_;
  char rate_text[24];
  snprintf(rate_text, sizeof rate_text, "%lld", rate);
  current_.SetProperty("Name", entry->name.CStr());
  current_.SetPropertyInt("Hit", entry->count);
  current_.SetProperty("Rate", rate_text);
  return NumberAnswer(entry->count);
}

IObject* HItemsHit::NextObject() { return nullptr; }

IObject* HItemsHit::FindChild(const char* name) {
  if (name != nullptr && IsWord(name, "Current")) return &current_;
  return IContainer::FindChild(name);
}

bool HItemsHit::Load(HObjectStream& stream) {
  ReadItems(stream, false);
  return true;
}

void HItemsHit::ReadItems(HObjectStream& stream, bool rejoin) {
  read_stored_ = true;
  HString joined;
  while (stream.ReadProperty()) {
    const char* name = stream.EntryName();
    const char* count = stream.EntryValue();
    if (name == nullptr || count == nullptr) continue;  // a continuation: no item line has one
    if (rejoin) {
      const char* last = strrchr(count, '=');
      if (last != nullptr) {
        joined = name;
        joined.Append("=");
        joined.Append(HString(count, static_cast<int>(last - count)));
        name = joined.CStr();
        count = last + 1;
      }
    }
    const int before = table_.Count();
    HItemEntry* entry = table_.Set(name, ToInt(count));
    // A name stored twice is listed once, with its last count.
    if (table_.Count() > before) loaded_.push_back(entry);
  }
}

bool HItemsHit::IsStorableItem(const char* name) const {
  if (*name == 0 || strncmp(name, kObjectWord, kObjectWordLength) == 0) return false;
  const size_t length = strcspn(name, names_hold_equals_ ? "\n" : "\n=");
  return name[length] == 0 && length <= static_cast<size_t>(kLongestStoredName);
}

bool HItemsHit::Save(HObjectStream& stream) {
  stream.BeginObject(name_.CStr(), type_name_);
  // Item names are read back by this class's own rules (a path's "=" is
  // rejoined, a leading blank or a carriage return stays), which
  // IsStorableItem checks: they skip the stream's check for property names.
  const auto write = [&](const HItemEntry* entry) {
    if (!IsStorableItem(entry->name.CStr())) return;
    char count[16];
    snprintf(count, sizeof count, "%d", entry->count);
    stream.WriteUncheckedProperty(entry->name.CStr(), count);
  };
  if (sorted_) {
    for (int i = 0; i < sorted_count_ && i < table_.Count(); ++i) write(sorted_[i]);
  } else {
    for (const HItemEntry* entry : loaded_) write(entry);
  }
  stream.EndObject();
  return true;
}

int HItemsHit::Unit() {
  if (unit_ < 0) unit_ = log_ == nullptr ? 0 : ToInt(log_->Setting("Unit"));
  return unit_;
}

int HItemsHit::CountItems(const char* file, const char* filter) {
  const int counted = CountPagePaths(file, kItemReadLimit, [&](char* line, int format, const char* path, int length) {
    if (IsImagePath(path, length)) return false;
    const char* item = ItemKey(line, format, path, filter);
    if (item == nullptr) return false;
    table_.Add(item, 1);
    return true;
  });
  if (counted >= 0) SortItems();
  return counted;
}

void HItemsHit::SortItems() {
  loaded_.clear();
  loaded_place_ = 0;
  const int count = table_.Count();
  if (count == 0) return;
  std::unique_ptr<HItemEntry*[]> sorted(new HItemEntry*[count]);
  table_.Rank(sorted.get());
  sorted_ = std::move(sorted);
  sorted_count_ = count;
  position_ = 0;
}

bool HItemsHit::ComputeDay(bool remove_total) {
  if (!loaded_.empty() || sorted_ || !day_.IsValid() || log_ == nullptr) return false;
  if (day_.Compare(log_->Today()) >= 0) return false;
  HString file;
  if (!log_->LogFileForDate(file, day_)) return false;
  if (CountItems(file.CStr(), nullptr) < 0) return false;
  // The cached sum since the first day lacks this day now.
  if (remove_total && container_ != nullptr) container_->DeleteTotal();
  SetModified(true);
  return true;
}

void HItemsHit::Empty() {
  loaded_.clear();
  loaded_place_ = 0;
  sorted_.reset();
  sorted_count_ = 0;
  position_ = 0;
  table_.Clear();
}

void HItemsHit::AddTo(HItemTable& sum) const {
  if (&sum == &table_) return;
  if (sorted_) {
    for (int i = 0; i < sorted_count_ && i < table_.Count(); ++i) sum.Add(sorted_[i]);
  } else if (loaded_.size() == static_cast<size_t>(table_.Count())) {
    for (const HItemEntry* entry : loaded_) sum.Add(entry);
  } else {
    sum.AddAll(table_);
  }
}

HDomainsHit::HDomainsHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Domains";
}

const char* HDomainsHit::ItemKey(char* line, int format, const char* path, const char* filter) {
  if (filter != nullptr && CompareNoCase(path, filter) != 0) return nullptr;
  const char* domain = ExtractDomain(line, format, Unit());
  return domain == nullptr || !IsStorableItem(domain) ? nullptr : domain;
}

HPagesHit::HPagesHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Pages";
  names_hold_equals_ = true;
}

const char* HPagesHit::ItemKey(char* line, int format, const char* path, const char* filter) {
  if (filter != nullptr) {
    const char* domain = ExtractDomain(line, format, Unit());
    if (domain == nullptr || CompareNoCase(domain, filter) != 0) return nullptr;
  }
  return path;
}

bool HPagesHit::Load(HObjectStream& stream) {
  ReadItems(stream, true);
  return true;
}
