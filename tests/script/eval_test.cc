#include "script/eval.h"

#include <gtest/gtest.h>

#include <string>

#include "objects/object.h"
#include "tests/script/script_fixture.h"

namespace {

// An object that counts its property reads.
class HProbe : public IObject {
 public:
  explicit HProbe(const char* name) : IObject(name, 0) {}
  const char* GetProperty(const char* name) override {
    ++reads;
    return IObject::GetProperty(name);
  }
  int reads = 0;
};

class ConditionTest : public ScriptTest {
 protected:
  // "T" when the if branch renders, "F" for the else branch, "" for neither.
  std::string Outcome(const std::string& condition) {
    std::string out = Render("'if " + condition + "\nT\n'else\nF\n'endif\n");
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
};

TEST_F(ConditionTest, Operands) {
  Param("zero", "0");
  Param("zeros", "00");
  Param("word", "abc");
  Param("empty", "");
  Child("box", "Container");
  Child("Empty", "Container");  // a child whose name is also an empty parameter
  struct Case { const char* condition; const char* outcome; };
  const Case cases[] = {
      {"$missing", "F"},
      {"$zero", "F"},
      {"$zeros", "T"},
      {"$word", "T"},
      {"$empty", "T"},           // empty, but it names an object
      {"$System", "T"},
      {"$box", "T"},
      {"0", "F"},
      {"abc", "T"},
      {"! $word", "F"},
      {"! $missing", "T"},
      {"!$missing", "T"},        // one token: its own non-empty value
      {"!", ""},                 // "!" as the last token: no condition
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(c.outcome, Outcome(c.condition)) << c.condition;
}

TEST_F(ConditionTest, ComparisonsAndChains) {
  Param("a", "abc");
  Param("one", "1");
  Param("two", "2");
  Param("text", "a b");
  struct Case { const char* condition; const char* outcome; };
  const Case cases[] = {
      {"$a = abc", "T"},
      {"$a = ABC", "F"},               // case-sensitive
      {"$x = $y", "T"},                // both missing: both empty
      {"$x != x", "T"},
      {"$a != abc", "F"},
      {"$one = 1 and $two = 3", "T"},  // the rest of the line is ignored
      {"$a =", "F"},                   // no right operand
      {"$a !=", "T"},
      {"$a is $b", ""},                // no usable operator: nothing at all
      {"$a $b", ""},
      {"\"a b\" = $text", "T"},        // a quoted token may hold blanks
      {"! $a = abc", "T"},             // "!" has no effect in a comparison
      {"$one and $two", "T"},
      {"$one AND $two and $x", "F"},
      {"$x or $one", "T"},
      {"$x Or $y", "F"},
      {"$one and $x or $two", "F"},    // the chain stops at the other kind
      {"$x or $one and $zero", "T"},
      {"$one and", "T"},               // an operator without its operand
      {"$one and !", "T"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.outcome, Outcome(c.condition)) << c.condition;
}

TEST_F(ConditionTest, ChainsStopEvaluatingWhenDecided) {
  HProbe* probe = new HProbe("probe");
  ASSERT_TRUE(server_.System()->AddChild(probe));
  Param("one", "1");
  EXPECT_EQ("F", Outcome("$x and $probe.a"));
  EXPECT_EQ("T", Outcome("$one or $probe.a"));
  EXPECT_EQ(0, probe->reads);
  EXPECT_EQ("F", Outcome("$one and $probe.a"));
  EXPECT_EQ(1, probe->reads);
}

TEST_F(ConditionTest, ElifAndElseChains) {
  const char* page =
      "'if $v = 1\none\n"
      "'elif $v = 2\ntwo\n"
      "'elif $v is 3\nthree\n"   // a branch without a condition stops the chain
      "'else\nother\n"
      "'endif\nend\n";
  struct Case { const char* v; const char* out; };
  const Case cases[] = {{"1", "one\nend\n"}, {"2", "two\nend\n"}, {"3", "end\n"}, {"4", "end\n"}};
  for (const Case& c : cases) {
    server_.params.Clear();
    Param("v", c.v);
    EXPECT_EQ(c.out, Render(page)) << c.v;
  }
  server_.params.Clear();
  Param("v", "3");
  EXPECT_EQ("other\n", Render("'if $v = 1\none\n'elif $v = 2\ntwo\n'else\nother\n'endif\n"));
  EXPECT_EQ("x\n", Render("'iframe 1\nx\n'endiffy\n"));  // the keyword prefix rule
}

TEST(ParseConditionTest, TreeShapes) {
  struct Case { const char* line; bool null; };
  const Case cases[] = {
      {"if $a", false}, {"if $a = b c d", false}, {"if $a foo", true},
      {"if", true},     {"if !", true},           {"if $a and $b or $c", false},
  };
  for (const Case& c : cases) {
    HStringList args;
    Tokenize(c.line, &args);
    EXPECT_EQ(c.null, ParseCondition(args, 1) == nullptr) << c.line;
  }
}

}  // namespace
