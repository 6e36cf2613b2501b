// The split: at every request the completed days of the web server's one
// growing access log move into day files (logs/QLyymmdd.log), and the lines
// of the current day wait in the carry-over file (vazivev.log). Not one line
// is lost or written twice, whatever happens to the process:
//   - The input is the carry-over file, then the access log after its
//     "format=" header line. Lines are taken whole, however long.
//   - Lines of completed days are appended to their day files (a late line
//     joins the lines its day file already holds). Every day file is
//     written to a temporary file and renamed into place; before that, its
//     size is noted in a journal (vazivev.journal), so that a split that
//     stops halfway is undone by the next one.
//   - From the first line of today (or the first line whose day file cannot
//     be made) on, every line goes to the new carry-over file. Once that is
//     written, the journal says so; only then is the access log emptied
//     (cut back to its header line in place, so that a web server writing
//     it keeps its file) and the new carry-over put in place. A split that
//     stops after that point is finished by the next one.
//   - A failed write (a full disk) undoes the split: the old files and the
//     unread lines stay where they were.
#ifndef LOGREAD_LOG_SPLIT_H_
#define LOGREAD_LOG_SPLIT_H_

#include "core/date.h"

// The day file pattern of a split log, below the program directory.
extern const char kDayFilePattern[];

// Splits the access log at `log_path` for the program directory `home`
// (ending in "/"), with `today` the first day that is not complete. Returns
// whether the files are in a settled state afterwards (false when a
// failure undid the split or an unfinished split could not be finished).
bool SplitAccessLog(const char* home, const char* log_path, const HDate& today);

// The points of a split at which LogSplitStep is called.
enum SplitStep {
  kSplitFileStep,    // after a change to a file
  kSplitLineStep,    // after a line was written
  // Between the last read of the log and its emptying: a line that a web
  // server writes to the log itself (not through the lock) here is lost.
  kSplitWindowStep,
};

// Called at every point of a split listed above. Null in the program; tests
// stop the process there to show that any stop leaves every line in exactly
// one place.
extern void (*LogSplitStep)(SplitStep kind);

#endif  // LOGREAD_LOG_SPLIT_H_
