// HLogServer: the driver with the object factory, the "Date" parameter, the
// login step and the save of the object tree.
#ifndef APP_LOG_SERVER_H_
#define APP_LOG_SERVER_H_

#include <string>

#include "objects/factory.h"
#include "server/server.h"

class HAdmin;
class HSystem;

class HLogServer : public HServer {
 public:
  // Registers itself as CurrentServer.
  HLogServer();
  ~HLogServer() override;

  IObjectFactory* GetFactory() override { return &factory_; }
  // The input, then the "Date" parameter: written yyyymmdd or yyyy-mm-dd,
  // it sets the selected day, and it is set (or added) to the selected day
  // as yyyymmdd, yesterday when the request has none or an empty one. One
  // that is not a day of the calendar raises ErrorDate, with the text in
  // the parameter "BadDate".
  void ReadInput() override;
  // The password of a posted login, checked before the lock is taken.
  void BeforeLock() override;
  // A posted login ("_System" = "Admin") is checked, and the request is
  // then answered with a page rather than a redirect. A GET never logs in.
  // An address that sent too many wrong passwords must wait (see
  // system/login_failures.h): its try raises ErrorLogin, with the seconds
  // in the parameter "LoginWait" and in "Retry-After:"; a wrong password
  // that starts a wait says so in "LoginWait" as well.
  // Every other POST of a logged-in administrator must carry the login's
  // form token ("_token"), or raises ErrorForm.
  void CheckLogin() override;
  // Commits the object tree; a failure raises ErrorFileSave for a POST and
  // is reported on standard error (the web server's error log) for a GET.
  void Save() override;

 protected:
  // The system object, or null.
  HSystem* System();

  IObjectFactory factory_;

 private:
  // False when the request's "Date" is not a day.
  bool SetDateParameter();
  bool IsLoginPost() const;
  std::string FailuresPath() const;
  // Login of `admin`, refused while the client's address must wait, its
  // failures counted.
  void LoginOnce(HAdmin& admin);

  // When a posted login arrived, before its slow check: its failure and
  // its wait are counted from then, whatever the check and the lock took.
  long long login_arrived_ = 0;
};

#endif  // APP_LOG_SERVER_H_
