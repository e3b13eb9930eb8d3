#include "data/package.h"
#include "storage/containerformat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package_fixture.h"

namespace {

using namespace package_test;

Bytes Read(const CPackageArchive& a, int32_t index, const char* password, bool* ok) {
  CSmartBuffer out;
  *ok = a.ReadEntryAt(index, password, &out);
  return ToBytes(out);
}

std::vector<File> SampleFiles() {
  std::string xml;
  for (int i = 0; i < 3000; ++i)
    xml += "<score rank=\"" + std::to_string(i) + "\" name=\"Ann\"/>\n";
  return {
      {"init.xml", ToBytes("<game><movie url=\"intro.swf\"/></game>")},
      {"Movies/Intro.swf", RandomBytes(70000, 1)},
      {"data\\scores.xml", ToBytes(xml)},
      {"empty.txt", {}},
      {"", ToBytes("nameless")},
  };
}

TEST(PackageArchiveTest, ArchiverOutputReadsBackInEveryMode) {
  struct Mode {
    const char* what;
    uint8_t mode;
    const char* write_password;
    const char* read_password;
  } modes[] = {
      {"compressed, default password", CArchiver::kModeCompressed, kPackageDefaultPassword,
       kPackageDefaultPassword},
      {"compressed, empty password", CArchiver::kModeCompressed, "", nullptr},
      {"compressed, long password", CArchiver::kModeCompressed, "rakw3Pt7kipNarr%moltrevu",
       "rakw3Pt7kipNarr%moltrevu"},
      {"stored (password unused)", CArchiver::kModeStored, "abc", "something else"},
  };
  const std::vector<File> files = SampleFiles();
  for (const Mode& m : modes) {
    Bytes file = Pack(files, m.write_password, m.mode);
    ASSERT_FALSE(file.empty()) << m.what;
    CPackageArchive archive;
    ASSERT_TRUE(ParseBytes(&archive, file)) << m.what;
    EXPECT_EQ(archive.GetMode(), m.mode);
    ASSERT_EQ(archive.GetEntryCount(), static_cast<int32_t>(files.size()));
    for (size_t i = 0; i < files.size(); ++i) {
      const PackageEntry* e = archive.GetEntry(static_cast<int32_t>(i));
      ASSERT_NE(e, nullptr);
      std::string expected_name = files[i].name;
      for (char& c : expected_name)
        if (c == '/') c = '\\';
      EXPECT_EQ(std::string(e->name), expected_name);
      EXPECT_EQ(e->unpacked_length, files[i].content.size());
      bool ok = false;
      EXPECT_EQ(Read(archive, static_cast<int32_t>(i), m.read_password, &ok), files[i].content)
          << m.what << ": " << files[i].name;
      EXPECT_TRUE(ok) << m.what << ": " << files[i].name;
    }
    EXPECT_EQ(archive.GetEntries(), archive.GetEntry(0));
    EXPECT_EQ(archive.GetEntry(-1), nullptr);
    EXPECT_EQ(archive.GetEntry(archive.GetEntryCount()), nullptr);
    CSmartBuffer out;
    EXPECT_FALSE(archive.ReadEntryAt(archive.GetEntryCount(), m.read_password, &out));
  }
}

TEST(PackageArchiveTest, ManyEntriesReadBack) {
  std::vector<File> files;
  for (int i = 0; i < 5000; ++i)
    files.push_back(
        {"level" + std::to_string(i) + "/map.xml", ToBytes("map " + std::to_string(i))});
  Bytes file = Pack(files, kPackageDefaultPassword);
  CPackageArchive archive;
  ASSERT_TRUE(ParseBytes(&archive, file));
  ASSERT_EQ(archive.GetEntryCount(), 5000);
  for (int i : {0, 1, 2500, 4999}) {
    CSmartBuffer out;
    std::string name = "LEVEL" + std::to_string(i) + "\\MAP.XML";
    ASSERT_TRUE(archive.ReadEntryNamed(name.c_str(), kPackageDefaultPassword, &out));
    EXPECT_EQ(ToBytes(out), files[i].content);
  }
}

TEST(PackageArchiveTest, LookupIgnoresCaseButWantsBackslashes) {
  Bytes file = Pack({{"Movies/Intro.swf", ToBytes("first")},
                     {"MOVIES\\INTRO.SWF", ToBytes("second")},
                     {"sub\\Deep\\file.bin", ToBytes("deep")}},
                    "pw");
  CPackageArchive archive;
  ASSERT_TRUE(ParseBytes(&archive, file));
  struct Case {
    const char* request;
    const char* expected;  // null: not found
  } cases[] = {
      {"movies\\intro.swf", "first"},  // the earlier of two names that differ only in case
      {"MOVIES\\intro.SWF", "first"},  {"movies/intro.swf", nullptr},
      {"SUB\\deep\\FILE.BIN", "deep"}, {"sub/deep/file.bin", nullptr},
      {"intro.swf", nullptr},          {"", nullptr},
  };
  for (const Case& c : cases) {
    CSmartBuffer out;
    bool ok = archive.ReadEntryNamed(c.request, "pw", &out);
    EXPECT_EQ(ok, c.expected != nullptr) << c.request;
    if (c.expected) {
      EXPECT_EQ(ToBytes(out), ToBytes(c.expected)) << c.request;
    }
  }
  CSmartBuffer out;
  EXPECT_FALSE(archive.ReadEntryNamed(nullptr, "pw", &out));
  EXPECT_EQ(archive.FindEntry("Sub\\Deep\\File.bin"), 2);
}

TEST(PackageArchiveTest, PasswordLongerThanTheBlockUsesItsFirstBytes) {
  const std::string password(5000, 'k');
  Bytes file = Pack({{"a", ToBytes("tiny")}}, password.c_str());
  CPackageArchive archive;
  ASSERT_TRUE(ParseBytes(&archive, file));
  bool ok = false;
  EXPECT_EQ(Read(archive, 0, password.c_str(), &ok), ToBytes("tiny"));
  EXPECT_TRUE(ok);
  // Only the first S password bytes were used, so a password cut to S bytes reads it too.
  const uint32_t s = archive.GetEntry(0)->stored_length;
  ASSERT_LT(s, 100u);
  EXPECT_EQ(Read(archive, 0, password.substr(0, s).c_str(), &ok), ToBytes("tiny"));
  EXPECT_TRUE(ok);
}

TEST(PackageArchiveTest, WrongPasswordFailsWithoutDamage) {
  std::vector<File> files = SampleFiles();
  Bytes file = Pack(files, kPackageDefaultPassword);
  CPackageArchive archive;
  ASSERT_TRUE(ParseBytes(&archive, file));
  for (const char* wrong : {"rakw3Pt7", "", "vq51737"}) {
    for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
      if (archive.GetEntry(i)->stored_length == 0) continue;  // nothing to descramble
      bool ok = true;
      Bytes got = Read(archive, i, wrong, &ok);
      EXPECT_FALSE(ok) << wrong << " entry " << i;
      EXPECT_TRUE(got.empty());
    }
  }
  bool ok = false;  // the right one still works afterwards: nothing was modified in place
  EXPECT_EQ(Read(archive, 1, kPackageDefaultPassword, &ok), files[1].content);
}

TEST(PackageArchiveTest, DirectoryOfNineBytesIsRefusedAndTenAccepted) {
  Bytes nine = Directory({}, 0);
  nine.resize(9, 0);
  CPackageArchive archive;
  EXPECT_FALSE(ParseBytes(&archive, Assemble(0, nine, {})));
  Bytes ten = nine;
  ten.push_back(0);
  EXPECT_TRUE(ParseBytes(&archive, Assemble(0, ten, {})));
  EXPECT_EQ(archive.GetEntryCount(), 0);
}

// Containers a damaged download or a hostile author could produce.
TEST(PackageArchiveTest, RefusesDamagedContainers) {
  Bytes good_dir = Directory({{"a.txt", 3, 3}}, 1);
  Bytes good = Assemble(0, good_dir, ToBytes("abc"));
  Bytes truncated_compressed = Compressed(Directory({{"file", 3, 3}}, 1));
  truncated_compressed.resize(truncated_compressed.size() - 3);
  Bytes marker2 = good_dir;
  marker2[0] = 2;
  Bytes name_past_end = Directory({}, 1);
  name_past_end.push_back(200);
  name_past_end.insert(name_past_end.end(), 20, 'n');

  struct Case {
    const char* what;
    Bytes file;
  } cases[] = {
      {"empty file", {}},
      {"header only", {0xCF, 0, 10}},
      {"wrong magic",
       [&] {
         Bytes b = good;
         b[0] = 0xCE;
         return b;
       }()},
      {"mode 2",
       [&] {
         Bytes b = good;
         b[1] = 2;
         return b;
       }()},
      {"directory length past the end",
       [&] {
         Bytes b = good;
         b[2] = 0xFF;
         b[3] = 0x7F;
         return b;
       }()},
      {"directory length one past the end",
       [&] {
         Bytes b = Assemble(0, good_dir, {});
         b.pop_back();
         return b;
       }()},
      {"marker 2", Assemble(0, marker2, ToBytes("abc"))},
      {"count larger than the records",
       Assemble(0, Directory({{"a.txt", 3, 3}}, 2), ToBytes("abc"))},
      {"count of 65535 with no records",
       [&] {
         Bytes d = Directory({}, 65535);
         d.resize(12, 0);
         return Assemble(0, d, {});
       }()},
      {"name running past the directory", Assemble(0, name_past_end, {})},
      {"record cut inside its lengths",
       [&] {
         Bytes d = good_dir;
         d.resize(d.size() - 2);
         d.resize(std::max<size_t>(d.size(), 10), 0);
         return Assemble(0, d, {});
       }()},
      {"compressed directory that does not inflate", Assemble(1, RandomBytes(40, 5), {})},
      {"compressed directory cut short", Assemble(1, truncated_compressed, {})},
      {"compressed directory with marker 0", Assemble(1, Compressed(Bytes(30, 0)), {})},
  };
  for (const Case& c : cases) {
    CPackageArchive archive;
    EXPECT_FALSE(ParseBytes(&archive, c.file)) << c.what;
    EXPECT_EQ(archive.GetEntryCount(), 0) << c.what;
  }
  CPackageArchive archive;
  EXPECT_TRUE(ParseBytes(&archive, good));  // the base of the cases above is fine
}

TEST(PackageArchiveTest, EntriesPastTheEndCannotBeRead) {
  Bytes payload = ToBytes("0123456789");
  struct Case {
    const char* what;
    std::vector<Record> records;
    std::vector<bool> readable;
  } cases[] = {
      {"exact fit", {{"a", 4, 4}, {"b", 6, 6}}, {true, true}},
      {"second runs one byte past the end", {{"a", 4, 4}, {"b", 7, 7}}, {true, false}},
      {"huge length", {{"a", 0xFFFFFFF0u, 1}, {"b", 10, 10}}, {false, false}},
      // 0x7FFFFFFF + 0x80000001 wraps to 0 in 32 bits: the sum must be taken wider.
      {"lengths that wrap around",
       {{"a", 0x7FFFFFFFu, 1}, {"b", 0x80000001u, 1}, {"c", 1, 1}},
       {false, false, false}},
      {"empty entry after the end", {{"a", 20, 20}, {"b", 0, 0}}, {false, false}},
      {"empty entry at the end", {{"a", 10, 10}, {"b", 0, 0}}, {true, true}},
  };
  for (const Case& c : cases) {
    Bytes file =
        Assemble(0, Directory(c.records, static_cast<uint32_t>(c.records.size())), payload);
    CPackageArchive archive;
    ASSERT_TRUE(ParseBytes(&archive, file)) << c.what;
    for (size_t i = 0; i < c.records.size(); ++i) {
      bool ok = false;
      Read(archive, static_cast<int32_t>(i), nullptr, &ok);
      EXPECT_EQ(ok, c.readable[i]) << c.what << " entry " << i;
    }
  }
}

TEST(PackageArchiveTest, CompressedEntryWithStoredLengthZeroIsEmpty) {
  Bytes dir = Compressed(Directory({{"empty", 0, 12345}, {"next", 0, 0}}, 2));
  CPackageArchive archive;
  ASSERT_TRUE(ParseBytes(&archive, Assemble(1, dir, {})));
  CSmartBuffer out;
  ASSERT_TRUE(archive.ReadEntryAt(0, kPackageDefaultPassword, &out));
  EXPECT_EQ(out.Size(), 0);
}

TEST(PackageArchiveTest, GarbageEntriesFailInCompressedMode) {
  Bytes garbage = RandomBytes(300, 11);
  Bytes dir = Compressed(Directory({{"junk", 300, 1000}}, 1));
  CPackageArchive archive;
  ASSERT_TRUE(ParseBytes(&archive, Assemble(1, dir, garbage)));
  for (const char* pw : {"", kPackageDefaultPassword}) {
    CSmartBuffer out;
    EXPECT_FALSE(archive.ReadEntryAt(0, pw, &out));
  }
}

TEST(PackageArchiveTest, SizeArgumentBoundsTheView) {
  Bytes file =
      Pack({{"a", ToBytes("alpha")}, {"b", RandomBytes(1000, 4)}}, nullptr, CArchiver::kModeStored);
  auto* buffer = new CSmartBuffer;
  buffer->Assign(file.data(), static_cast<int32_t>(file.size()));
  CPackageArchive archive;
  // The last byte is outside the given size: the second entry now runs past the end.
  ASSERT_TRUE(archive.Parse(buffer, static_cast<int32_t>(file.size() - 1)));
  bool ok = false;
  EXPECT_EQ(Read(archive, 0, nullptr, &ok), ToBytes("alpha"));
  Read(archive, 1, nullptr, &ok);
  EXPECT_FALSE(ok);
}

// A buffer that records its destruction, to see who releases it.
class TrackedBuffer : public CSmartBuffer {
 public:
  explicit TrackedBuffer(bool* destroyed) : destroyed_(destroyed) {}
  ~TrackedBuffer() override { *destroyed_ = true; }

 private:
  bool* destroyed_;
};

TEST(PackageArchiveTest, ParseOwnsTheBufferWhateverTheOutcome) {
  Bytes good = Pack({{"a", ToBytes("x")}}, nullptr);
  bool first = false, second = false, third = false;
  {
    CPackageArchive archive;
    auto* ok_buffer = new TrackedBuffer(&first);
    ok_buffer->Assign(good.data(), static_cast<int32_t>(good.size()));
    ASSERT_TRUE(archive.Parse(ok_buffer, ok_buffer->Size()));
    EXPECT_FALSE(first);

    auto* bad_buffer = new TrackedBuffer(&second);
    bad_buffer->Assign("junk", 4);
    EXPECT_FALSE(archive.Parse(bad_buffer, bad_buffer->Size()));
    EXPECT_TRUE(first);   // the previous content was released
    EXPECT_TRUE(second);  // a failed parse releases its buffer at once
    EXPECT_EQ(archive.GetEntryCount(), 0);

    auto* refused = new TrackedBuffer(&third);
    EXPECT_FALSE(archive.Parse(refused, 0));
    EXPECT_TRUE(third);
  }
  CPackageArchive archive;
  EXPECT_FALSE(archive.Parse(nullptr, 10));
}

}  // namespace
