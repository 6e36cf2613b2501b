// The piped logger: a web server writes its access log lines to this
// program's standard input, and it appends them to the access log while it
// holds the site's lock (the advisory lock on vazivev.txt that every request
// takes). A split of the log therefore never misses a line written between
// its last read and the moment it empties the log.
#ifndef APP_LOG_PIPE_H_
#define APP_LOG_PIPE_H_

// Copies whole lines from `in` to the end of `log_path` until `in` ends or
// the process is asked to stop (SIGTERM, SIGINT, SIGHUP), then writes what
// it holds and returns 0; 2 when the log cannot be opened at all. The log
// is written only under the lock; the lock is taken without waiting, so a
// request never waits for the logger more than a write of what has arrived.
// Lines that wait for the lock go to a spool beside the log (LOG.spool.PID,
// held locked by its logger) and are merged into the log under the lock; a
// merge records where it writes, so one cut short by a kill is finished by
// the next logger, which also takes the spools of killed loggers. A lock file
// that cannot be opened is reported on standard error, and the lines stay
// in the spool until it can be. A write that stops short (a full disk, a
// file-size limit) resumes where it stopped, and a torn line is cut off
// again; lines that can go nowhere wait in memory up to 8 MiB, retried every
// second, and new lines beyond that are dropped, reported once on standard
// error and counted when writing works again. A last line without a line
// feed gets one. Before each batch of writes the log path is compared with
// the open file: when a rotation has renamed the log away (or removed it),
// the path is opened anew, created when it is still missing after 200 ms,
// and a log truncated in place is appended to at its new end.
int RunLogPipe(const char* log_path, const char* lock_path, int in);

#endif  // APP_LOG_PIPE_H_
