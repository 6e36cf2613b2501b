#include "app/vazivev_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/errors.h"
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

}  // namespace

HVaziVevServer::HVaziVevServer() {
  system_.SetServer(this);
  system_.SetVersion("1.1", "0.3");
  server_name_ = "vazivev";
  default_page_ = "VaziVevIndex";
}

HVaziVevServer::~HVaziVevServer() { Unlock(); }

void HVaziVevServer::Lock(int /*post*/) {
  HString path(HomeDir);
  path.Append(server_name_);
  path.Append(".txt");
  lock_fd_ = open(path.CStr(), O_RDWR | O_CLOEXEC);
  if (lock_fd_ < 0) {
    // The install page says which: the file is not there, or the web
    // server's user may not write it.
    Params.SetValue("LockProblem", errno == ENOENT ? "missing" : "unwritable");
    Params.SetValue("LockFile", path.CStr());
    throw ErrorInstall;
  }
  struct flock whole = {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  for (long waited = 0; fcntl(lock_fd_, F_SETLK, &whole) != 0; waited += kLockRetryMicroseconds) {
    if (waited >= kLockWaitMicroseconds) {
      close(lock_fd_);
      lock_fd_ = -1;
      throw ErrorBusy;
    }
    usleep(kLockRetryMicroseconds);
  }
}

void HVaziVevServer::Unlock() {
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
