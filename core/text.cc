#include "core/text.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char HString::kEmpty[1] = {0};

void HString::Reserve(int length, int keep) {
  if (length <= capacity_) return;
  int capacity = capacity_ > 0 && capacity_ < (1 << 29) ? capacity_ * 2 : 0;
  if (capacity < length) capacity = length;
  char* buffer = new char[static_cast<size_t>(capacity) + 1];
  if (keep > 0) memcpy(buffer, data_, static_cast<size_t>(keep));
  if (capacity_ > 0) delete[] data_;
  data_ = buffer;
  capacity_ = capacity;
}

HString& HString::Assign(const char* text, int n) {
  const int count = text == nullptr ? 0 : (n < 0 ? static_cast<int>(strlen(text)) : n);
  if (count == 0) {
    Clear();
    return *this;
  }
  if (count <= capacity_) {
    memmove(data_, text, static_cast<size_t>(count));
  } else {
    char* buffer = new char[static_cast<size_t>(count) + 1];
    memcpy(buffer, text, static_cast<size_t>(count));
    if (capacity_ > 0) delete[] data_;
    data_ = buffer;
    capacity_ = count;
  }
  data_[count] = 0;
  length_ = count;
  return *this;
}

HString& HString::AssignNumber(int value) {
  char scratch[kDecimalSize];
  return Assign(scratch, FormatDecimal(scratch, value));
}

HString& HString::Append(const char* text) {
  if (text == nullptr || *text == 0) return *this;
  return Append(text, static_cast<int>(strlen(text)));
}

HString& HString::Append(const char* text, int n) {
  if (text == nullptr || n <= 0) return *this;
  if (length_ == 0) return Assign(text, n);
  if (length_ + n > capacity_ && text >= data_ && text <= data_ + length_) {
    const HString copy(text, n);  // the text is this string's own
    return Append(copy.data_, n);
  }
  Reserve(length_ + n, length_);
  memcpy(data_ + length_, text, static_cast<size_t>(n));
  length_ += n;
  data_[length_] = 0;
  return *this;
}

HString& HString::AppendNumber(int value) {
  char scratch[kDecimalSize];
  return Append(scratch, FormatDecimal(scratch, value));
}

int FormatDecimal(char* out, long long value) {
  char digits[20];
  // Unsigned, so that the most negative value has a magnitude too.
  unsigned long long rest = static_cast<unsigned long long>(value);
  if (value < 0) rest = 0ULL - rest;
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + rest % 10);
    rest /= 10;
  } while (rest != 0);
  int length = 0;
  if (value < 0) out[length++] = '-';
  while (n > 0) out[length++] = digits[--n];
  out[length] = 0;
  return length;
}

void HString::Clear() {
  if (capacity_ > 0) delete[] data_;
  data_ = kEmpty;
  length_ = 0;
  capacity_ = 0;
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
  for (int i = 0; n < 0 || i < n; ++i) {
    const unsigned char x = a[i], y = b[i];
    if (x != y && LowerAscii(x) != LowerAscii(y)) {
      return static_cast<signed char>(a[i]) - static_cast<signed char>(b[i]);
    }
    if (x == 0) return 0;
  }
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

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}
