// The holder's instance, window, movie and variable operations against the stand-in plug-in.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "flashhost/bridge.h"
#include "flashhost/jrienv.h"
#include "platform/window.h"
#include "support.h"
#include "support/window.h"

namespace {

using vexa::platform::WindowHandle;
using vexa::platform::WindowRect;
using vexa::testing::Rect;

// A hidden top-level window standing in for the main frame.
class CFrameWindow {
 public:
  CFrameWindow()
      : handle_(vexa::platform::CreateHostWindow("frame", Rect(50, 50, 690, 530), false)) {}
  ~CFrameWindow() { vexa::platform::DestroyHostWindow(handle_); }
  WindowHandle get() const { return handle_; }
  WindowRect Client() const {
    WindowRect client;
    vexa::platform::GetWindowClientRect(handle_, &client);
    return client;
  }

 private:
  WindowHandle handle_;
};

#define REQUIRE_FRAME(frame)                                                       \
  do {                                                                             \
    if (!(frame).get()) GTEST_SKIP() << "no window system to create windows with"; \
  } while (0)

TEST_F(HolderTest, SetMovieSizeCreatesTheInstanceOnceWithTheEmbedArguments) {
  transcript_.Take();
  EXPECT_EQ(S_OK, holder_.SetMovieSize(640, 480));
  std::vector<TranscriptEvent> events = transcript_.Take();
  const std::vector<TranscriptEvent> created = Named(events, "NPP_New");
  ASSERT_EQ(1u, created.size());
  const TranscriptEvent& e = created[0];
  EXPECT_EQ("application/x-shockwave-flash", e.Get("mime"));
  EXPECT_EQ("1", e.Get("mode"));
  EXPECT_EQ("9", e.Get("argc"));
  const char* names[] = {"quality", "width", "height", "name", "type", "src", "FlashVars"};
  const char* values[] = {
      "high", "640", "480", "FlashPlayer", "application/x-shockwave-flash", "", "player=vexapl"};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(names[i], e.Get("argn" + std::to_string(i)));
    EXPECT_EQ(values[i], e.Get("argv" + std::to_string(i)));
  }
  // The scriptable object is asked for right after.
  const int value = IndexOf(events, "NPP_GetValue", "variable", "15");
  EXPECT_GT(value, IndexOf(events, "NPP_New"));
  EXPECT_NE(nullptr, holder_.GetScriptableObject());
  EXPECT_TRUE(holder_.IsCreated());
  EXPECT_EQ(NPERR_NO_ERROR, holder_.GetLastStatus());

  // A later size is only remembered, until the instance is made again.
  EXPECT_EQ(S_OK, holder_.SetMovieSize(1024, 768));
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "NPP_New"));
  EXPECT_EQ(S_OK, holder_.CloseMovie());
  events = transcript_.Take();
  const int destroyed = IndexOf(events, "NPP_Destroy");
  const int recreated = IndexOf(events, "NPP_New");
  ASSERT_GE(destroyed, 0);
  ASSERT_GT(recreated, destroyed);
  EXPECT_EQ("1024", events[recreated].Get("argv1"));
  EXPECT_EQ("768", events[recreated].Get("argv2"));
}

TEST_F(HolderTest, OpenMovieCreatesTheInstanceWithTheCurrentSizeFirst) {
  const std::vector<TranscriptEvent> events = Play("log \"playing\"\n");
  const int created = IndexOf(events, "NPP_New");
  const int stream = IndexOf(events, "NPP_NewStream");
  ASSERT_GE(created, 0);
  EXPECT_EQ("800", events[created].Get("argv1"));
  EXPECT_EQ("600", events[created].Get("argv2"));
  EXPECT_GT(stream, created);
  EXPECT_EQ(1u, Named(events, "log", "text", "playing").size());
  EXPECT_EQ(E_INVALIDARG, holder_.OpenMovie(nullptr));
}

TEST_F(HolderTest, CloseMovieDropsQueuedRequestsAndRestarts) {
  EXPECT_EQ(S_OK, holder_.CloseMovie());  // nothing created yet: nothing happens
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "NPP_Destroy"));
  EXPECT_FALSE(holder_.IsCreated());

  Play("loadtext t 0 0 \"late.txt\"\nfscommand jri GS demo\n");
  ASSERT_EQ(2u, holder_.GetPendingNotificationCount());
  EXPECT_EQ(S_OK, holder_.CloseMovie());
  EXPECT_EQ(0u, holder_.GetPendingNotificationCount());
  const std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(-1, IndexOf(events, "NPP_URLNotify"));
  EXPECT_TRUE(sink_.calls.empty());
  EXPECT_TRUE(holder_.IsCreated());
  EXPECT_NE(nullptr, holder_.GetScriptableObject());
}

TEST_F(HolderTest, MovieVariablesAreReadThroughTheStub) {
  Play("set score 12\nset name \"Ann Lee\"\n");
  const size_t strings = CJRIEnvironment::Instance().GetStringCount();
  CSmallStr value;
  ASSERT_EQ(S_OK, holder_.GetMovieVariableA("score", &value));
  EXPECT_STREQ("12", value.c_str());
  ASSERT_EQ(S_OK, holder_.GetMovieVariable(L"name", &value));
  EXPECT_STREQ("Ann Lee", value.c_str());
  const std::vector<TranscriptEvent> events = transcript_.Take();
  EXPECT_EQ(1u, Named(events, "GetVariable_stub", "name", "score").size());

  value = "untouched";
  EXPECT_EQ(E_FAIL, holder_.GetMovieVariableA("missing", &value));
  EXPECT_STREQ("untouched", value.c_str());
  EXPECT_EQ(E_INVALIDARG, holder_.GetMovieVariableA(nullptr, &value));
  EXPECT_EQ(E_INVALIDARG, holder_.GetMovieVariableA("score", nullptr));
  EXPECT_EQ(E_INVALIDARG, holder_.GetMovieVariable(nullptr, &value));
  // The name and result strings do not outlive the call.
  EXPECT_EQ(strings, CJRIEnvironment::Instance().GetStringCount());
}

TEST_F(HolderTest, LoadMovieIntoLayerRequestsThroughTheStub) {
  Play("log \"main\"\n");
  game_.Disk("layer.scene", "log \"layer one\"\n");
  EXPECT_EQ(S_OK, holder_.LoadMovieIntoLayer(1, nullptr, nullptr));
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "LoadMovie_stub"));

  EXPECT_EQ(S_OK, holder_.LoadMovieIntoLayer(1, "layer.scene", "ignored"));
  std::vector<TranscriptEvent> events = transcript_.Take();
  const std::vector<TranscriptEvent> stub = Named(events, "LoadMovie_stub");
  ASSERT_EQ(1u, stub.size());
  EXPECT_EQ("1", stub[0].Get("layer"));
  EXPECT_EQ("layer.scene", stub[0].Get("url"));
  EXPECT_EQ(1u, holder_.GetPendingNotificationCount());
  events = Serve();
  EXPECT_EQ(1u, Named(events, "load", "layer", "1").size());
  EXPECT_EQ(1u, Named(events, "log", "text", "layer one").size());
  EXPECT_EQ(E_NOTIMPL, holder_.LoadMovieData(1, "x", 1, nullptr));
}

TEST_F(HolderTest, CallMovieFunctionSendsInvokeXmlAndReturnsTheAnswer) {
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(E_FAIL, holder_.CallMovieFunction(L"getName", nullptr, 0, &result));  // no instance

  Play("on call getName\n  return \"abc\"\nend\n");
  VARIANT args[3];
  for (VARIANT& v : args) VariantInit(&v);
  args[0].vt = VT_BSTR;
  args[0].bstrVal = SysAllocString(L"x");
  args[1].vt = VT_INT;
  args[1].intVal = -5;
  args[2].vt = VT_R8;
  args[2].dblVal = 2.5;
  ASSERT_EQ(S_OK, holder_.CallMovieFunction(L"getName", args, 3, &result));
  EXPECT_EQ("<string>abc</string>", VariantText(result));
  const std::vector<TranscriptEvent> events = transcript_.Take();
  const std::vector<TranscriptEvent> asked = Named(events, "NPClass.hasMethod");
  ASSERT_EQ(1u, asked.size());
  EXPECT_EQ("CallFunction", asked[0].Get("name"));
  const std::vector<TranscriptEvent> invoked = Named(events, "NPClass.invoke");
  ASSERT_EQ(1u, invoked.size());
  EXPECT_EQ(
      "<invoke name=\"getName\" returntype=\"string\"><arguments><string>x</string>"
      "<number>-5</number></arguments></invoke>",
      invoked[0].Get("arg0"));

  // A function the movie does not have: refused, the result untouched.
  EXPECT_EQ(E_FAIL, holder_.CallMovieFunction(L"nothing", args, 1, &result));
  EXPECT_EQ("<string>abc</string>", VariantText(result));
  EXPECT_EQ(S_OK, holder_.CallMovieFunction(L"getName", nullptr, 0, nullptr));
  EXPECT_EQ(E_INVALIDARG, holder_.CallMovieFunction(L"getName", nullptr, 2, &result));
  EXPECT_EQ(E_INVALIDARG, holder_.CallMovieFunction(L"getName", args, -1, &result));
  for (VARIANT& v : args) VariantClear(&v);
  VariantClear(&result);
}

TEST_F(HolderTest, ResultListAndSmallSlots) {
  EXPECT_EQ(S_OK, holder_.AddResult(L"ignored", L"wide"));
  EXPECT_EQ(S_OK, holder_.AddResultA(nullptr, "narrow"));
  EXPECT_EQ(E_INVALIDARG, holder_.AddResult(nullptr, nullptr));
  EXPECT_EQ(E_INVALIDARG, holder_.AddResultA("name", nullptr));
  ASSERT_EQ(2u, holder_.GetResults().size());
  EXPECT_EQ("wide", VariantText(holder_.GetResults()[0]));
  EXPECT_EQ("narrow", VariantText(holder_.GetResults()[1]));

  EXPECT_EQ(S_OK, holder_.SetResultCallback(L"cb"));
  EXPECT_STREQ("cb", holder_.GetResultCallback().c_str());
  EXPECT_EQ(S_OK, holder_.SetResultCallback(nullptr));
  EXPECT_TRUE(holder_.GetResultCallback().IsEmpty());

  EXPECT_EQ(E_FAIL, holder_.Reserved12());
  EXPECT_EQ(E_NOTIMPL, holder_.Reserved15());
  EXPECT_EQ(S_OK, holder_.SetFlashVars("a=1"));
  EXPECT_EQ(S_OK, holder_.SetOption(7));
  EXPECT_EQ(7, holder_.GetOption());
  EXPECT_EQ(E_POINTER, holder_.GetWindow(nullptr));
  WindowHandle window = &window;
  EXPECT_EQ(S_OK, holder_.GetWindow(&window));
  EXPECT_EQ(nullptr, window);
}

TEST_F(HolderTest, AttachCreatesOnePlayerWindowAndDetachDestroysIt) {
  CFrameWindow frame;
  REQUIRE_FRAME(frame);
  const WindowRect client = frame.Client();
  holder_.CreateInstance();
  transcript_.Take();

  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame.get()));
  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame.get()));
  EXPECT_EQ(1, vexa::platform::CountChildWindows(frame.get()));
  WindowHandle player = nullptr;
  ASSERT_EQ(S_OK, holder_.GetWindow(&player));
  ASSERT_NE(nullptr, player);
  EXPECT_EQ("PlayerWindowClass", vexa::platform::GetWindowClassName(player));
  EXPECT_EQ(player, vexa::platform::GetKeyboardFocus());
  WindowRect placed;
  ASSERT_TRUE(vexa::platform::GetChildWindowRect(player, &placed));
  EXPECT_EQ(client.right, placed.right - placed.left);
  EXPECT_EQ(client.bottom, placed.bottom - placed.top);

  const NPWindow& record = holder_.GetWindowRecord();
  EXPECT_EQ(player, record.window);
  EXPECT_EQ(0, record.x);
  EXPECT_EQ(0, record.y);
  EXPECT_EQ(static_cast<uint32_t>(client.right), record.width);
  EXPECT_EQ(static_cast<uint32_t>(client.bottom), record.height);
  EXPECT_EQ(client.bottom, record.clipRect.bottom);
  EXPECT_EQ(client.right, record.clipRect.right);
  EXPECT_EQ(NPWindowTypeWindow, record.type);
  std::vector<TranscriptEvent> events = Named(transcript_.Take(), "NPP_SetWindow");
  ASSERT_EQ(2u, events.size());
  EXPECT_EQ("set", events[1].Get("window"));
  EXPECT_EQ(std::to_string(client.right), events[1].Get("width"));
  EXPECT_EQ("0", events[1].Get("result"));

  // A parent that is not a window detaches, as no parent does.
  ASSERT_EQ(S_OK, holder_.AttachToWindow(reinterpret_cast<WindowHandle>(0x10)));
  events = Named(transcript_.Take(), "NPP_SetWindow");
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ("null", events[0].Get("window"));
  EXPECT_EQ("0", events[0].Get("width"));
  EXPECT_FALSE(vexa::platform::IsLiveWindow(player));
  EXPECT_EQ(0, vexa::platform::CountChildWindows(frame.get()));
  EXPECT_EQ(nullptr, holder_.GetWindowRecord().window);
  ASSERT_EQ(S_OK, holder_.GetWindow(&player));
  EXPECT_EQ(nullptr, player);
}

TEST_F(HolderTest, SetWindowRectMovesThePlayerWindow) {
  CFrameWindow frame;
  REQUIRE_FRAME(frame);
  holder_.CreateInstance();
  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame.get()));
  transcript_.Take();

  ASSERT_EQ(S_OK, holder_.SetWindowRect(10, 20, 310, 220));
  WindowHandle player = nullptr;
  holder_.GetWindow(&player);
  WindowRect placed;
  ASSERT_TRUE(vexa::platform::GetChildWindowRect(player, &placed));
  EXPECT_EQ(10, placed.left);
  EXPECT_EQ(20, placed.top);
  EXPECT_EQ(310, placed.right);
  EXPECT_EQ(220, placed.bottom);
  const NPWindow& record = holder_.GetWindowRecord();
  EXPECT_EQ(player, record.window);
  EXPECT_EQ(10, record.x);
  EXPECT_EQ(20, record.y);
  EXPECT_EQ(300u, record.width);
  EXPECT_EQ(200u, record.height);
  EXPECT_EQ(20, record.clipRect.top);
  EXPECT_EQ(10, record.clipRect.left);
  EXPECT_EQ(220, record.clipRect.bottom);
  EXPECT_EQ(310, record.clipRect.right);
  const std::vector<TranscriptEvent> events = Named(transcript_.Take(), "NPP_SetWindow");
  ASSERT_EQ(1u, events.size());
  EXPECT_EQ("10", events[0].Get("x"));
  EXPECT_EQ("20", events[0].Get("y"));
  EXPECT_EQ("300", events[0].Get("width"));
  EXPECT_EQ("200", events[0].Get("height"));
}

TEST_F(HolderTest, PluginRefusingTheWindowIsAFailure) {
  CFrameWindow frame;
  REQUIRE_FRAME(frame);
  // Without an instance the plug-in refuses every window.
  EXPECT_EQ(E_FAIL, holder_.AttachToWindow(frame.get()));
  EXPECT_NE(NPERR_NO_ERROR, holder_.GetLastStatus());
  EXPECT_EQ(E_FAIL, holder_.SetWindowRect(0, 0, 10, 10));
}

TEST_F(HolderTest, ShutdownDetachesAndDestroysThePlayerWindow) {
  CFrameWindow frame;
  REQUIRE_FRAME(frame);
  Play("log \"x\"\n");
  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame.get()));
  transcript_.Take();
  holder_.ShutdownPlugin();
  const std::vector<TranscriptEvent> events = transcript_.Take();
  const int window = IndexOf(events, "NPP_SetWindow");
  const int destroyed = IndexOf(events, "NPP_Destroy");
  ASSERT_GE(window, 0);
  EXPECT_EQ("null", events[window].Get("window"));
  EXPECT_GT(destroyed, window);
  EXPECT_EQ(0, vexa::platform::CountChildWindows(frame.get()));
  EXPECT_FALSE(holder_.IsCreated());
  EXPECT_FALSE(holder_.IsPluginLoaded());
  EXPECT_EQ(nullptr, holder_.GetScriptableObject());
  EXPECT_EQ(0u, CJRIEnvironment::Instance().GetStringCount());
}

TEST_F(HolderTest, PreTranslateLeavesOrdinaryMessagesToTheCaller) {
  CFrameWindow frame;
  REQUIRE_FRAME(frame);
  Play("fscommand jri GS demo\n");
  ASSERT_EQ(S_OK, holder_.AttachToWindow(frame.get()));
  WindowHandle player = nullptr;
  holder_.GetWindow(&player);
  vexa::platform::WindowMessage message;
  message.window = player;
  message.message = vexa::platform::kMsgKeyDown;
  message.wParam = 'A';
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(&message));
  // Serving the queue comes first, whatever the message.
  ASSERT_EQ(1u, sink_.calls.size());
  message.window = frame.get();
  message.message = vexa::platform::kMsgSysKeyDown;
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(&message));
}

}  // namespace
