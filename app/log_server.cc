#include "server/log_server.h"

#include "server/errors.h"

HLogServer::HLogServer() {
  CurrentServer = this;
  exclusive_lock_ = 1;
  lock_wait_limit_ = 300;
}

HLogServer::~HLogServer() {
  if (CurrentServer == this) CurrentServer = nullptr;
}

void HLogServer::ReadInput() {
  HServer::ReadInput();
  const char* date = Params.GetValue("Date");
  if (date != nullptr) {
    selected_day_.SetNumber(ToInt(date));
  } else {
    HString number;
    number.AssignNumber(selected_day_.Number());
    Params.AddEntry("Date", number.CStr());
  }
}

void HLogServer::Save() {}
