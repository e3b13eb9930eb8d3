#include "storage/archiver.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "storage/codec.h"
#include "support/bytes.h"

namespace {

using vexa::testing::Bytes;
using vexa::testing::ToBytes;

Bytes Uncompress(const uint8_t* data, size_t n, size_t expected) {
  Bytes out(expected + 64);
  uLongf produced = out.size();
  EXPECT_EQ(uncompress(out.data(), &produced, data, n), Z_OK);
  out.resize(produced);
  return out;
}

uint32_t U16(const uint8_t* p) {
  return p[0] | (p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

int32_t Add(CArchiver* a, const std::string& name, const std::string& content,
            const char* password = "pw") {
  return a->AddEntry(static_cast<uint32_t>(content.size()), name.c_str(), content.data(), password);
}

TEST(ArchiverTest, EmptyContainerIsHeaderPlusCompressedEmptyDirectory) {
  CArchiver a;
  ASSERT_TRUE(a.Reset(1));
  CSmartBuffer out;
  ASSERT_EQ(a.Build(&out), S_OK);
  Bytes file = ToBytes(out);
  ASSERT_GE(file.size(), 4u);
  EXPECT_EQ(file[0], 0xCF);
  EXPECT_EQ(file[1], 1);
  EXPECT_EQ(U16(&file[2]), file.size() - 4);
  EXPECT_GE(file.size() - 4, 10u);  // readers refuse shorter directories
  EXPECT_EQ(Uncompress(&file[4], file.size() - 4, 3), (Bytes{1, 0, 0}));
}

// The byte layout, decoded by hand rather than by the package reader.
TEST(ArchiverTest, LaysOutHeaderDirectoryAndBlocks) {
  CArchiver a;
  ASSERT_TRUE(a.Reset(3));
  const std::string big(20000, 'x');
  EXPECT_EQ(Add(&a, "init.xml", "<root/>"), 0);
  EXPECT_EQ(Add(&a, "movies/intro.swf", big), 1);
  EXPECT_EQ(Add(&a, "empty.txt", ""), 2);
  CSmartBuffer out;
  ASSERT_EQ(a.Build(&out), S_OK);
  Bytes file = ToBytes(out);

  const uint32_t l = U16(&file[2]);
  Bytes dir = Uncompress(&file[4], l, 100);
  ASSERT_EQ(dir[0], 1);
  ASSERT_EQ(U16(&dir[1]), 3u);
  size_t pos = 3;
  size_t data = 4 + l;
  const std::string names[] = {"init.xml", "movies/intro.swf", "empty.txt"};
  const std::string contents[] = {"<root/>", big, ""};
  for (int i = 0; i < 3; ++i) {
    const size_t n = dir[pos];
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&dir[pos + 1]), n), names[i]);
    const uint32_t s = U32(&dir[pos + 1 + n]);
    const uint32_t u = U32(&dir[pos + 5 + n]);
    EXPECT_EQ(u, contents[i].size());
    EXPECT_EQ(s, static_cast<uint32_t>(a.GetData()->Piece(i).Size()));
    if (contents[i].empty()) {
      EXPECT_EQ(s, 0u);  // an empty file is an empty block
    } else {
      Bytes block(file.begin() + data, file.begin() + data + s);
      XorWithPassword(block.data(), s, "pw");
      Bytes plain = Uncompress(block.data(), s, u);
      EXPECT_EQ(std::string(plain.begin(), plain.end()), contents[i]);
    }
    pos += 9 + n;
    data += s;
  }
  EXPECT_EQ(pos, dir.size());
  EXPECT_EQ(data, file.size());
}

TEST(ArchiverTest, StoredModeCopiesBytesAndKeepsTheDirectoryReadable) {
  CArchiver a;
  ASSERT_TRUE(a.Reset(4));
  ASSERT_TRUE(a.SetMode(CArchiver::kModeStored));
  EXPECT_EQ(Add(&a, "a\\b.bin", "payload", "ignored"), 0);
  CSmartBuffer out;
  ASSERT_EQ(a.Build(&out), S_OK);
  Bytes file = ToBytes(out);
  EXPECT_EQ(file[1], 0);
  const uint32_t l = U16(&file[2]);
  EXPECT_EQ(l, 3u + 1 + 7 + 8);
  EXPECT_EQ(std::string(file.end() - 7, file.end()), "payload");
  EXPECT_FALSE(a.SetMode(CArchiver::kModeCompressed));  // entries exist

  // With no entries the stored directory would be 3 bytes, below what readers accept.
  CArchiver empty;
  ASSERT_TRUE(empty.Reset(1));
  ASSERT_TRUE(empty.SetMode(CArchiver::kModeStored));
  ASSERT_EQ(empty.Build(&out), S_OK);
  file = ToBytes(out);
  EXPECT_GE(U16(&file[2]), 10u);
  EXPECT_EQ(file[4], 1);
  EXPECT_EQ(U16(&file[5]), 0u);
}

TEST(ArchiverTest, BuildIsRepeatableAndHeaderMatchesTheFileStart) {
  CArchiver a;
  ASSERT_TRUE(a.Reset(2));
  Add(&a, "one", "first entry");
  Add(&a, "two", std::string(5000, 'y'));
  CSmartBuffer first, second;
  ASSERT_EQ(a.Build(&first), S_OK);
  ASSERT_EQ(a.Build(&second), S_OK);
  EXPECT_EQ(ToBytes(first), ToBytes(second));
  CSmartBuffer* header = a.BuildHeader();
  ASSERT_NE(header, nullptr);
  Bytes head = ToBytes(*header);
  Bytes whole = ToBytes(first);
  EXPECT_EQ(Bytes(whole.begin(), whole.begin() + head.size()), head);
  EXPECT_EQ(head.size() + a.GetData()->Size(), whole.size());
}

TEST(ArchiverTest, FullTableRefusesAndResetStartsOver) {
  CArchiver a;
  ASSERT_TRUE(a.Reset(1));
  EXPECT_EQ(Add(&a, "first", "1"), 0);
  EXPECT_EQ(Add(&a, "second", "2"), -1);
  EXPECT_EQ(a.LastStatus(), VEXA_E_TABLE_FULL);
  EXPECT_EQ(a.GetCount(), 1);
  EXPECT_EQ(a.GetData()->PieceCount(), 1);

  ASSERT_TRUE(a.Reset(2));
  EXPECT_EQ(a.GetCount(), 0);
  EXPECT_EQ(a.GetData()->Size(), 0);
  EXPECT_EQ(Add(&a, "again", "x"), 0);
}

TEST(ArchiverTest, RefusesWhatTheFormatCannotHold) {
  struct Case {
    const char* what;
    std::string name;
    HRESULT status;  // S_OK: accepted
  } cases[] = {
      {"255-byte name", std::string(255, 'n'), S_OK},
      {"256-byte name", std::string(256, 'n'), VEXA_E_NAME_TOO_LONG},
      {"empty name", "", S_OK},
  };
  for (const Case& c : cases) {
    CArchiver a;
    ASSERT_TRUE(a.Reset(2));
    int32_t index = Add(&a, c.name, "content");
    EXPECT_EQ(index, c.status == S_OK ? 0 : -1) << c.what;
    EXPECT_EQ(a.LastStatus(), c.status) << c.what;
  }

  CArchiver a;
  ASSERT_TRUE(a.Reset(2));
  EXPECT_EQ(a.AddEntry(3, nullptr, "abc", nullptr), -1);
  EXPECT_EQ(a.LastStatus(), E_POINTER);
  EXPECT_EQ(a.AddEntry(3, "x", nullptr, nullptr), -1);
  EXPECT_EQ(a.LastStatus(), E_POINTER);
  EXPECT_EQ(a.GetCount(), 0);
}

TEST(ArchiverTest, RefusesEntry65536) {
  CArchiver a;
  ASSERT_TRUE(a.Reset(70000));
  ASSERT_TRUE(a.SetMode(CArchiver::kModeStored));
  for (int i = 0; i < 65535; ++i) ASSERT_EQ(a.AddEntry(0, "", nullptr, nullptr), i);
  EXPECT_EQ(a.AddEntry(0, "", nullptr, nullptr), -1);
  EXPECT_EQ(a.LastStatus(), VEXA_E_TOO_MANY_ENTRIES);
  EXPECT_EQ(a.GetCount(), 65535);
}

TEST(ArchiverTest, RefusesToBuildADirectoryOver65535Bytes) {
  std::mt19937 rng(7);
  for (uint8_t mode : {CArchiver::kModeStored, CArchiver::kModeCompressed}) {
    CArchiver a;
    ASSERT_TRUE(a.Reset(400));
    ASSERT_TRUE(a.SetMode(mode));
    // Random names do not compress, so the compressed directory is over the limit too.
    for (int i = 0; i < 400; ++i) {
      std::string name(255, ' ');
      for (char& ch : name) ch = static_cast<char>('!' + rng() % 90);
      ASSERT_EQ(Add(&a, name, "x"), i);
    }
    CSmartBuffer out;
    ASSERT_TRUE(out.Assign("old", 3));
    EXPECT_EQ(a.Build(&out), VEXA_E_DIRECTORY_TOO_LARGE) << int(mode);
    EXPECT_EQ(out.Size(), 0);
    EXPECT_EQ(a.BuildHeader(), nullptr);
    EXPECT_EQ(a.LastStatus(), VEXA_E_DIRECTORY_TOO_LARGE);
  }
}

}  // namespace
