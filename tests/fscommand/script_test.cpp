// CALL, EF and EXEC against the real script engine, whose <fscommand> statements come back into the
// same processor as the player would send them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "fakes.h"
#include "fscommand/loopback_host.h"
#include "fscommand/processor.h"
#include "platform/codepage.h"
#include "script/engine.h"
#include "script/value.h"
#include "support/folders.h"

namespace {

using fscommand_test::CFakeDilator;
using fscommand_test::CFakeHolder;
using fscommand_test::CLoopbackHost;
using Strings = std::vector<std::string>;

class ScriptCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.ok());
    loader_ = std::make_unique<CFileLoader>(folder_.root().string().c_str());
    engine_.SetFileLoader(loader_.get());
    engine_.SetHost(&host_);
    processor_.SetScriptContext(&engine_);
    processor_.SetDilator(&dilator_);
    processor_.SetHolder(&holder_);
  }

  // Loads `script` as init.xml and runs its top-level statements.
  void Start(const std::string& script) {
    folder_.Disk("init.xml", script);
    ASSERT_EQ(S_OK, engine_.LoadScript());
    engine_.Execute(engine_.GetScriptRoot(), nullptr);
  }

  std::string Global(const char* name) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(engine_.LookupVariable(name, &value))) return "<none>";
    const CSmallWStr text = ValueToString(value);
    VariantClear(&value);
    return vexa::platform::WideToUtf8(text.c_str());
  }

  Strings Results() const {
    Strings texts;
    for (const std::wstring& r : holder_.results) texts.push_back(vexa::platform::WideToUtf8(r));
    return texts;
  }

  vexa::testing::CTempFolder folder_{"vexa-fscommand-"};
  std::unique_ptr<CFileLoader> loader_;
  CFakeDilator dilator_;
  CFakeHolder holder_;
  CFSCommandProcessor processor_;
  CLoopbackHost host_{&processor_};
  CScriptEngine engine_;
};

TEST_F(ScriptCommandTest, CallRunsTheLatestFunctionOfThatName) {
  Start(R"xml(<game>
  <var name="n" expr="0"/>
  <function name="bump"><assign name="n" expr="n + 1"/></function>
  <function name="bump"><assign name="n" expr="n + 10"/></function>
  <function name="quit"><fscommand name="'Q'"/></function>
</game>)xml");
  processor_.OnFSCommand(L"CALL", L"bump");
  processor_.OnFSCommand(L"call", L"bump");
  EXPECT_EQ("20", Global("n"));
  processor_.OnFSCommand(L"CALL", L"Bump");  // names compare byte for byte
  processor_.OnFSCommand(L"CALL", L"");
  processor_.OnFSCommand(L"CALL", L"missing");
  EXPECT_EQ("20", Global("n"));
  processor_.OnFSCommand(L"CALL", L"quit");
  EXPECT_EQ(Strings{"Quit()"}, dilator_.calls);
  EXPECT_TRUE(holder_.results.empty());
}

TEST_F(ScriptCommandTest, AFunctionThatCallsItselfThroughTheCommandEnds) {
  Start(R"xml(<game>
  <var name="rounds" expr="0"/>
  <function name="again">
    <assign name="rounds" expr="rounds + 1"/>
    <fscommand name="'CALL'" args="'again'"/>
  </function>
</game>)xml");
  processor_.OnFSCommand(L"CALL", L"again");
  // The engine's nesting bound holds across the commands in between: the recursion stops.
  const int rounds = std::stoi(Global("rounds"));
  EXPECT_GT(rounds, 1);
  EXPECT_LE(rounds, CScriptEngine::kMaxNestingDepth + 1);
  EXPECT_EQ(static_cast<size_t>(rounds), host_.sent.size());
  // The engine is usable afterwards: a fresh command starts a fresh entry.
  processor_.OnFSCommand(L"CALL", L"again");
  EXPECT_GT(std::stoi(Global("rounds")), rounds);
}

TEST_F(ScriptCommandTest, ExecAndCallMayEachSendTheOther) {
  Start(R"xml(<game>
  <var name="x" expr="''"/>
  <function name="inner"><assign name="x" expr="'inner ran'"/></function>
</game>)xml");
  processor_.OnFSCommand(
      L"EXEC", L"<s><var name=\"y\" expr=\"1\"/><fscommand name=\"'CALL'\" args=\"'inner'\"/></s>");
  EXPECT_EQ("inner ran", Global("x"));
  EXPECT_EQ("1", Global("y"));
}

TEST_F(ScriptCommandTest, EnumerateFunctionsJoinsNamesWithTheSeparator) {
  Start(R"xml(<game>
  <function name="a" type="t"/>
  <function name="skip" type="u"/>
  <function name="b" type="t"/>
  <function name="c"/>
  <function name="d" type="T"/>
</game>)xml");
  const struct {
    const wchar_t* command;
    const char* result;
  } cases[] = {
      {L"EF;t", "a;b"},  {L"ef|t", "a|b"}, {L"EF;T", "d"},  {L"EF;u", "skip"},
      {L"EF;x", "NULL"}, {L"EF;", "NULL"}, {L"EF", "NULL"},  // exactly its code
  };
  for (const auto& c : cases) {
    holder_.results.clear();
    processor_.OnFSCommand(c.command, L"r");
    EXPECT_EQ(Strings{c.result}, Results()) << vexa::platform::WideToUtf8(c.command);
  }
}

TEST_F(ScriptCommandTest, WithoutAScriptCallDoesNothingAndEnumerationIsNull) {
  processor_.OnFSCommand(L"CALL", L"f");
  processor_.OnFSCommand(L"EXEC", L"<s><fscommand name=\"'Q'\"/></s>");  // runs: no root needed
  processor_.OnFSCommand(L"EF;t", L"r");
  EXPECT_EQ(Strings{"NULL"}, Results());
  EXPECT_EQ(Strings{"Quit()"}, dilator_.calls);

  CFSCommandProcessor unwired;
  unwired.SetHolder(&holder_);
  holder_.results.clear();
  unwired.OnFSCommand(L"EF;t", L"r");
  unwired.OnFSCommand(L"EXEC", L"<s><var name=\"z\" expr=\"1\"/></s>");
  EXPECT_EQ(Strings{"NULL"}, Results());
}

TEST_F(ScriptCommandTest, ExecRunsWellFormedTextInTheGlobalScopeOnly) {
  Start("<game><var name=\"kept\" expr=\"1\"/></game>");
  processor_.OnFSCommand(L"EXEC",
                         L"<anything><assign name=\"kept\" expr=\"2\"/><var name=\"fresh\" "
                         L"expr=\"'new'\"/></anything>");
  EXPECT_EQ("2", Global("kept"));
  EXPECT_EQ("new", Global("fresh"));
  for (const wchar_t* broken : {L"", L"no xml", L"</end>", L"<open", L"<a><!-- unterminated"}) {
    processor_.OnFSCommand(L"EXEC", broken);
  }
  EXPECT_EQ("2", Global("kept"));
  EXPECT_TRUE(holder_.results.empty());
  EXPECT_TRUE(dilator_.calls.empty());
}

}  // namespace
