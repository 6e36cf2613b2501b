#include "logread/log_split.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/file.h"
#include "core/file_write.h"
#include "core/text.h"
#include "logread/log_follow.h"
#include "logread/log_line.h"
#include "logread/log_split_reader.h"
#include "logread/rejected_lines.h"
#include "logread/split_clock.h"

namespace {

const char kHeaderMark[] = "format=";
constexpr size_t kHeaderMarkLength = sizeof kHeaderMark - 1;
const char kDroppedName[] = "logs/dropped";
const char kLockName[] = "vazivev.txt";  // the request lock the server takes
// Day files open at once: as many as the process may open, up to a year
// and a half. A log of more days (or whose dates jump about more) closes and
// reopens them, copying what they hold.
constexpr size_t kMaxOpenDays = 512;
constexpr size_t kFewestOpenDays = 8;

long long last_dropped = 0;
HDate last_today;
HSplitCounts last_counts;
long long byte_budget = kSplitByteBudget;
double second_budget = kSplitSecondBudget;

double Seconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

HString Joined(const char* a, const char* b) {
  HString text(a);
  text.Append(b);
  return text;
}

bool SameDay(const HDate& a, const HDate& b) { return a.day == b.day && a.month == b.month && a.year == b.year; }

// -1 when the file does not exist.
long long FileSize(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

// One day file being written: its lines go to its temporary file, which
// starts as a copy of what the day file held.
struct HDayOutput {
  HDate date;
  HString path;
  HFileWriter out;
};

// Appends the line, with a line feed when it has none.
void WriteLine(HFileWriter& out, const char* line, size_t length) {
  out.Write(line, length);
  if (length == 0 || line[length - 1] != '\n') out.Write("\n", 1);
}

// Copies the whole of `path` into `out`; false when it cannot be read.
bool CopyInto(HFileWriter& out, const char* path) {
  const int in = open(path, O_RDONLY | O_CLOEXEC);
  if (in < 0) return false;
  std::vector<char> chunk(kSplitChunkSize);
  ssize_t got = 0;
  while ((got = read(in, chunk.data(), chunk.size())) > 0) out.Write(chunk.data(), static_cast<size_t>(got));
  close(in);
  return got == 0 && !out.Failed();
}

class HSplit {
 public:
  HSplit(const char* home, const char* log_path, const HSplitClock& clock, bool follow = false, bool import = false)
      : log_path_(log_path == nullptr ? "" : log_path),
        follow_(follow || import),
        import_(import),
        clock_(clock),
        home_(home),
        files_(home),
        journal_(files_.journal_path) {
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
    if (carry_fd_ >= 0) close(carry_fd_);
    if (log_fd_ >= 0) close(log_fd_);
  }

  bool Run();
  long long Dropped() const { return dropped_; }
  const HSplitCounts& Counts() const { return counts_; }
  // Whether a Follow or import split read all its sources to their ends.
  bool ReadAll() const { return read_all_; }
  const HDate& EarliestToday() const { return clock_.EarliestToday(); }

 private:
  enum Source { kCarry, kLog, kEnd };

  bool OpenLog();
  // Follow mode's OpenLog: the plan of the files to read.
  bool PlanSources();
  // The place to keep after reading; `partial` when the budget stopped it.
  bool NewPlace(bool partial, HFollowPlace* place);
  // Records the rotated files a follow read to their end as imported.
  void RecordFollowed();
  // Whether the opened log is a file the program writes itself.
  bool IsOwnFile(const struct stat& log) const;
  // Whether a log of that kind may be read: a regular file, not one of the
  // program's own (else the reason is noted).
  bool IsReadableLog(const struct stat& info) const;
  bool Abort();
  // The next input line: the carry-over file, then the access log after
  // its header line. False at the end.
  bool NextLine(char** line, size_t* length);
  bool ReadFailed();
  // Whether this split has read as much of the log as one request may.
  bool OverBudget();
  // The open output of `date`'s day file; null when it cannot be made.
  HDayOutput* DayFor(const HDate& date);
  // Finishes a day file (synced) and renames it into place once its
  // journal entry is on the disk.
  bool CloseDay(HDayOutput* day);
  bool RenameDay(HDayOutput* day);
  // Finishes, syncs and renames every open day file.
  bool CloseAllDays();
  void AddDropped();

  HString log_path_;
  bool follow_;  // the log is only read: HFollowPlan, vazivev.follow
  bool import_;  // one file imported: its place in vazivev.import
  HFollowPlan plan_;
  HSplitCounts counts_;
  HSplitClock clock_;
  HString home_;
  HSplitFiles files_;
  HSplitJournal journal_;

  int carry_fd_ = -1;
  int log_fd_ = -1;
  size_t max_open_days_ = kMaxOpenDays;
  HStreamHash log_hash_;
  HLineReader* carry_ = nullptr;
  HLineReader* log_ = nullptr;
  Source source_ = kCarry;
  long long header_length_ = 0;
  bool header_checked_ = false;
  long long start_ = 0;  // where the log is read from
  double started_at_ = Seconds();
  int lines_since_clock_ = 0;
  std::vector<HDayOutput*> days_;  // open day files, the most recent first
  std::vector<HString> journaled_;
  long long dropped_ = 0;
  HRejectedNote rejected_;
  bool failed_ = false;
  bool read_all_ = false;
};

bool HSplit::NextLine(char** line, size_t* length) {
  for (;;) {
    if (source_ == kCarry) {
      if (carry_ != nullptr && carry_->Next(line, length)) return true;
      source_ = kLog;
    }
    if (follow_) {
      while (plan_.at < plan_.sources.size()) {
        if (plan_.sources[plan_.at]->reader->Next(line, length)) return true;
        if (plan_.sources[plan_.at]->reader->Failed()) return false;
        ++plan_.at;
      }
      return false;
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

bool HSplit::OverBudget() {
  if (source_ != kLog || (log_ == nullptr && !follow_)) return false;
  long long taken = log_ != nullptr ? log_->BytesTaken() : 0;
  for (const auto& source : plan_.sources) taken += source->reader->BytesTaken();
  if (byte_budget > 0 && taken >= byte_budget) return true;
  // The clock is read once every 256 lines.
  if (second_budget <= 0 || ++lines_since_clock_ < 256) return false;
  lines_since_clock_ = 0;
  return Seconds() - started_at_ >= second_budget;
}

bool HSplit::ReadFailed() {
  if (carry_ != nullptr && carry_->Failed()) {
    NoteSplitFailure("cannot read", files_.carry_path.CStr(), carry_->Error());
    return true;
  }
  if (log_ != nullptr && log_->Failed()) {
    NoteSplitFailure("cannot read", log_path_.CStr(), log_->Error());
    return true;
  }
  for (const auto& source : plan_.sources) {
    if (!source->reader->Failed()) continue;
    NoteSplitFailure(("cannot read " + source->path + ": " + source->bytes.Error()).c_str(), "", kNoError);
    return true;
  }
  return false;
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
  DateFileName(day->path, files_.day_pattern.CStr(), date);
  bool journaled = false;
  for (const HString& path : journaled_) journaled = journaled || path.Compare(day->path.CStr()) == 0;
  if (!journaled) {
    // Noted before the day file changes, so that an interrupted split can
    // cut it back to what it held. Synced with the next rename: no day
    // file changes before its entry is on the disk.
    if (!journal_.NoteDay(FileSize(day->path.CStr()), day->path)) {
      failed_ = true;
      delete day;
      return nullptr;
    }
    journaled_.emplace_back(day->path);
  }
  bool made = day->out.Open(day->path.CStr());
  if (!made) {
    NoteSplitFailure("cannot create", day->out.TempPath().CStr(), day->out.Error());
  } else if (Exists(day->path.CStr()) && !CopyInto(day->out, day->path.CStr())) {
    NoteSplitFailure("cannot copy", day->path.CStr(), day->out.Error() != 0 ? day->out.Error() : errno);
    made = false;
  }
  SplitStepReached();
  if (!made) {
    delete day;  // its temporary file goes with it
    return nullptr;
  }
  days_.insert(days_.begin(), day);
  return day;
}

bool HSplit::CloseDay(HDayOutput* day) {
  if (!day->out.Finish()) {
    NoteSplitFailure("cannot write", day->out.TempPath().CStr(), day->out.Error());
    return false;
  }
  SplitStepReached();
  return RenameDay(day);
}

bool HSplit::RenameDay(HDayOutput* day) {
  if (!journal_.Sync()) return false;
  if (!RenameFile(day->out.TempPath().CStr(), day->path.CStr())) {
    NoteSplitFailure("cannot rename", day->out.TempPath().CStr(), errno);
    return false;
  }
  SplitStepReached();
  return true;
}

bool HSplit::CloseAllDays() {
  // Written out first, then put on the disk in two passes: the first starts
  // the write-back of every day file, the second waits for each. A log of
  // a year makes hundreds of files, whose writes then go out together
  // instead of one file after the other.
  bool ok = true;
  for (HDayOutput* day : days_) {
    if (ok && !day->out.Finish(false)) {
      NoteSplitFailure("cannot write", day->out.TempPath().CStr(), day->out.Error());
      ok = false;
    }
  }
  for (int pass = 0; ok && pass < 2; ++pass) {
    for (HDayOutput* day : days_) {
      const int temp = open(day->out.TempPath().CStr(), O_RDONLY | O_CLOEXEC);
      if (temp < 0) {
        NoteSplitFailure("cannot open", day->out.TempPath().CStr(), errno);
        ok = false;
        break;
      }
      if (pass == 0) {
        sync_file_range(temp, 0, 0, SYNC_FILE_RANGE_WRITE);  // a hint: the sync below decides
      } else {
        ok = SyncFile(temp);
        if (!ok) NoteSplitFailure("cannot sync", day->out.TempPath().CStr(), errno);
      }
      close(temp);
      if (!ok) break;
    }
  }
  SplitStepReached();
  while (ok && !days_.empty()) {
    HDayOutput* day = days_.back();
    days_.pop_back();
    ok = RenameDay(day);
    delete day;
  }
  return ok;
}

bool HSplit::Abort() {
  for (HDayOutput* day : days_) {
    day->out.Discard();
    unlink(day->out.TempPath().CStr());  // one finished already
  }
  if (!journal_.Started()) {
    unlink(files_.carry_temp.CStr());
    return false;
  }
  journal_.Close();
  RecoverSplit(files_);  // the journal names what to undo
  return false;
}

bool SameFile(const struct stat& a, const char* path) {
  struct stat info;
  return stat(path, &info) == 0 && info.st_dev == a.st_dev && info.st_ino == a.st_ino;
}

// The carry-over file, its temporary, the journal, the lock file, and
// everything in logs/ (the day files) and data/: split as the log, such a
// file would take in every line again, or lose what the program keeps.
bool HSplit::IsOwnFile(const struct stat& log) const {
  for (const HString* path : {&files_.carry_path, &files_.carry_temp, &files_.journal_path}) {
    if (SameFile(log, path->CStr())) return true;
  }
  if (SameFile(log, Joined(home_.CStr(), kLockName).CStr())) return true;
  struct stat folders[2];
  int kept = 0;
  for (const char* name : {"logs", "data"}) {
    if (stat(Joined(home_.CStr(), name).CStr(), &folders[kept]) == 0) ++kept;
  }
  char* real = realpath(log_path_.CStr(), nullptr);
  if (real == nullptr) return false;
  bool own = false;
  // Every folder the log lies in, from its own up to the root.
  for (char* slash = strrchr(real, '/'); slash != nullptr && !own; slash = strrchr(real, '/')) {
    *slash = 0;
    struct stat folder;
    if (stat(*real == 0 ? "/" : real, &folder) != 0) break;
    for (int i = 0; i < kept; ++i)
      own = own || (folder.st_dev == folders[i].st_dev && folder.st_ino == folders[i].st_ino);
  }
  free(real);
  return own;
}

bool HSplit::IsReadableLog(const struct stat& info) const {
  if (!S_ISREG(info.st_mode)) {
    NoteSplitFailure("not a regular file:", log_path_.CStr(), kNoError);
    return false;
  }
  if (IsOwnFile(info)) {
    NoteSplitFailure("one of the program's own files, not an access log:", log_path_.CStr(), kNoError);
    return false;
  }
  return true;
}

// Only a regular file is read: a device or a pipe named as the log would
// give bytes without end. Nor is one of the program's own files.
bool HSplit::OpenLog() {
  if (log_path_.IsEmpty()) return true;
  struct stat info;
  if (stat(log_path_.CStr(), &info) != 0) {
    if (errno != ENOENT) NoteSplitFailure("cannot open", log_path_.CStr(), errno);
    return true;
  }
  if (!IsReadableLog(info)) return false;
  log_fd_ = open(log_path_.CStr(), O_RDWR | O_CLOEXEC);
  if (log_fd_ < 0) {
    NoteSplitFailure("cannot open", log_path_.CStr(), errno);
    return true;  // the carry-over file is split all the same
  }
  if (fstat(log_fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
    NoteSplitFailure("not a regular file:", log_path_.CStr(), kNoError);
    return false;
  }
  // A partial split before this one left a place to go on from.
  long long offset = 0;
  if (ReadSplitOffset(files_, log_fd_, &offset, &header_length_) && lseek(log_fd_, offset, SEEK_SET) == offset) {
    start_ = offset;
    header_checked_ = true;
  } else {
    header_length_ = 0;
  }
  return true;
}

// The lines dropped for want of a date or a layout, or for their length,
// are added up in logs/dropped, once the split that dropped them is done.
void HSplit::AddDropped() {
  if (dropped_ == 0) return;
  HDate arrived;
  arrived.SetToday();
  if (!rejected_.Save(home_.CStr(), arrived.Number())) {
    NoteSplitFailure("cannot write", Joined(home_.CStr(), "logs/rejected").CStr(), errno);
  }
  const HString path = Joined(home_.CStr(), kDroppedName);
  const long long total = ReadSplitDropped(home_.CStr()) + dropped_;
  char text[32];
  const int n = snprintf(text, sizeof text, "%lld\n", total);
  if (!WriteFileWhole(path.CStr(), text, static_cast<size_t>(n))) NoteSplitFailure("cannot write", path.CStr(), errno);
}

bool HSplit::PlanSources() {
  if (log_path_.IsEmpty()) return true;
  struct stat info;
  if (stat(log_path_.CStr(), &info) == 0 && !IsReadableLog(info)) return false;
  HFollowPlace place;
  std::string problem;
  if (import_) {
    // The place of an import stopped before, when it is this file's.
    const bool placed = ReadFollowPlace(files_.import_path.CStr(), &place) && IsFollowPlaceOf(log_path_.CStr(), place);
    PlanImport(log_path_.CStr(), placed ? place.offset : 0, &plan_, &problem);
    if (!problem.empty()) NoteSplitFailure(problem.c_str(), "", kNoError);
    return problem.empty();
  }
  const bool placed = ReadFollowPlace(files_.follow_path.CStr(), &place);
  PlanFollow(log_path_.CStr(), placed ? &place : nullptr, &plan_, &problem);
  if (!problem.empty()) NoteSplitFailure(problem.c_str(), "", kNoError);
  if (plan_.lost_place) {
    fprintf(stderr,
            "vazivev: the file read last is neither %s nor one of its rotated names; reading it from its start\n",
            log_path_.CStr());
  }
  return true;
}

void HSplit::RecordFollowed() {
  if (import_) return;
  // Rotated files read to their end: an import of them adds nothing.
  const size_t finished = std::min(plan_.at, plan_.sources.size() - (plan_.sources.empty() ? 0 : 1));
  for (size_t i = 0; i < finished; ++i) {
    HFileFingerprint print;
    const std::string& path = plan_.sources[i]->path;
    if (ContentHead(path.c_str(), kFollowHeadBytes, &print.hash, &print.length) &&
        ImportedLines(home_.CStr(), print) < 0 && !RecordImported(home_.CStr(), print, 0, path)) {
      NoteSplitFailure("cannot write", Joined(home_.CStr(), "logs/imported").CStr(), errno);
    }
  }
}

bool HSplit::NewPlace(bool partial, HFollowPlace* place) {
  if (plan_.sources.empty()) {  // nothing to read: no place until there is
    *place = HFollowPlace();
    return true;
  }
  // The source reading stopped in, or the last when all were read.
  const size_t at = partial ? std::min(plan_.at, plan_.sources.size() - 1) : plan_.sources.size() - 1;
  const HFollowSource& source = *plan_.sources[at];
  place->offset = source.start + (partial ? source.reader->BytesTaken() : source.reader->BytesRead());
  long long got = 0;
  if (!ContentHead(source.path.c_str(), std::min(kFollowHeadBytes, place->offset), &place->head_hash, &got)) {
    NoteSplitFailure(("cannot read " + source.path).c_str(), "", kNoError);
    return false;
  }
  place->head_length = got;
  return true;
}

bool HSplit::Run() {
  if (Exists(files_.journal_path.CStr()) && !RecoverSplit(files_)) return false;
  if (follow_ ? !PlanSources() : !OpenLog()) return false;
  carry_fd_ = open(files_.carry_path.CStr(), O_RDONLY | O_CLOEXEC);
  if (carry_fd_ < 0 && log_fd_ < 0 && plan_.sources.empty()) return true;
  HLineReader carry(carry_fd_);
  HLineReader log(log_fd_, &log_hash_);
  // An import is no part of the log's order: the waiting lines stay as
  // they are, and its own lines of today join them one by one.
  carry_ = carry_fd_ >= 0 && !import_ ? &carry : nullptr;
  log_ = log_fd_ >= 0 ? &log : nullptr;
  HFileWriter carry_over;
  long long carry_size = 0;
  bool carry_open = false;
  auto open_carry = [&] {
    carry_open = true;
    if (!carry_over.Open(files_.carry_path.CStr(), 0644, files_.carry_temp.CStr())) {
      NoteSplitFailure("cannot create", files_.carry_temp.CStr(), carry_over.Error());
      return false;
    }
    if (import_ && carry_fd_ >= 0) {
      const long long size = FileSize(files_.carry_path.CStr());
      if (!CopyInto(carry_over, files_.carry_path.CStr())) {
        NoteSplitFailure("cannot copy", files_.carry_path.CStr(), errno);
        return false;
      }
      carry_size = size;
    }
    return true;
  };

  bool written = false;
  char* line = nullptr;
  size_t length = 0;
  bool held = false;  // `line` is the first line for the carry-over file
  HDate date;
  HDateCache dates;
  bool partial = false;  // stopped by the budget before the end of the log
  while (!(partial = OverBudget()) && NextLine(&line, &length)) {
    // Each line's layout is its own: a log of mixed layouts loses nothing,
    // and no first line decides for the rest.
    // The layout, the date and the zone, with the date found once.
    int zone = kNoZone;
    const bool dated = OnLine(line, length, [&](const char* text) {
      const int format = DetectLogFormat(text);
      const char* open = nullptr;
      if (!dates.Parse(text, length, format, date, &open)) return false;
      zone = open != nullptr ? CommonZoneOffset(open) : LineZoneOffset(text, format);
      return true;
    });
    if (!dated) {
      ++dropped_;
      rejected_.Add(kRejectUndated, line, length);
      continue;
    }
    // Today and the latest day are those of the line's own zone. A line
    // dated after the moment it is read is no line of this log, and waiting
    // would hold every later line back with it.
    const HLineDays& days = clock_.For(zone);
    if (date.Compare(days.latest) > 0) {
      ++dropped_;
      rejected_.Add(kRejectAhead, line, length);
      continue;
    }
    HDayOutput* day = date.Compare(days.today) >= 0 ? nullptr : DayFor(date);
    if (failed_) return Abort();
    if (day == nullptr && import_) {  // today's, or its day file cannot be made: it waits
      if (!carry_open && !open_carry()) return Abort();
      WriteLine(carry_over, line, length);
      carry_size += static_cast<long long>(length);
      ++counts_.waiting;
      written = true;
      continue;
    }
    if (day == nullptr) {  // today's, or its day file cannot be made: it waits with the rest
      held = true;
      break;
    }
    WriteLine(day->out, line, length);
    ++counts_.to_days;
    written = true;
    SplitStepReached(kSplitLineStep);
  }
  if (ReadFailed()) return Abort();
  // A partial split commits even when no line went to a day file, so that
  // the next goes on past what it read; so does the split that reaches the
  // end after one, so that the log is emptied.
  // In Follow mode the place moves whenever something was read.
  long long followed = 0;
  for (const auto& source : plan_.sources) followed += source->reader->BytesRead();
  read_all_ = !partial;
  if (!written && !partial && start_ == 0 && followed == 0 && !(plan_.lost_place && !plan_.sources.empty())) {
    // Nothing has changed, unless a journal entry was made for a day file
    // that then could not be: that is undone.
    return !journal_.Started() || Abort();
  }
  if (!CloseAllDays()) return Abort();
  // The new carry-over file: the held line and everything after it, up to
  // the end of the log as it is now.
  if (!carry_open && !open_carry()) return Abort();
  if (held) {
    carry_over.Write(line, length);
    carry_size += static_cast<long long>(length);
    ++counts_.waiting;
  }
  while (!partial && !(partial = OverBudget()) && NextLine(&line, &length)) {
    carry_over.Write(line, length);
    carry_size += static_cast<long long>(length);
    ++counts_.waiting;
    SplitStepReached(kSplitLineStep);
  }
  if (ReadFailed()) return Abort();
  if (!carry_over.Finish()) {
    NoteSplitFailure("cannot write", files_.carry_temp.CStr(), carry_over.Error());
    return Abort();
  }
  SplitStepReached();
  long long overlong = carry.Overlong() + log.Overlong();
  for (const auto& source : plan_.sources) overlong += source->reader->Overlong();
  dropped_ += overlong;
  rejected_.AddUnseen(kRejectLong, overlong);
  HCommit done;
  counts_.days = static_cast<int>(journaled_.size());
  for (const HString& path : journaled_) counts_.day_files.emplace_back(path.CStr());
  read_all_ = !partial;
  if (follow_) {
    HFollowPlace place;
    if (!NewPlace(partial, &place)) return Abort();
    done.follow_place = FollowPlaceText(place).c_str();
    if (import_) done.place_path = files_.import_path;
    done.partial = true;
    done.carry_size = carry_size;
    // Before the commit: a follow never consults the record, so a file
    // recorded by a follow that then dies is still read by the next, and an
    // import never takes a file a follow has committed.
    RecordFollowed();
    if (!journal_.NoteCommit(done)) return Abort();
    journal_.Close();
    if (!FinishSplit(files_, done, true)) return false;
    AddDropped();
    return true;
  }
  done.start = start_;
  done.partial = partial && log_ != nullptr;
  done.consumed = log_ != nullptr ? start_ + (done.partial ? log.BytesTaken() : log.BytesRead()) : 0;
  done.hash = log_hash_.Value();
  // The hash covers what was read ahead; a partial split's covers exactly
  // the lines it took.
  if (done.partial && !HashRange(log_fd_, done.start, done.consumed - done.start, &done.hash)) {
    NoteSplitFailure("cannot read", log_path_.CStr(), errno);
    return Abort();
  }
  done.carry_size = carry_size;
  done.header_length = header_length_;
  if (log_ != nullptr) done.log_path = log_path_;
  if (!journal_.NoteCommit(done)) return Abort();
  journal_.Close();
  if (!FinishSplit(files_, done, true)) return false;
  AddDropped();
  return true;
}

}  // namespace

long long ReadSplitDropped(const char* home) {
  HFile in;
  if (!in.Open(Joined(home, kDroppedName).CStr(), "r")) return 0;
  char text[32] = {};
  if (in.RawGets(text, sizeof text) == nullptr) return 0;
  return strtoll(text, nullptr, 10);
}

long long LastSplitDropped() { return last_dropped; }

void SetSplitBudget(long long bytes, double seconds) {
  byte_budget = bytes;
  second_budget = seconds;
}

const char* LastSplitFailure() { return SplitFailure(); }

namespace {

bool Split(const char* home, const char* log_path, const HSplitClock& clock, bool follow = false, bool import = false,
           bool* read_all = nullptr) {
  ClearSplitFailure();
  last_dropped = 0;
  last_counts = HSplitCounts();
  HSplit split(home, log_path, clock, follow, import);
  const bool settled = split.Run();
  if (settled) {
    last_dropped = split.Dropped();
    last_counts = split.Counts();
  }
  last_today = split.EarliestToday();
  if (read_all != nullptr) *read_all = settled && split.ReadAll();
  return settled;
}

}  // namespace

bool SplitAccessLog(const char* home, const char* log_path, const HDate& today) {
  return Split(home, log_path, HSplitClock(today));
}

bool SplitAccessLog(const char* home, const char* log_path, time_t now) {
  return Split(home, log_path, HSplitClock(now));
}

bool FollowAccessLog(const char* home, const char* log_path, time_t now) {
  return Split(home, log_path, HSplitClock(now), true);
}

bool FollowAccessLog(const char* home, const char* log_path, const HDate& today) {
  return Split(home, log_path, HSplitClock(today), true);
}

const HDate& LastSplitToday() { return last_today; }

const HSplitCounts& LastSplitCounts() { return last_counts; }

bool ImportLogPiece(const char* home, const char* path, time_t now, bool* done) {
  *done = false;
  return Split(home, path, HSplitClock(now), false, true, done);
}

bool ImportLogPiece(const char* home, const char* path, const HDate& today, bool* done) {
  *done = false;
  return Split(home, path, HSplitClock(today), false, true, done);
}
