// The shared log line buffer and the parsers that take the date, the
// requested path, the client's domain and the hour out of one access log
// line. Two layouts exist: format 1, space-separated with the date in square
// brackets, and format 0, comma-separated. The parsers work in place: some
// write zero bytes into the line they are given, none allocates, and none
// reads past the line's terminating zero.
#ifndef LOGREAD_LOG_LINE_H_
#define LOGREAD_LOG_LINE_H_

#include <cstdio>

#include "core/date.h"
#include "core/file.h"
#include "core/text.h"

constexpr int kLogLineSize = 1024;

// The one line buffer every reader of log files reads into with fgets; the
// line keeps its line feed.
extern char LogLineBuffer[kLogLineSize];

// 1 when the first space or comma of the line is a space, 0 when it is a
// comma, -1 when the line holds neither.
int DetectLogFormat(const char* line);

// The "[" that opens the date of a format 1 line: the bracket that closes
// right before the quoted request ("] \""), so that a "[" in the host or the
// user name is never taken for it; in a line without any quote, its first
// "[". Null when a quote is there but no date before it.
const char* FindCommonDate(const char* line);

// Reads the date of a format 1 ("[dd/Mon/yyyy:", at FindCommonDate) or
// format 0 ("yy/mm/dd") line into date and returns whether it is a valid
// date. A missing mark, an unknown month name or another format gives
// false.
bool ParseLogDate(const char* line, int format, HDate& date);

// Returns the requested path, a pointer into line, or null when there is
// none; length receives its length (0 for none) and a zero byte is written
// after it. Format 1 paths end before a query string.
char* ExtractPagePath(char* line, int format, int& length);

// True when the path ends in ".gif", ".jpg" or ".jpeg", in any case.
bool IsImagePath(const char* path, int length);

// Cuts the host field off the line (a zero byte replaces its separator) and
// returns a pointer into line: a numeric address whole, a name as its
// DomainSuffix. Null when the line has no separator or an empty host.
char* ExtractDomain(char* line, int format, int unit);

// Returns the pointer into host where its domain of unit labels begins:
// one label fewer under a three-letter top-level label, the whole host
// under a four-letter one. last points at the host's last character.
char* DomainSuffix(char* host, char* last, int unit);

// Returns the hour 0 to 23 of the line's time, or -1 when there is no
// readable hour. Writes a zero byte over the colon after the hour.
int ExtractHour(char* line, int format);

// Sets name to pattern with the first "yy", "mm" and "dd" of its file-name
// part filled in from date, and returns whether that file exists. Returns
// false and leaves name unchanged for an invalid date, an empty pattern or
// a file-name part that lacks one of the three.
bool DateFileName(HString& name, const char* pattern, const HDate& date);

// Reads the day file `file` through LogLineBuffer in reads of at most
// limit - 1 bytes and returns how many lines `accept(line, format, path,
// length)` takes, or -1 when the file cannot be opened. Only lines with a
// page path are offered; each line's layout is its own (DetectLogFormat),
// so that a day file of mixed layouts is read whole. A line longer than a read comes in pieces: only the
// first is offered, the rest are skipped.
template <class Accept>
int CountPagePaths(const char* file, int limit, Accept accept) {
  HFile in;
  if (!in.Open(file, "r")) return -1;
  // Fewer, larger reads: a day file is read once, start to end.
  setvbuf(in.Stream(), nullptr, _IOFBF, 64 * 1024);
  char* const line = LogLineBuffer;
  // fgets leaves a byte past its zero alone, so a zero in the last place
  // without a line feed before it shows a read cut at the limit, even when
  // the line holds zero bytes of its own.
  char* const last = line + limit - 1;
  int count = 0;
  bool inside_line = false;  // the previous piece did not end its line
  for (;;) {
    *last = 1;
    if (in.RawGets(line, limit) == nullptr) break;
    const bool continuation = inside_line;
    inside_line = *last == 0 && last[-1] != '\n';
    if (continuation) continue;
    const int format = DetectLogFormat(line);
    int length = 0;
    const char* path = ExtractPagePath(line, format, length);
    if (path != nullptr && accept(line, format, path, length)) ++count;
  }
  return count;
}

#endif  // LOGREAD_LOG_LINE_H_
