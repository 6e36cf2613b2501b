#include "logread/log_line.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "core/file.h"
#include "logread/json_line.h"

char LogLineBuffer[kLogLineSize];

namespace {


// Copies at most n characters of text, fewer when its zero comes first.
void CopyField(char* out, const char* text, int n) {
  int i = 0;
  for (; i < n && text[i] != 0; ++i) out[i] = text[i];
  out[i] = 0;
}

// ToInt of the first n characters only, so that a field running on into the
// next digits ("[123/") is not read as one number.
int FieldNumber(const char* text, int n) {
  int value = 0;
  int i = 0;
  for (; i < n && IsDigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + text[i] - '0';
  }
  if (i == n) return value;  // the usual all-digit field, without strtol
  char field[8];
  CopyField(field, text, n);
  return ToInt(field);
}

int MonthNumber(const char* text) {
  char name[4];
  CopyField(name, text, 3);
  for (int i = 0; i < 12; ++i) {
    // The first letter, folded to lower case, rules out most names cheaply.
    if ((name[0] | 0x20) != (kMonthAbbreviations[i][0] | 0x20)) continue;
    if (CompareNoCase(name, kMonthAbbreviations[i]) == 0) return i + 1;
  }
  return 0;
}

bool ParseCommonDate(const char* line, HDate& date) {
  const char* open = FindCommonDate(line);
  const char* slash = open == nullptr ? nullptr : strchr(open + 1, '/');
  const char* year_slash = slash == nullptr ? nullptr : strchr(slash + 1, '/');
  if (year_slash == nullptr) return date.Set(0, 0, 0);
  return date.Set(FieldNumber(year_slash + 1, 4), MonthNumber(slash + 1), FieldNumber(open + 1, 2));
}

bool ParseCommaDate(const char* line, HDate& date) {
  const char* slash = strchr(line, '/');
  // The two year digits are read from before the slash, behind the host.
  if (slash == nullptr || slash - line < 3) return date.Set(0, 0, 0);
  const char* day_slash = strchr(slash + 1, '/');
  if (day_slash == nullptr) return date.Set(0, 0, 0);
  int year = FieldNumber(slash - 2, 2);
  if (year >= 80 && year <= 99) {
    year += 1900;
  } else if (year >= 0 && year <= 79) {
    year += 2000;
  }
  return date.Set(year, FieldNumber(slash + 1, 2), FieldNumber(day_slash + 1, 2));
}

// The bytes that end a path besides the text's zero. The end of the line
// counts as a stop too: a path that kept the line feed would become a
// stored item name spanning two lines.
const char kCommonPathStops[] = " ?\"\n\r";
const char kCommaPathStops[] = ",\n\r";
// Where a host or an address of a JSON line ends: as in the space layouts,
// at a blank, and never past the end of a line.
const char kJsonHostStops[] = " \n\r";

bool IsCommonLayout(int format) { return format == kCommonLayout || format == kVirtualHostLayout; }

// Whether [field, end) is "name:port" with no other colon, or
// "[address]:port", with a port of one to five digits.
bool IsVirtualHostField(const char* field, const char* end) {
  const auto size = static_cast<size_t>(end - field);
  const char* colon = static_cast<const char*>(memrchr(field, ':', size));
  if (colon == nullptr || colon == field || end - colon < 2 || end - colon > 6) return false;
  for (const char* p = colon + 1; p < end; ++p) {
    if (!IsDigit(static_cast<unsigned char>(*p))) return false;
  }
  if (*field != '[') return memchr(field, ':', static_cast<size_t>(colon - field)) == nullptr;
  const auto inside = static_cast<size_t>(colon - field - 2);
  return colon - field >= 3 && colon[-1] == ']' && memchr(field + 1, '[', inside) == nullptr &&
         memchr(field + 1, ']', inside) == nullptr;
}

// The quote that opens the request of a format 1 or 2 line: the first one
// right after "] " (see FindCommonDate), else the line's first quote.
const char* FindRequestQuote(const char* line) {
  for (const char* quote = strchr(line, '"'); quote != nullptr; quote = strchr(quote + 1, '"')) {
    if (quote - line >= 2 && quote[-1] == ' ' && quote[-2] == ']') return quote;
  }
  return strchr(line, '"');
}

// The answer of a reader of whole lines for the line it was last asked
// about. A day pass offers each line to many counters, each asking the
// same of its own copy; the answer is found by the line's text, so a line
// cut since is another line.
struct HLineMemo {
  std::string text;
  bool valid = false;

  bool Holds(const char* line) const { return valid && strcmp(line, text.c_str()) == 0; }
  void Take(const char* line) {
    text.assign(line);
    valid = true;
  }
};

// The quote that closes the request, or null. The servers write a quote in
// the request as \" and a backslash as \\ (or either as \xhh), so a
// backslash and the byte after it never close it.
const char* ScanRequestEnd(const char* line) {
  const char* open = FindRequestQuote(line);
  if (open == nullptr) return nullptr;
  // The plain bytes up to the next quote or backslash in one scan.
  for (const char* p = open + 1 + strcspn(open + 1, "\"\\"); *p != 0; p += 1 + strcspn(p + 1, "\"\\")) {
    if (*p == '"') return p;
    if (*++p == 0) return nullptr;  // the byte after a backslash is never the end
  }
  return nullptr;
}

const char* FindRequestEnd(const char* line) {
  static HLineMemo memo;
  static long end = -1;  // its offset in the line, -1 for none
  if (!memo.Holds(line)) {
    const char* found = ScanRequestEnd(line);
    memo.Take(line);
    end = found == nullptr ? -1 : found - line;
  }
  return end < 0 ? nullptr : line + end;
}

// The start of the path of a format 0, 1 or 2 line, or null; *end receives
// where it ends.
const char* FindPagePath(const char* line, int format, const char** end) {
  const char* path = nullptr;
  if (IsCommonLayout(format)) {
    const char* quote = FindRequestQuote(line);
    if (quote == nullptr) return nullptr;
    // Only inside the quoted request: a request of "-" has no path, and
    // one must not be taken from the referrer or the user agent.
    for (const char* p = quote + 1; *p != 0 && *p != '"'; ++p) {
      if (*p == ' ' && p[1] == '/') {
        path = p + 1;
        break;
      }
    }
  } else if (format == kCommaLayout) {
    for (const char* p = line; *p != 0; ++p) {
      if (*p == ' ' && p[1] == '/') {
        path = p + 1;
        break;
      }
    }
  }
  if (path == nullptr) return nullptr;
  // The '/' itself never stops the path.
  *end = path + 1 + strcspn(path + 1, format == kCommaLayout ? kCommaPathStops : kCommonPathStops);
  return path;
}

// The end of the field at text: the next blank, line end or zero byte.
const char* FieldEnd(const char* text) { return text + strcspn(text, " \n\r"); }

// A status of three digits, 100 to 999, filling [text, end) exactly.
int StatusNumber(const char* text, const char* end) {
  if (end - text != 3 || *text < '1' || *text > '9') return -1;
  if (!IsDigit(static_cast<unsigned char>(text[1])) || !IsDigit(static_cast<unsigned char>(text[2]))) return -1;
  return (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
}

// The local time of a format 3 line; false when it has none.
bool JsonLocalTime(const char* line, struct tm& t) {
  const HJsonLine* fields = ReadJsonLine(line);
  if (fields == nullptr || !fields->has_time) return false;
  if (!fields->has_zone) return localtime_r(&fields->time, &t) != nullptr;
  const time_t wall = fields->time + static_cast<time_t>(fields->zone) * 60;
  return gmtime_r(&wall, &t) != nullptr;
}

// The host of a numeric address whole, of a name its DomainSuffix.
char* HostDomain(char* host, char* last, int unit) {
  if (IsDigit(static_cast<unsigned char>(*last))) return host;
  return DomainSuffix(host, last, unit);
}

}  // namespace

const char* FindCommonDate(const char* line) {
  // The request's opening quote right after "] ": the web servers escape a
  // quote everywhere a visitor's text goes before it (the user name), so
  // the first such quote is the request's.
  for (const char* quote = strchr(line, '"'); quote != nullptr; quote = strchr(quote + 1, '"')) {
    if (quote - line < 2 || quote[-1] != ' ' || quote[-2] != ']') continue;
    // The nearest "[" before the "]".
    return static_cast<const char*>(memrchr(line, '[', static_cast<size_t>(quote - 2 - line)));
  }
  return strchr(line, '"') == nullptr ? strchr(line, '[') : nullptr;
}

int DetectLogFormat(const char* line) {
  // No stock server starts a line of the other layouts with a brace.
  if (*line == '{') return ReadJsonLine(line) != nullptr ? kJsonLayout : -1;
  const char* p = line + strcspn(line, " ,");
  if (*p == ' ') return IsVirtualHostField(line, p) ? kVirtualHostLayout : kCommonLayout;
  return *p == ',' ? kCommaLayout : -1;
}

bool ParseLogDate(const char* line, int format, HDate& date) {
  if (IsCommonLayout(format)) return ParseCommonDate(line, date);
  if (format == kCommaLayout) return ParseCommaDate(line, date);
  struct tm t;
  if (format == kJsonLayout && JsonLocalTime(line, t)) return date.Set(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
  return date.Set(0, 0, 0);
}

char* ExtractPagePath(char* line, int format, int& length) {
  length = 0;
  if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    if (fields == nullptr || fields->uri.value[0] != '/') return nullptr;
    return PlaceJsonString(line, fields->uri, kCommonPathStops, length);
  }
  const char* end = nullptr;
  const char* found = FindPagePath(line, format, &end);
  if (found == nullptr) return nullptr;
  char* path = line + (found - line);
  path[end - found] = 0;
  length = static_cast<int>(end - found);
  return path;
}

bool IsImagePath(const char* path, int length) {
  if (path == nullptr || length < 4) return false;
  // Every path is asked: most end in neither "f" nor "g", in either case.
  const char last = static_cast<char>(path[length - 1] | 0x20);
  if (last != 'f' && last != 'g') return false;
  const char* tail = path + length - 4;
  if (CompareNoCase(tail, ".gif", 4) == 0 || CompareNoCase(tail, ".jpg", 4) == 0) return true;
  return length > 4 && CompareNoCase(tail - 1, ".jpeg", 5) == 0;
}

char* ExtractDomain(char* line, int format, int unit) {
  if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    if (fields == nullptr) return nullptr;
    const HJsonString& ip = !fields->client_ip.value.empty()   ? fields->client_ip
                            : !fields->remote_ip.value.empty() ? fields->remote_ip
                                                               : fields->remote_addr;
    int length = 0;
    char* host = PlaceJsonString(line, ip, kJsonHostStops, length);
    return host == nullptr ? nullptr : HostDomain(host, host + length - 1, unit);
  }
  char separator;
  if (IsCommonLayout(format)) {
    separator = ' ';
  } else if (format == kCommaLayout) {
    separator = ',';
  } else {
    return nullptr;
  }
  if (format == kVirtualHostLayout) {
    char* space = strchr(line, ' ');
    if (space == nullptr) return nullptr;
    line = space + 1;  // the client comes after the virtual host
  }
  char* end = strchrnul(line, separator);
  if (*end == 0) return nullptr;
  *end = 0;
  if (end == line) return nullptr;
  return HostDomain(line, end - 1, unit);
}

bool ReadClientAddress(const char* line, int format, char* out, int size) {
  const char* field = line;
  size_t length = 0;
  if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    if (fields == nullptr) return false;
    const std::string& ip = !fields->client_ip.value.empty()   ? fields->client_ip.value
                            : !fields->remote_ip.value.empty() ? fields->remote_ip.value
                                                               : fields->remote_addr.value;
    field = ip.c_str();
    length = strcspn(field, kJsonHostStops);
  } else if (IsCommonLayout(format) || format == kCommaLayout) {
    if (format == kVirtualHostLayout) {
      const char* space = strchr(line, ' ');
      if (space == nullptr) return false;
      field = space + 1;  // the client comes after the virtual host
    }
    length = strcspn(field, format == kCommaLayout ? ",\n\r" : " \n\r");
  } else {
    return false;
  }
  if (length == 0 || length >= static_cast<size_t>(size)) return false;
  memcpy(out, field, length);
  out[length] = 0;
  return true;
}

namespace {

// Copies the quoted field that starts at `quote` (its opening quote) into
// out, decoding the escapes; returns the end of the field (after its
// closing quote) or null when it is not closed on the line.
const char* CopyQuoted(const char* quote, char* out, int size, int* length) {
  const size_t most = size > 0 ? static_cast<size_t>(size - 1) : 0;
  size_t n = 0;
  const char* p = quote + 1;
  for (;;) {
    // The plain bytes up to the next escape or end come in one copy.
    const size_t run = strcspn(p, "\"\\\n");
    if (n < most) {
      const size_t take = run < most - n ? run : most - n;
      memcpy(out + n, p, take);
      n += take;
    }
    p += run;
    if (*p != '\\') break;
    // A backslash before the line's end stays itself.
    char c = '\\';
    if (p[1] != 0 && p[1] != '\n') {
      ++p;
      c = *p;
      if (c == 'x' && isxdigit(static_cast<unsigned char>(p[1])) && isxdigit(static_cast<unsigned char>(p[2]))) {
        const char hex[3] = {p[1], p[2], 0};
        c = static_cast<char>(strtol(hex, nullptr, 16));
        p += 2;
      }
    }
    if (n < most) out[n++] = c;
    ++p;
  }
  out[n] = 0;
  *length = static_cast<int>(n);
  return *p == '"' ? p + 1 : nullptr;
}

// The quoted field number `which` (0: referrer, 1: user agent) after the
// bytes of a combined line.
int ScanCombinedField(const char* line, int which, char* out, int size) {
  const char* quote = FindRequestEnd(line);
  if (quote == nullptr || quote[1] != ' ') return -1;
  const char* status_end = FieldEnd(quote + 2);
  if (*status_end != ' ') return -1;
  const char* field = FieldEnd(status_end + 1);
  int length = -1;
  for (int i = 0; i <= which; ++i) {
    if (field[0] != ' ' || field[1] != '"') return -1;
    field = CopyQuoted(field + 1, out, size, &length);
    if (field == nullptr) {
      out[0] = 0;
      return -1;
    }
  }
  if (length == 1 && out[0] == '-') {
    out[0] = 0;
    length = 0;
  }
  return length;
}

// ScanCombinedField, each field decoded whole once per line and cut to
// `size` as the scan cuts it: a field of "-" after the cut is none.
int CombinedField(const char* line, int which, char* out, int size) {
  struct HFieldMemo {
    HLineMemo line;
    int length[2] = {-1, -1};  // -1: the line has no such field
    std::string field[2];
  };
  static HFieldMemo memo;
  if (!memo.line.Holds(line)) {
    memo.line.Take(line);
    const int room = static_cast<int>(strlen(line)) + 1;  // a field decodes to fewer bytes
    for (int i = 0; i < 2; ++i) {
      memo.field[i].assign(static_cast<size_t>(room), '\0');
      const int n = ScanCombinedField(line, i, &memo.field[i][0], room);
      memo.length[i] = n;
      memo.field[i].resize(n < 0 ? 0 : static_cast<size_t>(n));
    }
  }
  const int n = memo.length[which];
  if (n < 0) {
    out[0] = 0;
    return -1;
  }
  int length = n < size - 1 ? n : size - 1;
  memcpy(out, memo.field[which].data(), static_cast<size_t>(length));
  out[length] = 0;
  if (length == 1 && out[0] == '-') {
    out[0] = 0;
    length = 0;
  }
  return length;
}

int JsonHeader(const char* line, bool agent, char* out, int size) {
  const HJsonLine* fields = ReadJsonLine(line);
  if (fields == nullptr) return -1;
  const std::string& value = agent ? fields->user_agent : fields->referrer;
  const size_t n = std::min(value.size(), static_cast<size_t>(size - 1));
  memcpy(out, value.data(), n);
  out[n] = 0;
  return static_cast<int>(n);
}

int QuotedField(const char* line, int format, int which, char* out, int size) {
  if (size <= 0) return -1;
  out[0] = 0;
  if (format == kJsonLayout) return JsonHeader(line, which == 1, out, size);
  if (!IsCommonLayout(format)) return -1;
  return CombinedField(line, which, out, size);
}

}  // namespace

int ExtractReferrer(const char* line, int format, char* out, int size) {
  return QuotedField(line, format, 0, out, size);
}

int ExtractUserAgent(const char* line, int format, char* out, int size) {
  return QuotedField(line, format, 1, out, size);
}

char* ExtractVirtualHost(char* line, int format) {
  char* host = nullptr;
  char* end = nullptr;
  if (format == kVirtualHostLayout) {
    host = line;
    end = strchrnul(line, ' ');
  } else if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    int length = 0;
    if (fields != nullptr) host = PlaceJsonString(line, fields->host, kJsonHostStops, length);
    if (host != nullptr) end = host + length;
  }
  if (host == nullptr || end == host) return nullptr;
  // The port goes, as in the "Host" header: "name:port", "[address]:port".
  if (IsVirtualHostField(host, end)) end = static_cast<char*>(memrchr(host, ':', static_cast<size_t>(end - host)));
  *end = 0;
  return host;
}

int ExtractStatus(const char* line, int format) {
  if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    return fields == nullptr ? -1 : fields->status;
  }
  if (format == kCommaLayout) {
    // "host, yy/mm/dd, h:mm:ss, /path, status": the field after the path.
    const char* end = nullptr;
    if (FindPagePath(line, format, &end) == nullptr || *end != ',') return -1;
    const char* text = end + 1;
    while (*text == ' ') ++text;
    return StatusNumber(text, text + strcspn(text, ", \n\r"));
  }
  if (!IsCommonLayout(format)) return -1;
  const char* quote = FindRequestEnd(line);
  if (quote == nullptr || quote[1] != ' ') return -1;
  return StatusNumber(quote + 2, FieldEnd(quote + 2));
}

namespace {

// The bytes field [text, end) of a space layout line: "-" for 0, else a
// whole number below 10^18, or -1.
long long BytesNumber(const char* text, const char* end) {
  if (end - text == 1 && *text == '-') return 0;
  if (end == text || end - text > 18) return -1;
  long long bytes = 0;
  for (const char* p = text; p < end; ++p) {
    if (!IsDigit(static_cast<unsigned char>(*p))) return -1;
    bytes = bytes * 10 + (*p - '0');
  }
  return bytes;
}

// The quoted field at `field` (its blank before the quote) of a space
// layout line into out, whole, as ScanCombinedField reads it; the end of
// the field, or null when there is none.
const char* TailField(const char* field, size_t room, std::string& out, int* length) {
  *length = -1;
  if (field[0] != ' ' || field[1] != '"') return nullptr;
  if (out.size() < room) out.resize(room);
  int n = 0;
  const char* next = CopyQuoted(field + 1, &out[0], static_cast<int>(room), &n);
  if (next == nullptr) n = 0;
  if (n == 1 && out[0] == '-') n = 0;
  out[static_cast<size_t>(n)] = 0;
  if (next != nullptr) *length = n;
  return next;
}

}  // namespace

long long ExtractBytes(const char* line, int format) {
  if (format == kJsonLayout) {
    const HJsonLine* fields = ReadJsonLine(line);
    return fields == nullptr ? -1 : fields->size;
  }
  if (!IsCommonLayout(format)) return -1;
  const char* quote = FindRequestEnd(line);
  if (quote == nullptr || quote[1] != ' ') return -1;
  const char* status_end = FieldEnd(quote + 2);
  if (*status_end != ' ') return -1;
  const char* text = status_end + 1;
  return BytesNumber(text, FieldEnd(text));
}

void ReadRequestTail(const char* line, int format, HRequestTail& tail) {
  // Field by field: the strings keep their room from line to line.
  tail.status = -1;
  tail.bytes = -1;
  tail.referrer_length = -1;
  tail.agent_length = -1;
  // A field decodes to no more bytes than its text.
  const size_t room = strlen(line) + 1;
  if (tail.referrer.size() < room) tail.referrer.resize(room);
  if (tail.agent.size() < room) tail.agent.resize(room);
  tail.referrer[0] = 0;
  tail.agent[0] = 0;
  if (!IsCommonLayout(format)) {
    tail.status = ExtractStatus(line, format);
    tail.bytes = ExtractBytes(line, format);
    tail.referrer_length = ExtractReferrer(line, format, &tail.referrer[0], static_cast<int>(room));
    tail.agent_length = ExtractUserAgent(line, format, &tail.agent[0], static_cast<int>(room));
    return;
  }
  // ExtractStatus, ExtractBytes and ScanCombinedField, from one find of
  // the request's end.
  const char* quote = ScanRequestEnd(line);
  if (quote == nullptr || quote[1] != ' ') return;
  const char* status_end = FieldEnd(quote + 2);
  tail.status = StatusNumber(quote + 2, status_end);
  if (*status_end != ' ') return;
  const char* bytes_end = FieldEnd(status_end + 1);
  tail.bytes = BytesNumber(status_end + 1, bytes_end);
  const char* agent = TailField(bytes_end, room, tail.referrer, &tail.referrer_length);
  if (agent != nullptr) TailField(agent, room, tail.agent, &tail.agent_length);
}

char* DomainSuffix(char* host, char* last, int unit) {
  int keep = unit - 1;
  if (keep < 2) keep = 2;
  if (last < host) return host;
  int dots = 0;
  // The dots from the right: [host, end) is what is left to search.
  for (char* end = last + 1;;) {
    char* dot = static_cast<char*>(memrchr(host, '.', static_cast<size_t>(end - host)));
    if (dot == nullptr) return host;
    ++dots;
    if (dots == 1) {
      const auto label = last - dot;  // length of the top-level label
      if (label == 3) --keep;
      if (label == 4) return host;
    }
    if (dots > keep) return dot + 1;
    end = dot;
  }
}

namespace {

// Where the hour of a line of the common or the comma layout begins, and
// the colon after it in *stop; null when there is none.
const char* HourPlace(const char* line, int format, const char** stop) {
  if (IsCommonLayout(format)) {
    // From the date's bracket on, so that an IPv6 client address ("::1")
    // or a colon in the virtual host or the user name is not taken for the
    // time.
    const char* open = FindCommonDate(line);
    if (open == nullptr) open = strchr(line, '[');
    const char* colon = strchr(open == nullptr ? line : open, ':');
    if (colon == nullptr) return nullptr;
    *stop = strchr(colon + 1, ':');
    return *stop == nullptr ? nullptr : colon + 1;
  }
  if (format == kCommaLayout) {
    const char* colon = strchr(line, ':');
    if (colon == nullptr) return nullptr;
    *stop = colon;
    const char* text = colon - line >= 2 ? colon - 2 : line;
    if (*text == ' ') ++text;
    return text;
  }
  return nullptr;
}

// The hour at `text`, up to the colon at `stop`: the number ends there.
int HourAt(const char* text, const char* stop) {
  if (text == stop) return -1;  // nothing before the colon: no hour at all
  const int hour = ToInt(text);
  return hour >= 0 && hour <= 23 ? hour : -1;
}

}  // namespace

int ExtractHour(char* line, int format) {
  if (format == kJsonLayout) {
    struct tm t;
    return JsonLocalTime(line, t) ? t.tm_hour : -1;
  }
  const char* stop = nullptr;
  const char* text = HourPlace(line, format, &stop);
  if (text == nullptr) return -1;
  line[stop - line] = 0;
  return HourAt(text, stop);
}

int ReadHour(const char* line, int format) {
  const char* stop = nullptr;
  const char* text = HourPlace(line, format, &stop);
  return text == nullptr ? -1 : HourAt(text, stop);
}

bool DateFileName(HString& name, const char* pattern, const HDate& date) {
  if (!date.IsValid() || pattern == nullptr || *pattern == 0) return false;
  const char* file = pattern;
  for (const char* p = pattern; *p != 0; ++p) {
    if (*p == '/' || *p == '\\') file = p + 1;
  }
  const char* year = strstr(file, "yy");
  const char* month = strstr(file, "mm");
  const char* day = strstr(file, "dd");
  if (year == nullptr || month == nullptr || day == nullptr) return false;
  const int at[3] = {static_cast<int>(year - pattern), static_cast<int>(month - pattern),
                     static_cast<int>(day - pattern)};
  const int value[3] = {date.year % 100, date.month, date.day};
  name.Assign(pattern);  // pattern may be name's own text: offsets taken first
  for (int i = 0; i < 3; ++i) {
    name.SetAt(at[i], static_cast<char>('0' + value[i] / 10));
    name.SetAt(at[i] + 1, static_cast<char>('0' + value[i] % 10));
  }
  return Exists(name.CStr());
}

int ReferrerHost(const char* referrer, char* out, int size) {
  if (referrer == nullptr || out == nullptr || size <= 0) return 0;
  *out = 0;
  // The scheme: a letter, then letters, digits, "+", "-" or ".".
  const char* p = referrer;
  if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) return 0;
  while ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') || *p == '+' || *p == '-' ||
         *p == '.') {
    ++p;
  }
  if (strncmp(p, "://", 3) != 0) return 0;
  const char* begin = p + 3;
  const char* end = begin + strcspn(begin, "/?#");
  // A user part ends at the last "@" of the authority.
  for (const char* at = end; at > begin; --at) {
    if (at[-1] == '@') {
      begin = at;
      break;
    }
  }
  if (*begin == '[') {
    const char* close = static_cast<const char*>(memchr(begin, ']', static_cast<size_t>(end - begin)));
    if (close == nullptr) return 0;
    ++begin;
    end = close;
  } else {
    const char* colon = static_cast<const char*>(memchr(begin, ':', static_cast<size_t>(end - begin)));
    if (colon != nullptr) end = colon;
  }
  const int length = static_cast<int>(end - begin);
  if (length <= 0 || length >= size) return 0;
  memcpy(out, begin, static_cast<size_t>(length));
  out[length] = 0;
  return length;
}
