// The holder against the stand-in when the movie's commands come back into it from inside the
// plug-in's own calls: closing and reopening the movie during a delivery, shutting the plug-in down
// while its code is on the stack, and the life of the JRI strings that every command carries.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "flashhost/bridge.h"
#include "flashhost/jrienv.h"
#include "platform/codepage.h"
#include "platform/library.h"
#include "support.h"

namespace {

// Key-down as the plug-in's window would receive it (NPP_HandleEvent takes Windows-style events).
constexpr uint16_t kKeyDownEvent = 0x0100;

class ReentryTest : public HolderTest {
 protected:
  std::string PluginFile() const { return vexa::platform::WideToAnsi(holder_.GetPluginFileName()); }

  // Whether the process still has the plug-in library mapped, asked of the system.
  bool LibraryInMemory() const {
    return vexa::platform::FindLoadedLibrary(PluginFile()) != nullptr;
  }

  // A key reaching the plug-in from its own window: a frame of the plug-in's that no call of the
  // host's is below. `event` is the plug-in's entry, taken while it was still in the table.
  void PressKey(NPP_HandleEventProcPtr event) {
    NPEvent key;
    key.event = kKeyDownEvent;
    key.wParam = 'A';
    key.lParam = 0;
    event(holder_.GetInstance(), &key);
  }
};

// ---- Closing and reopening the movie from inside a delivery

TEST_F(ReentryTest, ReopeningFromInsideDestroyStreamSendsTheNewInstanceNothingOfTheOld) {
  game_.Disk("closer.scene", "fscommand invoke REOPEN now\n");
  game_.Disk("second.scene",
             "loadtext t 0 0 \"data.txt\"\n"
             "on loaded t\n"
             "  log \"data arrived\"\n"
             "end\n");
  game_.Disk("data.txt", "payload");
  sink_.reaction = [this](const CRecordingSink::Call& call) {
    if (call.command != L"REOPEN") return;
    holder_.CloseMovie();
    holder_.OpenMovie("second.scene");
  };
  Play("loadscene 1 \"closer.scene\"\n");
  ASSERT_EQ(1u, holder_.GetPendingNotificationCount());

  // closer.scene runs its command when its stream is destroyed: the movie is closed and the second
  // one opened from inside NPP_DestroyStream, and the second asks for data.txt under a notify
  // number of its own, which may well equal the old request's.
  std::vector<TranscriptEvent> events = Serve();
  ASSERT_EQ(1u, sink_.calls.size());
  EXPECT_GE(IndexOf(events, "NPP_Destroy"), 0);
  EXPECT_EQ(1u, Named(events, "NPN_GetURLNotify", "url", "data.txt").size());
  // The old request's notification would end the new movie's request before its data came.
  EXPECT_EQ(-1, IndexOf(events, "NPP_URLNotify", "url", "closer.scene"));
  EXPECT_TRUE(Named(events, "error").empty()) << Named(events, "error")[0].text;

  events = Serve();
  EXPECT_EQ(1u, Named(events, "loaded", "key", "t").size());
  EXPECT_EQ(1u, Named(events, "log", "text", "data arrived").size());
  // Nothing arrived as if it were the movie itself.
  EXPECT_EQ(-1, IndexOf(events, "load", "url", "data.txt"));
  EXPECT_TRUE(Named(events, "error").empty());
  EXPECT_EQ(0u, holder_.GetPendingNotificationCount());
}

// ---- Shutting down with plug-in code on the stack

TEST_F(ReentryTest, ShutdownFromInsideACallUnloadsWhenTheCallHasReturned) {
  Play(
      "on call quit\n"
      "  fscommand invoke Q\n"
      "  log \"still running\"\n"
      "end\n");
  bool mappedInside = false;
  bool loadedInside = true;
  sink_.reaction = [&](const CRecordingSink::Call& call) {
    if (call.command != L"Q") return;
    holder_.ShutdownPlugin();
    // The plug-in's invoke, its movie and its NPN_Invoke are all still below on the stack.
    mappedInside = LibraryInMemory() && holder_.IsLibraryMapped();
    loadedInside = holder_.IsPluginLoaded();
  };
  // The instance went away during the call: the plug-in refuses it.
  EXPECT_EQ(E_FAIL, holder_.CallMovieFunction(L"quit", nullptr, 0, nullptr));
  ASSERT_EQ(1u, sink_.calls.size());
  EXPECT_TRUE(mappedInside);
  EXPECT_FALSE(loadedInside);
  // Released once the call had returned.
  EXPECT_FALSE(holder_.IsLibraryMapped());
  EXPECT_FALSE(holder_.IsUnloadPending());
  EXPECT_FALSE(LibraryInMemory());
  const std::vector<TranscriptEvent> events = transcript_.Take();
  EXPECT_GE(IndexOf(events, "NPP_Destroy"), 0);
  EXPECT_EQ(-1, IndexOf(events, "log", "text", "still running"));
  EXPECT_FALSE(holder_.IsCreated());
  EXPECT_EQ(nullptr, holder_.GetScriptableObject());
}

TEST_F(ReentryTest, ShutdownFromAFrameOfThePluginsOwnUnloadsAtTheNextMessage) {
  Play(
      "on key any\n"
      "  fscommand invoke Q\n"
      "end\n");
  sink_.reaction = [this](const CRecordingSink::Call& call) {
    if (call.command == L"Q") holder_.ShutdownPlugin();
  };
  const NPP_HandleEventProcPtr event = holder_.GetPluginFuncs()->event;
  ASSERT_NE(nullptr, event);
  PressKey(event);
  ASSERT_EQ(1u, sink_.calls.size());
  // Back in the "window procedure" nothing of the host's is on the stack, but the plug-in's is:
  // only the message loop knows that it has returned.
  EXPECT_FALSE(holder_.IsPluginLoaded());
  EXPECT_TRUE(holder_.IsUnloadPending());
  EXPECT_TRUE(LibraryInMemory());
  EXPECT_EQ(E_FAIL, holder_.PreTranslate(nullptr));
  EXPECT_FALSE(holder_.IsUnloadPending());
  EXPECT_FALSE(holder_.IsLibraryMapped());
  EXPECT_FALSE(LibraryInMemory());
}

TEST_F(ReentryTest, LoadingAgainWhileTheUnloadWaitsTakesUpTheSameLibrary) {
  Play("on key any\n  fscommand invoke RESTART\nend\n");
  const std::wstring file = holder_.GetPluginFileName();
  bool pendingAfterShutdown = false;
  HRESULT reloaded = E_FAIL;
  // A restart from inside the plug-in's frame: shut down, then load again at once.
  sink_.reaction = [&](const CRecordingSink::Call& call) {
    if (call.command != L"RESTART") return;
    holder_.ShutdownPlugin();
    pendingAfterShutdown = holder_.IsUnloadPending();
    holder_.SetJRIPeer(CJRIEnvironment::Instance().GetPeer());
    reloaded = holder_.LoadPlugin();
  };
  transcript_.Take();
  PressKey(holder_.GetPluginFuncs()->event);
  ASSERT_EQ(1u, sink_.calls.size());
  EXPECT_TRUE(pendingAfterShutdown);
  EXPECT_EQ(S_OK, reloaded);
  // The library still mapped under the plug-in's frame is initialised again, not a second copy.
  EXPECT_EQ(file, holder_.GetPluginFileName());
  EXPECT_TRUE(holder_.IsPluginLoaded());
  EXPECT_FALSE(holder_.IsUnloadPending());
  EXPECT_EQ(1u, Named(transcript_.Take(), "NP_Initialize").size());
  // The message loop leaves it loaded, and it plays.
  holder_.PreTranslate(nullptr);
  EXPECT_TRUE(holder_.IsLibraryMapped());
  sink_.reaction = nullptr;
  const std::vector<TranscriptEvent> events = Play("log \"playing again\"\n");
  EXPECT_EQ(1u, Named(events, "log", "text", "playing again").size());
  EXPECT_TRUE(holder_.IsCreated());
}

// ---- One way to destroy the instance

// Where the plug-in deallocated the scriptable object relative to its NPP_Destroy (whose line is
// written when it returns): "inside" when the holder's reference went first.
std::string DeallocationPlace(const std::vector<TranscriptEvent>& events) {
  const int deallocated = IndexOf(events, "NPClass.deallocate");
  const int destroyed = IndexOf(events, "NPP_Destroy");
  if (deallocated < 0 || destroyed < 0) return "missing";
  return deallocated < destroyed ? "inside" : "after";
}

TEST_F(ReentryTest, CloseAndShutdownReleaseTheScriptableObjectInTheSameOrder) {
  Play("log \"x\"\n");
  transcript_.Take();
  ASSERT_EQ(S_OK, holder_.CloseMovie());
  const std::string onClose = DeallocationPlace(transcript_.Take());
  holder_.ShutdownPlugin();
  const std::string onShutdown = DeallocationPlace(transcript_.Take());
  // The holder lets go of the object while the instance that made it still exists.
  EXPECT_EQ("inside", onClose);
  EXPECT_EQ("inside", onShutdown);
}

TEST_F(ReentryTest, ShutdownThroughThePluginHostIsTheHoldersShutdown) {
  Play("log \"x\"\n");
  transcript_.Take();
  CPluginHost& host = holder_;
  host.ShutdownPlugin();
  EXPECT_EQ("inside", DeallocationPlace(transcript_.Take()));
  EXPECT_EQ(nullptr, holder_.GetScriptableObject());
  EXPECT_FALSE(holder_.IsCreated());
  EXPECT_FALSE(holder_.IsPluginLoaded());
}

TEST_F(ReentryTest, AnInstanceAskedForBeforeThePluginIsLoadedIsMadeWhenTheMovieOpens) {
  CFlashHolder early;
  early.SetFileLoader(loader_.get());
  early.SetJRIPeer(CJRIEnvironment::Instance().GetPeer());
  early.CreateInstance();  // nothing to call yet
  EXPECT_FALSE(early.IsCreated());
  EXPECT_FALSE(early.IsInstanceCreated());
  ASSERT_EQ(S_OK, early.LoadPlugin());
  game_.Disk("movie.scene", "log \"early movie\"\n");
  transcript_.Take();
  EXPECT_EQ(S_OK, early.OpenMovie("movie.scene"));
  const std::vector<TranscriptEvent> events = transcript_.Take();
  EXPECT_GE(IndexOf(events, "NPP_New"), 0);
  EXPECT_EQ(1u, Named(events, "log", "text", "early movie").size());
  EXPECT_TRUE(early.IsCreated());
  EXPECT_NE(nullptr, early.GetScriptableObject());
  early.ShutdownPlugin();
}

// ---- JRI strings of FSCommands

TEST_F(ReentryTest, JriStringsOfAHundredThousandCommandsDoNotAccumulate) {
  std::string scene =
      "on key any\n"
      "  fscommand jri GS frame\n"
      "end\n"
      "on call burst\n";
  for (int i = 0; i < 1000; ++i) scene += "  fscommand jri SS burst\n";
  scene += "end\n";
  Play(scene);
  CJRIEnvironment& env = CJRIEnvironment::Instance();
  const size_t baseline = env.GetStringCount();
  const NPP_HandleEventProcPtr event = holder_.GetPluginFuncs()->event;
  ASSERT_NE(nullptr, event);
  size_t commands = 0;
  size_t most = baseline;
  transcript_.Suspend();
  // A game sending a command on every frame: each frame is the plug-in's own (its window's), and
  // the message loop runs between two of them.
  for (int frame = 0; frame < 50000; ++frame) {
    PressKey(event);
    most = std::max(most, env.GetStringCount());
    holder_.PreTranslate(nullptr);
    commands += sink_.calls.size();
    sink_.calls.clear();
    ASSERT_EQ(baseline, env.GetStringCount()) << "frame " << frame;
  }
  // Bursts of commands from inside the host's calls into the movie.
  for (int call = 0; call < 50; ++call) {
    ASSERT_EQ(S_OK, holder_.CallMovieFunction(L"burst", nullptr, 0, nullptr));
    ASSERT_EQ(baseline, env.GetStringCount()) << "call " << call;
    holder_.PreTranslate(nullptr);
    commands += sink_.calls.size();
    sink_.calls.clear();
  }
  transcript_.Resume();
  EXPECT_EQ(100000u, commands);
  // One command's strings (target, command, argument) at most, and only until the next message.
  EXPECT_EQ(baseline + 3, most);
}

}  // namespace
