#include "logread/json_line.h"

#include <cmath>
#include <cstddef>
#include <cstring>
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

enum Member { kOther, kTs, kStatus, kSize, kRequest, kRemoteIp, kClientIp, kHost, kUri };

Member TopMember(const std::string& key) {
  if (key == "ts") return kTs;
  if (key == "status") return kStatus;
  if (key == "size") return kSize;
  if (key == "request") return kRequest;
  return kOther;
}

Member RequestMember(const std::string& key) {
  if (key == "remote_ip") return kRemoteIp;
  if (key == "client_ip") return kClientIp;
  if (key == "host") return kHost;
  if (key == "uri") return kUri;
  return kOther;
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
    HJsonString* field = RequestField();
    if (field != nullptr) Place(*field, value);
    return true;
  }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(true); }
  bool key(string_t& name) override {
    if (depth_ == 1) top_ = TopMember(name);
    if (depth_ == 2 && in_request_) inner_ = RequestMember(name);
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
  void Time(double seconds) {
    fields_->has_time = std::isfinite(seconds) && seconds >= 0 && seconds < kEndOfTimes;
    fields_->time = fields_->has_time ? static_cast<time_t>(seconds) : 0;
  }
  void Place(HJsonString& field, string_t& value);

  const char* line_;
  const char** read_;
  HJsonLine* fields_;
  int depth_ = 0;
  Member top_ = kOther;    // the member at depth 1 whose value comes next
  Member inner_ = kOther;  // the same in the request object
  bool in_request_ = false;
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
