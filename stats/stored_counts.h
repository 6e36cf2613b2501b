// HStoredCounts, the counts of one stored ranking looked up by name without
// making a table of it: the period a ranking is compared with is looked up
// only for the rows a page shows, so its rows are indexed where they lie,
// as the stored lines (" name=count[ bytes]") read back.
#ifndef STATS_STORED_COUNTS_H_
#define STATS_STORED_COUNTS_H_

#include <cstdint>
#include <string>
#include <vector>

class HStoredCounts {
 public:
  // Indexes the item lines of `text` from `from` on, up to the line that
  // ends a stored ranking (an empty line, the end line, a nested header),
  // names that held "=" rejoined when `rejoin` (the name goes on up to the
  // value's last "="). False, with nothing indexed, when a line is not one
  // a ranking written whole holds: a continuation, a line without "=", a
  // line longer than the stored format's first piece.
  bool Index(const std::string& text, size_t from, bool rejoin);
  // The count stored for `name` (the last one when it is stored twice), as
  // a table of the ranking would give it; 0 when it is not there.
  long long Find(const char* name) const;
  int Rows() const { return static_cast<int>(rows_.size()); }

 private:
  struct Row {
    uint32_t name;    // offset of the name in text_
    uint32_t length;  // of the name
    uint32_t hash;
    uint32_t number;  // offset of the count's text, read when asked for
  };
  static uint32_t Hash(const char* name, size_t length);

  std::string text_;
  std::vector<Row> rows_;
  std::vector<uint32_t> slots_;  // 1 + the row's place, 0 for an empty slot
  uint32_t mask_ = 0;
};

#endif  // STATS_STORED_COUNTS_H_
