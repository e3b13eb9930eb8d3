// The command line of vexasaves and the commands' refusals, without starting the tool.
#include "commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "storage/store_support.h"

namespace {

std::string Ansi(const std::string& utf8) {
  return vexa::platform::WideToAnsi(vexa::platform::Utf8ToWide(utf8));
}

// Names of sets, tables, scopes and games are compared with what the player stored in its narrow
// code page, while folders and files are paths, UTF-8 on every system. (On POSIX the two are the
// same; the Windows build is where a mix-up shows.)
TEST(CommandLine, NamesAreNarrowTextAndPathsStayUtf8) {
  const std::string cafe = "Caf\xC3\xA9";  // UTF-8
  SavesCommandLine line;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine(
      {"export", "Spiele/" + cafe, cafe + ".txt", "--set=" + cafe, "--table", cafe, "--scope", cafe,
       "--game", cafe, "--saves=" + cafe, "--maker", cafe, "--keep", cafe, "--base=" + cafe},
      &line, &problem))
      << problem;
  EXPECT_EQ(line.command, "export");
  EXPECT_EQ(line.args, (std::vector<std::string>{"Spiele/" + cafe, cafe + ".txt"}));
  for (const std::string* name : {&line.options.set, &line.options.table, &line.options.scope,
                                  &line.options.game, &line.options.saves, &line.options.maker}) {
    EXPECT_EQ(*name, Ansi(cafe));
  }
  EXPECT_EQ(line.options.keep, cafe);
  EXPECT_EQ(line.options.base, cafe);
}

TEST(CommandLine, WrongUsageIsNamed) {
  struct Case {
    std::vector<std::string> argv;
    const char* problem;
  };
  const Case cases[] = {
      {{"list", "--set"}, "--set needs a value"},
      {{"list", "x", "--bogus"}, "unknown option --bogus"},
  };
  for (const Case& c : cases) {
    SavesCommandLine line;
    std::string problem;
    EXPECT_FALSE(ParseCommandLine(c.argv, &line, &problem));
    EXPECT_EQ(problem, c.problem);
  }
  SavesCommandLine line;
  std::string problem;
  ASSERT_TRUE(ParseCommandLine({"print", "--", "--set", "-"}, &line, &problem)) << problem;
  EXPECT_EQ(line.args, (std::vector<std::string>{"--set", "-"}));
  EXPECT_TRUE(line.options.set.empty());
}

// A running game keeps its saves in memory and writes them back later: what an import or a restore
// put into its folder would be undone, so both refuse while a copy of the player runs the game.
class RunningGameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    folder_ = temp_ / "Puzzle";
    ASSERT_TRUE(fs_.CreateFolder(folder_));
    export_ = temp_ / "in.txt";
    const std::string text = "vexasaves 1\nset \"s\"\nsave 1 \"d\" \"x\"\n";
    store_test::WriteBytes(export_, store_test::Bytes(text.begin(), text.end()));
  }

  // The options with a check that reports `running` as the running games and notes the names asked.
  SavesOptions Options(std::vector<std::string> running) {
    SavesOptions options;
    options.gameRunning = [this, running](const std::string& name) {
      asked_.push_back(name);
      for (const std::string& r : running)
        if (r == name) return true;
      return false;
    };
    return options;
  }

  store_test::CStoreFolder temp_;
  vexa::platform::IFileSystem& fs_ = vexa::platform::NativeFileSystem();
  std::string folder_, export_;
  std::vector<std::string> asked_;
};

TEST_F(RunningGameTest, ImportAndRestoreRefuseWhileTheGameRuns) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  struct Case {
    std::vector<std::string> running;
    std::string game;  // --game
  };
  // The folder is named after GAMENAME unless the game sets GAMESAVES; --game names it then.
  const Case cases[] = {{{"Puzzle"}, ""}, {{"PuzzleGame"}, "PuzzleGame"}};
  for (const Case& c : cases) {
    SavesOptions options = Options(c.running);
    options.game = c.game;
    EXPECT_EQ(ImportCommand(nullptr, folder_, export_, options, out), 1);
    options.keep = temp_ / "kept.txt";
    EXPECT_EQ(RestoreCommand(nullptr, folder_, export_, options, out), 1);
    EXPECT_TRUE(store_test::FolderNames(folder_).empty());
    EXPECT_FALSE(fs_.Exists(options.keep));
  }
  SavesOptions idle = Options({"Other"});
  EXPECT_EQ(ImportCommand(nullptr, folder_ + "/", export_, idle, out), 0);
  EXPECT_EQ(store_test::FolderNames(folder_), (std::vector<std::string>{"s"}));
  EXPECT_EQ(asked_.back(), "Puzzle");  // a trailing separator does not hide the folder's name
  std::fclose(out);
}

}  // namespace
