// CDisplayModes over a fake display: the display table, the layout, the FSMODES choice, the
// full-screen mode, entering and leaving (with refused changes, failed restores and a system that
// keeps moving the window), the watchdog and the activation and power rules, the remembered
// preferences and the restore of the desktop at close and after a killed run.
#include "player/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fake_display.h"

namespace {

using namespace display_test;
using ::testing::TestWithParam;
using ::testing::ValuesIn;
using vexa::player::CDisplayModes;
using vexa::player::DisplayMode;
using vexa::player::ModeRecord;
using vexa::player::SwitchMarker;
using Log = std::vector<std::string>;

const char kPrimary[] = "\\\\.\\DISPLAY1";
const char kSecond[] = "\\\\.\\DISPLAY2";

// What common hardware lists: 4:3, 5:4, 16:9 and 16:10 sizes at 32 and 16 bits.
std::vector<DisplayMode> CommonModes() {
  std::vector<DisplayMode> modes;
  for (uint32_t bits : {16u, 32u}) {
    for (auto size : {std::pair{640u, 480u},
                      {800u, 600u},
                      {1024u, 768u},
                      {1280u, 720u},
                      {1280u, 1024u},
                      {1366u, 768u},
                      {1680u, 1050u},
                      {1920u, 1080u}}) {
      modes.push_back(Mode(size.first, size.second, bits));
    }
  }
  return modes;
}

FakeDevice Device(const char* name, int32_t x, int32_t y, DisplayMode desktop,
                  std::vector<DisplayMode> modes = CommonModes()) {
  FakeDevice device;
  device.name = name;
  device.x = x;
  device.y = y;
  device.desktop = desktop;
  device.current = desktop;
  device.modes = std::move(modes);
  return device;
}

bool Contains(const Log& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

size_t Count(const Log& log, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
    return line.compare(0, prefix.size(), prefix) == 0;
  }));
}

size_t IndexOf(const Log& log, const std::string& line) {
  return static_cast<size_t>(std::find(log.begin(), log.end(), line) - log.begin());
}

// One 1920 x 1080 monitor at 32 bits, an 800 x 600 movie in a captioned, centred window that is
// in the foreground.
class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    display.devices.push_back(Device(kPrimary, 0, 0, Mode(1920, 1080, 32)));
    client.settings.clientWidth = 800;
    client.settings.clientHeight = 600;
    client.settings.caption = true;
    client.settings.centred = true;
    client.current = Variant(800, 600, "");
    display.windows[kFrame].rect = Rect(100, 100, 906, 725);
    display.windows[kFrame].device = kPrimary;
    display.windows[kOther].device = kPrimary;
    display.foreground = kFrame;
    modes.SetWindow(kFrame);
    modes.DetectDisplays();
    modes.LayoutWindow();
    display.log.clear();
  }

  void AddSecondMonitor(int32_t x, int32_t y, DisplayMode desktop) {
    display.devices.push_back(Device(kSecond, x, y, desktop));
    display.windows[kOtherOnSecond].device = kSecond;
  }

  // Full screen entered, the log cleared.
  void Enter() {
    ASSERT_EQ(S_OK, modes.SetFullScreen(true));
    ASSERT_TRUE(modes.IsFullScreen());
    display.log.clear();
  }

  CFakeDisplay display;
  CFakeClient client;
  CDisplayModes modes{&display, &client};
};

// ---- The full-screen mode

struct CandidateCase {
  const char* name;
  DisplayMode mode;
  DisplayMode desktop;
  uint32_t movieWidth;
  uint32_t movieHeight;
  bool keepAspect;
  bool candidate;
};

const CandidateCase kCandidateCases[] = {
    {"SameAspect", Mode(1280, 720), Mode(1920, 1080), 800, 600, true, true},
    {"FourThreeOnWideDesktop", Mode(1024, 768), Mode(1920, 1080), 800, 600, true, false},
    {"FourThreeWithoutAspectRule", Mode(1024, 768), Mode(1920, 1080), 800, 600, false, true},
    // 1366 / 768 = 1.779 and 1680 / 1050 = 1.6 against 1.778: within and beyond 0.1.
    {"NearlySixteenNine", Mode(1366, 768), Mode(1920, 1080), 800, 600, true, true},
    {"SixteenTenIsTooFar", Mode(1680, 1050), Mode(1920, 1080), 800, 600, true, false},
    {"OtherDepth", Mode(1280, 720, 16), Mode(1920, 1080, 32), 800, 600, true, false},
    {"ExactlyTheMovie", Mode(800, 600), Mode(1024, 768), 800, 600, true, true},
    {"OnePixelTooNarrow", Mode(799, 600), Mode(1024, 768), 800, 600, false, false},
    {"OnePixelTooLow", Mode(800, 599), Mode(1024, 768), 800, 600, false, false},
    {"ModeWithoutHeight", Mode(800, 0), Mode(1024, 768), 0, 0, true, false},
    {"DesktopWithoutHeight", Mode(800, 600), Mode(1024, 0), 800, 600, true, false},
    {"DesktopWithoutHeightNoAspectRule", Mode(800, 600), Mode(1024, 0), 800, 600, false, true},
};

class CandidateTest : public TestWithParam<CandidateCase> {};

TEST_P(CandidateTest, Decides) {
  const CandidateCase& c = GetParam();
  EXPECT_EQ(c.candidate, vexa::player::IsFullScreenCandidate(c.mode, c.desktop, c.movieWidth,
                                                             c.movieHeight, c.keepAspect));
}

INSTANTIATE_TEST_SUITE_P(Modes, CandidateTest, ValuesIn(kCandidateCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayTest, WideDesktopGetsTheSmallestWideModeWithTheAspectRule) {
  vexa::player::MonitorInfo monitor{kPrimary, Rect(0, 0, 1920, 1080)};
  ModeRecord found;
  ASSERT_EQ(S_OK, modes.FindFullScreenMode(&found, monitor, true));
  EXPECT_EQ(1280, found.displayWidth);
  EXPECT_EQ(720, found.displayHeight);
  ASSERT_EQ(S_OK, modes.FindFullScreenMode(&found, monitor, false));
  EXPECT_EQ(800, found.displayWidth);
  EXPECT_EQ(600, found.displayHeight);
  // The movie part comes from the current variant.
  EXPECT_EQ(800, found.movieWidth);
  EXPECT_EQ(600, found.movieHeight);
}

TEST_F(DisplayTest, FirstOfEqualAreasWinsAndTheSuffixIsCarried) {
  // 1000 x 600 and 800 x 750 leave the same area around a 700 x 500 movie.
  display.devices[0].modes = {Mode(1920, 1080), Mode(1000, 600), Mode(800, 750)};
  client.current = Variant(700, 500, "?big=1");
  vexa::player::MonitorInfo monitor{kPrimary, Rect(0, 0, 1920, 1080)};
  ModeRecord found;
  ASSERT_EQ(S_OK, modes.FindFullScreenMode(&found, monitor, false));
  EXPECT_EQ(1000, found.displayWidth);
  EXPECT_EQ(600, found.displayHeight);
  EXPECT_STREQ("?big=1", found.urlSuffix.c_str());
  display.devices[0].modes = {Mode(800, 750), Mode(1000, 600)};
  ASSERT_EQ(S_OK, modes.FindFullScreenMode(&found, monitor, false));
  EXPECT_EQ(800, found.displayWidth);
}

TEST_F(DisplayTest, NoModeHoldsTheMovie) {
  client.current = Variant(2560, 1440, "");
  vexa::player::MonitorInfo monitor{kPrimary, Rect(0, 0, 1920, 1080)};
  ModeRecord found;
  EXPECT_EQ(E_FAIL, modes.FindFullScreenMode(&found, monitor, true));
  EXPECT_EQ(E_FAIL, modes.FindFullScreenMode(&found, monitor, false));
}

TEST_F(DisplayTest, TheScannedModeIsUsedNotOneReadAgainByIndex) {
  // Index 2 holds 1280 x 720 during the scan; read again afterwards, the list answers 1920 x 1080
  // there.
  display.devices[0].modes = {Mode(640, 480, 16), Mode(1920, 1080), Mode(1280, 720),
                              Mode(1024, 768)};
  display.reverseAfterFirstPass = true;
  modes.SetFullScreen(true);
  EXPECT_TRUE(Contains(display.log, std::string("change ") + kPrimary + " 1280x720x32"));
}

// ---- Layout

struct LayoutCase {
  const char* name;
  int32_t clientWidth;
  int32_t clientHeight;
  bool caption;
  bool centred;
  int32_t x;  // POSITION
  int32_t y;
  int32_t monitorX;  // the window's monitor, 1920 x 1080
  int32_t monitorY;
  WindowRect expected;
};

const LayoutCase kLayoutCases[] = {
    // 800 x 600 plus 2 x 3 frame and 19 + 2 x 3 caption: 806 x 625.
    {"CentredWithCaption", 800, 600, true, true, 0, 0, 0, 0, Rect(557, 227, 1363, 852)},
    {"CentredWithoutCaption", 800, 600, false, true, 0, 0, 0, 0, Rect(560, 240, 1360, 840)},
    {"OddSpareHalvesTruncate", 801, 601, false, true, 0, 0, 0, 0, Rect(559, 239, 1360, 840)},
    {"AtPosition", 800, 600, true, false, 10, 20, 0, 0, Rect(10, 20, 816, 645)},
    {"AtPositionOnRightMonitor", 800, 600, true, false, 10, 20, 1920, 0, Rect(1930, 20, 2736, 645)},
    {"CentredRightOfPrimary", 800, 600, true, true, 0, 0, 1920, 0, Rect(2477, 227, 3283, 852)},
    // Monitors left of and above the primary one: the window stays on its monitor.
    {"CentredLeftOfPrimary", 800, 600, true, true, 0, 0, -1920, 0, Rect(-1363, 227, -557, 852)},
    {"CentredAbovePrimary", 800, 600, true, true, 0, 0, 0, -1080, Rect(557, -853, 1363, -228)},
    {"LargerThanItsMonitorLeftOfPrimary", 2000, 1200, true, true, 0, 0, -1920, 0,
     Rect(-1920, 0, 86, 1225)},
    {"LargerThanThePrimaryMonitor", 2000, 1200, false, true, 0, 0, 0, 0, Rect(0, 0, 2000, 1200)},
};

class LayoutTest : public DisplayTest, public ::testing::WithParamInterface<LayoutCase> {};

TEST_P(LayoutTest, PlacesTheWindow) {
  const LayoutCase& c = GetParam();
  display.devices[0].x = c.monitorX;
  display.devices[0].y = c.monitorY;
  client.settings.clientWidth = c.clientWidth;
  client.settings.clientHeight = c.clientHeight;
  client.settings.caption = c.caption;
  client.settings.centred = c.centred;
  client.settings.x = c.x;
  client.settings.y = c.y;
  modes.DetectDisplays();
  display.log.clear();
  ASSERT_EQ(S_OK, modes.LayoutWindow());
  EXPECT_EQ((Log{c.caption ? "caption on" : "caption off", "place keep " + Text(c.expected)}),
            display.log);
  EXPECT_EQ(c.expected.right - c.expected.left, modes.GetOuterWidth());
  EXPECT_EQ(c.expected.bottom - c.expected.top, modes.GetOuterHeight());
}

INSTANTIATE_TEST_SUITE_P(Layouts, LayoutTest, ValuesIn(kLayoutCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayTest, LayoutWithoutWindowDoesNothing) {
  CDisplayModes without(&display, &client);
  EXPECT_EQ(E_UNEXPECTED, without.LayoutWindow());
  EXPECT_TRUE(display.log.empty());
}

TEST_F(DisplayTest, LayoutInFullScreenOnlyChangesTheWindowedPlacement) {
  Enter();
  client.settings.clientWidth = 640;
  client.settings.clientHeight = 480;
  ASSERT_EQ(S_OK, modes.LayoutWindow());
  EXPECT_TRUE(display.log.empty()) << display.log.front();
  EXPECT_EQ(1280, modes.GetOuterWidth());
  EXPECT_EQ(720, modes.GetOuterHeight());
  // Leaving puts the window where the new layout says (on the desktop, not the 1280 x 720 mode).
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_EQ(Text(Rect(637, 287, 1283, 792)), Text(display.frame()->rect));
  EXPECT_EQ(646, modes.GetOuterWidth());
}

// ---- The display table

TEST_F(DisplayTest, TableHoldsTheWindowsMonitorAndEveryReadableDevice) {
  AddSecondMonitor(-1280, 0, Mode(1280, 1024, 16));
  FakeDevice unreadable = Device("\\\\.\\DISPLAY3", 0, 0, Mode(3840, 2160, 32));
  unreadable.readable = false;
  display.devices.push_back(unreadable);
  display.devices.push_back(Device("\\\\.\\DISPLAY4", 1920, 0, Mode(1024, 768, 24)));
  modes.DetectDisplays();
  const auto& table = modes.GetTable();
  const int32_t widths[] = {1920, 1920, 1280, 1024, 0};
  const int32_t heights[] = {1080, 1080, 1024, 768, 0};
  const int32_t depths[] = {32, 32, 16, 24, 0};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(widths[i], table.widths[i]) << i;
    EXPECT_EQ(heights[i], table.heights[i]) << i;
    EXPECT_EQ(depths[i], table.depths[i]) << i;
  }
  // The largest of each column, taken separately.
  int32_t w = 0;
  int32_t h = 0;
  int32_t d = 0;
  ASSERT_EQ(S_OK, modes.GetMaxDisplayMode(&w, &h, &d));
  EXPECT_EQ(1920, w);
  EXPECT_EQ(1080, h);
  EXPECT_EQ(32, d);
}

TEST_F(DisplayTest, MaxDisplayModeTakesEachColumnSeparately) {
  display.devices[0] = Device(kPrimary, 0, 0, Mode(1280, 1024, 16));
  AddSecondMonitor(1280, 0, Mode(1920, 1080, 32));
  modes.DetectDisplays();
  int32_t w = 0;
  int32_t h = 0;
  int32_t d = 0;
  ASSERT_EQ(S_OK, modes.GetMaxDisplayMode(&w, &h, &d));
  EXPECT_EQ(1920, w);
  EXPECT_EQ(1080, h);
  EXPECT_EQ(32, d);
  EXPECT_EQ(E_POINTER, modes.GetMaxDisplayMode(nullptr, &h, &d));
}

TEST_F(DisplayTest, MoreDevicesThanTheTableHolds) {
  for (int i = 2; i <= 30; ++i) {
    display.devices.push_back(Device(("\\\\.\\DISPLAY" + std::to_string(i)).c_str(), 0, 0,
                                     Mode(static_cast<uint32_t>(1000 + i), 700, 32)));
  }
  modes.DetectDisplays();
  const auto& table = modes.GetTable();
  // Entries 1 to 19: the first 19 devices; the 20th and later are not stored (nor anywhere else).
  EXPECT_EQ(1920, table.widths[1]);
  EXPECT_EQ(1019, table.widths[19]);
  EXPECT_EQ(1920, table.widths[0]);
  EXPECT_EQ(1080, table.heights[0]);
  EXPECT_EQ(32, table.depths[0]);
  int32_t w = 0;
  int32_t h = 0;
  int32_t d = 0;
  modes.GetMaxDisplayMode(&w, &h, &d);
  EXPECT_EQ(1920, w);
}

TEST_F(DisplayTest, AnEndlessDeviceListEnds) {
  display.endlessDevices = true;
  display.devices[0].readable = false;  // no device name the list gives can be read
  display.devices[0].name = "none";
  modes.DetectDisplays();
  for (int i = 1; i < vexa::player::kDisplayTableSize; ++i)
    EXPECT_EQ(0, modes.GetTable().widths[i]);
}

TEST_F(DisplayTest, DetectingShrinksTheTableAgain) {
  AddSecondMonitor(1920, 0, Mode(1280, 1024));
  modes.DetectDisplays();
  ASSERT_EQ(1280, modes.GetTable().widths[2]);
  display.devices.pop_back();
  modes.DetectDisplays();
  EXPECT_EQ(0, modes.GetTable().widths[2]);
}

TEST_F(DisplayTest, WithoutWindowEntryZeroIsTheScreen) {
  CDisplayModes early(&display, &client);
  display.devices[0].current = Mode(1600, 900, 16);
  early.DetectDisplays();
  EXPECT_EQ(1600, early.GetTable().widths[0]);
  EXPECT_EQ(900, early.GetTable().heights[0]);
  EXPECT_EQ(16, early.GetTable().depths[0]);
}

// ---- The remembered monitor

TEST_F(DisplayTest, RememberedMonitorLeftOfPrimaryGetsTheWindow) {
  AddSecondMonitor(-1920, 0, Mode(1920, 1080));
  client.saves["monitorinfo"] = kSecond;
  modes.RestoreRememberedDisplay();
  EXPECT_EQ(kSecond, modes.GetRememberedDevice());
  EXPECT_EQ(Text(Rect(-1363, 227, -557, 852)), Text(display.frame()->rect));
}

TEST_F(DisplayTest, RememberedMonitorThatIsGoneFallsBackToTheDefaultDevice) {
  AddSecondMonitor(-1920, 0, Mode(1280, 1024));
  display.devices[1].readable = false;
  client.saves["monitorinfo"] = kSecond;
  modes.RestoreRememberedDisplay();
  EXPECT_EQ(1920, modes.GetTable().widths[0]);
  EXPECT_EQ(Text(Rect(557, 227, 1363, 852)), Text(display.frame()->rect));
}

TEST_F(DisplayTest, RememberMonitorWritesTheWindowsDevice) {
  AddSecondMonitor(1920, 0, Mode(1280, 1024));
  display.frame()->device = kSecond;
  modes.RememberMonitor();
  EXPECT_EQ(kSecond, client.saves["monitorinfo"]);
  EXPECT_EQ("DEVICE", client.descriptions["monitorinfo"]);
}

// ---- FSMODES

struct VariantCase {
  const char* name;
  std::vector<ModeRecord> variants;
  uint32_t desktopWidth;
  uint32_t desktopHeight;
  const char* remembered;  // "monitorinfo", null: none
  const char* ratio;       // "ratioinfo", null: none
  const char* chosen;      // suffix of the variant made current
};

const std::vector<ModeRecord> kFourThreeAndWide = {
    Variant(800, 600, "4:3"), Variant(1024, 576, "16:9", 1), Variant(640, 480, "small")};

const VariantCase kVariantCases[] = {
    // 1920 x 1080 leaves the least around 1024 x 576 (589,824 > 480,000).
    {"LeastSpareArea", kFourThreeAndWide, 1920, 1080, nullptr, nullptr, "16:9"},
    {"OnlySmallFits", kFourThreeAndWide, 800, 500, nullptr, nullptr, "small"},
    {"NothingFitsTakesTheFirst", kFourThreeAndWide, 600, 400, nullptr, nullptr, "4:3"},
    {"FirstOfEquals",
     {Variant(800, 600, "a"), Variant(600, 800, "b")},
     1024,
     1024,
     nullptr,
     nullptr,
     "a"},
    // The wide preference on the remembered monitor: no 4:3 entry while a wide one fits.
    {"WidePreferenceOnThisMonitor",
     {Variant(1200, 900, "4:3"), Variant(1280, 720, "16:9", 1)},
     1920,
     1080,
     kPrimary,
     "ON",
     "16:9"},
    {"WidePreferenceNamesTheDeviceInOtherCase",
     {Variant(1200, 900, "4:3"), Variant(1280, 720, "16:9", 1)},
     1920,
     1080,
     "\\\\.\\display1",
     "on",
     "16:9"},
    {"WidePreferenceOnAnotherMonitorIsIgnored",
     {Variant(1200, 900, "4:3"), Variant(1280, 720, "16:9", 1)},
     1920,
     1080,
     kSecond,
     "ON",
     "4:3"},
    {"WidePreferenceOff",
     {Variant(1200, 900, "4:3"), Variant(1280, 720, "16:9", 1)},
     1920,
     1080,
     kPrimary,
     "OFF",
     "4:3"},
    // No wide entry fits: the preference is dropped and the best of all is taken.
    {"NoFittingWideEntry",
     {Variant(1024, 768, "4:3"), Variant(2560, 1440, "16:9", 1), Variant(640, 480, "small")},
     1920,
     1080,
     kPrimary,
     "ON",
     "4:3"},
};

class VariantTest : public DisplayTest, public ::testing::WithParamInterface<VariantCase> {};

TEST_P(VariantTest, Chooses) {
  const VariantCase& c = GetParam();
  display.devices[0].current = Mode(c.desktopWidth, c.desktopHeight);
  client.variants = c.variants;
  if (c.remembered) client.saves["monitorinfo"] = c.remembered;
  if (c.ratio) client.saves["ratioinfo"] = c.ratio;
  ASSERT_EQ(S_OK, modes.SelectMovieVariant());
  ASSERT_FALSE(client.used.empty());
  EXPECT_EQ(c.chosen, client.used.back());
}

INSTANTIATE_TEST_SUITE_P(Variants, VariantTest, ValuesIn(kVariantCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayTest, ChooseVariantWithThePreferenceAndNoFittingWideEntryChoosesNothing) {
  client.variants = {Variant(1024, 768, "4:3"), Variant(2560, 1440, "16:9", 1)};
  client.saves["monitorinfo"] = kPrimary;
  client.saves["ratioinfo"] = "ON";
  EXPECT_EQ(0, modes.ChooseVariant(true));
  EXPECT_TRUE(client.used.empty());
  EXPECT_EQ(2, modes.GetWidePreferenceState());
  EXPECT_EQ(1, modes.ChooseVariant(false));
}

TEST_F(DisplayTest, ChooseVariantWithoutListKeepsTheCurrentRecord) {
  EXPECT_EQ(1, modes.ChooseVariant(true));
  EXPECT_TRUE(client.used.empty());
}

TEST_F(DisplayTest, ChooseVariantFailsWhenTheMonitorCannotBeRead) {
  client.variants = kFourThreeAndWide;
  display.monitorFails = true;
  EXPECT_EQ(0, modes.ChooseVariant(true));
  EXPECT_TRUE(client.used.empty());
}

TEST_F(DisplayTest, VariantsChosenInFullScreenAreForTheDesktopNotTheFullScreenMode) {
  Enter();  // 1280 x 720 now
  client.variants = {Variant(1600, 900, "big", 1), Variant(800, 600, "small")};
  ASSERT_EQ(S_OK, modes.SelectMovieVariant());
  // 1600 x 900 does not fit the 1280 x 720 mode; it is the best for the 1920 x 1080 desktop.
  EXPECT_EQ("big", client.used.back());
}

// ---- Entering and leaving full screen

TEST_F(DisplayTest, EntersAndLeaves) {
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(modes.IsFullScreen());
  EXPECT_TRUE(modes.IsDisplaySwitched());
  const std::string change = std::string("change ") + kPrimary + " 1280x720x32";
  const std::string target = "place topmost " + Text(Rect(0, 0, 1280, 720));
  EXPECT_LT(IndexOf(display.log, std::string("marker ") + kPrimary), IndexOf(display.log, change));
  EXPECT_LT(IndexOf(display.log, change), IndexOf(display.log, "caption off"));
  EXPECT_EQ((Log{"caption off", "frame changed", target, "move 0,0,1280,720", target}),
            Log(display.log.begin() + IndexOf(display.log, "caption off"), display.log.end()));
  EXPECT_EQ(1280u, display.devices[0].current.width);
  EXPECT_TRUE(display.frame()->topmost);
  EXPECT_FALSE(display.frame()->caption);
  EXPECT_EQ(1280, modes.GetOuterWidth());
  EXPECT_EQ(720, modes.GetOuterHeight());
  // The desktop record keeps the desktop's mode.
  EXPECT_EQ(1920u, modes.GetDesktopMode().width);

  display.log.clear();
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_FALSE(modes.IsFullScreen());
  EXPECT_FALSE(modes.IsDisplaySwitched());
  const std::string back = "place notopmost " + Text(Rect(557, 227, 1363, 852));
  EXPECT_EQ((Log{"restore reset", "marker removed", "caption on", "clear exstyle", back,
                 "move 557,227,1363,852", "activate"}),
            display.log);
  EXPECT_EQ(1920u, display.devices[0].current.width);
  EXPECT_FALSE(display.frame()->topmost);
  EXPECT_EQ(806, modes.GetOuterWidth());
  EXPECT_EQ(625, modes.GetOuterHeight());
}

TEST_F(DisplayTest, EnteringTwiceAndLeavingTwiceChangeNothingMore) {
  Enter();
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(display.log.empty());
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  display.log.clear();
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_TRUE(display.log.empty());
}

TEST_F(DisplayTest, TheDesktopModeAlreadyFitsSoOnlyTheWindowMoves) {
  display.devices[0] = Device(kPrimary, 0, 0, Mode(800, 600, 32));
  client.settings.caption = false;
  modes.DetectDisplays();
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(modes.IsFullScreen());
  EXPECT_EQ(0u, Count(display.log, "change "));
  EXPECT_EQ(0u, Count(display.log, "marker "));
  EXPECT_TRUE(Contains(display.log, "place topmost 0,0,800,600"));
}

TEST_F(DisplayTest, WithoutTheAspectRuleTheSmallestModeOfAnyShapeIsTaken) {
  client.saves["favratio"] = "OFF";
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(Contains(display.log, std::string("change ") + kPrimary + " 800x600x32"));
}

TEST_F(DisplayTest, NoModeOfTheDesktopShapeFallsBackToAnyShape) {
  display.devices[0].modes = {Mode(1024, 768), Mode(1920, 1080, 16)};
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(Contains(display.log, std::string("change ") + kPrimary + " 1024x768x32"));
}

struct RefusalCase {
  const char* name;
  void (*arrange)(CFakeDisplay*, CFakeClient*);
};

const RefusalCase kRefusalCases[] = {
    {"NoModeHoldsTheMovie",
     [](CFakeDisplay*, CFakeClient* client) { client->current = Variant(2560, 1600, ""); }},
    {"NoModeAtTheDesktopDepth",
     [](CFakeDisplay* display, CFakeClient*) {
       display->devices[0].modes = {Mode(1280, 720, 16), Mode(1920, 1080, 16)};
     }},
    {"ChangeRefused", [](CFakeDisplay* display, CFakeClient*) { display->changeFails = true; }},
    {"MonitorUnreadable",
     [](CFakeDisplay* display, CFakeClient*) { display->monitorFails = true; }},
    {"CurrentModeUnreadable",
     [](CFakeDisplay* display, CFakeClient*) { display->devices[0].readable = false; }},
};

class RefusalTest : public DisplayTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(RefusalTest, LeavesEverythingAsItWas) {
  GetParam().arrange(&display, &client);
  const WindowRect before = display.frame()->rect;
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_FALSE(modes.IsFullScreen());
  EXPECT_FALSE(modes.IsDisplaySwitched());
  EXPECT_FALSE(modes.IsSwitchInProgress());
  EXPECT_EQ(Text(before), Text(display.frame()->rect));
  EXPECT_FALSE(display.frame()->topmost);
  EXPECT_TRUE(display.frame()->caption);
  EXPECT_FALSE(display.ownMarker);
  EXPECT_EQ(0u, Count(display.log, "place"));
  EXPECT_EQ(806, modes.GetOuterWidth());
}

INSTANTIATE_TEST_SUITE_P(Refusals, RefusalTest, ValuesIn(kRefusalCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayTest, AFailedRestoreKeepsFullScreenAndTheWindow) {
  Enter();
  display.restoreFails = true;
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_TRUE(modes.IsFullScreen());
  EXPECT_TRUE(modes.IsDisplaySwitched());
  EXPECT_EQ((Log{"restore reset"}), display.log);
  EXPECT_TRUE(display.frame()->topmost);
  EXPECT_TRUE(display.ownMarker);
  // Once the restore works, leaving works.
  display.restoreFails = false;
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_FALSE(modes.IsFullScreen());
  EXPECT_FALSE(display.frame()->topmost);
}

TEST_F(DisplayTest, PlacementLoopsEndWhenTheSystemKeepsMovingTheWindow) {
  display.nudges = -1;
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(modes.IsFullScreen());
  EXPECT_EQ(static_cast<size_t>(CDisplayModes::kPlacementAttempts), Count(display.log, "move "));
  EXPECT_EQ(CDisplayModes::kPlacementAttempts - 1, display.waits);
  display.log.clear();
  display.waits = 0;
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_FALSE(modes.IsFullScreen());
  EXPECT_EQ(static_cast<size_t>(CDisplayModes::kPlacementAttempts), Count(display.log, "move "));
}

TEST_F(DisplayTest, ASystemThatPlacesOnTheSecondTryCostsOneWait) {
  // Entering places the window three times per attempt: the first attempt's all land one pixel off.
  display.nudges = 3;
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_EQ(2u, Count(display.log, "move "));
  EXPECT_EQ(1, display.waits);
  EXPECT_EQ(Text(Rect(0, 0, 1280, 720)), Text(display.frame()->rect));
}

TEST_F(DisplayTest, FullScreenOnTheMonitorLeftOfPrimary) {
  AddSecondMonitor(-1920, 0, Mode(1920, 1080));
  display.frame()->device = kSecond;
  display.frame()->rect = Rect(-1500, 100, -694, 725);
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(Contains(display.log, std::string("change ") + kSecond + " 1280x720x32"));
  EXPECT_TRUE(Contains(display.log, "place topmost -1920,0,-640,720"));
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_EQ(Text(Rect(-1500, 100, -694, 725)), Text(display.frame()->rect));
}

TEST_F(DisplayTest, EnteringFromMinimisedRestoresFirst) {
  display.frame()->minimized = true;
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_EQ("show restore", display.log.front());
  EXPECT_TRUE(modes.IsFullScreen());
}

TEST_F(DisplayTest, DisplayChangeNoticesDuringASwitchAreIgnored) {
  display.onChange = [this] { modes.OnDisplayChange(); };
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_EQ(1920, modes.GetTable().widths[0]);
  EXPECT_EQ(1920u, modes.GetDesktopMode().width);
  // Outside a switch a notice reads the table again.
  modes.OnDisplayChange();
  EXPECT_EQ(1280, modes.GetTable().widths[0]);
}

TEST_F(DisplayTest, AMarkerThatCannotBeWrittenDoesNotStopFullScreen) {
  display.markerWriteFails = true;
  ASSERT_EQ(S_OK, modes.SetFullScreen(true));
  EXPECT_TRUE(modes.IsFullScreen());
}

// ---- The watchdog

TEST_F(DisplayTest, AnotherProgramOnTheSameMonitorGetsTheDesktopAndTheGameMinimises) {
  Enter();
  display.foreground = kOther;
  modes.OnActivateApp(false);
  ASSERT_TRUE(display.watchdogPending);
  EXPECT_EQ(200u, display.watchdogMilliseconds);
  ASSERT_TRUE(display.Tick());
  EXPECT_EQ((Log{"restore reset", "marker removed", "minimize"}), display.log);
  EXPECT_EQ(1920u, display.devices[0].current.width);
  EXPECT_TRUE(modes.IsFullScreen());
  EXPECT_FALSE(modes.IsDisplaySwitched());
  EXPECT_FALSE(display.watchdogPending);

  // The player comes back: activation starts the watchdog, which finds it in the foreground.
  display.log.clear();
  display.frame()->minimized = false;
  display.foreground = kFrame;
  modes.OnActivateApp(true);
  ASSERT_TRUE(display.Tick());
  EXPECT_EQ("show restore", display.log.front());
  EXPECT_TRUE(Contains(display.log, std::string("change ") + kPrimary + " 1280x720x32"));
  EXPECT_TRUE(modes.IsDisplaySwitched());
  EXPECT_TRUE(display.frame()->topmost);
  // The windowed rectangle from before full screen is still the one leaving goes back to.
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_EQ(Text(Rect(557, 227, 1363, 852)), Text(display.frame()->rect));
}

struct WatchdogCase {
  const char* name;
  WindowHandle foreground;
  bool minimized;
  Log expected;   // what the tick does
  bool rearmed;   // the watchdog looks again later
  bool switched;  // afterwards
};

const WatchdogCase kWatchdogCases[] = {
    {"FrameInFront", kFrame, false, {"show restore"}, false, true},
    {"FrameMinimised", kOther, true, {"restore reset", "marker removed"}, false, false},
    {"FrameMinimisedNothingInFront",
     nullptr,
     true,
     {"restore reset", "marker removed"},
     false,
     false},
    // Minimised while nothing else took the foreground (MIN alone on the desktop): not restored.
    {"FrameMinimisedButStillInFront",
     kFrame,
     true,
     {"restore reset", "marker removed"},
     false,
     false},
    {"OtherOnSameMonitor",
     kOther,
     false,
     {"restore reset", "marker removed", "minimize"},
     false,
     false},
    {"OtherOnAnotherMonitor", kOtherOnSecond, false, {}, true, true},
    {"NothingInFront", nullptr, false, {}, true, true},
};

class WatchdogTest : public DisplayTest, public ::testing::WithParamInterface<WatchdogCase> {};

TEST_P(WatchdogTest, Acts) {
  const WatchdogCase& c = GetParam();
  AddSecondMonitor(1920, 0, Mode(1920, 1080));
  Enter();
  display.foreground = c.foreground;
  display.frame()->minimized = c.minimized;
  modes.StartWatchdog();
  ASSERT_TRUE(display.Tick());
  EXPECT_EQ(c.expected, display.log);
  EXPECT_EQ(c.rearmed, display.watchdogPending);
  EXPECT_EQ(c.switched, modes.IsDisplaySwitched());
  EXPECT_TRUE(modes.IsFullScreen());
}

INSTANTIATE_TEST_SUITE_P(Ticks, WatchdogTest, ValuesIn(kWatchdogCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A desktop mode that will not come back is tried again on every tick until it does; the game
// is not minimised over a display still in its mode.
struct FailedGiveBackCase {
  const char* name;
  WindowHandle foreground;
  bool minimized;
  Log afterSuccess;
};

const FailedGiveBackCase kFailedGiveBackCases[] = {
    {"Minimised", kFrame, true, {"restore reset", "marker removed"}},
    {"OtherOnSameMonitor", kOther, false, {"restore reset", "marker removed", "minimize"}},
};

class FailedGiveBackTest : public DisplayTest,
                           public ::testing::WithParamInterface<FailedGiveBackCase> {};

TEST_P(FailedGiveBackTest, RetriesUntilTheDesktopIsBack) {
  const FailedGiveBackCase& c = GetParam();
  Enter();
  display.foreground = c.foreground;
  display.frame()->minimized = c.minimized;
  display.restoreFails = true;
  modes.StartWatchdog();
  for (int tick = 0; tick < 3; ++tick) {
    display.log.clear();
    ASSERT_TRUE(display.Tick()) << "tick " << tick << " was not re-armed";
    EXPECT_EQ((Log{"restore reset"}), display.log);
    EXPECT_TRUE(modes.IsDisplaySwitched());
    EXPECT_TRUE(display.ownMarker);
    EXPECT_EQ(c.minimized, display.frame()->minimized);
  }
  display.restoreFails = false;
  display.log.clear();
  ASSERT_TRUE(display.Tick());
  EXPECT_EQ(c.afterSuccess, display.log);
  EXPECT_FALSE(modes.IsDisplaySwitched());
  EXPECT_FALSE(display.ownMarker);
  EXPECT_TRUE(display.frame()->minimized);
  EXPECT_FALSE(display.watchdogPending);
  EXPECT_TRUE(modes.IsFullScreen());
}

INSTANTIATE_TEST_SUITE_P(Ticks, FailedGiveBackTest, ValuesIn(kFailedGiveBackCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DisplayTest, WatchdogOutsideFullScreenDoesNothing) {
  display.foreground = kOther;
  modes.StartWatchdog();
  ASSERT_TRUE(display.Tick());
  EXPECT_TRUE(display.log.empty());
  EXPECT_FALSE(display.watchdogPending);
}

TEST_F(DisplayTest, LeavingAfterTheDisplayWasGivenBackStillRestoresTheWindow) {
  Enter();
  display.foreground = kOther;
  modes.StartWatchdog();
  ASSERT_TRUE(display.Tick());
  ASSERT_FALSE(modes.IsDisplaySwitched());
  ASSERT_TRUE(display.frame()->minimized);
  display.log.clear();
  ASSERT_EQ(S_OK, modes.SetFullScreen(false));
  EXPECT_FALSE(modes.IsFullScreen());
  EXPECT_EQ(0u, Count(display.log, "restore"));
  EXPECT_FALSE(display.frame()->minimized);
  EXPECT_FALSE(display.frame()->topmost);
  EXPECT_TRUE(display.frame()->caption);
  EXPECT_EQ(Text(Rect(557, 227, 1363, 852)), Text(display.frame()->rect));
  EXPECT_EQ(806, modes.GetOuterWidth());
}

// ---- Activation

TEST_F(DisplayTest, ActivationRulesInFullScreen) {
  Enter();
  modes.OnActivate(true, true);  // activated while minimised: the restore that follows decides
  EXPECT_FALSE(display.watchdogPending);
  modes.OnActivate(true, false);
  EXPECT_TRUE(display.watchdogPending);
  display.watchdogPending = false;
  modes.OnActivate(false, false);
  EXPECT_TRUE(display.watchdogPending);
}

TEST_F(DisplayTest, MinimisingAndRestoringInFullScreenStartTheWatchdog) {
  Enter();
  modes.OnSize(false);  // a placement, not a change of state
  EXPECT_FALSE(display.watchdogPending);
  display.frame()->minimized = true;
  modes.OnSize(true);
  ASSERT_TRUE(display.Tick());
  EXPECT_FALSE(modes.IsDisplaySwitched());
  EXPECT_TRUE(display.frame()->minimized);
  // Back from the taskbar: restored and in front, without a new activation.
  display.frame()->minimized = false;
  modes.OnSize(false);
  ASSERT_TRUE(display.Tick());
  EXPECT_TRUE(modes.IsDisplaySwitched());
  EXPECT_TRUE(display.frame()->topmost);
}

TEST_F(DisplayTest, WindowedActivationStartsNoWatchdog) {
  modes.OnSize(true);
  modes.OnSize(false);
  modes.OnActivate(false, false);
  modes.OnActivateApp(false);
  modes.OnActivateApp(true);
  EXPECT_FALSE(display.watchdogPending);
}

// ---- Power

TEST_F(DisplayTest, SuspendLeavesFullScreenAndTheNextActivationEntersAgain) {
  Enter();
  modes.OnPowerBroadcast(vexa::player::kPbtQuerySuspend);
  EXPECT_FALSE(modes.IsFullScreen());
  EXPECT_FALSE(modes.IsDisplaySwitched());
  EXPECT_FALSE(modes.IsResumePending());
  modes.OnPowerBroadcast(vexa::player::kPbtResumeAutomatic);
  EXPECT_TRUE(modes.IsResumePending());
  // Losing the foreground after the resume does not take the display.
  display.log.clear();
  modes.OnActivateApp(false);
  EXPECT_TRUE(display.log.empty());
  EXPECT_TRUE(modes.IsResumePending());
  EXPECT_FALSE(modes.IsFullScreen());
  modes.OnActivateApp(true);
  EXPECT_TRUE(modes.IsFullScreen());
  EXPECT_TRUE(modes.IsDisplaySwitched());
  EXPECT_FALSE(modes.IsResumePending());
}

TEST_F(DisplayTest, PowerEventsThatLeaveFullScreenAlone) {
  // Minimised in full screen: a suspend query leaves it, and no resume is asked for.
  Enter();
  display.frame()->minimized = true;
  modes.OnPowerBroadcast(vexa::player::kPbtQueryStandby);
  EXPECT_TRUE(modes.IsFullScreen());
  modes.OnPowerBroadcast(vexa::player::kPbtResumeSuspend);
  EXPECT_FALSE(modes.IsResumePending());
  // Windowed: nothing to leave, nothing to resume.
  CDisplayModes windowed(&display, &client);
  windowed.SetWindow(kFrame);
  windowed.OnPowerBroadcast(vexa::player::kPbtQuerySuspend);
  windowed.OnPowerBroadcast(vexa::player::kPbtResumeCritical);
  EXPECT_FALSE(windowed.IsResumePending());
}

// ---- Close and the desktop mode after a killed run

TEST_F(DisplayTest, CloseInFullScreenRemembersTheMonitorAndRestores) {
  Enter();
  modes.OnClose();
  EXPECT_EQ((Log{"restore", "marker removed"}), display.log);
  EXPECT_EQ(kPrimary, client.saves["monitorinfo"]);
  EXPECT_EQ(1920u, display.devices[0].current.width);
  display.log.clear();
  modes.RestoreDesktop();  // the destruction afterwards
  EXPECT_TRUE(display.log.empty());
}

TEST_F(DisplayTest, CloseWindowedRestoresNothing) {
  modes.OnClose();
  EXPECT_TRUE(display.log.empty());
  EXPECT_EQ(kPrimary, client.saves["monitorinfo"]);
}

TEST_F(DisplayTest, CloseAfterTheDisplayWasGivenBackResetsNothing) {
  Enter();
  display.foreground = kOther;
  modes.StartWatchdog();
  display.Tick();
  display.log.clear();
  modes.OnClose();
  EXPECT_TRUE(display.log.empty());
}

TEST_F(DisplayTest, AFailedRestoreAtCloseKeepsTheMarkerForTheNextStart) {
  Enter();
  display.restoreFails = true;
  modes.RestoreDesktop();
  EXPECT_TRUE(display.ownMarker);
  EXPECT_TRUE(modes.IsDisplaySwitched());
}

SwitchMarker Marker(const char* id, bool running) {
  SwitchMarker marker;
  marker.id = id;
  marker.ownerRunning = running;
  marker.device = kPrimary;
  return marker;
}

struct EarlierRunCase {
  const char* name;
  std::vector<SwitchMarker> markers;
  bool restoreFails;
  bool restored;
  Log expected;
};

const EarlierRunCase kEarlierRunCases[] = {
    {"NoMarkers", {}, false, false, {}},
    {"KilledRun", {Marker("a", false)}, false, true, {"restore", "remove marker a"}},
    {"TwoKilledRuns",
     {Marker("a", false), Marker("b", false)},
     false,
     true,
     {"restore", "remove marker a", "remove marker b"}},
    // Another game is in full screen right now: its display stays; the dead marker goes.
    {"AnotherGameRuns", {Marker("a", false), Marker("b", true)}, false, false, {"remove marker a"}},
    {"OnlyARunningGame", {Marker("b", true)}, false, false, {}},
    // The restore fails: the marker stays for the next start.
    {"RestoreFails", {Marker("a", false)}, true, false, {"restore"}},
};

class EarlierRunTest : public DisplayTest, public ::testing::WithParamInterface<EarlierRunCase> {};

TEST_P(EarlierRunTest, RestoresOnlyAfterADeadSwitch) {
  const EarlierRunCase& c = GetParam();
  display.otherMarkers = c.markers;
  display.restoreFails = c.restoreFails;
  display.devices[0].current = Mode(640, 480);  // what the killed run left
  EXPECT_EQ(c.restored, modes.RestoreAfterEarlierRun());
  EXPECT_EQ(c.expected, display.log);
  if (c.restored) {
    EXPECT_EQ(1920u, display.devices[0].current.width);
  }
}

INSTANTIATE_TEST_SUITE_P(Markers, EarlierRunTest, ValuesIn(kEarlierRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Preferences

TEST_F(DisplayTest, PreferencesAreSavesWithTheirDescriptions) {
  EXPECT_EQ(S_OK, modes.SetPreferWide(true));
  EXPECT_EQ("ON", client.saves["ratioinfo"]);
  EXPECT_EQ("ratio", client.descriptions["ratioinfo"]);
  EXPECT_EQ(2, modes.GetWidePreferenceState());
  EXPECT_EQ(S_OK, modes.SetKeepAspect(false));
  EXPECT_EQ("OFF", client.saves["favratio"]);
  EXPECT_EQ("favor", client.descriptions["favratio"]);
  int32_t on = -1;
  EXPECT_EQ(S_OK, modes.GetPreferWide(&on));
  EXPECT_EQ(1, on);
  EXPECT_EQ(S_OK, modes.GetKeepAspect(&on));
  EXPECT_EQ(0, on);
  EXPECT_EQ(S_OK, modes.SetPreferWide(false));
  EXPECT_EQ(1, modes.GetWidePreferenceState());
  client.writeFails = true;
  EXPECT_EQ(E_FAIL, modes.SetKeepAspect(true));
}

struct PreferenceCase {
  const char* name;
  const char* stored;  // null: no save
  bool readFails;
  int32_t wide;
  int32_t aspect;
};

const PreferenceCase kPreferenceCases[] = {
    {"Missing", nullptr, false, 0, 1}, {"Unreadable", nullptr, true, 0, 1},
    {"On", "ON", false, 1, 1},         {"OnInLowerCase", "on", false, 1, 1},
    {"One", "1", false, 1, 1},         {"True", "true", false, 1, 1},
    {"Off", "OFF", false, 0, 0},       {"Empty", "", false, 0, 0},
    {"Other", "yes", false, 0, 0},
};

class PreferenceTest : public DisplayTest, public ::testing::WithParamInterface<PreferenceCase> {};

TEST_P(PreferenceTest, Reads) {
  const PreferenceCase& c = GetParam();
  if (c.stored) {
    client.saves["ratioinfo"] = c.stored;
    client.saves["favratio"] = c.stored;
  }
  client.readFails = c.readFails;
  int32_t wide = -1;
  int32_t aspect = -1;
  const HRESULT hr = modes.GetPreferWide(&wide);
  EXPECT_EQ(hr, modes.GetKeepAspect(&aspect));
  EXPECT_EQ(c.stored != nullptr, SUCCEEDED(hr));
  EXPECT_EQ(c.wide, wide);
  EXPECT_EQ(c.aspect, aspect);
}

INSTANTIATE_TEST_SUITE_P(Values, PreferenceTest, ValuesIn(kPreferenceCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
