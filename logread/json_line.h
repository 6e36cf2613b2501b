// The fields the counters read out of an access log line written as one
// JSON object (format 3): the time "ts", "status" and "size" at the top,
// and "remote_ip", "client_ip", "host" and "uri" in the "request" object
// (or "remote_addr", host and port, as older servers wrote it), and the
// "Referer" and "User-Agent" headers in its "headers" object.
//
// "ts" is a number of seconds since the epoch, or of milliseconds,
// microseconds or nanoseconds (told apart by size: seconds stop at 2099),
// or text: "2026-12-09T10:00:00.5Z" and other RFC 3339 and ISO 8601 forms,
// "2026/12/09 10:00:00" (local time), or "09/Dec/2026:10:00:00 +0900". A
// text time with an offset gives the line its zone. Every other member is read past without being
// kept, however deeply it nests.
//
// A line is parsed once: the fields of the last line asked for are kept,
// keyed by its address and its text, so that the date, the path, the
// domain and the hour of one line cost one parse. Strings are taken as the
// parser decodes them and, when a caller wants one, written back over their
// own place in the line (a decoded string is never longer than its text).
#ifndef LOGREAD_JSON_LINE_H_
#define LOGREAD_JSON_LINE_H_

#include <ctime>
#include <string>

// One string member: its decoded value and where its text lies in the line,
// between its quotes. begin is -1 when the line lacks the member.
struct HJsonString {
  std::string value;
  int begin = -1;
  int end = -1;  // the closing quote
  bool Present() const { return begin >= 0; }
};

struct HJsonLine {
  bool has_time = false;
  time_t time = 0;      // "ts" in whole seconds, from 1970 to 2099
  bool has_zone = false;
  int zone = 0;         // with has_zone, the offset of a text "ts" in minutes east of UTC
  int status = -1;      // a three-digit "status", else -1
  long long size = -1;  // a whole "size" from 0 to below 10^18, else -1
  HJsonString remote_ip;
  HJsonString remote_addr;  // the address alone: its port is left out
  HJsonString client_ip;
  HJsonString host;
  HJsonString uri;
  // The first value of "Referer" and of "User-Agent" in the request's
  // "headers" (arrays of strings), decoded; empty when absent.
  std::string referrer;
  std::string user_agent;
};

// The fields of the line, or null when the line is not one valid JSON
// object (up to its first zero byte), is longer than kMaxSplitLine, or
// starts with anything but "{". The answer is owned here and stays valid
// until the call for another line; asking again for the same address and
// text, including the text PlaceJsonString has left there, parses nothing.
// Only the last line is remembered: once another has been asked for, a line
// that PlaceJsonString has cut is no JSON any more.
const HJsonLine* ReadJsonLine(const char* line);

// Writes the decoded value of `field`, a member of the fields ReadJsonLine
// gave for this line, over its place in the line, up to the first of the
// bytes in stops (or a decoded zero byte), with a zero byte after it.
// Returns it, a pointer into line, with length set; null with length 0
// when the member is absent or the value starts with a stop.
char* PlaceJsonString(char* line, const HJsonString& field, const char* stops, int& length);

#endif  // LOGREAD_JSON_LINE_H_
