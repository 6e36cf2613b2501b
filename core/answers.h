// The answer store: every text an object hands to a page (a property value,
// a number, a method's result) is kept here and stays valid until the
// process ends. One request is one process, so nothing is freed earlier and
// a caller may hold any answer for as long as it likes. An answer costs one
// bump of a pointer inside a block; the blocks are released at exit.
#ifndef CORE_ANSWERS_H_
#define CORE_ANSWERS_H_

#include "core/text.h"

// A kept copy of `n` bytes of `text` (all of it when n is negative) with a
// zero byte after them. Null stays null.
const char* KeepAnswer(const char* text, int n = -1);
// KeepAnswer of the decimal text of `value`.
const char* DecimalAnswer(long long value);
inline const char* KeepAnswer(const HString& text) { return KeepAnswer(text.CStr(), text.Length()); }
// The decimal text of `value`, kept.
const char* NumberAnswer(int value);
// printf into a kept text.
const char* FormatAnswer(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Room for `size` bytes that the caller fills, kept like any answer.
char* AnswerSpace(int size);
// Frees every answer at once. Only for a process that serves one request
// after another (the fuzz targets), between two of them: every answer handed
// out before is invalid afterwards.
void ReleaseAnswers();

#endif  // CORE_ANSWERS_H_
