#include "logread/json_line.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <strings.h>
#include <iterator>
#include <nlohmann/json.hpp>

#include "logread/log_split_reader.h"

namespace {

using Json = nlohmann::json;

// 2100-01-01 00:00:00 UTC: the calendar ends with 2099, and a time below
// this converts to time_t and back without overflow.
constexpr double kEndOfTimes = 4102444800.0;

// A character iterator that tells how far the parser has read, so that a
// string member can be found in the line: the parser takes one byte at a
// time and reads nothing past a string's closing quote before it hands the
// string over.
class HTrackedChar {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = char;
  using difference_type = std::ptrdiff_t;
  using pointer = const char*;
  using reference = const char&;

  HTrackedChar(const char* p, const char** read) : p_(p), read_(read) {}
  reference operator*() const { return *p_; }
  HTrackedChar& operator++() {
    *read_ = ++p_;
    return *this;
  }
  HTrackedChar operator++(int) {
    HTrackedChar before = *this;
    ++*this;
    return before;
  }
  bool operator==(const HTrackedChar& other) const { return p_ == other.p_; }
  bool operator!=(const HTrackedChar& other) const { return p_ != other.p_; }

 private:
  const char* p_;
  const char** read_;
};

enum Member {
  kOther, kTs, kStatus, kSize, kRequest, kRemoteIp, kRemoteAddr, kClientIp, kHost, kUri, kHeaders, kReferer, kUserAgent
};

Member TopMember(const std::string& key) {
  if (key == "ts") return kTs;
  if (key == "status") return kStatus;
  if (key == "size") return kSize;
  if (key == "request") return kRequest;
  return kOther;
}

Member RequestMember(const std::string& key) {
  if (key == "remote_ip") return kRemoteIp;
  if (key == "remote_addr") return kRemoteAddr;
  if (key == "client_ip") return kClientIp;
  if (key == "host") return kHost;
  if (key == "uri") return kUri;
  if (key == "headers") return kHeaders;
  return kOther;
}

// Header names as the server writes them; other spellings count too.
Member HeaderMember(const std::string& key) {
  if (key.size() == 7 && strncasecmp(key.c_str(), "Referer", 7) == 0) return kReferer;
  if (key.size() == 10 && strncasecmp(key.c_str(), "User-Agent", 10) == 0) return kUserAgent;
  return kOther;
}

int Digits(const std::string& text, size_t at, size_t n) {
  if (at + n > text.size()) return -1;
  int value = 0;
  for (size_t i = at; i < at + n; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + text[i] - '0';
  }
  return value;
}

int MonthOfName(const std::string& text, size_t at) {
  static const char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
  if (at + 3 > text.size()) return -1;
  for (int m = 0; m < 12; ++m) {
    if (text.compare(at, 3, kMonths + 3 * m, 3) == 0) return m + 1;
  }
  return -1;
}

// An offset at `at` to the end: "Z", "+hh:mm", "+hhmm" or "+hh".
bool ReadOffset(const std::string& text, size_t at, int& zone) {
  if (at + 1 == text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    zone = 0;
    return true;
  }
  if (at >= text.size() || (text[at] != '+' && text[at] != '-')) return false;
  const size_t rest = text.size() - at - 1;
  const int hours = Digits(text, at + 1, 2);
  int minutes = 0;
  if (rest == 5 && text[at + 3] == ':') {
    minutes = Digits(text, at + 4, 2);
  } else if (rest == 4) {
    minutes = Digits(text, at + 3, 2);
  } else if (rest != 2) {
    return false;
  }
  if (hours < 0 || hours > 14 || minutes < 0 || minutes > 59) return false;
  zone = (hours * 60 + minutes) * (text[at] == '-' ? -1 : 1);
  return true;
}

struct HTextTime {
  time_t time = 0;
  bool has_zone = false;
  int zone = 0;
};

// The forms a server's "ts" takes as text; false for anything else.
bool ReadTextTime(const std::string& text, HTextTime& out) {
  struct tm t = {};
  size_t at;  // after the seconds
  if (text.size() >= 20 && text[2] == '/' && text[6] == '/' && text[11] == ':' && text[20 - 6] == ':') {
    // 09/Dec/2026:10:00:00 +0900
    t.tm_mday = Digits(text, 0, 2);
    t.tm_mon = MonthOfName(text, 3) - 1;
    t.tm_year = Digits(text, 7, 4) - 1900;
    t.tm_hour = Digits(text, 12, 2);
    t.tm_min = Digits(text, 15, 2);
    t.tm_sec = Digits(text, 18, 2);
    if (text.size() < 21 || text[17] != ':' || text[20] != ' ') return false;
    at = 21;
  } else if (text.size() >= 19 && (text[4] == '-' || text[4] == '/') && text[7] == text[4] &&
             (text[10] == 'T' || text[10] == 't' || text[10] == ' ') && text[13] == ':' && text[16] == ':') {
    // 2026-12-09T10:00:00, 2026/12/09 10:00:00
    t.tm_year = Digits(text, 0, 4) - 1900;
    t.tm_mon = Digits(text, 5, 2) - 1;
    t.tm_mday = Digits(text, 8, 2);
    t.tm_hour = Digits(text, 11, 2);
    t.tm_min = Digits(text, 14, 2);
    t.tm_sec = Digits(text, 17, 2);
    at = 19;
    if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
      ++at;
      const size_t first = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (at == first) return false;
    }
  } else {
    return false;
  }
  if (t.tm_year < 70 || t.tm_year > 199 || t.tm_mon < 0 || t.tm_mon > 11 || t.tm_mday < 1 || t.tm_mday > 31 ||
      t.tm_hour < 0 || t.tm_hour > 23 || t.tm_min < 0 || t.tm_min > 59 || t.tm_sec < 0 || t.tm_sec > 60) {
    return false;
  }
  const int mday = t.tm_mday;
  if (at == text.size()) {
    // No offset: the server's local time, as this program's own.
    t.tm_isdst = -1;
    out.time = mktime(&t);
    out.has_zone = false;
  } else {
    if (!ReadOffset(text, at, out.zone)) return false;
    out.time = timegm(&t) - static_cast<time_t>(out.zone) * 60;
    out.has_zone = true;
  }
  // mktime and timegm carry 31 April into May: such a date is none.
  if (t.tm_mday != mday && t.tm_sec != 60) return false;
  return out.time >= 0 && static_cast<double>(out.time) < kEndOfTimes;
}

// "1.2.3.4:5678" -> "1.2.3.4", "[2001:db8::1]:443" -> "2001:db8::1"; an
// address without a port stays as it is.
void WithoutPort(std::string& address) {
  if (!address.empty() && address[0] == '[') {
    const size_t close = address.find(']');
    address = close == std::string::npos ? std::string() : address.substr(1, close - 1);
    return;
  }
  const size_t colon = address.find(':');
  if (colon != std::string::npos && address.find(':', colon + 1) == std::string::npos) address.resize(colon);
}

// Takes the members it knows at the top (depth 1) and in the "request"
// object (depth 2). The parser itself keeps only a bit per open level, so
// deep nesting costs next to nothing here.
class HAccessSax : public nlohmann::json_sax<Json> {
 public:
  HAccessSax(const char* line, const char** read, HJsonLine* fields) : line_(line), read_(read), fields_(fields) {}

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t value) override {
    if (!Value()) return false;
    if (value >= 0) Count(static_cast<unsigned long long>(value));
    if (depth_ == 1 && top_ == kTs) Time(static_cast<double>(value));
    return true;
  }
  bool number_unsigned(number_unsigned_t value) override {
    if (!Value()) return false;
    Count(value);
    if (depth_ == 1 && top_ == kTs) Time(static_cast<double>(value));
    return true;
  }
  bool number_float(number_float_t value, const string_t&) override {
    if (!Value()) return false;
    if (depth_ == 1 && top_ == kTs) Time(value);
    return true;
  }
  bool string(string_t& value) override {
    if (!Value()) return false;
    if (depth_ == 4 && in_headers_ && header_array_ && header_values_ == 0) {
      if (header_ == kReferer) fields_->referrer = value;
      if (header_ == kUserAgent) fields_->user_agent = value;
    }
    if (depth_ == 4) ++header_values_;
    if (depth_ == 3 && in_headers_) {  // a header written as one string
      if (header_ == kReferer) fields_->referrer = value;
      if (header_ == kUserAgent) fields_->user_agent = value;
    }
    if (depth_ == 1 && top_ == kTs) TextTime(value);
    HJsonString* field = RequestField();
    if (field == &fields_->remote_addr) WithoutPort(value);
    if (field != nullptr) Place(*field, value);
    return true;
  }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(true); }
  bool key(string_t& name) override {
    if (depth_ == 1) top_ = TopMember(name);
    if (depth_ == 2 && in_request_) inner_ = RequestMember(name);
    if (depth_ == 3 && in_headers_) header_ = HeaderMember(name);
    return true;
  }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(false); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

 private:
  // Every value: false outside any object (the line is no object), else
  // the member it belongs to is cleared first, so that the last of
  // duplicate members counts and one of another type counts as missing.
  bool Value() {
    if (depth_ == 0) return false;
    if (depth_ == 1 && top_ == kTs) Time(-1);
    if (depth_ == 1 && top_ == kStatus) fields_->status = -1;
    if (depth_ == 1 && top_ == kSize) fields_->size = -1;
    HJsonString* field = RequestField();
    if (field != nullptr) *field = HJsonString();
    return true;
  }
  // The string member of the request the value at hand belongs to.
  HJsonString* RequestField() {
    if (depth_ != 2 || !in_request_) return nullptr;
    if (inner_ == kRemoteIp) return &fields_->remote_ip;
    if (inner_ == kRemoteAddr) return &fields_->remote_addr;
    if (inner_ == kClientIp) return &fields_->client_ip;
    if (inner_ == kHost) return &fields_->host;
    if (inner_ == kUri) return &fields_->uri;
    return nullptr;
  }
  bool Open(bool object) {
    if (depth_ == 0 && !object) return false;
    if (depth_ > 0) Value();
    ++depth_;
    if (depth_ == 2) in_request_ = object && top_ == kRequest;
    if (depth_ == 3) in_headers_ = object && in_request_ && inner_ == kHeaders;
    if (depth_ == 4) {
      header_array_ = !object;
      header_values_ = 0;
    }
    return true;
  }
  bool Close() {
    --depth_;
    return true;
  }
  // A whole number of 0 or more at the top.
  void Count(unsigned long long value) {
    if (depth_ != 1) return;
    if (top_ == kStatus && value >= 100 && value <= 999) fields_->status = static_cast<int>(value);
    // Below 10^18, as in the other layouts.
    if (top_ == kSize && value < 1000000000000000000ull) fields_->size = static_cast<long long>(value);
  }
  // A number: seconds up to 2099, beyond that milliseconds, microseconds
  // or nanoseconds, whichever falls between 1970 and 2099.
  void Time(double value) {
    fields_->has_zone = false;
    double seconds = value;
    for (int i = 0; i < 3 && seconds >= kEndOfTimes; ++i) seconds /= 1000;
    if (value >= kEndOfTimes && seconds < kEndOfTimes / 1000) seconds = -1;  // between two units
    fields_->has_time = std::isfinite(seconds) && seconds >= 0 && seconds < kEndOfTimes;
    fields_->time = fields_->has_time ? static_cast<time_t>(seconds) : 0;
  }
  void TextTime(const std::string& text) {
    HTextTime parsed;
    fields_->has_time = ReadTextTime(text, parsed);
    fields_->time = fields_->has_time ? parsed.time : 0;
    fields_->has_zone = fields_->has_time && parsed.has_zone;
    fields_->zone = fields_->has_zone ? parsed.zone : 0;
  }
  void Place(HJsonString& field, string_t& value);

  const char* line_;
  const char** read_;
  HJsonLine* fields_;
  int depth_ = 0;
  Member top_ = kOther;    // the member at depth 1 whose value comes next
  Member inner_ = kOther;  // the same in the request object
  Member header_ = kOther;  // the same in its headers object
  bool in_request_ = false;
  bool in_headers_ = false;
  bool header_array_ = false;
  int header_values_ = 0;  // values of the header's array seen so far
};

// The parser has just read the closing quote. The opening one is the
// nearest quote before it that an even run of backslashes precedes: inside
// a string a quote appears only escaped, and only "\\" ends in a backslash.
void HAccessSax::Place(HJsonString& field, string_t& value) {
  field = HJsonString();
  const std::ptrdiff_t end = *read_ - line_ - 1;
  if (end < 1 || line_[end] != '"') return;
  for (std::ptrdiff_t i = end - 1; i >= 0; --i) {
    if (line_[i] != '"') continue;
    std::ptrdiff_t slashes = 0;
    while (i - slashes > 0 && line_[i - slashes - 1] == '\\') ++slashes;
    if (slashes % 2 != 0) continue;
    if (value.size() > static_cast<size_t>(end - i - 1)) return;  // not this string's text after all
    field.value.swap(value);
    field.begin = static_cast<int>(i + 1);
    field.end = static_cast<int>(end);
    return;
  }
}

// The one remembered line: its address, its text as it stands now, and
// what it holds.
struct HJsonCache {
  const char* line = nullptr;
  std::string text;
  bool valid = false;
  HJsonLine fields;
};

HJsonCache& Cache() {
  static thread_local HJsonCache cache;
  return cache;
}

}  // namespace

const HJsonLine* ReadJsonLine(const char* line) {
  HJsonCache& cache = Cache();
  if (line == nullptr || *line != '{') return nullptr;
  if (cache.line == line && strcmp(line, cache.text.c_str()) == 0) return cache.valid ? &cache.fields : nullptr;
  const size_t length = strnlen(line, kMaxSplitLine + 1);
  cache.line = line;
  cache.text.assign(line, length);  // before the parse: a failed one is remembered too
  cache.fields = HJsonLine();
  cache.valid = false;
  if (length > kMaxSplitLine) return nullptr;
  const char* read = line;
  HAccessSax sax(line, &read, &cache.fields);
  cache.valid = Json::sax_parse(HTrackedChar(line, &read), HTrackedChar(line + length, &read), &sax);
  return cache.valid ? &cache.fields : nullptr;
}

char* PlaceJsonString(char* line, const HJsonString& field, const char* stops, int& length) {
  length = 0;
  HJsonCache& cache = Cache();
  if (!field.Present() || cache.line != line || !cache.valid) return nullptr;
  const size_t n = strcspn(field.value.c_str(), stops);  // a decoded zero byte stops it too
  if (n == 0 || n > static_cast<size_t>(field.end - field.begin)) return nullptr;
  char* text = line + field.begin;
  memcpy(text, field.value.data(), n);
  text[n] = 0;
  // The line is still the one parsed: the next call for it must find it so.
  cache.text.assign(line, strlen(line));
  length = static_cast<int>(n);
  return text;
}
