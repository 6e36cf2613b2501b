#include "server/cgi_input.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "core/errors.h"
#include "script/encoding.h"
#include "script/unicode.h"

namespace {

// Reads "as far as they are hexadecimal digits", like strtol on the pair.
int DecodePair(char first, char second) {
  const int high = HexDigitValue(first);
  const int low = HexDigitValue(second);
  return low < 0 ? high : high * 16 + low;
}

// A form value, kept in EUC-JP: the pages are sent in UTF-8, so that is
// what a browser sends back; a page sent in Shift_JIS gets that back.
void AddDecoded(HParams& params, const char* name, char* value) {
  PercentDecode(value);
  bool converted = false;
  const HString euc = Utf8ToEuc(value, &converted);
  params.AddEntry(name, converted ? euc.CStr() : ToEucJp(value).CStr());
}

// "texthex": the bytes of a "text" parameter in hexadecimal, which a link
// carries when they would decode to a query a web server refuses. A value
// that is no whole run of hexadecimal pairs adds nothing.
void AddHexText(HParams& params, const char* hex) {
  const size_t length = strlen(hex);
  if (length % 2 != 0) return;
  std::string bytes;
  for (size_t i = 0; i < length; i += 2) {
    const int high = HexDigitValue(hex[i]), low = HexDigitValue(hex[i + 1]);
    if (high < 0 || low < 0 || high + low == 0) return;  // a zero byte would end the text
    bytes += static_cast<char>(high * 16 + low);
  }
  params.AddEntry("text", bytes.c_str());
}

}  // namespace

void PercentDecode(char* text) {
  char* out = text;
  for (const char* in = text; *in != 0; ++in) {
    if (*in == '+') {
      *out++ = ' ';
    } else if (*in != '%') {
      *out++ = *in;
    } else if (in[1] == '%') {
      *out++ = '%';
      ++in;
    } else if (in[1] == 0 || in[2] == 0) {
      *out++ = '%';  // a cut-off escape stands for itself
    } else {
      const int value = HexDigitValue(in[1]) < 0 ? '%' : DecodePair(in[1], in[2]);
      *out++ = static_cast<char>(value);
      in += 2;
    }
  }
  *out = 0;
}

void ParseQueryString(const char* query, HParams& params) {
  if (query == nullptr) return;
  const char* segment = query;
  while (*segment != 0) {
    const char* amp = strchr(segment, '&');
    const char* end = amp == nullptr ? segment + strlen(segment) : amp;
    const char* eq = static_cast<const char*>(memchr(segment, '=', end - segment));
    if (eq != nullptr && eq + 1 < end) {
      const HString name(segment, static_cast<int>(eq - segment));
      HString value(eq + 1, static_cast<int>(end - eq - 1));
      if (CompareNoCase(name.CStr(), "texthex") == 0) {
        AddHexText(params, value.CStr());
      } else if (CompareNoCase(name.CStr(), "text") == 0) {
        // A name from the log (a ranking's link), or a filter compared
        // with such names: bytes as they are, never converted.
        PercentDecode(value.PtrAt(0));
        params.AddEntry(name.CStr(), value.CStr());
      } else {
        params.AddEntry(name.CStr(), value.CStr());
      }
    }
    if (amp == nullptr) break;
    segment = amp + 1;
  }
}

void ParseFormBody(char* body, HParams& params) {
  char* segment = body;
  while (*segment != 0) {
    char* amp = strchr(segment, '&');
    if (amp != nullptr) *amp = 0;
    char* eq = strchr(segment, '=');
    if (eq != nullptr) {
      *eq = 0;
      AddDecoded(params, segment, eq + 1);
    }
    if (amp == nullptr) break;
    segment = amp + 1;
  }
}

long ContentLength(const char* text, long limit) {
  if (text == nullptr || *text == 0) return 0;
  char* end = nullptr;
  errno = 0;
  const long length = strtol(text, &end, 10);
  while (IsBlank(*end)) ++end;
  if (errno != 0 || *end != 0 || length < 0 || length > limit) return -1;
  return length;
}

HString ReadBody(FILE* in, long length) {
  HString body;
  if (length <= 0) return body;
  char* buffer = new (std::nothrow) char[length + 1];
  if (buffer == nullptr) throw ErrorMemory;
  const size_t got = fread(buffer, 1, static_cast<size_t>(length), in);
  buffer[got] = 0;
  // A zero byte in a form body ends it, as the text it is read into would.
  body.Assign(buffer);
  delete[] buffer;
  return body;
}

bool GetCookie(const char* name, HString& out) {
  const char* cookies = getenv("HTTP_COOKIE");
  if (cookies == nullptr || name == nullptr) return false;
  const size_t length = strlen(name);
  // "a=1; b=2": each pair's name is matched whole, so "NotAdmin=" is not
  // "Admin=".
  for (const char* pair = cookies; *pair != 0;) {
    while (*pair == ' ' || *pair == ';') ++pair;
    if (strncmp(pair, name, length) == 0 && pair[length] == '=') {
      const char* value = pair + length + 1;
      out.Assign(value, static_cast<int>(strcspn(value, " ;")));
      return true;
    }
    pair += strcspn(pair, ";");
  }
  return false;
}

bool IsHttpsRequest() {
  const char* https = getenv("HTTPS");
  if (https != nullptr && (IsWord(https, "on") || strcmp(https, "1") == 0)) return true;
  const char* scheme = getenv("REQUEST_SCHEME");
  if (scheme != nullptr && IsWord(scheme, "https")) return true;
  const char* port = getenv("SERVER_PORT");
  return port != nullptr && strcmp(port, "443") == 0;
}

void DocumentRoot(HString& out) {
  const char* translated = getenv("PATH_TRANSLATED");
  const char* info = getenv("PATH_INFO");
  if (translated != nullptr) {
    const int length = static_cast<int>(strlen(translated));
    const int cut = info == nullptr ? 0 : static_cast<int>(strlen(info));
    out.Assign(translated, cut <= length ? length - cut : 0);
  }
  if (out.IsEmpty()) out.Assign(getenv("DOCUMENT_ROOT"));
}

bool DocumentRootStrict(HString& out) {
  out.Clear();
  DocumentRoot(out);
  if (out.IsEmpty()) return false;
  const char last = out.At(out.Length() - 1);
  if (last == '/' || last == '\\') out.Assign(out.CStr(), out.Length() - 1);
  return true;
}
