#include "script/unicode.h"

#include <iconv.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "script/encoding.h"

bool Utf8Output = false;

namespace {

constexpr unsigned kReplacement = 0xFFFD;

inline bool IsEucRowByte(unsigned char c) { return c >= 0xA1 && c <= 0xFE; }
inline bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }
inline bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7F; }

HString ToHString(const std::string& s) { return HString(s.data(), static_cast<int>(s.size())); }

// One descriptor per direction for the whole process, opened when first
// needed; (iconv_t)-1 when the C library lacks the table.
iconv_t Open(const char* to, const char* from) { return iconv_open(to, from); }
iconv_t EucToUcs() {
  static const iconv_t cd = Open("UTF-32LE", "EUC-JP");
  return cd;
}
iconv_t Utf8ToEucDescriptor() {
  static const iconv_t cd = Open("EUC-JP", "UTF-8");
  return cd;
}
bool Usable(iconv_t cd) { return cd != reinterpret_cast<iconv_t>(-1); }

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

unsigned Utf8Code(const unsigned char* p, int length) {
  if (length == 1) return p[0];
  unsigned code = p[0] & (0x7F >> length);
  for (int i = 1; i < length; ++i) code = (code << 6) | (p[i] & 0x3F);
  return code;
}

enum TextKind { kUtf8Text, kEucText, kOtherText };

TextKind KindOf(const std::string& bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const int n = static_cast<int>(bytes.size());
  if (IsUtf8(bytes.data(), n)) return kUtf8Text;
  unsigned code = 0;
  for (int i = 0; i < n;) {
    if (p[i] < 0x80) {
      ++i;
      continue;
    }
    const int length = EucLength(p + i, n - i, &code);
    if (length == 0) return kOtherText;
    i += length;
  }
  return kEucText;
}

void AppendHex(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

void AppendAscii(std::string& out, unsigned char c) {
  switch (c) {
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '&': out += "&amp;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&#39;"; break;
    default:
      if (IsControl(c)) {
        AppendHex(out, c);
      } else {
        out += static_cast<char>(c);
      }
  }
}

// The bytes with every %XX undone but those of control characters.
std::string PercentDecoded(const char* text) {
  std::string out;
  for (const char* p = text; *p != 0; ++p) {
    const int high = p[0] == '%' ? HexDigitValue(p[1]) : -1;
    const int low = high < 0 ? -1 : HexDigitValue(p[2]);
    if (low < 0 || IsControl(static_cast<unsigned char>(high * 16 + low))) {
      out += *p;
      continue;
    }
    out += static_cast<char>(high * 16 + low);
    p += 2;
  }
  return out;
}

}  // namespace

int Utf8Length(const unsigned char* p, int left) {
  if (left <= 0) return 0;
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  int length;
  unsigned low = 0x80, high = 0xBF;  // the range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;   // overlong
    if (c == 0xED) high = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // past U+10FFFF
  } else {
    return 0;
  }
  if (left < length || p[1] < low || p[1] > high) return 0;
  for (int i = 2; i < length; ++i) {
    if (!IsContinuation(p[i])) return 0;
  }
  return length;
}

int EucLength(const unsigned char* p, int left, unsigned* code) {
  int length = 0;
  if (left >= 2 && IsEucRowByte(p[0]) && IsEucRowByte(p[1])) {
    length = 2;
  } else if (left >= 2 && p[0] == 0x8E && p[1] >= 0xA1 && p[1] <= 0xDF) {
    length = 2;
  } else if (left >= 3 && p[0] == 0x8F && IsEucRowByte(p[1]) && IsEucRowByte(p[2])) {
    length = 3;
  }
  const iconv_t cd = EucToUcs();
  if (length == 0 || !Usable(cd)) return 0;
  char in[3];
  memcpy(in, p, length);
  unsigned char out[8];
  char* in_at = in;
  char* out_at = reinterpret_cast<char*>(out);
  size_t in_left = length, out_left = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in_at, &in_left, &out_at, &out_left) == static_cast<size_t>(-1) || in_left != 0 ||
      sizeof out - out_left != 4) {
    return 0;  // a place of the table with no character
  }
  *code = out[0] | out[1] << 8 | out[2] << 16 | static_cast<unsigned>(out[3]) << 24;
  return length;
}

bool IsUtf8(const char* text, int length) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  for (int i = 0; i < length;) {
    const int n = Utf8Length(p + i, length - i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

HString EucToUtf8(const char* text) {
  if (text == nullptr) return HString();
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const int n = static_cast<int>(strlen(text));
  int i = 0;
  while (i < n && p[i] < 0x80) ++i;
  if (i == n) return HString(text, n);  // ASCII: the usual case
  const std::string bytes(text, n);
  if (KindOf(bytes) == kUtf8Text) return HString(text, n);
  std::string out(text, i);
  unsigned code = 0;
  while (i < n) {
    if (p[i] < 0x80) {
      out += static_cast<char>(p[i++]);
      continue;
    }
    const int length = EucLength(p + i, n - i, &code);
    AppendUtf8(out, length == 0 ? kReplacement : code);
    i += length == 0 ? 1 : length;
  }
  return ToHString(out);
}

HString Utf8ToEuc(const char* text, bool* done) {
  *done = false;
  if (text == nullptr) return HString();
  const int n = static_cast<int>(strlen(text));
  const iconv_t cd = Utf8ToEucDescriptor();
  if (!IsUtf8(text, n) || !Usable(cd)) return HString(text, n);
  std::string out(static_cast<size_t>(n) * 2 + 4, '\0');  // EUC-JP never needs more
  std::string in(text, n);
  char* in_at = &in[0];
  char* out_at = &out[0];
  size_t in_left = n, out_left = out.size();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &in_at, &in_left, &out_at, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
    return HString(text, n);
  }
  *done = true;
  out.resize(out.size() - out_left);
  return ToHString(out);
}

HString ReadableHtml(const char* text, bool decode) {
  if (text == nullptr) return HString();
  std::string bytes = decode ? PercentDecoded(text) : std::string(text);
  TextKind kind = KindOf(bytes);
  if (kind == kOtherText && decode) {
    bytes = text;
    kind = KindOf(bytes);
  }
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const int n = static_cast<int>(bytes.size());
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  char reference[16];
  for (int i = 0; i < n;) {
    if (p[i] < 0x80) {
      AppendAscii(out, p[i++]);
      continue;
    }
    unsigned code = 0;
    int length = 0;
    if (kind == kUtf8Text) {
      length = Utf8Length(p + i, n - i);
      code = Utf8Code(p + i, length);
    } else if (kind == kEucText) {
      length = EucLength(p + i, n - i, &code);
    }
    if (length == 0) {
      AppendHex(out, p[i++]);
      continue;
    }
    if (code < 0xA0) {  // C1 controls: browsers would read a reference as another character
      for (int k = 0; k < length; ++k) AppendHex(out, p[i + k]);
      i += length;
      continue;
    }
    snprintf(reference, sizeof reference, "&#%u;", code);
    out += reference;
    i += length;
  }
  return ToHString(out);
}

HString TextLinkSegment(const char* text) {
  if (text == nullptr) text = "";
  const int n = static_cast<int>(strlen(text));
  bool plain = IsUtf8(text, n);
  for (int i = 0; plain && i < n; ++i) plain = !IsControl(static_cast<unsigned char>(text[i]));
  if (plain) return HString(("text=" + std::string(UrlEncodeAll(text).CStr())).c_str());
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "texthex=";
  for (int i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return ToHString(out);
}
