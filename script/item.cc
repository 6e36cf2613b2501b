#include "script/item.h"

#include <cstring>

#include "core/file.h"
#include "script/encoding.h"
#include "script/names.h"
#include "script/unicode.h"

namespace {

inline bool IsNameStart(unsigned char c) { return IsAlpha(c) || c == '_'; }
inline bool IsNameChar(unsigned char c) { return IsAlnum(c) || c == '_'; }

bool IsAscii(const char* text) {
  for (; *text != 0; ++text) {
    if (static_cast<unsigned char>(*text) >= 0x80) return false;
  }
  return true;
}

}  // namespace

int HScriptItem::Execute() {
  WriteText(text.CStr());
  return 0;
}

int HScriptEmbed::Execute() {
  const bool raw = text.At(0) == '_';
  const char* value = ResolveValue(text.CStr() + (raw ? 1 : 0));
  if (value == nullptr) return 0;
  HString converted;
  if (SjisOutput) {
    converted = EucToSjis(value);
    value = converted.CStr();
  } else if (Utf8Output && !IsAscii(value)) {  // ASCII is the same in UTF-8
    converted = EucToUtf8(value);
    value = converted.CStr();
  }
  if (raw) {
    WriteText(value);
  } else {
    EscapeHtml(value);
  }
  return 0;
}

HScriptLine::HScriptLine(const char* line) {
  if (line != nullptr) Tokenize(line, &args);
}

void Tokenize(const char* text, HStringList* args) {
  const char* p = text;
  while (*p != 0) {
    if (IsBlank(*p)) {
      ++p;
      continue;
    }
    const bool quoted = *p == '"';
    const char* begin = quoted ? p + 1 : p;
    const char* end = begin;
    while (*end != 0 && (quoted ? *end != '"' : !IsBlank(*end))) ++end;
    args->Add(begin, static_cast<int>(end - begin));
    p = *end == 0 ? end : end + 1;  // the closing byte belongs to no token
  }
}

int FindReference(const char* text, int from, int* begin, int* end, int* resume) {
  for (int i = from; text[i] != 0; ++i) {
    const char* dollar = strchr(text + i, '$');
    if (dollar == nullptr) return -1;
    i = static_cast<int>(dollar - text);
    if (!IsNameStart(text[i + 1])) continue;
    const bool plain = i > 0 && text[i - 1] == '.';
    int j = i + 1;
    if (plain) {
      while (IsNameChar(text[j])) ++j;
      *resume = j;
    } else {
      for (;; ++j) {
        const unsigned char c = text[j];
        if (IsNameChar(c) || c == '.') continue;
        if (c == '$' && text[j - 1] == '.') continue;
        break;
      }
      *resume = text[j] == '$' ? j + 1 : j;  // a "$" that ends the name is eaten
    }
    *begin = i + 1;
    *end = j;
    return i;
  }
  return -1;
}
