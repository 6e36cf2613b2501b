#include "app/log_pipe.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/file_write.h"

namespace {

constexpr int kReadSize = 64 * 1024;
// While lines wait for the lock: how often to try again.
constexpr int kRetryMilliseconds = 10;
// After a failed write (a full disk) or a lock file that cannot be opened:
// how long before the next try.
constexpr long kWriteRetryMilliseconds = 1000;
// Lines that can be written nowhere (log and spool both fail) are held in
// memory up to this much; beyond it new lines are dropped and counted.
constexpr size_t kMemoryBound = 8u << 20;
// A spool starts with this header: bytes of lines merged so far, and the
// merge under way (its length and the log's size before it), so that a
// logger killed in the middle of a merge is neither repeated nor lost.
constexpr off_t kHeaderSize = 80;
// A log path found missing (renamed away by a rotation) is created again
// only once it has been missing this long, unless the file was removed. A
// rotation that creates the new log itself does so right after the rename,
// and finding a file there already it would move it aside, with the lines
// written into it.
constexpr long kCreateDelayMilliseconds = 200;

volatile sig_atomic_t stop_requested = 0;

void RequestStop(int) { stop_requested = 1; }

long NowMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

bool LockFd(int fd, short type, bool wait) {
  struct flock whole = {};
  whole.l_type = type;
  whole.l_whence = SEEK_SET;
  while (fcntl(fd, wait ? F_SETLKW : F_SETLK, &whole) != 0) {
    if (errno != EINTR || !wait) return false;
  }
  return true;
}

off_t SizeOf(int fd) {
  struct stat info;
  return fstat(fd, &info) == 0 ? info.st_size : -1;
}

bool ReadAt(int fd, off_t at, size_t size, std::string* out) {
  out->resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = pread(fd, &(*out)[done], size - done, at + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

// Appends whole lines to the end of `fd`. Returns how many bytes of `data`
// are now in the file: a write that stopped in the middle of a line is cut
// back to the line before it, so that no torn line stays.
size_t AppendLines(int fd, const char* data, size_t size) {
  if (lseek(fd, 0, SEEK_END) < 0) return 0;
  const size_t wrote = WriteFully(fd, data, size);
  if (wrote == size) return size;
  const int error = errno;
  size_t whole = wrote;
  while (whole > 0 && data[whole - 1] != '\n') --whole;
  if (whole != wrote) {
    // Cut back from where the write ended, not from the end it started at:
    // a log truncated in place meanwhile (a copytruncate rotation) took the
    // write to its new end, and a cut from the old one would pad it with
    // zeros. A torn part that a truncation took away already needs no cut.
    const off_t ended = lseek(fd, 0, SEEK_CUR);
    const off_t cut = ended - static_cast<off_t>(wrote - whole);
    if (ended < 0 || (SizeOf(fd) > cut && ftruncate(fd, cut) != 0)) whole = wrote;
  }
  errno = error;
  return whole;
}

struct HSpoolHeader {
  int64_t merged = 0;  // bytes of lines after the header already in the log
  int64_t length = 0;  // the merge under way: its length, 0 when none
  int64_t log_at = 0;  // and the log's size before it
};

bool ReadHeader(int fd, HSpoolHeader* header) {
  std::string text;
  if (!ReadAt(fd, 0, kHeaderSize, &text)) return false;
  return sscanf(text.c_str(), "spool %" SCNd64 " %" SCNd64 " %" SCNd64, &header->merged, &header->length,
                &header->log_at) == 3;
}

bool WriteHeader(int fd, const HSpoolHeader& header) {
  char text[kHeaderSize];
  memset(text, ' ', sizeof text);
  const int n = snprintf(text, sizeof text, "spool %020" PRId64 " %020" PRId64 " %020" PRId64, header.merged,
                         header.length, header.log_at);
  text[n] = ' ';
  text[kHeaderSize - 1] = '\n';
  return lseek(fd, 0, SEEK_SET) == 0 && WriteFully(fd, text, sizeof text) == sizeof text;
}

// Moves the lines of a spool into the log; the caller holds the site's
// lock. True when the spool is empty afterwards. A merge that a killed
// logger left halfway is finished first: when the log holds its lines at
// the recorded place they count as merged, and a torn part is cut off.
bool MergeSpool(int spool_fd, int log_fd) {
  HSpoolHeader header;
  const off_t size = SizeOf(spool_fd);
  if (size < kHeaderSize || !ReadHeader(spool_fd, &header)) {
    // New, or killed before its header was whole (then it held no lines).
    return ftruncate(spool_fd, 0) == 0 && WriteHeader(spool_fd, HSpoolHeader());
  }
  const int64_t lines = size - kHeaderSize;
  if (header.length > 0 && header.merged + header.length <= lines) {
    std::string spooled, logged;
    ReadAt(spool_fd, kHeaderSize + header.merged, static_cast<size_t>(header.length), &spooled);
    const off_t log_size = SizeOf(log_fd);
    const size_t there =
        log_size > header.log_at ? static_cast<size_t>(std::min<int64_t>(log_size - header.log_at, header.length)) : 0;
    ReadAt(log_fd, header.log_at, there, &logged);
    if (there == static_cast<size_t>(header.length) && logged == spooled) {
      header.merged += header.length;
    } else if (there > 0 && there < static_cast<size_t>(header.length) &&
               log_size == header.log_at + static_cast<off_t>(there) && spooled.compare(0, there, logged) == 0) {
      if (ftruncate(log_fd, header.log_at) != 0) return false;  // a torn merge: it is made again
    }
    header.length = 0;
  }
  if (header.merged < lines) {
    std::string rest;
    if (!ReadAt(spool_fd, kHeaderSize + header.merged, static_cast<size_t>(lines - header.merged), &rest)) return false;
    rest.erase(rest.rfind('\n') + 1);  // npos + 1 is 0
    header.length = static_cast<int64_t>(rest.size());
    header.log_at = SizeOf(log_fd);
    if (!WriteHeader(spool_fd, header)) return false;
    const size_t moved = AppendLines(log_fd, rest.data(), rest.size());
    header.merged += static_cast<int64_t>(moved);
    header.length = 0;
    if (moved < rest.size() || header.merged < lines) {
      WriteHeader(spool_fd, header);  // what failed stays in the spool
      return false;
    }
  }
  // Emptied before the header is reset: a merged count beyond the end then
  // reads as all merged.
  if (lines > 0 && ftruncate(spool_fd, kHeaderSize) != 0) return false;
  header = HSpoolHeader();
  return WriteHeader(spool_fd, header);
}

class HLogPipe {
 public:
  HLogPipe(const char* log_path, const char* lock_path) : log_path_(log_path), lock_path_(lock_path) {}
  int Run(int in);

 private:
  int OpenLog() const;
  void FollowLog();
  void OpenLock();
  void OpenSpool();
  bool MergeOrphans();
  void Flush(bool ended);
  void Take(const char* data, size_t size);
  void Note(const char* what, int error);

  std::string log_path_;
  std::string lock_path_;
  std::string spool_path_;
  int log_fd_ = -1;
  int lock_fd_ = -1;
  int spool_fd_ = -1;
  bool spooled_ = false;      // the own spool may hold lines
  bool orphans_due_ = false;  // spools of killed loggers are to be looked for
  std::string pending_;       // lines in neither the log nor the spool
  long next_try_ = 0;         // no write or lock open before this
  long next_lock_open_ = 0;
  long log_missing_since_ = -1;  // when the log path was first found missing
  long next_log_open_ = 0;       // after a failed reopen of the log path
  bool log_open_warned_ = false;
  bool write_failing_ = false;
  bool lock_warned_ = false;
  long dropped_ = 0;
};

void HLogPipe::Note(const char* what, int error) {
  fprintf(stderr, "vazivev-log: %s%s%s\n", what, error ? ": " : "", error ? strerror(error) : "");
}

int HLogPipe::OpenLog() const { return open(log_path_.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644); }

// Follows a rotation of the log before a batch of writes; the caller holds
// the site's lock. When the path names another file than the open one, or
// none, the path is opened (and created) anew, so that new lines go to the
// new log while each line already written stays in the file it went to. A
// log truncated in place needs nothing: the writes append at its new end.
// Until a reopen succeeds, lines go on into the renamed file.
void HLogPipe::FollowLog() {
  struct stat named, opened;
  if (stat(log_path_.c_str(), &named) == 0) {
    log_missing_since_ = -1;
    if (fstat(log_fd_, &opened) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) return;
  } else if (errno == ENOENT) {
    // A removed log, unlike a renamed one, takes no line anywhere: it is
    // created at once.
    const long now = NowMilliseconds();
    if (log_missing_since_ < 0) log_missing_since_ = now;
    const bool removed = fstat(log_fd_, &opened) == 0 && opened.st_nlink == 0;
    if (!removed && now - log_missing_since_ < kCreateDelayMilliseconds) return;
  } else {
    return;  // the folder cannot be searched: the open file is all there is
  }
  if (NowMilliseconds() < next_log_open_) return;
  const int fd = OpenLog();
  if (fd < 0) {
    const int error = errno;
    next_log_open_ = NowMilliseconds() + kWriteRetryMilliseconds;
    if (!log_open_warned_) {
      Note(("cannot open " + log_path_ + " after it was rotated; lines go on into the rotated file").c_str(), error);
    }
    log_open_warned_ = true;
    return;
  }
  close(log_fd_);
  log_fd_ = fd;
  log_missing_since_ = -1;
  if (log_open_warned_) Note(("opened " + log_path_ + "; new lines go there").c_str(), 0);
  log_open_warned_ = false;
}

void HLogPipe::OpenLock() {
  if (lock_fd_ >= 0 || NowMilliseconds() < next_lock_open_) return;
  lock_fd_ = open(lock_path_.c_str(), O_RDWR | O_CLOEXEC);
  if (lock_fd_ >= 0) {
    if (lock_warned_) Note(("lock file " + lock_path_ + " opened; logging goes on").c_str(), 0);
    lock_warned_ = false;
    return;
  }
  next_lock_open_ = NowMilliseconds() + kWriteRetryMilliseconds;
  if (!lock_warned_) {
    const int error = errno;
    Note(("cannot open lock file " + lock_path_ + "; lines are kept in " + spool_path_ +
          " and not written to the log until it can be opened")
             .c_str(),
         error);
    lock_warned_ = true;
  }
}

void HLogPipe::OpenSpool() {
  spool_path_ = log_path_ + ".spool." + std::to_string(getpid());
  spool_fd_ = open(spool_path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (spool_fd_ < 0) return;
  LockFd(spool_fd_, F_WRLCK, false);  // held while this logger lives: a spool free of it is an orphan
  spooled_ = SizeOf(spool_fd_) > kHeaderSize;
  if (SizeOf(spool_fd_) < kHeaderSize) {
    ftruncate(spool_fd_, 0);
    WriteHeader(spool_fd_, HSpoolHeader());
  }
}

// Merges the spools of loggers that were killed (no lock on them) and
// removes them; the caller holds the site's lock.
bool HLogPipe::MergeOrphans() {
  const size_t slash = log_path_.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : log_path_.substr(0, slash + 1);
  const std::string prefix = log_path_.substr(slash == std::string::npos ? 0 : slash + 1) + ".spool.";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return true;
  bool all = true;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string path = (slash == std::string::npos ? "" : folder) + name;
    if (path == spool_path_) continue;
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened, named;
    if (LockFd(fd, F_WRLCK, false) && fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 &&
        opened.st_ino == named.st_ino) {
      if (MergeSpool(fd, log_fd_)) {
        unlink(path.c_str());
      } else {
        all = false;
      }
    }
    close(fd);  // drops the lock on it
  }
  closedir(dir);
  return all;
}

// Writes what waits: the spools first (older lines), then the lines held
// in memory, all under the site's lock; what cannot go to the log now goes
// to the own spool, and what cannot go there stays in memory.
void HLogPipe::Flush(bool ended) {
  if (ended && !pending_.empty() && pending_.back() != '\n') pending_ += '\n';
  const size_t complete = pending_.rfind('\n') + 1;
  if (complete == 0 && !spooled_ && !orphans_due_) return;
  if (NowMilliseconds() < next_try_ && !ended) return;
  OpenLock();
  bool wrote_all = false;
  bool failed = false;
  int error = 0;
  if (lock_fd_ >= 0 && LockFd(lock_fd_, F_WRLCK, ended)) {
    FollowLog();
    // A spool left by a killed logger goes into the log before any new line.
    if (orphans_due_) orphans_due_ = !MergeOrphans();
    if (spooled_ && spool_fd_ >= 0) spooled_ = !MergeSpool(spool_fd_, log_fd_);
    if (spooled_) {
      failed = true;
      error = errno;
    } else if (complete > 0) {
      const size_t moved = AppendLines(log_fd_, pending_.data(), complete);
      error = errno;
      pending_.erase(0, moved);
      failed = moved < complete;
      wrote_all = !failed;
    } else {
      wrote_all = true;
    }
    LockFd(lock_fd_, F_UNLCK, false);
  }
  const size_t left = pending_.rfind('\n') + 1;
  if (left > 0 && spool_fd_ >= 0) {
    const size_t moved = AppendLines(spool_fd_, pending_.data(), left);
    if (moved > 0) spooled_ = true;
    if (moved < left) {
      failed = true;
      error = errno;
    }
    pending_.erase(0, moved);
  }
  if (failed) {
    if (!write_failing_) {
      Note(("cannot write " + log_path_ + "; lines wait in memory (up to 8 MiB) and the write is tried every second")
               .c_str(),
           error);
    }
    write_failing_ = true;
    next_try_ = NowMilliseconds() + kWriteRetryMilliseconds;
  } else if (wrote_all || pending_.empty()) {
    if (write_failing_ && dropped_ > 0) {
      Note(("writing " + log_path_ + " works again; " + std::to_string(dropped_) + " lines were dropped").c_str(), 0);
    } else if (write_failing_) {
      Note(("writing " + log_path_ + " works again; no line was lost").c_str(), 0);
    }
    write_failing_ = false;
    dropped_ = 0;
  }
}

// Keeps what was read; whole lines beyond the memory bound are dropped.
void HLogPipe::Take(const char* data, size_t size) {
  pending_.append(data, size);
  if (pending_.size() <= kMemoryBound) return;
  const size_t keep = pending_.rfind('\n', kMemoryBound - 1) + 1;
  const size_t last = pending_.rfind('\n') + 1;
  if (last <= keep) return;
  long lines = 0;
  for (size_t at = keep; at < last; ++at) lines += pending_[at] == '\n';
  if (dropped_ == 0) {
    Note(("8 MiB of lines wait for " + log_path_ + "; new lines are dropped until writing works again").c_str(), 0);
  }
  dropped_ += lines;
  pending_.erase(keep, last - keep);
}

int HLogPipe::Run(int in) {
  log_fd_ = OpenLog();
  if (log_fd_ < 0) return 2;
  OpenSpool();
  long next_orphans = 0;
  bool ended = false;
  char chunk[kReadSize];
  for (;;) {
    if (stop_requested && !ended) {
      // What has arrived in the pipe goes out too, then the logger ends.
      pollfd source = {in, POLLIN, 0};
      for (ssize_t got = 1; got > 0 && poll(&source, 1, 0) > 0;) {
        got = read(in, chunk, sizeof chunk);
        if (got > 0) Take(chunk, static_cast<size_t>(got));
      }
      ended = true;
    }
    if (NowMilliseconds() >= next_orphans) {
      orphans_due_ = true;
      next_orphans = NowMilliseconds() + 60 * 1000;
    }
    Flush(ended);
    if (ended) break;
    pollfd source = {in, POLLIN, 0};
    const bool waiting = spooled_ || orphans_due_ || pending_.find('\n') != std::string::npos;
    if (poll(&source, 1, waiting ? kRetryMilliseconds : -1) > 0) {
      const ssize_t got = read(in, chunk, sizeof chunk);
      if (got > 0) {
        Take(chunk, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ended = true;
      }
    }
  }
  // At the end a full disk gets a few more tries.
  for (int tries = 0; tries < 3 && (spooled_ || !pending_.empty()) && lock_fd_ >= 0; ++tries) {
    poll(nullptr, 0, static_cast<int>(kWriteRetryMilliseconds));
    next_try_ = 0;
    Flush(true);
  }
  const long lost = static_cast<long>(std::count(pending_.begin(), pending_.end(), '\n')) + dropped_;
  if (lost > 0) Note(("ending with " + std::to_string(lost) + " lines that could not be written").c_str(), 0);
  if (spooled_) Note(("lines wait in " + spool_path_ + " for the next logger").c_str(), 0);
  if (spool_fd_ >= 0 && !spooled_) unlink(spool_path_.c_str());
  close(log_fd_);
  if (spool_fd_ >= 0) close(spool_fd_);
  if (lock_fd_ >= 0) close(lock_fd_);
  return 0;
}

}  // namespace

int RunLogPipe(const char* log_path, const char* lock_path, int in) {
  struct sigaction on_stop = {};
  on_stop.sa_handler = RequestStop;  // no SA_RESTART: poll returns at once
  sigaction(SIGTERM, &on_stop, nullptr);
  sigaction(SIGINT, &on_stop, nullptr);
  sigaction(SIGHUP, &on_stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGXFSZ, SIG_IGN);  // a file-size limit is a short write, like a full disk
  stop_requested = 0;
  HLogPipe pipe(log_path, lock_path);
  return pipe.Run(in);
}
