// The pure setting readers: numbers, flags, FSMODES, folder names and the movie placement rule.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "player/settings.h"

namespace {

using vexa::player::ComputeMovieRect;
using vexa::player::IsSafeFolderName;
using vexa::player::ModeRecord;
using vexa::player::MoviePlacement;
using vexa::player::ParseFlag;
using vexa::player::ParseFSModes;
using vexa::player::ParseInteger;
using vexa::player::ScanIntegers;

TEST(ParseIntegerTest, ReadsLikeAtoiButSaturates) {
  struct Case {
    const char* text;
    int32_t value;
    bool found;
  };
  const Case cases[] = {
      {"12", 12, true},
      {"  -7x", -7, true},
      {"+5", 5, true},
      {"12abc", 12, true},
      {"007", 7, true},
      {"", 0, false},
      {"abc", 0, false},
      {"- 5", 0, false},
      {"2147483647", INT32_MAX, true},
      {"2147483648", INT32_MAX, true},
      {"-2147483648", INT32_MIN, true},
      {"-2147483649", INT32_MIN, true},
      {"99999999999999999999999999999", INT32_MAX, true},
      {"-99999999999999999999999999999", INT32_MIN, true},
  };
  for (const Case& c : cases) {
    bool found = !c.found;
    EXPECT_EQ(c.value, ParseInteger(c.text, &found)) << c.text;
    EXPECT_EQ(c.found, found) << c.text;
  }
}

TEST(ScanIntegersTest, ReadsLikeScanfWithCommas) {
  struct Case {
    const char* text;
    int read;
    std::vector<int32_t> values;
  };
  const Case cases[] = {
      {"10,20,320,200", 4, {10, 20, 320, 200}},
      {"10, 20,\t30, 40", 4, {10, 20, 30, 40}},  // white space before a number is skipped
      {"10 ,20,30,40", 1, {10}},                 // but the comma must follow the number
      {"1,2,3", 3, {1, 2, 3}},
      {"1,2,3,4,5", 4, {1, 2, 3, 4}},
      {"-1,-2,x,4", 2, {-1, -2}},
      {"a,1,2,3", 0, {}},
      {"", 0, {}},
      {"5000000000,1,1,1", 4, {INT32_MAX, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    int32_t values[4] = {-99, -99, -99, -99};
    ASSERT_EQ(c.read, ScanIntegers(c.text, ',', values, 4)) << c.text;
    for (int i = 0; i < c.read; ++i) EXPECT_EQ(c.values[i], values[i]) << c.text << " #" << i;
    for (int i = c.read; i < 4; ++i) EXPECT_EQ(-99, values[i]) << c.text << " untouched #" << i;
  }
}

TEST(ParseFlagTest, TrueWordsFalseOtherwiseNothingWhenEmpty) {
  for (const char* text : {"on", "ON", "True", "true", "1"})
    EXPECT_EQ(true, ParseFlag(text)) << text;
  for (const char* text : {"off", "0", "yes", " on", "on ", "11", "truefalse"}) {
    EXPECT_EQ(false, ParseFlag(text)) << text;
  }
  EXPECT_EQ(std::nullopt, ParseFlag(""));
}

std::string Describe(const ModeRecord& m) {
  return std::to_string(m.id) + "/" + std::to_string(m.wide) + " " +
         std::to_string(m.displayWidth) + "x" + std::to_string(m.displayHeight) + " [" +
         m.urlSuffix.str() + "] " + std::to_string(m.movieWidth) + "x" +
         std::to_string(m.movieHeight);
}

std::vector<std::string> Modes(const char* text) {
  std::vector<std::string> out;
  for (const ModeRecord& m : ParseFSModes(text)) out.push_back(Describe(m));
  return out;
}

TEST(ParseFSModesTest, ReadsTheDocumentedExample) {
  EXPECT_EQ((std::vector<std::string>{"1/0 800x600 [] 800x600", "2/1 1280x720 [?wide=1] 1280x720"}),
            Modes("1x0,800x600,,800x600;2x1,1280x720,?wide=1,1280x720"));
}

TEST(ParseFSModesTest, EdgeCases) {
  struct Case {
    const char* text;
    std::vector<std::string> modes;
  };
  const Case cases[] = {
      {"", {}},
      // A trailing ';' makes an empty entry, which is skipped.
      {"1x0,800x600,,800x600;", {"1/0 800x600 [] 800x600"}},
      // Empty numbers read as 0; the wide flag is 1 only for a positive number.
      {"x,x,,640x480", {"0/0 0x0 [] 640x480"}},
      {"3x7,1x1,,640x480;4x-2,1x1,,640x480", {"3/1 1x1 [] 640x480", "4/0 1x1 [] 640x480"}},
      // Numbers stop at the first non-digit.
      {"1x0,800x600px,s,800x600!", {"1/0 800x600 [s] 800x600"}},
      // Fewer than four fields, or a pair without 'x': skipped, the others kept.
      {"1x0,800x600,800x600;2x0,640x480,,640x480", {"2/0 640x480 [] 640x480"}},
      {"1x0,800*600,,800x600;2x0,640x480,,640x480", {"2/0 640x480 [] 640x480"}},
      {"1x0,800x600,,800-600", {}},
      // A suffix with commas is taken whole.
      {"1x1,1280x720,?a=1,b=2,1280x720", {"1/1 1280x720 [?a=1,b=2] 1280x720"}},
  };
  for (const Case& c : cases) EXPECT_EQ(c.modes, Modes(c.text)) << c.text;
}

TEST(ParseFSModesTest, MovieSizesThatNoWindowCanHaveAreRefused) {
  const char* refused[] = {
      "1x0,800x600,,0x0",    "1x0,800x600,,800x0",     "1x0,800x600,,-800x600",
      "1x0,800x600,,800x-1", "1x0,800x600,,32768x600", "1x0,800x600,,800x99999999999999",
  };
  for (const char* text : refused) EXPECT_TRUE(Modes(text).empty()) << text;
  EXPECT_EQ(std::vector<std::string>{"1/0 800x600 [] 32767x32767"},
            Modes("1x0,800x600,,32767x32767"));
}

TEST(FolderNameTest, OnlyNamesThatStayOneFolderAreSafe) {
  for (const char* name :
       {"MyGame", "My Game 2", "game_v1.2", "-x-", "COM10", "CONSOLE", "Sp\xE9l"}) {
    EXPECT_TRUE(IsSafeFolderName(name)) << name;
  }
  const char* unsafe[] = {
      "",     "a\\b", "a/b", "C:",      ":x",  "..",  "a..b",    "../up", "x.",
      "x ",   ".",    "a<b", "a>b",     "a|b", "a?b", "a*b",     "a\"b",  "tab\t",
      "nl\n", "CON",  "con", "con.txt", "NUL", "prn", "AUX.dat", "COM1",  "lpt9.log",
  };
  for (const char* name : unsafe) EXPECT_FALSE(IsSafeFolderName(name)) << name;
  // Windows opens these as devices too: the digit 0 and the code page's superscript digits, the
  // console and clock devices, and a device name with spaces before its extension.
  for (const char* name :
       {"COM0", "LPT0", "COM\xB9", "lpt\xB2", "CONIN$", "conout$", "CLOCK$", "nul .txt"}) {
    EXPECT_FALSE(IsSafeFolderName(name)) << name;
  }
  EXPECT_TRUE(IsSafeFolderName(std::string(128, 'a')));
  EXPECT_FALSE(IsSafeFolderName(std::string(129, 'a')));
  EXPECT_FALSE(IsSafeFolderName(std::string("a\0b", 3)));
}

TEST(MovieRectTest, PlacementRule) {
  struct Case {
    const char* what;
    MoviePlacement placement;
    int32_t clientWidth, clientHeight;
    int32_t left, top, right, bottom;
  };
  const Case cases[] = {
      {"resize fills the client area", {true, true, 5, 5, 800, 600}, 1024, 768, 0, 0, 1024, 768},
      {"centred", {false, true, 5, 5, 800, 600}, 1024, 768, 112, 84, 912, 684},
      {"centred, odd spare", {false, true, 0, 0, 800, 600}, 801, 603, 0, 1, 800, 601},
      {"centred, larger than the client rounds down",
       {false, true, 0, 0, 801, 603},
       800,
       600,
       -1,
       -2,
       800,
       601},
      {"at its position", {false, false, 10, -20, 800, 600}, 1024, 768, 10, -20, 810, 580},
      {"no overflow",
       {false, false, INT32_MAX, INT32_MIN, INT32_MAX, -5},
       1,
       1,
       INT32_MAX,
       INT32_MIN,
       INT32_MAX,
       INT32_MIN},
      {"centred extremes",
       {false, true, 0, 0, INT32_MAX, INT32_MAX},
       INT32_MIN,
       INT32_MIN,
       INT32_MIN,
       INT32_MIN,
       -1,
       -1},
  };
  for (const Case& c : cases) {
    const vexa::platform::WindowRect rect =
        ComputeMovieRect(c.placement, c.clientWidth, c.clientHeight);
    EXPECT_EQ(c.left, rect.left) << c.what;
    EXPECT_EQ(c.top, rect.top) << c.what;
    EXPECT_EQ(c.right, rect.right) << c.what;
    EXPECT_EQ(c.bottom, rect.bottom) << c.what;
  }
}

}  // namespace
