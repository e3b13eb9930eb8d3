// The game settings of the player object: every reserved name, the <movie>, <load> and <ref>
// elements, the movie load and its placement. Most cases need no plug-in (the player is not
// started); the ones that reach the holder start it against the stand-in.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/loader.h"
#include "flashhost/holder.h"
#include "fscommand/processor.h"
#include "platform/files.h"
#include "script/xml.h"
#include "support.h"

namespace {

using player_test::PlayerTest;

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
using player_test::Value;

// One element parsed from text, e.g. <movie url="m" width="1280"/>.
class CElement {
 public:
  explicit CElement(const std::string& xml) { ok_ = parser_.ParseDocument(xml.c_str()) == 1; }
  CXMLElement* get() { return ok_ ? parser_.GetRoot() : nullptr; }

 private:
  CXMLParser parser_;
  bool ok_ = false;
};

class SettingsTest : public PlayerTest {
 protected:
  HRESULT Assign(const char* name, const Value& value, const char* base = nullptr) {
    return player_->SetSystemVariable(name, &value.v, base);
  }
  HRESULT Assign(const char* name, const wchar_t* text) { return Assign(name, Value(text)); }
  HRESULT Movie(const std::string& xml) {
    CElement element(xml);
    return player_->SetMovie(element.get());
  }
};

// ---- Reserved names

TEST_F(SettingsTest, NamesThatAreNotReservedAreLeftToTheScript) {
  for (const char* name : {"caption", "Caption", "WIDTH", "CAPTION ", "", "GAMENAMES"}) {
    EXPECT_EQ(E_FAIL, Assign(name, L"x")) << name;
  }
  EXPECT_TRUE(player_->captions.empty());
  const Value text(L"x");
  EXPECT_EQ(E_FAIL, player_->SetSystemVariable(nullptr, &text.v, nullptr));
  EXPECT_EQ(E_FAIL, player_->SetSystemVariable("CAPTION", nullptr, nullptr));
}

TEST_F(SettingsTest, CaptionIsTheTextOfAnyValueInUtf8) {
  EXPECT_EQ(S_OK, Assign("CAPTION", L"Demo"));
  // A number is turned into its text, never read as a string.
  EXPECT_EQ(S_OK, Assign("CAPTION", Value(42)));
  EXPECT_EQ(S_OK, Assign("CAPTION", L"Caf\u00e9 \u65e5\u672c"));
  EXPECT_EQ((std::vector<std::string>{"Demo", "42", "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"}),
            player_->captions);
  EXPECT_EQ("Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC", player_->GetCaption());
}

TEST_F(SettingsTest, TextSettingsTakeTheTextOfAnyValueEmptyIncluded) {
  using Getter = std::function<const CSmallStr&()>;
  const struct {
    const char* name;
    Getter get;
  } settings[] = {
      {"FOCUSVAR", [&]() -> const CSmallStr& { return player_->GetFocusVariable(); }},
      {"GAMECLOSEVAR", [&]() -> const CSmallStr& { return player_->GetCloseVariable(); }},
      {"MOUSEMESSAGEVAR", [&]() -> const CSmallStr& { return player_->GetMouseMessageVariable(); }},
      {"GAMEURL", [&]() -> const CSmallStr& { return player_->GetGameUrl(); }},
      {"FOCUSMETHOD", [&]() -> const CSmallStr& { return player_->GetFocusMethod(); }},
      {"GAMECLOSEMETHOD", [&]() -> const CSmallStr& { return player_->GetCloseMethod(); }},
      {"AS30CALLBACK", [&]() -> const CSmallStr& { return player_->GetResultCallbackName(); }},
      {"MOUSEEVENTMETHOD", [&]() -> const CSmallStr& { return player_->GetMouseEventMethod(); }},
  };
  for (const auto& setting : settings) {
    EXPECT_TRUE(setting.get().IsEmpty()) << setting.name;
    EXPECT_EQ(S_OK, Assign(setting.name, L"onGame")) << setting.name;
    EXPECT_STREQ("onGame", setting.get().c_str()) << setting.name;
    EXPECT_EQ(S_OK, Assign(setting.name, Value(7))) << setting.name;
    EXPECT_STREQ("7", setting.get().c_str()) << setting.name;
    EXPECT_EQ(S_OK, Assign(setting.name, L"")) << setting.name;
    EXPECT_TRUE(setting.get().IsEmpty()) << setting.name;
  }
}

TEST_F(SettingsTest, ShowCaptionLaysOutOnlyWhenItChanges) {
  const struct {
    const wchar_t* text;
    bool caption;
    int layouts;
  } steps[] = {
      {L"off", false, 1}, {L"off", false, 1}, {L"", false, 1},      {L"whatever", false, 1},
      {L"ON", true, 2},   {L"1", true, 2},    {L"false", false, 3},
  };
  EXPECT_TRUE(player_->HasCaption());
  for (const auto& step : steps) {
    EXPECT_EQ(S_OK, Assign("SHOWCAPT", step.text));
    EXPECT_EQ(step.caption, player_->HasCaption());
    EXPECT_EQ(step.layouts, player_->layouts);
  }
}

TEST_F(SettingsTest, CenterKeepsItsValueWhenEmptyAndLaysOut) {
  EXPECT_TRUE(player_->IsWindowCentered());
  EXPECT_EQ(S_OK, Assign("CENTER", L"off"));
  EXPECT_FALSE(player_->IsWindowCentered());
  EXPECT_EQ(1, player_->layouts);
  EXPECT_EQ(S_OK, Assign("CENTER", L""));
  EXPECT_FALSE(player_->IsWindowCentered());
  EXPECT_EQ(1, player_->layouts);
  EXPECT_EQ(S_OK, Assign("CENTER", L"true"));
  EXPECT_TRUE(player_->IsWindowCentered());
  EXPECT_EQ(2, player_->layouts);
}

TEST_F(SettingsTest, PositionMovesTheWindowAndOnlyEverGrowsTheClientArea) {
  Movie("<movie url=\"m.scene\" width=\"800\" height=\"600\"/>");
  const int layouts = player_->layouts;
  const struct {
    const wchar_t* text;
    int32_t x, y, clientWidth, clientHeight;
    bool laidOut;
  } steps[] = {
      {L"10,20,320,200", 10, 20, 800, 600, true},
      {L"10,20,1024,768", 10, 20, 1024, 768, true},
      {L"1,2", 10, 20, 1024, 768, false},  // not all four numbers: nothing
      {L"1,2,3,x", 10, 20, 1024, 768, false},
      {L"5,6,-3,0", 5, 6, 1024, 768, true},               // negative and zero sizes: no growth
      {L"7,8,99999999999,40000", 7, 8, 1024, 768, true},  // sizes no window can have: ignored
      {L"99999999,-99999999,1,1", 32767, -32768, 1024, 768, true},
  };
  int expected = layouts;
  for (const auto& step : steps) {
    EXPECT_EQ(S_OK, Assign("POSITION", step.text));
    EXPECT_EQ(step.x, player_->GetWindowX());
    EXPECT_EQ(step.y, player_->GetWindowY());
    EXPECT_EQ(step.clientWidth, player_->GetClientWidth());
    EXPECT_EQ(step.clientHeight, player_->GetClientHeight());
    if (step.laidOut) ++expected;
    EXPECT_EQ(expected, player_->layouts);
  }
  // The movie keeps its own size inside the larger client area.
  EXPECT_EQ(800, player_->GetMovieWidth());
  EXPECT_EQ(600, player_->GetMovieHeight());
}

TEST_F(SettingsTest, FullScreenPairNeedsBothNumbersAndIsNeverNegative) {
  EXPECT_EQ(S_OK, Assign("FULLSCREEN", L"-5,7"));
  EXPECT_EQ(0, player_->GetFullScreenWidth());
  EXPECT_EQ(7, player_->GetFullScreenHeight());
  EXPECT_EQ(S_OK, Assign("FULLSCREEN", L"9"));
  EXPECT_EQ(0, player_->GetFullScreenWidth());
  EXPECT_EQ(7, player_->GetFullScreenHeight());
  EXPECT_EQ(S_OK, Assign("FULLSCREEN", L"3,4,5"));
  EXPECT_EQ(3, player_->GetFullScreenWidth());
  EXPECT_EQ(4, player_->GetFullScreenHeight());
}

TEST_F(SettingsTest, KeyboardFilterBoundsAreIntegersOfAnyValue) {
  EXPECT_EQ(32, player_->GetKeyboardFilterLower());
  EXPECT_EQ(126, player_->GetKeyboardFilterUpper());
  auto step = [&](const char* name, const Value& value, int32_t lower, int32_t upper) {
    EXPECT_EQ(S_OK, Assign(name, value)) << name;
    EXPECT_EQ(lower, player_->GetKeyboardFilterLower()) << name;
    EXPECT_EQ(upper, player_->GetKeyboardFilterUpper()) << name;
  };
  step("KBDFILTER_LOWER_BOUND", Value(0), 0, 126);
  step("KBDFILTER_UPPER_BOUND", Value(255), 0, 255);
  // A string is read as a number, never as a pointer.
  step("KBDFILTER_LOWER_BOUND", Value(L"48"), 48, 255);
  step("KBDFILTER_UPPER_BOUND", Value(L" 57abc"), 48, 57);
  // Values without a number keep the bound.
  step("KBDFILTER_LOWER_BOUND", Value(L"abc"), 48, 57);
  step("KBDFILTER_UPPER_BOUND", Value(), 48, 57);
  Value real;
  real.v.vt = VT_R8;
  real.v.dblVal = 65.7;
  step("KBDFILTER_LOWER_BOUND", real, 65, 57);
  EXPECT_EQ((std::vector<std::string>{"filter 0 126", "filter 0 255", "filter 48 255",
                                      "filter 48 57", "filter 65 57"}),
            player_->log);
}

TEST_F(SettingsTest, GameNameAndSavesFolderRefuseWhatCannotBeOneFolder) {
  const struct {
    const char* name;
    const char* initial;
    const CSmallStr& (CBasePlayerImpl::*get)() const;
  } settings[] = {
      {"GAMENAME", "GameBase", &CBasePlayerImpl::GetGameName},
      {"GAMESAVES", "", &CBasePlayerImpl::GetSavesFolderName},
  };
  for (const auto& setting : settings) {
    const CBasePlayerImpl& player = *player_;
    EXPECT_STREQ(setting.initial, (player.*setting.get)().c_str());
    EXPECT_EQ(S_OK, Assign(setting.name, L"My Game"));
    EXPECT_STREQ("My Game", (player.*setting.get)().c_str());
    // Refused: the old value stays, and the name is still taken as a setting.
    for (const wchar_t* bad : {L"", L"..", L"../evil", L"a\\b", L"a/b", L"C:x", L"CON", L"nul.txt",
                               L"bad|name", L"what?", L"x.", L"tab\there"}) {
      EXPECT_EQ(S_OK, Assign(setting.name, bad));
      EXPECT_STREQ("My Game", (player.*setting.get)().c_str()) << setting.name;
    }
    EXPECT_EQ(S_OK, Assign(setting.name, Value(7)));
    EXPECT_STREQ("7", (player.*setting.get)().c_str());
  }
}

TEST_F(SettingsTest, GameIdKeepsItsValueWhenEmpty) {
  EXPECT_STREQ("GameID", player_->GetGameId().c_str());
  EXPECT_EQ(S_OK, Assign("GAMEID", L""));
  EXPECT_STREQ("GameID", player_->GetGameId().c_str());
  EXPECT_EQ(S_OK, Assign("GAMEID", L"id-9/x"));
  EXPECT_STREQ("id-9/x", player_->GetGameId().c_str());
}

TEST_F(SettingsTest, RegionIsTakenAndIgnored) {
  EXPECT_EQ(S_OK, Assign("REGION", L"0,0,10,10"));
  EXPECT_TRUE(player_->log.empty());
}

TEST_F(SettingsTest, FSModesReplacesTheVariantsAndChoosesOne) {
  player_->variantChoice = 1;
  EXPECT_EQ(S_OK, Assign("FSMODES", L"1x0,800x600,,800x600;2x1,1280x720,?wide=1,1280x720"));
  ASSERT_EQ(2u, player_->GetMovieVariants().size());
  EXPECT_EQ(1, player_->selections);
  // The choice copies sizes and suffix, not the id and wide flag.
  const vexa::player::ModeRecord& current = player_->GetCurrentVariant();
  EXPECT_EQ(1280, current.displayWidth);
  EXPECT_EQ(720, current.displayHeight);
  EXPECT_STREQ("?wide=1", current.urlSuffix.c_str());
  EXPECT_EQ(1280, current.movieWidth);
  EXPECT_EQ(720, current.movieHeight);
  EXPECT_EQ(0, current.id);
  EXPECT_EQ(0, current.wide);

  EXPECT_EQ(S_OK, Assign("FSMODES", L"3x0,640x480,,640x480"));
  EXPECT_EQ(1u, player_->GetMovieVariants().size());
  EXPECT_EQ(2, player_->selections);
  EXPECT_EQ(S_OK, Assign("FSMODES", L""));
  EXPECT_TRUE(player_->GetMovieVariants().empty());
}

TEST_F(SettingsTest, IconIsReadThroughTheLoaderThenFromDiskAsWritten) {
  game_.Disk("art/game.ico", "ICON-IN-GAME");
  EXPECT_EQ(S_OK, Assign("ICON", Value(L"art/game.ico")));
  // Relative to the folder the assigning script came from.
  EXPECT_EQ(S_OK, Assign("ICON", Value(L"game.ico"), "art\\"));
  // Outside the game folder only the direct disk read finds it.
  std::string outside;
  ASSERT_TRUE(vexa::platform::MakeTempFile("vexa.icon", &outside));
  ASSERT_TRUE(vexa::platform::WriteFileBytes(outside, "ICON-OUTSIDE", 12));
  const std::wstring wide(outside.begin(), outside.end());
  EXPECT_EQ(S_OK, Assign("ICON", Value(wide.c_str())));
  vexa::platform::RemoveFile(outside);
  // Missing files keep the icon; the name is still taken.
  EXPECT_EQ(S_OK, Assign("ICON", Value(L"missing.ico")));
  EXPECT_EQ(S_OK, Assign("ICON", Value(L"")));
  EXPECT_EQ((std::vector<std::string>{"ICON-IN-GAME", "ICON-IN-GAME", "ICON-OUTSIDE"}),
            player_->icons);
}

// ---- <movie>

TEST_F(SettingsTest, MovieTakesItsSizeAndMarksWideVariants) {
  const struct {
    const char* xml;
    int32_t width, height, wide;
  } cases[] = {
      {"<movie url=\"m\" width=\"1280\" height=\"720\"/>", 1280, 720, 1},
      {"<movie url=\"m\" width=\"800\" height=\"600\"/>", 800, 600, 0},
      {"<movie url=\"m\" width=\"1340\" height=\"1000\"/>", 1340, 1000, 0},  // 1.34: not wider
      {"<movie url=\"m\" width=\"1341\" height=\"1000\"/>", 1341, 1000, 1},
      {"<movie url=\"m\" height=\"500\"/>", 1341, 500, 1},  // empty width: the current one
  };
  for (const auto& c : cases) {
    // Not started: everything but the holder calls happens.
    EXPECT_EQ(E_UNEXPECTED, Movie(c.xml)) << c.xml;
    EXPECT_EQ(c.width, player_->GetMovieWidth()) << c.xml;
    EXPECT_EQ(c.height, player_->GetMovieHeight()) << c.xml;
    EXPECT_EQ(c.width, player_->GetClientWidth()) << c.xml;
    EXPECT_EQ(c.height, player_->GetClientHeight()) << c.xml;
    EXPECT_EQ(c.wide, player_->GetCurrentVariant().wide) << c.xml;
  }
}

TEST_F(SettingsTest, MovieSizesNoWindowCanHaveAreIgnored) {
  Movie("<movie url=\"m\" width=\"640\" height=\"480\"/>");
  for (const char* size : {"-5", "0", "abc", "32768", "99999999999", "-99999999999"}) {
    const std::string xml =
        std::string("<movie url=\"m\" width=\"") + size + "\" height=\"" + size + "\"/>";
    Movie(xml);
    EXPECT_EQ(640, player_->GetMovieWidth()) << size;
    EXPECT_EQ(480, player_->GetMovieHeight()) << size;
  }
}

TEST_F(SettingsTest, MovieWithoutUrlFailsAndOpensNothing) {
  const int layouts = player_->layouts;
  EXPECT_EQ(E_FAIL, Movie("<movie width=\"1024\" height=\"768\" center=\"off\"/>"));
  EXPECT_EQ(layouts, player_->layouts);
  EXPECT_TRUE(player_->GetMovieUrl().IsEmpty());
  EXPECT_TRUE(player_->IsMovieCentered());
  EXPECT_EQ(800, player_->GetMovieWidth());
  EXPECT_EQ(E_POINTER, player_->SetMovie(nullptr));
}

TEST_F(SettingsTest, MoviePlacementAttributesKeepTheirValuesWhenEmpty) {
  Movie("<movie url=\"m\" resize=\"on\" posx=\"15\" posy=\"-4\" center=\"off\"/>");
  EXPECT_TRUE(player_->IsMovieResized());
  EXPECT_EQ(15, player_->GetMovieX());
  EXPECT_EQ(-4, player_->GetMovieY());
  EXPECT_FALSE(player_->IsMovieCentered());
  Movie("<movie url=\"m\" resize=\"\"/>");
  EXPECT_TRUE(player_->IsMovieResized());
  EXPECT_EQ(15, player_->GetMovieX());
  EXPECT_EQ(-4, player_->GetMovieY());
  EXPECT_FALSE(player_->IsMovieCentered());
  Movie("<movie url=\"m\" resize=\"no\" posx=\"99999999999\" posy=\"x\" center=\"1\"/>");
  EXPECT_FALSE(player_->IsMovieResized());
  EXPECT_EQ(vexa::player::kMaxCoordinate, player_->GetMovieX());
  EXPECT_EQ(0, player_->GetMovieY());
  EXPECT_TRUE(player_->IsMovieCentered());
}

// ---- With the plug-in

class StartedTest : public SettingsTest {
 protected:
  void SetUp() override {
    SettingsTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(S_OK, Start("<game/>", {{"movie.scene", "log \"main\"\n"},
                                      {"other.scene", "log \"other\"\n"},
                                      {"layer.scene", "log \"layer\"\n"},
                                      {"lib.scene", "log \"library\"\n"}}));
    transcript_.Take();
    player_->log.clear();
  }
};

TEST_F(StartedTest, LoadMovieRestartsTheInstanceAttachedAndOpensTheUrl) {
  Exec("<x><movie url=\"other.scene\" width=\"640\" height=\"480\"/></x>");
  const std::vector<TranscriptEvent> events = transcript_.Take();
  const int destroyed = IndexOf(events, "NPP_Destroy");
  const int created = IndexOf(events, "NPP_New");
  const int attached = IndexOf(events, "NPP_SetWindow", "window", "set");
  const int opened = IndexOf(events, "NPP_NewStream");
  ASSERT_GE(destroyed, 0);
  EXPECT_LT(destroyed, created);
  EXPECT_LT(created, attached);
  EXPECT_LT(attached, opened);
  EXPECT_TRUE(EndsWith(events[opened].Get("url"), "/other.scene")) << events[opened].text;
  EXPECT_EQ(1u, Named(events, "log", "text", "other").size());
  EXPECT_EQ(std::vector<std::string>{"layout"}, player_->log);
  EXPECT_EQ(640, holder_.GetMovieWidth());
  EXPECT_EQ(480, holder_.GetMovieHeight());
  EXPECT_EQ(1, vexa::platform::CountChildWindows(frame_));
}

TEST_F(StartedTest, MovieVariantsGiveSizeAndSuffixAndCanBeChosenAgain) {
  player_->variantChoice = 1;
  Exec(
      "<x><assign name=\"FSMODES\" expr=\"'1x0,800x600,,800x600;2x1,1280x720,?wide=1,1280x720'\"/>"
      "<movie url=\"movie.scene\" width=\"320\" height=\"200\"/></x>");
  std::vector<TranscriptEvent> events = transcript_.Take();
  int opened = IndexOf(events, "NPP_NewStream");
  ASSERT_GE(opened, 0);
  EXPECT_TRUE(EndsWith(events[opened].Get("url"), "/movie.scene?wide=1")) << events[opened].text;
  EXPECT_EQ(1280, player_->GetMovieWidth());
  EXPECT_EQ(720, player_->GetClientHeight());

  player_->variantChoice = 0;
  EXPECT_EQ(S_OK, player_->ReselectMovieVariant());
  events = transcript_.Take();
  opened = IndexOf(events, "NPP_NewStream");
  ASSERT_GE(opened, 0);
  EXPECT_TRUE(EndsWith(events[opened].Get("url"), "/movie.scene")) << events[opened].text;
  EXPECT_EQ(800, player_->GetMovieWidth());
  EXPECT_EQ(600, player_->GetClientHeight());
}

TEST_F(StartedTest, ReselectingBeforeAnyMovieOpensNothing) {
  EXPECT_EQ(E_FAIL, player_->ReselectMovieVariant());
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "NPP_Destroy"));
}

TEST_F(StartedTest, LoadIntoLayerNeedsAUrlAndAPositiveLayer) {
  for (const char* xml :
       {"<load url=\"layer.scene\" layer=\"0\"/>", "<load url=\"layer.scene\" layer=\"-2\"/>",
        "<load url=\"layer.scene\" layer=\"abc\"/>", "<load url=\"layer.scene\"/>",
        "<load layer=\"3\"/>"}) {
    CElement element(xml);
    EXPECT_EQ(S_OK, player_->LoadIntoLayer(element.get())) << xml;
  }
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "LoadMovie_stub"));

  CElement element("<load url=\"layer.scene\" layer=\"2\"/>");
  EXPECT_EQ(S_OK, player_->LoadIntoLayer(element.get()));
  const std::vector<TranscriptEvent> stub = Named(transcript_.Take(), "LoadMovie_stub");
  ASSERT_EQ(1u, stub.size());
  EXPECT_EQ("2", stub[0].Get("layer"));
  EXPECT_EQ("layer.scene", stub[0].Get("url"));
  const std::vector<TranscriptEvent> events = Serve();
  EXPECT_EQ(1u, Named(events, "load", "layer", "2").size());
  EXPECT_EQ(1u, Named(events, "log", "text", "layer").size());
}

TEST_F(StartedTest, ReferenceLoadsIntoLayerMinusOne) {
  CElement element("<ref url=\"lib.scene\" alias=\"lib\"/>");
  EXPECT_EQ(S_OK, player_->LoadReference(element.get()));
  std::vector<TranscriptEvent> events = transcript_.Take();
  const std::vector<TranscriptEvent> stub = Named(events, "LoadMovie_stub");
  ASSERT_EQ(1u, stub.size());
  EXPECT_EQ("-1", stub[0].Get("layer"));
  EXPECT_EQ("<absent>", stub[0].Get("error"));
  events = Serve();
  const std::vector<TranscriptEvent> references = Named(events, "reference");
  ASSERT_EQ(1u, references.size());
  EXPECT_EQ("lib.scene", references[0].Get("url"));
  EXPECT_EQ("true", references[0].Get("kept"));
  // Remembered, not shown and not run.
  EXPECT_TRUE(Named(events, "error").empty());
  EXPECT_TRUE(Named(events, "load").empty());
  EXPECT_TRUE(Named(events, "log", "text", "library").empty());

  // An empty reference URL has nothing to unload.
  EXPECT_EQ(S_OK, holder_.LoadMovieIntoLayer(-1, "", nullptr));
  events = transcript_.Take();
  EXPECT_EQ("<absent>", Named(events, "LoadMovie_stub").at(0).Get("error"));
  EXPECT_TRUE(Named(events, "unload").empty());
}

TEST_F(StartedTest, ReferenceWithoutUrlHandsTheElementAsMovieData) {
  // The holder cannot load movie data; its refusal is the element's status.
  CElement element("<ref alias=\"inline\"><item name=\"a\"/></ref>");
  EXPECT_EQ(E_NOTIMPL, player_->LoadReference(element.get()));
  EXPECT_EQ(-1, IndexOf(transcript_.Take(), "LoadMovie_stub"));
}

TEST_F(StartedTest, PlacementRuleMovesThePlayerWindow) {
  Exec("<x><movie url=\"movie.scene\" width=\"800\" height=\"600\"/></x>");
  EXPECT_EQ(S_OK, player_->PlaceMovie(1024, 768));
  NPWindow record = holder_.GetWindowRecord();
  EXPECT_EQ(112, record.x);
  EXPECT_EQ(84, record.y);
  EXPECT_EQ(800u, record.width);
  EXPECT_EQ(600u, record.height);

  Exec("<x><movie url=\"movie.scene\" resize=\"on\"/></x>");
  EXPECT_EQ(S_OK, player_->PlaceMovie(1024, 768));
  record = holder_.GetWindowRecord();
  EXPECT_EQ(0, record.x);
  EXPECT_EQ(1024u, record.width);
  EXPECT_EQ(768u, record.height);

  EXPECT_EQ(S_OK, player_->SetMovieRect(10, 20, 300, 200));
  record = holder_.GetWindowRecord();
  EXPECT_EQ(10, record.x);
  EXPECT_EQ(20, record.y);
  EXPECT_EQ(300u, record.width);
  EXPECT_EQ(200u, record.height);
  EXPECT_EQ(300, player_->GetMovieWidth());
  EXPECT_EQ(300, holder_.GetMovieWidth());
}

TEST_F(StartedTest, MovieRectKeepsSizesNoWindowCanHaveAndPositionsAWindowCanHold) {
  // The movie sends these numbers; they obey the same bounds as the movie element's.
  const struct {
    int32_t x, y, width, height;
    int32_t want_x, want_y, want_width, want_height;
  } cases[] = {
      {0, 0, 0, 0, 0, 0, 640, 480},
      {10, 20, 100000, 480, 10, 20, 640, 480},
      {10, 20, 320, 100000, 10, 20, 320, 480},
      {0, 0, -1, -7, 0, 0, 640, 480},
      {0, 0, 32768, 1, 0, 0, 640, 1},
      {0, 0, INT32_MAX, INT32_MAX, 0, 0, 640, 480},
      {0, 0, 32767, 32767, 0, 0, 32767, 32767},
      {-40000, 40000, 10, 10, -32768, 32767, 10, 10},
      {INT32_MIN, INT32_MAX, 10, 10, -32768, 32767, 10, 10},
  };
  for (const auto& c : cases) {
    Exec("<x><movie url=\"movie.scene\" width=\"640\" height=\"480\"/></x>");
    const std::string name = std::to_string(c.x) + "," + std::to_string(c.y) + "," +
                             std::to_string(c.width) + "," + std::to_string(c.height);
    EXPECT_EQ(S_OK, player_->SetMovieRect(c.x, c.y, c.width, c.height)) << name;
    EXPECT_EQ(c.want_x, player_->GetMovieX()) << name;
    EXPECT_EQ(c.want_y, player_->GetMovieY()) << name;
    EXPECT_EQ(c.want_width, player_->GetMovieWidth()) << name;
    EXPECT_EQ(c.want_height, player_->GetMovieHeight()) << name;
    EXPECT_EQ(c.want_width, holder_.GetMovieWidth()) << name;
    EXPECT_EQ(c.want_height, holder_.GetMovieHeight()) << name;
    const NPWindow record = holder_.GetWindowRecord();
    EXPECT_EQ(c.want_x, record.x) << name;
    EXPECT_EQ(c.want_y, record.y) << name;
    EXPECT_EQ(static_cast<uint32_t>(c.want_width), record.width) << name;
    EXPECT_EQ(static_cast<uint32_t>(c.want_height), record.height) << name;
  }
}

TEST_F(StartedTest, MovieWithoutSizesAfterAnEmptyMovieRectKeepsAUsableClientArea) {
  CFSCommandProcessor processor;
  processor.SetDilator(player_.get());
  Exec("<x><movie url=\"movie.scene\" width=\"640\" height=\"480\"/></x>");
  EXPECT_EQ(S_OK, processor.OnFSCommand(L"FP,0,0,0,0", L""));
  Exec("<x><movie url=\"movie.scene\"/></x>");
  EXPECT_EQ(640, player_->GetClientWidth());
  EXPECT_EQ(480, player_->GetClientHeight());
  EXPECT_EQ(640, holder_.GetMovieWidth());
  EXPECT_EQ(480, holder_.GetMovieHeight());
}

TEST_F(StartedTest, HolderSettingsReachTheHolder) {
  EXPECT_EQ(S_OK, Assign("AS30CALLBACK", L"onResult"));
  EXPECT_STREQ("onResult", holder_.GetResultCallback().c_str());
  EXPECT_EQ(S_OK, Assign("AS30CALLBACK", Value(12)));
  EXPECT_STREQ("12", holder_.GetResultCallback().c_str());
  EXPECT_EQ(S_OK, Assign("FLASHVARS", Value(3)));
}

TEST_F(StartedTest, ReservedNamesInTheScriptMakeNoVariables) {
  Exec(
      "<x><assign name=\"CAPTION\" expr=\"'upper'\"/><assign name=\"caption\" "
      "expr=\"'lower'\"/></x>");
  EXPECT_EQ(std::vector<std::string>{"upper"}, player_->captions);
  Value value;
  EXPECT_EQ(E_FAIL, player_->GetScriptEngine().LookupVariable("CAPTION", &value.v));
  EXPECT_EQ(S_OK, player_->GetScriptEngine().LookupVariable("caption", &value.v));
  EXPECT_EQ("lower", player_test::TextOf(value.v));
}

// ---- Small operations

TEST_F(SettingsTest, ReadyFlagAndBaseFolder) {
  CSmallStr text;
  EXPECT_EQ(S_OK, player_->GetReadyFlag(&text));
  EXPECT_STREQ("1", text.c_str());
  EXPECT_EQ(E_POINTER, player_->GetReadyFlag(nullptr));
  CSmallStr folder;
  EXPECT_EQ(S_OK, player_->GetBaseDir(&folder));
  EXPECT_EQ(GetExecutableFolder(), folder);
  EXPECT_FALSE(folder.IsEmpty());
  EXPECT_EQ(E_INVALIDARG, player_->GetBaseDir(nullptr));
}

TEST_F(SettingsTest, HolderOperationsWaitForTheStart) {
  EXPECT_EQ(E_UNEXPECTED, player_->PlaceMovie(800, 600));
  EXPECT_EQ(E_UNEXPECTED, player_->AttachMovieWindow());
  const Value one(1);
  EXPECT_EQ(E_UNEXPECTED, player_->SetMovieValue("x", &one.v));
  EXPECT_EQ(E_UNEXPECTED, player_->SetMovieRect(0, 0, 10, 10));
}

}  // namespace
