// Reading a data folder into export contents and writing contents back, through the stores' file
// layer (with faults injected where it shows what a failure leaves behind).
#include "folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "commands.h"
#include "storage/faultfs.h"
#include "storage/protectedfile.h"
#include "storage/store_support.h"

namespace {

using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;

ExportContents Sample() {
  ExportContents contents;
  contents.sets.push_back({"saves", {{1, "one", "1"}, {2, "two", "2"}}});
  contents.sets.push_back({"other", {{0, "", "x"}}});
  contents.tables.push_back({"Main", {"300", "200"}});
  contents.scopes.push_back({".DEFAULT", {{"k", "v"}}});
  contents.scopes.push_back({"alice", {{"u", "1"}}});
  return contents;
}

class FolderTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(temp_.ok()); }

  ExportContents Read(FolderReport* report = nullptr) {
    ExportContents contents;
    FolderReport own;
    std::string error;
    EXPECT_TRUE(ReadDataFolder(&fs_, temp_.Path(), &contents, report ? report : &own, &error))
        << error;
    return contents;
  }

  store_test::CStoreFolder temp_;
  CFaultInjectingFileSystem fs_;
};

TEST_F(FolderTest, ReplaceThenReadGivesTheSameContents) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  FolderReport report;
  const ExportContents back = Read(&report);
  EXPECT_FALSE(report.HasProblems());
  // Files are read in name order: "other" before "saves".
  ExportContents expected = Sample();
  std::swap(expected.sets[0], expected.sets[1]);
  EXPECT_EQ(WriteExport(back), WriteExport(expected));
}

TEST_F(FolderTest, ReplaceRemovesWhatTheContentsDoNotHold) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  ExportContents one;
  one.sets.push_back({"SAVES", {{9, "nine", "9"}}});  // the same set as "saves"
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), one, WriteMode::kReplace, &error)) << error;
  EXPECT_EQ(store_test::FolderNames(temp_.Path()), (std::vector<std::string>{"saves"}));
  const ExportContents back = Read();
  ASSERT_EQ(back.sets.size(), 1u);
  EXPECT_EQ(back.sets[0].name, "saves");  // the file keeps its stored name
  ASSERT_EQ(back.sets[0].saves.size(), 1u);
  EXPECT_EQ(back.sets[0].saves[0].slot, 9);
}

TEST_F(FolderTest, MergeAddsSavesAndValuesAndReplacesTables) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  ExportContents more;
  more.sets.push_back({"saves", {{2, "TWO", "22"}, {3, "three", "3"}}});
  more.tables.push_back({"main", {"1"}});
  more.scopes.push_back({".DEFAULT", {{"n", "m"}}});
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), more, WriteMode::kMerge, &error)) << error;
  const ExportContents back = Read();
  ASSERT_EQ(back.sets.size(), 2u);
  const ExportSet& saves = back.sets[1];
  ASSERT_EQ(saves.saves.size(), 3u);
  EXPECT_EQ(saves.saves[1].description, "TWO");
  EXPECT_EQ(saves.saves[2].slot, 3);
  ASSERT_EQ(back.tables.size(), 1u);
  EXPECT_EQ(back.tables[0].scores, (std::vector<std::string>{"1"}));
  EXPECT_EQ(back.scopes[0].values.size(), 2u);
  EXPECT_EQ(back.scopes[1].values.at("u"), "1");
}

TEST_F(FolderTest, NamesThePlayerRefusesFailBeforeAnythingIsWritten) {
  for (const char* name : {"a/b", "CON", "bstscore.dat", "x.damaged-2"}) {
    ExportContents contents = Sample();
    contents.sets.push_back({name, {}});
    std::string error;
    EXPECT_FALSE(WriteDataFolder(&fs_, temp_.Path(), contents, WriteMode::kMerge, &error));
    EXPECT_NE(error.find("refuses the set name"), std::string::npos) << error;
  }
  ExportContents twice;
  twice.sets.push_back({"a", {}});
  twice.sets.push_back({"A", {}});
  std::string error;
  EXPECT_FALSE(WriteDataFolder(&fs_, temp_.Path(), twice, WriteMode::kReplace, &error));
  EXPECT_NE(error.find("letter case"), std::string::npos) << error;
  EXPECT_TRUE(store_test::FolderNames(temp_.Path()).empty());
}

TEST_F(FolderTest, DamagedFilesAreReportedAndKeptAsideByAMerge) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  // Begins like a container, so it is a damaged file of the player's, not someone else's file.
  const store_test::Bytes junk = {0xCF, 0x01, 'j', 'u', 'n', 'k'};
  store_test::WriteBytes(temp_ / "saves", junk);
  FolderReport report;
  Read(&report);
  EXPECT_TRUE(report.HasProblems());
  // A replace would drop the shared files' unreadable parts; it refuses damaged shared files.
  store_test::WriteBytes(temp_ / "bstscore.dat", junk);
  EXPECT_FALSE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error));
  EXPECT_NE(error.find("bstscore.dat is damaged"), std::string::npos) << error;
  // A merge writes through the stores: each damaged file is copied aside before it is replaced.
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kMerge, &error)) << error;
  EXPECT_EQ(store_test::ReadBytes(temp_ / "saves.damaged-1"), junk);
  EXPECT_EQ(store_test::ReadBytes(temp_ / "bstscore.dat.damaged-1"), junk);
}

TEST_F(FolderTest, AFailingWriteStopsWithTheItemAndLeavesWholeFiles) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  const store_test::Bytes before = store_test::ReadBytes(temp_ / "saves");
  ExportContents change;
  change.sets.push_back({"saves", {{1, "changed", "c"}}});
  fs_.FailCall(FileOp::kReplace, 1);
  EXPECT_FALSE(WriteDataFolder(&fs_, temp_.Path(), change, WriteMode::kMerge, &error));
  EXPECT_NE(error.find("set \"saves\": write failed"), std::string::npos) << error;
  fs_.Clear();
  EXPECT_EQ(store_test::ReadBytes(temp_ / "saves"), before);
  FolderReport report;
  Read(&report);
  EXPECT_FALSE(report.HasProblems());
  for (const std::string& name : store_test::FolderNames(temp_.Path())) {
    EXPECT_EQ(name.find(".~vexa"), std::string::npos) << name;
  }
}

TEST_F(FolderTest, AFileThatCannotBeReadIsReportedAndNotWrittenOver) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  fs_.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  FolderReport report;
  Read(&report);
  EXPECT_TRUE(report.HasProblems());
  EXPECT_FALSE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kMerge, &error));
  EXPECT_NE(error.find("cannot be read"), std::string::npos) << error;
}

// Windows and people put their own files into a data folder; they are not the player's, so they
// are listed without a problem, while a file the player did write and can no longer read still is
// one.
TEST_F(FolderTest, FilesThatAreNotThePlayersAreOtherFilesNotProblems) {
  std::string error;
  ASSERT_TRUE(WriteDataFolder(&fs_, temp_.Path(), Sample(), WriteMode::kReplace, &error)) << error;
  const store_test::Bytes set = store_test::ReadBytes(temp_ / "saves");
  ASSERT_GT(set.size(), 8u);
  struct Case {
    const char* name;
    store_test::Bytes bytes;
    bool problem;
  };
  const std::string ini = "[.ShellClassInfo]\r\nIconResource=game.ico,0\r\n";
  const Case cases[] = {
      {"desktop.ini", store_test::Bytes(ini.begin(), ini.end()), false},
      {"notes.txt", {'m', 'y', ' ', 'n', 'o', 't', 'e', 's'}, false},
      // Starts like a container but is no well-formed one: a save set the player wrote, damaged.
      {"cut", store_test::Bytes(set.begin(), set.begin() + 6), true},
      // A whole container under another name: the player cannot read it as that set.
      {"renamed", set, true},
  };
  for (const Case& c : cases) store_test::WriteBytes(temp_ / c.name, c.bytes);
  FolderReport report;
  Read(&report);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto it = std::find_if(report.files.begin(), report.files.end(),
                           [&](const FolderFile& f) { return f.fileName == c.name; });
    ASSERT_NE(it, report.files.end());
    EXPECT_EQ(it->kind, FolderFile::Kind::kOther);
    EXPECT_EQ(!it->problem.empty(), c.problem) << it->problem;
  }
  for (const char* name : {"cut", "renamed"}) ASSERT_TRUE(fs_.Remove(temp_ / name));
  report = FolderReport();
  Read(&report);
  EXPECT_FALSE(report.HasProblems());
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(ListCommand(&fs_, temp_.Path(), out), 0);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  EXPECT_NE(text.find("desktop.ini"), std::string::npos) << text;
  EXPECT_NE(text.find("2 other files"), std::string::npos) << text;
}

}  // namespace
