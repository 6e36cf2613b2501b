// The template parser and the item that holds children: HScriptParse reads
// lines into items (directives, includes, text with references), blocks
// derive from it, HScriptInclude renders another page file in its place,
// and HScript is the engine the server drives.
#ifndef SCRIPT_PARSE_H_
#define SCRIPT_PARSE_H_

#include <string>

#include "core/list.h"
#include "script/iscript.h"
#include "script/item.h"

// An item with children, which it owns and executes in template order.
// `text` of the directive line it was made from is tokenised into `args`.
class HScriptParse : public HScriptLine {
 public:
  explicit HScriptParse(const char* line) : HScriptLine(line) {}
  ~HScriptParse() override;
  // Executes the children in order; 1 at the first child that returns
  // nonzero, else 0.
  int Execute() override;
  // Reads lines into children until IsEnd accepts one (1) or the reader
  // ends (0; every enclosing block then stops too).
  virtual int Parse(HScriptReader& reader, int includes_allowed);
  // Nonzero when the directive text closes this block.
  virtual int IsEnd(const char* text, HScriptReader& reader, int includes_allowed);
  // The line directive the text names, or null.
  virtual HScriptItem* CreateLine(const char* text);
  // The block ("if", "for") the text opens, or null.
  virtual HScriptParse* CreateBlock(const char* text);

  // Releases every child, and the lines kept for them.
  void ReleaseChildren() {
    children_.Clear();
    open_literal_ = nullptr;
    kept_.clear();
    keeping_ = false;
  }
  const HOwnedList<HScriptItem>& Children() const { return children_; }

  // Whether a block ("if", "for" and the branches of an if) keeps its lines
  // when parsed and makes its items of them when it first runs, so that a
  // branch never taken costs no more than reading its lines. True unless a
  // test compares with parsing at once; a page renders alike either way.
  static bool lazy_blocks;

 protected:
  // Parses `block` one level deeper, or with lazy_blocks has it keep its
  // lines up to its end (Keep) for a parse when it first runs; at
  // kMaxDepth the reader is stopped instead, so the template ends there for
  // every level. Returns what the block's Parse or Keep returned (0 when
  // stopped).
  static int ParseNested(HScriptParse* block, HScriptReader& reader, int includes_allowed);
  // Parses the kept lines first, if any.
  int ExecuteChildren();

 private:
  void AddTextLine(const char* line);
  void AddInclude(const char* line);
  void AddLiteral(const char* text, int n);
  // Reads the block's lines up to its end (IsEnd), keeping them for
  // ParseKept; 1 at its end, 0 when the reader ended first.
  int Keep(HScriptReader& reader, int includes_allowed);
  void ParseKept();

  HOwnedList<HScriptItem> children_;
  HScriptItem* open_literal_ = nullptr;  // the last literal item made, while it may still grow
  std::string kept_;                     // lines not parsed yet, each ended by a zero byte
  bool keeping_ = false;
  int kept_depth_ = 0;     // the reader's depth while the lines were read
  int kept_includes_ = 0;  // whether include lines count among them
};

// An include line. The file is read once per page, on the first execution:
// a later include of the same file shares the items of the first.
class HScriptInclude : public HScriptParse {
 public:
  HScriptInclude(const char* file_name, int n);
  int Execute() override;

 private:
  bool loaded_ = false;
  HScriptInclude* shared_ = nullptr;  // not owned
};

// The includes that read their file during the current page, not owned;
// emptied by HScript::Load.
extern HTypedList<HScriptInclude> IncludeCache;

// The engine: owns the item tree of one template.
class HScript : public IScript {
 public:
  HScript() : root_(nullptr) {}
  // The includes of the released tree leave IncludeCache too.
  ~HScript() override;
  // Releases the previous tree, then parses; 0 once the file was read to
  // its end.
  int Load(HScriptReader& reader) override;
  int Run() override;

 protected:
  HScriptParse root_;
};

#endif  // SCRIPT_PARSE_H_
