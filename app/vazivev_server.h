// HVaziVevServer, the application's server: its system object, its name
// and default page, and the lock on the installation's vazivev.txt.
#ifndef APP_VAZIVEV_SERVER_H_
#define APP_VAZIVEV_SERVER_H_

#include "app/log_server.h"
#include "app/log_system.h"

// The program's arguments, for a request that starts again under the write
// lock (main sets them).
void SetRestartArguments(char** argv);

class HVaziVevServer : public HLogServer {
 public:
  HVaziVevServer();
  ~HVaziVevServer() override;

  // Takes a write lock on the whole of vazivev.txt, waiting up to eleven
  // seconds (the wait of twelve attempts one second apart) and trying again
  // every half millisecond. Raises ErrorInstall when the file cannot be
  // opened (it is never created here) and ErrorBusy when the lock stays
  // taken. A writer first takes byte 1 (the turnstile), which keeps new
  // readers out while those inside finish.
  void Lock(int post) override;
  // A GET shares the lock with other GETs (a read lock on byte 0, taken
  // through the turnstile) until it comes to change a file of the site:
  // then it starts again as the same request under the write lock
  // (core/write_guard.h), before any change and before any answer. A POST,
  // and a request started again so, takes Lock.
  void LockRequest(int post) override;
  void Unlock() override;
  // Splits the access log into day files (see logread/log_split.h)
  // when the system object has its "vazivev" child.
  void Update() override;
  IObject* GetSystem() override { return &system_; }

 private:
  HVaziVevSystem system_;
  int lock_fd_ = -1;
};

#endif  // APP_VAZIVEV_SERVER_H_
