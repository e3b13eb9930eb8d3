// The interpreter as a game uses it: init.xml in data.pak, read through the file loader, run at
// start; functions, scopes and every statement, checked by what reaches the host.
#include "platform/diagnostics.h"
#include "platform/stack.h"
#include "script/engine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "interp/script_fixture.h"
#include "support/diagnostics.h"

namespace {

using script_test::HostCall;
using script_test::ScriptTest;
using script_test::Show;
using script_test::Variant;
using Strings = std::vector<std::string>;

class EngineTest : public ScriptTest {
 protected:
  // A game whose init.xml is `script`.
  HRESULT Run(const std::string& script) {
    Package({{"init.xml", script}});
    return Start();
  }
};

TEST_F(EngineTest, TopLevelStatementsRunOnceInOrderAndFunctionsOnlyWhenCalled) {
  ASSERT_EQ(Run(R"xml(<?xml version="1.0"?>
<!-- a game -->
<game>
  <assign name="TITLE" expr="'My game'"/>
  <movie url="game.swf" width="800" height="600"/>
  <function name="later"><set var="ran" expr="'later'"/></function>
  <load url="menu.swf" layer="2"/>
  <ref url="logo.swf" alias="logo"/>
  <set var="x" expr="1 + 2"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(host_.Ops(), (Strings{"setting", "movie", "load", "ref", "movievalue"}));
  EXPECT_EQ(host_.Of("setting"), Strings{"TITLE='My game'"});
  EXPECT_EQ(host_.Of("movievalue"), Strings{"x=3"});
  // Elements reach the host as they are, with their attributes (url resolved against the package).
  const std::string base = std::string(kPseudoUrlPrefix) + "data.pak/end_of_story/";
  EXPECT_EQ(host_.calls[1].name, base + "game.swf");
  // (Every written attribute is followed by a space, so two separate neighbours.)
  EXPECT_EQ(host_.calls[1].value,
            "<movie height=\"600\"  url=\"" + base + "game.swf\"  width=\"800\" />");

  host_.calls.clear();
  EXPECT_EQ(engine_.RunScriptFunction("later"), S_OK);
  EXPECT_EQ(host_.Of("movievalue"), Strings{"ran='later'"});
}

TEST_F(EngineTest, LoadScriptFailsWithoutAReadableScriptAndKeepsThePreviousOne) {
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);  // no package, no file
  EXPECT_EQ(engine_.GetScriptRoot(), nullptr);
  EXPECT_EQ(engine_.RunScriptFunction("f"), E_FAIL);  // no script root
  std::vector<CSmallStr> names;
  EXPECT_EQ(engine_.EnumerateFunctions("t", &names), E_FAIL);

  Disk("init.xml", "<game><function name='f' type='t'/></game>");  // from disk when no package
  ASSERT_EQ(engine_.LoadScript(), S_OK);
  const CXMLElement* first = engine_.GetScriptRoot();
  ASSERT_NE(first, nullptr);

  Disk("init.xml", "no element here");
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
  EXPECT_EQ(engine_.GetScriptRoot(), first);
  EXPECT_EQ(engine_.EnumerateFunctions("t", &names), S_OK);
  EXPECT_EQ(names.size(), 1u);
}

TEST_F(EngineTest, TheLatestFunctionOfANameWins) {
  ASSERT_EQ(Run(R"xml(<game>
  <function name="f"><set var="which" expr="'first'"/></function>
  <function name="f"><set var="which" expr="'second'"/></function>
  <call name="f"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(host_.Of("movievalue"), Strings{"which='second'"});

  // One appended later (as add-ons do) wins over both.
  CXMLParser addon;
  ASSERT_EQ(
      addon.ParseDocument("<function name='f'><set var='which' expr='\"addon\"'/></function>"), 1);
  engine_.GetScriptRoot()->AppendChild(addon.GetRoot()->Clone(true));
  host_.calls.clear();
  EXPECT_EQ(engine_.RunScriptFunction("f"), S_OK);
  EXPECT_EQ(host_.Of("movievalue"), Strings{"which='addon'"});

  // Names are exact; an unknown one is not an error.
  host_.calls.clear();
  EXPECT_EQ(engine_.RunScriptFunction("F"), S_OK);
  EXPECT_EQ(engine_.RunScriptFunction(nullptr), E_FAIL);
  EXPECT_TRUE(host_.calls.empty());
}

TEST_F(EngineTest, FunctionsHaveTheirOwnScopeUnderTheGlobalOne) {
  ASSERT_EQ(Run(R"xml(<game>
  <var name="g" expr="1"/>
  <function name="makeLocal">
    <var name="local" expr="10"/>
    <assign name="g" expr="g + 1"/>
    <assign name="fresh" expr="5"/>
    <set var="inside" expr="local + fresh"/>
    <call name="peek"/>
  </function>
  <function name="peek">
    <set var="peekGlobal" expr="g"/>
    <set var="peekCaller" expr="local"/>
  </function>
  <call name="makeLocal"/>
  <assign name="local" expr="'now global'"/>
</game>)xml"),
            S_OK);
  // assign inside the function updated the global g and made `fresh` local to the call.
  EXPECT_EQ(Global("g"), "2");
  EXPECT_EQ(Global("fresh"), "<none>");
  EXPECT_EQ(Global("local"), "'now global'");
  // The called function sees globals but not its caller's locals: its second set failed.
  EXPECT_EQ(host_.Of("movievalue"), (Strings{"inside=15", "peekGlobal=2"}));
}

TEST_F(EngineTest, VarDeclaresOrUpdatesInTheCurrentScopeOnly) {
  ASSERT_EQ(Run(R"xml(<game>
  <var name="a" expr="1"/>
  <var name="a" expr="a + 1"/>
  <var name=" b " expr="'x'"/>
  <var name="b" expr="b + 'y'"/>
  <var name="empty"/>
  <var name="" expr="3"/>
  <var name="bad" expr="undefinedVariable"/>
  <function name="f"><var name="a" expr="100"/><set var="fa" expr="a"/></function>
  <call name="f"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(Global("a"), "2");
  EXPECT_EQ(Global("b"), "'xy'");
  EXPECT_EQ(Global("empty"), "(empty)");
  EXPECT_EQ(Global("bad"), "<none>");
  // The function's var shadowed the global a instead of changing it.
  EXPECT_EQ(host_.Of("movievalue"), Strings{"fa=100"});
}

TEST_F(EngineTest, AssignOffersGameSettingsToTheHostFirst) {
  ASSERT_EQ(Run(R"xml(<game>
  <assign name="WIDTH" expr="640"/>
  <assign name="score" expr="0"/>
  <assign name="score" expr="score + 5"/>
  <assign name="" expr="1"/>
  <assign name="broken" expr="(1"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(host_.Of("setting"), Strings{"WIDTH=640"});
  // The base is the folder of the file the statement came from, as the loader annotated it.
  EXPECT_EQ(host_.calls[0].base, "http:\\\\game.invalid\\data.pak\\end_of_story\\");
  EXPECT_EQ(Global("WIDTH"), "<none>");  // taken by the host: no script variable
  EXPECT_EQ(Global("score"), "5");
  EXPECT_EQ(Global("broken"), "<none>");
}

TEST_F(EngineTest, CurrentTimeComesFromTheFrameScope) {
  ASSERT_EQ(Run(R"xml(<game>
  <function name="f"><set var="t" expr="'at ' + CURRENTTIME"/></function>
  <call name="f"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(host_.Of("movievalue"), Strings{"t='at 12:34'"});
}

TEST_F(EngineTest, IfComparesWithEachOperator) {
  struct Case {
    const char* expr1;
    const char* op;
    const char* expr2;
    bool holds;
  };
  const Case cases[] = {
      {"1", "==", "1", true},
      {"1", "==", "2", false},
      {"'abc'", "==", "'xyz'", true},  // any two strings are equal for ==
      {"'abc'", "!=", "'xyz'", true},  // but != compares their text
      {"'abc'", "!=", "'abc'", false},
      {"5", "!=", "'5'", true},  // different types always differ
      {"5", "!=", "5", false},
      {"2", "&gt;", "1", true},
      {"1", "&gt;", "1", false},
      {"1", "&gt;=", "1", true},  // "&gt;" followed by "=" is >=
      {"0", "&gt;=", "1", false},
      {"1", "&lt;", "2", true},
      {"1", "<", "2", true},
      {"2", "&lt;=", "2", true},
      {"3", "<=", "2", false},
      {"1", "=", "1", false},  // not an operator of the if statement
      {"1", "", "1", false},
      {"1", "eq", "1", false},
  };
  std::string script = "<game>";
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    script += std::string("<if expr1=\"") + cases[i].expr1 + "\" op=\"" + cases[i].op +
              "\" expr2=\"" + cases[i].expr2 + "\"><set var=\"case\" expr=\"" + std::to_string(i) +
              "\"/></if>";
  }
  script += "</game>";
  ASSERT_EQ(Run(script), S_OK);
  Strings expected;
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    if (cases[i].holds) expected.push_back("case=" + std::to_string(i));
  }
  EXPECT_EQ(host_.Of("movievalue"), expected);
}

TEST_F(EngineTest, IfBodyRunsOnACopyInItsOwnScope) {
  ASSERT_EQ(Run(R"xml(<game>
  <var name="outer" expr="1"/>
  <if expr1="1" op="==" expr2="1">
    <var name="inner" expr="2"/>
    <assign name="outer" expr="outer + inner"/>
    <set var="innerSeen" expr="inner"/>
  </if>
  <set var="innerAfter" expr="inner"/>
  <if expr1="missing" op="==" expr2="1"><set var="never" expr="1"/></if>
  <if expr1="1" op="==" expr2="missing"><set var="never" expr="1"/></if>
</game>)xml"),
            S_OK);
  EXPECT_EQ(Global("outer"), "3");
  EXPECT_EQ(Global("inner"), "<none>");
  EXPECT_EQ(host_.Of("movievalue"), Strings{"innerSeen=2"});
}

TEST_F(EngineTest, SetWithoutExprSendsTheXmlOfItsChildrenAfterRunningThem) {
  ASSERT_EQ(Run(R"xml(<game>
  <var name="n" expr="1"/>
  <set var="data" extra="dropped">
    <item b="2" a="1"/>
    <var name="n" expr="n + 1"/>
    <group><leaf/></group>
  </set>
  <set var="empty" expr=""/>
  <set expr="1"/>
</game>)xml"),
            S_OK);
  const Strings values = host_.Of("movievalue");
  ASSERT_EQ(values.size(), 2u);
  // The tag of the set element without its own attributes; children with theirs, sorted by name.
  EXPECT_EQ(values[0],
            "data='<set>\n"
            "\t<item a=\"1\"  b=\"2\" />\n"
            "\t<var expr=\"n + 1\"  name=\"n\" />\n"
            "\t<group>\n"
            "\t\t<leaf/>\n"
            "\t</group>\n"
            "</set>'");
  EXPECT_EQ(values[1], "empty=(empty)");  // an empty expr attribute still counts as given
  // The body ran in a scope of its own: its var did not touch the global n.
  EXPECT_EQ(Global("n"), "1");
}

TEST_F(EngineTest, TimersHandOverTheirExpressionTextUnevaluated) {
  ASSERT_EQ(Run(R"xml(<game>
  <timeout value="250" expr="tick()"/>
  <timeinterval value=" 1000ms" expr="count + notYetDeclared"/>
  <timeout value="0" expr="never()"/>
  <timeout value="abc" expr="never()"/>
  <timeout value="100" expr=""/>
  <timeinterval value="" expr="never()"/>
  <timeout value="99999999999" expr="big()"/>
</game>)xml"),
            S_OK);
  ASSERT_EQ(host_.calls.size(), 3u);
  EXPECT_EQ(host_.calls[0].op, "timeout");
  EXPECT_EQ(host_.calls[0].milliseconds, 250);
  EXPECT_EQ(host_.calls[0].value, "tick()");
  EXPECT_EQ(host_.calls[1].op, "interval");
  EXPECT_EQ(host_.calls[1].milliseconds, 1000);
  EXPECT_EQ(host_.calls[1].value, "count + notYetDeclared");
  EXPECT_EQ(host_.calls[2].milliseconds, INT32_MAX);  // saturated, not wrapped
  // The host owns separate strings, one per timer.
  ASSERT_EQ(host_.timerExpressions.size(), 3u);
  EXPECT_NE(host_.timerExpressions[0].get(), host_.timerExpressions[1].get());

  // When a timer fires, the player evaluates its text in the global scope.
  Variant v;
  EXPECT_EQ(engine_.Evaluate(host_.timerExpressions[1]->c_str(), nullptr, &v.v), E_FAIL);
}

TEST_F(EngineTest, FSCommandEvaluatesNameAndArguments) {
  ASSERT_EQ(Run(R"xml(<game>
  <var name="level" expr="3"/>
  <fscommand name="'Q'"/>
  <fscommand name="'CALL'" args="'start' + level"/>
  <fscommand name="'X' + level" args=""/>
  <fscommand name="" args="'a'"/>
  <fscommand name="missing" args="'a'"/>
  <fscommand name="'Y'" args="missing"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(host_.Of("fscommand"), (Strings{"Q=", "CALL=start3", "X3="}));
}

TEST_F(EngineTest, TraceRunsFunctionsAndNothingElse) {
  ASSERT_EQ(Run(R"xml(<game>
  <function name="f"><assign name="calls" expr="calls + 1"/></function>
  <var name="calls" expr="0"/>
  <trace expr="f() f()"/>
  <trace expr="'just text'"/>
  <trace/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(Global("calls"), "2");
  EXPECT_TRUE(host_.calls.empty());
}

TEST_F(EngineTest, StatementNamesIgnoreCaseButAttributeNamesDoNot) {
  ASSERT_EQ(Run(R"xml(<game>
  <VAR name="a" expr="1"/>
  <Set var="s" expr="a"/>
  <IF expr1="1" op="==" expr2="1"><Assign name="b" expr="2"/></IF>
  <var NAME="c" expr="3"/>
  <unknown name="d"/>
  <Function name="notAFunction"/>
  <call name="notAFunction"/>
  <assign name="after" expr="'still runs'"/>
</game>)xml"),
            S_OK);
  EXPECT_EQ(Global("a"), "1");
  EXPECT_EQ(Global("b"), "<none>");  // declared in the if body's scope
  EXPECT_EQ(Global("c"), "<none>");
  EXPECT_EQ(Global("after"), "'still runs'");
  EXPECT_EQ(host_.Of("movievalue"), Strings{"s=1"});
}

TEST_F(EngineTest, EnumerateFunctionsByType) {
  ASSERT_EQ(Run(R"xml(<game>
  <function name="a" type="menu"/>
  <function name="b"/>
  <function name="c" type="Menu"/>
  <group><function name="nested" type="menu"/></group>
  <function name="d" type="menu"/>
</game>)xml"),
            S_OK);
  std::vector<CSmallStr> names;
  ASSERT_EQ(engine_.EnumerateFunctions("menu", &names), S_OK);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].str(), "a");
  EXPECT_EQ(names[1].str(), "d");
  names.clear();
  EXPECT_EQ(engine_.EnumerateFunctions("", &names), S_OK);  // no type never matches
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(engine_.EnumerateFunctions("menu", nullptr), E_POINTER);
}

TEST_F(EngineTest, ExecTextRunsInTheGlobalScope) {
  ASSERT_EQ(Run("<game><var name='g' expr='1'/><function name='f'><set var='f' "
                "expr='g'/></function></game>"),
            S_OK);
  Exec("<exec><assign name='g' expr='g + 1'/><call name='f'/></exec>");
  EXPECT_EQ(Global("g"), "2");
  EXPECT_EQ(host_.Of("movievalue"), Strings{"f=2"});
}

TEST_F(EngineTest, EvaluateUsesTheGivenScopeAndCursor) {
  ASSERT_EQ(Run("<game><var name='g' expr='10'/></game>"), S_OK);
  CExecContext local(&engine_);
  Variant five;
  five.v.vt = VT_I4;
  five.v.lVal = 5;
  ASSERT_EQ(local.DeclareVariable("l", &five.v), S_OK);
  Variant v;
  ASSERT_EQ(engine_.Evaluate("g + l", &local, &v.v), S_OK);
  EXPECT_EQ(Show(v.v), "15");
  EXPECT_EQ(Eval("g + l"), "<failed>");  // the global scope has no l

  const char* text = "1) + g";
  const char* cursor = text;
  ASSERT_EQ(engine_.Evaluate(text, nullptr, &v.v, &cursor), S_OK);
  EXPECT_EQ(Show(v.v), "1");
  EXPECT_EQ(cursor, text + 2);
  EXPECT_EQ(engine_.Evaluate(nullptr, nullptr, &v.v), E_POINTER);
}

// --- Bounds ---

// The player's main thread reserves this much stack (src/app/CMakeLists.txt); the loops below run
// on a thread of the same size.
constexpr size_t kPlayerStack = 64 * 1024 * 1024;

TEST_F(EngineTest, EndlessRecursionEndsAtTheStackBoundAndTheScriptGoesOn) {
  bool ran = false;
  ASSERT_TRUE(vexa::platform::RunWithStack(kPlayerStack, [&] {
    ran = true;
    EXPECT_EQ(Run(R"xml(<game>
  <var name="depth" expr="0"/>
  <function name="down">
    <assign name="depth" expr="depth + 1"/>
    <trace expr="down()"/>
  </function>
  <function name="ping"><assign name="pings" expr="pings + 1"/><call name="pong"/></function>
  <function name="pong"><call name="ping"/></function>
  <var name="pings" expr="0"/>
  <call name="down"/>
  <call name="ping"/>
  <set var="after" expr="'alive'"/>
</game>)xml"),
              S_OK);
  }));
  ASSERT_TRUE(ran);
  // Thousands of levels fit in the player's stack whatever the build; the recursion ended there
  // and the statements after it ran.
  Variant depth;
  ASSERT_EQ(engine_.LookupVariable("depth", &depth.v), S_OK);
  ASSERT_EQ(depth.v.vt, VT_I4);
  EXPECT_GE(depth.v.lVal, 2000);
  Variant pings;
  ASSERT_EQ(engine_.LookupVariable("pings", &pings.v), S_OK);
  EXPECT_GE(pings.v.lVal, 1000);
  EXPECT_EQ(host_.Of("movievalue"), Strings{"after='alive'"});
}

TEST_F(EngineTest, AnIfGuardedRecursiveLoopRunsThousandsOfRounds) {
  // The language's only loop: a function that calls itself inside an if. Every round nests a
  // function body and an if body.
  ASSERT_TRUE(vexa::platform::RunWithStack(kPlayerStack, [&] {
    EXPECT_EQ(Run(R"xml(<game>
  <var name="n" expr="0"/>
  <function name="loop">
    <if expr1="n" op="&lt;" expr2="5000">
      <assign name="n" expr="n + 1"/>
      <call name="loop"/>
    </if>
  </function>
  <call name="loop"/>
</game>)xml"),
              S_OK);
  }));
  EXPECT_EQ(Global("n"), "5000");
}

TEST_F(EngineTest, ExecuteAndFunctionCallsSucceedWhatTheirStatementsDo) {
  // A failing statement, an unknown function and a body nobody may run still report success:
  // the failures show only as missing effects (and in the diagnostic log).
  ASSERT_EQ(Run("<game><function name='f'><var name='' expr='1'/><call name='nowhere'/></function>"
                "</game>"),
            S_OK);
  EXPECT_EQ(engine_.RunScriptFunction("f"), S_OK);
  EXPECT_EQ(engine_.RunScriptFunction("nowhere"), S_OK);
  EXPECT_EQ(engine_.Execute(nullptr, nullptr), S_OK);
}

TEST_F(EngineTest, TheDiagnosticLogSaysWhatDidNotRunAndWhy) {
  vexa::testing::CDiagnosticsCapture log;
  ASSERT_TRUE(log.on());
  ASSERT_EQ(Run("<game><var name='' expr='1'/><set expr='1'/><call name='missing'/></game>"), S_OK);
  const std::string text = log.Stop();
  EXPECT_NE(text.find("script: statement <var"), std::string::npos) << text;
  EXPECT_NE(text.find("script: statement <set"), std::string::npos) << text;
  EXPECT_NE(text.find("no function named 'missing'"), std::string::npos) << text;
  // Off again: nothing more is written.
  EXPECT_FALSE(vexa::platform::DiagnosticsEnabled());
}

TEST_F(EngineTest, DeepParenthesesAtEveryLevelStayWithinTheStackBound) {
  // Each level nests the recursive call inside 200 parentheses: the expression evaluator's own
  // recursion multiplies the stack each level takes.
  std::string open(200, '('), close(200, ')');
  ASSERT_EQ(
      Run("<game><var name='n' expr='0'/><function name='deep'><assign name='n' expr='n + 1'/>"
          "<trace expr='" +
          open + "deep()" + close +
          "'/></function><call name='deep'/>"
          "<set var='done' expr='n'/></game>"),
      S_OK);
  ASSERT_EQ(host_.Of("movievalue").size(), 1u);
  // How many levels fit depends on the build's frame sizes (with a sanitizer, 200 parentheses
  // alone take most of the stack bound); that the run ends, and ends well, is the point.
  Variant n;
  ASSERT_EQ(engine_.LookupVariable("n", &n.v), S_OK);
  EXPECT_GE(n.v.lVal, 1);
  EXPECT_LT(n.v.lVal, CScriptEngine::kMaxNestingDepth);
}

TEST_F(EngineTest, DeeplyNestedIfBodiesAllRun) {
  std::string script = "<game><var name='n' expr='0'/>";
  const int levels = 200;
  for (int i = 0; i < levels; ++i)
    script += "<if expr1='1' op='==' expr2='1'><assign name='n' expr='n + 1'/>";
  for (int i = 0; i < levels; ++i) script += "</if>";
  script += "</game>";
  ASSERT_EQ(Run(script), S_OK);
  // Nesting is bounded by the stack, not by a count of bodies: 200 levels are nothing.
  EXPECT_EQ(Global("n"), "200");
}

TEST_F(EngineTest, StepLimitEndsExponentialWork) {
  // Every level calls the next twice: 2^40 calls without a budget.
  std::string script = "<game><var name='n' expr='0'/>";
  for (int i = 0; i < 40; ++i) {
    script += "<function name='f" + std::to_string(i) +
              "'><assign name='n' expr='n + 1'/>"
              "<call name='f" +
              std::to_string(i + 1) + "'/><call name='f" + std::to_string(i + 1) + "'/></function>";
  }
  script += "</game>";
  ASSERT_EQ(Run(script), S_OK);
  engine_.SetStepLimit(1000);
  EXPECT_EQ(engine_.RunScriptFunction("f0"), S_OK);
  Variant n;
  ASSERT_EQ(engine_.LookupVariable("n", &n.v), S_OK);
  EXPECT_GT(n.v.lVal, 100);
  EXPECT_LE(n.v.lVal, 1000);
  // The budget belongs to one entry: the next entry starts afresh.
  EXPECT_EQ(engine_.RunScriptFunction("f39"), S_OK);
  Variant after;
  ASSERT_EQ(engine_.LookupVariable("n", &after.v), S_OK);
  EXPECT_EQ(after.v.lVal, n.v.lVal + 1);
}

TEST_F(EngineTest, HostReentryIsServedButCannotReplaceTheRunningScript) {
  Package({{"init.xml", R"xml(<game>
  <function name="f"><set var="f" expr="'ran'"/></function>
  <movie url="m.swf"/>
  <set var="after" expr="1"/>
</game>)xml"}});
  HRESULT reload = S_OK;
  HRESULT call = E_FAIL;
  host_.onCall = [&](const HostCall& c) {
    if (c.op != "movie") return;
    reload = engine_.LoadScript();
    call = engine_.RunScriptFunction("f");
  };
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(reload, E_UNEXPECTED);
  EXPECT_EQ(call, S_OK);
  EXPECT_EQ(host_.Of("movievalue"), (Strings{"f='ran'", "after=1"}));
}

TEST_F(EngineTest, WithoutAHostStatementsThatNeedItDoNothing) {
  engine_.SetHost(nullptr);
  ASSERT_EQ(Run("<game><assign name='TITLE' expr='1'/><movie url='x'/><set var='v' expr='1'/>"
                "<timeout value='5' expr='x'/><fscommand name='1'/></game>"),
            S_OK);
  EXPECT_EQ(Global("TITLE"), "1");  // no host to take it: an ordinary variable
  EXPECT_TRUE(host_.calls.empty());
}

}  // namespace
