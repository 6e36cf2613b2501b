#include "app/log_server.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/errors.h"
#include "system/admin.h"
#include "system/login_failures.h"
#include "system/system.h"

namespace {

// How long a login waits for its turn at most (then it is checked without
// one), and how often it looks.
constexpr long kLoginWaitMicroseconds = 30L * 1000 * 1000;
constexpr long kLoginRetryMicroseconds = 5 * 1000;

}  // namespace

HLogServer::HLogServer() { CurrentServer = this; }

HLogServer::~HLogServer() {
  if (CurrentServer == this) CurrentServer = nullptr;
}

HSystem* HLogServer::System() { return dynamic_cast<HSystem*>(GetSystem()); }

void HLogServer::ReadInput() {
  try {
    HServer::ReadInput();
  } catch (...) {
    SetDateParameter();  // the error page sees the day as well
    throw;
  }
  if (!SetDateParameter()) throw ErrorDate;
}

bool HLogServer::SetDateParameter() {
  HSystem* system = System();
  if (system == nullptr) return true;
  HDate& day = system->DateObject().Date();
  const char* date = Params.GetValue("Date");
  bool valid = true;
  if (date != nullptr && *date != 0) {
    HDate asked;
    if (HDate::ParseDay(date, &asked)) {
      day = asked;
    } else {
      // The error page shows what was asked for; its links lead to the
      // selected day as constructed (yesterday).
      Params.SetValue("BadDate", date);
      valid = false;
    }
  }
  // Every link of the page carries the day in its one form.
  HString number;
  number.AssignNumber(day.Number());
  Params.SetValue("Date", number.CStr());
  return valid;
}

bool HLogServer::IsLoginPost() const {
  const char* request = Params.GetValue("_System");
  // Only a posted form logs in: a query string would leave the password in
  // the web server's access log.
  return post_ && request != nullptr && CompareNoCase(request, "Admin") == 0;
}

std::string HLogServer::FailuresPath() const { return std::string(HomeDir.CStr()) + "data/AdminFailures"; }

void HLogServer::BeforeLock() {
  if (!IsLoginPost()) return;
  login_arrived_ = time(nullptr);
  // A try from an address that must wait is refused under the lock without
  // a look at its password: it costs no slow check at all.
  HLoginFailures failures;
  failures.Load(FailuresPath().c_str());
  if (failures.WaitFor(ClientAddress(getenv("REMOTE_ADDR")), login_arrived_) > 0) return;
  // One slow check at a time, whoever sends them: a burst of guesses then
  // takes one core, in turn, and leaves the rest of the machine to the
  // other visitors. The turn is an flock of the lock file, which does not
  // touch the site's lock (an fcntl lock of the same file).
  HString lock_path(HomeDir);
  lock_path.Append(server_name_);
  lock_path.Append(".txt");
  const int turn = open(lock_path.CStr(), O_RDONLY | O_CLOEXEC);
  if (turn >= 0) {
    for (long waited = 0; flock(turn, LOCK_EX | LOCK_NB) != 0 && waited < kLoginWaitMicroseconds;
         waited += kLoginRetryMicroseconds) {
      usleep(kLoginRetryMicroseconds);
    }
  }
  HString path(HomeDir);
  path.Append("data/admin");
  PrecheckLogin(path.CStr(), Params.GetValue("_password"));
  if (turn >= 0) close(turn);
}

void HLogServer::CheckLogin() {
  if (!post_) return;
  HSystem* system = System();
  auto* admin = system == nullptr ? nullptr : dynamic_cast<HAdmin*>(system->FindChild("Admin"));
  if (!IsLoginPost()) {
    // Any other POST changes something: from a logged-in administrator it
    // must carry the token of the login.
    if (admin != nullptr) admin->CheckFormToken(Params.GetValue("_token"));
    return;
  }
  // With no administrator there is no password to check: everybody is one.
  if (admin != nullptr) LoginOnce(*admin);
  post_ = 0;
}

void HLogServer::LoginOnce(HAdmin& admin) {
  const std::string path = FailuresPath();
  const std::string address = ClientAddress(getenv("REMOTE_ADDR"));
  HLoginFailures failures;
  failures.Load(path.c_str());
  const long long now = login_arrived_ > 0 ? login_arrived_ : time(nullptr);
  long wait = failures.WaitFor(address, now);
  if (wait > 0) {
    Params.SetValue("LoginWait", std::to_string(wait).c_str());
    SetStatus(429, static_cast<int>(wait));
    throw ErrorLogin;
  }
  try {
    admin.Login();
  } catch (const char* name) {
    // Counted here, where the lock makes reading and writing the count one
    // step; the error goes on to its page.
    if (CompareNoCase(name, ErrorPassword) == 0) {
      wait = failures.AddFailure(address, now);
      if (failures.Save(path.c_str()) && wait > 0) Params.SetValue("LoginWait", std::to_string(wait).c_str());
    }
    throw;
  }
  if (failures.Forget(address)) failures.Save(path.c_str());
}

void HLogServer::Save() {
  HSystem* system = System();
  if (system == nullptr) return;
  // The system's own mark is not cleared before the commit: it now stands
  // only for changes of its properties and inline children (the Env and
  // Cookie views never set it), and clearing it would lose them.
  if (system->Commit()) return;
  if (post_) throw ErrorFileSave;
  // A page view that counted a day could not store it: it will be counted
  // again. The web server's error log should hear of it.
  fputs("vazivev: could not save the data of this request; check that data/ is writable\n", stderr);
}
