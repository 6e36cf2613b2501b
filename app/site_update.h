// vazivev-update: brings a site's statistics up to date without a visitor
// waiting for it, for cron or a systemd timer. It runs the update step of a
// request (the split, or "Follow"), then counts every statistic the site
// has for every complete day with a day file that is not counted yet or
// whose day file changed since it was counted, in pieces of about a second
// under the site's lock, each piece committed as a request commits, so that
// visitors wait no longer than that and a stop loses at most one piece.
// The sums since the first day are made at the end, so that the first
// visitor of the day finds them ready.
//
// Each day is read once for all its due statistics. With more than one
// job, the days of a piece are dealt out to forked workers, which read and
// count them and hand their results over in a file; the process that holds
// the lock alone stores them, each under the stamp its worker took before
// reading, so a line added meanwhile makes the day due again. A worker
// that fails loses nothing: its days stay due for the next piece.
#ifndef APP_SITE_UPDATE_H_
#define APP_SITE_UPDATE_H_

#include <cstdio>
#include <string>

// Updates the site at `home` (ending in "/"), saying what it does on `out`
// (progress only when `progress`) and problems on stderr, counting the
// days of each piece in `jobs` processes. Returns 0 when everything is
// counted, 1 when something failed.
int RunSiteUpdate(const std::string& home, FILE* out, bool progress, int jobs);

#endif  // APP_SITE_UPDATE_H_
