// HLogServer: the driver with the object factory, the selected day taken
// from the "Date" parameter, the login step and the save of the object tree.
#ifndef SERVER_LOG_SERVER_H_
#define SERVER_LOG_SERVER_H_

#include "core/date.h"
#include "server/server.h"

class HLogServer : public HServer {
 public:
  // Registers itself as CurrentServer.
  HLogServer();
  ~HLogServer() override;

  void ReadInput() override;
  void CheckLogin() override {}
  void Save() override;

  // The selected day: set from the "Date" parameter, yesterday by default.
  HDate& SelectedDay() { return selected_day_; }

 protected:
  HDate selected_day_;
};

#endif  // SERVER_LOG_SERVER_H_
