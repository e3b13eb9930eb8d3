// The command table and its dispatch: every code with a good command, a short one, one missing a
// separator, lower case; unknown commands; move-to-front, also when a handler dispatches again;
// failure results of the stores; the volume and wallpaper services.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <string>
#include <vector>

#include "fakes.h"
#include "fscommand/processor.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "support/diagnostics.h"

namespace {

using fscommand_test::CFakeDilator;
using fscommand_test::CFakeHolder;
using fscommand_test::CFakePluginSource;
using fscommand_test::CFakeVolume;
using fscommand_test::CFakeWallpaper;
using Strings = std::vector<std::string>;

std::string Printable(const std::wstring& text) {
  return vexa::platform::WideToUtf8(text);
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    processor_.SetDilator(&dilator_);
    processor_.SetHolder(&holder_);
    processor_.SetVolumeService(&volume_);
    processor_.SetWallpaperService(&wallpaper_);
    processor_.SetPluginSource(&plugins_);
  }

  // Every call the command reached, in order per object: player, volume, wallpaper.
  Strings Calls() const {
    Strings all = dilator_.calls;
    all.insert(all.end(), volume_.calls.begin(), volume_.calls.end());
    all.insert(all.end(), wallpaper_.calls.begin(), wallpaper_.calls.end());
    return all;
  }
  Strings Results() const {
    Strings texts;
    for (const std::wstring& r : holder_.results) texts.push_back(Printable(r));
    return texts;
  }
  void Reset() {
    dilator_.calls.clear();
    volume_.calls.clear();
    wallpaper_.calls.clear();
    holder_.results.clear();
    holder_.resultNames.clear();
  }
  std::vector<std::wstring> Order() const {
    std::vector<std::wstring> codes;
    for (const wchar_t* code : processor_.GetCommandOrder()) codes.push_back(code);
    return codes;
  }

  CFakeDilator dilator_;
  CFakeHolder holder_;
  CFakeVolume volume_;
  CFakeWallpaper wallpaper_;
  CFakePluginSource plugins_;
  CFSCommandProcessor processor_;
};

struct Case {
  const wchar_t* command;
  const wchar_t* argument;
  Strings calls;
  Strings results;
  HRESULT status = S_OK;  // what every player operation answers
};

// clang-format off
const Case kCases[] = {
    // Display and window
    {L"SPCR", L"on", {"SetPreferWide(1)"}, {}},
    {L"spcr", L"TRUE", {"SetPreferWide(1)"}, {}},
    {L"SPCR", L"yes", {"SetPreferWide(0)"}, {}},
    {L"SPCR", L"", {"SetPreferWide(0)"}, {}},
    {L"GPCR", L"r", {"GetPreferWide()"}, {"1"}},
    {L"GPCR", L"r", {"GetPreferWide()"}, {"0"}, E_FAIL},  // starts at 0
    {L"OSFC", L"1", {"SetKeepAspect(1)"}, {}},
    {L"OFSR", L"r", {"GetKeepAspect()"}, {"0"}},
    {L"OFSR", L"r", {"GetKeepAspect()"}, {"1"}, E_FAIL},  // starts at 1
    {L"RLCR", L"", {"ReselectMovieVariant()"}, {}},
    {L"Q", L"", {"Quit()"}, {}},
    {L"quit", L"", {"Quit()"}, {}},
    {L"MIN", L"", {"Minimize()"}, {}},
    {L"SF", L"", {"SetFullScreen(1)"}, {}},
    {L"sf", L"", {"SetFullScreen(1)"}, {}},
    {L"SFX", L"", {"SetFullScreen(1)"}, {}},
    {L"LF", L"", {"SetFullScreen(0)"}, {}},
    {L"GF", L"r", {"GetFullScreen()"}, {"on"}},
    {L"GF", L"r", {"GetFullScreen()"}, {}, E_FAIL},
    {L"SCR", L"r", {"GetMaxDisplayMode()"}, {"1920 1080 32"}},
    {L"SCR", L"r", {"GetMaxDisplayMode()"}, {}, E_FAIL},
    {L"FP,10,20,640,480", L"", {"SetMovieRect(10,20,640,480)"}, {}},
    {L"fp;;;640;480", L"", {"SetMovieRect(0,0,640,480)"}, {}},
    {L"FP,-5,-6,7,8,9", L"", {"SetMovieRect(-5,-6,7,8)"}, {}},
    {L"FP,1x,2,3,4", L"", {"SetMovieRect(1,2,3,4)"}, {}},
    {L"FP", L"", {}, {}},
    {L"FP,", L"", {}, {}},
    {L"FP,1,2,3", L"", {}, {}},
    {L"FP,1,2,-3,4", L"", {}, {}},                          // negative width
    {L"FP,1,2,3,-4", L"", {}, {}},                          // negative height
    {L"FP,2147483000,0,1000,10", L"", {}, {}},              // right edge beyond 32 bits
    {L"FP,0,99999999999999999999,0,1", L"", {}, {}},        // saturates, then overflows
    {L"FP,0,0,99999999999999999999,1", L"", {"SetMovieRect(0,0,2147483647,1)"}, {}},
    // Virtual registry
    {L"SK:level", L"7", {"WriteSharedValue(level,7)"}, {}},
    {L"sk:Level", L"Seven", {"WriteSharedValue(Level,Seven)"}, {}},
    {L"SK", L"7", {}, {}},
    {L"LK:level", L"r", {"ReadSharedValue(level)"}, {"v:level"}},
    {L"LK", L"r", {}, {"unknown"}},
    {L"LK:level", L"r", {"ReadSharedValue(level)"}, {"unknown"}, E_FAIL},
    {L"SUK:level", L"7", {"WriteUserValue(:level,7)"}, {}},
    {L"SUK", L"7", {"WriteUserValue(,7)"}, {}},  // the empty key
    {L"LUKlevel", L"r", {"ReadUserValue(level)"}, {"u:level"}},
    {L"LUK", L"r", {"ReadUserValue()"}, {"u:"}},
    {L"LUK", L"r", {"ReadUserValue()"}, {"unknown"}, E_FAIL},
    {L"luk:x", L"r", {"ReadUserValue(:x)"}, {"unknown"}, E_FAIL},
    // Saves
    {L"ES:set", L"r", {"EnumSaves(set)"}, {"<saves set/>"}},
    {L"ES:s", L"r", {"EnumSaves(s)"}, {"<saves s/>"}},
    {L"ES:", L"r", {}, {}},
    {L"ES", L"r", {}, {}},
    {L"ES:set", L"r", {"EnumSaves(set)"}, {"<empty/>"}, E_FAIL},
    {L"GS:set:2", L"r", {"GetSave(set,2)"}, {"d:set:2"}},
    {L"gs;Set;", L"r", {"GetSave(Set,0)"}, {"d:Set:0"}},
    {L"GS:ab:x9", L"r", {"GetSave(ab,0)"}, {"d:ab:0"}},
    {L"GS:a", L"r", {}, {}},           // shorter than five: not even "error"
    {L"GS", L"r", {}, {}},
    {L"GS:abc", L"r", {}, {"error"}},  // no separator before the slot
    {L"SS:set:3:my desc:x", L"data", {"SetSave(set,3,my desc:x,data)"}, {}},
    {L"SS|set|-2|", L"", {"SetSave(set,-2,,)"}, {}},
    {L"SS:a:1", L"data", {}, {}},
    {L"SS:abcdef", L"data", {}, {}},
    {L"SS:set:34", L"data", {}, {}},
    {L"RS:set:2:", L"", {"RemoveSave(set,2)"}, {}},
    {L"RS:set:-1:", L"", {"RemoveSave(set,-1)"}, {}},
    {L"RS:set:2", L"", {}, {}},  // the separator after the slot is required
    {L"RS:s", L"", {}, {}},
    // High scores
    {L"GHS:tab", L"r", {"GetHighScores(tab)"}, {"<scores tab/>"}},
    {L"GHS:", L"r", {}, {}},
    {L"GHS:tab", L"r", {"GetHighScores(tab)"}, {"<highscores>\n</highscores>"}, E_FAIL},
    {L"SHS:tab:", L"95", {"SetHighScore(10,tab,95)"}, {}},
    {L"SHS:tab:5", L"95", {"SetHighScore(5,tab,95)"}, {}},
    {L"SHS:tabx", L"95", {}, {}},
    {L"SHS:t", L"95", {}, {}},
    {L"IHS:tab::100", L"r", {"IsHighScore(10,tab,100)"}, {"3"}},
    {L"IHS:tab:5:1:2", L"r", {"IsHighScore(5,tab,1:2)"}, {"3"}},
    {L"IHS:tab:5", L"r", {}, {}},
    {L"IHS:t:51", L"r", {}, {}},  // eight characters
    {L"IHS:tab::100", L"r", {"IsHighScore(10,tab,100)"}, {}, E_FAIL},
    {L"SHIP:tab:4", L"s", {"SetHighScoreAt(4,0,tab,s)"}, {}},
    {L"SHIP:tab:4:7", L"s", {"SetHighScoreAt(4,7,tab,s)"}, {}},
    {L"SHIP:ta:", L"s", {"SetHighScoreAt(0,0,ta,s)"}, {}},
    {L"SHIP:tab", L"s", {}, {}},
    {L"SHIP:t", L"s", {}, {}},
    // Files and folders (SEF has its own tests)
    {L"GBD", L"r", {}, {"/game/"}},
    {L"GBD", L"", {}, {}},
    {L"CVURL|server/x", L"r", {}, {"\\\\server/x"}},
    {L"cvurl|Server", L"r", {}, {"\\\\Server"}},
    {L"CVURL|", L"r", {}, {"NULL"}},
    {L"CVURL", L"r", {}, {"NULL"}},
    {L"CVURL|server/x", L"", {}, {}},
    // Input
    {L"SINPUT", L"on", {"SetMouseInput(1)"}, {}},
    {L"sinput", L"Off", {"SetMouseInput(0)"}, {}},
    {L"SINPUT", L"1", {}, {}},
    {L"SARKEYS", L"ON", {"SetKeyRepeat(1)"}, {}},
    {L"SARKEYS", L"off", {"SetKeyRepeat(0)"}, {}},
    {L"SARKEYS", L"true", {}, {}},
    {L"SMP,100,200", L"r", {"SetCursorPosition(100,200)"}, {"0,150"}},
    {L"smp;300;", L"r", {"SetCursorPosition(300,0)"}, {"200;-50"}},
    {L"SMP,100,200", L"", {"SetCursorPosition(100,200)"}, {}},
    {L"SMP,100,200", L"r", {"SetCursorPosition(100,200)"}, {"100,200"}, E_FAIL},
    {L"SMP,100", L"r", {}, {}},
    {L"SMP", L"r", {}, {}},
    {L"GMP;", L"r", {"GetCursorPosition()"}, {"5;7"}},
    {L"GMP|", L"", {"GetCursorPosition()"}, {}},
    {L"GMP", L"r", {}, {}},
    // Status and services
    {L"LS", L"r", {"GetReadyFlag()"}, {"1"}},
    {L"VCSC", L"volume", {"SetReportName(volume)"}, {}},
    {L"VCGV", L"r", {"GetVolume()"}, {"42"}},
    {L"VCGV", L"", {}, {}},
    {L"VCSV", L"55", {"SetVolume(55)"}, {}},
    {L"VCSV", L"", {"SetVolume(0)"}, {}},
    {L"VCSV", L"x", {"SetVolume(0)"}, {}},
    {L"VCGM", L"r", {"GetMute()"}, {"1"}},
    {L"VCGM", L"", {}, {}},
    {L"VCSM", L"true", {"SetMute(1)"}, {}},
    {L"VCSM", L"off", {"SetMute(0)"}, {}},
    {L"SW", L"pics/sky.jpg", {"SetWallpaper(null,pics/sky.jpg)"}, {"C:/Docs/pics/sky.jpg.bmp"}},
    {L"SW", L"", {}, {}},
    // Commands without an entry
    {L"HELLO", L"r", {}, {}},
    {L"", L"r", {}, {}},
    {L" LS", L"r", {}, {}},
    {L"XQ", L"r", {}, {}},
    {L"PLUGIN", L"r", {}, {}},
};
// clang-format on

TEST_F(DispatchTest, EveryCodeWithGoodShortAndBrokenCommands) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(Printable(c.command) + " / " + Printable(c.argument));
    Reset();
    dilator_.status = c.status;
    dilator_.getSaveStatus = c.status;
    EXPECT_EQ(S_OK, processor_.OnFSCommand(c.command, c.argument));
    EXPECT_EQ(c.calls, Calls());
    EXPECT_EQ(c.results, Results());
  }
}

TEST_F(DispatchTest, ResultsCarryTheResultName) {
  processor_.OnFSCommand(L"LS", L"ready");
  processor_.OnFSCommand(L"GS:set:1", L"slot1");
  EXPECT_EQ((std::vector<std::wstring>{L"ready", L"slot1"}), holder_.resultNames);
}

TEST_F(DispatchTest, GetSaveTellsAMissingSaveFromOtherFailures) {
  const struct {
    HRESULT status;
    const char* result;
  } cases[] = {
      {kNoSuchSaveStatus, "empty"}, {E_FAIL, "error"}, {E_NOTIMPL, "error"}, {S_FALSE, "d:set:1"}};
  for (const auto& c : cases) {
    Reset();
    dilator_.getSaveStatus = c.status;
    processor_.OnFSCommand(L"GS:set:1", L"r");
    EXPECT_EQ(Strings{c.result}, Results()) << c.status;
  }
}

TEST_F(DispatchTest, NumbersSaturateAtThirtyTwoBits) {
  const struct {
    const wchar_t* command;
    const char* call;
  } cases[] = {
      {L"GS:s:99999999999999999999", "GetSave(s,2147483647)"},
      {L"GS:s:-99999999999999999999", "GetSave(s,-2147483648)"},
      {L"GS:s:2147483647", "GetSave(s,2147483647)"},
      {L"GS:s:-2147483648", "GetSave(s,-2147483648)"},
      {L"GS:s:2147483648", "GetSave(s,2147483647)"},
      {L"GS:s:  +12abc", "GetSave(s,12)"},
      {L"GS:s:- 5", "GetSave(s,0)"},
      {L"SHS:t:-3000000000", "SetHighScore(-2147483648,t,x)"},
  };
  for (const auto& c : cases) {
    Reset();
    processor_.OnFSCommand(c.command, L"x");
    EXPECT_EQ(Strings{c.call}, dilator_.calls) << Printable(c.command);
  }
}

TEST_F(DispatchTest, ParametersReachTheStoresAsAnsiText) {
  // Non-ASCII parameters keep every character the ANSI code page has (UTF-8 outside Windows).
  processor_.OnFSCommand(L"SK:cl\u00e9", L"\u00e9t\u00e9");
  const std::string key = vexa::platform::WideToAnsi(L"cl\u00e9");
  const std::string value = vexa::platform::WideToAnsi(L"\u00e9t\u00e9");
  EXPECT_EQ(Strings{"WriteSharedValue(" + key + "," + value + ")"}, dilator_.calls);
  // A separator outside ASCII separates as well as any other.
  Reset();
  processor_.OnFSCommand(L"SS\u00a7set\u00a71\u00a7d", L"x");
  EXPECT_EQ(Strings{"SetSave(set,1,d,x)"}, dilator_.calls);
  // Narrow results come back as the same wide text.
  Reset();
  processor_.OnFSCommand(L"LK:cl\u00e9", L"r");
  ASSERT_EQ(1u, holder_.results.size());
  EXPECT_EQ(L"v:cl\u00e9", holder_.results[0]);
}

TEST_F(DispatchTest, ServicesThatAreMissingOrFailAddNothing) {
  volume_.status = E_FAIL;
  wallpaper_.status = E_FAIL;
  for (const wchar_t* command : {L"VCGV", L"VCGM", L"SW"}) processor_.OnFSCommand(command, L"r");
  EXPECT_EQ((Strings{"GetVolume()", "GetMute()", "SetWallpaper(null,r)"}), Calls());
  EXPECT_TRUE(holder_.results.empty());

  // A volume service that has nowhere to report reads nothing.
  Reset();
  volume_.status = S_OK;
  volume_.sink = false;
  processor_.OnFSCommand(L"VCGV", L"r");
  processor_.OnFSCommand(L"VCGM", L"r");
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(holder_.results.empty());

  Reset();
  processor_.SetVolumeService(nullptr);
  processor_.SetWallpaperService(nullptr);
  for (const wchar_t* command : {L"VCSC", L"VCGV", L"VCSV", L"VCGM", L"VCSM", L"SW"}) {
    processor_.OnFSCommand(command, L"1");
  }
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(holder_.results.empty());
}

TEST_F(DispatchTest, WithoutItsObjectsAHandlerDoesNothing) {
  CFSCommandProcessor bare;
  // Every code, with a command that would otherwise be complete. SEF's relative file "a" has no
  // game folder to go to: it is not written into the current folder either.
  vexa::platform::RemoveFile("a");
  for (const wchar_t* code : CFSCommandProcessor::GetCommandTable()) {
    const std::wstring command = std::wstring(code) + L":a:1:2:3:4";
    EXPECT_EQ(S_OK, bare.OnFSCommand(command.c_str(), L"r"));
  }
  EXPECT_FALSE(vexa::platform::PathExists("a"));
  EXPECT_EQ(S_OK, bare.OnFSCommand(nullptr, nullptr));
  EXPECT_EQ(E_NOTIMPL, bare.OnPlayerNotification(1, 2, 3, nullptr));
  // A dilator but no holder: operations run, results have nowhere to go.
  bare.SetDilator(&dilator_);
  bare.OnFSCommand(L"LS", L"r");
  bare.OnFSCommand(L"Q", L"");
  EXPECT_EQ((Strings{"GetReadyFlag()", "Quit()"}), dilator_.calls);
  EXPECT_TRUE(holder_.results.empty());
}

// ---- The table and its order

TEST_F(DispatchTest, TheListStartsInTableOrderAndNoCodeIsAPrefixOfAnother) {
  const std::vector<std::wstring> expected = {L"SPCR",
                                              L"GPCR",
                                              L"OSFC",
                                              L"OFSR",
                                              L"RLCR",
                                              L"CALL",
                                              L"EF",
                                              L"EXEC",
                                              L"Q",
                                              L"MIN",
                                              L"SF",
                                              L"LF",
                                              L"GF",
                                              L"SCR",
                                              L"FP",
                                              L"PLUGIN_CREATE",
                                              L"PLUGIN_METHOD",
                                              L"PLUGIN_PROPGET",
                                              L"SK",
                                              L"LK",
                                              L"SUK",
                                              L"LUK",
                                              L"ES",
                                              L"GS",
                                              L"SS",
                                              L"RS",
                                              L"GHS",
                                              L"SHS",
                                              L"IHS",
                                              L"SHIP",
                                              L"SEF",
                                              L"GBD",
                                              L"CVURL",
                                              L"SINPUT",
                                              L"SARKEYS",
                                              L"SMP",
                                              L"GMP",
                                              L"LS",
                                              L"VCSC",
                                              L"VCGV",
                                              L"VCSV",
                                              L"VCGM",
                                              L"VCSM",
                                              L"SW"};
  EXPECT_EQ(expected, Order());
  for (const std::wstring& a : expected) {
    for (const std::wstring& b : expected) {
      if (a != b) {
        EXPECT_NE(0u, b.rfind(a, 0)) << Printable(a) << " begins " << Printable(b);
      }
    }
  }
}

TEST_F(DispatchTest, TheMatchedCodeMovesToTheHead) {
  processor_.OnFSCommand(L"GMP;", L"r");
  EXPECT_EQ(L"GMP", Order()[0]);
  EXPECT_EQ(L"SPCR", Order()[1]);
  processor_.OnFSCommand(L"sf", L"");
  const std::vector<std::wstring> order = Order();
  EXPECT_EQ((std::vector<std::wstring>{L"SF", L"GMP", L"SPCR"}),
            std::vector<std::wstring>(order.begin(), order.begin() + 3));
  // A command the handler refuses still counts as a use of its code; an unknown one changes
  // nothing.
  processor_.OnFSCommand(L"GS", L"r");
  processor_.OnFSCommand(L"HELLO", L"r");
  EXPECT_EQ(L"GS", Order()[0]);
  EXPECT_EQ(44u, Order().size());
}

TEST_F(DispatchTest, TheDiagnosticLogNamesCommandsWithoutATableEntry) {
  vexa::testing::CDiagnosticsCapture log;
  ASSERT_TRUE(log.on());
  processor_.OnFSCommand(L"HELLO", L"w\u00f6rld");
  processor_.OnFSCommand(L"SF", L"");  // known: not logged
  const std::string text = log.Stop();
  EXPECT_NE(text.find("fscommand: no command begins 'HELLO' (argument 'w\xc3\xb6rld')"),
            std::string::npos)
      << text;
  EXPECT_EQ(text.find("'SF'"), std::string::npos) << text;
}

TEST_F(DispatchTest, AHandlerThatDispatchesAgainLeavesTheListWhole) {
  // SINPUT works off waiting messages: commands run inside it, SINPUT among them.
  int depth = 0;
  dilator_.onMouseInput = [&](int32_t) {
    if (depth++ > 0) return;
    processor_.OnFSCommand(L"LS", L"inner");
    processor_.OnFSCommand(L"SINPUT", L"off");
    processor_.OnFSCommand(L"GMP;", L"inner");
  };
  processor_.OnFSCommand(L"SINPUT", L"on");
  EXPECT_EQ(
      (Strings{"SetMouseInput(1)", "GetReadyFlag()", "SetMouseInput(0)", "GetCursorPosition()"}),
      dilator_.calls);
  EXPECT_EQ((Strings{"1", "5;7"}), Results());
  // Each code once, the last one dispatched at the head.
  const std::vector<std::wstring> order = Order();
  EXPECT_EQ(44u, order.size());
  EXPECT_EQ((std::vector<std::wstring>{L"GMP", L"SINPUT", L"LS"}),
            std::vector<std::wstring>(order.begin(), order.begin() + 3));
  std::vector<std::wstring> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted.end(), std::adjacent_find(sorted.begin(), sorted.end()));
}

TEST_F(DispatchTest, ANestedCommandCannotChangeWhatTheOuterHandlerReads) {
  // The holder runs a command while SMP adds its result; SMP's own texts stay as they were.
  bool once = false;
  holder_.onResult = [&] {
    if (once) return;
    once = true;
    processor_.OnFSCommand(L"SMP,1,2", L"nested");
  };
  processor_.OnFSCommand(L"GMP;", L"outer");
  EXPECT_EQ((Strings{"5;7", "-99,-48"}), Results());
  EXPECT_EQ((std::vector<std::wstring>{L"outer", L"nested"}), holder_.resultNames);
}

}  // namespace
