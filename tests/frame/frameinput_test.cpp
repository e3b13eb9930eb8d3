// The frame's message filter: keyboard, character and mouse decisions, hover tracking, capture,
// event reports to the movie, and the queue drain of SetMouseInput.
#include "player/frameinput.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "fake_frame_host.h"

namespace {

using namespace frame_test;
using namespace vexa::player;
using ::testing::TestWithParam;
using ::testing::ValuesIn;

using Log = std::vector<std::string>;

WindowMessage Msg(WindowHandle window, uint32_t message, uintptr_t wparam = 0,
                  intptr_t lparam = 0) {
  WindowMessage m;
  m.window = window;
  m.message = message;
  m.wParam = wparam;
  m.lParam = lparam;
  return m;
}

constexpr intptr_t kRepeatBit = intptr_t{1} << 30;

// ---- Keyboard and characters: one table, each row a message and the settings it meets.

struct KeyCase {
  const char* name;
  uint32_t message;
  uintptr_t wparam;
  intptr_t lparam;
  bool key_repeat;
  uint32_t lower;
  uint32_t upper;
  bool holder;
  bool consumed;
  // Whether the holder was offered the message.
  bool pretranslated;
};

const KeyCase kKeyCases[] = {
    {"RepeatedKeyDownWhileRepeatOff", kMsgKeyDown, 'A', kRepeatBit | 1, false, 32, 126, true, true,
     false},
    {"RepeatedKeyDownWhileRepeatOn", kMsgKeyDown, 'A', kRepeatBit | 1, true, 32, 126, true, false,
     true},
    {"FirstKeyDownWhileRepeatOff", kMsgKeyDown, 'A', 1, false, 32, 126, true, false, true},
    // Key-ups always have bit 30 set; only key-downs are repeats.
    {"KeyUpWhileRepeatOff", kMsgKeyUp, 'A', kRepeatBit | 1, false, 32, 126, true, false, true},
    {"RepeatedSysKeyDownWhileRepeatOff", kMsgSysKeyDown, 'A', kRepeatBit | 1, false, 32, 126, true,
     false, true},
    {"AppsKeyDown", kMsgKeyDown, kVkApps, 1, true, 32, 126, true, true, false},
    {"AppsKeyUp", kMsgKeyUp, kVkApps, 1, true, 32, 126, true, true, false},
    {"AppsSysKeyDown", kMsgSysKeyDown, kVkApps, 1, true, 32, 126, true, true, false},
    {"AppsSysKeyUp", kMsgSysKeyUp, kVkApps, 1, true, 32, 126, true, true, false},
    // 0x5D as a character is ']', not the context-menu key.
    {"CharWithTheAppsKeyCode", kMsgChar, 0x5D, 1, true, 32, 126, true, false, true},
    {"TabRefused", kMsgChar, 9, 1, true, 32, 126, true, true, false},
    {"BelowLowerBound", kMsgChar, 31, 1, true, 32, 126, true, true, false},
    {"LowerBoundPasses", kMsgChar, 32, 1, true, 32, 126, true, false, true},
    {"UpperBoundPasses", kMsgChar, 126, 1, true, 32, 126, true, false, true},
    {"AboveUpperBound", kMsgChar, 127, 1, true, 32, 126, true, true, false},
    {"AccentedCharRefusedByDefault", kMsgChar, 0xE9, 1, true, 32, 126, true, true, false},
    {"AccentedCharPassesUnderUpper255", kMsgChar, 0xE9, 1, true, 32, 255, true, false, true},
    {"Upper255Included", kMsgChar, 255, 1, true, 32, 255, true, false, true},
    {"AboveUpper255", kMsgChar, 256, 1, true, 32, 255, true, true, false},
    // A bound of -1 in the script is 0xFFFFFFFF: as a lower bound it refuses every character, as
    // an upper bound it refuses none.
    {"NegativeLowerBoundRefusesAll", kMsgChar, 'a', 1, true, 0xFFFFFFFFu, 126, true, true, false},
    {"NegativeUpperBoundAcceptsAll", kMsgChar, 0xFFFF, 1, true, 32, 0xFFFFFFFFu, true, false, true},
    {"WithoutHolderNotPretranslated", kMsgKeyDown, 'A', 1, true, 32, 126, false, false, false},
    {"WithoutHolderCharStillFiltered", kMsgChar, 9, 1, true, 32, 126, false, true, false},
};

class KeyFilterTest : public TestWithParam<KeyCase> {};

TEST_P(KeyFilterTest, Decides) {
  const KeyCase& c = GetParam();
  CFakeFrameHost host;
  host.key_repeat = c.key_repeat;
  host.lower = c.lower;
  host.upper = c.upper;
  host.holder = c.holder;
  CFrameInputFilter filter(&host);
  WindowMessage m = Msg(kPlugin, c.message, c.wparam, c.lparam);
  EXPECT_EQ(c.consumed, filter.Filter(&m));
  Log expected;
  if (c.pretranslated) expected.push_back("pretranslate plugin " + Hex(c.message));
  EXPECT_EQ(expected, host.log);
  // Keyboard messages are never retargeted or rewritten.
  EXPECT_EQ(kPlugin, m.window);
  EXPECT_EQ(c.message, m.message);
  EXPECT_EQ(c.wparam, m.wParam);
}

INSTANTIATE_TEST_SUITE_P(Table, KeyFilterTest, ValuesIn(kKeyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameFilterTest, HolderThatHandlesTheMessageConsumesIt) {
  CFakeFrameHost host;
  host.pretranslate_result = true;
  CFrameInputFilter filter(&host);
  WindowMessage m = Msg(kPlugin, kMsgKeyDown, 'A', 1);
  EXPECT_TRUE(filter.Filter(&m));
  EXPECT_EQ(Log{"pretranslate plugin 0x100"}, host.log);
}

TEST(FrameFilterTest, AcceleratorConsumesBeforeTheHolderSeesIt) {
  CFakeFrameHost host;
  host.accelerator_keys = {kVkReturn};
  CFrameInputFilter filter(&host);
  WindowMessage m = Msg(kFrame, kMsgKeyDown, kVkReturn, 1);
  EXPECT_TRUE(filter.Filter(&m));
  EXPECT_EQ(Log{"accelerator 13"}, host.log);
}

TEST(FrameFilterTest, RepeatedAcceleratorKeyIsDroppedBeforeTranslation) {
  CFakeFrameHost host;
  host.accelerator_keys = {kVkReturn};
  host.key_repeat = false;
  CFrameInputFilter filter(&host);
  WindowMessage m = Msg(kFrame, kMsgKeyDown, kVkReturn, kRepeatBit | 1);
  EXPECT_TRUE(filter.Filter(&m));
  EXPECT_TRUE(host.log.empty());
}

TEST(FrameFilterTest, NullMessageIsLeftAlone) {
  CFakeFrameHost host;
  CFrameInputFilter filter(&host);
  EXPECT_FALSE(filter.Filter(nullptr));
  EXPECT_TRUE(host.log.empty());
}

// ---- Mouse

TEST(MouseFilterTest, InputOffConsumesEveryMouseMessageButTimers) {
  const uint32_t mouse[] = {kMsgMouseMove,     kMsgLButtonDown, kMsgLButtonUp,  kMsgRButtonDown,
                            kMsgRButtonDblClk, kMsgMButtonUp,   kMsgMouseWheel, kMsgXButtonDown,
                            kMsgMouseHWheel,   kMsgMouseHover,  kMsgMouseLeave};
  for (bool holder : {true, false}) {
    for (uint32_t message : mouse) {
      SCOPED_TRACE(Hex(message) + (holder ? " with holder" : " without holder"));
      CFakeFrameHost host;
      host.holder = holder;
      host.mouse_input = false;
      host.texts[FrameText::kMouseEventMethod] = "onMouse";
      CFrameInputFilter filter(&host);
      WindowMessage m = Msg(kFrame, message, 0, MakePointParam(30, 20));
      EXPECT_TRUE(filter.Filter(&m));
      EXPECT_TRUE(host.log.empty());
    }
  }
  // Timers still run (script timers, the hover timer) while the mouse is off.
  CFakeFrameHost host;
  host.mouse_input = false;
  host.cursor_x = 5;  // outside the plug-in window
  host.capture = kFrame;
  CFrameInputFilter filter(&host);
  WindowMessage timer = Msg(kFrame, kMsgTimer, kHoverTimerId);
  EXPECT_FALSE(filter.Filter(&timer));
  EXPECT_EQ((Log{"release", "stop 111", "post frame 0x2a3 0 0", "pretranslate frame 0x113"}),
            host.log);
}

TEST(MouseFilterTest, WithoutHolderMouseGoesOnUntouchedButRightBecomesMiddle) {
  CFakeFrameHost host;
  host.holder = false;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  CFrameInputFilter filter(&host);

  WindowMessage down = Msg(kFrame, kMsgLButtonDown, 1, MakePointParam(30, 20));
  EXPECT_FALSE(filter.Filter(&down));
  EXPECT_EQ(kFrame, down.window);
  EXPECT_EQ(MakePointParam(30, 20), down.lParam);

  WindowMessage right = Msg(kFrame, kMsgRButtonUp, 0, MakePointParam(30, 20));
  EXPECT_FALSE(filter.Filter(&right));
  EXPECT_EQ(kMsgMButtonUp, right.message);
  EXPECT_EQ(kFrame, right.window);
  EXPECT_TRUE(host.log.empty());
}

TEST(MouseFilterTest, HolderWithoutPluginWindowLeavesMouseAlone) {
  CFakeFrameHost host;
  host.plugin_window = false;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  CFrameInputFilter filter(&host);
  WindowMessage down = Msg(kFrame, kMsgLButtonDown, 1, MakePointParam(30, 20));
  EXPECT_FALSE(filter.Filter(&down));
  EXPECT_EQ(kFrame, down.window);
  EXPECT_EQ(Log{"pretranslate frame 0x201"}, host.log);
}

// Every message with an event code, arriving for the plug-in window at (15, -3).
struct CodeCase {
  uint32_t arrived;
  uint32_t delivered;
  const char* report;  // null: nothing reported
};

const CodeCase kCodeCases[] = {
    {kMsgLButtonDown, kMsgLButtonDown, "0 15 -3"},
    {kMsgLButtonUp, kMsgLButtonUp, "1 15 -3"},
    {kMsgRButtonDown, kMsgMButtonDown, "2 15 -3"},
    {kMsgRButtonUp, kMsgMButtonUp, "3 15 -3"},
    {kMsgLButtonDblClk, kMsgLButtonDblClk, "4 15 -3"},
    {kMsgRButtonDblClk, kMsgMButtonDblClk, "6 15 -3"},
    {kMsgMButtonDblClk, kMsgMButtonDblClk, "7 15 -3"},
    {kMsgMButtonDown, kMsgMButtonDown, "8 15 -3"},
    {kMsgMButtonUp, kMsgMButtonUp, "9 15 -3"},
    // Hover and leave are reported at 0 0 whatever their parameters say.
    {kMsgMouseHover, kMsgMouseHover, "10 0 0"},
    {kMsgMouseLeave, kMsgMouseLeave, "11 0 0"},
    {kMsgMouseWheel, kMsgMouseWheel, nullptr},
    {kMsgMouseHWheel, kMsgMouseHWheel, nullptr},
    {kMsgXButtonDown, kMsgXButtonDown, nullptr},
    {kMsgXButtonUp, kMsgXButtonUp, nullptr},
    {kMsgXButtonDblClk, kMsgXButtonDblClk, nullptr},
};

class MouseCodeTest : public TestWithParam<CodeCase> {};

TEST_P(MouseCodeTest, ReportsTheCodeOfTheArrivingButtonAndDeliversTheMiddleOne) {
  const CodeCase& c = GetParam();
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  host.capture = kOther;  // neither capture nor release for anything but the left button
  CFrameInputFilter filter(&host);
  WindowMessage m = Msg(kPlugin, c.arrived, 0, MakePointParam(15, -3));
  EXPECT_FALSE(filter.Filter(&m));
  EXPECT_EQ(c.delivered, m.message);
  EXPECT_EQ(kPlugin, m.window);
  EXPECT_EQ(MakePointParam(15, -3), m.lParam);

  Log expected;
  // Both left presses capture: a double click's second press is a press.
  if (c.arrived == kMsgLButtonDown || c.arrived == kMsgLButtonDblClk) {
    expected.push_back("capture frame");
  }
  if (c.report) expected.push_back(std::string("call onMouse ") + c.report);
  expected.push_back("pretranslate plugin " + Hex(c.delivered));
  EXPECT_EQ(expected, host.log);
}

INSTANTIATE_TEST_SUITE_P(Table, MouseCodeTest, ValuesIn(kCodeCases),
                         [](const auto& info) { return "Message" + Hex(info.param.arrived); });

TEST(MouseFilterTest, WithoutMouseEventMethodNothingIsReported) {
  CFakeFrameHost host;
  CFrameInputFilter filter(&host);
  WindowMessage m = Msg(kPlugin, kMsgRButtonDown, 0, MakePointParam(15, 3));
  EXPECT_FALSE(filter.Filter(&m));
  EXPECT_EQ(kMsgMButtonDown, m.message);
  EXPECT_EQ(Log{"pretranslate plugin 0x207"}, host.log);
}

TEST(MouseFilterTest, RightClickArrivesAsMiddleClickWithCodesTwoAndThree) {
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  CFrameInputFilter filter(&host);
  WindowMessage down = Msg(kPlugin, kMsgRButtonDown, 0, MakePointParam(40, 50));
  WindowMessage up = Msg(kPlugin, kMsgRButtonUp, 0, MakePointParam(41, 50));
  EXPECT_FALSE(filter.Filter(&down));
  EXPECT_FALSE(filter.Filter(&up));
  EXPECT_EQ(kMsgMButtonDown, down.message);
  EXPECT_EQ(kMsgMButtonUp, up.message);
  EXPECT_EQ((Log{"call onMouse 2 40 50", "pretranslate plugin 0x207", "call onMouse 3 41 50",
                 "pretranslate plugin 0x208"}),
            host.log);
}

TEST(MouseFilterTest, CoordinatesAreSignedSixteenBit) {
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "m";
  CFrameInputFilter filter(&host);
  // What MAKELPARAM makes of (-1, -32768), and garbage above the low 32 bits.
  WindowMessage m = Msg(kPlugin, kMsgMButtonDown, 0,
                        static_cast<intptr_t>(uintptr_t{0x8000FFFFu} | (uintptr_t{1} << 31)));
  EXPECT_FALSE(filter.Filter(&m));
  EXPECT_EQ("call m 8 -1 -32768", host.log.at(0));
}

TEST(MouseFilterTest, LeftButtonCapturesOnceAndReleasesOnlyItsOwnCapture) {
  CFakeFrameHost host;
  CFrameInputFilter filter(&host);
  WindowMessage down = Msg(kPlugin, kMsgLButtonDown, 1, MakePointParam(1, 1));
  filter.Filter(&down);
  EXPECT_EQ(kFrame, host.capture);
  WindowMessage again = Msg(kPlugin, kMsgLButtonDown, 1, MakePointParam(1, 1));
  filter.Filter(&again);
  WindowMessage up = Msg(kFrame, kMsgLButtonUp, 0, MakePointParam(30, 20));
  filter.Filter(&up);
  EXPECT_EQ(nullptr, host.capture);
  EXPECT_EQ((Log{"capture frame", "pretranslate plugin 0x201", "pretranslate plugin 0x201",
                 "release", "pretranslate plugin 0x202"}),
            host.log);

  // Another window's capture is not the frame's to release.
  host.TakeLog();
  host.capture = kOther;
  WindowMessage foreign_up = Msg(kPlugin, kMsgLButtonUp, 0, MakePointParam(1, 1));
  filter.Filter(&foreign_up);
  EXPECT_EQ(kOther, host.capture);
  EXPECT_EQ(Log{"pretranslate plugin 0x202"}, host.log);
}

TEST(MouseFilterTest, MessageForTheFrameMovesToThePluginWindowWithItsPoint) {
  // Under the frame's capture the button-up of a click arrives for the frame, in the frame's
  // client coordinates: frame (30, 20) is screen (130, 70), which is plug-in (10, 10).
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  host.capture = kFrame;
  CFrameInputFilter filter(&host);
  WindowMessage up = Msg(kFrame, kMsgLButtonUp, 0, MakePointParam(30, 20));
  EXPECT_FALSE(filter.Filter(&up));
  EXPECT_EQ(kPlugin, up.window);
  EXPECT_EQ(MakePointParam(10, 10), up.lParam);
  EXPECT_EQ((Log{"release", "call onMouse 1 10 10", "pretranslate plugin 0x202"}), host.log);

  // Left of the plug-in window the point becomes negative.
  host.TakeLog();
  WindowMessage right = Msg(kFrame, kMsgRButtonDown, 0, MakePointParam(5, 20));
  filter.Filter(&right);
  EXPECT_EQ(MakePointParam(-15, 10), right.lParam);
  EXPECT_EQ("call onMouse 2 -15 10", host.log.at(0));
}

TEST(MouseFilterTest, WheelKeepsItsScreenPointWhenRetargeted) {
  CFakeFrameHost host;
  CFrameInputFilter filter(&host);
  WindowMessage wheel = Msg(kFrame, kMsgMouseWheel, 120 << 16, MakePointParam(400, 300));
  EXPECT_FALSE(filter.Filter(&wheel));
  EXPECT_EQ(kPlugin, wheel.window);
  EXPECT_EQ(MakePointParam(400, 300), wheel.lParam);
}

TEST(MouseFilterTest, MoveInsideStartsTheHoverTimerAndMoveOutsideLeaves) {
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  CFrameInputFilter filter(&host);

  WindowMessage inside = Msg(kPlugin, kMsgMouseMove, 0, MakePointParam(0, 0));
  EXPECT_FALSE(filter.Filter(&inside));
  WindowMessage last_pixel = Msg(kPlugin, kMsgMouseMove, 0, MakePointParam(639, 479));
  EXPECT_FALSE(filter.Filter(&last_pixel));
  EXPECT_EQ((Log{"start 111 500", "pretranslate plugin 0x200", "start 111 500",
                 "pretranslate plugin 0x200"}),
            host.TakeLog());

  // One past the right edge, and a point on the frame above the movie (frame (50, 5)).
  WindowMessage past_edge = Msg(kPlugin, kMsgMouseMove, 0, MakePointParam(640, 10));
  EXPECT_FALSE(filter.Filter(&past_edge));
  WindowMessage on_frame = Msg(kFrame, kMsgMouseMove, 0, MakePointParam(50, 5));
  EXPECT_FALSE(filter.Filter(&on_frame));
  EXPECT_EQ(kPlugin, on_frame.window);
  EXPECT_EQ((Log{"stop 111", "post frame 0x2a3 0 0", "pretranslate plugin 0x200", "stop 111",
                 "post frame 0x2a3 0 0", "pretranslate plugin 0x200"}),
            host.log);
}

TEST(MouseFilterTest, HoverTimerPostsHoverWhileInsideAndLeaveOnceOutside) {
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  CFrameInputFilter filter(&host);

  host.cursor_x = 120;
  host.cursor_y = 60;
  WindowMessage tick = Msg(kFrame, kMsgTimer, kHoverTimerId);
  EXPECT_FALSE(filter.Filter(&tick));
  EXPECT_EQ(kFrame, tick.window);  // timers are not retargeted
  EXPECT_EQ((Log{"post plugin 0x2a1 0 0", "pretranslate frame 0x113"}), host.TakeLog());

  // Outside while the frame holds the capture (a drag that left the movie).
  host.cursor_x = 760;
  host.capture = kFrame;
  WindowMessage out = Msg(kFrame, kMsgTimer, kHoverTimerId);
  EXPECT_FALSE(filter.Filter(&out));
  EXPECT_EQ((Log{"release", "stop 111", "post frame 0x2a3 0 0", "pretranslate frame 0x113"}),
            host.TakeLog());

  // The posted hover and leave reach the movie as codes 10 and 11.
  WindowMessage hover = Msg(kPlugin, kMsgMouseHover, 0, 0);
  EXPECT_FALSE(filter.Filter(&hover));
  WindowMessage leave = Msg(kFrame, kMsgMouseLeave, 0, 0);
  EXPECT_FALSE(filter.Filter(&leave));
  EXPECT_EQ(kPlugin, leave.window);
  EXPECT_EQ((Log{"call onMouse 10 0 0", "pretranslate plugin 0x2a1", "call onMouse 11 0 0",
                 "pretranslate plugin 0x2a3"}),
            host.log);
}

TEST(MouseFilterTest, OtherTimersAndThePluginsOwnTimer111AreNotHoverTicks) {
  CFakeFrameHost host;
  host.cursor_x = 5;
  CFrameInputFilter filter(&host);
  WindowMessage script_timer = Msg(kFrame, kMsgTimer, 65537);
  EXPECT_FALSE(filter.Filter(&script_timer));
  WindowMessage plugin_timer = Msg(kPlugin, kMsgTimer, kHoverTimerId);
  EXPECT_FALSE(filter.Filter(&plugin_timer));
  EXPECT_EQ((Log{"pretranslate frame 0x113", "pretranslate plugin 0x113"}), host.log);
}

TEST(MouseFilterTest, MovieCallbackMayReenterTheFilter) {
  CFakeFrameHost host;
  host.texts[FrameText::kMouseEventMethod] = "onMouse";
  CFrameInputFilter filter(&host);
  int depth = 0;
  host.on_call = [&] {
    if (++depth > 1) return;
    WindowMessage nested = Msg(kPlugin, kMsgLButtonUp, 0, MakePointParam(2, 2));
    filter.Filter(&nested);
  };
  WindowMessage down = Msg(kPlugin, kMsgRButtonDown, 0, MakePointParam(1, 1));
  EXPECT_FALSE(filter.Filter(&down));
  EXPECT_EQ(kMsgMButtonDown, down.message);
  EXPECT_EQ((Log{"call onMouse 2 1 1", "call onMouse 1 2 2", "pretranslate plugin 0x202",
                 "pretranslate plugin 0x207"}),
            host.log);
}

TEST(MouseFilterTest, EventCodesAndButtonMapping) {
  EXPECT_EQ(nullptr, MouseEventCode(kMsgMouseMove));
  EXPECT_EQ(nullptr, MouseEventCode(kMsgTimer));
  EXPECT_EQ(nullptr, MouseEventCode(kMsgKeyDown));
  EXPECT_EQ(kMsgMButtonDblClk, RightToMiddleButton(kMsgRButtonDblClk));
  EXPECT_EQ(kMsgLButtonDown, RightToMiddleButton(kMsgLButtonDown));
  EXPECT_EQ(-1, PointX(MakePointParam(-1, 7)));
  EXPECT_EQ(7, PointY(MakePointParam(-1, 7)));
  EXPECT_EQ(intptr_t{0x7FFF8000}, MakePointParam(-32768, 32767));
}

// ---- SetMouseInput and the queue drain

// A message queue of this thread: FIFO, with a clock that stamps what is posted.
class CFakePump : public IMessagePump {
 public:
  explicit CFakePump(CFrameInputFilter* filter) : filter_(filter) {}

  std::deque<WindowMessage> queue;
  uint32_t clock = 1000;
  std::vector<std::string> dispatched;
  // Runs for every dispatched message (handlers that post, re-enter, ...).
  std::function<void(const WindowMessage&)> on_dispatch;

  void Post(WindowHandle window, uint32_t message, uintptr_t wparam = 0, intptr_t lparam = 0) {
    WindowMessage m = Msg(window, message, wparam, lparam);
    m.time = clock;
    queue.push_back(m);
  }

  bool PeekNext(WindowMessage* message) override {
    if (queue.empty()) return false;
    *message = queue.front();
    return true;
  }
  bool RemoveNext(const WindowMessage& peeked, WindowMessage* removed) override {
    if (queue.empty()) return false;
    *removed = queue.front();
    queue.pop_front();
    return true;
  }
  bool FilterMessage(WindowMessage* message) override { return filter_->Filter(message); }
  void TranslateAndDispatch(const WindowMessage& message) override {
    dispatched.push_back(Name(message.window) + " " + Hex(message.message) + " " +
                         std::to_string(message.lParam));
    if (on_dispatch) on_dispatch(message);
  }
  uint32_t GetMessageClock() override { return clock; }

 private:
  CFrameInputFilter* filter_;
};

class MouseInputTest : public ::testing::Test {
 protected:
  MouseInputTest() : filter_(&host_), pump_(&filter_) {
    host_.mouse_input = false;
    host_.cursor_x = 130;  // plug-in (10, 20)
    host_.cursor_y = 80;
  }

  CFakeFrameHost host_;
  CFrameInputFilter filter_;
  CFakePump pump_;
};

TEST_F(MouseInputTest, TurningOnDropsQueuedMouseInputThenTellsThePluginWhereTheCursorIs) {
  pump_.Post(kPlugin, kMsgLButtonDown, 1, MakePointParam(5, 5));
  pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  pump_.Post(kPlugin, kMsgLButtonUp, 0, MakePointParam(5, 5));
  pump_.Post(kOther, kMsgClose);  // not the frame's: handled like any other message

  EXPECT_EQ(0, filter_.SetMouseInput(true, &pump_));
  EXPECT_TRUE(pump_.queue.empty());
  EXPECT_EQ((Log{"plugin 0x100 1", "other 0x10 0",
                 "plugin 0x200 " + std::to_string(MakePointParam(10, 20))}),
            pump_.dispatched);
  EXPECT_TRUE(host_.mouse_input);
  EXPECT_EQ((Log{"pretranslate plugin 0x100", "pretranslate other 0x10", "mouse input on"}),
            host_.log);
}

TEST_F(MouseInputTest, QuitForAnyWindowStopsTheDrainAndStaysQueued) {
  pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  pump_.Post(nullptr, kMsgQuit, 1);  // PostQuitMessage: a thread message without a window
  pump_.Post(kPlugin, kMsgKeyDown, 'B', 1);

  EXPECT_EQ(1, filter_.SetMouseInput(true, &pump_));
  ASSERT_EQ(2u, pump_.queue.size());
  EXPECT_EQ(kMsgQuit, pump_.queue.front().message);
  // No cursor move after a quit request: the drain did not finish.
  EXPECT_EQ(Log{"plugin 0x100 1"}, pump_.dispatched);
  EXPECT_TRUE(host_.mouse_input);
}

TEST_F(MouseInputTest, CloseAndDestroyForTheFrameStopTheDrain) {
  for (uint32_t message : {kMsgClose, kMsgDestroy}) {
    SCOPED_TRACE(Hex(message));
    CFakeFrameHost host;
    host.mouse_input = false;
    CFrameInputFilter filter(&host);
    CFakePump pump(&filter);
    pump.Post(kFrame, message);
    EXPECT_EQ(1, filter.SetMouseInput(true, &pump));
    EXPECT_EQ(1u, pump.queue.size());
    EXPECT_TRUE(pump.dispatched.empty());
  }
}

TEST_F(MouseInputTest, MessagesQueuedDuringTheDrainAreLeftForTheLoop) {
  // Each dispatched key posts another one a tick later, as a busy window does.
  pump_.on_dispatch = [&](const WindowMessage& m) {
    if (m.message != kMsgKeyDown) return;
    ++pump_.clock;
    pump_.Post(kPlugin, kMsgKeyDown, m.wParam + 1, 1);
  };
  pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  pump_.Post(kPlugin, kMsgKeyDown, 'K', 1);

  EXPECT_EQ(0, filter_.SetMouseInput(true, &pump_));
  // 'A' and 'K' were waiting; 'B' and 'L' came later and stay queued.
  ASSERT_EQ(2u, pump_.queue.size());
  EXPECT_EQ(uintptr_t{'B'}, pump_.queue[0].wParam);
  EXPECT_EQ(uintptr_t{'L'}, pump_.queue[1].wParam);
  EXPECT_EQ(3u, pump_.dispatched.size());  // two keys and the cursor move
  EXPECT_TRUE(host_.mouse_input);
}

TEST_F(MouseInputTest, DrainEndsAtItsLimitWhenMessagesKeepComingWithinOneTick) {
  pump_.on_dispatch = [&](const WindowMessage& m) {
    if (m.message == kMsgKeyDown) pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  };
  pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  EXPECT_EQ(0, filter_.SetMouseInput(true, &pump_));
  EXPECT_EQ(kMaxDrainedMessages + 1, pump_.dispatched.size());  // the keys, then the cursor move
  EXPECT_EQ(1u, pump_.queue.size());
  EXPECT_TRUE(host_.mouse_input);
}

TEST_F(MouseInputTest, ClockWrapStillTellsOldFromNew) {
  pump_.clock = 0xFFFFFFF0u;
  pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  pump_.clock = 0x00000005u;
  pump_.Post(kPlugin, kMsgKeyDown, 'B', 1);
  pump_.clock = 0xFFFFFFF8u;
  EXPECT_EQ(DrainEnd::kNewer, DrainMessageQueue(&pump_, kFrame, 100));
  EXPECT_EQ(Log{"plugin 0x100 1"}, pump_.dispatched);
  EXPECT_EQ(1u, pump_.queue.size());
}

TEST_F(MouseInputTest, NestedCallReturnsAtOnceAndChangesNothing) {
  int32_t nested = -1;
  pump_.on_dispatch = [&](const WindowMessage& m) {
    if (m.message != kMsgKeyDown) return;
    EXPECT_TRUE(filter_.IsSettingMouseInput());
    // A command handler run by the drain turns the mouse off again: ignored.
    nested = filter_.SetMouseInput(false, &pump_);
  };
  pump_.Post(kPlugin, kMsgKeyDown, 'A', 1);
  EXPECT_EQ(0, filter_.SetMouseInput(true, &pump_));
  EXPECT_EQ(0, nested);
  EXPECT_FALSE(filter_.IsSettingMouseInput());
  EXPECT_TRUE(host_.mouse_input);
  EXPECT_EQ((Log{"pretranslate plugin 0x100", "mouse input on"}), host_.log);
}

TEST_F(MouseInputTest, NoDrainUnlessTurningOnFromOff) {
  pump_.Post(kPlugin, kMsgLButtonDown, 1, MakePointParam(5, 5));
  EXPECT_EQ(0, filter_.SetMouseInput(false, &pump_));  // off to off
  host_.mouse_input = true;
  EXPECT_EQ(0, filter_.SetMouseInput(true, &pump_));   // on to on
  EXPECT_EQ(0, filter_.SetMouseInput(false, &pump_));  // on to off
  EXPECT_EQ(1u, pump_.queue.size());
  EXPECT_TRUE(pump_.dispatched.empty());
  EXPECT_FALSE(host_.mouse_input);
  EXPECT_EQ((Log{"mouse input off", "mouse input on", "mouse input off"}), host_.log);
}

TEST_F(MouseInputTest, WithoutPluginWindowNoCursorMoveIsSent) {
  host_.plugin_window = false;
  EXPECT_EQ(0, filter_.SetMouseInput(true, &pump_));
  EXPECT_TRUE(pump_.dispatched.empty());
  EXPECT_TRUE(host_.mouse_input);
}

}  // namespace
