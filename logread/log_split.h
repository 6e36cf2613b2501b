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
//   - Each line's layout is decided from the line alone, and its days are
//     those of its own time zone (logread/split_clock.h). A line without a
//     date, or dated after the day of the clock five minutes ahead, is
//     dropped and counted, never kept waiting.
//   - From the first line of today (or the first line whose day file cannot
//     be made) on, every line goes to the new carry-over file. Once that is
//     written, the journal says so; only then is the access log emptied
//     (cut back to its header line in place, so that a web server writing
//     it keeps its file) and the new carry-over put in place. A split that
//     stops after that point is finished by the next one.
//   - A failed write (a full disk) undoes the split: the old files and the
//     unread lines stay where they were.
//   - One split reads at most kSplitByteBudget bytes of the log, and for at
//     most kSplitSecondBudget seconds, so that every request answers soon
//     whatever the log holds. A split that stops there commits what it took
//     and keeps its place in vazivev.offset, without emptying the log; the
//     next goes on from there (the log must still hold the bytes before the
//     place, else it is read from its start), and the one that reaches the
//     end empties the log as above.
#ifndef LOGREAD_LOG_SPLIT_H_
#define LOGREAD_LOG_SPLIT_H_

#include <ctime>
#include <string>
#include <vector>

#include "core/date.h"
#include "logread/log_split_journal.h"

constexpr long long kSplitByteBudget = 128LL * 1024 * 1024;
constexpr double kSplitSecondBudget = 2.0;

// Splits the access log at `log_path` for the program directory `home`
// (ending in "/"), with `today` the first day that is not complete. Returns
// whether the files are in a settled state afterwards (false when a
// failure undid the split or an unfinished split could not be finished).
// Only a regular file is taken as the log.
bool SplitAccessLog(const char* home, const char* log_path, const HDate& today);
// The same with each line's today that of its own zone at the moment `now`
// (a line without an offset: the local zone's).
bool SplitAccessLog(const char* home, const char* log_path, time_t now);
// The split of a log the web server owns and rotates (logread/log_follow.h):
// the same moves of lines into day files and the carry-over file, but the
// log and its rotated files are only read, and the place reached is kept
// in vazivev.follow instead of emptying the log.
bool FollowAccessLog(const char* home, const char* log_path, time_t now);
bool FollowAccessLog(const char* home, const char* log_path, const HDate& today);
// One piece of an import of the file at `path` (plain or compressed): its
// lines go where the split puts them, from where an import of the same file
// stopped before (kept in vazivev.import) for at most the split's budget.
// `*done` when the file was read to its end. The file is only read.
bool ImportLogPiece(const char* home, const char* path, time_t now, bool* done);
bool ImportLogPiece(const char* home, const char* path, const HDate& today, bool* done);

// What the last split did: the lines it wrote to day files and to the
// carry-over file, and the day files it changed.
struct HSplitCounts {
  long long to_days = 0;
  long long waiting = 0;
  int days = 0;
  std::vector<std::string> day_files;
};
const HSplitCounts& LastSplitCounts();

// The earliest "today" the last split gave a line (invalid when it read
// none): a day of the log's own zone that is not over yet, which must not
// be counted as complete.
const HDate& LastSplitToday();

// Why the last split failed, or could not write all it should have (a day
// file that could not be made, an access log that could not be opened):
// "cannot create /site/logs/QL990305.log.Tmp: Permission denied". Empty
// when nothing went wrong.
const char* LastSplitFailure();
// The lines the last split dropped for want of a date or a layout, or for
// being longer than kMaxSplitLine; 0 unless it completed.
long long LastSplitDropped();
// The total of dropped lines kept in logs/dropped below `home`.
long long ReadSplitDropped(const char* home);
// The bounds of one split (0: none), for tests and for commands that may
// take all the time they need; the defaults are the constants above.
void SetSplitBudget(long long bytes, double seconds);

#endif  // LOGREAD_LOG_SPLIT_H_
