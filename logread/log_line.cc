#include "logread/log_line.h"

#include <cstring>

#include "core/file.h"

char LogLineBuffer[kLogLineSize];

namespace {

const char* const kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

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
    if ((name[0] | 0x20) != (kMonthNames[i][0] | 0x20)) continue;
    if (CompareNoCase(name, kMonthNames[i]) == 0) return i + 1;
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

}  // namespace

const char* FindCommonDate(const char* line) {
  // The request's opening quote right after "] ": the web servers escape a
  // quote everywhere a visitor's text goes before it (the user name), so
  // the first such quote is the request's.
  for (const char* quote = strchr(line, '"'); quote != nullptr; quote = strchr(quote + 1, '"')) {
    if (quote - line < 2 || quote[-1] != ' ' || quote[-2] != ']') continue;
    for (const char* p = quote - 2; p > line;) {
      if (*--p == '[') return p;
    }
    return nullptr;
  }
  return strchr(line, '"') == nullptr ? strchr(line, '[') : nullptr;
}

int DetectLogFormat(const char* line) {
  for (; *line != 0; ++line) {
    if (*line == ' ') return 1;
    if (*line == ',') return 0;
  }
  return -1;
}

bool ParseLogDate(const char* line, int format, HDate& date) {
  if (format == 1) return ParseCommonDate(line, date);
  if (format == 0) return ParseCommaDate(line, date);
  return date.Set(0, 0, 0);
}

char* ExtractPagePath(char* line, int format, int& length) {
  length = 0;
  char* path = nullptr;
  if (format == 1) {
    char* quote = strchr(line, '"');
    if (quote == nullptr) return nullptr;
    // Only inside the quoted request: a request of "-" has no path, and
    // one must not be taken from the referrer or the user agent.
    for (char* p = quote + 1; *p != 0 && *p != '"'; ++p) {
      if (*p == ' ' && p[1] == '/') {
        path = p + 1;
        break;
      }
    }
  } else if (format == 0) {
    for (char* p = line; *p != 0; ++p) {
      if (*p == ' ' && p[1] == '/') {
        path = p + 1;
        break;
      }
    }
  }
  if (path == nullptr) return nullptr;
  char* end = path + 1;  // the '/' itself never stops the path
  end += strcspn(end, format == 1 ? kCommonPathStops : kCommaPathStops);
  *end = 0;
  length = static_cast<int>(end - path);
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
  char separator;
  if (format == 1) {
    separator = ' ';
  } else if (format == 0) {
    separator = ',';
  } else {
    return nullptr;
  }
  char* end = strchrnul(line, separator);
  if (*end == 0) return nullptr;
  *end = 0;
  if (end == line) return nullptr;
  char* last = end - 1;
  if (IsDigit(static_cast<unsigned char>(*last))) return line;  // a numeric address
  return DomainSuffix(line, last, unit);
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

int ExtractHour(char* line, int format) {
  const char* text;
  if (format == 1) {
    // From the date's bracket on, so that an IPv6 client address ("::1")
    // is not taken for the time.
    char* open = strchr(line, '[');
    char* colon = strchr(open == nullptr ? line : open, ':');
    if (colon == nullptr) return -1;
    char* end = strchr(colon + 1, ':');
    if (end == nullptr) return -1;
    *end = 0;
    text = colon + 1;
  } else if (format == 0) {
    char* colon = strchr(line, ':');
    if (colon == nullptr) return -1;
    *colon = 0;
    text = colon - line >= 2 ? colon - 2 : line;
    if (*text == ' ') ++text;
  } else {
    return -1;
  }
  if (*text == 0) return -1;  // nothing before the colon: no hour at all
  const int hour = ToInt(text);
  return hour >= 0 && hour <= 23 ? hour : -1;
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
