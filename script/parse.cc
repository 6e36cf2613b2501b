#include "script/parse.h"

#include <cstring>
#include <vector>

#include "core/file.h"
#include "core/iserver.h"
#include "script/blocks.h"
#include "script/directives.h"

HTypedList<HScriptInclude> IncludeCache;

namespace {

// An include line: these 19 bytes, the file name, a closing double quote.
constexpr char kIncludeOpen[] = "<!--#include file=\"";
constexpr int kIncludeOpenLength = sizeof kIncludeOpen - 1;

template <class T>
HScriptItem* Make(const char* text) {
  return new T(text);
}

// The directives of one line after "$" (an assignment): the first whose
// word begins the text, ignoring case, makes the item.
const struct {
  const char* word;
  HScriptItem* (*make)(const char*);
} kLineDirectives[] = {
    {"set", Make<HScriptSet>},
    {"init", Make<HScriptInit>},
    {"options", Make<HScriptOptions>},
    {"autolink", Make<HScriptAutoLink>},
    {"inc", Make<HScriptInc>},
    {"exit", Make<HScriptExit>},
    {"Read", Make<HScriptSystem>},
    {"Write", Make<HScriptSystem>},
    {"Post", Make<HScriptSystem>},
    {"Admin", Make<HScriptSystem>},
    {"Login", Make<HScriptSystem>},
    {"encode", Make<HScriptEncode>},
    {"urlencode", Make<HScriptUrlEncode>},
    {"showtext", Make<HScriptShowText>},
    {"textlink", Make<HScriptTextLink>},
    {"charset", Make<HScriptCharset>},
};

// Whether CreateLine makes an item of the directive text.
bool IsLineDirective(const char* text) {
  if (text[0] == '$') return true;
  for (const auto& directive : kLineDirectives) {
    if (BeginsWord(text, directive.word)) return true;
  }
  return false;
}

// The directive text of a line that holds one, else null.
const char* DirectiveText(const char* line) {
  if (line[0] != '\'') return nullptr;
  const char* text = line + 1;
  while (*text == ' ' || *text == '\t') ++text;
  return text;
}

}  // namespace

bool HScriptParse::lazy_blocks = true;

HScriptParse::~HScriptParse() = default;

int HScriptParse::Execute() { return ExecuteChildren(); }

int HScriptParse::ExecuteChildren() {
  if (keeping_) ParseKept();
  for (HScriptItem* child : children_) {
    if (child->Execute() != 0) return 1;
  }
  return 0;
}

int HScriptParse::Parse(HScriptReader& reader, int includes_allowed) {
  while (const char* line = reader.ReadLine()) {
    if (const char* text = DirectiveText(line)) {
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
  const int result = lazy_blocks ? block->Keep(reader, includes_allowed) : block->Parse(reader, includes_allowed);
  --reader.depth;
  return result;
}

int HScriptParse::Keep(HScriptReader& reader, int includes_allowed) {
  keeping_ = true;
  kept_depth_ = reader.depth;
  kept_includes_ = includes_allowed;
  // The blocks open inside this one, innermost last, each with the depth
  // its own lines are parsed at: the lines are only read here, but where
  // each block ends, and where the depth cuts the template, must come out
  // as parsing would find them.
  struct HOpen {
    enum Kind { kIf, kElse, kFor } kind;
    int depth;
  };
  std::vector<HOpen> open;
  while (const char* line = reader.ReadLine()) {
    if (const char* text = DirectiveText(line)) {
      if (open.empty()) {
        if (IsEnd(text, reader, includes_allowed) != 0) return 1;  // its own end line is not kept
      } else if (open.back().kind == HOpen::kIf && (BeginsWord(text, "elif") || BeginsWord(text, "else"))) {
        // The branch goes on one level deeper, as HScriptIf::IsEnd nests it.
        HOpen& branch = open.back();
        if (branch.depth >= HScriptReader::kMaxDepth) {
          reader.Stop();
        } else {
          branch = HOpen{BeginsWord(text, "elif") ? HOpen::kIf : HOpen::kElse, branch.depth + 1};
        }
        text = nullptr;
      } else if (open.back().kind == HOpen::kFor ? BeginsWord(text, "next") : BeginsWord(text, "endif")) {
        open.pop_back();
        text = nullptr;
      }
      if (text != nullptr && !IsLineDirective(text) && (BeginsWord(text, "if") || BeginsWord(text, "for"))) {
        const int depth = open.empty() ? reader.depth : open.back().depth;
        if (depth >= HScriptReader::kMaxDepth) {
          reader.Stop();
        } else {
          open.push_back(HOpen{BeginsWord(text, "if") ? HOpen::kIf : HOpen::kFor, depth + 1});
        }
      }
    }
    kept_.append(line);
    kept_.push_back(0);
  }
  return 0;
}

void HScriptParse::ParseKept() {
  keeping_ = false;
  std::string lines;
  lines.swap(kept_);
  HScriptReader reader(lines.data(), lines.data() + lines.size());
  reader.depth = kept_depth_;
  Parse(reader, kept_includes_);
}

int HScriptParse::IsEnd(const char*, HScriptReader&, int) { return 0; }

HScriptItem* HScriptParse::CreateLine(const char* text) {
  if (text[0] == '$') return new HScriptLet(text);
  for (const auto& directive : kLineDirectives) {
    if (BeginsWord(text, directive.word)) return directive.make(text);
  }
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
bool ClosesBody(const char* text, int n) {
  for (const char* at = text; at < text + n;) {
    const char* open = static_cast<const char*>(memchr(at, '<', static_cast<size_t>(text + n - at)));
    if (open == nullptr || text + n - open < 6) return false;
    if (open[1] == '/' && (memcmp(open + 2, "body", 4) == 0 || memcmp(open + 2, "BODY", 4) == 0 ||
                           memcmp(open + 2, "Body", 4) == 0)) {
      return true;
    }
    at = open + 1;
  }
  return false;
}

}  // namespace

void HScriptParse::AddLiteral(const char* text, int n) {
  // Literal text that follows literal text joins it: one item to make, run
  // and release instead of one a line. An item holding the body's end
  // never grows, so only the new piece needs looking at.
  const bool closes_body = ClosesBody(text, n);
  HListNode* tail = children_.Tail();
  if (!closes_body && tail != nullptr && HOwnedList<HScriptItem>::Of(tail) == open_literal_) {
    open_literal_->text.Append(text, n);
    return;
  }
  auto* item = new HScriptItem(text, n);
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
