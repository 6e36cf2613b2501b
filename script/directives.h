// The line directives: each is one directive line, tokenised into `args`
// by HScriptLine, and acts only when executed. None reports an error: too
// few tokens, a missing keyword or a name that resolves to nothing does
// nothing. Errors raised by object methods pass through to the server.
#ifndef SCRIPT_DIRECTIVES_H_
#define SCRIPT_DIRECTIVES_H_

#include "core/text.h"
#include "script/item.h"

class IObject;

// "exit": stops the page here.
class HScriptExit : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "autolink VALUE": writes the value line by line with links, escaped.
class HScriptAutoLink : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "options SOURCE", "options SELECTED in SOURCE" (the names of an object)
// or "options SELECTED in FROM to TO [unit UNIT] [step STEP]": writes the
// option elements of a select list.
class HScriptOptions : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;

 private:
  void WriteList();
  void WriteNumbers();
};

// "charset NAME": values go out in Shift_JIS when NAME is SJIS, in UTF-8
// when it is UTF-8 (or UTF8), and as they are kept (EUC-JP) otherwise.
class HScriptCharset : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "encode NAME": percent-encodes the Japanese text of a variable in place.
class HScriptEncode : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "urlencode NAME": percent-encodes a variable in place, every byte but
// ASCII letters, digits and "-_.~/", for a link's query string.
class HScriptUrlEncode : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "showtext NAME [exact]": turns a variable that holds a text from the log
// into HTML that reads as its writer meant it (ReadableHtml), percent-
// decoded unless "exact" follows; a page writes it with $_NAME. A variable
// that is not set stays unset.
class HScriptShowText : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "textlink NAME": turns a variable that holds a text from the log into
// the query-string segment that gives it back as the "text" parameter
// (TextLinkSegment); an unset variable gives "text=".
class HScriptTextLink : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "inc NAME [STEP]": adds STEP (default 1) to a variable that begins with
// a digit.
class HScriptInc : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "init NAME = VALUE": sets a variable that does not exist yet.
class HScriptInit : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "set NAME = OBJECTNAME": binds a name to an object ("null", or an object
// that is not found, removes the binding).
class HScriptSet : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "$TARGET = SOURCE [ARG ...]" assigns a value, or a method's result, to a
// variable or a property; "$OBJECT.METHOD [ARG ...]" calls a method.
class HScriptLet : public HScriptLine {
 public:
  using HScriptLine::HScriptLine;
  int Execute() override;
};

// "Admin ...", "Login ...", "Read...", "Write...", "Post...": calls the
// method named by the first token on the system object.
class HScriptSystem : public HScriptLet {
 public:
  using HScriptLet::HScriptLet;
  int Execute() override;
};

// Splits "$path.member" at its last period (at index 2 or later, not the
// last byte): the object of the path after the first byte, and the member
// name. False, with no object, on any failure.
bool SplitTarget(const char* token, IObject** object, HString* member);
// The argument text of a token: the value of a "$name" token when not
// empty; a token without "$" as written; else the token with every $name
// reference in it replaced by its value.
HString ExpandArgument(const char* token);
// Calls the method named by `token` ("$object.Method") with the tokens of
// `line` from index `first` on, expanded, as arguments. The result is
// copied into the line's `text` and returned (an empty text for a method
// that gives none); null when there is no such object or no method name.
const char* CallObjectMethod(HScriptLine* line, const char* token, int first);

#endif  // SCRIPT_DIRECTIVES_H_
