#include "stats/access_log_update.h"

#include <cstdio>
#include <ctime>

#include "core/iserver.h"
#include "core/text.h"
#include "logread/log_split.h"
#include "stats/vazivev.h"

void UpdateAccessLog(HVaziVev& log) {
  log.RemoveOldSnapshot();
  const char* mode = log.Setting("Loging");
  if (*mode == 0) {
    if (*log.Setting("LogFile") == 0) {
      if (*log.Setting("DateFile") != 0) log.SetProperty("Loging", "Daily");
      return;
    }
    log.SetProperty("Loging", "Unique");
    log.RemoveProperty("DateFile");
  } else if (log.IsDaily() || *log.Setting("LogFile") == 0) {
    return;
  }
  const char* home = CurrentServer == nullptr ? "" : CurrentServer->GetHomeDir();
  // The setting is copied: nothing in the split may change it, but it is a
  // property's text all the same.
  const HString log_path(log.Setting("LogFile"));
  // Each line's day is that of its own zone: a day of the log not over yet
  // is not over for the statistics either.
  if (CompareNoCase(log.Setting("Loging"), "Follow") == 0) {
    FollowAccessLog(home, log_path.CStr(), time(nullptr));
  } else {
    SplitAccessLog(home, log_path.CStr(), time(nullptr));
  }
  const HDate& log_today = LastSplitToday();
  if (log_today.IsValid() && log_today.Compare(log.Today()) < 0) log.SetToday(log_today);
  // A failure is said on standard error, which the web server writes to
  // its error log, and kept for the pages.
  const char* failure = LastSplitFailure();
  if (*failure != 0) fprintf(stderr, "vazivev: the access log could not be read: %s\n", failure);
  log.SetSplitReport(failure, ReadSplitDropped(home));
}
