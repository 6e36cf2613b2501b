#include "script/eval.h"

#include <cstring>

#include "script/names.h"

namespace {

const char* ValueOrEmpty(const HEvalString* operand) {
  const char* value = TokenValue(operand->text.CStr());
  return value == nullptr ? "" : value;
}

}  // namespace

int HEvalString::Evaluate() {
  const char* value = TokenValue(text.CStr());
  if (value != nullptr && *value != 0) return strcmp(value, "0") != 0;
  return TokenObject(text.CStr()) != nullptr;
}

int HEvalNot::Evaluate() { return !HEvalString::Evaluate(); }

int HEvalEqual::Evaluate() {
  if (left == nullptr || right == nullptr) return 0;
  const char* left_value = ValueOrEmpty(left.get());
  return strcmp(left_value, ValueOrEmpty(right.get())) == 0;
}

int HEvalNotEqual::Evaluate() { return !HEvalEqual::Evaluate(); }

int HEvalOr::Evaluate() {
  for (const auto& item : items) {
    if (item->Evaluate() != 0) return 1;
  }
  return 0;
}

int HEvalAnd::Evaluate() {
  for (const auto& item : items) {
    if (item->Evaluate() == 0) return 0;
  }
  return 1;
}

std::unique_ptr<HEvalItem> ParseCondition(const HStringList& args, int first) {
  enum State { kOperand, kOperator, kExpectAnd, kExpectOr };
  enum Kind { kNone, kEqual, kAnd, kOr };
  State state = kOperand;
  Kind kind = kNone;
  std::unique_ptr<HEvalItem> root;
  std::unique_ptr<HEvalString> last;
  HEvalEqual* comparison = nullptr;  // the root, while kind is kEqual
  std::vector<std::unique_ptr<HEvalString>>* chain = nullptr;

  std::vector<const char*> tokens;
  int position = 0;
  for (const HString* token : args) {
    if (position++ >= first) tokens.push_back(token->CStr());
  }
  const size_t count = tokens.size();
  for (size_t i = 0; i < count; ++i) {
    const char* token = tokens[i];
    if (state == kOperand) {
      if (strcmp(token, "!") == 0) {
        if (i + 1 == count) break;
        last.reset(new HEvalNot(tokens[++i]));
      } else {
        last.reset(new HEvalString(token));
      }
      if (kind == kNone) {
        state = kOperator;
      } else if (kind == kEqual) {
        comparison->right = std::move(last);
        break;  // nothing after the second operand is read
      } else {
        chain->push_back(std::move(last));
        state = kind == kAnd ? kExpectAnd : kExpectOr;
      }
    } else if (state == kOperator) {
      if (strcmp(token, "=") == 0 || strcmp(token, "!=") == 0) {
        comparison = token[0] == '=' ? new HEvalEqual(std::move(last))
                                     : new HEvalNotEqual(std::move(last));
        root.reset(comparison);
        kind = kEqual;
      } else if (IsWord(token, "and") || IsWord(token, "or")) {
        const bool is_and = IsWord(token, "and");
        HEvalAnd* all = is_and ? new HEvalAnd : nullptr;
        HEvalOr* any = is_and ? nullptr : new HEvalOr;
        root.reset(is_and ? static_cast<HEvalItem*>(all) : any);
        chain = is_and ? &all->items : &any->items;
        chain->push_back(std::move(last));
        kind = is_and ? kAnd : kOr;
      } else {
        return nullptr;  // no usable operator: no condition at all
      }
      state = kOperand;
    } else {
      if (!IsWord(token, state == kExpectAnd ? "and" : "or")) break;
      state = kOperand;
    }
  }
  if (state == kOperator) return last;
  return root;
}
