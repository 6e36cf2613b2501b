// The update step of a request, run before its page: decides the "Loging"
// mode on the first request that finds "LogFile" or "DateFile" set, and in
// the splitting mode finishes or undoes a split left half done, then splits.
#ifndef STATS_ACCESS_LOG_UPDATE_H_
#define STATS_ACCESS_LOG_UPDATE_H_

class HVaziVev;

// Raises nothing.
void UpdateAccessLog(HVaziVev& log);

#endif  // STATS_ACCESS_LOG_UPDATE_H_
