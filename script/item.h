// The leaves of a parsed template: literal text, $name references and the
// tokenised directive line every directive item is built on; and the two
// scanners the parser and the directives share (tokens, references).
#ifndef SCRIPT_ITEM_H_
#define SCRIPT_ITEM_H_

#include "core/list.h"
#include "core/text.h"

// One node of the template tree. A plain item is literal text and writes
// `text` unchanged when executed.
class HScriptItem {
 public:
  HScriptItem() = default;
  HScriptItem(const char* t, int n) : text(t, n) {}
  HScriptItem(const HScriptItem&) = delete;
  HScriptItem& operator=(const HScriptItem&) = delete;
  virtual ~HScriptItem() = default;
  // Nonzero stops the rendering of the whole page.
  virtual int Execute();

  // The literal text; the name of a reference; the file of an include; the
  // result of a method call for the directives that make one.
  HString text;
};

// A $name reference in a text line; `text` is the name without the "$".
// Writes the value HTML-escaped, or unescaped when the name begins with an
// underscore (the value is then that of the name without it).
class HScriptEmbed : public HScriptItem {
 public:
  HScriptEmbed(const char* name, int n) : HScriptItem(name, n) {}
  int Execute() override;
};

// An item made from a directive line: `args` holds its tokens, item 0 being
// the keyword. A missing token reads as "".
class HScriptLine : public HScriptItem {
 public:
  // `line` is the directive text after the apostrophe; null gives no tokens.
  explicit HScriptLine(const char* line);
  const char* Arg(int i) const { return args.Item(i).CStr(); }
  int ArgCount() const { return args.Count(); }

  HStringList args;
};

// Appends the tokens of a directive text to `args`: runs of non-blanks, or
// a double-quoted run that may hold blanks (no escapes; an unclosed quote
// runs to the end of the text).
void Tokenize(const char* text, HStringList* args);

// Finds the next $name reference at or after `from` by the text-line rule:
// a "$" followed by a letter or "_"; after a period the name is letters,
// digits and "_" only, else it also takes periods and a "$" right after a
// period, and a "$" that ends it is swallowed. Returns the index of the
// "$" or -1; sets the name's [begin, end) and where scanning resumes.
int FindReference(const char* text, int from, int* begin, int* end, int* resume);

#endif  // SCRIPT_ITEM_H_
