#include "stats/items.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "core/answers.h"
#include "logread/log_line.h"
#include "logread/page_rule.h"
#include "logread/short_address.h"
#include "objects/object_stream.h"
#include "stats/bytes.h"
#include "stats/day_files.h"
#include "stats/day_pass.h"
#include "stats/item_container.h"
#include "stats/stats_settings.h"
#include "stats/stored_counts.h"

namespace {

// The item counters leave the buffer's last byte unused.
constexpr int kItemReadLimit = kLogLineSize - 1;
// An item line is a blank, the name, "=" and the count; the reader finds
// the "=" only in the first piece of a line.
constexpr int kLongestStoredName = HObjectStream::kLineSize - 3;

const char kObjectWord[] = "object ";
constexpr int kObjectWordLength = sizeof kObjectWord - 1;

// A number as Save writes it, at most `most` digits up to a blank, a line
// feed or `stop`: what atoi and strtoll read from it, without their cost
// for every line of a sum. False for anything else.
inline bool ReadPlainNumber(const char* p, const char* stop, int most, long long* value) {
  long long n = 0;
  int digits = 0;
  for (; p < stop && *p >= '0' && *p <= '9'; ++p) {
    if (++digits > most) return false;
    n = n * 10 + (*p - '0');
  }
  if (digits == 0 || (p < stop && *p != ' ' && *p != '\n')) return false;
  *value = n;
  return true;
}

}  // namespace

std::string ChangeText(long long now, long long before) {
  if (before <= 0) return now > 0 ? "new" : "";
  // Whole per cents, rounded half away from zero, in 128-bit integers:
  // exact for any pair of figures, and no call into the maths library.
  const __int128 hundredfold = (static_cast<__int128>(now) - before) * 100;
  const __int128 magnitude = hundredfold < 0 ? -hundredfold : hundredfold;
  const __int128 rounded = (2 * magnitude + before) / (2 * static_cast<__int128>(before));
  const __int128 bound = static_cast<__int128>(LLONG_MAX);
  const __int128 clamped = std::min(rounded, bound);
  const long long change = static_cast<long long>(hundredfold < 0 ? -clamped : clamped);
  char text[kDecimalSize + 2];
  text[0] = '+';
  const int sign = change > 0 ? 1 : 0;
  const int length = sign + FormatDecimal(text + sign, change);
  text[length] = '%';
  text[length + 1] = 0;
  return text;
}

HItemsHit::HItemsHit(const char* name, HItemsContainer* container)
    : IContainer(name, 0),
      log_(container == nullptr ? nullptr : container->Log()),
      container_(container),
      current_("Current", 0) {
  HDate::Parse(name_.CStr(), &day_);
}

HItemsHit::~HItemsHit() = default;

const char* HItemsHit::GetProperty(const char* name) {
  if (name == nullptr || !IsWord(name, "Count")) return nullptr;
  ComputeDay(true);
  // The stored lines not read yet count as they stand: a stored ranking
  // holds every name once.
  return NumberAnswer(table_.Count() + stored_left_);
}

void HItemsHit::SetProperty(const char* name, const char* value) {
  if (name != nullptr && IsWord(name, "Text")) {
    filter_ = value == nullptr ? "" : value;
    return;
  }
  if (name != nullptr && IsWord(name, "Rows")) {
    rows_ = value == nullptr || *value < '0' || *value > '9' ? -1 : ToInt(value);
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
  total_ = 0;
  if (trusted_header_ && !sorted_ && loaded_.size() == static_cast<size_t>(table_.Count())) {
    // Every row read so far came from the stored lines the header adds up.
    total_ = header_total_;
  } else {
    for (const HItemEntry* entry = table_.After(nullptr); entry != nullptr; entry = table_.After(entry)) {
      total_ += entry->count;
    }
    CountStoredItems(&total_);
  }
  return sorted_ != nullptr || !loaded_.empty() || stored_left_ > 0;
}

HItemEntry* HItemsHit::NextEntry() {
  if (sorted_) {
    if (position_ >= sorted_count_ || position_ >= table_.Count()) return nullptr;
    return sorted_[position_++];
  }
  if (loaded_place_ == loaded_.size() && !ReadStoredItem()) return nullptr;
  return loaded_place_ < loaded_.size() ? loaded_[loaded_place_++] : nullptr;
}

const char* HItemsHit::NextName() {
  if (log_ == nullptr || yielded_ >= log_->Lines() || (rows_ >= 0 && yielded_ >= rows_)) return nullptr;
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
  FormatDecimal(rate_text, rate);
  current_.SetProperty("Name", entry->name.CStr());
  current_.SetPropertyInt("Hit", entry->count);
  current_.SetProperty("Rate", rate_text);
  const long long tenths = total_ <= 0 ? 0 : (static_cast<long long>(entry->count) * 2000 + total_) / (2 * total_);
  // "%lld.%lld": the tenths are never negative.
  const int whole = FormatDecimal(rate_text, tenths / 10);
  rate_text[whole] = '.';
  FormatDecimal(rate_text + whole + 1, tenths % 10);
  current_.SetProperty("Share", rate_text);
  if (previous_ != nullptr || previous_counts_ != nullptr) {
    const HItemEntry* before = previous_ == nullptr ? nullptr : previous_->Find(entry->name.CStr());
    const long long then = previous_counts_ != nullptr ? previous_counts_->Find(entry->name.CStr())
                           : before == nullptr         ? 0
                                                       : before->count;
    current_.SetPropertyInt("Before", static_cast<int>(then));
    current_.SetProperty("Change", ChangeText(entry->count, then).c_str());
  }
  if (CountsBytes()) {
    char bytes[32];
    FormatDecimal(bytes, entry->bytes);
    current_.SetProperty("Bytes", bytes);
    FormatByteSize(entry->bytes, bytes, sizeof bytes);
    current_.SetProperty("ReadableBytes", bytes);
  }
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
  rejoin_ = rejoin;
  stored_at_ = 0;
  if (stream.TakeRest(stored_)) {
    ReadHeader();
    if (!trusted_header_) stored_left_ = CountStoredItems();
    ReadStamp();
    return;
  }
  // A file that cannot be taken whole is read line by line now.
  stored_.clear();
  while (stream.ReadProperty()) {
    if (stream.EntryName() == nullptr) continue;
    stored_.append(" ").append(stream.EntryName()).append("=").append(stream.EntryValue()).append("\n");
  }
  ReadHeader();
  if (!trusted_header_) stored_left_ = CountStoredItems();
}

namespace {

const char kRowsHeader[] = " =rows ";
constexpr size_t kRowsHeaderLength = sizeof kRowsHeader - 1;
// The shortest item line: a blank, a name of one byte, "=", a digit and
// the line feed.
constexpr long long kShortestItemLine = 5;

// The length of a number's decimal text, with its sign.
int DecimalLength(long long value) {
  unsigned long long rest =
      value < 0 ? 0ULL - static_cast<unsigned long long>(value) : static_cast<unsigned long long>(value);
  int length = value < 0 ? 1 : 0;
  do {
    ++length;
    rest /= 10;
  } while (rest != 0);
  return length;
}

// The line feeds from `begin` to `end`: a header is checked against every
// line of its ranking at every read, so the count goes sixteen bytes at a
// time (SSE2, which every x86-64 processor has), else eight.
long long CountLineFeeds(const char* begin, const char* end) {
  long long feeds = 0;
  const char* at = begin;
#if defined(__SSE2__)
  const __m128i feed = _mm_set1_epi8('\n');
  const __m128i zero = _mm_setzero_si128();
  while (end - at >= 16) {
    // Each byte lane counts its feeds, for at most 255 blocks.
    __m128i lanes = zero;
    for (int blocks = 0; blocks < 255 && end - at >= 16; ++blocks, at += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
      lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(bytes, feed));  // a match is -1
    }
    const __m128i sums = _mm_sad_epu8(lanes, zero);  // two 64-bit sums of eight lanes
    feeds += _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
  }
#else
  constexpr uint64_t kFeeds = 0x0a0a0a0a0a0a0a0aULL;
  constexpr uint64_t kLow = 0x7f7f7f7f7f7f7f7fULL;
  // Each byte of `lanes` counts the feeds of its place, up to 31 words, so
  // that the eight together stay below 256 when added up by the multiply.
  constexpr int kWordsPerSum = 31;
  uint64_t lanes = 0;
  int words = 0;
  for (; end - at >= 8; at += 8) {
    uint64_t word;
    memcpy(&word, at, sizeof word);
    const uint64_t x = word ^ kFeeds;                 // a zero byte where a line feed was
    lanes += ~(((x & kLow) + kLow) | x | kLow) >> 7;  // 1 in each such byte
    if (++words == kWordsPerSum) {
      feeds += static_cast<long long>((lanes * 0x0101010101010101ULL) >> 56);
      lanes = 0;
      words = 0;
    }
  }
  feeds += static_cast<long long>((lanes * 0x0101010101010101ULL) >> 56);
#endif
  for (; at < end; ++at) feeds += *at == '\n';
  return feeds;
}

const char kStampHeader[] = "\n object ";
const char kStampType[] = " : Stamp\n";
constexpr size_t kStampLength = 16;

}  // namespace

void HItemsHit::ReadHeader() {
  trusted_header_ = false;
  header_total_ = 0;
  if (stored_.compare(stored_at_, kRowsHeaderLength, kRowsHeader) != 0) return;
  // Never an item, trusted or not: an empty name is never stored.
  const size_t feed = stored_.find('\n', stored_at_);
  const std::string line =
      stored_.substr(stored_at_, feed == std::string::npos ? std::string::npos : feed - stored_at_);
  stored_at_ = feed == std::string::npos ? stored_.size() : feed + 1;
  long long rows = -1;
  long long total = -1;
  long long size = -1;
  char extra = 0;
  if (sscanf(line.c_str(), " =rows %lld total %lld size %lld%c", &rows, &total, &size, &extra) != 3) return;
  const long long left = static_cast<long long>(stored_.size() - stored_at_);
  if (rows < 0 || rows > INT_MAX || total < 0 || size < 0 || size > left || rows * kShortestItemLine > size ||
      (rows == 0) != (size == 0)) {
    return;
  }
  // The rows must end where the header says: at a line feed, followed by
  // the end line, the stamp's header or nothing.
  const size_t end = stored_at_ + static_cast<size_t>(size);
  if (size > 0 && stored_[end - 1] != '\n') return;
  if (end < stored_.size() &&
      (stored_[end] == '\t' ||
       (stored_[end] == ' ' && stored_.compare(end + 1, kObjectWordLength, kObjectWord) != 0))) {
    return;
  }
  // One line a row: a continuation or a row added or taken away since
  // shows here.
  if (CountLineFeeds(stored_.data() + stored_at_, stored_.data() + end) != rows) return;
  trusted_header_ = true;
  header_total_ = total;
  header_size_ = size;
  stored_left_ = static_cast<int>(rows);
}

void HItemsHit::ReadStamp() {
  stamp_.clear();
  if (trusted_header_) {
    // The stamp's header follows the rows, where the header says they end.
    const size_t end = stored_at_ + static_cast<size_t>(header_size_);
    const size_t begin = end + sizeof kStampHeader - 2;
    if (stored_.compare(end, sizeof kStampHeader - 2, kStampHeader + 1) == 0 &&
        stored_.compare(begin + kStampLength, sizeof kStampType - 1, kStampType) == 0) {
      stamp_ = stored_.substr(begin, kStampLength);
    }
    return;
  }
  // The items end at the first nested header, which is the stamp's.
  const size_t header = sizeof kStampHeader - 1;
  const size_t at = stored_.compare(0, header - 1, kStampHeader + 1) == 0 ? 0 : stored_.find(kStampHeader);
  if (at == std::string::npos) return;
  const size_t begin = at == 0 && stored_[0] == ' ' ? header - 1 : at + header;
  if (stored_.compare(begin + kStampLength, sizeof kStampType - 1, kStampType) != 0) return;
  stamp_ = stored_.substr(begin, kStampLength);
}

std::string HItemsHit::StoredStamp(const char* path) {
  // A stamped ranking ends "\n object <stamp> : Stamp\n end\nend\n".
  static const char kEnd[] = " : Stamp\n end\nend\n";
  const size_t tail = kStampLength + sizeof kEnd - 1 + sizeof kStampHeader - 1;
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "";
  struct stat info;
  std::string stamp;
  char bytes[64];
  if (fstat(fd, &info) == 0 && info.st_size >= static_cast<off_t>(tail) &&
      pread(fd, bytes, tail, info.st_size - static_cast<off_t>(tail)) == static_cast<ssize_t>(tail) &&
      memcmp(bytes, kStampHeader, sizeof kStampHeader - 1) == 0 &&
      memcmp(bytes + sizeof kStampHeader - 1 + kStampLength, kEnd, sizeof kEnd - 1) == 0) {
    stamp.assign(bytes + sizeof kStampHeader - 1, kStampLength);
  }
  close(fd);
  return stamp;
}

namespace {

enum StoredLine { kStoredItem, kStoredSkip, kStoredEnd };

// One line of a stored ranking, read by the rules of the object store: an
// item line is a blank, the name, "=" and the count (and, for kinds that
// keep them, a blank and the bytes); a continuation (tab)
// or a line without "=" in its first kLineSize - 1 bytes is passed over;
// an empty line, the end line or a nested object ends the ranking.
StoredLine ParseStoredLine(const char* line, size_t length, bool rejoin, HString& name, int& count,
                           long long& bytes) {
  if (length == 0) return kStoredEnd;
  if (line[0] == '\t') return kStoredSkip;
  if (line[0] != ' ' || (length > kObjectWordLength && strncmp(line + 1, kObjectWord, kObjectWordLength) == 0)) {
    return kStoredEnd;
  }
  const size_t first_piece = std::min(length, static_cast<size_t>(HObjectStream::kLineSize - 1));
  const char* equals = static_cast<const char*>(memchr(line + 1, '=', first_piece - 1));
  if (equals == nullptr) return kStoredSkip;
  name.Assign(line + 1, static_cast<int>(equals - line - 1));
  const HString value(equals + 1, static_cast<int>(line + length - equals - 1));
  const char* number = value.CStr();
  if (rejoin) {
    const int last = value.FindLastChar('=');
    if (last >= 0) {
      name.Append("=");
      name.Append(HString(value.CStr(), last));
      number = value.CStr() + last + 1;
    }
  }
  count = ToInt(number);
  const char* blank = strchr(number, ' ');
  bytes = blank == nullptr ? 0 : strtoll(blank + 1, nullptr, 10);
  if (bytes < 0) bytes = 0;
  return kStoredItem;
}

}  // namespace

bool HItemsHit::ReadStoredItem() {
  if (in_runs_) return ReadStoredRun();
  HString name;
  int count = 0;
  long long bytes = 0;
  while (stored_at_ < stored_.size()) {
    const char* line = stored_.data() + stored_at_;
    const char* feed = strchr(line, '\n');
    const size_t length = feed == nullptr ? strlen(line) : static_cast<size_t>(feed - line);
    stored_at_ += length + (feed == nullptr ? 0 : 1);
    const StoredLine kind = ParseStoredLine(line, length, rejoin_, name, count, bytes);
    if (kind == kStoredEnd) break;
    if (kind == kStoredSkip) continue;
    --stored_left_;
    const int before = table_.Count();
    HItemEntry* entry = table_.Set(name.CStr(), count, bytes);
    if (table_.Count() > before) loaded_.push_back(entry);
    return true;
  }
  stored_.clear();  // read to its end
  stored_at_ = 0;
  stored_left_ = 0;
  return false;
}

bool HItemsHit::ReadStoredRun() {
  const size_t run_start = loaded_.size();
  HString name;
  int count = 0;
  long long bytes = 0;
  bool found = false;
  HItemEntry first;  // the run's first row, for its group, count and bucket
  while (stored_at_ < stored_.size()) {
    const char* line = stored_.data() + stored_at_;
    const char* feed = strchr(line, '\n');
    const size_t length = feed == nullptr ? strlen(line) : static_cast<size_t>(feed - line);
    const size_t next = stored_at_ + length + (feed == nullptr ? 0 : 1);
    const StoredLine kind = ParseStoredLine(line, length, rejoin_, name, count, bytes);
    if (kind == kStoredEnd) break;
    if (kind == kStoredSkip) {
      stored_at_ = next;
      continue;
    }
    if (found) {
      HItemEntry row;
      row.name = name;
      row.bucket = static_cast<int>(HashString(name.CStr()) % HItemTable::kBuckets);
      if (row.bucket != first.bucket || count != first.count || RanksFirst(row) != RanksFirst(first)) break;
    } else {
      found = true;
      first.name = name;
      first.count = count;
      first.bucket = static_cast<int>(HashString(name.CStr()) % HItemTable::kBuckets);
    }
    stored_at_ = next;
    --stored_left_;
    const int before = table_.Count();
    HItemEntry* entry = table_.Set(name.CStr(), count, bytes);
    if (table_.Count() > before) loaded_.push_back(entry);
  }
  if (!found) {
    stored_.clear();  // read to its end
    stored_at_ = 0;
    stored_left_ = 0;
    return false;
  }
  std::reverse(loaded_.begin() + static_cast<std::ptrdiff_t>(run_start), loaded_.end());
  return true;
}

bool HItemsHit::TakeStoredDay(const HItemsHit& day) {
  if (!day.HoldsUnreadStoredRows()) return false;
  Empty();
  stored_ = day.stored_;
  stored_at_ = day.stored_at_;
  stored_left_ = day.stored_left_;
  rejoin_ = day.rejoin_;
  trusted_header_ = true;
  header_total_ = day.header_total_;
  in_runs_ = true;
  return true;
}

void HItemsHit::ReadAllStored() {
  while (ReadStoredItem()) {
  }
}

int HItemsHit::CountStoredItems(long long* sum) const {
  int items = 0;
  const char* const end = stored_.data() + stored_.size();
  for (const char* line = stored_.data() + stored_at_; line < end;) {
    const char* feed = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
    const size_t length = feed == nullptr ? static_cast<size_t>(end - line) : static_cast<size_t>(feed - line);
    const char* next = feed == nullptr ? end : feed + 1;
    // Counting needs no name: an item line is a blank, no "object ", an "=".
    if (length == 0 || line[0] != ' ') {
      if (length > 0 && line[0] == '\t') {
        line = next;
        continue;
      }
      break;
    }
    if (length > kObjectWordLength && line[1] == kObjectWord[0] &&
        strncmp(line + 1, kObjectWord, kObjectWordLength) == 0) {
      break;
    }
    // A stored item ends in "=" and its count: look back over the digits
    // first, and search the line only when that finds no "=".
    const char* back = line + length - 1;
    while (back > line && *back >= '0' && *back <= '9') --back;
    if (*back == ' ' && back > line + 1 && back[-1] >= '0' && back[-1] <= '9') {
      // The bytes after the count: the count is the figure before them.
      --back;
      while (back > line && *back >= '0' && *back <= '9') --back;
    }
    const bool counted_item = *back == '=' && back > line && length < static_cast<size_t>(HObjectStream::kLineSize);
    if (counted_item ||
        memchr(line + 1, '=', std::min(length, static_cast<size_t>(HObjectStream::kLineSize - 1)) - 1) != nullptr) {
      ++items;
      if (sum != nullptr && counted_item) *sum += strtoll(back + 1, nullptr, 10);
    }
    line = next;
  }
  return items;
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
  ReadAllStored();
  std::vector<const HItemEntry*> rows;
  const auto keep = [&](const HItemEntry* entry) {
    if (IsStorableItem(entry->name.CStr())) rows.push_back(entry);
  };
  if (sorted_) {
    for (int i = 0; i < sorted_count_ && i < table_.Count(); ++i) keep(sorted_[i]);
  } else {
    for (const HItemEntry* entry : loaded_) keep(entry);
  }
  // The header, when the rows go in ranking order: the RanksFirst group,
  // then largest count, then bucket (a sum of this one day lists each run
  // of equal ones the other way round, see ReadStoredRun).
  bool ranked = true;
  long long total = 0;
  long long size = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    const HItemEntry& row = *rows[i];
    total += row.count;
    size += stream.Depth() + static_cast<long long>(row.name.Length()) + 2 + DecimalLength(row.count) +
            (row.bytes != 0 ? 1 + DecimalLength(row.bytes) : 0);
    if (i == 0 || !ranked) continue;
    const HItemEntry& before = *rows[i - 1];
    const bool first = RanksFirst(row);
    const bool before_first = RanksFirst(before);
    if (first != before_first) {
      ranked = before_first;
    } else if (row.count != before.count) {
      ranked = row.count < before.count;
    } else {
      ranked = row.bucket >= before.bucket;
    }
  }
  if (ranked && total >= 0) {
    char header[96];
    snprintf(header, sizeof header, "rows %zu total %lld size %lld", rows.size(), total, size);
    stream.WriteUncheckedProperty("", header);
  }
  for (const HItemEntry* entry : rows) stream.WriteUncheckedCount(entry->name.CStr(), entry->count, entry->bytes);
  if (stamp_.size() == kStampLength) {
    stream.BeginObject(stamp_.c_str(), "Stamp");
    stream.EndObject();
  }
  stream.EndObject();
  return true;
}

int HItemsHit::Unit() {
  if (unit_ < 0) unit_ = log_ == nullptr ? 0 : log_->Unit();
  return unit_;
}

namespace {

// Counts the lines of one day into a ranking's table: the page requests
// of the settings' PageRule, or every response, by the items ItemKey
// finds.
class HItemsCounter : public IDayCounter {
 public:
  HItemsCounter(HItemsHit& items, const HPageRule& rule, const char* filter)
      : IDayCounter(kItemReadLimit),
        items_(items),
        rule_(rule),
        filtered_(filter != nullptr),
        filter_(filter == nullptr ? "" : filter),
        every_response_(items.CountsEveryResponse()),
        every_(items.IgnoresPageRule()),
        bytes_(items.CountsBytes()) {}

  bool Offer(char* line) override {
    if (every_response_) {
      const int format = DetectLogFormat(line);
      if (format < 0 || !rule_.InAudience(line, format)) return false;
      const char* item = items_.ItemKey(line, format, nullptr, Filter());
      if (item == nullptr) return false;
      items_.CountingTable().Add(item, 1);
      return true;
    }
    // CountPageRequests, with each counted line shown whole first.
    long long line_bytes = 0;  // of the line ItemKey sees, when kept
    const auto check = [&](const char* text, int format) {
      if (every_ ? !rule_.InAudience(text, format) : !rule_.LineCounts(text, format)) return false;
      if (bytes_) line_bytes = std::max(0LL, ExtractBytes(text, format));
      items_.ReadWholeLine(text, format);
      return true;
    };
    const auto accept = [&](char* text, int format, const char* path, int length) {
      if (!every_ && !rule_.PathCounts(path, length)) return false;
      const char* item = items_.ItemKey(text, format, path, Filter());
      if (item == nullptr) return false;
      items_.CountingTable().Add(item, 1, line_bytes);
      return true;
    };
    return OfferCheckedPath(line, check, accept);
  }

  // Offer, read from the facts.
  bool OfferFacts(HLineFacts& facts) override {
    if (every_response_) {
      if (facts.Format() < 0 || !facts.InAudience(rule_)) return false;
      const char* item = items_.FactsKey(facts, Filter());
      if (item == nullptr) return false;
      items_.CountingTable().Add(item, 1);
      return true;
    }
    if (every_ ? !facts.InAudience(rule_) : !facts.LineCounts(rule_)) return false;
    if (facts.Path() == nullptr) return false;
    if (!every_ && !facts.PathCounts(rule_)) return false;
    const long long line_bytes = bytes_ ? std::max(0LL, facts.Bytes()) : 0;
    // The facts are of the whole line: it is read only for lines that count.
    items_.ReadWholeFacts(facts);
    const char* item = items_.FactsKey(facts, Filter());
    if (item == nullptr) return false;
    items_.CountingTable().Add(item, 1, line_bytes);
    return true;
  }

  // The table's entries in the order they were made, so that a table
  // loaded from them iterates, and so ranks equal counts, alike.
  void SaveResult(std::string& out) const override {
    HItemTable& table = items_.CountingTable();
    PutResultNumber(out, table.Count());
    for (int i = 0; i < table.Count(); ++i) {
      const HItemEntry* entry = table.MadeAt(i);
      PutResultText(out, entry->name.CStr());
      PutResultNumber(out, entry->count);
      PutResultNumber(out, entry->bytes);
    }
  }
  bool LoadResult(const char*& p, const char* end) override {
    long long n = 0;
    if (!GetResultNumber(p, end, &n) || n < 0) return false;
    std::string name;
    for (long long i = 0; i < n; ++i) {
      long long count = 0;
      long long bytes = 0;
      if (!GetResultText(p, end, &name) || !GetResultNumber(p, end, &count) || !GetResultNumber(p, end, &bytes)) {
        return false;
      }
      items_.CountingTable().Add(name.c_str(), static_cast<int>(count), bytes);
    }
    return true;
  }

 private:
  const char* Filter() const { return filtered_ ? filter_.c_str() : nullptr; }

  HItemsHit& items_;
  const HPageRule& rule_;
  const bool filtered_;
  const std::string filter_;
  const bool every_response_;
  const bool every_;
  const bool bytes_;
};

}  // namespace

const char* HItemsHit::FactsKey(HLineFacts& facts, const char* filter) {
  if (CountsEveryResponse()) return ItemKey(facts.WholeCopy(), facts.Format(), nullptr, filter);
  const char* path = nullptr;
  char* line = facts.CutCopy(&path);
  return ItemKey(line, facts.Format(), path, filter);
}

std::unique_ptr<IDayCounter> HItemsHit::ItemCounter(const char* filter) {
  const HPageRule& rule = log_ == nullptr ? DefaultPageRule() : log_->PageRule();
  BeginCount();
  return std::unique_ptr<IDayCounter>(new HItemsCounter(*this, rule, filter));
}

int HItemsHit::CountItems(const char* file, const char* filter) {
  if (!CanCount()) return -1;
  const int counted = CountDayFileLines(file, ItemCounter(filter));
  if (counted >= 0) SortItems();
  return counted;
}

void HItemsHit::SortItems() {
  ReadAllStored();
  trusted_header_ = false;
  in_runs_ = false;
  loaded_.clear();
  loaded_place_ = 0;
  const int count = table_.Count();
  if (count == 0) return;
  std::unique_ptr<HItemEntry*[]> sorted(new HItemEntry*[count]);
  table_.Rank(sorted.get());
  std::stable_partition(sorted.get(), sorted.get() + count,
                        [this](const HItemEntry* entry) { return RanksFirst(*entry); });
  sorted_ = std::move(sorted);
  sorted_count_ = count;
  position_ = 0;
}

std::string HItemsHit::OwnHostsText() {
  std::string hosts;
  if (log_ != nullptr) {
    for (const std::string& host : log_->OwnHosts()) hosts += host + " ";
  }
  return hosts;
}

std::string HItemsHit::StampFor(const std::string& day_stamp) {
  const std::string kind = day_stamp.empty() ? std::string() : KindStamp();
  if (kind.empty()) return day_stamp;
  std::string stamp;
  AppendStampHash(day_stamp + " " + kind, stamp);
  return stamp;
}

bool HItemsHit::AddDueDay(HDayPass& pass, bool remove_total) {
  if (!day_.IsValid() || log_ == nullptr || !log_->MayCount(day_)) return false;
  const std::string stamp = StampFor(log_->DayStamp(day_));
  if (stamp.empty() || stamp == stamp_) return false;
  HString file;
  if (!log_->FindDayFile(file, day_)) return false;
  if (!CanCount()) return false;
  log_->MoveFirstDayBack(day_);
  Empty();
  pass.SetFile(file.CStr());
  std::unique_ptr<IDayCounter> counter = ItemCounter(nullptr);
  counter->SetStamp(stamp);
  pass.Add(std::move(counter), [this, remove_total](IDayCounter& counted) {
    SortItems();
    stamp_ = counted.Stamp();
    // The cached sum since the first day lacks this day now.
    if (remove_total && container_ != nullptr) container_->DeleteTotal();
    SetModified(true);
  });
  return true;
}

bool HItemsHit::ComputeDay(bool remove_total) {
  HDayPass pass;
  return AddDueDay(pass, remove_total) && pass.Run();
}

bool HItemsHit::IsCurrentDay() {
  if (!day_.IsValid() || log_ == nullptr || !log_->MayCount(day_)) return true;
  const std::string stamp = StampFor(log_->DayStamp(day_));
  return stamp.empty() || stamp == stamp_;
}

void HItemsHit::Empty() {
  trusted_header_ = false;
  in_runs_ = false;
  header_total_ = 0;
  stored_.clear();
  stored_at_ = 0;
  stored_left_ = 0;
  loaded_.clear();
  loaded_place_ = 0;
  sorted_.reset();
  sorted_count_ = 0;
  position_ = 0;
  table_.Clear();
}

int HItemsHit::RankedCount() {
  ReadAllStored();
  return sorted_ ? std::min(sorted_count_, table_.Count()) : static_cast<int>(loaded_.size());
}

const HItemEntry* HItemsHit::Ranked(int i) {
  if (i < 0 || i >= RankedCount()) return nullptr;
  return sorted_ ? sorted_[i] : loaded_[static_cast<size_t>(i)];
}

void HItemsHit::AddTo(HItemTable& sum) {
  if (&sum == &table_) return;
  ReadAllStored();
  if (sorted_) {
    for (int i = 0; i < sorted_count_ && i < table_.Count(); ++i) sum.Add(sorted_[i]);
  } else if (loaded_.size() == static_cast<size_t>(table_.Count())) {
    for (const HItemEntry* entry : loaded_) sum.Add(entry);
  } else {
    sum.AddAll(table_);
  }
}

void HItemsHit::DrainInto(HItemTable& sum) {
  if (&sum == &table_) return;
  if (sorted_ || table_.Count() != 0) {
    AddTo(sum);
  } else {
    // ParseStoredLine's rules, read in place: no allocation for a line.
    std::string name;
    const char* const end = stored_.data() + stored_.size();
    for (const char* line = stored_.data() + stored_at_; line < end;) {
      const char* feed = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
      const char* stop = feed == nullptr ? end : feed;
      const size_t length = static_cast<size_t>(stop - line);
      const char* next = feed == nullptr ? end : feed + 1;
      if (length == 0) break;
      if (line[0] == '\t') {
        line = next;
        continue;
      }
      if (line[0] != ' ' || (length > kObjectWordLength && strncmp(line + 1, kObjectWord, kObjectWordLength) == 0)) {
        break;
      }
      const size_t first_piece = std::min(length, static_cast<size_t>(HObjectStream::kLineSize - 1));
      const char* equals = static_cast<const char*>(memchr(line + 1, '=', first_piece - 1));
      if (equals != nullptr) {
        name.assign(line + 1, static_cast<size_t>(equals - line - 1));
        const char* number = equals + 1;
        if (rejoin_) {
          const char* last = static_cast<const char*>(memrchr(number, '=', static_cast<size_t>(stop - number)));
          if (last != nullptr) {
            name.append("=").append(number, static_cast<size_t>(last - number));
            number = last + 1;
          }
        }
        const char* blank = static_cast<const char*>(memchr(number, ' ', static_cast<size_t>(stop - number)));
        long long count = 0;
        if (!ReadPlainNumber(number, stop, 9, &count)) count = atoi(number);
        long long bytes = 0;
        if (blank != nullptr && !ReadPlainNumber(blank + 1, stop, 18, &bytes)) bytes = strtoll(blank + 1, nullptr, 10);
        sum.Add(name.c_str(), static_cast<int>(count), bytes < 0 ? 0 : bytes);
      }
      line = next;
    }
  }
  Empty();
}

HDomainsHit::HDomainsHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Domains";
}

const char* HDomainsHit::ItemKey(char* line, int format, const char* path, const char* filter) {
  if (filter != nullptr && CompareNoCase(path, filter) != 0) return nullptr;
  const char* domain = ExtractDomain(line, format, Unit());
  if (domain != nullptr && log_ != nullptr && log_->ShortensAddresses() && ShortenAddress(domain, short_, sizeof short_)) {
    domain = short_;
  }
  return domain == nullptr || !IsStorableItem(domain) ? nullptr : domain;
}

HPagesHit::HPagesHit(const char* name, HItemsContainer* container) : HItemsHit(name, container) {
  type_name_ = "Pages";
  names_hold_equals_ = true;
}

const char* HPagesHit::FactsKey(HLineFacts& facts, const char* filter) {
  return filter == nullptr ? facts.Path() : HItemsHit::FactsKey(facts, filter);
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
