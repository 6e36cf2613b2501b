#include "app/vazivev_server.h"

#include <fcntl.h>
#include <unistd.h>

#include "loganalysis/log_split.h"
#include "loganalysis/vazivev.h"
#include "server/errors.h"

namespace {

const int kLockAttempts = 12;

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
  for (int attempt = 1;; ++attempt) {
    lock_fd_ = open(path.CStr(), O_RDWR | O_CLOEXEC);
    if (lock_fd_ < 0) throw ErrorInstall;
    struct flock whole = {};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (fcntl(lock_fd_, F_SETLK, &whole) == 0) return;
    close(lock_fd_);
    lock_fd_ = -1;
    if (attempt == kLockAttempts) throw ErrorBusy;
    sleep(1);
  }
}

void HVaziVevServer::Unlock() {
  if (lock_fd_ == -1) return;
  close(lock_fd_);
  lock_fd_ = -1;
}

void HVaziVevServer::Update() {
  auto* log = dynamic_cast<HVaziVev*>(system_.FindChild("vazivev"));
  if (log != nullptr) UpdateAccessLog(*log);
}
