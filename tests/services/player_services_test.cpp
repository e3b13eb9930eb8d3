// The three services through a started player with the stand-in plug-in: an add-on's function
// called by the movie, bad add-ons beside a good one at start-up, and a volume change made outside
// the game reaching the movie through the holder's result path.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fake_mixer.h"
#include "support.h"
#include "support/archive.h"

namespace {

using player_test::CTestPlayer;
using services_test::Fake;
using services_test::MixerState;
using vexa::testing::PackageBytes;

// The test player with the player's own add-on loading instead of the recorder's.
class CAddonPlayer : public CTestPlayer {
 public:
  using CTestPlayer::CTestPlayer;

 protected:
  void LoadAddons() override {
    log.push_back("addons");
    CBasePlayerImpl::LoadAddons();
  }
};

const char kInitXml[] =
    "<init>"
    "<assign name=\"AS30CALLBACK\" expr=\"'onResult'\"/>"
    "<movie url=\"main.scene\" width=\"320\" height=\"200\"/>"
    "</init>";

// Every value the player hands back is logged; the movie asks the add-on's function at start.
const char kMainScene[] =
    "on call onResult\n"
    "  log \"result $#: $1\"\n"
    "end\n"
    "on start\n"
    "  fscommand external CALL addonHello\n"
    "end\n";

const char kAddonXml[] =
    "<addon version=\"1.0\">"
    "<function name=\"addonHello\"><set var=\"greeting\" expr=\"'hello from the add-on'\"/>"
    "</function></addon>";

class PlayerServicesTest : public player_test::PlayerTest {
 protected:
  void SetUp() override {
    PlayerTest::SetUp();
    if (!player_) return;
    player_ = std::make_unique<CAddonPlayer>(&holder_, game_.path().c_str());
  }

  HRESULT StartGame() { return Start(kInitXml, {{"main.scene", kMainScene}}); }

  // Outlives the player (which TearDown destroys), since the player's mixer device points at it.
  MixerState mixer_;

  std::vector<std::string> Logs(const std::vector<TranscriptEvent>& events) {
    std::vector<std::string> texts;
    for (const TranscriptEvent& e : Named(events, "log")) texts.push_back(e.Get("text"));
    return texts;
  }
};

TEST_F(PlayerServicesTest, TheMovieCallsAFunctionAnAddonBrought) {
  game_.Disk("Addons/hello.vxa", PackageBytes({{"addon.xml", kAddonXml}}));
  ASSERT_EQ(S_OK, StartGame());
  const std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(std::vector<std::string>{"result 1: hello from the add-on"}, Logs(events));
  EXPECT_EQ(1u, player_->Count("addons"));
}

TEST_F(PlayerServicesTest, BadAddonsDoNotStopTheStart) {
  game_.Disk("Addons/garbage.vxa", "not a package");
  game_.Disk("Addons/folder.vxa/readme.txt", "a folder named like an add-on");
  game_.Disk("Addons/broken.vxa", PackageBytes({{"addon.xml", "<addon><function"}}));
  game_.Disk("Addons/hello.vxa", PackageBytes({{"addon.xml", kAddonXml}}));
  ASSERT_EQ(S_OK, StartGame());
  EXPECT_TRUE(player_->errors.empty());
  const std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(std::vector<std::string>{"result 1: hello from the add-on"}, Logs(events));
}

TEST_F(PlayerServicesTest, WithoutAddonsTheGameStartsAndTheFunctionIsMissing) {
  ASSERT_EQ(S_OK, StartGame());
  EXPECT_TRUE(player_->errors.empty());
  const std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(1u, Named(events, "load", "layer", "0").size());
  for (const std::string& text : Logs(events)) {
    EXPECT_EQ(std::string::npos, text.find("hello")) << text;
  }
}

TEST_F(PlayerServicesTest, TheServicesAreWiredToTheProcessorAndTheHolder) {
  ASSERT_EQ(S_OK, StartGame());
  CFSCommandProcessor& processor = player_->GetCommandProcessor();
  EXPECT_EQ(&player_->GetVolumeManager(), processor.GetVolumeService());
  EXPECT_EQ(&player_->GetWallpaperService(), processor.GetWallpaperService());
  EXPECT_EQ(&holder_, player_->GetVolumeManager().GetHolder());
  EXPECT_TRUE(player_->GetVolumeManager().HasResultSink());
  player_->ShutdownPlayer();
  EXPECT_EQ(nullptr, player_->GetVolumeManager().GetHolder());
  EXPECT_FALSE(player_->GetVolumeManager().HasResultSink());
}

TEST_F(PlayerServicesTest, AVolumeChangeMadeOutsideTheGameReachesTheMovie) {
  MixerState& mixer = mixer_;
  ASSERT_TRUE(player_->GetVolumeManager().SetMixerFactory([&mixer] { return Fake(&mixer); }));
  ASSERT_EQ(S_OK, StartGame());
  Serve();
  CFSCommandProcessor& processor = player_->GetCommandProcessor();

  // Before the movie names a report name the mixer is not even open.
  EXPECT_EQ(nullptr, mixer.listener);
  processor.OnFSCommand(L"VCSC", L"volumeChanged");
  ASSERT_NE(nullptr, mixer.listener);

  // Another program mutes the speakers at 40 %: the mixer's notice arrives in the message loop,
  // outside any command of the movie.
  mixer.values[services_test::kVolumeId] = 26214;
  mixer.values[services_test::kMuteId] = 1;
  mixer.Notice(vexa::platform::kMsgMixerControlChange, services_test::kHandle,
               services_test::kMuteId);
  EXPECT_EQ(std::vector<std::string>{"result 1: 40 1"}, Logs(Serve()));
  // Delivered once.
  EXPECT_TRUE(Logs(Serve()).empty());

  // The movie switches the reports off.
  processor.OnFSCommand(L"VCSC", L"");
  mixer.Notice(vexa::platform::kMsgMixerControlChange, services_test::kHandle,
               services_test::kVolumeId);
  EXPECT_TRUE(Logs(Serve()).empty());
}

}  // namespace
