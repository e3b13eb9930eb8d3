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
