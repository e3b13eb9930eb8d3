// High-score tables: the ranking rule, placing and padding, the listing and the entry decoder.
#include "storage/highscores.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/primitives.h"

namespace {

std::vector<std::string> Texts(const CHighScoreManager& table) {
  std::vector<std::string> out;
  for (const CSmallStr& s : table.Scores()) out.push_back(s.str());
  return out;
}

CHighScoreManager TableOf(std::vector<std::string> scores) {
  CHighScoreManager table;
  for (const std::string& s : scores) table.Scores().push_back(CSmallStr(s));
  return table;
}

struct RankCase {
  const char* a;
  const char* b;
  bool aFirst;  // a ranks before b
  bool bFirst;  // b ranks before a
};

class ScoreRankTest : public ::testing::TestWithParam<RankCase> {};

TEST_P(ScoreRankTest, OrdersAsNumbersFieldByField) {
  const RankCase& c = GetParam();
  EXPECT_EQ(ScoreRanksBefore(c.a, c.b), c.aFirst) << c.a << " vs " << c.b;
  EXPECT_EQ(ScoreRanksBefore(c.b, c.a), c.bFirst) << c.b << " vs " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScoreRankTest,
    ::testing::Values(
        RankCase{"100", "90", true, false},
        // Numbers, not text: "9" < "10" as text would put 9 first.
        RankCase{"10", "9", true, false}, RankCase{"5 300", "5 200", true, false},
        // More fields win a tie over the common fields.
        RankCase{"5 0", "5", true, false}, RankCase{"5", "5", false, false},
        // Equal values in different spellings tie completely.
        RankCase{"0100", "100", false, false}, RankCase{"+7", "7", false, false},
        // Non-numeric and empty fields count as 0; digits after text are not read.
        RankCase{"abc", "0", false, false}, RankCase{"1", "abc", true, false},
        RankCase{"", "0", false, false}, RankCase{"12abc", "12", false, false},
        RankCase{"-5", "-10", true, false},
        // A leading space makes an empty first field.
        RankCase{" 100", "1", false, true},
        // Two spaces make an empty middle field (0), which loses to 300.
        RankCase{"5  300", "5 300", false, true},
        // atoi skips leading white space inside a field (a tab is not a separator).
        RankCase{"\t42", "42", false, false},
        // Values past the 32-bit range saturate instead of wrapping to small or negative numbers.
        RankCase{"99999999999", "2147483647", false, false},
        RankCase{"99999999999", "2147483646", true, false},
        RankCase{"-99999999999", "-2147483648", false, false}));

TEST(HighScoreTable, SetBetweenExistingScores) {
  CHighScoreManager table = TableOf({"100", "90"});
  EXPECT_EQ(table.Place(CSmallStr("95")), 1);
  EXPECT_EQ(Texts(table), (std::vector<std::string>{"100", "95", "90"}));
}

TEST(HighScoreTable, EqualScoreGoesAfterTheExistingOneAndPositionIsTheOlderCopy) {
  CHighScoreManager table = TableOf({"100", "90"});
  EXPECT_EQ(table.Place(CSmallStr("90")), 1);
  EXPECT_EQ(Texts(table), (std::vector<std::string>{"100", "90", "90"}));
}

TEST(HighScoreTable, TiedSpellingsKeepOrderAndPositionFindsTheExactText) {
  CHighScoreManager table = TableOf({"100", "0100", "50"});
  // "100" ties with both; it lands after them, and the position is the first byte-equal text.
  EXPECT_EQ(table.Place(CSmallStr("100")), 0);
  EXPECT_EQ(Texts(table), (std::vector<std::string>{"100", "0100", "100", "50"}));
  EXPECT_EQ(table.Place(CSmallStr("+100")), 3);
}

TEST(HighScoreTable, PlaceSortsAnUnorderedTableStably) {
  // Tables written by SHIP are in the movie's order; the next SHS orders them.
  CHighScoreManager table = TableOf({"1", "b", "3", "a", "2"});
  EXPECT_EQ(table.Place(CSmallStr("2 1")), 1);
  EXPECT_EQ(Texts(table), (std::vector<std::string>{"3", "2 1", "2", "1", "b", "a"}));
}

struct PlaceAtCase {
  std::vector<std::string> table;
  int32_t position;
  int32_t size;
  std::vector<std::string> expected;
};

class HighScorePlaceAtTest : public ::testing::TestWithParam<PlaceAtCase> {};

TEST_P(HighScorePlaceAtTest, PutsTheScoreWhereTheMovieSays) {
  const PlaceAtCase& c = GetParam();
  CHighScoreManager table = TableOf(c.table);
  table.PlaceAt(c.position, c.size, CSmallStr("S"));
  EXPECT_EQ(Texts(table), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HighScorePlaceAtTest,
    ::testing::Values(
        // Padding: position 5 on an empty table gives five empty texts, then the score.
        PlaceAtCase{{}, 5, 0, {"", "", "", "", "", "S"}},
        PlaceAtCase{{"a"}, 3, 10, {"a", "", "", "S"}},
        // Exactly at the end: appended, nothing padded.
        PlaceAtCase{{"a", "b"}, 2, 0, {"a", "b", "S"}},
        // Size 0 replaces the score at the position.
        PlaceAtCase{{"a", "b", "c"}, 0, 0, {"S", "b", "c"}},
        PlaceAtCase{{"a", "b", "c"}, 2, 0, {"a", "b", "S"}},
        // Any other size inserts (the caller keeps the first `size` when writing).
        PlaceAtCase{{"a", "b", "c"}, 0, 3, {"S", "a", "b", "c"}},
        PlaceAtCase{{"a", "b", "c"}, 1, 1, {"a", "S", "b", "c"}}));

TEST(HighScoreTable, ListingFormat) {
  CHighScoreManager table = TableOf({"100", "5 \"x\""});
  EXPECT_STREQ(table.Listing().c_str(),
               "<highscores>\n\t<score value=\"100\"/>\n\t<score value=\"5 \"x\"\"/>\n"
               "</highscores>");
  EXPECT_STREQ(EmptyHighScoreListing().c_str(), "<highscores>\n</highscores>");
}

TEST(HighScoreTable, EncodeLimitsTheCountAndRoundTrips) {
  CHighScoreManager table = TableOf({"300", "", "100"});
  CMemoryStream all;
  ASSERT_EQ(table.Encode(&all), S_OK);
  // count, then each string: 4 + (4+3) + 4 + (4+3)
  EXPECT_EQ(all.Data().size(), 22u);
  all.Seek(0, IByteStream::kSeekSet, nullptr);
  CHighScoreManager back;
  EXPECT_EQ(back.Decode(&all), S_OK);
  EXPECT_EQ(Texts(back), Texts(table));

  CMemoryStream two;
  ASSERT_EQ(table.Encode(&two, 2), S_OK);
  two.Seek(0, IByteStream::kSeekSet, nullptr);
  EXPECT_EQ(back.Decode(&two), S_OK);
  EXPECT_EQ(Texts(back), (std::vector<std::string>{"300", ""}));

  CMemoryStream none;
  ASSERT_EQ(table.Encode(&none, 0), S_OK);
  EXPECT_EQ(none.Data(), (std::vector<uint8_t>{0, 0, 0, 0}));
}

TEST(HighScoreDecode, CountPastTheDataKeepsWhatWasReadAndAllocatesNothingUpFront) {
  CMemoryStream stream;
  WriteCount(&stream, 0xFFFFFFFFu);
  WriteString(&stream, CSmallStr("10"));
  WriteString(&stream, CSmallStr("9"));
  stream.Seek(0, IByteStream::kSeekSet, nullptr);
  CHighScoreManager table;
  EXPECT_TRUE(FAILED(table.Decode(&stream)));
  EXPECT_EQ(Texts(table), (std::vector<std::string>{"10", "9"}));
}

TEST(HighScoreDecode, EveryPrefixOfAGoodEntryDecodesToAPrefixOfTheTable) {
  const CHighScoreManager table = TableOf({"1000", "500 3", "7"});
  CMemoryStream full;
  ASSERT_EQ(table.Encode(&full), S_OK);
  const std::vector<uint8_t>& bytes = full.Data();
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    CMemoryStream prefix(bytes.data(), cut);
    CHighScoreManager back;
    const HRESULT hr = back.Decode(&prefix);
    EXPECT_TRUE(FAILED(hr)) << cut;
    const std::vector<std::string> got = Texts(back);
    ASSERT_LE(got.size(), 3u) << cut;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], Texts(table)[i]) << cut;
  }
}

}  // namespace

// ---- The store over "bstscore.dat"

#include <memory>

#include "platform/files.h"
#include "platform/userfolders.h"
#include "storage/faultfs.h"
#include "storage/protectedfile.h"
#include "storage/saves.h"
#include "storage/savestore.h"
#include "storage/store_support.h"

namespace {

using store_test::Bytes;
using store_test::PackEntry;
using vexa::storage::CFaultInjectingFileSystem;
using vexa::storage::FileOp;

Bytes EncodeTable(const std::vector<std::string>& scores) {
  CMemoryStream stream;
  EXPECT_EQ(TableOf(scores).Encode(&stream), S_OK);
  return stream.Data();
}

class HighScoreStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp_.ok());
    data_ = temp_ / "data";
    seed_ = temp_ / "seed";
    ASSERT_TRUE(vexa::platform::CreateFolderUtf8(data_));
    ASSERT_TRUE(vexa::platform::CreateFolderUtf8(seed_));
    folders_ = std::make_unique<vexa::storage::CFixedDataFolders>(data_, seed_);
    store_ = std::make_unique<CHighScoreStore>(folders_.get(), &fs_);
  }

  std::string File() const { return data_ + "\\bstscore.dat"; }
  std::string SeedFile() const { return seed_ + "\\bstscore.dat"; }

  std::vector<std::string> Table(const char* name) {
    CHighScoreManager table;
    store_->ReadTable(name, &table);
    return Texts(table);
  }

  void Shs(int32_t size, const char* table, const char* score) {
    ASSERT_EQ(store_->SetHighScore(size, table, score), S_OK) << table << " " << score;
  }

  int32_t Ihs(const char* table, const char* score) {
    int32_t position = -7;
    EXPECT_EQ(store_->IsHighScore(10, table, score, &position), S_OK);
    return position;
  }

  // Names of the files in the data folder other than bstscore.dat.
  std::vector<std::string> OtherFiles() const {
    std::vector<std::string> others;
    for (const std::string& name : store_test::FolderNames(data_)) {
      if (name != "bstscore.dat") others.push_back(name);
    }
    return others;
  }

  store_test::CStoreFolder temp_;
  std::string data_;
  std::string seed_;
  std::unique_ptr<vexa::storage::CFixedDataFolders> folders_;
  CFaultInjectingFileSystem fs_;
  std::unique_ptr<CHighScoreStore> store_;
};

TEST_F(HighScoreStoreTest, TableOfTheExamples) {
  Shs(10, "Main", "100");
  Shs(10, "Main", "90");
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"100", "90"}));
  // 95 lands between; IHS with 90 answers the existing 90's place; SHS 90 stores a second 90.
  EXPECT_EQ(Ihs("Main", "95"), 1);
  EXPECT_EQ(Ihs("Main", "90"), 1);
  EXPECT_EQ(Ihs("Main", "50"), 2);
  Shs(10, "Main", "90");
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"100", "90", "90"}));
  // IHS never changes the file.
  const Bytes before = store_test::ReadBytes(File());
  EXPECT_EQ(Ihs("Main", "1000"), 0);
  EXPECT_EQ(store_test::ReadBytes(File()), before);
}

TEST_F(HighScoreStoreTest, ASizeKeepsOnlyTheBestAndZeroEmptiesTheTable) {
  Shs(10, "T", "100");
  Shs(10, "T", "90");
  // A score that falls beyond the size is not kept.
  Shs(2, "T", "50");
  EXPECT_EQ(Table("T"), (std::vector<std::string>{"100", "90"}));
  EXPECT_EQ(Ihs("T", "50"), 2);
  Shs(2, "T", "95");
  EXPECT_EQ(Table("T"), (std::vector<std::string>{"100", "95"}));
  Shs(0, "T", "500");
  EXPECT_EQ(Table("T"), (std::vector<std::string>{}));
}

TEST_F(HighScoreStoreTest, ShipPadsReplacesAndInserts) {
  ASSERT_EQ(store_->SetHighScoreAt(5, 0, "P", "7"), S_OK);
  EXPECT_EQ(Table("P"), (std::vector<std::string>{"", "", "", "", "", "7"}));

  ASSERT_EQ(store_->SetHighScoreAt(0, 0, "Q", "a"), S_OK);
  ASSERT_EQ(store_->SetHighScoreAt(1, 0, "Q", "b"), S_OK);
  ASSERT_EQ(store_->SetHighScoreAt(2, 0, "Q", "c"), S_OK);
  // Size 0 at position 0 replaces the first score.
  ASSERT_EQ(store_->SetHighScoreAt(0, 0, "Q", "A"), S_OK);
  EXPECT_EQ(Table("Q"), (std::vector<std::string>{"A", "b", "c"}));
  // Size 3 inserts and keeps three scores.
  ASSERT_EQ(store_->SetHighScoreAt(1, 3, "Q", "X"), S_OK);
  EXPECT_EQ(Table("Q"), (std::vector<std::string>{"A", "X", "b"}));
}

TEST_F(HighScoreStoreTest, ListingOfAMissingTableAndOfAMissingFile) {
  CSmallStr listing("junk");
  EXPECT_EQ(store_->GetHighScores("None", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n</highscores>");
  EXPECT_FALSE(store_test::FileExists(File()));  // reading creates nothing
  Shs(10, "Main", "3 12500");
  EXPECT_EQ(store_->GetHighScores("None", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n</highscores>");
  EXPECT_EQ(store_->GetHighScores("Main", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n\t<score value=\"3 12500\"/>\n</highscores>");
}

TEST_F(HighScoreStoreTest, ReplacingTheSecondTableKeepsTheFirstInPlaceByteForByte) {
  Shs(10, "First", "10");
  Shs(10, "Second", "20");
  const Bytes before = store_test::ReadBytes(File());
  Shs(10, "Second", "30");
  const Bytes after = store_test::ReadBytes(File());
  const auto entries = store_test::Unpack(after, kHighScorePassword);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].name, "First");
  EXPECT_EQ(entries[1].name, "Second");
  EXPECT_EQ(store_test::StoredBlocks(after)[0], store_test::StoredBlocks(before)[0]);
  EXPECT_EQ(entries[1].content, EncodeTable({"30", "20"}));
  // A table that has no entry yet is appended last.
  Shs(10, "Third", "1");
  const auto three = store_test::Unpack(store_test::ReadBytes(File()), kHighScorePassword);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[2].name, "Third");
}

TEST_F(HighScoreStoreTest, TableNamesIgnoreCaseAndKeepTheStoredSpelling) {
  Shs(10, "Level1", "5");
  Shs(10, "LEVEL1", "6");
  EXPECT_EQ(Table("level1"), (std::vector<std::string>{"6", "5"}));
  const auto entries = store_test::Unpack(store_test::ReadBytes(File()), kHighScorePassword);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Level1");
}

TEST_F(HighScoreStoreTest, FilesOfTheFormatReadHereAndTheStoresFilesReadThere) {
  // Written by the archiver alone, with the password of high scores.
  store_test::WriteBytes(
      File(), store_test::Pack({{"Easy", EncodeTable({"300", "200"}), kHighScorePassword},
                                {"Hard", EncodeTable({"9 1"}), kHighScorePassword}}));
  CSmallStr listing;
  ASSERT_EQ(store_->GetHighScores("hard", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n\t<score value=\"9 1\"/>\n</highscores>");
  // Written by the store: the reader of the format decodes every entry.
  Shs(10, "Easy", "250");
  const auto entries = store_test::Unpack(store_test::ReadBytes(File()), kHighScorePassword);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_TRUE(entries[0].decoded && entries[1].decoded);
  EXPECT_EQ(entries[0].content, EncodeTable({"300", "250", "200"}));
  EXPECT_EQ(entries[1].content, EncodeTable({"9 1"}));
}

struct RefusedCase {
  const char* table;
  int32_t position;
  int32_t size;
  const char* score;
  HRESULT expected;
};

class HighScoreRefusalTest : public HighScoreStoreTest,
                             public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(HighScoreRefusalTest, RefusedCommandsTouchNoFile) {
  const RefusedCase& c = GetParam();
  EXPECT_EQ(store_->SetHighScoreAt(c.position, c.size, c.table, c.score), c.expected);
  if (c.position == 0) EXPECT_EQ(store_->SetHighScore(c.size, c.table, c.score), c.expected);
  EXPECT_TRUE(store_test::FolderNames(data_).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HighScoreRefusalTest,
    ::testing::Values(
        RefusedCase{"../x", 0, 10, "1", E_INVALIDARG}, RefusedCase{"a/b", 0, 10, "1", E_INVALIDARG},
        RefusedCase{"tab\t", 0, 10, "1", E_INVALIDARG},
        RefusedCase{"line\n", 0, 10, "1", E_INVALIDARG}, RefusedCase{"", 0, 10, "1", E_INVALIDARG},
        RefusedCase{nullptr, 0, 10, "1", E_INVALIDARG},
        RefusedCase{"T", 0, 10, nullptr, E_INVALIDARG}, RefusedCase{"T", 0, -1, "1", E_INVALIDARG},
        RefusedCase{"T", -1, 0, "1", E_INVALIDARG},
        // Padding to a position past the limit would allocate for every empty text.
        RefusedCase{"T", 2000000000, 0, "1", VEXA_E_STORE_LIMIT},
        RefusedCase{"T", kMaxHighScores + 1, 10, "1", VEXA_E_STORE_LIMIT}));

TEST_F(HighScoreStoreTest, RefusedNamesAnswerTheEmptyListingAndNoPosition) {
  CSmallStr listing("junk");
  EXPECT_EQ(store_->GetHighScores("a/b", &listing), E_INVALIDARG);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n</highscores>");
  int32_t position = 42;
  EXPECT_EQ(store_->IsHighScore(10, "x\x7F", "1", &position), E_INVALIDARG);
  EXPECT_EQ(position, 42);
}

TEST_F(HighScoreStoreTest, OverLongScoresAndTablesPastTheLimitAreRefused) {
  const std::string longScore(kMaxScoreLength + 1, '9');
  EXPECT_EQ(store_->SetHighScore(10, "T", longScore.c_str()), VEXA_E_STORE_LIMIT);
  EXPECT_FALSE(store_test::FileExists(File()));
  // A table at the limit takes no further score with an unlimited size, but a size that cuts it
  // back is fine.
  CHighScoreManager full;
  for (int i = 0; i < kMaxHighScores; ++i) full.Scores().push_back(CSmallStr("1"));
  ASSERT_EQ(store_->WriteTable("T", full), S_OK);
  EXPECT_EQ(store_->SetHighScore(kMaxHighScores + 5, "T", "2"), VEXA_E_STORE_LIMIT);
  EXPECT_EQ(store_->SetHighScoreAt(3, 0, "T", "2"), S_OK);  // replaces: no growth
  EXPECT_EQ(store_->SetHighScore(kMaxHighScores, "T", "5"), S_OK);
  EXPECT_EQ(Table("T")[0], "5");
}

TEST_F(HighScoreStoreTest, ASeedCopyFillsAMissingFileAndIsLeftAlone) {
  store_test::WriteBytes(SeedFile(),
                         store_test::Pack({{"Main", EncodeTable({"1000"}), kHighScorePassword}}));
  ASSERT_TRUE(vexa::platform::SetFileReadOnly(SeedFile(), true));
  const Bytes seed = store_test::ReadBytes(SeedFile());
  EXPECT_EQ(Ihs("Main", "2000"), 0);
  EXPECT_EQ(store_test::ReadBytes(File()), seed);
  Shs(10, "Main", "500");
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"1000", "500"}));
  // The copy in the data folder is ours to change; the seed is as it was.
  vexa::platform::FileFlags flags;
  ASSERT_TRUE(vexa::platform::GetFileFlags(File(), &flags));
  EXPECT_FALSE(flags.read_only);
  EXPECT_EQ(store_test::ReadBytes(SeedFile()), seed);
  vexa::platform::SetFileReadOnly(SeedFile(), false);
}

TEST_F(HighScoreStoreTest, ADamagedFileIsCopiedAsideAndTheOtherTablesKept) {
  // "Main" announces five scores and holds two; "Other" was written with another password.
  Bytes cut = EncodeTable({"50", "40"});
  cut[0] = 5;
  Bytes other = EncodeTable({"7"});
  const Bytes file = store_test::Pack({{"Main", cut, kHighScorePassword},
                                       {"Other", other, "elsewise"},
                                       {"Third", EncodeTable({"3"}), kHighScorePassword}});
  store_test::WriteBytes(File(), file);
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"50", "40"}));
  EXPECT_EQ(Table("Other"), (std::vector<std::string>{}));

  Shs(10, "Main", "45");
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"50", "45", "40"}));
  // The damaged original survives byte for byte beside the new file.
  ASSERT_EQ(OtherFiles(), (std::vector<std::string>{"bstscore.dat.damaged-1"}));
  EXPECT_EQ(store_test::ReadBytes(data_ + "\\bstscore.dat.damaged-1"), file);
  // The tables not changed are carried over as stored, even the one this player cannot read.
  const std::vector<Bytes> before = store_test::StoredBlocks(file);
  const std::vector<Bytes> after = store_test::StoredBlocks(store_test::ReadBytes(File()));
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(after[1], before[1]);
  EXPECT_EQ(after[2], before[2]);
  // A second change needs no second copy.
  Shs(10, "Main", "1");
  EXPECT_EQ(OtherFiles().size(), 1u);
}

TEST_F(HighScoreStoreTest, AFileThatIsNotAContainerReadsEmptyAndIsKeptBeforeItsRewrite) {
  const Bytes junk = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'a', 'c', 'k'};
  store_test::WriteBytes(File(), junk);
  CSmallStr listing;
  EXPECT_EQ(store_->GetHighScores("Main", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n</highscores>");
  Shs(10, "Main", "1");
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(store_test::ReadBytes(data_ + "\\bstscore.dat.damaged-1"), junk);
}

// A damaged file whose rewrite keeps failing is copied aside once, however many commands try;
// reads make no copy at all.
TEST_F(HighScoreStoreTest, ADamagedFileThatCannotBeRewrittenIsCopiedOnce) {
  const Bytes junk = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'a', 'c', 'k'};
  store_test::WriteBytes(File(), junk);
  EXPECT_EQ(Ihs("Main", "5"), 0);
  EXPECT_EQ(OtherFiles(), std::vector<std::string>{});
  fs_.FailCall(FileOp::kReplace, 1, CFaultInjectingFileSystem::kForever);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(store_->SetHighScore(10, "Main", "5"), VEXA_E_WRITE_FAILED);
    EXPECT_EQ(Ihs("Main", "5"), 0);
  }
  EXPECT_EQ(OtherFiles(), std::vector<std::string>{"bstscore.dat.damaged-1"});
  fs_.Clear();
  Shs(10, "Main", "5");
  EXPECT_EQ(OtherFiles(), std::vector<std::string>{"bstscore.dat.damaged-1"});
  EXPECT_EQ(store_test::ReadBytes(data_ + "\\bstscore.dat.damaged-1"), junk);
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"5"}));
}

TEST_F(HighScoreStoreTest, AFileThatCannotBeReadIsNeverWrittenOver) {
  Shs(10, "Main", "100");
  const Bytes before = store_test::ReadBytes(File());
  fs_.FailCall(FileOp::kReadFile, 1, CFaultInjectingFileSystem::kForever);
  EXPECT_EQ(store_->SetHighScore(10, "Main", "200"), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(store_->SetHighScoreAt(0, 0, "Main", "200"), VEXA_E_FILE_UNREADABLE);
  int32_t position = 9;
  EXPECT_EQ(store_->IsHighScore(10, "Main", "200", &position), VEXA_E_FILE_UNREADABLE);
  EXPECT_EQ(position, 9);
  CSmallStr listing;
  EXPECT_EQ(store_->GetHighScores("Main", &listing), S_OK);
  EXPECT_STREQ(listing.c_str(), "<highscores>\n</highscores>");
  EXPECT_EQ(fs_.CallCount(FileOp::kCreateNew), 1);  // only the first write ever created a file
  fs_.Clear();
  EXPECT_EQ(store_test::ReadBytes(File()), before);
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"100"}));
}

TEST_F(HighScoreStoreTest, AFullDiskFailsTheChangeAndKeepsTheOldTable) {
  Shs(10, "Main", "100");
  const Bytes before = store_test::ReadBytes(File());
  for (uint64_t budget : {0, 1, 10, 40}) {
    fs_.LimitWrittenBytes(budget);
    EXPECT_TRUE(FAILED(store_->SetHighScore(10, "Main", "200"))) << budget;
    fs_.Clear();
    EXPECT_EQ(store_test::ReadBytes(File()), before) << budget;
    EXPECT_TRUE(OtherFiles().empty()) << budget;  // no temporary file left behind
  }
  Shs(10, "Main", "200");
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"200", "100"}));
}

TEST_F(HighScoreStoreTest, EveryFailingStepOfARewriteLeavesTheOldOrTheNewFile) {
  Shs(10, "Main", "100");
  const Bytes before = store_test::ReadBytes(File());
  // Fail the n-th file call of one change, for every n until the change goes through.
  for (int nth = 1; nth < 40; ++nth) {
    fs_.FailNthCall(nth);
    const HRESULT hr = store_->SetHighScore(10, "Main", "200");
    fs_.Clear();
    const std::vector<std::string> table = Table("Main");
    if (SUCCEEDED(hr)) {
      EXPECT_EQ(table, (std::vector<std::string>{"200", "100"})) << nth;
      break;
    }
    // A failure of the folder sync after the replace reports failure with the new content in
    // place; every other failure keeps the old one.
    EXPECT_TRUE(table == (std::vector<std::string>{"100"}) ||
                table == (std::vector<std::string>{"200", "100"}))
        << nth;
    if (table.size() == 2) {
      ASSERT_EQ(store_->SetHighScoreAt(0, 1, "Main", "100"), S_OK);  // back to the old table
    }
    EXPECT_TRUE(OtherFiles().empty()) << nth;
  }
  EXPECT_EQ(Table("Main"), (std::vector<std::string>{"200", "100"}));
}

}  // namespace
