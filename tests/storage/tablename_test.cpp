// High-score table names: a table is one entry of "bstscore.dat", so any name the container keeps
// as it was given is a good name; the file-name rules are for save sets only.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/userfolders.h"
#include "storage/datafolder.h"
#include "storage/highscores.h"
#include "storage/savestore.h"
#include "storage/store_support.h"

namespace {

using vexa::storage::IsValidTableName;

struct NameCase {
  std::string name;
  bool valid;
};

void PrintTo(const NameCase& c, std::ostream* os) {
  *os << "'" << c.name << "'";
}

class TableNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(TableNameTest, RefusesOnlyWhatTheContainerCannotKeepAsGiven) {
  EXPECT_EQ(IsValidTableName(GetParam().name), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TableNameTest,
    ::testing::Values(NameCase{"Main", true}, NameCase{"Level 1", true},
                      NameCase{"scores.easy", true},
                      NameCase{"\xE9t\xE9", true},  // ANSI accented letters
                      NameCase{"x", true}, NameCase{std::string(255, 'n'), true},
                      // Names games use that no file could have.
                      NameCase{"Mode: Hard", true}, NameCase{"Top 10...", true},
                      NameCase{"Best?", true}, NameCase{"a*b", true}, NameCase{"trailing.", true},
                      NameCase{"trailing ", true}, NameCase{"<\"quoted\"|>", true},
                      NameCase{"C:", true}, NameCase{"..", true}, NameCase{"a..b", true},
                      NameCase{"a\\b", true}, NameCase{"..\\..\\boot.ini", true},
                      // Devices and the stores' own files are only names inside the score file.
                      NameCase{"CON", true}, NameCase{"nul.txt", true}, NameCase{"COM\xB9", true},
                      NameCase{"bstscore.dat", true}, NameCase{"LocalRgs.Dat", true},
                      NameCase{std::string(254, '.') + ":", true},
                      // Nothing, or longer than an entry name may be.
                      NameCase{"", false}, NameCase{std::string(256, 'n'), false},
                      NameCase{std::string(256, ':'), false},
                      // '/' is read back as '\\': the table would never be found again.
                      NameCase{"a/b", false}, NameCase{"/", false}, NameCase{"Top/10", false},
                      // Control characters, also a zero byte that would cut the name.
                      NameCase{"tab\there", false}, NameCase{"line\n", false},
                      NameCase{"del\x7F", false}, NameCase{std::string("a\0b", 3), false}));

class TableNameStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    data_ = temp_ / "data";
    ASSERT_TRUE(vexa::platform::CreateFolderUtf8(data_));
    folders_ = std::make_unique<vexa::storage::CFixedDataFolders>(data_, temp_ / "seed");
    store_ = std::make_unique<CHighScoreStore>(folders_.get());
  }

  store_test::CStoreFolder temp_;
  std::string data_;
  std::unique_ptr<vexa::storage::CFixedDataFolders> folders_;
  std::unique_ptr<CHighScoreStore> store_;
};

TEST_F(TableNameStoreTest, EveryAllowedNameIsItsOwnTableAndReadsBack) {
  const std::vector<std::string> names = {
      "Mode: Hard", "Top 10...",           "a\\b", "..", "CON", "bstscore.dat", "Best?",
      "<\"x\">",    std::string(255, ':'),
  };
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string score = std::to_string(100 + i);
    ASSERT_EQ(store_->SetHighScore(10, names[i].c_str(), score.c_str()), S_OK) << names[i];
  }
  for (size_t i = 0; i < names.size(); ++i) {
    CSmallStr listing;
    ASSERT_EQ(store_->GetHighScores(names[i].c_str(), &listing), S_OK) << names[i];
    EXPECT_EQ(listing.str(),
              "<highscores>\n\t<score value=\"" + std::to_string(100 + i) + "\"/>\n</highscores>")
        << names[i];
  }
  // Stored under the very names, in the one file: nothing else appeared in the data folder.
  std::vector<std::string> stored;
  ASSERT_EQ(store_->ListTables(&stored), S_OK);
  EXPECT_EQ(stored, names);
  EXPECT_EQ(store_test::FolderNames(data_), std::vector<std::string>{"bstscore.dat"});
}

}  // namespace
