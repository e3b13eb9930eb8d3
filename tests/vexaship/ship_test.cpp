#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ship.h"

namespace {

using vexa::ship::CheckGame;
using vexa::ship::DevelopmentFileReason;
using vexa::ship::GameCheck;
using vexa::ship::ParseShipArguments;
using vexa::ship::ShipOptions;

bool Parse(std::vector<std::string> args, ShipOptions* options, std::string* error) {
  return ParseShipArguments(args, options, error);
}

TEST(ShipArguments, AFullCommandLine) {
  ShipOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"game",
                     "--out",
                     "dist",
                     "--plugin",
                     "np.dll",
                     "--arch",
                     "x86_64",
                     "--exe-name",
                     "Star Hopper.exe",
                     "--icon",
                     "g.ico",
                     "--version",
                     "2.1",
                     "--product",
                     "Star Hopper",
                     "--company",
                     "Me",
                     "--single-file",
                     "--zip",
                     "--installer",
                     "--sign",
                     "c.pfx",
                     "--sign-password-file",
                     "pw"},
                    &o, &error))
      << error;
  EXPECT_EQ("game", o.game_folder);
  EXPECT_EQ("dist", o.out_folder);
  EXPECT_EQ("x86_64", o.arch);
  EXPECT_EQ("Star Hopper", o.exe_name);  // ".exe" is added when writing
  EXPECT_EQ("2.1.0.0", o.version);       // always four numbers
  EXPECT_TRUE(o.single_file && o.zip && o.installer);
  EXPECT_EQ("c.pfx", o.sign_certificate);
}

TEST(ShipArguments, UsageErrorsSayWhatIsWrong) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"--out", "d", "--plugin", "p"}, "no game folder"},
      {{"g", "--plugin", "p"}, "--out"},
      {{"g", "--out", "d"}, "--plugin"},
      {{"g", "h", "--out", "d", "--plugin", "p"}, "more than one game folder"},
      {{"g", "--out", "d", "--plugin", "p", "--arch", "arm64"}, "--arch"},
      {{"g", "--out", "d", "--plugin", "p", "--version", "1.2.3.4.5"}, "--version"},
      {{"g", "--out", "d", "--plugin", "p", "--version", "70000"}, "--version"},
      {{"g", "--out", "d", "--plugin", "p", "--sign", "c.pfx"}, "--sign-password-file"},
      {{"g", "--out", "d", "--plugin", "p", "--exe-name", "a/b"}, "--exe-name"},
      {{"g", "--out", "d", "--plugin", "p", "--exe-name", "what?"}, "--exe-name"},
      {{"g", "--out", "d", "--plugin", "p", "--frobnicate"}, "unknown option --frobnicate"},
      {{"g", "--out", "d", "--plugin"}, "--plugin needs a value"},
      {{"g", "--out", "d", "--out", "e", "--plugin", "p"}, "twice"},
  };
  for (const Case& c : cases) {
    ShipOptions o;
    std::string error;
    EXPECT_FALSE(Parse(c.args, &o, &error)) << c.message;
    EXPECT_NE(std::string::npos, error.find(c.message)) << error;
  }
}

TEST(ShipChecks, DevelopmentFilesAreNamed) {
  const char* left_out[] = {"vexa-diagnostics.log",
                            "logs\\VEXA-Diagnostics.LOG",
                            ".git\\config",
                            "images\\.DS_Store",
                            "Thumbs.db",
                            "art\\title.psd",
                            "movies\\main.fla",
                            "init.xml~",
                            "vexa_player.exe",
                            "old.bak"};
  for (const char* name : left_out) EXPECT_NE("", DevelopmentFileReason(name)) << name;
  const char* kept[] = {"init.xml",      "movies\\main.swf", "images\\logo.png", "readme.txt",
                        "sounds\\a.mp3", "data\\levels.xml", "exe\\notes.txt"};
  for (const char* name : kept) EXPECT_EQ("", DevelopmentFileReason(name)) << name;
}

TEST(ShipChecks, MoviesMustBeInTheGame) {
  const std::vector<std::string> files = {"init.xml", "movies\\Main.swf", "intro.swf"};
  struct Case {
    const char* init;
    size_t errors;
    const char* first_error;
  } cases[] = {
      {"<init><movie url=\"movies/main.swf\"/></init>", 0, ""},  // case and separator ignored
      {"<init><movie url=\"./intro.swf?x=1\"/></init>", 0, ""},
      {"<init><function name=\"f\"><movie url=\"outro.swf\"/></function></init>", 1, "outro.swf"},
      {"<init><movie url=\"gone.swf\"/><movie url=\"intro.swf\"/></init>", 1, "gone.swf"},
      // Run-time forms are the script's business: not checked.
      {"<init><movie url=\"#LEVEL#.swf\"/><movie url=\"http://example.test/a.swf\"/></init>", 0,
       ""},
      {"<init", 1, "init.xml does not parse"},
      {"no element at all", 1, "init.xml does not parse"},
  };
  for (const Case& c : cases) {
    GameCheck check;
    CheckGame(c.init, files, &check);
    ASSERT_EQ(c.errors, check.errors.size()) << c.init;
    if (c.errors) {
      EXPECT_NE(std::string::npos, check.errors[0].find(c.first_error)) << check.errors[0];
    }
  }
}

TEST(ShipChecks, GameNameAndSavesComeFromPlainAssignments) {
  GameCheck check;
  CheckGame(
      "<init><assign name=\"GAMENAME\" expr=\"'StarHopper'\"/>"
      "<assign name=\"GAMESAVES\" expr=\"'Hopper Saves'\"/><movie url=\"a.swf\"/></init>",
      {"a.swf"}, &check);
  EXPECT_EQ("StarHopper", check.game_name);
  EXPECT_EQ("Hopper Saves", check.game_saves);

  GameCheck computed;
  CheckGame("<init><assign name=\"GAMENAME\" expr=\"'Star' + 'Hopper'\"/></init>", {}, &computed);
  EXPECT_EQ("", computed.game_name);  // not a plain text: the author names it with --saves-folder
  EXPECT_EQ(1u, computed.warnings.size());  // and no movie at all is worth a warning
}

}  // namespace
