// The shared log line buffer and the parsers that take the date, the
// requested path, the client's domain, the hour, the status and the bytes
// sent out of one access log line. Each line is read in its own layout:
//   0  comma-separated: "host, yy/mm/dd, h:mm:ss, /path, status"
//   1  space-separated common or combined, the date in square brackets
//   2  the same behind a first field "vhost:port" (the client comes second)
//   3  one JSON object (see logread/json_line.h)
// The parsers work in place: some write zero bytes (or, in layout 3, a
// decoded string) into the line they are given, none reads past the line's
// terminating zero, and only layout 3 allocates, at most a few copies of a
// line of up to kMaxSplitLine bytes. A layout 3 line is parsed once for all
// the parsers asked about it in a row, also after one of them has cut it.
#ifndef LOGREAD_LOG_LINE_H_
#define LOGREAD_LOG_LINE_H_

#include <cstdio>
#include <string>

#include "core/date.h"
#include "core/file.h"
#include "core/text.h"

constexpr int kLogLineSize = 1024;
// The longest JSON line the day counters gather whole.
constexpr size_t kLongestJsonLine = 1024 * 1024;

constexpr int kCommaLayout = 0;
constexpr int kCommonLayout = 1;
constexpr int kVirtualHostLayout = 2;
constexpr int kJsonLayout = 3;

// The one line buffer every reader of log files reads into with fgets; the
// line keeps its line feed.
extern char LogLineBuffer[kLogLineSize];

// The layout of the line: 3 when it starts with "{" and is one valid JSON
// object, -1 when it starts with "{" and is not; else 0 when its first
// space or comma is a comma, 2 when it is a space behind a field "name:port"
// (one colon, one to five digits after it; or "[address]:port"), 1 for
// another space, and -1 when the line holds neither.
int DetectLogFormat(const char* line);

// The "[" that opens the date of a format 1 or 2 line: the bracket that closes
// right before the quoted request ("] \""), so that a "[" in the host or the
// user name is never taken for it; in a line without any quote, its first
// "[". Null when a quote is there but no date before it.
const char* FindCommonDate(const char* line);

// Reads the date of a format 1 or 2 ("[dd/Mon/yyyy:", at FindCommonDate),
// format 0 ("yy/mm/dd") or format 3 (the local date of "ts") line into date
// and returns whether it is a valid date. A missing mark, an unknown month
// name or another format gives false.
bool ParseLogDate(const char* line, int format, HDate& date);

// Returns the requested path, a pointer into line, or null when there is
// none; length receives its length (0 for none) and a zero byte is written
// after it. Paths of formats 1 to 3 end before a query string; in formats 1
// and 2 the path is taken from the quoted request only, in format 3 from a
// "uri" starting with "/".
char* ExtractPagePath(char* line, int format, int& length);

// True when the path ends in ".gif", ".jpg" or ".jpeg", in any case: what
// is no page request when the site sets no "Assets" (logread/page_rule.h).
bool IsImagePath(const char* path, int length);

// Cuts the client's host off the line (a zero byte replaces its separator)
// and returns a pointer into line: a numeric address whole, a name as its
// DomainSuffix. The host is the first field, the second in format 2, and
// "client_ip" (else "remote_ip") in format 3. Null when the line has no
// separator after it or an empty host.
char* ExtractDomain(char* line, int format, int unit);

// The virtual host a line of format 2 (its first field) or 3 ("host" of the
// request) was served for, without its port: a pointer into line with a
// zero byte after it. Null for the other formats and for an empty host.
char* ExtractVirtualHost(char* line, int format);

// The status code: in formats 1 and 2 the first field after the request's
// closing quote (an escaped quote \" inside it does not close it), in
// format 0 a field right after the path, in format 3 "status". Only a number
// of three digits from 100 to 999 counts; -1 otherwise.
int ExtractStatus(const char* line, int format);

// The bytes sent: the field after the status in formats 1 and 2 ("-" for
// 0), "size" in format 3. -1 when the line has none (format 0 never has),
// or when the field is no whole number below 10^18.
long long ExtractBytes(const char* line, int format);

// Returns the pointer into host where its domain of unit labels begins:
// one label fewer under a three-letter top-level label, the whole host
// under a four-letter one. last points at the host's last character.
char* DomainSuffix(char* host, char* last, int unit);

// Returns the hour 0 to 23 of the line's time (in format 3, of "ts" in the
// local zone), or -1 when there is no readable hour. Writes a zero byte over
// the colon after the hour.
int ExtractHour(char* line, int format);
// ExtractHour of a line of any layout but JSON, without writing.
int ReadHour(const char* line, int format);

// Sets name to pattern with the first "yy", "mm" and "dd" of its file-name
// part filled in from date, and returns whether that file exists. Returns
// false and leaves name unchanged for an invalid date, an empty pattern or
// a file-name part that lacks one of the three.
bool DateFileName(HString& name, const char* pattern, const HDate& date);

// Copies the client's address field whole (no domain cut, nothing written
// into line) into out, which holds size bytes, and returns whether there was
// one that fits: the first field (up to a space, or a comma in format 0), the
// second in format 2, and "client_ip", else "remote_ip", else "remote_addr"
// in format 3. False for an empty or missing field and for other formats.
bool ReadClientAddress(const char* line, int format, char* out, int size);

// The referring page and the user agent: the two quoted fields after the
// bytes in formats 1 and 2 (the combined layouts), decoded as the web
// servers escape them (\" and \\ and \xhh), and in format 3 the first
// value of "Referer" and of "User-Agent" in the request's "headers". Copied
// into out (size bytes, cut to fit, always ended by a zero byte); nothing
// is written into line. Returns the length, 0 for an empty field or "-"
// (no referrer, no agent), or -1 (out then empty) when the line has no
// such field (the common layout, format 0). The fields of the line asked
// about last are kept, so asking again for the same text decodes nothing.
int ExtractReferrer(const char* line, int format, char* out, int size);
int ExtractUserAgent(const char* line, int format, char* out, int size);

// What follows the request of a line: the answers ExtractStatus,
// ExtractBytes, ExtractReferrer and ExtractUserAgent give for it, the two
// quoted fields whole (never cut to a buffer), read in one scan of the
// line. A reader of every field of a line asks this once instead.
struct HRequestTail {
  int status = -1;
  long long bytes = -1;
  int referrer_length = -1;  // -1 when the line has no such field
  int agent_length = -1;
  // The fields' texts ("" for none), each up to the zero byte at its
  // length: the room past it is kept for the next line.
  std::string referrer;
  std::string agent;
};
void ReadRequestTail(const char* line, int format, HRequestTail& tail);

// The host of a referring page written as an absolute address
// ("scheme://[user@]host[:port]/..."), without the user, the port and an
// IPv6 address's brackets, copied into out (size bytes, ended by a zero
// byte). Returns its length, or 0 when the text is no absolute address,
// names no host or the host does not fit.
int ReferrerHost(const char* referrer, char* out, int size);

// Reads the day file `file` through LogLineBuffer in reads of at most
// limit - 1 bytes and returns how many lines `offer(line)` takes, or -1 when
// the file cannot be opened. A line longer than a read comes in pieces:
// only the first is offered, the rest are skipped, but a JSON line (one
// that begins with "{"), whose fields may come in any order, is gathered
// whole up to kLongestJsonLine bytes and offered so.
template <class Offer>
int CountLogLines(const char* file, int limit, Offer offer) {
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
  std::string whole;         // a JSON line longer than a read, gathered
  bool gathering = false;
  for (;;) {
    *last = 1;
    if (in.RawGets(line, limit) == nullptr) break;
    const bool continuation = inside_line;
    inside_line = *last == 0 && last[-1] != '\n';
    if (continuation) {
      if (!gathering) continue;
      whole += line;
      if (whole.size() > kLongestJsonLine) {
        gathering = false;  // no access log line: skipped like the rest
      } else if (!inside_line) {
        gathering = false;
        if (offer(&whole[0])) ++count;
      }
      continue;
    }
    if (inside_line && line[0] == '{') {
      gathering = true;
      whole = line;
      continue;
    }
    if (offer(line)) ++count;
  }
  if (gathering && offer(&whole[0])) ++count;  // the file's last line, without a line feed
  return count;
}

// What CountCheckedPaths asks of one line: whether `check` and then
// `accept` take it (see there).
template <class Check, class Accept>
bool OfferCheckedPath(char* text, Check& check, Accept& accept) {
  const int format = DetectLogFormat(text);
  if (!check(static_cast<const char*>(text), format)) return false;
  int length = 0;
  const char* path = ExtractPagePath(text, format, length);
  return path != nullptr && accept(text, format, path, length);
}

// CountLogLines for the lines with a page path: each line's layout is its
// own (DetectLogFormat), so that a day file of mixed layouts is read whole;
// `check(line, format)` sees the whole line first, before the path is cut
// out of it, and only lines it takes are offered to `accept(line, format,
// path, length)`, which sees the line cut after the path.
template <class Check, class Accept>
int CountCheckedPaths(const char* file, int limit, Check check, Accept accept) {
  return CountLogLines(file, limit, [&](char* text) { return OfferCheckedPath(text, check, accept); });
}

// How many lines with a page path `accept(line, format, path, length)`
// takes (see CountCheckedPaths), or -1 when the file cannot be opened.
template <class Accept>
int CountPagePaths(const char* file, int limit, Accept accept) {
  return CountCheckedPaths(
      file, limit, [](const char*, int) { return true; }, accept);
}

#endif  // LOGREAD_LOG_LINE_H_
