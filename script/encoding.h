// Byte-level text transformations around EUC-JP, the system's internal
// encoding: HTML escaping, auto-linking, percent-encoding for URLs, output
// in Shift_JIS and conversion of incoming text to EUC-JP. None of them
// depends on the locale, and none reads past the terminating zero byte of
// its input or writes outside its own buffer, whatever the input holds.
#ifndef SCRIPT_ENCODING_H_
#define SCRIPT_ENCODING_H_

#include "core/text.h"

// When set, values written by $name references go out in Shift_JIS. Only
// the charset directive changes it.
extern bool SjisOutput;

enum KanjiCode {
  kKanjiAscii,
  kKanjiJisNew,
  kKanjiJisOld,
  kKanjiJisNec,
  kKanjiSjis,
  kKanjiEuc,
  kKanjiEucOrSjis,
};

enum LinkKind { kLinkNone, kLinkUrl, kLinkMail };

// True for the bytes a URL or a mail address may consist of.
bool IsLinkChar(unsigned char c);

// Writes text to standard output with <, >, " and ' escaped, so that a value
// can stand in text and in either kind of quoted attribute; every other
// byte, the ampersand included, goes out unchanged. A null text writes
// nothing.
void EscapeHtml(const char* text);
// The same for exactly `length` bytes of text.
void EscapeHtml(const char* text, int length);
// Writes one line (without its line feed, `length` bytes) with its links
// turned into anchors and the rest escaped, then "<br>\n".
void AutoLinkLine(const char* text, int length);
// Position of the first link within the first `length` bytes, with its
// initial length (the scheme, or the local part and the "@") and kind; -1
// and kLinkNone when there is none.
int FindLink(const char* text, int length, int* link_length, LinkKind* kind);
// Percent-encodes every EUC-JP double-byte character; a lead byte at the
// very end is encoded on its own.
HString UrlEncodeEuc(const char* text);
// Percent-encodes every byte but ASCII letters, digits and "-_.~/": the
// text is then safe as one value in a link's query string, whatever it
// holds.
HString UrlEncodeAll(const char* text);
// EUC-JP to Shift_JIS; the result is never longer than the text.
HString EucToSjis(const char* text);
KanjiCode DetectKanjiCode(const char* text);
// JIS (ISO-2022-JP style escapes) to EUC-JP; never longer than the text.
HString JisToEuc(const char* text);
// Shift_JIS to EUC-JP; up to twice as long (half-width katakana).
HString SjisToEuc(const char* text);
// The text in EUC-JP, whatever Japanese encoding it came in; texts of other
// or undecidable encodings come back unchanged. A null text gives "".
HString ToEucJp(const char* text);

#endif  // SCRIPT_ENCODING_H_
