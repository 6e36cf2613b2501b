// The conditions of if and elif: a flat expression over the tokens of the
// directive line (one operand, one comparison, or a chain joined all by
// "and" or all by "or"), parsed once into a small tree and evaluated each
// time the block is rendered. All comparisons are of texts.
#ifndef SCRIPT_EVAL_H_
#define SCRIPT_EVAL_H_

#include <memory>
#include <vector>

#include "core/list.h"
#include "core/text.h"

class HEvalItem {
 public:
  HEvalItem() = default;
  HEvalItem(const HEvalItem&) = delete;
  HEvalItem& operator=(const HEvalItem&) = delete;
  virtual ~HEvalItem() = default;
  // Nonzero is true.
  virtual int Evaluate() = 0;
};

// An operand: true when its value is neither empty nor exactly "0"; an
// empty value is true only when the token names an object.
class HEvalString : public HEvalItem {
 public:
  explicit HEvalString(const char* token) : text(token) {}
  int Evaluate() override;

  HString text;  // the token as written
};

// An operand written after a "!" token: the opposite.
class HEvalNot : public HEvalString {
 public:
  explicit HEvalNot(const char* token) : HEvalString(token) {}
  int Evaluate() override;
};

// Byte-for-byte equality of the two operands' values (a missing value is
// ""); false while the right operand is missing.
class HEvalEqual : public HEvalItem {
 public:
  explicit HEvalEqual(std::unique_ptr<HEvalString> l) : left(std::move(l)) {}
  int Evaluate() override;

  std::unique_ptr<HEvalString> left;
  std::unique_ptr<HEvalString> right;
};

class HEvalNotEqual : public HEvalEqual {
 public:
  using HEvalEqual::HEvalEqual;
  int Evaluate() override;
};

// True at the first true item (later items are not evaluated).
class HEvalOr : public HEvalItem {
 public:
  int Evaluate() override;

  std::vector<std::unique_ptr<HEvalString>> items;
};

// False at the first false item (later items are not evaluated); true when
// empty.
class HEvalAnd : public HEvalItem {
 public:
  int Evaluate() override;

  std::vector<std::unique_ptr<HEvalString>> items;
};

// Parses args[first] onwards into a condition; null when the tokens hold
// no usable expression (no operand, or another word where an operator
// must stand). Tokens after a complete condition are ignored.
std::unique_ptr<HEvalItem> ParseCondition(const HStringList& args, int first);

#endif  // SCRIPT_EVAL_H_
