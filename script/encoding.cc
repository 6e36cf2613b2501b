#include "script/encoding.h"

#include <cstdio>
#include <cstring>
#include <string>

bool SjisOutput = false;

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kSingleShift = 0x8E;

inline unsigned char Byte(const char* p) { return static_cast<unsigned char>(*p); }

HString ToHString(const std::string& s) {
  return HString(s.data(), static_cast<int>(s.size()));
}

// Position of "http://" inside the first `length` bytes, or -1. The search
// never looks past the line it was given: a match further on belongs to a
// later line and must not be linked (or written) as part of this one.
int FindUrl(const char* text, int length) {
  static const char kScheme[] = "http://";
  const int n = sizeof kScheme - 1;
  for (int i = 0; i + n <= length; ++i) {
    if (text[i] == 'h' && memcmp(text + i, kScheme, n) == 0) return i;
  }
  return -1;
}

}  // namespace

bool IsLinkChar(unsigned char c) {
  if (IsAlnum(c)) return true;
  switch (c) {
    case '#': case '+': case '-': case '.': case '/': case ':': case '?':
    case '@': case '\\': case '_': case '|': case '~':
      return true;
    default:
      return false;
  }
}

void EscapeHtml(const char* text) {
  if (text != nullptr) EscapeHtml(text, static_cast<int>(strlen(text)));
}

void EscapeHtml(const char* text, int length) {
  if (text == nullptr) return;
  int run = 0;  // start of the bytes not yet written
  for (int i = 0; i < length; ++i) {
    const char* entity;
    switch (text[i]) {
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      case '\'': entity = "&#39;"; break;
      default: continue;
    }
    fwrite(text + run, 1, i - run, stdout);
    fputs(entity, stdout);
    run = i + 1;
  }
  fwrite(text + run, 1, length - run, stdout);
}

int FindLink(const char* text, int length, int* link_length, LinkKind* kind) {
  const int url = FindUrl(text, length);
  int mail = -1;
  int mail_length = 0;
  int start = -1;
  for (int i = 0; i < length;) {
    const unsigned char c = Byte(text + i);
    if (IsEucByte(c)) {  // Japanese text never belongs to an address
      i += 2;
      start = -1;
      continue;
    }
    if (c == '@') {
      if (start != -1) {
        mail = start;
        mail_length = i - start + 1;
      }
      break;
    }
    if (!IsLinkChar(c)) {
      start = -1;
    } else if (start == -1) {
      start = i;
    }
    ++i;
  }
  if (mail != -1 && (url == -1 || mail < url)) {
    *link_length = mail_length;
    *kind = kLinkMail;
    return mail;
  }
  if (url != -1) {
    *link_length = 7;
    *kind = kLinkUrl;
    return url;
  }
  *link_length = 0;
  *kind = kLinkNone;
  return -1;
}

void AutoLinkLine(const char* text, int length) {
  int n = 0;
  LinkKind kind = kLinkNone;
  for (int p = FindLink(text, length, &n, &kind); p >= 0;
       p = FindLink(text, length, &n, &kind)) {
    EscapeHtml(text, p);
    int end = p + n;
    while (end < length && IsLinkChar(Byte(text + end))) ++end;
    const std::string link(text + p, end - p);
    printf(kind == kLinkMail ? "<a href=\"mailto:%s\">%s</a>" : "<a href=\"%s\">%s</a>",
           link.c_str(), link.c_str());
    text += end;
    length -= end;
  }
  EscapeHtml(text, length);
  fputs("<br>\n", stdout);
}

HString UrlEncodeEuc(const char* text) {
  if (text == nullptr) return HString();
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(strlen(text) * 4 + 1);
  auto put = [&out](unsigned char c) {
    out += '%';
    out += kHex[c >> 4];
    out += kHex[c & 15];
  };
  for (const char* p = text; *p != 0;) {
    const unsigned char c = Byte(p);
    if (IsEucByte(c) || c == kSingleShift) {
      put(c);
      ++p;
      if (*p == 0) break;  // a lead byte at the end goes out on its own
      put(Byte(p));
      ++p;
    } else {
      out += static_cast<char>(c);
      ++p;
    }
  }
  return ToHString(out);
}

HString EucToSjis(const char* text) {
  if (text == nullptr) return HString();
  std::string out;
  out.reserve(strlen(text));
  for (const char* p = text; *p != 0;) {
    const unsigned char c = Byte(p++);
    if (IsEucByte(c)) {
      const unsigned char d = Byte(p);
      if (d == 0) {
        out += static_cast<char>(c);
        break;
      }
      ++p;
      if (IsEucByte(d)) {
        const int j1 = c - 0x80, j2 = d - 0x80;
        const int s1 = ((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0);
        const int s2 = j2 + ((j1 & 1) == 0 ? 0x7E : (j2 < 0x60 ? 0x1F : 0x20));
        out += static_cast<char>(s1);
        out += static_cast<char>(s2);
      } else {
        out += static_cast<char>(c);
        out += static_cast<char>(d);
      }
    } else if (c == kSingleShift) {
      const unsigned char d = Byte(p);
      if (d == 0) {
        out += static_cast<char>(c);
        break;
      }
      ++p;
      if (!IsSjisKana(d)) out += static_cast<char>(c);
      out += static_cast<char>(d);
    } else {
      out += static_cast<char>(c);
    }
  }
  return ToHString(out);
}

KanjiCode DetectKanjiCode(const char* text) {
  if (text == nullptr) return kKanjiAscii;
  KanjiCode code = kKanjiAscii;
  const char* p = text;
  // The next byte, consumed; the terminating zero is returned but never
  // stepped over, so the scan cannot leave the text.
  auto take = [&p]() -> unsigned char {
    const unsigned char c = Byte(p);
    if (c != 0) ++p;
    return c;
  };
  while ((code == kKanjiAscii || code == kKanjiEucOrSjis) && *p != 0) {
    const unsigned char c = take();
    if (c == kEsc) {
      const unsigned char d = take();
      if (d == '$') {
        const unsigned char e = take();
        if (e == 'B') code = kKanjiJisNew;
        else if (e == '@') code = kKanjiJisOld;
      } else if (d == 'K') {
        code = kKanjiJisNec;
      }
    } else if ((c >= 0x81 && c <= 0x8D) || (c >= 0x8F && c <= 0x9F)) {
      code = kKanjiSjis;
    } else if (c == kSingleShift) {
      const unsigned char d = take();
      if ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xA0) || (d >= 0xE0 && d <= 0xFC)) {
        code = kKanjiSjis;
      } else if (d >= 0xA1 && d <= 0xDF) {
        code = kKanjiEucOrSjis;
      }
    } else if (c >= 0xA1 && c <= 0xDF) {
      const unsigned char d = take();
      if (d >= 0xF0 && d <= 0xFE) {
        code = kKanjiEuc;
      } else if (d >= 0xA1 && d <= 0xDF) {
        code = kKanjiEucOrSjis;
      } else if (d >= 0xE0 && d <= 0xEF) {
        code = kKanjiEucOrSjis;
        while (code == kKanjiEucOrSjis && Byte(p) > 0x3F) {
          const unsigned char e = take();
          if ((e >= 0x81 && e <= 0x8D) || (e >= 0x8F && e <= 0x9F)) code = kKanjiSjis;
          else if (e == 0xFD || e == 0xFE) code = kKanjiEuc;
        }
      } else if (d <= 0x9F) {
        code = kKanjiSjis;  // a half-width katakana, also as the last byte
      }
    } else if (c >= 0xF0 && c <= 0xFE) {
      code = kKanjiEuc;
    } else if (c >= 0xE0 && c <= 0xEF) {
      const unsigned char d = take();
      if ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xA0)) code = kKanjiSjis;
      else if (d == 0xFD || d == 0xFE) code = kKanjiEuc;
      else if (d >= 0xA1 && d <= 0xFC) code = kKanjiEucOrSjis;
    }
  }
  return code;
}

HString JisToEuc(const char* text) {
  if (text == nullptr) return HString();
  std::string out;
  out.reserve(strlen(text));
  bool kanji = false;
  for (const char* p = text; *p != 0;) {
    const unsigned char c = Byte(p);
    if (c == '\n' || c == '\r') {
      out += static_cast<char>(c);
      kanji = false;
      ++p;
    } else if (c == kEsc) {
      const unsigned char d = Byte(p + 1);
      if (d == 0) break;
      kanji = d == '$' || d == 'K';
      p += 2;
      if ((d == '$' || d == '(') && *p != 0) ++p;
    } else if (kanji) {
      out += static_cast<char>(c + 0x80);
      ++p;
      if (*p == 0) break;  // half a pair at the end: its first byte only
      out += static_cast<char>(Byte(p) + 0x80);
      ++p;
    } else {
      out += static_cast<char>(c);
      ++p;
    }
  }
  return ToHString(out);
}

HString SjisToEuc(const char* text) {
  if (text == nullptr) return HString();
  std::string out;
  out.reserve(strlen(text) * 2);
  for (const char* p = text; *p != 0;) {
    const unsigned char s1 = Byte(p++);
    if (IsSjisLead(s1)) {
      const unsigned char s2 = Byte(p);
      if (s2 == 0) {
        out += static_cast<char>(s1);
        break;
      }
      ++p;
      if (IsSjisTrail(s2)) {
        // 8-bit arithmetic on purpose: leads 0xE0 and up wrap around.
        const unsigned char j1 = static_cast<unsigned char>(
            2 * s1 - (s2 < 0x9F ? 1 : 0) - (s1 < 0xA0 ? 0x80 : 0) - 0x60);
        const unsigned char j2 = static_cast<unsigned char>(
            s2 - (s2 >= 0x9F ? 0x7E : (s2 >= 0x80 ? 0x20 : 0x1F)));
        out += static_cast<char>(j1 + 0x80);
        out += static_cast<char>(j2 + 0x80);
      } else {
        out += static_cast<char>(s1);
        out += static_cast<char>(s2);
      }
    } else if (IsSjisKana(s1)) {
      out += static_cast<char>(kSingleShift);
      out += static_cast<char>(s1);
    } else {
      out += static_cast<char>(s1);
    }
  }
  return ToHString(out);
}

HString ToEucJp(const char* text) {
  switch (DetectKanjiCode(text)) {
    case kKanjiJisNew:
    case kKanjiJisOld:
      return JisToEuc(text);
    case kKanjiSjis:
      return SjisToEuc(text);
    default:
      return HString(text);
  }
}

HString UrlEncodeAll(const char* text) {
  if (text == nullptr) return HString();
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(strlen(text) * 3 + 1);
  for (const char* p = text; *p != 0; ++p) {
    const unsigned char c = Byte(p);
    if (IsAlnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return ToHString(out);
}
