#include "core/text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char HString::kEmpty[1] = {0};

void HString::Install(char* buffer, int length) {
  Clear();
  data_ = buffer;
  length_ = length;
}

HString& HString::Assign(const char* text, int n) {
  const int count = text == nullptr ? 0 : (n < 0 ? static_cast<int>(strlen(text)) : n);
  if (count == 0) {
    Clear();
    return *this;
  }
  char* buffer = new char[count + 1];
  memcpy(buffer, text, count);
  buffer[count] = 0;
  Install(buffer, count);
  return *this;
}

HString& HString::AssignNumber(int value) {
  char scratch[16];
  snprintf(scratch, sizeof scratch, "%d", value);
  return Assign(scratch);
}

HString& HString::Append(const char* text) {
  if (text == nullptr || *text == 0) return *this;
  if (length_ == 0) return Assign(text);
  const int extra = static_cast<int>(strlen(text));
  char* buffer = new char[length_ + extra + 1];
  memcpy(buffer, data_, length_);
  memcpy(buffer + length_, text, extra + 1);
  Install(buffer, length_ + extra);
  return *this;
}

HString& HString::Append(const char* text, int n) {
  if (text == nullptr || n <= 0) return *this;
  if (length_ == 0) return Assign(text, n);
  char* buffer = new char[length_ + n + 1];
  memcpy(buffer, data_, length_);
  memcpy(buffer + length_, text, n);
  buffer[length_ + n] = 0;
  Install(buffer, length_ + n);
  return *this;
}

HString& HString::AppendNumber(int value) {
  char scratch[16];
  snprintf(scratch, sizeof scratch, "%d", value);
  return Append(scratch);
}

void HString::Clear() {
  if (length_ > 0) delete[] data_;
  data_ = kEmpty;
  length_ = 0;
}

int HString::Compare(const char* text, int n) const {
  return n < 0 ? strcmp(data_, text) : strncmp(data_, text, n);
}

int HString::Find(const char* text, int from) const {
  if (from < 0 || from >= length_) return -1;
  const char* hit = strstr(data_ + from, text);
  return hit == nullptr ? -1 : static_cast<int>(hit - data_);
}

int HString::FindChar(char c, int from) const {
  if (from < 0 || from >= length_) return -1;
  const char* hit = strchr(data_ + from, c);
  return hit == nullptr ? -1 : static_cast<int>(hit - data_);
}

int HString::FindAnyOf(const char* set) const {
  const int at = static_cast<int>(strcspn(data_, set));
  return at < length_ ? at : -1;
}

int HString::FindLastChar(char c) const { return ::FindLastChar(data_, c); }

int CompareNoCase(const char* a, const char* b, int n) {
  int i = 0;
  for (; a[i] != 0 && b[i] != 0 && (n < 0 || i < n); ++i) {
    const unsigned char x = a[i], y = b[i];
    if (x == y) continue;
    if (isalpha(x) && isalpha(y) && (x - y == 32 || y - x == 32)) continue;
    return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
  }
  if (n < 0 || i < n) return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
  return 0;
}

int FindChar(const char* text, char c, int from) {
  const char* hit = strchr(text + from, c);
  return hit == nullptr ? -1 : static_cast<int>(hit - text);
}

int Find(const char* text, const char* sub, int from) {
  const char* hit = strstr(text + from, sub);
  return hit == nullptr ? -1 : static_cast<int>(hit - text);
}

int FindLastChar(const char* text, char c) {
  const char* hit = strrchr(text, c);
  return hit == nullptr ? -1 : static_cast<int>(hit - text);
}

int ToInt(const char* text) {
  if (text == nullptr) return 0;
  // Stored counts and days are plain digits, read by the thousand a page:
  // up to nine of them need no library call. Anything else reads as atoi
  // reads it.
  int value = 0;
  int digits = 0;
  for (; digits < 9 && text[digits] >= '0' && text[digits] <= '9'; ++digits) value = value * 10 + (text[digits] - '0');
  if (digits > 0 && (text[digits] < '0' || text[digits] > '9')) return value;
  return atoi(text);
}

void LowerCase(char* text) {
  for (; *text != 0; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + 32);
  }
}

char ToUpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

uint32_t HashString(const char* text) {
  uint32_t h = 0;
  // Signed on purpose: every byte of 0x80 and up adds a negative value, and
  // stored rankings depend on the exact bucket order this gives.
  for (; *text != 0; ++text) h = h * 33 + static_cast<uint32_t>(static_cast<int>(static_cast<signed char>(*text)));
  return h;
}

uint32_t HashNoCase(const char* text) {
  uint32_t h = 0;
  for (; *text != 0; ++text) {
    const char c = *text >= 'A' && *text <= 'Z' ? static_cast<char>(*text + 32) : *text;
    h = h * 33 + static_cast<uint32_t>(static_cast<int>(static_cast<signed char>(c)));
  }
  return h;
}

bool BeginsWord(const char* text, const char* keyword) {
  return CompareNoCase(text, keyword, static_cast<int>(strlen(keyword))) == 0;
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
