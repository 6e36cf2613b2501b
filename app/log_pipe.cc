#include "app/log_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr int kReadSize = 64 * 1024;
// While lines wait for the lock: how often to try again.
constexpr int kRetryMilliseconds = 10;
// After a failed write (a full disk): how long before the next try.
constexpr int kWriteRetryMilliseconds = 1000;

volatile sig_atomic_t stop_requested = 0;

void RequestStop(int) { stop_requested = 1; }

// Takes (or, with `wait`, waits for) the write lock on the whole lock
// file; true when held. A missing lock file counts as held.
bool Lock(int lock_fd, bool wait) {
  if (lock_fd < 0) return true;
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  while (fcntl(lock_fd, wait ? F_SETLKW : F_SETLK, &whole) != 0) {
    if (errno != EINTR || !wait) return false;
  }
  return true;
}

void Unlock(int lock_fd) {
  if (lock_fd < 0) return;
  struct flock whole = {};
  whole.l_type = F_UNLCK;
  whole.l_whence = SEEK_SET;
  fcntl(lock_fd, F_SETLK, &whole);
}

bool WriteAll(int fd, const char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = write(fd, data, n);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

int RunLogPipe(const char* log_path, const char* lock_path, int in) {
  struct sigaction on_stop = {};
  on_stop.sa_handler = RequestStop;  // no SA_RESTART: poll returns at once
  sigaction(SIGTERM, &on_stop, nullptr);
  sigaction(SIGINT, &on_stop, nullptr);
  sigaction(SIGHUP, &on_stop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  const int log_fd = open(log_path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (log_fd < 0) return 2;
  int lock_fd = -1;
  std::string pending;  // lines read, not yet written; the last may be unfinished
  bool ended = false;
  char chunk[kReadSize];
  for (;;) {
    if (stop_requested && !ended) {
      // What has arrived in the pipe goes out too, then the logger ends.
      pollfd source = {in, POLLIN, 0};
      for (ssize_t got = 1; got > 0 && poll(&source, 1, 0) > 0;) {
        got = read(in, chunk, sizeof chunk);
        if (got > 0) pending.append(chunk, static_cast<size_t>(got));
      }
      ended = true;
    }
    const size_t complete = ended ? pending.size() : pending.rfind('\n') + 1;  // npos + 1 is 0
    if (complete > 0) {
      if (lock_fd < 0) lock_fd = open(lock_path, O_RDWR | O_CLOEXEC);
      if (Lock(lock_fd, ended)) {
        if (ended && pending.back() != '\n') pending += '\n';
        const size_t n = ended ? pending.size() : complete;
        const bool written = WriteAll(log_fd, pending.data(), n);
        Unlock(lock_fd);
        if (written) {
          pending.erase(0, n);
        } else {
          poll(nullptr, 0, kWriteRetryMilliseconds);  // the lines stay and are tried again
          continue;
        }
      }
    }
    if (ended && pending.empty()) break;
    pollfd source = {in, POLLIN, 0};
    const bool waiting = pending.find('\n') != std::string::npos;
    if (!ended && poll(&source, 1, waiting ? kRetryMilliseconds : -1) > 0) {
      const ssize_t got = read(in, chunk, sizeof chunk);
      if (got > 0) {
        pending.append(chunk, static_cast<size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ended = true;
      }
    }
  }
  close(log_fd);
  if (lock_fd >= 0) close(lock_fd);
  return 0;
}
