// The volume control on the real Windows mixer (winmm). Under Wine a mixer exists only with a sound
// server: scripts/wine-env.sh starts PulseAudio with a null sink, and Wine then shows mixer 0 with
// a speakers line whose volume is the process's own audio session. Without a mixer these tests
// skip.
//
// Wine's mixer sends no change notices: not for this process's own changes, and it does not see
// changes other programs make to the sound server at all (pactl set-sink-volume leaves the
// session's volume as it was). So the notice path is tested by posting the mixer's notice message
// to the hidden window, exactly as the system's mixer would.
#include <windows.h>

#include <mmsystem.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fscommand/fakes.h"
#include "platform/codepage.h"
#include "platform/mixer.h"
#include "system/volume.h"

namespace {

static_assert(vexa::platform::kMsgMixerLineChange == MM_MIXM_LINE_CHANGE, "message numbers");
static_assert(vexa::platform::kMsgMixerControlChange == MM_MIXM_CONTROL_CHANGE, "message numbers");

// Collects the notice windows among the windows EnumThreadWindows hands it. A callback of the
// system's own calling convention (a lambda would not convert to it on 32-bit Windows).
BOOL CALLBACK CollectNoticeWindow(HWND window, LPARAM list) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  if (vexa::platform::WideToAnsi(name) == vexa::platform::kMixerNoticeWindowClass) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  }
  return TRUE;
}

// The notice windows of this thread.
std::vector<HWND> NoticeWindows() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), &CollectNoticeWindow, reinterpret_cast<LPARAM>(&found));
  return found;
}

// Runs this thread's messages for a moment, as the player's message loop would.
void Pump(DWORD milliseconds = 100) {
  const DWORD end = GetTickCount() + milliseconds;
  do {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    Sleep(5);
  } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

class NoListener : public vexa::platform::IMixerListener {
 public:
  void OnMixerNotice(uint32_t, vexa::platform::MixerHandle, uint32_t) override {}
};

class RealMixerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (mixerGetNumDevs() == 0) {
      GTEST_SKIP() << "no mixer: Wine needs a sound server (PulseAudio with a null sink)";
    }
    manager_.SetHolder(&holder_);
    ASSERT_EQ(S_OK, manager_.GetVolume(&savedVolume_)) << "the mixer has no speakers line";
    ASSERT_EQ(S_OK, manager_.GetMute(&savedMute_));
  }
  void TearDown() override {
    if (!manager_.FindControl() || !manager_.FindControl()->IsOpened()) return;
    manager_.SetReportName("");
    manager_.SetVolume(savedVolume_);
    manager_.SetMute(savedMute_);
  }

  std::vector<std::string> Results() const {
    std::vector<std::string> texts;
    for (const std::wstring& r : holder_.results) texts.push_back(vexa::platform::WideToAnsi(r));
    return texts;
  }

  fscommand_test::CFakeHolder holder_;
  CVolumeControlManager manager_;
  int32_t savedVolume_ = 0;
  int32_t savedMute_ = 0;
};

TEST_F(RealMixerTest, EveryPercentIsSetAndReadBack) {
  const vexa::platform::MixerSpeakersLine& line = manager_.FindControl()->GetLine();
  EXPECT_GT(line.volume_maximum, 0u);
  // A second look at the raw value: a mixer that keeps the volume in a scale of its own (Wine
  // keeps a fraction) may hold a unit less than was written, which reads as the percent below.
  NoListener listener;
  std::unique_ptr<vexa::platform::IMixerDevice> raw = vexa::platform::CreateSystemMixer();
  vexa::platform::MixerSpeakersLine rawLine;
  ASSERT_TRUE(raw->Open(&listener, &rawLine));
  for (int32_t percent = 0; percent <= 100; ++percent) {
    ASSERT_EQ(S_OK, manager_.SetVolume(percent));
    int32_t read = -1;
    ASSERT_EQ(S_OK, manager_.GetVolume(&read));
    uint32_t held = 0;
    ASSERT_TRUE(raw->ReadControl(rawLine.volume_control_id, &held));
    const uint32_t written = vexa::system::PercentToMixer(percent, line.volume_maximum);
    ASSERT_TRUE(held == written || held + 1 == written) << percent << "%: " << held;
    ASSERT_EQ(vexa::system::MixerToPercent(held, line.volume_maximum), read) << percent << "%";
    if (held == written) ASSERT_EQ(percent, read);
  }
  raw->Close();
  // Out of range: clamped, not wrapped.
  ASSERT_EQ(S_OK, manager_.SetVolume(1000));
  int32_t read = -1;
  ASSERT_EQ(S_OK, manager_.GetVolume(&read));
  EXPECT_EQ(100, read);
  ASSERT_EQ(S_OK, manager_.SetVolume(-5));
  ASSERT_EQ(S_OK, manager_.GetVolume(&read));
  EXPECT_EQ(0, read);
}

TEST_F(RealMixerTest, MuteIsSetAndReadBack) {
  for (const int32_t mute : {1, 0, 1, 0}) {
    ASSERT_EQ(S_OK, manager_.SetMute(mute));
    int32_t read = -1;
    ASSERT_EQ(S_OK, manager_.GetMute(&read));
    EXPECT_EQ(mute, read);
  }
}

TEST_F(RealMixerTest, APostedNoticeReachesTheHolderOnlyForItsOwnLineAndControls) {
  const std::vector<HWND> windows = NoticeWindows();
  ASSERT_EQ(1u, windows.size());
  EXPECT_FALSE(IsWindowVisible(windows[0]));
  const vexa::platform::MixerSpeakersLine line = manager_.FindControl()->GetLine();

  ASSERT_EQ(S_OK, manager_.SetVolume(30));
  ASSERT_EQ(S_OK, manager_.SetMute(0));
  manager_.SetReportName("volumeChanged");
  // Whatever the mixer sends about our own change (Wine: nothing) is not part of this test.
  Pump();
  holder_.results.clear();

  struct Notice {
    UINT message;
    WPARAM mixer;
    LPARAM id;
    bool counts;
  };
  const WPARAM ours = static_cast<WPARAM>(line.mixer);
  const Notice notices[] = {
      {MM_MIXM_CONTROL_CHANGE, ours, static_cast<LPARAM>(line.volume_control_id), true},
      {MM_MIXM_CONTROL_CHANGE, ours, static_cast<LPARAM>(line.mute_control_id), true},
      {MM_MIXM_LINE_CHANGE, ours, static_cast<LPARAM>(line.line_id), true},
      {MM_MIXM_CONTROL_CHANGE, ours, static_cast<LPARAM>(line.line_id) + 1000, false},
      {MM_MIXM_LINE_CHANGE, ours, static_cast<LPARAM>(line.line_id) + 1000, false},
      {MM_MIXM_CONTROL_CHANGE, ours + 1, static_cast<LPARAM>(line.volume_control_id), false},
  };
  for (const Notice& n : notices) {
    holder_.results.clear();
    ASSERT_TRUE(PostMessageW(windows[0], n.message, n.mixer, n.id));
    Pump(30);
    if (n.counts) {
      EXPECT_EQ(std::vector<std::string>{"30 0"}, Results()) << n.message << " " << n.id;
    } else {
      EXPECT_TRUE(holder_.results.empty()) << n.message << " " << n.id;
    }
  }
  // Muted from "outside": the report says so.
  ASSERT_EQ(S_OK, manager_.SetMute(1));
  Pump();
  holder_.results.clear();
  PostMessageW(windows[0], MM_MIXM_CONTROL_CHANGE, ours, static_cast<LPARAM>(line.mute_control_id));
  Pump(30);
  EXPECT_EQ(std::vector<std::string>{"30 1"}, Results());
}

TEST_F(RealMixerTest, TwoControlsKeepTheirNoticesApartAndCloseTheirWindows) {
  fscommand_test::CFakeHolder otherHolder;
  {
    CVolumeControlManager other;
    other.SetHolder(&otherHolder);
    other.SetReportName("other");
    ASSERT_TRUE(other.FindControl()->IsOpened()) << "the class registered twice must still work";
    manager_.SetReportName("mine");
    std::vector<HWND> windows = NoticeWindows();
    ASSERT_EQ(2u, windows.size());
    Pump();
    holder_.results.clear();
    otherHolder.results.clear();
    // Each window belongs to one control: a notice naming the other control's mixer is not
    // taken by it, and the notice of each control's own mixer reaches only its holder.
    for (HWND window : windows) {
      PostMessageW(window, MM_MIXM_CONTROL_CHANGE,
                   static_cast<WPARAM>(manager_.FindControl()->GetLine().mixer),
                   static_cast<LPARAM>(manager_.FindControl()->GetLine().volume_control_id));
    }
    Pump(30);
    ASSERT_NE(other.FindControl()->GetLine().mixer, manager_.FindControl()->GetLine().mixer);
    EXPECT_EQ(1u, holder_.results.size());
    EXPECT_TRUE(otherHolder.results.empty());
  }
  // The other control's window went with it.
  EXPECT_EQ(1u, NoticeWindows().size());
}

}  // namespace
