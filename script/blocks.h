// The block directives: if/elif/else/endif and for/next. Each block reads
// the lines up to its end word into its children when parsed and decides
// when executed how often, if at all, they run.
#ifndef SCRIPT_BLOCKS_H_
#define SCRIPT_BLOCKS_H_

#include <memory>

#include "script/eval.h"
#include "script/parse.h"

// "if CONDITION": the children run when the condition holds, else the else
// branch (an elif, itself an HScriptIf, or an HScriptElse). A line with no
// usable condition renders nothing, not even its else branch. An elif or
// else line ends this block and parses the rest of the chain itself, so
// the one "endif" closes the whole chain.
class HScriptIf : public HScriptParse {
 public:
  explicit HScriptIf(const char* line);
  int Execute() override;
  int IsEnd(const char* text, HScriptReader& reader, int includes_allowed) override;

 private:
  std::unique_ptr<HEvalItem> condition_;
  std::unique_ptr<HScriptParse> else_branch_;
};

// "else": runs its children; ends at "endif".
class HScriptElse : public HScriptParse {
 public:
  explicit HScriptElse(const char* line) : HScriptParse(line) {}
  int IsEnd(const char* text, HScriptReader& reader, int includes_allowed) override;
};

// "for $VAR = FROM to TO" counts up or down in steps of one; "for each VAR
// in SOURCE" walks the names of an object or the values of a request
// parameter, setting "index" from 1. Ends at "next". A child that stops
// the page stops the loop too.
class HScriptFor : public HScriptParse {
 public:
  // The rounds every loop of the request may still run together; negative,
  // the default, for no limit. Only the template fuzz target sets it: a page
  // may ask for billions of rounds on purpose, and a fuzzer waiting for them
  // finds nothing else.
  static long long round_budget;

  explicit HScriptFor(const char* line) : HScriptParse(line) {}
  int Execute() override;
  int IsEnd(const char* text, HScriptReader& reader, int includes_allowed) override;

 private:
  int ExecuteNumbers();
  int ExecuteEach();
  // Takes one round from the budget; false when none is left.
  static bool TakeRound() {
    if (round_budget == 0) return false;
    if (round_budget > 0) --round_budget;
    return true;
  }
};

#endif  // SCRIPT_BLOCKS_H_
