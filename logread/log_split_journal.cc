#include "logread/log_split_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "core/file.h"
#include "core/file_write.h"
#include "core/write_guard.h"
#include "logread/log_split_reader.h"

void (*LogSplitStep)(SplitStep kind) = nullptr;

const char kDayFilePattern[] = "logs/QLyymmdd.log";

namespace {

const char kCarryOverName[] = "vazivev.log";
const char kJournalName[] = "vazivev.journal";
const char kOffsetName[] = "vazivev.offset";
const char kFollowName[] = "vazivev.follow";
const char kImportName[] = "vazivev.import";
// The bytes before a kept offset that must be unchanged for it to hold.
constexpr long long kOffsetCheckBytes = 4096;

HString failure;

HString Joined(const char* a, const char* b) {
  HString text(a);
  text.Append(b);
  return text;
}

// -1 when the file does not exist.
long long FileSize(const char* path) {
  struct stat info;
  return stat(path, &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

bool Rollback(const HSplitFiles& files, const std::vector<std::pair<long long, HString>>& days) {
  WillWrite();
  for (const auto& [size, path] : days) {
    unlink(Joined(path.CStr(), HFileWriter::kTempSuffix).CStr());
    if (size < 0) {
      if (unlink(path.CStr()) != 0 && errno != ENOENT) {
        NoteSplitFailure("cannot remove", path.CStr(), errno);
        return false;
      }
    } else if (FileSize(path.CStr()) > size && truncate(path.CStr(), size) != 0) {
      NoteSplitFailure("cannot cut back", path.CStr(), errno);
      return false;
    }
    SplitStepReached();
  }
  unlink(files.carry_temp.CStr());
  SplitStepReached();
  if (unlink(files.journal_path.CStr()) == 0) return true;
  NoteSplitFailure("cannot remove", files.journal_path.CStr(), errno);
  return false;
}

// Appends what the log holds after `from` to the file `to`, synced.
bool CopyRest(int fd, off_t from, const char* to) {
  WillWrite();
  const int out = open(to, O_WRONLY | O_APPEND | O_CLOEXEC);
  if (out < 0) return false;
  bool ok = true;
  std::vector<char> chunk(kSplitChunkSize);
  for (off_t at = from;;) {
    const ssize_t got = pread(fd, chunk.data(), chunk.size(), at);
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    if (WriteFully(out, chunk.data(), static_cast<size_t>(got)) != static_cast<size_t>(got)) {
      ok = false;
      break;
    }
    at += got;
  }
  const int error = errno;
  if (ok) ok = SyncFile(out);
  if (close(out) != 0) ok = false;
  if (!ok) errno = error != 0 ? error : errno;
  return ok;
}

}  // namespace

void SplitStepReached(SplitStep kind) {
  if (LogSplitStep != nullptr) LogSplitStep(kind);
}

void NoteSplitFailure(const char* what, const char* path, int error) {
  if (!failure.IsEmpty()) return;
  failure = what;
  failure.Append(" ");
  failure.Append(path);
  if (error == kNoError) return;
  failure.Append(": ");
  failure.Append(strerror(error != 0 ? error : EIO));
}

void ClearSplitFailure() { failure = ""; }

const char* SplitFailure() { return failure.CStr(); }

namespace {

// The check hash of the bytes before `offset`.
bool OffsetCheck(int fd, long long offset, long long header_length, uint64_t* hash) {
  const long long from = offset - kOffsetCheckBytes > header_length ? offset - kOffsetCheckBytes : header_length;
  return HashRange(fd, from, offset - from, hash);
}

bool WriteSplitOffset(const HSplitFiles& files, int fd, long long offset, long long header_length) {
  uint64_t hash = 0;
  if (!OffsetCheck(fd, offset, header_length, &hash)) {
    NoteSplitFailure("cannot read", files.offset_path.CStr(), errno);
    return false;
  }
  char text[96];
  const int n = snprintf(text, sizeof text, "%lld %lld %016" PRIx64 "\n", offset, header_length, hash);
  if (!WriteFileWhole(files.offset_path.CStr(), text, static_cast<size_t>(n))) {
    NoteSplitFailure("cannot write", files.offset_path.CStr(), errno);
    return false;
  }
  return true;
}

}  // namespace

bool ReadSplitOffset(const HSplitFiles& files, int fd, long long* offset, long long* header_length) {
  HFile in;
  if (!in.Open(files.offset_path.CStr(), "r")) return false;
  char text[96] = {};
  if (in.RawGets(text, sizeof text) == nullptr) return false;
  long long at = 0;
  long long header = 0;
  char hex[24];
  if (sscanf(text, "%lld %lld %20s", &at, &header, hex) != 3 || header < 0 || at <= header) return false;
  struct stat info;
  uint64_t hash = 0;
  if (fstat(fd, &info) != 0 || info.st_size < at || !OffsetCheck(fd, at, header, &hash)) return false;
  if (hash != strtoull(hex, nullptr, 16)) return false;
  *offset = at;
  *header_length = header;
  return true;
}

HSplitFiles::HSplitFiles(const char* home)
    : carry_path(Joined(home, kCarryOverName)),
      carry_temp(Joined(carry_path.CStr(), HFileWriter::kTempSuffix)),
      journal_path(Joined(home, kJournalName)),
      offset_path(Joined(home, kOffsetName)),
      follow_path(Joined(home, kFollowName)),
      import_path(Joined(home, kImportName)),
      day_pattern(Joined(home, kDayFilePattern)) {}

bool HSplitJournal::NoteDay(long long size, const HString& path) {
  char entry[64];
  snprintf(entry, sizeof entry, "day %lld ", size);
  HString line(entry);
  line.Append(path);
  line.Append("\n");
  return Append(line, false);
}

bool HSplitJournal::NoteCommit(const HCommit& commit) {
  if (!commit.place_path.IsEmpty()) {
    HString line("place ");
    line.Append(commit.place_path);
    line.Append("\n");
    if (!Append(line, false)) return false;
  }
  if (!commit.follow_place.IsEmpty()) {
    HString line("follow ");
    line.Append(commit.follow_place);
    line.Append("\n");
    if (!Append(line, false)) return false;
  }
  char entry[160];
  snprintf(entry, sizeof entry, "window %lld %d\ncommit %lld %016" PRIx64 " %lld %lld ", commit.start,
           commit.partial ? 1 : 0, commit.consumed, commit.hash, commit.carry_size, commit.header_length);
  HString line(entry);
  line.Append(commit.log_path);
  line.Append("\n");
  return Append(line, true);
}

bool HSplitJournal::Append(const HString& line, bool sync) {
  if (fd_ < 0) {
    WillWrite();
    fd_ = open(path_.CStr(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  }
  if (fd_ < 0) {
    NoteSplitFailure("cannot create", path_.CStr(), errno);
    return false;
  }
  const size_t n = static_cast<size_t>(line.Length());
  if (WriteFully(fd_, line.CStr(), n) != n) {
    NoteSplitFailure("cannot write", path_.CStr(), errno);
    return false;
  }
  synced_ = false;
  if (sync && !Sync()) return false;
  SplitStepReached();
  return true;
}

bool HSplitJournal::Sync() {
  if (synced_ || fd_ < 0) return true;
  synced_ = SyncFile(fd_);
  if (!synced_) NoteSplitFailure("cannot sync", path_.CStr(), errno);
  return synced_;
}

void HSplitJournal::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

namespace {

// The last steps of a commit: the new carry-over file put in place (or,
// empty, none kept), then the journal removed.
bool PlaceCarryOver(const HSplitFiles& files, bool have_temp) {
  WillWrite();
  const char* carry_temp = files.carry_temp.CStr();
  if (have_temp) {
    if (FileSize(carry_temp) == 0) {
      unlink(files.carry_path.CStr());
      unlink(carry_temp);
    } else if (!RenameFile(carry_temp, files.carry_path.CStr())) {
      NoteSplitFailure("cannot rename", carry_temp, errno);
      return false;
    }
    SplitStepReached();
  }
  if (unlink(files.journal_path.CStr()) == 0) return true;
  NoteSplitFailure("cannot remove", files.journal_path.CStr(), errno);
  return false;
}

}  // namespace

bool FinishSplit(const HSplitFiles& files, const HCommit& commit, bool intact) {
  WillWrite();
  const char* carry_temp = files.carry_temp.CStr();
  const bool have_temp = Exists(carry_temp);
  if (!commit.follow_place.IsEmpty()) {
    // Following: the log is never touched; the place is kept (again, after
    // a stop: the same text) before the carry-over goes in place.
    HString text(commit.follow_place);
    text.Append("\n");
    const HString& path = commit.place_path.IsEmpty() ? files.follow_path : commit.place_path;
    if (!WriteFileWhole(path.CStr(), text.CStr(), static_cast<size_t>(text.Length()))) {
      NoteSplitFailure("cannot write", path.CStr(), errno);
      return false;
    }
    SplitStepReached();
    return PlaceCarryOver(files, have_temp);
  }
  if (!commit.log_path.IsEmpty()) {
    const int fd = open(commit.log_path.CStr(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) {
      NoteSplitFailure("cannot open", commit.log_path.CStr(), errno);
      return false;
    }
    if (commit.partial) {
      // The log is left as it is: its place is kept, unless an earlier try
      // kept it already (and may have put the carry-over in place since).
      long long kept = 0;
      long long header = 0;
      uint64_t hash = 0;
      const bool done = fd < 0 || (ReadSplitOffset(files, fd, &kept, &header) && kept == commit.consumed);
      // A log that no longer holds what was read gets no place in it.
      const bool same =
          intact || (HashRange(fd, commit.start, commit.consumed - commit.start, &hash) && hash == commit.hash);
      const bool ok = done || !same || WriteSplitOffset(files, fd, commit.consumed, commit.header_length);
      if (fd >= 0) close(fd);
      if (!ok) return false;
      SplitStepReached();
      return PlaceCarryOver(files, have_temp);
    }
    struct stat info;
    uint64_t hash = 0;
    if (fd >= 0 && fstat(fd, &info) == 0 && info.st_size >= commit.consumed &&
        (intact || (HashRange(fd, commit.start, commit.consumed - commit.start, &hash) && hash == commit.hash))) {
      // Not emptied yet. Lines written to the log since it was read go to
      // the carry-over file first, after what it held at the commit (an
      // earlier try may have added some already).
      bool ok =
          have_temp && (FileSize(carry_temp) == commit.carry_size || truncate(carry_temp, commit.carry_size) == 0);
      if (!ok) NoteSplitFailure("cannot cut back", carry_temp, have_temp ? errno : ENOENT);
      if (ok && info.st_size > commit.consumed) {
        ok = CopyRest(fd, commit.consumed, carry_temp);
        if (!ok) NoteSplitFailure("cannot write", carry_temp, errno);
        SplitStepReached(kSplitWindowStep);
      }
      if (ok && ftruncate(fd, commit.header_length) != 0) {
        NoteSplitFailure("cannot empty", commit.log_path.CStr(), errno);
        ok = false;
      }
      if (!ok) {
        close(fd);
        return false;
      }
      SplitStepReached();
    }
    if (fd >= 0) close(fd);
    // The log is read to its end and emptied: no place is kept in it.
    if (unlink(files.offset_path.CStr()) != 0 && errno != ENOENT) {
      NoteSplitFailure("cannot remove", files.offset_path.CStr(), errno);
      return false;
    }
  }
  return PlaceCarryOver(files, have_temp);
}

bool RecoverSplit(const HSplitFiles& files) {
  HString text;
  {
    HFile journal;
    if (!journal.Open(files.journal_path.CStr(), "r")) {
      NoteSplitFailure("cannot read", files.journal_path.CStr(), errno);
      return false;
    }
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
    int partial = 0;
    if (sscanf(line.CStr(), "day %lld %n", &size, &used) == 1 && used > 0) {
      days.emplace_back(size, HString(line.CStr() + used));
    } else if (strncmp(line.CStr(), "follow ", 7) == 0) {
      commit.follow_place = line.CStr() + 7;
    } else if (strncmp(line.CStr(), "place ", 6) == 0) {
      commit.place_path = line.CStr() + 6;
    } else if (sscanf(line.CStr(), "window %lld %d", &commit.start, &partial) == 2) {
      commit.partial = partial != 0;
    } else if (sscanf(line.CStr(), "commit %lld %20s %lld %lld %n", &commit.consumed, hash, &commit.carry_size,
                      &commit.header_length, &used) == 4 &&
               used > 0) {
      commit.hash = strtoull(hash, nullptr, 16);
      commit.log_path = line.CStr() + used;
      committed = true;
    }
  }
  return committed ? FinishSplit(files, commit, false) : Rollback(files, days);
}
