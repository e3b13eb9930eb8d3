// Splitting an ExternalInterface call into command and argument text: the command is whatever the
// movie named the function (it may hold parentheses and quotes, a save's description does), the
// argument list is what the plug-in wrote as script literals.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "flashhost/bridge.h"

namespace {

struct SplitCase {
  const char* inner;  // the text between "__flash__toXML(" and ")) ; } catch (e)"
  const char* command;
  const char* argument;
};

void PrintTo(const SplitCase& c, std::ostream* os) {
  *os << c.inner;
}

std::string Script(const std::string& inner) {
  return "try { __flash__toXML(" + inner + ")) ; } catch (e) { \"<undefined/>\"; }";
}

class ExternalCallSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(ExternalCallSplitTest, SplitsWhereTheLiteralListBegins) {
  const SplitCase& c = GetParam();
  std::string command = "untouched";
  std::string argument = "untouched";
  ASSERT_TRUE(ParseExternalCall(Script(c.inner), &command, &argument));
  EXPECT_EQ(command, c.command);
  EXPECT_EQ(argument, c.argument);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExternalCallSplitTest,
    ::testing::Values(
        // Commands without "(": split at the first one, as always, whatever the arguments are.
        SplitCase{"GS(\"x\"", "GS", "x"}, SplitCase{"GS('single'", "GS", "single"},
        SplitCase{"GS(", "GS", ""}, SplitCase{"GS(null", "GS", ""},
        SplitCase{"GS(1,2", "GS", "1,2"}, SplitCase{"GS(\"", "GS", ""},  // a lone quote
        SplitCase{"GS(\"a\",\"b\"", "GS", "a\",\"b"},
        SplitCase{"SS(\"say \\\"hi\\\"\"", "SS", "say \\\"hi\\\""},
        SplitCase{"SS(true", "SS", "true"}, SplitCase{"SS(-1.5e3", "SS", "-1.5e3"},
        SplitCase{"SS;g;1;d(\"a(b)c\"", "SS;g;1;d", "a(b)c"},  // "(" in the data
        SplitCase{"SS;g;1;d(\"(\"", "SS;g;1;d", "("},
        SplitCase{"GS(x(1)", "GS", "x(1)"},  // not a literal list anywhere: the first "("
        SplitCase{"GS(\"a\" \"b\"", "GS", "a\" \"b"},
        // Commands with "(", ")" and quotes: the description survives whole.
        SplitCase{"SS;mygame;1;Level 3 (autosave)(\"10\"", "SS;mygame;1;Level 3 (autosave)", "10"},
        SplitCase{"SS;g;1;((\"x\"", "SS;g;1;(", "x"},
        SplitCase{"SS;g;1;a)b(\"d\"", "SS;g;1;a)b", "d"},
        SplitCase{"SS;g;1;x (1)(", "SS;g;1;x (1)", ""},
        SplitCase{"SS;g;1;x (1)(null", "SS;g;1;x (1)", ""},
        SplitCase{"SS;g;1;x (1)(42", "SS;g;1;x (1)", "42"},
        SplitCase{"SS;g;1;x (1)(-.5", "SS;g;1;x (1)", "-.5"},
        SplitCase{"SS;g;1;x (\"y\")(\"d\"", "SS;g;1;x (\"y\")", "d"},
        SplitCase{"SS;g;1;say \"hi\" (1)(\"d\"", "SS;g;1;say \"hi\" (1)", "d"},
        SplitCase{"SS;g;1;it's (new)('d'", "SS;g;1;it's (new)", "d"},
        SplitCase{"SS;g;1;x (1)(\"a\\\"(b\"", "SS;g;1;x (1)", "a\\\"(b"},  // escaped quote
        SplitCase{"SS;g;1;x (1)(\"\\\\\"", "SS;g;1;x (1)", "\\\\"},        // escaped backslash
        SplitCase{"SS;g;1;(a)('it\\'s'", "SS;g;1;(a)", "it\\'s"},
        SplitCase{"SS;g;1;(a)(\"l1\\nl2\"", "SS;g;1;(a)", "l1\\nl2"},
        SplitCase{"SS;g;1;(a)(\"x\",1,true,false,null,'y'", "SS;g;1;(a)",
                  "x\",1,true,false,null,'y"},
        // Text that reads as literals only up to a point is still part of the command.
        SplitCase{"SS;g;1;(1x)(\"d\"", "SS;g;1;(1x)", "d"},
        SplitCase{"SS;g;1;(nullx)(\"d\"", "SS;g;1;(nullx)", "d"},
        SplitCase{"SS;g;1;(\"a\"b)(\"d\"", "SS;g;1;(\"a\"b)", "d"},
        SplitCase{"SS;g;1;(1,)(\"d\"", "SS;g;1;(1,)", "d"}));

TEST(ExternalCallSplit, RefusesScriptsWithoutTheCallShape) {
  const std::string refused[] = {
      "", "alert(1)", Script("GS"),
      "try { __flash__toXML(GS(\"x\")) }",  // no end marker
  };
  for (const std::string& script : refused) {
    std::string command = "untouched";
    std::string argument = "untouched";
    EXPECT_FALSE(ParseExternalCall(script, &command, &argument)) << script;
    EXPECT_EQ(command, "untouched");
    EXPECT_EQ(argument, "untouched");
  }
}

}  // namespace
