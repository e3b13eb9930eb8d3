// High scores and virtual-registry values through the player: the movie's commands (dispatched by
// the player's command processor) reach the stores in the game's data folder, the answers come back
// as the movie sees them, and the registry import reads the key of the maker and GAMENAME.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fscommand/fakes.h"
#include "platform/oleauto.h"
#include "platform/registry.h"
#include "player/player.h"
#include "storage/bare_player.h"
#include "storage/protectedfile.h"
#include "storage/store_support.h"

namespace {

using store_test::CBarePlayer;
class PlayerStoresTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    player_ = std::make_unique<CBarePlayer>();
    player_->GetStoreFolder().SetBaseFolder(temp_.Path());
    // What InitPlayer wires once the plug-in runs.
    CFSCommandProcessor& processor = player_->GetCommandProcessor();
    processor.SetDilator(player_.get());
    processor.SetHolder(&holder_);
  }

  void SetText(const char* name, const wchar_t* text) { player_->SetText(name, text); }

  // Sends a command; returns the result it added, or "<none>".
  std::wstring Send(const wchar_t* command, const wchar_t* argument = L"r") {
    const size_t before = holder_.results.size();
    player_->GetCommandProcessor().OnFSCommand(command, argument);
    return holder_.results.size() > before ? holder_.results.back() : L"<none>";
  }

  std::string GameFolder(const std::string& game) const {
    return temp_ / (player_->GetStoreFolder().GetNames().maker + "\\" + game);
  }

  store_test::CStoreFolder temp_;
  fscommand_test::CFakeHolder holder_;
  std::unique_ptr<CBarePlayer> player_;
};

TEST_F(PlayerStoresTest, HighScoreCommands) {
  EXPECT_EQ(Send(L"GHS;Main"), L"<highscores>\n</highscores>");
  EXPECT_EQ(Send(L"SHS;Main;", L"100"), L"<none>");  // empty size: 10
  EXPECT_EQ(Send(L"SHS;Main;10", L"90"), L"<none>");
  EXPECT_EQ(Send(L"IHS;Main;10;95"), L"1");
  EXPECT_EQ(Send(L"SHS;Main;2", L"50"), L"<none>");
  EXPECT_EQ(Send(L"GHS;Main"),
            L"<highscores>\n\t<score value=\"100\"/>\n\t<score value=\"90\"/>\n</highscores>");
  EXPECT_EQ(Send(L"SHIP;Pad;3", L"7"), L"<none>");
  EXPECT_EQ(Send(L"GHS;Pad"),
            L"<highscores>\n\t<score value=\"\"/>\n\t<score value=\"\"/>\n\t<score "
            L"value=\"\"/>\n\t<score value=\"7\"/>\n</highscores>");
  // One file for every table, in the data folder of the game.
  const auto entries = store_test::Unpack(
      store_test::ReadBytes(GameFolder("GameBase") + "\\bstscore.dat"), kHighScorePassword);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "Main");
  EXPECT_EQ(entries[1].name, "Pad");
}

TEST_F(PlayerStoresTest, RefusedTablesGetTheFailureAnswers) {
  EXPECT_EQ(Send(L"GHS;a/b"), L"<highscores>\n</highscores>");
  EXPECT_EQ(Send(L"IHS;a\tb;10;5"), L"<none>");
  EXPECT_EQ(Send(L"SHS;a/b;10", L"5"), L"<none>");
  EXPECT_EQ(Send(L"SHIP;T;-1", L"5"), L"<none>");
  EXPECT_EQ(Send(L"SHIP;T;2000000000", L"5"), L"<none>");
  EXPECT_TRUE(store_test::FolderNames(GameFolder("GameBase")).empty());
}

TEST_F(PlayerStoresTest, RegistryCommands) {
  EXPECT_EQ(Send(L"LK;Level"), L"unknown");
  EXPECT_EQ(Send(L"SK;Level", L"7"), L"<none>");
  EXPECT_EQ(Send(L"LK;Level"), L"7");
  EXPECT_EQ(Send(L"LK;level"), L"unknown");
  EXPECT_EQ(Send(L"SUKLevel", L"mine"), L"<none>");
  EXPECT_EQ(Send(L"LUKLevel"), L"mine");
  EXPECT_EQ(Send(L"LK;Level"), L"7");
  EXPECT_EQ(Send(L"SK;Empty", L""), L"<none>");
  EXPECT_EQ(Send(L"LK;Empty"), L"");
  // A bare SUK or LUK names the empty key.
  EXPECT_EQ(Send(L"LUK"), L"unknown");
  EXPECT_EQ(Send(L"SUK", L"bare"), L"<none>");
  EXPECT_EQ(Send(L"LUK"), L"bare");
  const auto entries = store_test::Unpack(
      store_test::ReadBytes(GameFolder("GameBase") + "\\localrgs.dat"), kRegistryPassword);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, ".DEFAULT");
}

TEST_F(PlayerStoresTest, TheStoresFollowGameSavesAndTheImportFollowsGameName) {
  const std::string maker = player_->GetStoreFolder().GetNames().maker;
  const std::string game =
      "VexaImport" + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
  const std::string key = "Software\\" + maker + "\\" + game;
  const char text[] = "from the registry";
  ASSERT_TRUE(vexa::platform::WriteRegistryValue(key, "Intro", vexa::platform::kRegistryString,
                                                 text, sizeof(text), true));
  SetText("GAMENAME", vexa::platform::AnsiToWide(game).c_str());
  SetText("GAMESAVES", L"Saves");
  EXPECT_EQ(Send(L"LK;Intro"), L"from the registry");
  EXPECT_EQ(Send(L"SHS;Main;10", L"5"), L"<none>");
  vexa::platform::DeleteRegistryKey(key);
  std::vector<std::string> files = store_test::FolderNames(GameFolder("Saves"));
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"bstscore.dat", "localrgs.dat"}));
}

}  // namespace
