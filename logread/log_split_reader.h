// The reading side of the split: whole lines out of the carry-over file and
// the access log, a hash of what was read (so that a later split can tell
// whether the log still holds it), and the date of a line.
#ifndef LOGREAD_LOG_SPLIT_READER_H_
#define LOGREAD_LOG_SPLIT_READER_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/date.h"
#include "logread/byte_source.h"

constexpr size_t kSplitChunkSize = 64 * 1024;
// The longest line the split keeps in memory. A longer one is no log line
// (a log of binary junk): it is dropped, up to its line feed, and counted
// with the lines that have no date.
constexpr size_t kMaxSplitLine = 1024 * 1024;

// A hash of a byte stream that does not depend on how the stream was cut
// into pieces: the bytes are taken in blocks of 32 at their offsets, four
// words a block in four independent lanes, which keeps it cheap next to
// reading the bytes at all.
class HStreamHash {
 public:
  void Add(const char* data, size_t n);
  uint64_t Value() const;

 private:
  static constexpr size_t kBlock = 32;
  static constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

  void Block(const char* p);

  uint64_t lanes_[4] = {1, 2, 3, 4};
  char pending_[kBlock] = {};
  size_t pending_size_ = 0;
  uint64_t length_ = 0;
};

// The hash of the `n` bytes of an open file from offset `from`; false when
// it has fewer.
bool HashRange(int fd, long long from, long long n, uint64_t* value);

// Reads a file line by line through one buffer that grows only for a line
// longer than it, so a line of up to kMaxSplitLine bytes comes whole. A
// line keeps its line feed; only the file's last line may lack one. After
// the end, a further call reads what has been appended since.
class HLineReader {
 public:
  explicit HLineReader(int fd, HStreamHash* hash = nullptr) : fd_(fd), hash_(hash) {}
  // Reads the content of `source` (decompressed when it is compressed).
  explicit HLineReader(HByteSource* source) : fd_(-1), hash_(nullptr), source_(source) {}

  // False at the end of what the file holds now.
  bool Next(char** line, size_t* length);
  long long BytesRead() const { return read_; }
  // The bytes of the lines given so far (BytesRead less what is read ahead).
  long long BytesTaken() const { return read_ - static_cast<long long>(end_ - begin_); }
  bool Failed() const { return failed_; }
  // errno of a failed read.
  int Error() const { return error_; }
  // Lines dropped for being longer than kMaxSplitLine.
  long long Overlong() const { return overlong_; }

 private:
  // The first read is short: most requests need only the first line of the
  // carry-over file to see that nothing is to be split. Later reads grow to
  // kSplitChunkSize.
  static constexpr size_t kFirstRead = 4096;

  bool Fill();

  int fd_;
  HStreamHash* hash_;
  HByteSource* source_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  size_t size_ = 0;
  size_t want_ = kFirstRead;
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t begin_moved_ = 0;
  long long read_ = 0;
  long long overlong_ = 0;
  bool skipping_ = false;  // inside a line longer than kMaxSplitLine
  bool failed_ = false;
  int error_ = 0;
};

// Parses with the line cut off by a zero byte, which the reader's buffer
// always has room for, and restores the byte.
template <class Parse>
auto OnLine(char* line, size_t length, Parse parse) {
  char* end = line[length - 1] == '\n' ? line + length - 1 : line + length;
  const char saved = *end;
  *end = 0;
  auto result = parse(line);
  *end = saved;
  return result;
}

// The date of a line in a space layout, remembered for the next line:
// lines of one day share the text "[dd/Mon/yyyy", and when that text stands
// where the parser reads it (at FindCommonDate, its "/"s three and seven
// bytes on), the date depends on it alone.
class HDateCache {
 public:
  // ParseLogDate, or the date of the line before when it has the same text.
  // For a space layout, `open` is set to where FindCommonDate found the
  // date (null when nowhere); other layouts leave it null.
  bool Parse(const char* line, size_t length, int format, HDate& date, const char** open = nullptr);

 private:
  static constexpr size_t kKeyLength = 12;  // "[dd/Mon/yyyy"
  char key_[kKeyLength] = {};
  HDate date_;
  bool valid_ = false;
};

#endif  // LOGREAD_LOG_SPLIT_READER_H_
