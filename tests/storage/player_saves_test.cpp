// The save commands through the player: the store lives in the game's data folder (which follows
// GAMESAVES and GAMENAME), and FlushPendingWork puts every pending save on disk before the process
// may end.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/oleauto.h"
#include "player/player.h"
#include "storage/bare_player.h"
#include "storage/store_support.h"

namespace {

using store_test::CBarePlayer;
using store_test::ReadBytes;
using store_test::SetFile;

class PlayerSavesTest : public vexa::testing::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    player_ = std::make_unique<CBarePlayer>();
    player_->GetStoreFolder().SetBaseFolder(Root());
  }
  void TearDown() override {
    player_.reset();
    ScratchFolderTest::TearDown();
  }

  void SetText(const char* name, const wchar_t* text) { player_->SetText(name, text); }

  std::string GameFile(const std::string& game, const std::string& set) const {
    return Root() + "/" + vexa::storage::kDefaultMakerName + "/" + game + "/" + set;
  }

  std::unique_ptr<CBarePlayer> player_;
};

TEST_F(PlayerSavesTest, FlushPendingWorkWritesEverySaveAndStopsTheWriter) {
  IFSCommandDilator* dilator = player_.get();
  ASSERT_EQ(dilator->SetSave("progress", 2, "Level 2", "gold=5"), S_OK);
  player_->FlushPendingWork();
  EXPECT_FALSE(player_->GetSaveStore().IsWriterRunning());
  EXPECT_EQ(ReadBytes(GameFile("GameBase", "progress")),
            SetFile("progress", {{2, "Level 2", "gold=5"}}));

  CSmallStr listing;
  ASSERT_EQ(dilator->EnumSaves("PROGRESS", &listing), S_OK);
  EXPECT_EQ(listing.str(), "<saves>\n\t<save n=\"Level 2\" s=\"2\"/>\n</saves>");
  CSmallStr data;
  EXPECT_EQ(dilator->GetSave("progress", 3, &data), kNoSuchSaveStatus);
  EXPECT_EQ(dilator->GetSave("../progress", 2, &data), E_INVALIDARG);
  EXPECT_NE(E_INVALIDARG, kNoSuchSaveStatus);  // a refused name reads as "error", not "empty"
}

TEST_F(PlayerSavesTest, SavesGoToTheFolderTheScriptNamed) {
  SetText("GAMENAME", L"Quest");
  player_->SetSave("a", 0, "", "in Quest");
  SetText("GAMESAVES", L"QuestSaves");
  player_->SetSave("b", 0, "", "in QuestSaves");
  player_->FlushPendingWork();
  EXPECT_EQ(ReadBytes(GameFile("Quest", "a")), SetFile("a", {{0, "", "in Quest"}}));
  EXPECT_EQ(ReadBytes(GameFile("QuestSaves", "b")), SetFile("b", {{0, "", "in QuestSaves"}}));
}

TEST_F(PlayerSavesTest, CommandsFromTheMovieReachTheStore) {
  // What InitPlayer wires once the plug-in runs.
  CFSCommandProcessor& processor = player_->GetCommandProcessor();
  processor.SetDilator(player_.get());
  processor.OnFSCommand(L"SS;slots;4;Castle", L"hp=3");
  processor.OnFSCommand(L"SS;slots;5;Tower", L"hp=9");
  processor.OnFSCommand(L"RS;slots;4;", L"");
  player_->FlushPendingWork();
  EXPECT_EQ(ReadBytes(GameFile("GameBase", "slots")), SetFile("slots", {{5, "Tower", "hp=9"}}));
}

TEST_F(PlayerSavesTest, DestroyingThePlayerWritesWhatIsPending) {
  player_->SetSave("late", 1, "", "written by the destructor");
  player_.reset();
  EXPECT_EQ(ReadBytes(GameFile("GameBase", "late")),
            SetFile("late", {{1, "", "written by the destructor"}}));
}

}  // namespace
