// HStoredCounts, the counts of one stored ranking looked up by name without
// making a table of it: the period a ranking is compared with is looked up
// only for the rows a page shows, so its rows are indexed where they lie,
// as the stored lines (" name=count[ bytes]") read back.
#ifndef STATS_STORED_COUNTS_H_
#define STATS_STORED_COUNTS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/stored_text.h"

class HStoredCounts {
 public:
  HStoredCounts() = default;
  HStoredCounts(const HStoredCounts&) = delete;
  HStoredCounts& operator=(const HStoredCounts&) = delete;
  ~HStoredCounts();

  // Indexes the item lines of `text` from `from` on, up to the line that
  // ends a stored ranking (an empty line, the end line, a nested header),
  // names that held "=" rejoined when `rejoin` (the name goes on up to the
  // value's last "="). False, with nothing indexed, when a line is not one
  // a ranking written whole holds: a continuation, a line without "=", a
  // line longer than the stored format's first piece.
  bool Index(const HStoredText& text, size_t from, bool rejoin);
  bool Index(const std::string& text, size_t from, bool rejoin);
  // The count stored for `name` (the last one when it is stored twice), as
  // a table of the ranking would give it; 0 when it is not there.
  long long Find(const char* name) const;
  int Rows() const { return static_cast<int>(rows_.size()); }

  // Looks the counts of the ranking file `path` up through the index kept
  // for it in `index_path` (SaveIndex), without reading the ranking: a
  // few rows cost the same however many it holds. False, with nothing
  // looked up, when there is no such index or it was made from another
  // state of the file.
  bool OpenIndex(const std::string& path, const std::string& index_path);
  // Keeps what Index found in `index_path` for OpenIndex, when the text
  // Index was given is the end of the file `path` as it is now. False when
  // it is not, or the index cannot be written (the old one then stays).
  bool SaveIndex(const std::string& path, const std::string& index_path) const;
  static constexpr size_t kMostIndexedRows = 1000000;

 private:
  struct Row {
    uint32_t name;    // offset of the name in text_
    uint32_t length;  // of the name
    uint32_t hash;
    uint32_t number;  // offset of the count's text, read when asked for
  };
  static uint32_t Hash(const char* name, size_t length);

  HStoredText text_;  // shares a mapped ranking's pages
  std::vector<Row> rows_;
  std::vector<uint32_t> slots_;  // 1 + the row's place, 0 for an empty slot
  uint32_t mask_ = 0;

  // A kept index: its rows by hash, offsets from the start of the rows'
  // text, which is the end of the mapped ranking file.
  struct IndexRow {
    uint64_t hash;
    uint32_t name;
    uint32_t length;
    uint32_t number;
    uint32_t unused;
  };
  static uint64_t Hash64(const char* name, size_t length);
  void Unmap();
  long long FindIndexed(const char* name) const;
  void* ranking_map_ = nullptr;
  size_t ranking_size_ = 0;
  void* index_map_ = nullptr;
  size_t index_size_ = 0;
  const char* indexed_text_ = nullptr;
  size_t indexed_length_ = 0;
  const IndexRow* index_rows_ = nullptr;
  size_t index_count_ = 0;
};

#endif  // STATS_STORED_COUNTS_H_
