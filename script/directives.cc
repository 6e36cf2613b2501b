#include "script/directives.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/date.h"
#include "core/file.h"
#include "core/iserver.h"
#include "objects/object.h"
#include "script/encoding.h"
#include "script/names.h"
#include "script/unicode.h"

namespace {

const char* Stripped(const char* token) { return token[0] == '$' ? token + 1 : token; }


// Token positions of "options SELECTED in FROM to TO unit UNIT step STEP";
// the list form is "options SOURCE" or "options SELECTED in SOURCE".
enum OptionsToken {
  kOptionsSelected = 1, kOptionsIn, kOptionsFrom, kOptionsTo, kOptionsLast,
  kOptionsUnit, kOptionsUnitName, kOptionsStep, kOptionsStepValue
};
constexpr int kOptionsSource = kOptionsSelected;  // "options SOURCE"
constexpr int kOptionsInSource = kOptionsFrom;    // "options SELECTED in SOURCE"

// "init NAME = VALUE", "set NAME = OBJECT", "inc NAME [STEP]", "encode NAME".
enum NamedToken { kName = 1, kEquals, kValue };
constexpr int kIncStep = kEquals;
// "$TARGET = SOURCE [ARG ...]"; the call form "$OBJECT.METHOD [ARG ...]".
enum LetToken { kLetTarget, kLetEquals, kLetSource, kLetArguments };
constexpr int kCallArguments = 1;

// The arguments of a call: the tokens of `line` from `first` on, expanded,
// with a null after the last like a program's argv.
class HCallArguments {
 public:
  HCallArguments(const HScriptLine& line, int first) {
    for (int i = first; i < line.ArgCount(); ++i) texts_.push_back(ExpandArgument(line.Arg(i)));
    for (const HString& text : texts_) argv_.push_back(text.CStr());
    argv_.push_back(nullptr);
  }
  int Count() const { return static_cast<int>(texts_.size()); }
  const char* const* Values() const { return argv_.data(); }

 private:
  std::vector<HString> texts_;
  std::vector<const char*> argv_;
};

// Replaces the value of the variable the line's first token names with its
// encoded form; a variable that is not set stays unset.
void EncodeVariable(const HScriptLine& line, HString (*encode)(const char*)) {
  if (line.ArgCount() <= kName || CurrentServer == nullptr) return;
  const char* name = Stripped(line.Arg(kName));
  const char* value = CurrentServer->GetParam(name);
  if (value != nullptr) CurrentServer->SetParam(name, encode(value).CStr());
}

}  // namespace

bool SplitTarget(const char* token, IObject** object, HString* member) {
  *object = nullptr;
  member->Clear();
  const char* dot = strrchr(token, '.');
  if (dot == nullptr || dot - token < 2 || dot[1] == 0) return false;
  const HString path(token + 1, static_cast<int>(dot - token - 1));
  *object = ResolveObject(path.CStr());
  if (*object == nullptr) return false;
  member->Assign(dot + 1);
  return true;
}

HString ExpandArgument(const char* token) {
  if (token[0] == '$') {
    const char* value = ResolveValue(token + 1);
    if (value != nullptr && *value != 0) return HString(value);
  }
  if (strchr(token, '$') == nullptr) return HString(token);
  std::string out;
  int literal = 0;
  int begin = 0, end = 0, resume = 0;
  for (int at = FindReference(token, 0, &begin, &end, &resume); at >= 0;
       at = FindReference(token, literal, &begin, &end, &resume)) {
    out.append(token + literal, at - literal);
    const char* value = ResolveValue(HString(token + begin, end - begin).CStr());
    if (value != nullptr) out += value;
    literal = resume;
  }
  out += token + literal;
  return HString(out.c_str(), static_cast<int>(out.size()));
}

const char* CallObjectMethod(HScriptLine* line, const char* token, int first) {
  IObject* object = nullptr;
  HString method;
  if (!SplitTarget(token, &object, &method) || method.IsEmpty()) return nullptr;
  const HCallArguments arguments(*line, first);
  line->text.Assign(object->Call(method.CStr(), arguments.Count(), arguments.Values()));
  return line->text.CStr();
}

int HScriptExit::Execute() { return 1; }

int HScriptAutoLink::Execute() {
  if (ArgCount() < 2) return 0;
  const char* p = TokenValue(Arg(1));
  if (p == nullptr) return 0;
  while (*p != 0) {
    const char* feed = strchr(p, '\n');
    const int length = feed == nullptr ? static_cast<int>(strlen(p)) : static_cast<int>(feed - p);
    AutoLinkLine(p, length);
    p += length;
    if (*p == '\n') ++p;
  }
  return 0;
}

int HScriptOptions::Execute() {
  if (ArgCount() <= kOptionsLast) {
    WriteList();
  } else {
    WriteNumbers();
  }
  return 0;
}

void HScriptOptions::WriteList() {
  IObject* source = nullptr;
  HString selected;
  bool has_selection = false;
  if (ArgCount() <= kOptionsInSource) {
    source = TokenObject(Arg(kOptionsSource));
  } else {
    if (!IsWord(Arg(kOptionsIn), "in")) return;
    selected = TokenValue(Arg(kOptionsSelected));
    has_selection = true;
    source = TokenObject(Arg(kOptionsInSource));
  }
  if (source == nullptr || !source->First()) return;
  while (const char* name = source->NextName()) {
    WriteText(has_selection && strcmp(name, selected.CStr()) == 0 ? "<option selected>"
                                                                  : "<option>");
    WriteText(name);
    WriteChar('\n');
  }
}

void HScriptOptions::WriteNumbers() {
  if (!IsWord(Arg(kOptionsIn), "in") || !IsWord(Arg(kOptionsTo), "to")) return;
  const char* selected_text = TokenValue(Arg(kOptionsSelected));
  const bool has_selection = selected_text != nullptr && IsDigit(selected_text[0]);
  const long long selected = has_selection ? ToInt(selected_text) : 0;
  const long long from = ToInt(TokenValue(Arg(kOptionsFrom)));
  const long long to = ToInt(TokenValue(Arg(kOptionsLast)));
  enum Style { kPlain, kPadded, kMonth, kHour, kMinute };
  Style style = kPlain;
  const char* unit = "";
  if (ArgCount() > kOptionsUnitName && IsWord(Arg(kOptionsUnit), "unit")) {
    unit = Arg(kOptionsUnitName);
    if (strcmp(unit, "\xCA\xAC") == 0 || strcmp(unit, "\xC9\xC3") == 0) {
      style = kPadded;  // minutes or seconds in Japanese
    } else if (IsWord(unit, "_Month")) {
      style = kMonth;
    } else if (IsWord(unit, "_Hour")) {
      style = kHour;
    } else if (IsWord(unit, "_Minute")) {
      style = kMinute;
    }
  }
  long long step = 1;
  if (ArgCount() > kOptionsStep && IsWord(Arg(kOptionsStep), "step")) {
    step = ToInt(TokenValue(Arg(kOptionsStepValue)));
    if (step <= 0) step = 1;
  }
  // 64-bit, so that a bound near INT_MAX ends the loop instead of wrapping.
  for (long long k = from; k <= to; k += step) {
    printf("<option value=%lld%s", k, has_selection && k == selected ? " selected>" : ">");
    switch (style) {
      case kMonth:
        if (k >= 1 && k <= 12) WriteText(kMonthAbbreviations[k - 1]);
        break;
      case kHour:
        printf("%s%lld", k <= 11 ? "am " : "pm ", k % 12 == 0 ? 12 : k % 12);
        break;
      case kMinute:
        printf(":%s%lld", k <= 9 ? "0" : "", k);
        break;
      case kPadded:
        printf("%s%lld%s", k <= 9 ? "0" : "", k, unit);
        break;
      case kPlain:
        printf("%lld%s", k, unit);
        break;
    }
    WriteChar('\n');
  }
}

int HScriptCharset::Execute() {
  if (ArgCount() < 2) return 0;
  SjisOutput = IsWord(Arg(1), "SJIS");
  Utf8Output = IsWord(Arg(1), "UTF-8") || IsWord(Arg(1), "UTF8");
  return 0;
}

int HScriptEncode::Execute() {
  EncodeVariable(*this, UrlEncodeEuc);
  return 0;
}

int HScriptUrlEncode::Execute() {
  EncodeVariable(*this, UrlEncodeAll);
  return 0;
}

int HScriptShowText::Execute() {
  if (ArgCount() <= kName || CurrentServer == nullptr) return 0;
  const char* name = Stripped(Arg(kName));
  const char* value = CurrentServer->GetParam(name);
  const bool decode = !IsWord(Arg(kName + 1), "exact");
  if (value != nullptr) CurrentServer->SetParam(name, ReadableHtml(value, decode).CStr());
  return 0;
}

int HScriptTextLink::Execute() {
  if (ArgCount() <= kName || CurrentServer == nullptr) return 0;
  const char* name = Stripped(Arg(kName));
  CurrentServer->SetParam(name, TextLinkSegment(CurrentServer->GetParam(name)).CStr());
  return 0;
}

int HScriptInc::Execute() {
  if (ArgCount() <= kName || CurrentServer == nullptr) return 0;
  const char* name = Stripped(Arg(kName));
  const char* value = CurrentServer->GetParam(name);
  if (value == nullptr || !IsDigit(value[0])) return 0;
  const char* step = ArgCount() > kIncStep ? TokenValue(Arg(kIncStep)) : nullptr;
  long long sum = static_cast<long long>(ToInt(value)) + (step != nullptr ? ToInt(step) : 1);
  // Held within int, so the next read of the variable gives what was written.
  if (sum > INT_MAX) sum = INT_MAX;
  if (sum < INT_MIN) sum = INT_MIN;
  char scratch[16];
  snprintf(scratch, sizeof scratch, "%lld", sum);
  CurrentServer->SetParam(name, scratch);
  return 0;
}

int HScriptInit::Execute() {
  if (ArgCount() <= kValue || strcmp(Arg(kEquals), "=") != 0 || CurrentServer == nullptr) return 0;
  const char* name = Stripped(Arg(kName));
  if (CurrentServer->GetParam(name) == nullptr) {
    const char* value = TokenValue(Arg(kValue));
    if (value != nullptr) CurrentServer->SetParam(name, value);
  }
  return 0;
}

int HScriptSet::Execute() {
  if (ArgCount() <= kValue || strcmp(Arg(kEquals), "=") != 0) return 0;
  const char* name = Stripped(Arg(kName));
  const char* target = Stripped(Arg(kValue));
  IObject* object = IsWord(target, "null") ? nullptr : ResolveObject(target);
  if (object != nullptr) {
    ObjectAliases.Bind(name, object);
  } else {
    ObjectAliases.Unbind(name);
  }
  return 0;
}

int HScriptLet::Execute() {
  if (ArgCount() <= kLetSource || strcmp(Arg(kLetEquals), "=") != 0) {
    CallObjectMethod(this, Arg(kLetTarget), kCallArguments);
    return 0;
  }
  const char* source = Arg(kLetSource);
  const char* value = ArgCount() == kLetArguments ? TokenValue(source) : nullptr;
  if (value == nullptr && strchr(source, '.') != nullptr) value = CallObjectMethod(this, source, kLetArguments);
  const char* target = Arg(kLetTarget);
  if (strchr(target, '.') == nullptr) {
    if (CurrentServer != nullptr) CurrentServer->SetParam(target + 1, value);
    return 0;
  }
  IObject* object = nullptr;
  HString member;
  if (!SplitTarget(target, &object, &member)) return 0;
  const char* property = TokenValue(member.CStr());
  if (property == nullptr || *property == 0) return 0;
  object->SetProperty(property, value == nullptr ? "" : value);
  return 0;
}

int HScriptSystem::Execute() {
  IObject* system = CurrentServer != nullptr ? CurrentServer->GetSystem() : nullptr;
  if (system == nullptr) return 0;
  const HCallArguments arguments(*this, kCallArguments);
  text.Assign(system->Call(Arg(0), arguments.Count(), arguments.Values()));
  return 0;
}
