// Counted strings and the byte-level text helpers every layer uses: the
// case-insensitive name comparison, the statistics hash and byte classes.
#ifndef CORE_TEXT_H_
#define CORE_TEXT_H_

#include <cstdint>
#include <cstring>

// A counted string that owns a heap buffer of exactly length + 1 bytes. The
// text is never null: an empty string points at one shared, read-only "".
class HString {
 public:
  HString() = default;
  HString(const char* text) { Assign(text); }  // NOLINT: implicit by design
  HString(const char* text, int n) { Assign(text, n); }
  HString(const HString& other) { Assign(other.data_, other.length_); }
  HString(HString&& other) noexcept : data_(other.data_), length_(other.length_), capacity_(other.capacity_) {
    other.data_ = kEmpty;
    other.length_ = 0;
    other.capacity_ = 0;
  }
  HString& operator=(HString&& other) noexcept {
    if (this != &other) {
      Clear();
      data_ = other.data_;
      length_ = other.length_;
      capacity_ = other.capacity_;
      other.data_ = kEmpty;
      other.length_ = 0;
      other.capacity_ = 0;
    }
    return *this;
  }
  HString& operator=(const HString& other) { return Assign(other.data_, other.length_); }
  HString& operator=(const char* text) { return Assign(text); }
  ~HString() { Clear(); }

  // Takes strlen(text) bytes when n is negative, else exactly n bytes (the
  // caller guarantees them). A text that fits the buffer is copied into it
  // (memmove: assigning from the string's own text is safe); a longer one
  // gets a new buffer, made before the old one is freed.
  HString& Assign(const char* text, int n = -1);
  HString& AssignNumber(int value);
  HString& Append(const char* text);
  // Appends the first `n` bytes of `text`, which holds no zero byte among them.
  HString& Append(const char* text, int n);
  HString& Append(const HString& text) { return Append(text.data_); }
  HString& AppendNumber(int value);
  void Clear();

  int Length() const { return length_; }
  bool IsEmpty() const { return length_ == 0; }
  const char* CStr() const { return data_; }
  // Unchecked byte access; callers stay within 0 .. Length().
  char At(int pos) const { return data_[pos]; }
  void SetAt(int pos, char c) { data_[pos] = c; }
  char* PtrAt(int pos) { return data_ + pos; }

  int Compare(const char* text, int n = -1) const;
  // -1 when from >= Length() or nothing is found.
  int Find(const char* text, int from = 0) const;
  int FindChar(char c, int from = 0) const;
  int FindAnyOf(const char* set) const;
  int FindLastChar(char c) const;

 private:
  // Makes room for `length` bytes and the zero, keeping the text's first
  // `keep` bytes; a growing string doubles, so appends cost linear time.
  void Reserve(int length, int keep);

  static char kEmpty[1];
  char* data_ = kEmpty;
  int length_ = 0;
  int capacity_ = 0;  // bytes of data_ before its zero; 0 while data_ is kEmpty
};

// An ASCII capital as its small letter; every other byte as it is.
inline unsigned char LowerAscii(unsigned char c) {
  return static_cast<unsigned char>(static_cast<unsigned>(c - 'A') < 26u ? c + 32 : c);
}
// Compares ASCII letters without regard to case; other bytes exactly. A
// negative n compares the whole texts, else at most n bytes.
int CompareNoCase(const char* a, const char* b, int n = -1);
// Searches from `from` without checking it against the text's length.
int FindChar(const char* text, char c, int from = 0);
int Find(const char* text, const char* sub, int from = 0);
int FindLastChar(const char* text, char c);
// atoi rules; 0 for a null text.
int ToInt(const char* text);
// Writes `value` in decimal ("%lld"), zero-ended, and returns its length:
// figures go into every row of a page, where snprintf costs ten times as
// much. `out` holds at least kDecimalSize bytes.
constexpr int kDecimalSize = 21;
int FormatDecimal(char* out, long long value);
void LowerCase(char* text);
char ToUpperChar(char c);
uint32_t HashString(const char* text);
// HashString of the text with ASCII letters lowered: texts that
// CompareNoCase finds equal hash alike.
uint32_t HashNoCase(const char* text);
// Whether `token` is `word`, ignoring ASCII case (CompareNoCase of the whole
// texts).
inline bool IsWord(const char* token, const char* word) { return CompareNoCase(token, word) == 0; }
// Whether `text` begins with `keyword`, ignoring ASCII case. Inline, the
// first bytes compared first: templates ask it of every directive line for
// each word they know, and most differ at once.
inline bool BeginsWord(const char* text, const char* keyword) {
  if (keyword[0] != 0 && LowerAscii(static_cast<unsigned char>(text[0])) !=
                             LowerAscii(static_cast<unsigned char>(keyword[0]))) {
    return false;
  }
  return CompareNoCase(text, keyword, static_cast<int>(strlen(keyword))) == 0;
}
// The value of a hexadecimal digit (either case), or -1.
int HexDigitValue(char c);

inline bool IsBlank(unsigned char c) { return c == 9 || c == 10 || c == 13 || c == 32; }
inline bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
inline bool IsAlpha(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
inline bool IsAlnum(unsigned char c) { return IsAlpha(c) || IsDigit(c); }
inline bool IsEucByte(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }
inline bool IsSjisKana(unsigned char c) { return c >= 0xA1 && c <= 0xDF; }
inline bool IsSjisLead(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xEF);
}
inline bool IsSjisTrail(unsigned char c) {
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

#endif  // CORE_TEXT_H_
