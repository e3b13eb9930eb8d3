// One set's saves in memory: put and remove rules, the listing text, the file encoding with its
// bounds, and the rules for set names.
#include "storage/saves.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "storage/store_support.h"

namespace {

using store_test::EncodeSet;
using store_test::SaveRecord;

TEST(SaveManagerTest, PutReplacesTheFirstSaveOfASlotInPlaceAndAppendsNewSlots) {
  CSaveManager saves;
  ASSERT_EQ(saves.Put(3, "three", "c"), S_OK);
  ASSERT_EQ(saves.Put(1, "one", "a"), S_OK);
  ASSERT_EQ(saves.Put(3, "THREE", "C"), S_OK);
  ASSERT_EQ(saves.GetCount(), 2);
  EXPECT_EQ(saves.GetSaves()[0].GetSlot(), 3);
  EXPECT_EQ(saves.GetSaves()[0].GetDescription(), "THREE");
  EXPECT_EQ(saves.GetSaves()[0].GetData(), "C");
  EXPECT_EQ(saves.GetSaves()[1].GetSlot(), 1);
  EXPECT_EQ(saves.Remove(7), E_FAIL);
  EXPECT_EQ(saves.Remove(3), S_OK);
  ASSERT_EQ(saves.GetCount(), 1);
  EXPECT_EQ(saves.Find(1)->GetData(), "a");
  EXPECT_EQ(saves.Find(3), nullptr);
}

TEST(SaveManagerTest, ListingIsTheExactTextMoviesParse) {
  CSaveManager saves;
  EXPECT_EQ(saves.BuildListing(), "<saves>\n</saves>");
  saves.Put(0, "Level \"2\" & <more>", "x");
  saves.Put(-5, "", "y");
  EXPECT_EQ(saves.BuildListing(),
            "<saves>\n\t<save n=\"Level \"2\" & <more>\" s=\"0\"/>\n\t<save n=\"\" s=\"-5\"/>\n"
            "</saves>");
}

TEST(SaveManagerTest, EncodingRoundTripsAndMatchesTheFileFormat) {
  CSaveManager saves;
  saves.Put(2, "second", "data two");
  saves.Put(-1, "", "");
  saves.Put(2147483647, "max", std::string(1000, 'q').c_str());
  CMemoryStream stream;
  ASSERT_EQ(saves.Encode(&stream), S_OK);
  EXPECT_EQ(stream.Data(), EncodeSet({{2, "second", "data two"},
                                      {-1, "", ""},
                                      {2147483647, "max", std::string(1000, 'q')}}));
  EXPECT_EQ(saves.EncodedSize(), stream.Data().size());

  stream.Seek(0, IByteStream::kSeekSet, nullptr);
  CSaveManager back;
  ASSERT_EQ(back.Decode(&stream), S_OK);
  EXPECT_EQ(back.BuildListing(), saves.BuildListing());
  EXPECT_EQ(back.Find(2147483647)->GetData().GetLength(), 1000);
  EXPECT_EQ(back.EncodedSize(), saves.EncodedSize());
}

TEST(SaveManagerTest, DecodingKeepsWhatWasReadBeforeTheDataEnds) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    HRESULT status;
    int count;
  };
  std::vector<uint8_t> cut = EncodeSet({{1, "a", "b"}, {2, "c", "dddd"}});
  cut.resize(cut.size() - 2);
  const Case cases[] = {
      {"no count", {}, E_FAIL, 0},
      {"short count", {1, 0}, E_FAIL, 0},
      {"count past the data", EncodeSet({{1, "a", "b"}}, 3), E_FAIL, 1},
      {"count of four billion", EncodeSet({{1, "a", "b"}}, 0xFFFFFFFFu), E_FAIL, 1},
      {"data cut inside a string", cut, E_FAIL, 1},
      {"duplicate slots kept", EncodeSet({{4, "x", "1"}, {4, "y", "2"}}), S_OK, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CMemoryStream stream(c.bytes);
    CSaveManager saves;
    EXPECT_EQ(saves.Decode(&stream), c.status);
    EXPECT_EQ(saves.GetCount(), c.count);
  }
  // With duplicates the first one counts.
  CMemoryStream stream(EncodeSet({{4, "x", "1"}, {4, "y", "2"}}));
  CSaveManager saves;
  ASSERT_EQ(saves.Decode(&stream), S_OK);
  EXPECT_EQ(saves.Find(4)->GetData(), "1");
}

// Files written elsewhere may hold more saves than a command may make: they are read whole (the
// entry size bounds the memory) and every save survives a change.
TEST(SaveManagerTest, SetsPastTheSaveLimitAreReadWholeAndKeptByAChange) {
  std::vector<SaveRecord> many;
  for (int i = 0; i <= kMaxSavesPerSet + 5; ++i) many.push_back({i, "d", "x"});
  const store_test::Bytes encoded = EncodeSet(many);
  CMemoryStream stream(encoded);
  CSaveManager saves;
  ASSERT_EQ(saves.Decode(&stream), S_OK);
  EXPECT_EQ(saves.GetCount(), kMaxSavesPerSet + 6);
  EXPECT_EQ(saves.Put(kMaxSavesPerSet + 100, "", ""), VEXA_E_STORE_LIMIT);
  ASSERT_EQ(saves.Put(3, "d", "x"), S_OK);
  CMemoryStream out;
  ASSERT_EQ(saves.Encode(&out), S_OK);
  EXPECT_EQ(out.Data(), encoded);
}

TEST(SaveManagerTest, PutsOverALimitChangeNothing) {
  CSaveManager saves;
  const std::string big(kMaxSaveTextLength - 1, 'b');
  ASSERT_EQ(saves.Put(0, "x", big.c_str()), S_OK);  // exactly the limit
  EXPECT_EQ(saves.Put(0, "xy", big.c_str()), VEXA_E_STORE_LIMIT);
  EXPECT_EQ(saves.Find(0)->GetDescription(), "x");

  // Three saves of the largest size fit under the set limit; a fourth does not.
  for (int slot = 1; slot < 3; ++slot) ASSERT_EQ(saves.Put(slot, "x", big.c_str()), S_OK);
  EXPECT_EQ(saves.Put(9, "x", big.c_str()), VEXA_E_STORE_LIMIT);
  EXPECT_EQ(saves.GetCount(), 3);
  EXPECT_LE(saves.EncodedSize(), kMaxSetEncodedSize);

  CSaveManager counted;
  for (int slot = 0; slot < kMaxSavesPerSet; ++slot) ASSERT_EQ(counted.Put(slot, "", ""), S_OK);
  EXPECT_EQ(counted.Put(kMaxSavesPerSet, "", ""), VEXA_E_STORE_LIMIT);
  EXPECT_EQ(counted.Put(5, "changed", ""), S_OK);  // existing slots can still change
}

TEST(SetNameTest, AcceptsOrdinaryNames) {
  for (const char* name : {"monitorinfo", "ratioinfo", "favratio", "Slot 1", "save_game-2", "a",
                           "CONSOLE", "COM", "nul1", "LPT10", "bstscore", "localrgs.dat2",
                           "game.sav", ".hidden", "x.damaged-", "x.damaged-1a"}) {
    EXPECT_TRUE(vexa::storage::IsValidSetName(name)) << name;
  }
  EXPECT_TRUE(vexa::storage::IsValidSetName(std::string(kMaxSetNameLength, 'n').c_str()));
}

TEST(SetNameTest, RefusesNamesThatReachOtherFiles) {
  const struct {
    const char* what;
    std::string name;
  } cases[] = {
      {"empty", ""},
      {"slash", "a/b"},
      {"backslash", "a\\b"},
      {"climbing", ".."},
      {"climbing inside", "a..b"},
      {"colon (drive, stream)", "C:x"},
      {"stream", "save:hidden"},
      {"device", "CON"},
      {"device any case", "nul"},
      {"device with extension", "com1.txt"},
      {"device with space", "LPT9 .log"},
      {"console input", "CONIN$"},
      {"clock device", "clock$"},
      {"serial port with a superscript digit", "COM\xB9"},
      {"printer port with a superscript digit and space", "lpt\xB3 .sav"},
      {"high scores file", "BSTSCORE.DAT"},
      {"registry file", "localrgs.dat"},
      {"temporary file", "x.~vexa1-2.tmp"},
      {"temporary marker", "a.~VEXA"},
      {"damaged copy", "Save1.damaged-3"},
      {"trailing dot", "save."},
      {"trailing space", "save "},
      {"control character", "a\tb"},
      {"wildcard", "a*"},
      {"question", "a?"},
      {"quote", "a\"b"},
      {"angle", "a<b"},
      {"pipe", "a|b"},
      {"too long", std::string(kMaxSetNameLength + 1, 'n')},
  };
  for (const auto& c : cases) EXPECT_FALSE(vexa::storage::IsValidSetName(c.name.c_str())) << c.what;
  EXPECT_FALSE(vexa::storage::IsValidSetName(nullptr));
}

TEST(SetNameTest, KeysFoldAsciiCase) {
  EXPECT_EQ(vexa::storage::SetNameKey("Level1"), vexa::storage::SetNameKey("LEVEL1"));
  EXPECT_NE(vexa::storage::SetNameKey("Level1"), vexa::storage::SetNameKey("Level2"));
}

}  // namespace
