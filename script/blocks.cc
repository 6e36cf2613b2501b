#include "script/blocks.h"

#include <cstring>
#include <memory>

#include "core/iserver.h"
#include "core/params.h"
#include "objects/object.h"
#include "script/names.h"

namespace {

const char* Stripped(const char* token) { return token[0] == '$' ? token + 1 : token; }

void SetNumber(const char* name, long long n) {
  char scratch[kDecimalSize];
  FormatDecimal(scratch, n);
  CurrentServer->SetParam(name, scratch);
}

}  // namespace

HScriptIf::HScriptIf(const char* line) : HScriptParse(line) {
  condition_ = ParseCondition(args, 1);
}

int HScriptIf::Execute() {
  if (condition_ == nullptr) return 0;
  if (condition_->Evaluate() != 0) return ExecuteChildren();
  return else_branch_ != nullptr ? else_branch_->Execute() : 0;
}

int HScriptIf::IsEnd(const char* text, HScriptReader& reader, int includes_allowed) {
  if (BeginsWord(text, "elif")) {
    else_branch_.reset(new HScriptIf(text));
  } else if (BeginsWord(text, "else")) {
    else_branch_.reset(new HScriptElse(text));
  } else {
    return BeginsWord(text, "endif") ? 1 : 0;
  }
  // The branch takes in the rest of the chain up to the one "endif".
  ParseNested(else_branch_.get(), reader, includes_allowed);
  return 1;
}

int HScriptElse::IsEnd(const char* text, HScriptReader&, int) {
  return BeginsWord(text, "endif") ? 1 : 0;
}

int HScriptFor::IsEnd(const char* text, HScriptReader&, int) {
  return BeginsWord(text, "next") ? 1 : 0;
}

int HScriptFor::Execute() {
  if (CurrentServer == nullptr) return 0;
  return Arg(1)[0] == '$' ? ExecuteNumbers() : ExecuteEach();
}

long long HScriptFor::round_budget = -1;

int HScriptFor::ExecuteNumbers() {
  if (ArgCount() < 6 || strcmp(Arg(2), "=") != 0 || !IsWord(Arg(4), "to")) return 0;
  const char* from_text = TokenValue(Arg(3));
  const char* to_text = TokenValue(Arg(5));
  if (from_text == nullptr || to_text == nullptr || !IsDigit(from_text[0]) ||
      !IsDigit(to_text[0])) {
    return 0;
  }
  const char* name = Stripped(Arg(1));
  const long long from = ToInt(from_text), to = ToInt(to_text);
  const long long step = from <= to ? 1 : -1;
  for (long long k = from; TakeRound(); k += step) {
    SetNumber(name, k);
    if (ExecuteChildren() != 0) return 1;
    if (k == to) return 0;
  }
  return 0;
}

int HScriptFor::ExecuteEach() {
  if (ArgCount() < 3) return 0;
  IObject* object = nullptr;
  std::unique_ptr<IEnum> owned;
  IEnum* values = nullptr;
  if (IsWord(Arg(1), "each")) {
    if (ArgCount() < 5 || !IsWord(Arg(3), "in")) return 0;
    object = TokenObject(Arg(4));
    if (object == nullptr) {
      owned.reset(CurrentServer->EnumParam(Stripped(Arg(4))));
      values = owned.get();
    }
  } else {
    values = CurrentServer->GetEnumSource();  // the server's, not owned
  }
  if (object == nullptr && values == nullptr) return 0;
  if (!(object != nullptr ? object->First() : values->First())) return 0;
  const char* variable = Stripped(Arg(2));
  long long index = 1;
  while (const char* text = object != nullptr ? object->NextName() : values->Next()) {
    if (!TakeRound()) break;
    SetNumber("index", index++);
    CurrentServer->SetParam(variable, text);
    if (ExecuteChildren() != 0) return 1;
  }
  return 0;
}
