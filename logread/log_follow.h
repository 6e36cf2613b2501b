// Following a log that the web server owns and rotates ("Follow" mode):
// the program only reads the log and its rotated siblings, never writes,
// truncates or renames them, and keeps its place in vazivev.follow beside
// the carry-over file: the content offset it has taken, and a fingerprint
// of the file's first bytes (up to kFollowHeadBytes), which tells the file
// again under a new name or compressed, and tells a file replaced or
// truncated under it.
//
// At each split the sources are, in order: the file read last (found as
// the log itself, or among its rotated names when it was rotated) from its
// place; every file rotated after it, from its start, oldest first; then
// the log itself from its start. Rotated names are logrotate's: LOG.1,
// LOG.2.gz, ... (any of .gz, .bz2, .xz, .zst) and the dateext names
// LOG-20261208(.gz). Without a place (the first split) only the log itself
// is read, from its start; the history before it is imported apart.
#ifndef LOGREAD_LOG_FOLLOW_H_
#define LOGREAD_LOG_FOLLOW_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "logread/byte_source.h"
#include "logread/log_split_reader.h"

constexpr long long kFollowHeadBytes = 4096;

// Where following stopped.
struct HFollowPlace {
  long long offset = 0;       // content bytes taken from the file
  long long head_length = 0;  // bytes the fingerprint covers
  uint64_t head_hash = 0;
};

// The place kept in `path`; false when there is none (or it is unreadable).
bool ReadFollowPlace(const char* path, HFollowPlace* place);
// The place's line as the journal and the place file keep it.
std::string FollowPlaceText(const HFollowPlace& place);
bool ParseFollowPlace(const char* text, HFollowPlace* place);

// The fingerprint of a file's content: its first `length` bytes (fewer
// when it is shorter; `*got` says how many), or false when it cannot be
// read.
bool ContentHead(const char* path, long long length, uint64_t* hash, long long* got);

// The rotated names of `log` that exist, newest first.
std::vector<std::string> RotatedLogs(const std::string& log);

// The registry of files read whole (logs/imported below a site): each by
// the fingerprint of its first kFollowHeadBytes, with the lines it held
// and its path when it was read. Imports never read a recorded file again.
struct HFileFingerprint {
  uint64_t hash = 0;
  long long length = 0;
};
// The lines recorded for the fingerprint, or -1 when it is not recorded.
long long ImportedLines(const char* home, const HFileFingerprint& print);
bool RecordImported(const char* home, const HFileFingerprint& print, long long lines, const std::string& path);

// One file to read, from a content offset.
struct HFollowSource {
  std::string path;
  long long start = 0;
  HByteSource bytes;
  std::unique_ptr<HLineReader> reader;
};

// The files of one split in Follow mode, in the order they are read.
struct HFollowPlan {
  std::vector<std::unique_ptr<HFollowSource>> sources;
  size_t at = 0;  // the source being read
  // Said when the file read last is nowhere to be found: what was written
  // to it after the place is lost.
  bool lost_place = false;
};

// Whether the file at `path` is the one of `place` (the same first bytes).
bool IsFollowPlaceOf(const char* path, const HFollowPlace& place);
// The plan of an import: the one file, from content offset `from`.
void PlanImport(const std::string& path, long long from, HFollowPlan* plan, std::string* problem);

// Makes the plan for the log at `log` from the place (null: none). Files
// that cannot be opened are left out and named in `*problem`.
void PlanFollow(const std::string& log, const HFollowPlace* place, HFollowPlan* plan, std::string* problem);

#endif  // LOGREAD_LOG_FOLLOW_H_
