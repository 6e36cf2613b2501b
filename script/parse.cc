#include "script/parse.h"

#include <cstring>

#include "core/file.h"
#include "core/iserver.h"
#include "script/blocks.h"
#include "script/directives.h"

HTypedList<HScriptInclude> IncludeCache;

namespace {

// An include line: these 19 bytes, the file name, a closing double quote.
constexpr char kIncludeOpen[] = "<!--#include file=\"";
constexpr int kIncludeOpenLength = sizeof kIncludeOpen - 1;

}  // namespace

HScriptParse::~HScriptParse() = default;

int HScriptParse::Execute() { return ExecuteChildren(); }

int HScriptParse::ExecuteChildren() {
  for (HScriptItem* child : children_) {
    if (child->Execute() != 0) return 1;
  }
  return 0;
}

int HScriptParse::Parse(HScriptReader& reader, int includes_allowed) {
  while (const char* line = reader.ReadLine()) {
    if (line[0] == '\'') {
      const char* text = line + 1;
      while (*text == ' ' || *text == '\t') ++text;
      if (IsEnd(text, reader, includes_allowed) != 0) return 1;
      if (HScriptItem* item = CreateLine(text)) {
        children_.PushBack(item);
      } else if (HScriptParse* block = CreateBlock(text)) {
        children_.PushBack(block);
        if (ParseNested(block, reader, includes_allowed) == 0) return 0;
      }
      // Anything else is a comment.
    } else if (includes_allowed != 0 && strncmp(line, kIncludeOpen, kIncludeOpenLength) == 0) {
      AddInclude(line);
    } else {
      AddTextLine(line);
    }
  }
  return 0;
}

int HScriptParse::ParseNested(HScriptParse* block, HScriptReader& reader, int includes_allowed) {
  // Parsing, executing and releasing all recurse once per level, so the
  // depth is bounded here rather than left to the template.
  if (reader.depth >= HScriptReader::kMaxDepth) {
    reader.Stop();
    return 0;
  }
  ++reader.depth;
  const int result = block->Parse(reader, includes_allowed);
  --reader.depth;
  return result;
}

int HScriptParse::IsEnd(const char*, HScriptReader&, int) { return 0; }

HScriptItem* HScriptParse::CreateLine(const char* text) {
  if (text[0] == '$') return new HScriptLet(text);
  if (BeginsWord(text, "set")) return new HScriptSet(text);
  if (BeginsWord(text, "init")) return new HScriptInit(text);
  if (BeginsWord(text, "options")) return new HScriptOptions(text);
  if (BeginsWord(text, "autolink")) return new HScriptAutoLink(text);
  if (BeginsWord(text, "inc")) return new HScriptInc(text);
  if (BeginsWord(text, "exit")) return new HScriptExit(text);
  if (BeginsWord(text, "Read") || BeginsWord(text, "Write") || BeginsWord(text, "Post") ||
      BeginsWord(text, "Admin") || BeginsWord(text, "Login")) {
    return new HScriptSystem(text);
  }
  if (BeginsWord(text, "encode")) return new HScriptEncode(text);
  if (BeginsWord(text, "urlencode")) return new HScriptUrlEncode(text);
  if (BeginsWord(text, "showtext")) return new HScriptShowText(text);
  if (BeginsWord(text, "textlink")) return new HScriptTextLink(text);
  if (BeginsWord(text, "charset")) return new HScriptCharset(text);
  return nullptr;
}

HScriptParse* HScriptParse::CreateBlock(const char* text) {
  if (BeginsWord(text, "if")) return new HScriptIf(text);
  if (BeginsWord(text, "for")) return new HScriptFor(text);
  return nullptr;
}

void HScriptParse::AddInclude(const char* line) {
  const char* name = line + kIncludeOpenLength;
  const char* close = strchr(name, '"');
  if (close == nullptr) return;  // no closing quote: the line is dropped
  children_.PushBack(new HScriptInclude(name, static_cast<int>(close - name)));
}

void HScriptParse::AddTextLine(const char* line) {
  int literal = 0;  // start of the literal text not yet taken
  int begin = 0, end = 0, resume = 0;
  for (int at = FindReference(line, 0, &begin, &end, &resume); at >= 0;
       at = FindReference(line, literal, &begin, &end, &resume)) {
    if (at > literal) AddLiteral(line + literal, at - literal);
    children_.PushBack(new HScriptEmbed(line + begin, end - begin));
    literal = resume;
  }
  int length = static_cast<int>(strlen(line + literal));
  if (length == 0) return;
  // Two backslashes before the line feed join the next line to this one.
  if (length >= 3 && strcmp(line + literal + length - 3, "\\\\\n") == 0) length -= 3;
  AddLiteral(line + literal, length);
}

namespace {

// The server writes its footer in front of the first top-level item that
// closes the body, so such text always starts an item of its own.
bool ClosesBody(const HString& text) {
  return text.Find("</body") >= 0 || text.Find("</BODY") >= 0 || text.Find("</Body") >= 0;
}

}  // namespace

void HScriptParse::AddLiteral(const char* text, int n) {
  HString piece(text, n);
  // Literal text that follows literal text joins it: one item to make, run
  // and release instead of one a line. An item holding the body's end
  // never grows, so only the new piece needs looking at.
  const bool closes_body = ClosesBody(piece);
  HListNode* tail = children_.Tail();
  if (!closes_body && tail != nullptr && HOwnedList<HScriptItem>::Of(tail) == open_literal_) {
    open_literal_->text.Append(piece);
    return;
  }
  auto* item = new HScriptItem(piece.CStr(), piece.Length());
  children_.PushBack(item);
  open_literal_ = closes_body ? nullptr : item;
}

HScriptInclude::HScriptInclude(const char* file_name, int n) : HScriptParse(nullptr) {
  text.Assign(file_name, n);
}

int HScriptInclude::Execute() {
  if (!loaded_) {
    loaded_ = true;
    for (HScriptInclude* earlier : IncludeCache) {
      if (strcmp(earlier->text.CStr(), text.CStr()) == 0) {
        shared_ = earlier;
        break;
      }
    }
    if (shared_ == nullptr) {
      HString path(CurrentServer != nullptr ? CurrentServer->GetHomeDir() : "");
      path.Append("page/");
      path.Append(text);
      HFile file;
      if (file.Open(path.CStr(), "r")) {
        HScriptReader reader(file.Stream());
        Parse(reader, 0);
        file.Close();
        IncludeCache.PushBack(this);
      }
    }
  }
  if (shared_ != nullptr) return shared_->Execute();
  return ExecuteChildren();
}

HScript::~HScript() { IncludeCache.Clear(); }

int HScript::Load(HScriptReader& reader) {
  root_.ReleaseChildren();
  IncludeCache.Clear();
  return root_.Parse(reader, 1);
}

int HScript::Run() { return root_.Execute(); }
