// Reading the CGI input: percent decoding, the query string and the
// form-encoded body into a parameter list, the cookie reader and the
// document root finders.
#ifndef SERVER_CGI_INPUT_H_
#define SERVER_CGI_INPUT_H_

#include <cstdio>

#include "core/params.h"
#include "core/text.h"

// The largest form-encoded body read into memory. A longer announced body,
// or a CONTENT_LENGTH that is negative or not a number, raises ErrorMemory.
constexpr long kMaxFormBody = 16L * 1024 * 1024;

// Decodes in place: "%%" is "%", "%xy" the byte of hex digits xy, "+" a
// space. Never reads past the terminating zero; a "%" with fewer than two
// characters after it stands for itself.
void PercentDecode(char* text);
// Adds the segments of a query string to `params`. Only the value of
// "text" is decoded, to the bytes it was made of (it names a text from the
// log, or filters such texts), and "texthex" gives "text" those bytes in
// hexadecimal; every other value stays as sent; empty values add nothing.
void ParseQueryString(const char* query, HParams& params);
// Adds the segments of a form-encoded body: every value is decoded and
// converted, empty values are kept. `body` is modified.
void ParseFormBody(char* body, HParams& params);
// Parses CONTENT_LENGTH: 0 when unset; -1 when negative, not a decimal
// number or above `limit`.
long ContentLength(const char* text, long limit);
// Reads up to `length` bytes from `in` and stops early at end of input.
HString ReadBody(FILE* in, long length);

// The value of the cookie named exactly `name` in HTTP_COOKIE, cut at a
// space or ";"; false when there is none.
bool GetCookie(const char* name, HString& out);
// Whether the request came over HTTPS (HTTPS "on" or "1", REQUEST_SCHEME
// "https", or port 443).
bool IsHttpsRequest();
// PATH_TRANSLATED less PATH_INFO's length, else DOCUMENT_ROOT.
void DocumentRoot(HString& out);
// The same, emptied first; false when empty, else without one trailing
// "/" or "\".
bool DocumentRootStrict(HString& out);

#endif  // SERVER_CGI_INPUT_H_
