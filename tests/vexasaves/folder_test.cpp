// Reading a data folder into export contents and writing contents back, through the stores' file
// layer (with faults injected where it shows what a failure leaves behind).
#include "folder.h"

#include <gtest/gtest.h>

#include <string>

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
  const store_test::Bytes junk = {'j', 'u', 'n', 'k'};
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

}  // namespace
