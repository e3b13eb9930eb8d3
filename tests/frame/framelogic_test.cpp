// Close negotiation, focus notices, system commands, accelerator commands and the end of the
// session, as decision tables over the fake host.
#include "player/framelogic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_frame_host.h"

namespace {

using namespace frame_test;
using namespace vexa::player;
using ::testing::TestWithParam;
using ::testing::ValuesIn;
using Log = std::vector<std::string>;

const uintptr_t kFrameBits = reinterpret_cast<uintptr_t>(kFrame);

// ---- Close

struct CloseCase {
  const char* name;
  uintptr_t wparam;
  intptr_t lparam;
  bool holder;
  const char* close_var;     // GAMECLOSEVAR ("" for none)
  const char* close_method;  // GAMECLOSEMETHOD
  const char* movie_value;   // what the movie variable reads, null: the read fails
  CloseDecision decision;
  Log calls;
};

const CloseCase kCloseCases[] = {
    {"QuitCloses",
     kFrameBits,
     static_cast<intptr_t>(kFrameBits),
     true,
     "gameClose",
     "onClose",
     "off",
     CloseDecision::kClose,
     {}},
    {"QuitClosesWithoutHolder",
     kFrameBits,
     static_cast<intptr_t>(kFrameBits),
     false,
     "",
     "",
     nullptr,
     CloseDecision::kClose,
     {}},
    {"HalfAQuitIsAUserClose",
     kFrameBits,
     0,
     true,
     "gameClose",
     "",
     nullptr,
     CloseDecision::kKeepOpen,
     {"read gameClose", "result gameClose on"}},
    {"MovieSaysOn",
     0,
     0,
     true,
     "gameClose",
     "onClose",
     "on",
     CloseDecision::kClose,
     {"read gameClose"}},
    {"MovieSaysOnInCapitals",
     0,
     0,
     true,
     "gameClose",
     "onClose",
     "ON",
     CloseDecision::kClose,
     {"read gameClose"}},
    {"MovieSaysOnMixedCase",
     0,
     0,
     true,
     "gameClose",
     "",
     "oN",
     CloseDecision::kClose,
     {"read gameClose"}},
    {"MovieSaysOff",
     0,
     0,
     true,
     "gameClose",
     "onClose",
     "off",
     CloseDecision::kKeepOpen,
     {"read gameClose", "result gameClose on", "call onClose on"}},
    {"MovieSaysOnWithMore",
     0,
     0,
     true,
     "gameClose",
     "onClose",
     "onx",
     CloseDecision::kKeepOpen,
     {"read gameClose", "result gameClose on", "call onClose on"}},
    {"MovieSaysOnAfterSpace",
     0,
     0,
     true,
     "gameClose",
     "",
     " on",
     CloseDecision::kKeepOpen,
     {"read gameClose", "result gameClose on"}},
    {"MovieSaysNothing",
     0,
     0,
     true,
     "gameClose",
     "",
     "",
     CloseDecision::kKeepOpen,
     {"read gameClose", "result gameClose on"}},
    {"VariableCannotBeRead",
     0,
     0,
     true,
     "gameClose",
     "onClose",
     nullptr,
     CloseDecision::kKeepOpen,
     {"read gameClose", "result gameClose on", "call onClose on"}},
    {"OnlyCloseMethod",
     0,
     0,
     true,
     "",
     "onClose",
     nullptr,
     CloseDecision::kKeepOpen,
     {"call onClose on"}},
    {"NeitherSetting", 0, 0, true, "", "", nullptr, CloseDecision::kKeepOpen, {}},
    {"NoHolder", 0, 0, false, "gameClose", "onClose", "on", CloseDecision::kKeepOpen, {}},
};

class CloseTest : public TestWithParam<CloseCase> {};

TEST_P(CloseTest, Decides) {
  const CloseCase& c = GetParam();
  CFakeFrameHost host;
  host.holder = c.holder;
  host.texts[FrameText::kGameCloseVar] = c.close_var;
  host.texts[FrameText::kGameCloseMethod] = c.close_method;
  if (c.movie_value) host.movie_variables[c.close_var] = c.movie_value;
  CFrameLogic logic(&host);
  EXPECT_EQ(c.decision, logic.OnClose(c.wparam, c.lparam));
  EXPECT_EQ(c.calls, host.log);
}

INSTANTIATE_TEST_SUITE_P(Table, CloseTest, ValuesIn(kCloseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A frame whose handle is null would see Quit in every plain WM_CLOSE (0, 0).
class CNullFrameHost : public CFakeFrameHost {
 public:
  WindowHandle GetFrameHandle() override { return nullptr; }
};

TEST(CloseTest, PlainCloseIsNotQuitWhenTheFrameHandleIsNull) {
  CNullFrameHost host;
  host.holder = false;
  CFrameLogic logic(&host);
  EXPECT_EQ(CloseDecision::kKeepOpen, logic.OnClose(0, 0));
}

// ---- System commands

struct SysCase {
  const char* name;
  uintptr_t command;
  intptr_t lparam;
  bool full_screen;
  bool holder;
  FrameReply reply;
  Log calls;
};

const Log kGameClose = {"result gameClose on", "call onClose on"};
const Log kFocusLost = {"focus 0", "result focus kill", "call onFocus kill"};

const SysCase kSysCases[] = {
    {"MoveFullScreen", kScMove, 0, true, true, FrameReply::kHandled, {}},
    {"MoveWindowed", kScMove, 0, false, true, FrameReply::kDefault, {}},
    // Dragging the caption sends SC_MOVE with a low bit set.
    {"CaptionDragFullScreen", kScMove | 2, 0, true, true, FrameReply::kHandled, {}},
    {"CaptionDragWindowed", kScMove | 2, 0, false, true, FrameReply::kDefault, {}},
    {"CloseFullScreen", kScClose, 0, true, true, FrameReply::kHandled, kGameClose},
    {"CloseWindowed", kScClose, 0, false, true, FrameReply::kHandled, kGameClose},
    {"CloseWithoutHolder", kScClose, 0, false, false, FrameReply::kHandled, {}},
    {"AltAloneWindowed", kScKeyMenu, 0, false, true, FrameReply::kHandled, {}},
    {"AltWithKeyWindowed", kScKeyMenu, ' ', false, true, FrameReply::kDefault, kFocusLost},
    {"AltWithKeyFullScreen", kScKeyMenu, ' ', true, true, FrameReply::kHandled, {}},
    {"AltWithKeyWindowedNoHolder", kScKeyMenu, ' ', false, false, FrameReply::kDefault, {}},
    {"SystemMenuClickWindowed", kScMouseMenu, 0x00100020, false, true, FrameReply::kDefault,
     kFocusLost},
    {"SystemMenuClickFullScreen", kScMouseMenu, 0x00100020, true, true, FrameReply::kHandled, {}},
    {"RestoreFullScreen", kScRestore, 0, true, true, FrameReply::kHandled, {"restore"}},
    {"RestoreWindowed", kScRestore, 0, false, true, FrameReply::kDefault, {}},
    {"ScreenSaverFullScreen", kScScreenSave, 0, true, true, FrameReply::kHandled, {}},
    {"ScreenSaverWindowed", kScScreenSave, 0, false, true, FrameReply::kDefault, {}},
    {"MinimizeFullScreen", kScMinimize, 0, true, true, FrameReply::kDefault, {}},
    {"MinimizeWindowed", kScMinimize, 0, false, true, FrameReply::kDefault, {}},
};

class SysCommandTest : public TestWithParam<SysCase> {};

TEST_P(SysCommandTest, Decides) {
  const SysCase& c = GetParam();
  CFakeFrameHost host;
  host.holder = c.holder;
  host.texts[FrameText::kGameCloseVar] = "gameClose";
  host.texts[FrameText::kGameCloseMethod] = "onClose";
  host.texts[FrameText::kFocusVar] = "focus";
  host.texts[FrameText::kFocusMethod] = "onFocus";
  CFrameLogic logic(&host);
  EXPECT_EQ(c.reply, logic.OnSysCommand(c.command, c.lparam, c.full_screen));
  EXPECT_EQ(c.calls, host.log);
}

INSTANTIATE_TEST_SUITE_P(Table, SysCommandTest, ValuesIn(kSysCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Focus

class FocusTest : public ::testing::Test {
 protected:
  FocusTest() : logic_(&host_) {
    host_.texts[FrameText::kFocusVar] = "focus";
    host_.texts[FrameText::kFocusMethod] = "onFocus";
  }
  CFakeFrameHost host_;
  CFrameLogic logic_;
};

TEST_F(FocusTest, GainTellsHolderResultAndMethod) {
  logic_.OnSetFocus();
  EXPECT_EQ((Log{"focus 1", "result focus set", "call onFocus set"}), host_.log);
}

TEST_F(FocusTest, LossIsToldOnlyWhenTheFocusLeavesTheProcess) {
  logic_.OnKillFocus(kPlugin);  // the movie itself takes it
  logic_.OnKillFocus(kOther);
  EXPECT_TRUE(host_.log.empty());
  logic_.OnKillFocus(kForeign);
  EXPECT_EQ(kFocusLost, host_.TakeLog());
  logic_.OnKillFocus(nullptr);
  EXPECT_EQ(kFocusLost, host_.log);
}

TEST_F(FocusTest, OnlyTheSettingsThatAreSetAreUsed) {
  host_.texts[FrameText::kFocusVar] = "";
  logic_.NotifyFocus(true);
  EXPECT_EQ((Log{"focus 1", "call onFocus set"}), host_.TakeLog());
  host_.texts[FrameText::kFocusVar] = "focus";
  host_.texts[FrameText::kFocusMethod] = "";
  logic_.NotifyFocus(false);
  EXPECT_EQ((Log{"focus 0", "result focus kill"}), host_.log);
}

TEST_F(FocusTest, NothingWithoutHolder) {
  host_.holder = false;
  logic_.OnSetFocus();
  logic_.OnKillFocus(nullptr);
  logic_.OnExitMenuLoop(false);
  logic_.NotifyGameClose();
  EXPECT_TRUE(host_.log.empty());
}

TEST_F(FocusTest, LeavingTheSystemMenuGivesTheFocusBackWhenWindowed) {
  logic_.OnExitMenuLoop(true);
  EXPECT_TRUE(host_.log.empty());
  logic_.OnExitMenuLoop(false);
  EXPECT_EQ((Log{"focus 1", "result focus set", "call onFocus set"}), host_.log);
}

// ---- Accelerator commands and the end of the session

TEST(CommandTest, AltEnterReachesTheMovieAsControlAndCtrlEnterNotAtAll) {
  CFakeFrameHost host;
  CFrameLogic logic(&host);
  const uintptr_t from_accelerator = uintptr_t{1} << 16;
  EXPECT_EQ(FrameReply::kHandled, logic.OnCommand(from_accelerator | kCmdAltEnter, 0));
  EXPECT_EQ(Log{"post plugin 0x100 17 1"}, host.TakeLog());
  EXPECT_EQ(FrameReply::kHandled, logic.OnCommand(from_accelerator | kCmdCtrlEnter, 0));
  EXPECT_TRUE(host.log.empty());
  // Not from an accelerator, or another command: left to the default processing.
  EXPECT_EQ(FrameReply::kDefault, logic.OnCommand(kCmdAltEnter, 0));
  EXPECT_EQ(FrameReply::kDefault, logic.OnCommand(from_accelerator | 0x8005, 0));
  EXPECT_TRUE(host.log.empty());
  // Without a holder there is no plug-in window to tell.
  host.holder = false;
  EXPECT_EQ(FrameReply::kHandled, logic.OnCommand(from_accelerator | kCmdAltEnter, 0));
  EXPECT_TRUE(host.log.empty());
}

TEST(EndSessionTest, MovieIsToldAndRunsOnceMore) {
  CFakeFrameHost host;
  host.texts[FrameText::kGameCloseVar] = "gameClose";
  host.texts[FrameText::kGameCloseMethod] = "onClose";
  CFrameLogic logic(&host);
  EXPECT_EQ(1, logic.OnQueryEndSession());
  EXPECT_EQ((Log{"result gameClose on", "call onClose on", "send plugin 0x113 1 0"}),
            host.TakeLog());

  host.plugin_window = false;
  EXPECT_EQ(1, logic.OnQueryEndSession());
  host.holder = false;
  EXPECT_EQ(1, logic.OnQueryEndSession());
  EXPECT_TRUE(host.log.empty());
}

}  // namespace
