#include "stats/stored_counts.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "core/file_write.h"
#include "objects/object_stream.h"
#include "stats/day_files.h"

namespace {

const char kObjectWord[] = "object ";
constexpr size_t kObjectWordLength = sizeof kObjectWord - 1;

// The head of a kept index: what it is, the ranking file it was made from
// (its file, size, and a hash of its first and last bytes, which hold the
// ranking's header and its stamp; not its time, which a use of a kept sum
// moves), the length of the rows' text at that file's end, and the number
// of rows that follow. Rankings are replaced whole, by a rename: a new one
// is a new file.
struct IndexHeader {
  char magic[8];
  uint64_t device;
  uint64_t inode;
  uint64_t size;
  uint64_t ends;
  uint64_t text_length;
  uint64_t count;
};
const char kIndexMagic[8] = {'V', 'Z', 'I', 'N', 'D', 'X', '2', '\n'};
constexpr size_t kEndBytes = 512;

bool Describe(int fd, const struct stat& info, IndexHeader& header) {
  header.device = static_cast<uint64_t>(info.st_dev);
  header.inode = static_cast<uint64_t>(info.st_ino);
  header.size = static_cast<uint64_t>(info.st_size);
  char ends[2 * kEndBytes];
  const size_t size = static_cast<size_t>(info.st_size);
  const size_t each = size < kEndBytes ? size : kEndBytes;
  if (pread(fd, ends, each, 0) != static_cast<ssize_t>(each) ||
      pread(fd, ends + each, each, static_cast<off_t>(size - each)) != static_cast<ssize_t>(each)) {
    return false;
  }
  HStampHash hash;
  hash.Add(ends, 2 * each);
  header.ends = hash.Value();
  return true;
}

bool SameFile(const IndexHeader& a, const IndexHeader& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size && a.ends == b.ends;
}

// The count at `text` as atoi reads it, within `length` bytes.
long long CountAt(const char* text, size_t length) {
  size_t at = 0;
  while (at < length && isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < length && (text[at] == '-' || text[at] == '+')) negative = text[at++] == '-';
  long long value = 0;
  for (; at < length && text[at] >= '0' && text[at] <= '9' && value < 1000000000000LL; ++at) {
    value = value * 10 + (text[at] - '0');
  }
  return static_cast<int>(negative ? -value : value);
}

}  // namespace

HStoredCounts::~HStoredCounts() { Unmap(); }

void HStoredCounts::Unmap() {
  if (ranking_map_ != nullptr) munmap(ranking_map_, ranking_size_);
  if (index_map_ != nullptr) munmap(index_map_, index_size_);
  ranking_map_ = index_map_ = nullptr;
  ranking_size_ = index_size_ = 0;
  indexed_text_ = nullptr;
  indexed_length_ = 0;
  index_rows_ = nullptr;
  index_count_ = 0;
}

uint64_t HStoredCounts::Hash64(const char* name, size_t length) {
  HStampHash hash;
  hash.Add(name, length);
  return hash.Value();
}

bool HStoredCounts::OpenIndex(const std::string& path, const std::string& index_path) {
  Unmap();
  const int ranking = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (ranking < 0) return false;
  const int index = open(index_path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat ranking_info;
  struct stat index_info;
  IndexHeader header;
  IndexHeader now;
  bool ok = index >= 0 && fstat(ranking, &ranking_info) == 0 && fstat(index, &index_info) == 0 &&
            index_info.st_size >= static_cast<off_t>(sizeof header) &&
            pread(index, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
            memcmp(header.magic, kIndexMagic, sizeof kIndexMagic) == 0;
  if (ok) {
    ok = Describe(ranking, ranking_info, now) && SameFile(header, now) && header.text_length <= header.size &&
         header.count <= header.text_length &&
         static_cast<uint64_t>(index_info.st_size) == sizeof header + header.count * sizeof(IndexRow);
  }
  if (ok && header.size > 0) {
    ranking_size_ = static_cast<size_t>(header.size);
    ranking_map_ = mmap(nullptr, ranking_size_, PROT_READ, MAP_PRIVATE, ranking, 0);
    if (ranking_map_ == MAP_FAILED) ranking_map_ = nullptr;
    ok = ranking_map_ != nullptr;
  }
  if (ok) {
    index_size_ = static_cast<size_t>(index_info.st_size);
    index_map_ = mmap(nullptr, index_size_, PROT_READ, MAP_PRIVATE, index, 0);
    if (index_map_ == MAP_FAILED) index_map_ = nullptr;
    ok = index_map_ != nullptr;
  }
  if (index >= 0) close(index);
  close(ranking);
  if (!ok) {
    Unmap();
    return false;
  }
  indexed_length_ = static_cast<size_t>(header.text_length);
  indexed_text_ = static_cast<const char*>(ranking_map_) + (ranking_size_ - indexed_length_);
  index_rows_ = reinterpret_cast<const IndexRow*>(static_cast<const char*>(index_map_) + sizeof header);
  index_count_ = static_cast<size_t>(header.count);
  rows_.clear();
  slots_.clear();
  text_.clear();
  return true;
}

bool HStoredCounts::SaveIndex(const std::string& path, const std::string& index_path) const {
  // A hostile day's millions of rows keep no index: its file and the
  // memory to make it would be as big as the ranking.
  if (index_rows_ != nullptr || rows_.size() > kMostIndexedRows) return false;
  const int ranking = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (ranking < 0) return false;
  struct stat info;
  IndexHeader header;
  bool same = fstat(ranking, &info) == 0 && static_cast<uint64_t>(info.st_size) >= text_.size();
  // The rows' text must be the file's end, byte for byte.
  const off_t base = same ? info.st_size - static_cast<off_t>(text_.size()) : 0;
  char piece[65536];
  for (size_t at = 0; same && at < text_.size(); at += sizeof piece) {
    const size_t length = std::min(sizeof piece, text_.size() - at);
    same = pread(ranking, piece, length, base + static_cast<off_t>(at)) == static_cast<ssize_t>(length) &&
           memcmp(piece, text_.data() + at, length) == 0;
  }
  same = same && Describe(ranking, info, header);
  close(ranking);
  if (!same) return false;
  memcpy(header.magic, kIndexMagic, sizeof kIndexMagic);
  header.text_length = text_.size();
  std::vector<IndexRow> rows;
  rows.reserve(rows_.size());
  for (const uint32_t slot : slots_) {
    if (slot == 0) continue;
    const Row& row = rows_[slot - 1];
    rows.push_back(IndexRow{Hash64(text_.data() + row.name, row.length), row.name, row.length, row.number, 0});
  }
  std::sort(rows.begin(), rows.end(),
            [](const IndexRow& a, const IndexRow& b) { return a.hash != b.hash ? a.hash < b.hash : a.name < b.name; });
  header.count = rows.size();
  HFileWriter out;
  if (!out.Open(index_path.c_str())) return false;
  out.Write(&header, sizeof header);
  if (!rows.empty()) out.Write(rows.data(), rows.size() * sizeof(IndexRow));
  return out.Commit();
}

long long HStoredCounts::FindIndexed(const char* name) const {
  const size_t length = strlen(name);
  const uint64_t hash = Hash64(name, length);
  const IndexRow* const end = index_rows_ + index_count_;
  const IndexRow* row =
      std::lower_bound(index_rows_, end, hash, [](const IndexRow& a, uint64_t value) { return a.hash < value; });
  for (; row != end && row->hash == hash; ++row) {
    if (row->length != length || row->name > indexed_length_ || indexed_length_ - row->name < length ||
        memcmp(indexed_text_ + row->name, name, length) != 0 || row->number >= indexed_length_) {
      continue;
    }
    return CountAt(indexed_text_ + row->number, indexed_length_ - row->number);
  }
  return 0;
}

uint32_t HStoredCounts::Hash(const char* name, size_t length) {
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < length; ++i) {
    hash ^= static_cast<unsigned char>(name[i]);
    hash *= 16777619u;
  }
  return hash;
}

bool HStoredCounts::Index(const std::string& text, size_t from, bool rejoin) {
  HStoredText held;
  held.Assign(std::string(text));
  return Index(held, from, rejoin);
}

bool HStoredCounts::Index(const HStoredText& text, size_t from, bool rejoin) {
  Unmap();
  if (text.size() > UINT32_MAX) return false;
  text_ = text.Tail(from);
  rows_.clear();
  slots_.clear();
  mask_ = 0;
  const char* const begin = text_.data();
  const char* const end = begin + text_.size();
  rows_.reserve(text_.size() / 16);
  for (const char* line = begin; line < end;) {
    const char* feed = static_cast<const char*>(memchr(line, '\n', static_cast<size_t>(end - line)));
    const char* line_end = feed == nullptr ? end : feed;
    const size_t length = static_cast<size_t>(line_end - line);
    if (length == 0 || line[0] != ' ' ||
        (length > kObjectWordLength && strncmp(line + 1, kObjectWord, kObjectWordLength) == 0)) {
      break;  // the end of the ranking, as its reader sees it
    }
    if (length >= static_cast<size_t>(HObjectStream::kLineSize - 1)) return false;
    const char* equals = static_cast<const char*>(memchr(line + 1, '=', length - 1));
    if (equals == nullptr) return false;
    const char* number = equals + 1;
    if (rejoin) {
      for (const char* at = line_end - 1; at > equals; --at) {
        if (*at == '=') {
          number = at + 1;
          break;
        }
      }
    }
    const char* name_end = number - 1;
    Row row;
    row.name = static_cast<uint32_t>(line + 1 - begin);
    row.length = static_cast<uint32_t>(name_end - line - 1);
    row.hash = Hash(line + 1, row.length);
    row.number = static_cast<uint32_t>(number - begin);
    rows_.push_back(row);
    line = feed == nullptr ? end : feed + 1;
  }
  size_t size = 8;
  while (size < rows_.size() * 2) size *= 2;
  slots_.assign(size, 0);
  mask_ = static_cast<uint32_t>(size - 1);
  for (size_t i = 0; i < rows_.size(); ++i) {
    const Row& row = rows_[i];
    for (uint32_t slot = row.hash & mask_;; slot = (slot + 1) & mask_) {
      if (slots_[slot] == 0) {
        slots_[slot] = static_cast<uint32_t>(i + 1);
        break;
      }
      Row& other = rows_[slots_[slot] - 1];
      if (other.hash == row.hash && other.length == row.length &&
          memcmp(begin + other.name, begin + row.name, row.length) == 0) {
        other.number = row.number;  // stored twice: the last count holds
        break;
      }
    }
  }
  return true;
}

long long HStoredCounts::Find(const char* name) const {
  if (index_rows_ != nullptr) return FindIndexed(name);
  if (slots_.empty()) return 0;
  const size_t length = strlen(name);
  const uint32_t hash = Hash(name, length);
  for (uint32_t slot = hash & mask_; slots_[slot] != 0; slot = (slot + 1) & mask_) {
    const Row& row = rows_[slots_[slot] - 1];
    if (row.hash == hash && row.length == length && memcmp(text_.data() + row.name, name, length) == 0) {
      return atoi(text_.data() + row.number);
    }
  }
  return 0;
}
