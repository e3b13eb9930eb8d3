// The player's plug-in hooks around a started player: the game folder's libraries are loaded at
// start, the movie's PLUGIN_* commands reach their objects, and the shutdown releases the objects
// before it unloads the libraries. Runs the real stand-in plug-in in a headless frame window.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "flashhost/holder.h"
#include "flashhost/pluginhost.h"
#include "fscommand/processor.h"
#include "platform/library.h"
#include "platform/window.h"
#include "player/player.h"
#include "support.h"
#include "support/window.h"

namespace {

using system_test::CGameFolder;

// The frame side of the player does nothing here.
class CQuietPlayer : public CBasePlayerImpl {
 public:
  CQuietPlayer(CFlashHolder* holder, const char* baseFolder)
      : CBasePlayerImpl(holder, baseFolder) {}
  HRESULT AddTimeout(int32_t, std::unique_ptr<CSmallStr>) override { return S_OK; }
  HRESULT AddInterval(int32_t, std::unique_ptr<CSmallStr>) override { return S_OK; }
  HRESULT LayoutWindow() override { return S_OK; }
  HRESULT SelectMovieVariant() override { return S_OK; }
  HRESULT Quit() override { return S_OK; }
  void ShowStartupError(int id) override { errors.push_back(id); }
  std::vector<int> errors;
};

uint32_t FixedTicks() {
  return 42;
}

class PlayerPluginsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    frame_ = vexa::platform::CreateHostWindow("frame", vexa::testing::Rect(0, 0, 640, 480), false);
    if (!frame_) GTEST_SKIP() << "no window system to create windows with";
    player_ = std::make_unique<CQuietPlayer>(&holder_, game_.path().c_str());
    player_->GetCommandProcessor().SetTickSource(FixedTicks);
  }
  void TearDown() override {
    if (player_) player_->ShutdownPlayer();
    player_.reset();
    vexa::platform::DestroyHostWindow(frame_);
    DeletePluginFiles();
  }

  std::vector<std::string> Results() const {
    std::vector<std::string> texts;
    for (const VARIANT& value : holder_.GetResults()) {
      texts.push_back(value.vt == VT_BSTR ? system_test::Utf8(value.bstrVal) : "<not a string>");
    }
    return texts;
  }

  std::string SamplePath() const {
    std::string path = game_.path() + "vexa_sample.dll";
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return path;
  }

  CGameFolder game_;
  CFlashHolder holder_;
  vexa::platform::WindowHandle frame_ = nullptr;
  std::unique_ptr<CQuietPlayer> player_;
};

TEST_F(PlayerPluginsTest, TheMovieUsesTheGamesPluginAndShutdownUnloadsIt) {
  // The movie names the object by the instance name PLUGIN_CREATE answers (the tick count is
  // fixed here), as a movie does once the result has come back.
  const char* scene =
      "set obj vexa.sample_42\n"
      "on start\n"
      "  fscommand jri PLUGIN_CREATE;created vexa.sample\n"
      "  fscommand jri PLUGIN_METHOD;obj;diff subtract;10;3\n"
      "  fscommand jri PLUGIN_METHOD;obj;line firstLine;docs/readme.txt\n"
      "  fscommand jri PLUGIN_PROPGET;obj;calls calls\n"
      "end\n";
  game_.Package({{"init.xml", "<game><movie url=\"movie.scene\"/></game>"},
                 {"movie.scene", scene},
                 {"docs/readme.txt", "Read me first\nthen the rest"}});
  game_.Sample("vexa_sample.dll");

  ASSERT_EQ(S_OK, player_->InitPlayer(frame_));
  EXPECT_TRUE(player_->errors.empty());
  EXPECT_NE(nullptr, vexa::platform::FindLoadedLibrary(SamplePath()));

  holder_.PreTranslate(nullptr);  // serves the movie's queued commands
  EXPECT_EQ((std::vector<std::string>{"vexa.sample_42", "7", "Read me first", "2"}), Results());
  EXPECT_EQ(std::vector<std::string>{"vexa.sample_42"},
            player_->GetCommandProcessor().GetPluginInstanceNames());

  player_->ShutdownPlayer();
  EXPECT_TRUE(player_->GetCommandProcessor().GetPluginInstanceNames().empty());
  EXPECT_EQ(nullptr, vexa::platform::FindLoadedLibrary(SamplePath()));
}

TEST_F(PlayerPluginsTest, StartsWithoutAnyPluginLibrary) {
  game_.Package({{"init.xml", "<game/>"}});
  game_.Disk("not_a_plugin.dll", "text");
  ASSERT_EQ(S_OK, player_->InitPlayer(frame_));
  // An unknown plug-in answers NULL and stores nothing.
  player_->GetCommandProcessor().OnFSCommand(L"PLUGIN_CREATE;r", L"vexa.sample");
  EXPECT_EQ(std::vector<std::string>{"NULL"}, Results());
  EXPECT_TRUE(player_->GetCommandProcessor().GetPluginInstanceNames().empty());
}

}  // namespace
