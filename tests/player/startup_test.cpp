// InitPlayer against the stand-in plug-in: the order of its steps, each failure with its message,
// a game package whose init.xml sets caption, size and movie, commands from the script and the
// movie, and the shutdown.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <vector>

#include "data/loader.h"
#include "flashhost/holder.h"
#include "fscommand/processor.h"
#include "platform/clock.h"
#include "player/framectx.h"
#include "script/engine.h"
#include "support.h"

namespace {

using player_test::PlayerTest;
using player_test::Value;

const char kMovie[] = "log \"movie playing\"\n";

std::string GlobalText(CScriptEngine& engine, const char* name) {
  Value value;
  if (FAILED(engine.LookupVariable(name, &value.v))) return "<none>";
  return player_test::TextOf(value.v);
}

TEST_F(PlayerTest, StartsInOrderAndRunsTheGamePackage) {
  const char* init =
      "<game>\n"
      "  <assign name=\"CAPTION\" expr=\"'Demo Game'\"/>\n"
      "  <assign name=\"GAMENAME\" expr=\"'demo'\"/>\n"
      "  <movie url=\"movie.scene\" width=\"1280\" height=\"720\"/>\n"
      "  <var name=\"afterMovie\" expr=\"'yes'\"/>\n"
      "</game>\n";
  ASSERT_EQ(S_OK, Start(init, {{"movie.scene", kMovie}}));
  EXPECT_TRUE(player_->errors.empty());
  EXPECT_TRUE(player_->IsStarted());
  EXPECT_EQ(&holder_, player_->GetFlashHolder());

  // Layout first, the hooks of the later subsystems in their places, the script last (its movie
  // lays the window out again).
  EXPECT_EQ((std::vector<std::string>{"layout", "hostcontrol", "pluginlibraries", "addons",
                                      "caption Demo Game", "layout"}),
            player_->log);

  EXPECT_EQ(std::vector<std::string>{"Demo Game"}, player_->captions);
  EXPECT_STREQ("demo", player_->GetGameName().c_str());
  EXPECT_EQ(1280, player_->GetMovieWidth());
  EXPECT_EQ(720, player_->GetMovieHeight());
  EXPECT_EQ(1280, player_->GetClientWidth());
  EXPECT_EQ(720, player_->GetClientHeight());
  EXPECT_EQ(1, player_->GetCurrentVariant().wide);
  EXPECT_EQ(1280, holder_.GetMovieWidth());
  EXPECT_EQ(720, holder_.GetMovieHeight());

  // The movie reached the plug-in, attached to the frame, and played.
  const std::vector<TranscriptEvent> events = transcript_.Take();
  const std::vector<TranscriptEvent> loads = Named(events, "load");
  ASSERT_EQ(1u, loads.size());
  EXPECT_NE(std::string::npos, loads[0].Get("url").find("movie.scene")) << loads[0].text;
  EXPECT_EQ(1u, Named(events, "log", "text", "movie playing").size());
  const int attached = IndexOf(events, "NPP_SetWindow", "window", "set");
  ASSERT_GE(attached, 0);
  EXPECT_LT(IndexOf(events, "NPP_New"), attached);
  EXPECT_EQ(1, vexa::platform::CountChildWindows(frame_));

  // The statements after <movie> ran as well, in the global scope below the frame's scope.
  EXPECT_EQ("yes", GlobalText(player_->GetScriptEngine(), "afterMovie"));
  EXPECT_EQ(&player_->GetFrameContext(), player_->GetScriptEngine().GetParent());
}

TEST_F(PlayerTest, StartWiresProcessorEngineLoaderAndHolder) {
  ASSERT_EQ(S_OK, Start("<game/>"));
  CFSCommandProcessor& processor = player_->GetCommandProcessor();
  EXPECT_EQ(static_cast<IFSCommandDilator*>(player_.get()), processor.GetDilator());
  EXPECT_EQ(static_cast<IFlashHolder*>(&holder_), processor.GetHolder());
  EXPECT_EQ(&player_->GetScriptEngine(), processor.GetScriptContext());
  EXPECT_EQ(static_cast<IFileLoader*>(&player_->GetFileLoader()), processor.GetFileLoader());
  EXPECT_EQ(static_cast<IScriptDilator*>(player_.get()), player_->GetScriptEngine().GetHost());
  EXPECT_EQ(static_cast<IFileLoader*>(&player_->GetFileLoader()),
            player_->GetScriptEngine().GetFileLoader());
  EXPECT_EQ(static_cast<IFlashPlayerNotifySink*>(&processor), holder_.GetNotifySink());
  EXPECT_EQ(static_cast<IFileLoader*>(&player_->GetFileLoader()), holder_.GetFileLoader());
  EXPECT_EQ(player_->GetFrameWindow(), frame_);
}

TEST_F(PlayerTest, MissingInitXmlShowsMessage131) {
  // A package without init.xml, and none on disk either.
  game_.Package({{"movie.scene", kMovie}});
  EXPECT_EQ(E_FAIL, player_->InitPlayer(frame_));
  EXPECT_EQ(std::vector<int>{kStartupErrorScript}, player_->errors);
  EXPECT_EQ((std::vector<std::string>{"layout", "hostcontrol", "pluginlibraries", "error 131"}),
            player_->log);
  // The host did start; the frame's destruction stops it.
  EXPECT_TRUE(player_->IsStarted());
}

TEST_F(PlayerTest, InitXmlThatDoesNotParseShowsMessage131) {
  EXPECT_EQ(E_FAIL, Start("this is no XML document"));
  EXPECT_EQ(std::vector<int>{kStartupErrorScript}, player_->errors);
}

TEST_F(PlayerTest, InitXmlOnDiskIsUsedWithoutAPackage) {
  game_.Disk("init.xml", "<game><assign name=\"CAPTION\" expr=\"'From disk'\"/></game>");
  ASSERT_EQ(S_OK, player_->InitPlayer(frame_));
  EXPECT_EQ(std::vector<std::string>{"From disk"}, player_->captions);
}

TEST_F(PlayerTest, PluginThatCannotLoadShowsMessage132) {
  static const uint8_t kNotALibrary[] = "this is not a plug-in library";
  holder_.SetPluginImage(kNotALibrary, sizeof kNotALibrary);
  const HRESULT hr = Start("<game><assign name=\"CAPTION\" expr=\"'never'\"/></game>");
  EXPECT_TRUE(FAILED(hr));
  EXPECT_EQ(std::vector<int>{kStartupErrorHost}, player_->errors);
  EXPECT_EQ((std::vector<std::string>{"layout", "error 132"}), player_->log);
  EXPECT_FALSE(player_->IsStarted());
  EXPECT_EQ(nullptr, player_->GetFlashHolder());
  EXPECT_EQ(nullptr, holder_.GetNotifySink());
  EXPECT_FALSE(holder_.IsPluginLoaded());
}

TEST_F(PlayerTest, FrameWindowThatCannotTakeThePluginShowsMessage132) {
  game_.Package({{"init.xml", "<game><assign name=\"CAPTION\" expr=\"'never'\"/></game>"}});
  vexa::platform::WindowRect rect;
  rect.right = 100;
  rect.bottom = 100;
  vexa::platform::WindowHandle gone = vexa::platform::CreateHostWindow("gone", rect, false);
  vexa::platform::DestroyHostWindow(gone);
  const vexa::platform::WindowHandle windows[] = {gone, nullptr};
  for (vexa::platform::WindowHandle window : windows) {
    player_->errors.clear();
    transcript_.Take();
    EXPECT_TRUE(FAILED(player_->InitPlayer(window)));
    EXPECT_EQ(std::vector<int>{kStartupErrorHost}, player_->errors);
    EXPECT_FALSE(player_->IsStarted());
    EXPECT_TRUE(player_->captions.empty());
    // The plug-in was loaded and its instance made, then shut down again.
    const std::vector<TranscriptEvent> events = transcript_.Take();
    EXPECT_GE(IndexOf(events, "NPP_New"), 0);
    EXPECT_GT(IndexOf(events, "NPP_Destroy"), IndexOf(events, "NPP_New"));
    EXPECT_FALSE(holder_.IsPluginLoaded());
    EXPECT_FALSE(holder_.IsCreated());
    EXPECT_EQ(nullptr, holder_.GetNotifySink());
  }
}

TEST_F(PlayerTest, HostControlFailureStopsWithoutAMessage) {
  player_->hostControlStatus = E_NOINTERFACE;
  EXPECT_EQ(E_FAIL, Start("<game><assign name=\"CAPTION\" expr=\"'never'\"/></game>"));
  EXPECT_TRUE(player_->errors.empty());
  EXPECT_EQ((std::vector<std::string>{"layout", "hostcontrol"}), player_->log);
  EXPECT_TRUE(player_->IsStarted());
}

TEST_F(PlayerTest, StartsOnlyOnceAndNotAfterShutdown) {
  ASSERT_EQ(S_OK, Start("<game/>"));
  EXPECT_EQ(E_UNEXPECTED, player_->InitPlayer(frame_));
  player_->ShutdownPlayer();
  EXPECT_EQ(E_UNEXPECTED, player_->InitPlayer(frame_));
  EXPECT_FALSE(player_->IsStarted());
}

TEST_F(PlayerTest, ShutdownReleasesObjectsUnloadsLibrariesAndStopsThePlugin) {
  ASSERT_EQ(S_OK, Start("<game><movie url=\"movie.scene\"/></game>", {{"movie.scene", kMovie}}));
  transcript_.Take();
  player_->log.clear();
  player_->ShutdownPlayer();
  EXPECT_EQ((std::vector<std::string>{"releaseobjects", "unloadlibraries"}), player_->log);
  EXPECT_GE(IndexOf(transcript_.Take(), "NPP_Destroy"), 0);
  EXPECT_FALSE(player_->IsStarted());
  EXPECT_EQ(nullptr, player_->GetFlashHolder());
  EXPECT_EQ(nullptr, player_->GetCommandProcessor().GetHolder());
  EXPECT_EQ(nullptr, holder_.GetNotifySink());
  EXPECT_FALSE(holder_.IsPluginLoaded());
  EXPECT_EQ(0, vexa::platform::CountChildWindows(frame_));

  // Commands that still arrive find nothing to act on.
  holder_.ClearResults();
  EXPECT_EQ(S_OK, player_->SendFSCommand(L"LS", L"late"));
  EXPECT_TRUE(holder_.GetResults().empty());
  player_->log.clear();
  player_->ShutdownPlayer();  // a second time does nothing
  EXPECT_TRUE(player_->log.empty());
}

TEST_F(PlayerTest, FSCommandsOfTheScriptGoThroughTheCommandTable) {
  const char* init =
      "<game>\n"
      "  <fscommand name=\"'HELLO'\" args=\"'x'\"/>\n"
      "  <fscommand name=\"'l' + 's'\" args=\"'ready'\"/>\n"
      "  <fscommand name=\"'Q'\"/>\n"
      "</game>\n";
  ASSERT_EQ(S_OK, Start(init));
  EXPECT_EQ(1, player_->quits);
  EXPECT_EQ(std::vector<std::string>{"1"}, Results());
  EXPECT_EQ(std::wstring(L"Q"), player_->GetCommandProcessor().GetCommandOrder().front());
}

TEST_F(PlayerTest, TheMovieQuitsThroughTheSameHandlerAsTheScript) {
  const char* scene =
      "on start\n"
      "  fscommand invoke LS fromInvoke\n"
      "  fscommand jri quit \"\"\n"
      "end\n";
  ASSERT_EQ(S_OK, Start("<game><movie url=\"movie.scene\"/></game>", {{"movie.scene", scene}}));
  // NPN_Invoke arrives at once; the JRI command waits in the queue.
  EXPECT_EQ(std::vector<std::string>{"1"}, Results());
  EXPECT_EQ(0, player_->quits);
  Serve();
  EXPECT_EQ(1, player_->quits);
}

TEST_F(PlayerTest, SetHandsTheValueAsTextToTheResultList) {
  ASSERT_EQ(
      S_OK,
      Start("<game><set var=\"score\" expr=\"40 + 2\"/><set var=\"who\" expr=\"'Ann'\"/></game>"));
  EXPECT_EQ((std::vector<std::string>{"42", "Ann"}), Results());
}

TEST_F(PlayerTest, CurrentTimeIsVisibleToTheScript) {
  ASSERT_EQ(S_OK, Start("<game><var name=\"now\" expr=\"CURRENTTIME\"/></game>"));
  const std::string now = GlobalText(player_->GetScriptEngine(), "now");
  EXPECT_TRUE(std::regex_search(now, std::regex("[0-9]{1,2}:[0-9]{2}"))) << now;
  // A script variable of that name is not the clock.
  EXPECT_EQ("<none>", GlobalText(player_->GetScriptEngine(), "currenttime"));
}

TEST(FrameClockTest, LocalTimeHasHoursAndMinutesOnly) {
  std::string ansi;
  ASSERT_TRUE(vexa::platform::FormatLocalTimeNoSeconds(&ansi));
  EXPECT_TRUE(std::regex_search(ansi, std::regex("[0-9]{1,2}:[0-9]{2}"))) << ansi;
  EXPECT_FALSE(std::regex_search(ansi, std::regex("[0-9]{1,2}:[0-9]{2}:[0-9]{2}"))) << ansi;
  EXPECT_FALSE(vexa::platform::FormatLocalTimeNoSeconds(nullptr));
  CSmallWStr wide;
  EXPECT_EQ(S_OK, vexa::player::FormatCurrentTime(&wide));
  EXPECT_FALSE(wide.IsEmpty());
  EXPECT_EQ(E_POINTER, vexa::player::FormatCurrentTime(nullptr));
}

}  // namespace
