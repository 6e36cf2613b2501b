// The journal of the split (vazivev.journal) and its recovery. Before a day
// file changes, a "day <size> <path>" line notes what it held (-1: it did
// not exist); once the new carry-over file is written, a "window <start>
// <partial>" line and a "commit <consumed> <hash> <carry size> <header
// length> <log path>" line say which bytes of the access log were read. A
// split that stops before its commit is undone (the day files cut back, the
// temporary files removed); one that stops after it is finished (the access
// log cut back to its header, or, for a partial split, the place reached
// kept in vazivev.offset; the carry-over put in place). Both end by removing
// the journal. A journal without a "window" line read from the start to the
// end of the log.
#ifndef LOGREAD_LOG_SPLIT_JOURNAL_H_
#define LOGREAD_LOG_SPLIT_JOURNAL_H_

#include <cstdint>

#include "core/text.h"

// The points of a split at which LogSplitStep is called.
enum SplitStep {
  kSplitFileStep,  // after a change to a file
  kSplitLineStep,  // after a line was written
  // Between the last read of the log and its emptying: a line that a web
  // server writes to the log itself (not through the lock) here is lost.
  kSplitWindowStep,
};

// Called at every point of a split listed above. Null in the program; tests
// stop the process there to show that any stop leaves every line in exactly
// one place.
extern void (*LogSplitStep)(SplitStep kind);
void SplitStepReached(SplitStep kind = kSplitFileStep);

// Notes why a split failed: "<what> <path>: <strerror(error)>", or only
// "<what> <path>" when `error` is kNoError. The first failure since
// ClearSplitFailure is kept.
constexpr int kNoError = -1;
void NoteSplitFailure(const char* what, const char* path, int error);
void ClearSplitFailure();
// Empty while the split has not failed.
const char* SplitFailure();

// The day file pattern of a split log, below the program directory.
extern const char kDayFilePattern[];

// The files of a split below the program directory.
struct HSplitFiles {
  explicit HSplitFiles(const char* home);
  HString carry_path;  // vazivev.log
  HString carry_temp;  // vazivev.log.Tmp
  HString journal_path;
  HString offset_path;  // vazivev.offset: where a partial split stopped
  HString follow_path;  // vazivev.follow: where following stopped
  HString import_path;  // vazivev.import: where an import stopped
  HString day_pattern;
};

// What the commit line says.
struct HCommit {
  long long start = 0;     // the first byte of the log read
  bool partial = false;    // the split stopped before the end of the log
  long long consumed = 0;  // the byte after the last line taken
  uint64_t hash = 0;
  long long carry_size = 0;
  long long header_length = 0;
  HString log_path;
  HString follow_place;  // Follow mode: the place to keep (FollowPlaceText)
  HString place_path;    // where to keep it, when not in vazivev.follow
};

// The place in the log at `fd` where the last partial split stopped, with
// the length of the log's header, when vazivev.offset names one that the log
// still holds (its size reaches it and the bytes before it are the ones
// read); false otherwise, when a split reads the log from its start.
bool ReadSplitOffset(const HSplitFiles& files, int fd, long long* offset, long long* header_length);

// The journal of one split, appended to.
class HSplitJournal {
 public:
  explicit HSplitJournal(const HString& path) : path_(path) {}
  HSplitJournal(const HSplitJournal&) = delete;
  HSplitJournal& operator=(const HSplitJournal&) = delete;
  ~HSplitJournal() { Close(); }

  // The entry that notes `path` held `size` bytes (-1: none) before it
  // changed. Synced with the next Sync: no day file is renamed before.
  bool NoteDay(long long size, const HString& path);
  // The commit, synced.
  bool NoteCommit(const HCommit& commit);
  // Puts every entry so far on the disk.
  bool Sync();
  // True once an entry was written (the journal exists).
  bool Started() const { return fd_ >= 0; }
  void Close();

 private:
  bool Append(const HString& line, bool sync);

  HString path_;
  int fd_ = -1;
  bool synced_ = true;
};

// Undoes or finishes the split the journal of `files` names. False when it
// cannot be read or the files cannot be settled (the journal then stays,
// for the next try).
bool RecoverSplit(const HSplitFiles& files);
// Completes a commit. `intact` says the log is known to hold what was read
// (the split that wrote the commit goes on itself); otherwise its hash
// tells whether it was emptied already.
bool FinishSplit(const HSplitFiles& files, const HCommit& commit, bool intact);

#endif  // LOGREAD_LOG_SPLIT_JOURNAL_H_
