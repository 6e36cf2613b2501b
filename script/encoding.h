// Byte-level text transformations around EUC-JP, the system's internal
// encoding: HTML escaping, auto-linking, percent-encoding for URLs, output
// in Shift_JIS and conversion of incoming text to EUC-JP. None of them
// depends on the locale, and none reads or writes outside its buffers.
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

// Writes text to standard output with <, > and " escaped.
void EscapeHtml(const char* text);
// Writes one line (without its line feed) with its links, then "<br>\n".
void AutoLinkLine(const char* text, int length);
// Position of the first link and its initial length and kind; -1 and
// kLinkNone when there is none.
int FindLink(const char* text, int length, int* link_length, LinkKind* kind);
HString UrlEncodeEuc(const char* text);
HString EucToSjis(const char* text);
KanjiCode DetectKanjiCode(const char* text);
HString JisToEuc(const char* text);
HString SjisToEuc(const char* text);
// The text in EUC-JP, whatever Japanese encoding it came in.
HString ToEucJp(const char* text);

#endif  // SCRIPT_ENCODING_H_
