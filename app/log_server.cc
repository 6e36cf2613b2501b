#include "app/log_server.h"

#include <cstdio>

#include "core/errors.h"
#include "system/admin.h"
#include "system/system.h"

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
  SetDateParameter();
}

void HLogServer::SetDateParameter() {
  HSystem* system = System();
  if (system == nullptr) return;
  HDate& day = system->DateObject().Date();
  const char* date = Params.GetValue("Date");
  if (date != nullptr) {
    day.SetNumber(ToInt(date));
  } else {
    HString number;
    number.AssignNumber(day.Number());
    Params.AddEntry("Date", number.CStr());
  }
}

bool HLogServer::IsLoginPost() const {
  const char* request = Params.GetValue("_System");
  // Only a posted form logs in: a query string would leave the password in
  // the web server's access log.
  return post_ && request != nullptr && CompareNoCase(request, "Admin") == 0;
}

void HLogServer::BeforeLock() {
  if (!IsLoginPost()) return;
  HString path(HomeDir);
  path.Append("data/admin");
  PrecheckLogin(path.CStr(), Params.GetValue("_password"));
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
  if (admin != nullptr) admin->Login();
  post_ = 0;
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
