// The piped logger: a web server writes its access log lines to this
// program's standard input, and it appends them to the access log while it
// holds the site's lock (the advisory lock on vazivev.txt that every request
// takes). A split of the log therefore never misses a line written between
// its last read and the moment it empties the log.
#ifndef APP_LOG_PIPE_H_
#define APP_LOG_PIPE_H_

// Copies whole lines from `in` to the end of `log_path` until `in` ends or
// the process is asked to stop (SIGTERM, SIGINT, SIGHUP), then writes what
// it holds and returns 0; 2 when the log cannot be opened at all. Lines
// that have arrived wait in memory while the lock is taken and go out
// together once it is free; the lock is taken without waiting, so a request
// never waits for the logger more than a write of what has arrived. A
// lock file that cannot be opened does not stop the logging: the lines are
// then appended without the lock. A last line without a line feed gets one.
int RunLogPipe(const char* log_path, const char* lock_path, int in);

#endif  // APP_LOG_PIPE_H_
