#include "app/vazivev_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/errors.h"
#include "core/write_guard.h"
#include "stats/access_log_update.h"
#include "stats/vazivev.h"

namespace {

// A request waits as long as twelve attempts one second apart would, but
// tries again every half millisecond: a lock that another request frees is
// taken at once, and many waiting requests all get their turn, rather than
// a request failing because the lock happened to be taken at each of a few
// instants.
constexpr long kLockWaitMicroseconds = 11L * 1000 * 1000;
constexpr long kLockRetryMicroseconds = 500;

// Set in the environment of a request started again to take the write lock.
constexpr char kRestartMark[] = "VAZIVEV_RESTARTED";

char** restart_argv = nullptr;

// The bytes of vazivev.txt the lock is made of: readers hold byte 0 shared;
// a writer holds byte 1, the turnstile every reader passes on its way in,
// then the whole file.
constexpr off_t kReadersByte = 0;
constexpr off_t kTurnstileByte = 1;

struct flock Range(short type, off_t start, off_t length) {
  struct flock range = {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = start;
  range.l_len = length;
  return range;
}

// Takes `range` on `fd`, trying every half millisecond for as long as a
// request waits in all; false when the time is up.
bool TakeRange(int fd, struct flock range, long* waited) {
  while (fcntl(fd, F_SETLK, &range) != 0) {
    if (*waited >= kLockWaitMicroseconds) return false;
    usleep(kLockRetryMicroseconds);
    *waited += kLockRetryMicroseconds;
  }
  return true;
}

// The same request again, under the write lock: this process holds the
// read lock and has changed nothing nor answered anything yet, and its
// lock's descriptor closes on exec.
[[noreturn]] void Restart() {
  setenv(kRestartMark, "1", 1);
  if (restart_argv != nullptr && restart_argv[0] != nullptr) {
    execv("/proc/self/exe", restart_argv);
    if (strchr(restart_argv[0], '/') != nullptr) execv(restart_argv[0], restart_argv);
  }
  // No way to start again (no /proc): the client is asked to try again,
  // as when the lock stays taken.
  static const char kBusy[] =
      "Status: 503 Service Unavailable\nRetry-After: 1\nContent-type: text/plain; charset=UTF-8\n\n"
      "The statistics are busy; please try again.\n";
  if (write(STDOUT_FILENO, kBusy, sizeof kBusy - 1) < 0) _exit(1);
  _exit(0);
}

}  // namespace

void SetRestartArguments(char** argv) { restart_argv = argv; }

HVaziVevServer::HVaziVevServer() {
  system_.SetServer(this);
  system_.SetVersion("1.1", "0.3");
  server_name_ = "vazivev";
  default_page_ = "VaziVevIndex";
}

HVaziVevServer::~HVaziVevServer() { Unlock(); }

namespace {

// Opens vazivev.txt for its lock; raises ErrorInstall when it cannot.
int OpenLockFile(const char* server_name) {
  HString path(HomeDir);
  path.Append(server_name);
  path.Append(".txt");
  const int fd = open(path.CStr(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    // The install page says which: the file is not there, or the web
    // server's user may not write it.
    Params.SetValue("LockProblem", errno == ENOENT ? "missing" : "unwritable");
    Params.SetValue("LockFile", path.CStr());
    throw ErrorInstall;
  }
  return fd;
}

}  // namespace

void HVaziVevServer::Lock(int /*post*/) {
  lock_fd_ = OpenLockFile(server_name_);
  long waited = 0;
  if (!TakeRange(lock_fd_, Range(F_WRLCK, kTurnstileByte, 1), &waited) ||
      !TakeRange(lock_fd_, Range(F_WRLCK, 0, 0), &waited)) {
    close(lock_fd_);
    lock_fd_ = -1;
    throw ErrorBusy;
  }
}

void HVaziVevServer::LockRequest(int post) {
  if (post != 0 || getenv(kRestartMark) != nullptr) {
    Lock(post);
    return;
  }
  lock_fd_ = OpenLockFile(server_name_);
  long waited = 0;
  struct flock pass = Range(F_RDLCK, kTurnstileByte, 1);
  if (!TakeRange(lock_fd_, pass, &waited) || !TakeRange(lock_fd_, Range(F_RDLCK, kReadersByte, 1), &waited)) {
    close(lock_fd_);
    lock_fd_ = -1;
    throw ErrorBusy;
  }
  pass.l_type = F_UNLCK;
  fcntl(lock_fd_, F_SETLK, &pass);
  SetWriteHandler(Restart);
}

void HVaziVevServer::Unlock() {
  SetWriteHandler(nullptr);
  if (lock_fd_ == -1) return;
  close(lock_fd_);
  lock_fd_ = -1;
}

void HVaziVevServer::Update() {
  auto* log = dynamic_cast<HVaziVev*>(system_.FindChild("vazivev"));
  if (log == nullptr) return;
  // Only a web request knows the program's path; the commands run from
  // cron read it back from the settings.
  log->NoteScriptPath(getenv("SCRIPT_NAME"));
  UpdateAccessLog(*log);
}
