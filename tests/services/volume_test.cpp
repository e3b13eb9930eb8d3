// The volume control and its manager against a fake mixer: percent scaling, clamping, a mixer that
// does not open, which change notices count, and the reports that go to the movie. The same tests
// run in the Windows builds, so the scaling is checked on both targets.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_mixer.h"
#include "fscommand/fakes.h"
#include "fscommand/processor.h"
#include "platform/mixer.h"
#include "system/volume.h"

namespace {

using services_test::Fake;
using services_test::kHandle;
using services_test::kLine;
using services_test::kMuteId;
using services_test::kVolumeId;
using services_test::MixerState;
using vexa::platform::kMsgMixerControlChange;
using vexa::platform::kMsgMixerLineChange;
using vexa::platform::MixerHandle;
using vexa::platform::MixerSpeakersLine;
using vexa::system::MixerToPercent;
using vexa::system::PercentToMixer;

// The scaling rule as it was first defined: the quotient rounded to single precision, then the
// ceiling (to the mixer) or the floor (to percent). `volatile` forces the rounding to float even
// where the compiler would keep more precision (x87 on i686).
uint32_t SinglePrecisionToMixer(uint32_t percent, uint32_t max) {
  volatile float quotient = static_cast<float>(static_cast<double>(percent * max) / 100.0);
  return static_cast<uint32_t>(std::ceil(quotient));
}

int32_t SinglePrecisionToPercent(uint32_t value, uint32_t max) {
  volatile float quotient = static_cast<float>(static_cast<double>(value * 100) / max);
  return static_cast<int32_t>(std::floor(quotient));
}

// ---- Scaling

TEST(VolumeScaling, MatchesTheSinglePrecisionRuleForEveryPercentOfTheUsualRanges) {
  // Mixer ranges seen in practice, plus maxima that are not multiples of 100. Up to 65535 the
  // single-precision quotient never crosses a whole number, so the exact result must agree.
  for (const uint32_t max : {1u, 2u, 3u, 7u, 99u, 100u, 101u, 255u, 1000u, 4095u, 32767u, 65535u}) {
    for (uint32_t p = 0; p <= 100; ++p) {
      const uint32_t value = PercentToMixer(static_cast<int32_t>(p), max);
      ASSERT_EQ(SinglePrecisionToMixer(p, max), value) << "max " << max << ", " << p << "%";
      ASSERT_EQ(SinglePrecisionToPercent(value, max), MixerToPercent(value, max))
          << "max " << max << ", value " << value;
    }
  }
}

TEST(VolumeScaling, EveryPercentRoundTripsWhereTheRangeHasTheSteps) {
  for (const uint32_t max :
       {100u, 101u, 255u, 1000u, 65535u, 65536u, 1u << 24, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    uint32_t previous = 0;
    for (int32_t p = 0; p <= 100; ++p) {
      const uint32_t value = PercentToMixer(p, max);
      ASSERT_EQ(p, MixerToPercent(value, max)) << "max " << max << ", " << p << "%";
      ASSERT_LE(value, max);
      if (p > 0) {
        ASSERT_GT(value, previous) << "max " << max << ", " << p << "%";
      }
      previous = value;
    }
    // Both ends exactly: a 32-bit product (100 x max) would have wrapped for the large maxima.
    EXPECT_EQ(0u, PercentToMixer(0, max));
    EXPECT_EQ(max, PercentToMixer(100, max));
    EXPECT_EQ(100, MixerToPercent(max, max));
  }
}

TEST(VolumeScaling, EveryRawValueReadsByTheFloorRule) {
  // Values the player wrote are not enough: the system's slider and other programs leave any
  // value in the mixer, and each must read as the floor, never as the next percent up. Values
  // above the maximum (a mixer that misreports) read as 100.
  for (const uint32_t max : {0u, 1u, 100u, 255u, 1000u, 65535u}) {
    const uint32_t range = max == 0 ? 1 : max;
    for (uint32_t value = 0; value <= range + 2; ++value) {
      const int32_t expected = value > range ? 100 : SinglePrecisionToPercent(value, range);
      ASSERT_EQ(expected, MixerToPercent(value, max)) << "max " << max << ", value " << value;
    }
  }
}

TEST(VolumeScaling, OneUnitBelowAPercentsStepReadsAsThePercentBelow) {
  // The step of p is the least value that reads as p, so the unit below it belongs to p - 1.
  for (const uint32_t max : {100u, 255u, 1000u, 4095u, 32767u, 65535u}) {
    for (int32_t p = 1; p <= 100; ++p) {
      ASSERT_EQ(p - 1, MixerToPercent(PercentToMixer(p, max) - 1, max))
          << "max " << max << ", " << p;
    }
  }
  struct Case {
    uint32_t value;
    int32_t percent;
  };
  for (const Case& c : {Case{16383, 24}, Case{16384, 25}, Case{655, 0}, Case{656, 1},
                        Case{65534, 99}, Case{65535, 100}}) {
    EXPECT_EQ(c.percent, MixerToPercent(c.value, 65535)) << c.value;
  }
}

TEST(VolumeScaling, SmallRangesKeepBothEnds) {
  for (const uint32_t max : {1u, 2u, 3u, 7u, 99u}) {
    EXPECT_EQ(0u, PercentToMixer(0, max));
    EXPECT_EQ(max, PercentToMixer(100, max));
    EXPECT_EQ(0, MixerToPercent(0, max));
    EXPECT_EQ(100, MixerToPercent(max, max));
  }
}

TEST(VolumeScaling, ExampleOfTheHalfwayPoint) {
  EXPECT_EQ(32768u, PercentToMixer(50, 65535));
  EXPECT_EQ(50, MixerToPercent(32768, 65535));
}

TEST(VolumeScaling, OutOfRangeInputIsClamped) {
  struct Case {
    int32_t percent;
    uint32_t expected;
  };
  for (const Case& c : {Case{-1, 0}, Case{std::numeric_limits<int32_t>::min(), 0}, Case{101, 65535},
                        Case{1000, 65535}, Case{std::numeric_limits<int32_t>::max(), 65535}}) {
    EXPECT_EQ(c.expected, PercentToMixer(c.percent, 65535)) << c.percent;
  }
  // A mixer reporting more than its maximum still reads as at most 100 percent.
  EXPECT_EQ(100, MixerToPercent(70000, 65535));
  EXPECT_EQ(100, MixerToPercent(0xFFFFFFFFu, 1));
}

TEST(VolumeScaling, AMaximumOfZeroCountsAsOne) {
  EXPECT_EQ(0u, PercentToMixer(0, 0));
  EXPECT_EQ(1u, PercentToMixer(1, 0));
  EXPECT_EQ(1u, PercentToMixer(100, 0));
  EXPECT_EQ(0, MixerToPercent(0, 0));
  EXPECT_EQ(100, MixerToPercent(1, 0));
}

// ---- CVolumeControl

class VolumeControlTest : public ::testing::Test, public CVolumeCallback {
 protected:
  void OnVolumeChanged(int32_t percent, bool muted) override {
    changes.push_back(std::to_string(percent) + (muted ? " muted" : " on"));
  }

  MixerState mixer_;
  std::vector<std::string> changes;
};

TEST_F(VolumeControlTest, ReadsAndWritesTheSpeakersControlsInPercent) {
  CVolumeControl control(Fake(&mixer_));
  ASSERT_TRUE(control.IsOpened());
  EXPECT_EQ(kVolumeId, control.GetLine().volume_control_id);

  mixer_.values[kVolumeId] = 49152;  // three quarters
  int32_t percent = -1;
  ASSERT_TRUE(control.GetVolume(&percent));
  EXPECT_EQ(75, percent);

  ASSERT_TRUE(control.SetVolume(20));
  ASSERT_TRUE(control.SetVolume(100));
  ASSERT_TRUE(control.SetVolume(0));
  ASSERT_TRUE(control.SetVolume(250));  // clamped
  const std::vector<std::pair<uint32_t, uint32_t>> volumes{
      {kVolumeId, 13107}, {kVolumeId, 65535}, {kVolumeId, 0}, {kVolumeId, 65535}};
  EXPECT_EQ(volumes, mixer_.written);

  mixer_.written.clear();
  ASSERT_TRUE(control.SetMute(true));
  ASSERT_TRUE(control.SetMute(false));
  const std::vector<std::pair<uint32_t, uint32_t>> mutes{{kMuteId, 1}, {kMuteId, 0}};
  EXPECT_EQ(mutes, mixer_.written);

  bool muted = true;
  mixer_.values[kMuteId] = 1;
  ASSERT_TRUE(control.GetMute(&muted));
  EXPECT_TRUE(muted);
  mixer_.values[kMuteId] = 0;
  ASSERT_TRUE(control.GetMute(&muted));
  EXPECT_FALSE(muted);
}

TEST_F(VolumeControlTest, FailedReadsAndWritesReportFailureAndLeaveTheOutputs) {
  CVolumeControl control(Fake(&mixer_));
  ASSERT_TRUE(control.IsOpened());
  mixer_.reads = false;
  mixer_.writes = false;
  int32_t percent = 33;
  bool muted = true;
  EXPECT_FALSE(control.GetVolume(&percent));
  EXPECT_FALSE(control.GetMute(&muted));
  EXPECT_FALSE(control.SetVolume(50));
  EXPECT_FALSE(control.SetMute(true));
  EXPECT_EQ(33, percent);
  EXPECT_TRUE(muted);
}

TEST_F(VolumeControlTest, AMixerThatDoesNotOpenLeavesTheControlClosedForGood) {
  mixer_.opens = false;
  CVolumeControl control(Fake(&mixer_));
  control.SetCallback(this);
  EXPECT_FALSE(control.IsOpened());
  int32_t percent = 5;
  bool muted = true;
  EXPECT_FALSE(control.GetVolume(&percent));
  EXPECT_FALSE(control.SetVolume(10));
  EXPECT_FALSE(control.GetMute(&muted));
  EXPECT_FALSE(control.SetMute(false));
  EXPECT_EQ(5, percent);
  EXPECT_TRUE(muted);
  // Never tried again, never touched for values.
  EXPECT_EQ(1, mixer_.openCalls);
  EXPECT_EQ(0, mixer_.readCalls);
  EXPECT_TRUE(mixer_.written.empty());

  CVolumeControl none(nullptr);
  EXPECT_FALSE(none.IsOpened());
  EXPECT_FALSE(none.GetVolume(&percent));
  EXPECT_FALSE(none.SetMute(true));
}

struct NoticeCase {
  const char* what;
  uint32_t message;
  MixerHandle mixer;
  uint32_t id;
  bool counts;
};

TEST_F(VolumeControlTest, OnlyNoticesOfItsOwnMixerLineAndControlsCount) {
  const NoticeCase cases[] = {
      {"line change of the speakers line", kMsgMixerLineChange, kHandle, kLine, true},
      {"volume control change", kMsgMixerControlChange, kHandle, kVolumeId, true},
      {"mute control change", kMsgMixerControlChange, kHandle, kMuteId, true},
      {"another line", kMsgMixerLineChange, kHandle, kLine + 1, false},
      {"another control", kMsgMixerControlChange, kHandle, 99, false},
      {"a line change naming the volume control's id", kMsgMixerLineChange, kHandle, kVolumeId,
       false},
      {"a control change naming the line's id", kMsgMixerControlChange, kHandle, kLine, false},
      {"another mixer's volume control", kMsgMixerControlChange, kHandle + 1, kVolumeId, false},
      {"another mixer's line", kMsgMixerLineChange, 0, kLine, false},
      {"another message", 0x3D2, kHandle, kVolumeId, false},
  };
  CVolumeControl control(Fake(&mixer_));
  control.SetCallback(this);
  mixer_.values[kVolumeId] = 65535 / 4 + 1;  // 25 %
  mixer_.values[kMuteId] = 1;
  for (const NoticeCase& c : cases) {
    changes.clear();
    mixer_.Notice(c.message, c.mixer, c.id);
    if (c.counts) {
      EXPECT_EQ(std::vector<std::string>{"25 muted"}, changes) << c.what;
    } else {
      EXPECT_TRUE(changes.empty()) << c.what;
    }
  }
}

TEST_F(VolumeControlTest, ANoticeWhoseValuesCannotBeReadReportsZeroAndNotMuted) {
  CVolumeControl control(Fake(&mixer_));
  control.SetCallback(this);
  mixer_.values[kVolumeId] = 65535;
  mixer_.values[kMuteId] = 1;
  mixer_.reads = false;
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  EXPECT_EQ(std::vector<std::string>{"0 on"}, changes);
}

TEST_F(VolumeControlTest, NoNoticeIsPassedOnBeforeTheControlIsOpenOrWithoutCallback) {
  // A notice that arrives while the mixer is still being opened finds no opened control.
  mixer_.noticeWhileOpening = true;
  CVolumeControl control(Fake(&mixer_));
  ASSERT_TRUE(control.IsOpened());
  EXPECT_EQ(0, mixer_.readCalls);

  // Without a callback nothing is read either.
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  EXPECT_EQ(0, mixer_.readCalls);

  control.SetCallback(this);
  control.SetCallback(nullptr);
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  EXPECT_TRUE(changes.empty());
}

TEST_F(VolumeControlTest, DestroyingTheControlClosesTheMixerAndEndsTheNotices) {
  {
    CVolumeControl control(Fake(&mixer_));
    control.SetCallback(this);
  }
  EXPECT_GE(mixer_.closeCalls, 1);
  EXPECT_EQ(nullptr, mixer_.listener);
}

// ---- CVolumeControlManager

class VolumeManagerTest : public ::testing::Test {
 protected:
  VolumeManagerTest() : manager_([this] { return Fake(&mixer_); }) { manager_.SetHolder(&holder_); }

  std::vector<std::string> Results() const {
    std::vector<std::string> texts;
    for (const std::wstring& r : holder_.results) texts.push_back(vexa::platform::WideToAnsi(r));
    return texts;
  }

  MixerState mixer_;
  fscommand_test::CFakeHolder holder_;
  CVolumeControlManager manager_;
};

TEST_F(VolumeManagerTest, TheMixerOpensOnTheFirstOperationOnly) {
  EXPECT_EQ(nullptr, manager_.FindControl());
  EXPECT_EQ(0, mixer_.openCalls);
  EXPECT_EQ(S_OK, manager_.SetReportName("vol"));
  ASSERT_NE(nullptr, manager_.FindControl());
  int32_t volume = -1;
  EXPECT_EQ(S_OK, manager_.GetVolume(&volume));
  EXPECT_EQ(S_OK, manager_.SetMute(1));
  EXPECT_EQ(1, mixer_.openCalls);
  // The factory cannot be changed under an existing control.
  EXPECT_FALSE(manager_.SetMixerFactory(nullptr));
}

TEST_F(VolumeManagerTest, ChangesAreReportedUnderTheNameOnlyWhileItIsSet) {
  mixer_.values[kVolumeId] = 49152;
  manager_.GetControl();
  // No name yet: the slider moves, the movie hears nothing.
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  EXPECT_TRUE(holder_.results.empty());

  manager_.SetReportName("onVolume");
  mixer_.values[kMuteId] = 1;
  mixer_.Notice(kMsgMixerControlChange, kHandle, kMuteId);
  mixer_.values[kMuteId] = 0;
  mixer_.Notice(kMsgMixerLineChange, kHandle, kLine);
  EXPECT_EQ((std::vector<std::string>{"75 1", "75 0"}), Results());
  EXPECT_EQ((std::vector<std::wstring>{L"onVolume", L"onVolume"}), holder_.resultNames);

  manager_.SetReportName("");
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  manager_.SetReportName(nullptr);
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  EXPECT_EQ(2u, holder_.results.size());

  // Without a holder there is nowhere to report to.
  manager_.SetReportName("onVolume");
  manager_.SetHolder(nullptr);
  EXPECT_FALSE(manager_.HasResultSink());
  mixer_.Notice(kMsgMixerControlChange, kHandle, kVolumeId);
  EXPECT_EQ(2u, holder_.results.size());
}

TEST_F(VolumeManagerTest, AClosedMixerFailsEveryOperationButTheName) {
  mixer_.opens = false;
  int32_t volume = 7;
  int32_t muted = 7;
  EXPECT_EQ(E_FAIL, manager_.GetVolume(&volume));
  EXPECT_EQ(E_FAIL, manager_.SetVolume(50));
  EXPECT_EQ(E_FAIL, manager_.GetMute(&muted));
  EXPECT_EQ(E_FAIL, manager_.SetMute(1));
  EXPECT_EQ(S_OK, manager_.SetReportName("x"));
  EXPECT_EQ(7, volume);
  EXPECT_EQ(7, muted);
  EXPECT_EQ(1, mixer_.openCalls);
  EXPECT_EQ(E_POINTER, manager_.GetVolume(nullptr));
}

TEST_F(VolumeManagerTest, TheCommandsDriveTheMixer) {
  CFSCommandProcessor processor;
  processor.SetHolder(&holder_);
  processor.SetVolumeService(&manager_);
  const struct {
    const wchar_t* command;
    const wchar_t* argument;
    uint32_t written;  // the volume value the mixer holds afterwards
  } sets[] = {
      {L"VCSV", L"50", 32768}, {L"VCSV", L"100", 65535},         {L"VCSV", L"150", 65535},
      {L"VCSV", L"-20", 0},    {L"VCSV", L"99999999999", 65535}, {L"VCSV", L"", 0},
      {L"vcsv", L"1", 656},
  };
  for (const auto& s : sets) {
    processor.OnFSCommand(s.command, s.argument);
    EXPECT_EQ(s.written, mixer_.values[kVolumeId]) << s.command << " " << s.argument;
  }
  processor.OnFSCommand(L"VCGV", L"level");
  processor.OnFSCommand(L"VCSM", L"true");
  processor.OnFSCommand(L"VCGM", L"mute");
  processor.OnFSCommand(L"VCSM", L"off");
  processor.OnFSCommand(L"VCGM", L"mute");
  EXPECT_EQ((std::vector<std::string>{"1", "1", "0"}), Results());
}

}  // namespace
