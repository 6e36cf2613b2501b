// Unicode around the system's EUC-JP: pages may be sent in UTF-8, whose
// form values then arrive in UTF-8 and are kept in EUC-JP, and texts taken
// from the access log (paths, referrers, hosts), which are bytes in
// whatever encoding their writer used, are shown as people wrote them.
// The EUC-JP tables are the C library's (iconv), opened on first use; all
// else works on bytes and none of it depends on the locale.
#ifndef SCRIPT_UNICODE_H_
#define SCRIPT_UNICODE_H_

#include "core/text.h"

// When set, values written by $name references go out converted from
// EUC-JP to UTF-8 (EucToUtf8). Only the charset directive changes it.
extern bool Utf8Output;

// The number of bytes of the well-formed UTF-8 character at `p` (1 to 4),
// or 0 when none begins there: stray continuation bytes, overlong forms,
// surrogates, code points past U+10FFFF and a character cut off by the end
// of the `left` bytes are no characters.
int Utf8Length(const unsigned char* p, int left);
// The number of bytes of the EUC-JP character at `p` that has a Unicode
// form (2 for JIS X 0208 and half-width katakana, 3 for JIS X 0212), or 0;
// `*code` receives its code point.
int EucLength(const unsigned char* p, int left, unsigned* code);
// Whether every byte of the `length` bytes belongs to a UTF-8 character.
bool IsUtf8(const char* text, int length);

// EUC-JP to UTF-8 for output. A text that is no EUC-JP but well-formed
// UTF-8 (written by someone else) goes out as it is; otherwise each byte
// that begins no EUC-JP character becomes U+FFFD, so what is sent is
// always UTF-8. A null text gives "".
HString EucToUtf8(const char* text);
// A form value sent from a UTF-8 page, in EUC-JP. Sets `*done` to false and
// returns the text unchanged when it is not UTF-8 or holds a character
// EUC-JP lacks (it is then no text of this system's own).
HString Utf8ToEuc(const char* text, bool* done);

// A text from the log as HTML that reads as its writer meant it, in ASCII
// only (other characters as numeric references), so that it shows right
// whatever charset the page is sent in. With `decode`, percent-escapes are
// undone where the result is UTF-8 or else EUC-JP; escapes of control
// characters stay as written. A text (decoded or not) that is neither
// shows its bytes of 0x80 and more, and every control character, as %XX.
// <, >, &, " and ' are escaped. A null text gives "".
HString ReadableHtml(const char* text, bool decode);

// The query-string segment that carries a text from the log as the "text"
// parameter, byte for byte: "text=" and the text percent-encoded (every
// byte but ASCII letters, digits and "-_.~/") when it is UTF-8 without
// control characters, else "texthex=" and its bytes in hexadecimal, since
// web servers refuse a query that decodes to other bytes (400).
HString TextLinkSegment(const char* text);

#endif  // SCRIPT_UNICODE_H_
