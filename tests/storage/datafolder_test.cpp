// Data folders: how the folder is composed, and the work of creating it (access list once per
// maker folder) against a recording fake of the OS. Table names: tablename_test.cpp.
#include "storage/datafolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/userfolders.h"
#include "storage/highscores.h"
#include "storage/store_support.h"
#include "storage/vregistry.h"

namespace {

using vexa::storage::CDataFolder;
using vexa::storage::ComposeDataFolder;
using vexa::storage::DataFolderNames;
using vexa::storage::IFolderOps;

TEST(DataFolderCompose, GameSavesWinsOverGameName) {
  DataFolderNames names;
  names.maker = "Quorva";
  names.gameName = "Puzzle";
  EXPECT_EQ(ComposeDataFolder("C:\\Users\\u\\AppData\\Roaming", names),
            "C:\\Users\\u\\AppData\\Roaming\\Quorva\\Puzzle");
  names.gameSaves = "PuzzleSaves";
  EXPECT_EQ(ComposeDataFolder("C:\\Users\\u\\AppData\\Roaming\\", names),
            "C:\\Users\\u\\AppData\\Roaming\\Quorva\\PuzzleSaves");
}

TEST(DataFolderCompose, EmptyPartsAreLeftOutAndNoBaseGivesNoFolder) {
  DataFolderNames names;
  names.maker = "Quorva";
  names.gameName = "";
  EXPECT_EQ(ComposeDataFolder("/home/u/.local/share", names), "/home/u/.local/share\\Quorva");
  EXPECT_EQ(ComposeDataFolder("", names), "");
}

// Records the OS calls and plays a file system of folders.
class CFakeFolders : public IFolderOps {
 public:
  bool GetApplicationDataFolder(std::string* utf8) override {
    if (appData.empty()) return false;
    *utf8 = appData;
    return true;
  }
  bool FolderExists(const std::string& utf8) override { return folders.count(utf8) != 0; }
  bool CreateFolder(const std::string& utf8) override {
    calls.push_back("create " + utf8);
    folders.insert(utf8);
    return true;
  }
  bool CreateFolderWithAccessList(const std::string& utf8, const char* sddl) override {
    calls.push_back("create+acl " + utf8 + " " + sddl);
    folders.insert(utf8);
    return true;
  }
  bool ApplyAccessList(const std::string& utf8, const char* sddl) override {
    calls.push_back("acl " + utf8 + " " + sddl);
    return true;
  }

  std::string appData = "R:\\AppData";
  std::set<std::string> folders;
  std::vector<std::string> calls;
};

TEST(DataFolder, CreatesEveryLevelAndGivesTheMakerFolderItsAccessListOnce) {
  CFakeFolders fs;
  CDataFolder folder(&fs);
  folder.SetMakerName("Quorva");
  folder.SetGameNames("", "Puzzle");
  std::string path;
  ASSERT_TRUE(folder.GetDataFolder(&path));
  EXPECT_EQ(path, "R:\\AppData\\Quorva\\Puzzle");
  EXPECT_EQ(fs.calls, (std::vector<std::string>{"create R:\\AppData",
                                                "create+acl R:\\AppData\\Quorva D:(A;OICI;GA;;;WD)",
                                                "acl R:\\AppData\\Quorva D:(A;OICI;GA;;;WD)",
                                                "create R:\\AppData\\Quorva\\Puzzle"}));

  // Every later path: no access-list work at all.
  fs.calls.clear();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(folder.GetDataFolder(&path));
  for (const std::string& call : fs.calls) EXPECT_EQ(call.find("acl"), std::string::npos) << call;
}

TEST(DataFolder, AnExistingMakerFolderIsRepairedOnceAndARecreatedOneAgain) {
  CFakeFolders fs;
  fs.folders.insert("R:\\AppData\\Quorva");
  CDataFolder folder(&fs);
  folder.SetMakerName("Quorva");
  std::string path;
  ASSERT_TRUE(folder.GetDataFolder(&path));
  ASSERT_TRUE(folder.GetDataFolder(&path));
  int applied = 0;
  for (const std::string& call : fs.calls) applied += call.rfind("acl ", 0) == 0;
  EXPECT_EQ(applied, 1);

  // The maker folder is deleted while the game runs: the next path creates it with its rights.
  fs.folders.erase("R:\\AppData\\Quorva");
  fs.calls.clear();
  ASSERT_TRUE(folder.GetDataFolder(&path));
  EXPECT_EQ(fs.calls[1], "create+acl R:\\AppData\\Quorva D:(A;OICI;GA;;;WD)");
  EXPECT_EQ(fs.calls[2], "acl R:\\AppData\\Quorva D:(A;OICI;GA;;;WD)");
}

TEST(DataFolder, NoApplicationDataFolderMeansNoDataFolder) {
  CFakeFolders fs;
  fs.appData.clear();
  CDataFolder folder(&fs);
  std::string path = "unchanged";
  EXPECT_FALSE(folder.GetDataFolder(&path));
  EXPECT_FALSE(folder.ComputeDataFolder(&path));
  EXPECT_EQ(path, "unchanged");
  EXPECT_TRUE(fs.calls.empty());
  // A base given by the caller is enough.
  folder.SetBaseFolder("T:\\base");
  EXPECT_TRUE(folder.ComputeDataFolder(&path));
  EXPECT_EQ(path, "T:\\base\\ProviderBase\\GameBase");
}

TEST(DataFolder, NamesChangedOnOneThreadNeverMixOnAnother) {
  // The script renames the game while the save writer builds paths: every path is one of the two
  // consistent names, never the maker of one with the game of the other.
  CFakeFolders fs;
  CDataFolder folder(&fs);
  folder.SetMakerName("M");
  folder.SetGameNames("", "A");
  std::thread writer([&] {
    for (int i = 0; i < 2000; ++i) {
      if (i % 2) {
        folder.SetGameNames("", "A");
      } else {
        folder.SetGameNames("SavesB", "B");
      }
    }
  });
  for (int i = 0; i < 2000; ++i) {
    std::string path;
    ASSERT_TRUE(folder.ComputeDataFolder(&path));
    ASSERT_TRUE(path == "R:\\AppData\\M\\A" || path == "R:\\AppData\\M\\SavesB") << path;
  }
  writer.join();
}

// The real OS: a folder below a temporary base is created level by level.
TEST(DataFolderOnDisk, CreatesTheFoldersBelowTheBase) {
  store_test::CStoreFolder temp;
  ASSERT_TRUE(temp.ok());
  CDataFolder folder;
  folder.SetBaseFolder(temp.Path());
  folder.SetMakerName("Quorva");
  folder.SetGameNames("Saves", "Game");
  std::string path;
  ASSERT_TRUE(folder.GetDataFolder(&path));
  EXPECT_TRUE(vexa::platform::FolderExistsUtf8(path)) << path;
  EXPECT_EQ(path, temp / "Quorva\\Saves");
  EXPECT_TRUE(vexa::platform::FolderExistsUtf8(temp / "Quorva"));
  // Seed copies are looked for in the current folder.
  std::string seed;
  ASSERT_TRUE(folder.GetSeedFolder(&seed));
  EXPECT_TRUE(vexa::platform::FolderExistsUtf8(seed));
}

}  // namespace

namespace {

// Windows builds (and Wine) have access lists; that is also what tells the tests below that the
// application-data folder is one of a test prefix or a throw-away folder of the test's own.
bool RunsOnWindows() {
  return vexa::platform::HasAccessLists();
}

TEST(DataFolderOnDisk, TheApplicationDataFolderIsAnAbsolutePath) {
  std::string appData;
  ASSERT_TRUE(vexa::platform::GetApplicationDataFolder(&appData));
  ASSERT_FALSE(appData.empty());
  const bool absolute = appData[0] == '/' || appData[0] == '\\' ||
                        (appData.size() > 2 && appData[1] == ':' && appData[2] == '\\');
  EXPECT_TRUE(absolute) << appData;
  EXPECT_NE(appData.back(), '\\');
}

TEST(DataFolderOnDisk, BelowTheUsersApplicationDataWithTheMakersAccessList) {
  if (!RunsOnWindows()) GTEST_SKIP() << "creates folders in the user's application data";
  std::string appData;
  ASSERT_TRUE(vexa::platform::GetApplicationDataFolder(&appData));
  CDataFolder folder;
  // A maker of the tests' own, so no game's data is touched.
  const std::string maker =
      "VexaStoreTests-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed());
  folder.SetMakerName(maker);
  folder.SetGameNames("", "Game");
  std::string path;
  ASSERT_TRUE(folder.GetDataFolder(&path));
  EXPECT_EQ(path, appData + "\\" + maker + "\\Game");
  EXPECT_TRUE(vexa::platform::FolderExistsUtf8(path));
  std::string sddl;
  ASSERT_TRUE(vexa::platform::GetAccessList(appData + "\\" + maker, &sddl));
  // Everyone (WD) is allowed, and files and folders inherit it (OICI).
  EXPECT_NE(sddl.find("OICI"), std::string::npos) << sddl;
  EXPECT_NE(sddl.find(";;;WD)"), std::string::npos) << sddl;
  std::error_code ec;
  std::filesystem::remove_all(store_test::FsPath(appData + "\\" + maker), ec);
}

TEST(DataFolderOnDisk, AProfileOutsideTheAnsiCodePageWorks) {
  // A user name in Cyrillic and Greek: no Western ANSI code page spells it, so only the wide
  // file functions reach it.
  store_test::CStoreFolder temp;
  ASSERT_TRUE(temp.ok());
  const std::string profile = temp / "\xD0\xBF\xD1\x80\xCE\xBB";  // "прλ" in UTF-8
  ASSERT_TRUE(vexa::platform::CreateFolderUtf8(profile));
  CDataFolder folder;
  folder.SetBaseFolder(profile);
  folder.SetMakerName("Quorva");
  folder.SetGameNames("", "Game");
  std::string path;
  ASSERT_TRUE(folder.GetDataFolder(&path));
  EXPECT_TRUE(vexa::platform::FolderExistsUtf8(path));
  EXPECT_TRUE(std::filesystem::is_directory(store_test::FsPath(path)));
  EXPECT_EQ(store_test::FolderNames(temp.Path()),
            (std::vector<std::string>{"\xD0\xBF\xD1\x80\xCE\xBB"}));
  // The stores' files land there and read back.
  CHighScoreStore scores(&folder);
  ASSERT_EQ(scores.SetHighScore(10, "Main", "42"), S_OK);
  CVirtualRegistry values(&folder);
  ASSERT_EQ(values.WriteValue("k", "v", true), S_OK);
  EXPECT_TRUE(std::filesystem::is_regular_file(store_test::FsPath(path + "\\bstscore.dat")));
  EXPECT_TRUE(std::filesystem::is_regular_file(store_test::FsPath(path + "\\localrgs.dat")));
  CSmallStr listing;
  ASSERT_EQ(scores.GetHighScores("Main", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n\t<score value=\"42\"/>\n</highscores>");
}

}  // namespace
