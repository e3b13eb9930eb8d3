// SEF: where the file goes, the mode letters, the text written, and that nothing half written or
// misplaced is left behind; the whole-file replacing write it relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fakes.h"
#include "fscommand/processor.h"
#include "platform/codepage.h"
#include "platform/safewrite.h"
#include "support/files.h"
#include "support/folders.h"

namespace {

namespace fs = std::filesystem;
using fscommand_test::CFakeDilator;
using fscommand_test::CFakeHolder;
using vexa::testing::ReadText;

std::string Slashed(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (c == '\\') c = '/';
  }
  return text;
}

class SaveFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.ok());
    game_ = root_ / "game";
    fs::create_directories(game_);
    dilator_.baseDir = Slashed(game_) + "/";
    // The player creates the folders a file name needs.
    dilator_.onCreateFolderPath = [](const char* path) {
      std::error_code ec;
      fs::create_directories(fs::path(path).parent_path(), ec);
    };
    processor_.SetDilator(&dilator_);
    processor_.SetHolder(&holder_);
  }

  // Every file below the test's folder, relative, sorted.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      if (entry.is_regular_file()) names.push_back(Slashed(fs::relative(entry.path(), root_)));
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  vexa::testing::CTempFolder folder_{"vexa-sef-"};
  const fs::path& root_ = folder_.root();
  fs::path game_;
  CFakeDilator dilator_;
  CFakeHolder holder_;
  CFSCommandProcessor processor_;
};

TEST_F(SaveFileTest, RelativeNamesGoToTheGameFolder) {
  processor_.OnFSCommand(L"SEF|notes/out.txt|", L"hello");
  EXPECT_EQ("hello", ReadText(game_ / "notes" / "out.txt"));
  EXPECT_EQ((std::vector<std::string>{"CreateFolderPath(" + dilator_.baseDir + "notes/out.txt,1)"}),
            dilator_.calls);
  EXPECT_EQ((std::vector<std::string>{"game/notes/out.txt"}), Files());
  EXPECT_TRUE(holder_.results.empty());
}

TEST_F(SaveFileTest, RelativeNamesWithoutAGameFolderAreRefused) {
  // Run from inside the test's folder: a relative name must not land in the current folder.
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  dilator_.baseDir.clear();  // the player has no game folder to give
  processor_.OnFSCommand(L"SEF|empty.txt|", L"x");
  dilator_.baseDir = "/unused/";
  dilator_.status = E_FAIL;  // nor can it say which
  processor_.OnFSCommand(L"SEF|failed.txt|", L"x");
  fs::current_path(before);
  EXPECT_EQ(std::vector<std::string>{}, Files());
}

TEST_F(SaveFileTest, RootedNamesAreWrittenWhereTheyPoint) {
  const std::string elsewhere = Slashed(root_ / "elsewhere" / "x.txt");
  const std::wstring command = L"SEF*" + vexa::platform::AnsiToWide(elsewhere) + L"*";
  processor_.OnFSCommand(command.c_str(), L"abs");
  EXPECT_EQ("abs", ReadText(root_ / "elsewhere" / "x.txt"));
}

TEST_F(SaveFileTest, ModeLettersChooseAppendAndRaw) {
  const struct {
    const wchar_t* command;
    const wchar_t* argument;
    const char* content;  // of out.txt afterwards
  } steps[] = {
      {L"SEF|out.txt|", L"say \\\"hi\\\"", "say \"hi\""},        // text: \" becomes "
      {L"SEF|out.txt|rr", L"say \\\"hi\\\"", "say \\\"hi\\\""},  // raw: as sent
      {L"SEF|out.txt|aR", L"+\\\"", "say \\\"hi\\\"+\\\""},      // append raw
      {L"SEF|out.txt|A", L"+\\\"", "say \\\"hi\\\"+\\\"+\""},    // append text
      {L"sef|out.txt|xx", L"new", "new"},                        // replace text
      {L"SEF|out.txt|rrjunk", L"\\\\\"", "\\\\\""},              // raw; extra letters
      {L"SEF|out.txt|r", L"\\\"", "\""},                         // 'r' first: replace text
  };
  for (const auto& step : steps) {
    processor_.OnFSCommand(step.command, step.argument);
    EXPECT_EQ(step.content, ReadText(game_ / "out.txt"))
        << vexa::platform::WideToUtf8(step.command);
  }
  EXPECT_EQ((std::vector<std::string>{"game/out.txt"}), Files());
}

TEST_F(SaveFileTest, NonAsciiTextIsWrittenInFull) {
  const wchar_t* text = L"caf\u00e9 \u00fcber";
  processor_.OnFSCommand(L"SEF|raw.txt|rr", text);
  processor_.OnFSCommand(L"SEF|text.txt|", text);
  const std::string expected = vexa::platform::WideToAnsi(text);
  EXPECT_EQ(expected, ReadText(game_ / "raw.txt"));
  EXPECT_EQ(expected, ReadText(game_ / "text.txt"));
}

TEST_F(SaveFileTest, CommandsMissingTheFileNameOrItsSeparatorAreRefused) {
  for (const wchar_t* command :
       {L"SEF", L"SEF|", L"SEF|out.txt", L"SEF||rr", L"SEFout.txt", L"SEF|out.txt"}) {
    processor_.OnFSCommand(command, L"data");
  }
  EXPECT_TRUE(dilator_.calls.empty());
  EXPECT_TRUE(Files().empty());
}

TEST_F(SaveFileTest, AFailedWriteLeavesNothingBehind) {
  // The folder is not created (the player failed to), so the file cannot be written.
  dilator_.onCreateFolderPath = nullptr;
  processor_.OnFSCommand(L"SEF|missing/out.txt|", L"data");
  EXPECT_TRUE(Files().empty());
  // A folder where the file should be stays a folder, and no temporary file is left beside it.
  fs::create_directories(game_ / "taken");
  processor_.OnFSCommand(L"SEF|taken|", L"data");
  EXPECT_TRUE(fs::is_directory(game_ / "taken"));
  EXPECT_TRUE(Files().empty());
}

TEST_F(SaveFileTest, WithoutTheGameFolderTheNameIsUsedAsGiven) {
  // A player that cannot tell its folder: the name is used as given (relative to the current
  // folder), so the command is not lost. Written with a rooted name here to stay in the test's
  // folder.
  dilator_.status = E_FAIL;
  const std::string target = Slashed(game_ / "plain.txt");
  const std::wstring command = L"SEF|" + vexa::platform::AnsiToWide(target) + L"|";
  processor_.OnFSCommand(command.c_str(), L"ok");
  EXPECT_EQ("ok", ReadText(game_ / "plain.txt"));
}

// ---- The replacing write

TEST_F(SaveFileTest, WriteFileReplacingSwapsWholeContentsOnly) {
  const std::string path = Slashed(game_ / "whole.bin");
  ASSERT_TRUE(vexa::platform::WriteFileReplacing(path, "first", 5));
  EXPECT_EQ("first", ReadText(path));
  ASSERT_TRUE(vexa::platform::WriteFileReplacing(path, "2", 1));
  EXPECT_EQ("2", ReadText(path));
  ASSERT_TRUE(vexa::platform::WriteFileReplacing(path, "", 0));
  EXPECT_EQ("", ReadText(path));
  EXPECT_TRUE(fs::exists(path));

  EXPECT_FALSE(vexa::platform::WriteFileReplacing(Slashed(game_ / "no" / "such.bin"), "x", 1));
  EXPECT_FALSE(vexa::platform::WriteFileReplacing(Slashed(game_), "x", 1));
  EXPECT_FALSE(vexa::platform::WriteFileReplacing("", "x", 1));
  EXPECT_FALSE(vexa::platform::WriteFileReplacing(path, nullptr, 3));
  EXPECT_EQ("", ReadText(path));
  EXPECT_EQ((std::vector<std::string>{"game/whole.bin"}), Files());
}

TEST(RootedPath, NamesThatAFolderCannotPrefix) {
  EXPECT_TRUE(vexa::platform::IsRootedPath("/x"));
  EXPECT_TRUE(vexa::platform::IsRootedPath("\\x"));
  EXPECT_FALSE(vexa::platform::IsRootedPath("x/y"));
  EXPECT_FALSE(vexa::platform::IsRootedPath("./x"));
  EXPECT_FALSE(vexa::platform::IsRootedPath("../x"));
  EXPECT_FALSE(vexa::platform::IsRootedPath(""));
}

}  // namespace
