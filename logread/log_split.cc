#include "logread/log_split.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "core/file.h"
#include "core/text.h"
#include "logread/log_line.h"

void (*LogSplitStep)(SplitStep kind) = nullptr;

const char kDayFilePattern[] = "logs/QLyymmdd.log";

namespace {

const char kTempSuffix[] = ".Tmp";
const char kCarryOverName[] = "vazivev.log";
const char kJournalName[] = "vazivev.journal";
const char kHeaderMark[] = "format=";
constexpr size_t kHeaderMarkLength = sizeof kHeaderMark - 1;
const char kDayEntry[] = "day";
const char kCommitEntry[] = "commit";
constexpr size_t kChunkSize = 64 * 1024;
constexpr size_t kWriteBuffer = 64 * 1024;
// Day files open at once: as many as the process may open, up to a year
// and a half. A log of more days (or whose dates jump about more) closes and
// reopens them, copying what they hold. Each has a write buffer of its own.
constexpr size_t kMaxOpenDays = 512;
constexpr size_t kFewestOpenDays = 8;
constexpr size_t kDayWriteBuffer = 16 * 1024;

void Step(SplitStep kind = kSplitFileStep) {
  if (LogSplitStep != nullptr) LogSplitStep(kind);
}

HString Joined(const char* a, const char* b) {
  HString text(a);
  text.Append(b);
  return text;
}

bool SameDay(const HDate& a, const HDate& b) { return a.day == b.day && a.month == b.month && a.year == b.year; }

// The data must be on the disk before a rename makes it the file. A file
// system that cannot sync at all is no reason to refuse every split.
bool Synced(int descriptor) { return fsync(descriptor) == 0 || errno == EINVAL || errno == ENOTSUP; }

// -1 when the file does not exist.
long long FileSize(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// A hash of a byte stream that does not depend on how the stream was cut
// into pieces: the bytes are taken in blocks of 32 at their offsets, four
// words a block in four independent lanes, which keeps it cheap next to
// reading the bytes at all.
class HStreamHash {
 public:
  void Add(const char* data, size_t n) {
    length_ += n;
    if (pending_size_ > 0) {
      const size_t take = n < kBlock - pending_size_ ? n : kBlock - pending_size_;
      memcpy(pending_ + pending_size_, data, take);
      pending_size_ += take;
      data += take;
      n -= take;
      if (pending_size_ < kBlock) return;
      Block(pending_);
      pending_size_ = 0;
    }
    for (; n >= kBlock; data += kBlock, n -= kBlock) Block(data);
    memcpy(pending_, data, n);
    pending_size_ = n;
  }
  uint64_t Value() const {
    HStreamHash last = *this;
    memset(last.pending_ + last.pending_size_, 0, kBlock - last.pending_size_);
    last.Block(last.pending_);
    uint64_t h = length_;
    for (const uint64_t lane : last.lanes_) {
      h = (h ^ lane) * kMultiplier;
      h ^= h >> 29;
    }
    return h;
  }

 private:
  static constexpr size_t kBlock = 32;
  static constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;

  void Block(const char* p) {
    for (int i = 0; i < 4; ++i) {
      uint64_t word;
      memcpy(&word, p + 8 * i, 8);
      const uint64_t mixed = (lanes_[i] ^ word) * kMultiplier;
      lanes_[i] = mixed << 31 | mixed >> 33;
    }
  }

  uint64_t lanes_[4] = {1, 2, 3, 4};
  char pending_[kBlock] = {};
  size_t pending_size_ = 0;
  uint64_t length_ = 0;
};

// The hash of the first `n` bytes of an open file; false when it has fewer.
bool HashPrefix(int fd, long long n, uint64_t* value) {
  HStreamHash hash;
  std::vector<char> chunk(kChunkSize);
  for (long long at = 0; at < n;) {
    const size_t want = static_cast<size_t>(n - at < static_cast<long long>(kChunkSize) ? n - at : kChunkSize);
    const ssize_t got = pread(fd, chunk.data(), want, at);
    if (got <= 0) return false;
    hash.Add(chunk.data(), static_cast<size_t>(got));
    at += got;
  }
  *value = hash.Value();
  return true;
}

// Reads a file line by line through one buffer that grows only for a line
// longer than it, so a line of any length comes whole. A line keeps its
// line feed; only the file's last line may lack one. After the end, a
// further call reads what has been appended since.
class HLineReader {
 public:
  explicit HLineReader(int fd, HStreamHash* hash = nullptr) : fd_(fd), hash_(hash) {}

  // False at the end of what the file holds now.
  bool Next(char** line, size_t* length) {
    for (size_t scanned = begin_;;) {
      char* feed = end_ > scanned ? static_cast<char*>(memchr(buffer_.get() + scanned, '\n', end_ - scanned)) : nullptr;
      if (feed != nullptr) {
        *line = buffer_.get() + begin_;
        *length = static_cast<size_t>(feed - *line) + 1;
        begin_ += *length;
        return true;
      }
      scanned = end_;
      if (!Fill()) {
        if (begin_ == end_) return false;
        *line = buffer_.get() + begin_;  // the last line, without a line feed
        *length = end_ - begin_;
        begin_ = end_;
        return true;
      }
      scanned -= begin_moved_;
    }
  }
  long long BytesRead() const { return read_; }
  bool Failed() const { return failed_; }

 private:
  // The first read is short: most requests need only the first line of the
  // carry-over file to see that nothing is to be split. Later reads grow to
  // kChunkSize.
  static constexpr size_t kFirstRead = 4096;

  // Reads more after what is held; false at the end or on an error.
  bool Fill() {
    begin_moved_ = begin_;
    if (begin_ > 0) {
      memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    // One byte stays free behind the text, for a terminating zero. The
    // buffer is not cleared: only what was read is ever looked at.
    if (size_ < end_ + want_ / 2 + 1) {
      const size_t size = std::max(2 * size_, end_ + want_ + 1);
      std::unique_ptr<char[]> bigger(new char[size]);
      if (end_ > 0) memcpy(bigger.get(), buffer_.get(), end_);
      buffer_ = std::move(bigger);
      size_ = size;
    }
    const ssize_t got = read(fd_, buffer_.get() + end_, std::min(size_ - 1 - end_, want_));
    want_ = std::min(want_ * 4, kChunkSize);
    if (got < 0) failed_ = true;
    if (got <= 0) return false;
    if (hash_ != nullptr) hash_->Add(buffer_.get() + end_, static_cast<size_t>(got));
    end_ += static_cast<size_t>(got);
    read_ += got;
    return true;
  }

  int fd_;
  HStreamHash* hash_;
  std::unique_ptr<char[]> buffer_;
  size_t size_ = 0;
  size_t want_ = kFirstRead;
  size_t begin_ = 0;
  size_t end_ = 0;
  size_t begin_moved_ = 0;
  long long read_ = 0;
  bool failed_ = false;
};

// Parses with the line cut off by a zero byte, which the buffer always has
// room for, and restores the byte.
template <class Parse>
auto OnLine(char* line, size_t length, Parse parse) {
  char* end = line[length - 1] == '\n' ? line + length - 1 : line + length;
  const char saved = *end;
  *end = 0;
  auto result = parse(line);
  *end = saved;
  return result;
}

// An output file with a buffer of its own (a line is one memcpy, not a
// stdio call) that remembers a failed write.
class HOutFile {
 public:
  HOutFile() = default;
  HOutFile(const HOutFile&) = delete;
  HOutFile& operator=(const HOutFile&) = delete;
  ~HOutFile() { Close(); }
  bool Open(const char* path, size_t buffer = kWriteBuffer) {
    fd_ = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ >= 0 && buffer_.empty()) buffer_.resize(buffer);
    used_ = 0;
    return fd_ >= 0;
  }
  // Appends the text; `line` adds a line feed when the text has none.
  void Write(const char* text, size_t n, bool line) {
    if (n > buffer_.size() - used_) Flush();
    if (n > buffer_.size()) {
      Put(text, n);
    } else {
      memcpy(buffer_.data() + used_, text, n);
      used_ += n;
    }
    if (line && (n == 0 || text[n - 1] != '\n')) Write("\n", 1, false);
  }
  // Copies the whole of `path` in; false when it cannot be read.
  bool CopyFrom(const char* path) {
    const int in = open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    Flush();
    ssize_t got = 0;
    while ((got = read(in, buffer_.data(), buffer_.size())) > 0) Put(buffer_.data(), static_cast<size_t>(got));
    close(in);
    return got == 0;
  }
  // Writes out, syncs (unless the caller syncs the file system itself) and
  // closes; false when anything written failed.
  bool Finish(bool sync = true) {
    if (fd_ < 0) return false;
    Flush();
    bool ok = !failed_ && (!sync || Synced(fd_));
    if (close(fd_) != 0) ok = false;
    fd_ = -1;
    return ok;
  }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  void Flush() {
    Put(buffer_.data(), used_);
    used_ = 0;
  }
  void Put(const char* data, size_t n) {
    while (n > 0 && !failed_) {
      const ssize_t done = write(fd_, data, n);
      if (done < 0 && errno == EINTR) continue;
      if (done <= 0) failed_ = true;
      if (done <= 0) return;
      data += done;
      n -= static_cast<size_t>(done);
    }
  }

  int fd_ = -1;
  std::vector<char> buffer_;
  size_t used_ = 0;
  bool failed_ = false;
};

// The date of a line in the common layout, remembered for the next line:
// lines of one day share the text "[dd/Mon/yyyy", and when that text stands
// where the parser reads it (the line's first "[" and first "/" three bytes
// apart, the next "/" three further on), the date depends on it alone.
class HDateCache {
 public:
  // ParseLogDate, or the date of the line before when it has the same text.
  bool Parse(const char* line, size_t length, int format, HDate& date) {
    if (format != 1) return ParseLogDate(line, format, date);
    const char* open = static_cast<const char*>(memchr(line, '[', length));
    // The parser reads the line up to its first zero byte: a zero byte
    // before the key's end hides the key from it.
    const bool standard = open != nullptr && static_cast<size_t>(open - line) + kKeyLength <= length &&
                          open[3] == '/' && open[7] == '/' &&
                          memchr(line, '/', static_cast<size_t>(open - line) + 3) == nullptr &&
                          memchr(line, 0, static_cast<size_t>(open - line) + kKeyLength) == nullptr;
    if (standard && valid_ && memcmp(open, key_, kKeyLength) == 0) {
      date = date_;
      return true;
    }
    const bool parsed = ParseLogDate(line, format, date);
    valid_ = standard && parsed;
    if (valid_) {
      memcpy(key_, open, kKeyLength);
      date_ = date;
    }
    return parsed;
  }

 private:
  static constexpr size_t kKeyLength = 12;  // "[dd/Mon/yyyy"
  char key_[kKeyLength] = {};
  HDate date_;
  bool valid_ = false;
};

// One day file being written: its lines go to path + kTempSuffix, which
// starts as a copy of what the day file held.
struct HDayOutput {
  HDate date;
  HString path;
  HString temp;
  HOutFile out;
};

// What the journal's last line says of a split that got as far as its
// commit: how much of the access log it read (and a hash of that), how long
// the new carry-over file is, and the length of the log's header line.
struct HCommit {
  long long consumed = 0;
  uint64_t hash = 0;
  long long carry_size = 0;
  long long header_length = 0;
  HString log_path;
};

class HSplit {
 public:
  HSplit(const char* home, const char* log_path, const HDate& today)
      : log_path_(log_path == nullptr ? "" : log_path),
        today_(today),
        carry_path_(Joined(home, kCarryOverName)),
        carry_temp_(Joined(carry_path_.CStr(), kTempSuffix)),
        journal_path_(Joined(home, kJournalName)),
        day_pattern_(Joined(home, kDayFilePattern)) {
    // Room is left for the files every request opens besides the days.
    rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY) {
      const size_t room = files.rlim_cur > 64 ? static_cast<size_t>(files.rlim_cur - 64) : 0;
      max_open_days_ = std::max(kFewestOpenDays, std::min(kMaxOpenDays, room));
    }
  }
  HSplit(const HSplit&) = delete;
  HSplit& operator=(const HSplit&) = delete;
  ~HSplit() {
    for (HDayOutput* day : days_) delete day;
    if (journal_fd_ >= 0) close(journal_fd_);
    if (carry_fd_ >= 0) close(carry_fd_);
    if (log_fd_ >= 0) close(log_fd_);
  }

  bool Run();

 private:
  enum Source { kCarry, kLog, kEnd };

  bool Recover();
  bool Rollback(const std::vector<std::pair<long long, HString>>& days);
  // Completes a commit. `intact` says the log is known to hold what was
  // read (the split that wrote the commit goes on itself); otherwise its
  // hash tells whether it was emptied already.
  bool Finish(const HCommit& commit, bool intact);
  bool Abort();
  // The next input line: the carry-over file, then the access log after
  // its header line. False at the end.
  bool NextLine(char** line, size_t* length);
  // The open output of `date`'s day file; null when it cannot be made.
  HDayOutput* DayFor(const HDate& date);
  // Finishes a day file (synced unless `sync` is false) and renames it into
  // place once its journal entry is on the disk.
  bool CloseDay(HDayOutput* day, bool sync = true);
  bool RenameDay(HDayOutput* day);
  // Finishes, syncs and renames every open day file.
  bool CloseAllDays();
  // Appends a line to the journal, synced to the disk unless `sync` is
  // false (SyncJournal then does it before anything depends on it).
  bool Journal(const char* text, bool sync = true);
  bool SyncJournal();
  bool WriteCarryOver(char* line, size_t length);

  HString log_path_;
  HDate today_;
  HString carry_path_;
  HString carry_temp_;
  HString journal_path_;
  HString day_pattern_;

  int carry_fd_ = -1;
  int log_fd_ = -1;
  int journal_fd_ = -1;
  bool journal_synced_ = true;
  size_t max_open_days_ = kMaxOpenDays;
  HStreamHash log_hash_;
  HLineReader* carry_ = nullptr;
  HLineReader* log_ = nullptr;
  Source source_ = kCarry;
  long long header_length_ = 0;
  bool header_checked_ = false;
  std::vector<HDayOutput*> days_;  // open day files, the most recent first
  std::vector<HString> journaled_;
  bool failed_ = false;
};

bool HSplit::NextLine(char** line, size_t* length) {
  for (;;) {
    if (source_ == kCarry) {
      if (carry_ != nullptr && carry_->Next(line, length)) return true;
      source_ = kLog;
    }
    if (source_ == kEnd || log_ == nullptr) return false;
    if (!log_->Next(line, length)) return false;
    if (!header_checked_) {
      header_checked_ = true;
      if (*length >= kHeaderMarkLength && memcmp(*line, kHeaderMark, kHeaderMarkLength) == 0) {
        header_length_ = static_cast<long long>(*length);
        continue;  // the header is never parsed and stays in the log
      }
    }
    return true;
  }
}

bool HSplit::Journal(const char* text, bool sync) {
  if (journal_fd_ < 0) journal_fd_ = open(journal_path_.CStr(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (journal_fd_ < 0) return false;
  const size_t n = strlen(text);
  if (write(journal_fd_, text, n) != static_cast<ssize_t>(n)) return false;
  journal_synced_ = false;
  if (sync && !SyncJournal()) return false;
  Step();
  return true;
}

bool HSplit::SyncJournal() {
  if (journal_synced_ || journal_fd_ < 0) return true;
  journal_synced_ = Synced(journal_fd_);
  return journal_synced_;
}

HDayOutput* HSplit::DayFor(const HDate& date) {
  if (!days_.empty() && SameDay(days_.front()->date, date)) return days_.front();  // the usual case
  for (size_t i = 1; i < days_.size(); ++i) {
    if (!SameDay(days_[i]->date, date)) continue;
    HDayOutput* day = days_[i];
    days_.erase(days_.begin() + static_cast<long>(i));
    days_.insert(days_.begin(), day);
    return day;
  }
  if (days_.size() >= max_open_days_) {
    HDayOutput* oldest = days_.back();
    days_.pop_back();
    const bool closed = CloseDay(oldest);
    delete oldest;
    if (!closed) {
      failed_ = true;
      return nullptr;
    }
  }
  auto* day = new HDayOutput;
  day->date = date;
  DateFileName(day->path, day_pattern_.CStr(), date);
  day->temp = Joined(day->path.CStr(), kTempSuffix);
  bool journaled = false;
  for (const HString& path : journaled_) journaled = journaled || path.Compare(day->path.CStr()) == 0;
  if (!journaled) {
    // Noted before the day file changes, so that an interrupted split can
    // cut it back to what it held.
    char entry[64];
    snprintf(entry, sizeof entry, "%s %lld ", kDayEntry, FileSize(day->path.CStr()));
    HString line(entry);
    line.Append(day->path);
    line.Append("\n");
    // Synced with the next rename: no day file changes before its entry is
    // on the disk.
    if (!Journal(line.CStr(), false)) {
      failed_ = true;
      delete day;
      return nullptr;
    }
    journaled_.emplace_back(day->path);
  }
  bool made = day->out.Open(day->temp.CStr(), kDayWriteBuffer);
  if (made && Exists(day->path.CStr())) made = day->out.CopyFrom(day->path.CStr());
  Step();
  if (!made) {
    day->out.Close();
    unlink(day->temp.CStr());
    delete day;
    return nullptr;
  }
  days_.insert(days_.begin(), day);
  return day;
}

bool HSplit::CloseDay(HDayOutput* day, bool sync) {
  if (!day->out.Finish(sync)) return false;
  Step();
  return RenameDay(day);
}

bool HSplit::RenameDay(HDayOutput* day) {
  struct stat info;
  // A replaced day file keeps its permissions.
  if (stat(day->path.CStr(), &info) == 0) chmod(day->temp.CStr(), info.st_mode & 07777);
  if (!SyncJournal() || rename(day->temp.CStr(), day->path.CStr()) != 0) return false;
  Step();
  return true;
}

bool HSplit::CloseAllDays() {
  // Written out first, then put on the disk in two passes: the first starts
  // the write-back of every day file, the second waits for each. A log of
  // a year makes hundreds of files, whose writes then go out together
  // instead of one file after the other.
  bool ok = true;
  for (HDayOutput* day : days_) {
    if (!day->out.Finish(false)) ok = false;
  }
  for (int pass = 0; ok && pass < 2; ++pass) {
    for (HDayOutput* day : days_) {
      const int temp = open(day->temp.CStr(), O_RDONLY | O_CLOEXEC);
      if (temp < 0) {
        ok = false;
        break;
      }
      if (pass == 0) {
        sync_file_range(temp, 0, 0, SYNC_FILE_RANGE_WRITE);  // a hint: fsync below decides
      } else {
        ok = Synced(temp);
      }
      close(temp);
      if (!ok) break;
    }
  }
  Step();
  while (ok && !days_.empty()) {
    HDayOutput* day = days_.back();
    days_.pop_back();
    ok = RenameDay(day);
    delete day;
  }
  return ok;
}

bool HSplit::Abort() {
  std::vector<std::pair<long long, HString>> none;
  for (HDayOutput* day : days_) {
    day->out.Close();
    unlink(day->temp.CStr());
  }
  if (journal_fd_ < 0) {
    unlink(carry_temp_.CStr());
    return false;
  }
  close(journal_fd_);
  journal_fd_ = -1;
  Recover();  // the journal names what to undo
  return false;
}

bool HSplit::Rollback(const std::vector<std::pair<long long, HString>>& days) {
  for (const auto& [size, path] : days) {
    unlink(Joined(path.CStr(), kTempSuffix).CStr());
    if (size < 0) {
      if (unlink(path.CStr()) != 0 && errno != ENOENT) return false;
    } else if (FileSize(path.CStr()) > size && truncate(path.CStr(), size) != 0) {
      return false;
    }
    Step();
  }
  unlink(carry_temp_.CStr());
  Step();
  return unlink(journal_path_.CStr()) == 0;
}

bool HSplit::Finish(const HCommit& commit, bool intact) {
  const bool have_temp = Exists(carry_temp_.CStr());
  if (!commit.log_path.IsEmpty()) {
    const int fd = open(commit.log_path.CStr(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) return false;
    struct stat info;
    uint64_t hash = 0;
    if (fd >= 0 && fstat(fd, &info) == 0 && info.st_size >= commit.consumed &&
        (intact || (HashPrefix(fd, commit.consumed, &hash) && hash == commit.hash))) {
      // Not emptied yet. Lines written to the log since it was read go to
      // the carry-over file first, after what it held at the commit (an
      // earlier try may have added some already).
      bool ok = have_temp && (FileSize(carry_temp_.CStr()) == commit.carry_size ||
                              truncate(carry_temp_.CStr(), commit.carry_size) == 0);
      if (ok && info.st_size > commit.consumed) {
        const int out = open(carry_temp_.CStr(), O_WRONLY | O_APPEND | O_CLOEXEC);
        ok = out >= 0;
        std::vector<char> chunk(kChunkSize);
        for (off_t at = commit.consumed; ok;) {
          const ssize_t got = pread(fd, chunk.data(), chunk.size(), at);
          if (got <= 0) {
            ok = got == 0;
            break;
          }
          ok = write(out, chunk.data(), static_cast<size_t>(got)) == got;
          at += got;
        }
        if (out >= 0 && (!Synced(out) || close(out) != 0)) ok = false;
        Step(kSplitWindowStep);
      }
      if (!ok || ftruncate(fd, commit.header_length) != 0) {
        close(fd);
        return false;
      }
      Step();
    }
    if (fd >= 0) close(fd);
  }
  if (have_temp) {
    if (FileSize(carry_temp_.CStr()) == 0) {
      unlink(carry_path_.CStr());
      unlink(carry_temp_.CStr());
    } else if (rename(carry_temp_.CStr(), carry_path_.CStr()) != 0) {
      return false;
    }
    Step();
  }
  return unlink(journal_path_.CStr()) == 0;
}

bool HSplit::Recover() {
  HString text;
  {
    HFile journal;
    if (!journal.Open(journal_path_.CStr(), "r")) return false;
    char line[4096];
    while (journal.RawGets(line, sizeof line) != nullptr) text.Append(line);
  }
  std::vector<std::pair<long long, HString>> days;
  HCommit commit;
  bool committed = false;
  for (const char* p = text.CStr(); *p != 0;) {
    const char* feed = strchr(p, '\n');
    if (feed == nullptr) break;  // a line cut off by the stop was never acted on
    const HString line(p, static_cast<int>(feed - p));
    p = feed + 1;
    long long size = 0;
    int used = 0;
    char hash[24];
    if (sscanf(line.CStr(), "day %lld %n", &size, &used) == 1 && used > 0) {
      days.emplace_back(size, HString(line.CStr() + used));
    } else if (sscanf(line.CStr(), "commit %lld %20s %lld %lld %n", &commit.consumed, hash, &commit.carry_size,
                      &commit.header_length, &used) == 4 &&
               used > 0) {
      commit.hash = strtoull(hash, nullptr, 16);
      commit.log_path = line.CStr() + used;
      committed = true;
    }
  }
  return committed ? Finish(commit, false) : Rollback(days);
}

bool HSplit::Run() {
  if (Exists(journal_path_.CStr()) && !Recover()) return false;
  if (!log_path_.IsEmpty()) log_fd_ = open(log_path_.CStr(), O_RDWR | O_CLOEXEC);
  carry_fd_ = open(carry_path_.CStr(), O_RDONLY | O_CLOEXEC);
  if (carry_fd_ < 0 && log_fd_ < 0) return true;
  HLineReader carry(carry_fd_);
  HLineReader log(log_fd_, &log_hash_);
  carry_ = carry_fd_ >= 0 ? &carry : nullptr;
  log_ = log_fd_ >= 0 ? &log : nullptr;

  int format = -1;
  bool written = false;
  char* line = nullptr;
  size_t length = 0;
  bool held = false;  // `line` is the first line for the carry-over file
  HDate date;
  HDateCache dates;
  while (NextLine(&line, &length)) {
    if (format == -1) format = OnLine(line, length, DetectLogFormat);
    if (!OnLine(line, length, [&](const char* text) { return dates.Parse(text, length, format, date); })) continue;
    if (date.Compare(today_) >= 0) {
      held = true;
      break;
    }
    HDayOutput* day = DayFor(date);
    if (failed_) return Abort();
    if (day == nullptr) {  // its day file cannot be made: it waits with the rest
      held = true;
      break;
    }
    day->out.Write(line, length, true);
    written = true;
    Step(kSplitLineStep);
  }
  if ((carry_ != nullptr && carry_->Failed()) || (log_ != nullptr && log_->Failed())) return Abort();
  if (!written) {
    // Nothing has changed, unless a journal entry was made for a day file
    // that then could not be: that is undone.
    return journal_fd_ < 0 || Abort();
  }
  if (!CloseAllDays()) return Abort();
  // The new carry-over file: the held line and everything after it, up to
  // the end of the log as it is now.
  HOutFile carry_over;
  if (!carry_over.Open(carry_temp_.CStr())) return Abort();
  long long carry_size = 0;
  if (held) {
    carry_over.Write(line, length, false);
    carry_size += static_cast<long long>(length);
  }
  while (NextLine(&line, &length)) {
    carry_over.Write(line, length, false);
    carry_size += static_cast<long long>(length);
    Step(kSplitLineStep);
  }
  if ((carry_ != nullptr && carry_->Failed()) || (log_ != nullptr && log_->Failed())) return Abort();
  if (!carry_over.Finish()) return Abort();
  Step();
  char commit[96];
  snprintf(commit, sizeof commit, "%s %lld %016" PRIx64 " %lld %lld ", kCommitEntry,
           log_ != nullptr ? log.BytesRead() : 0, log_hash_.Value(), carry_size, header_length_);
  HString entry(commit);
  if (log_ != nullptr) entry.Append(log_path_);
  entry.Append("\n");
  if (!Journal(entry.CStr())) return Abort();
  close(journal_fd_);
  journal_fd_ = -1;
  HCommit done;
  done.consumed = log_ != nullptr ? log.BytesRead() : 0;
  done.hash = log_hash_.Value();
  done.carry_size = carry_size;
  done.header_length = header_length_;
  if (log_ != nullptr) done.log_path = log_path_;
  return Finish(done, true);
}

}  // namespace

bool SplitAccessLog(const char* home, const char* log_path, const HDate& today) {
  HSplit split(home, log_path, today);
  return split.Run();
}
