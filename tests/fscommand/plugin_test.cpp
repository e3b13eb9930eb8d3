// PLUGIN_CREATE, PLUGIN_METHOD and PLUGIN_PROPGET with a fake plug-in source: instance names, the
// argument order handed to the object, trimming, failure answers, references.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes.h"
#include "fscommand/processor.h"
#include "platform/codepage.h"

namespace {

using fscommand_test::CFakeDilator;
using fscommand_test::CFakeHolder;
using fscommand_test::CFakePluginSource;

uint32_t g_tick = 1000;
uint32_t FixedTick() {
  return g_tick;
}

class PluginCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_tick = 1000;
    plugins_.known["calc"] = L"42";
    plugins_.known["echo"] = L"pong";
    processor_.SetHolder(&holder_);
    processor_.SetPluginSource(&plugins_);
    processor_.SetTickSource(&FixedTick);
  }

  // Creates an object and keeps its instance name in the movie variable `variable`.
  std::wstring Create(const wchar_t* plugin, const wchar_t* variable) {
    holder_.results.clear();
    processor_.OnFSCommand(L"PLUGIN_CREATE|res", plugin);
    EXPECT_EQ(1u, holder_.results.size());
    if (holder_.results.empty()) return L"";
    const std::wstring name = holder_.results.back();
    holder_.variables[variable] = vexa::platform::WideToAnsi(name);
    holder_.results.clear();
    holder_.resultNames.clear();
    return name;
  }

  CFakeDilator dilator_;
  CFakeHolder holder_;
  CFakePluginSource plugins_;
  CFSCommandProcessor processor_;
};

TEST_F(PluginCommandTest, CreateAnswersTheInstanceNameAndKeepsTheObject) {
  processor_.OnFSCommand(L"PLUGIN_CREATE|answer", L"calc");
  EXPECT_EQ((std::vector<std::wstring>{L"calc_1000"}), holder_.results);
  EXPECT_EQ((std::vector<std::wstring>{L"answer"}), holder_.resultNames);
  EXPECT_EQ((std::vector<std::string>{"calc"}), plugins_.asked);
  EXPECT_EQ((std::vector<std::string>{"calc_1000"}), processor_.GetPluginInstanceNames());
  EXPECT_EQ(plugins_.last, processor_.FindPluginInstance("calc_1000"));
  EXPECT_EQ(1, plugins_.log.live);
}

TEST_F(PluginCommandTest, TwoObjectsMadeInOneTickGetNamesOfTheirOwn) {
  const std::wstring first = Create(L"calc", L"a");
  IPluginInstance* firstObject = plugins_.last;
  const std::wstring second = Create(L"calc", L"b");
  const std::wstring third = Create(L"calc", L"c");
  EXPECT_EQ(L"calc_1000", first);
  EXPECT_EQ(L"calc_1001", second);
  EXPECT_EQ(L"calc_1002", third);
  // Each name designates the object made for it; none was dropped.
  EXPECT_EQ(firstObject, processor_.FindPluginInstance("calc_1000"));
  EXPECT_EQ(plugins_.last, processor_.FindPluginInstance("calc_1002"));
  EXPECT_EQ(3, plugins_.log.live);
  // Once the clock moves on past a bumped number, names stay unique.
  g_tick = 1001;
  EXPECT_EQ(L"calc_1003", Create(L"calc", L"d"));
  EXPECT_EQ(L"echo_1001", Create(L"echo", L"e"));
}

TEST_F(PluginCommandTest, TheTickCountIsWrittenAsASignedNumber) {
  g_tick = 0x80000005u;
  EXPECT_EQ(L"calc_-2147483643", Create(L"calc", L"a"));
  g_tick = 0xFFFFFFFFu;
  EXPECT_EQ(L"calc_-1", Create(L"calc", L"b"));
  EXPECT_EQ(L"calc_0", Create(L"calc", L"c"));  // bumped past the wrap
}

TEST_F(PluginCommandTest, CreateFailuresAnswerNull) {
  processor_.OnFSCommand(L"PLUGIN_CREATE|r", L"unknown");
  processor_.OnFSCommand(L"PLUGIN_CREATE", L"unknown");  // no result name: still answered
  processor_.SetPluginSource(nullptr);
  processor_.OnFSCommand(L"PLUGIN_CREATE|r", L"calc");
  EXPECT_EQ((std::vector<std::wstring>{L"NULL", L"NULL", L"NULL"}), holder_.results);
  EXPECT_TRUE(processor_.GetPluginInstanceNames().empty());
  EXPECT_EQ(0, plugins_.log.created);
}

TEST_F(PluginCommandTest, MethodArgumentsArriveLastFirstWithEmptyOnesKept) {
  Create(L"calc", L"obj");
  const struct {
    const wchar_t* command;
    const wchar_t* argument;
    const wchar_t* call;
  } cases[] = {
      {L"PLUGIN_METHOD;obj;res", L"add;1;;3", L"1 add(3||1)"},
      {L"PLUGIN_METHOD;obj;res", L"  go \t", L"1 go()"},  // trimmed, no arguments
      {L"PLUGIN_METHOD;obj;res", L" say; a b ;", L"1 say(| a b )"},
      {L"PLUGIN_METHOD|obj|res", L"add;1;;3", L"1 add;1;;3()"},  // ';' is not this separator
      {L"plugin_method:obj:", L"x:\u00e9", L"1 x(\u00e9)"},
      {L"PLUGIN_METHOD;obj;res", L"", L"1 ()"},
  };
  for (const auto& c : cases) {
    plugins_.log.calls.clear();
    holder_.results.clear();
    processor_.OnFSCommand(c.command, c.argument);
    EXPECT_EQ((std::vector<std::wstring>{c.call}), plugins_.log.calls)
        << vexa::platform::WideToUtf8(c.argument);
    EXPECT_EQ((std::vector<std::wstring>{L"42"}), holder_.results);
  }
}

TEST_F(PluginCommandTest, MethodFailuresAnswerNullWithoutACall) {
  Create(L"calc", L"obj");
  holder_.variables[L"stranger"] = "calc_999";
  const struct {
    const wchar_t* command;
    bool calls;
  } cases[] = {
      {L"PLUGIN_METHOD|missing|r", false},   // no such movie variable
      {L"PLUGIN_METHOD|stranger|r", false},  // no object of that name
      {L"PLUGIN_METHOD|obj", false},         // no second separator
      {L"PLUGIN_METHOD", false},             // exactly its code
      {L"PLUGIN_METHOD|", false},
  };
  for (const auto& c : cases) {
    holder_.results.clear();
    processor_.OnFSCommand(c.command, L"go");
    EXPECT_EQ((std::vector<std::wstring>{L"NULL"}), holder_.results)
        << vexa::platform::WideToUtf8(c.command);
  }
  EXPECT_TRUE(plugins_.log.calls.empty());
  // A failing call answers NULL too.
  plugins_.last->fail = true;
  holder_.results.clear();
  processor_.OnFSCommand(L"PLUGIN_METHOD|obj|r", L"go");
  EXPECT_EQ((std::vector<std::wstring>{L"NULL"}), holder_.results);
  EXPECT_EQ(1u, plugins_.log.calls.size());
}

TEST_F(PluginCommandTest, PropertyReadsTakeTheNameAsGiven) {
  Create(L"echo", L"obj");
  processor_.OnFSCommand(L"PLUGIN_PROPGET|obj|res", L" volume ");
  EXPECT_EQ((std::vector<std::wstring>{L"2  volume ()"}), plugins_.log.calls);
  EXPECT_EQ((std::vector<std::wstring>{L"pong"}), holder_.results);
  EXPECT_EQ((std::vector<std::wstring>{L"res"}), holder_.resultNames);

  // Failures answer the empty text.
  holder_.results.clear();
  plugins_.last->fail = true;
  for (const wchar_t* command : {L"PLUGIN_PROPGET|obj|r", L"PLUGIN_PROPGET|none|r",
                                 L"PLUGIN_PROPGET|obj", L"PLUGIN_PROPGET"}) {
    processor_.OnFSCommand(command, L"volume");
  }
  EXPECT_EQ((std::vector<std::wstring>(4, L"")), holder_.results);
  EXPECT_EQ(2u, plugins_.log.calls.size());
}

TEST_F(PluginCommandTest, AnObjectReleasedDuringItsOwnCallLivesUntilTheCallReturns) {
  Create(L"calc", L"obj");
  plugins_.last->onInvoke = [this] {
    processor_.ReleasePluginObjects();
    processor_.OnFSCommand(L"PLUGIN_CREATE|r", L"echo");  // made and kept meanwhile
  };
  holder_.results.clear();
  processor_.OnFSCommand(L"PLUGIN_METHOD|obj|r", L"go");
  EXPECT_EQ((std::vector<std::wstring>{L"echo_1000", L"42"}), holder_.results);
  EXPECT_EQ(1, plugins_.log.live);  // the calc object went with the call's own reference
  EXPECT_EQ((std::vector<std::string>{"echo_1000"}), processor_.GetPluginInstanceNames());
}

TEST_F(PluginCommandTest, ReleaseAndDestructionDropEveryReference) {
  {
    CFSCommandProcessor other;
    other.SetPluginSource(&plugins_);
    other.SetHolder(&holder_);
    other.OnFSCommand(L"PLUGIN_CREATE|r", L"calc");
    other.OnFSCommand(L"PLUGIN_CREATE|r", L"echo");
    EXPECT_EQ(2, plugins_.log.live);
  }
  EXPECT_EQ(0, plugins_.log.live);

  Create(L"calc", L"a");
  Create(L"echo", L"b");
  processor_.ReleasePluginObjects();
  EXPECT_EQ(0, plugins_.log.live);
  EXPECT_TRUE(processor_.GetPluginInstanceNames().empty());
  holder_.results.clear();
  processor_.OnFSCommand(L"PLUGIN_METHOD|a|r", L"go");
  EXPECT_EQ((std::vector<std::wstring>{L"NULL"}), holder_.results);
  processor_.ReleasePluginObjects();  // nothing left: harmless
}

}  // namespace
