// HDayFiles, the day files of a site as the statistics see them: which
// completed days have one, and each file's stamp, the numbers that change
// whenever the file does (its size and time of last change; not its inode,
// so that a site copied or restored with its times counts nothing again). A statistic keeps the stamp of the file it counted and counts
// the day again when the stamp differs, so that lines added to a day after
// it was counted (late lines, an import, an overlapping file) reach every
// figure of that day. The folder of the day files is listed once, on first
// use, by name (a file the folder does not list as a regular one is looked
// at with a stat); each stamp is read with one stat when first asked for,
// so that a page of a few days costs the same however many days there are.
#ifndef STATS_DAY_FILES_H_
#define STATS_DAY_FILES_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/date.h"

class HDayFiles {
 public:
  // `pattern` is a day file name pattern as DateFileName takes it ("yy",
  // "mm" and "dd" in its last component); days before `today` are complete.
  // Forgets what was listed or read before.
  void Reset(const std::string& pattern, const HDate& today);

  // The complete days with a day file, oldest first. Empty when the
  // pattern or its folder cannot be read.
  const std::vector<HDate>& Days();
  // Those of Days from `first` to `last`, oldest first. Unless the folder
  // was listed already, a period of at most kLookedUpDays days looks for
  // each day's file by its name (and keeps its stamp) instead.
  static constexpr int kLookedUpDays = 400;
  std::vector<HDate> DaysIn(const HDate& first, const HDate& last);
  // Whether `first` and `last` are valid and hold at most kLookedUpDays
  // days from the one to the other: few enough to look for each by name.
  static bool IsShortPeriod(const HDate& first, const HDate& last);
  // The stamp of the day file of `date` as 16 hex digits, or empty when the
  // day has no readable regular file.
  std::string Stamp(const HDate& date);
  // For every day of DaysIn(first, last), its date and the numbers its
  // stamp is made of, appended to `text` as binary to be hashed: one stat
  // a day and no hash of each, for the stamp of a sum over many days.
  void AppendStampsIn(const HDate& first, const HDate& last, std::string& text);

  // The day a file name of the pattern names, or an invalid date. Two
  // digits of year are read as the latest such year not after `today`'s.
  static HDate DayOfName(const std::string& pattern, const std::string& path, const HDate& today);

 private:
  void List();
  // The day file's name of `date`, valid until the next call; only with
  // has_places_.
  const char* DayPath(const HDate& date);

  std::string pattern_;
  std::string path_;  // a day's file name, made in place from the pattern
  size_t places_[3] = {};
  bool has_places_ = false;
  HDate today_;
  bool listed_ = false;
  std::vector<HDate> days_;
  std::map<int, std::string> stamps_;  // by yyyymmdd, as read
};

// The stamp of any file (its size and time of change, hashed), or empty
// when it is not there: for the data a kind of statistic counts by.
std::string FileStamp(const std::string& path);

// 16 hex digits of a 64-bit FNV-1a hash of `text`, appended to `out`: a
// short, stable name for what a figure was counted from.
void AppendStampHash(const std::string& text, std::string& out);

// The same hash of a text given in pieces, without joining them.
class HStampHash {
 public:
  void Add(const char* text, size_t length);
  void Add(const std::string& text) { Add(text.data(), text.size()); }
  void AppendTo(std::string& out) const;
  uint64_t Value() const { return hash_; }

 private:
  uint64_t hash_ = 14695981039346656037ull;
};

#endif  // STATS_DAY_FILES_H_
