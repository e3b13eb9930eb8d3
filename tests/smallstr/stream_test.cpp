#include "script/stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "script/smallstr.h"

namespace {

// A stream that fails or ends early on purpose, to prove readers handle both.
class CFaultyStream : public CMemoryStream {
 public:
  CFaultyStream(std::vector<uint8_t> bytes, size_t failAt, HRESULT status)
      : CMemoryStream(std::move(bytes)), failAt_(failAt), status_(status) {}
  HRESULT Read(void* buffer, uint32_t count, uint32_t* read) override {
    if (Position() + count > failAt_) {
      if (read) *read = 0;
      return status_;
    }
    return CMemoryStream::Read(buffer, count, read);
  }

 private:
  size_t failAt_;
  HRESULT status_;
};

TEST(MemoryStream, ReadWriteSeek) {
  CMemoryStream s;
  uint32_t n = 0;
  ASSERT_EQ(s.Write("abcdef", 6, &n), S_OK);
  EXPECT_EQ(n, 6u);
  uint64_t pos = 0;
  ASSERT_EQ(s.Seek(2, IByteStream::kSeekSet, &pos), S_OK);
  EXPECT_EQ(pos, 2u);
  char buf[8] = {};
  ASSERT_EQ(s.Read(buf, 8, &n), S_OK);
  EXPECT_EQ(n, 4u);
  EXPECT_STREQ(buf, "cdef");
  EXPECT_EQ(s.Seek(-1, IByteStream::kSeekSet, nullptr), E_INVALIDARG);
  ASSERT_EQ(s.Seek(-2, IByteStream::kSeekEnd, &pos), S_OK);
  EXPECT_EQ(pos, 4u);
  // Writing past the end after a seek grows the stream.
  ASSERT_EQ(s.Seek(8, IByteStream::kSeekSet, nullptr), S_OK);
  ASSERT_EQ(s.Write("z", 1, nullptr), S_OK);
  EXPECT_EQ(s.Data().size(), 9u);
  EXPECT_EQ(ReadExact(&s, buf, 1), E_FAIL);  // at the end
}

TEST(SmallStrStream, RoundTripsBothForms) {
  CMemoryStream s;
  CSmallStr narrow("save slot \xE9");
  CSmallStr empty;
  CSmallWStr wide(L"wide text");
  ASSERT_EQ(narrow.WriteToStream(&s), S_OK);
  ASSERT_EQ(empty.WriteToStream(&s), S_OK);
  ASSERT_EQ(wide.WriteToStream(&s), S_OK);
  // Narrow: 4-byte length + bytes; empty: length only; wide: 2 bytes per character.
  EXPECT_EQ(s.Data().size(), 4u + 11u + 4u + 4u + 2u * 9u);
  s.Seek(0, IByteStream::kSeekSet, nullptr);
  CSmallStr n2("x"), e2("x");
  CSmallWStr w2(L"x");
  ASSERT_EQ(n2.ReadFromStream(&s), S_OK);
  ASSERT_EQ(e2.ReadFromStream(&s), S_OK);
  ASSERT_EQ(w2.ReadFromStream(&s), S_OK);
  EXPECT_STREQ(n2.c_str(), narrow.c_str());
  EXPECT_TRUE(e2.IsEmpty());
  EXPECT_EQ(std::wstring(w2.c_str()), L"wide text");
}

TEST(SmallStrStream, WideCharactersOutsideTheBasicPlaneSurviveAsSurrogates) {
  std::wstring text = L"a";
  text.push_back(static_cast<wchar_t>(sizeof(wchar_t) == 4 ? 0x1F600 : 0xD83D));
  if (sizeof(wchar_t) == 2) text.push_back(static_cast<wchar_t>(0xDE00));
  CSmallWStr w(text.c_str());
  CMemoryStream s;
  ASSERT_EQ(w.WriteToStream(&s), S_OK);
  uint32_t units = 0;
  std::memcpy(&units, s.Data().data(), 4);
  EXPECT_EQ(units, 3u);  // 'a' plus a surrogate pair on every platform
  s.Seek(0, IByteStream::kSeekSet, nullptr);
  CSmallWStr back;
  ASSERT_EQ(back.ReadFromStream(&s), S_OK);
  EXPECT_EQ(std::wstring(back.c_str()), text);
}

TEST(SmallStrStream, BrokenStreams) {
  // Length cannot be read completely.
  {
    CMemoryStream s(std::vector<uint8_t>{1, 0});
    CSmallStr str("keep");
    EXPECT_EQ(str.ReadFromStream(&s), E_FAIL);
  }
  // Length says 10 characters, only 3 follow: the string ends up empty and the read fails.
  {
    CMemoryStream s(std::vector<uint8_t>{10, 0, 0, 0, 'a', 'b', 'c'});
    CSmallStr str("keep");
    EXPECT_EQ(str.ReadFromStream(&s), E_FAIL);
    EXPECT_TRUE(str.IsEmpty());
  }
  // The stream fails while the characters are read: its status is passed on.
  {
    CFaultyStream s(std::vector<uint8_t>{3, 0, 0, 0, 'a', 'b', 'c'}, 5, E_ACCESSDENIED);
    CSmallStr str("keep");
    EXPECT_EQ(str.ReadFromStream(&s), E_ACCESSDENIED);
    EXPECT_TRUE(str.IsEmpty());
  }
  // A huge corrupt length does not allocate up front; it simply fails.
  {
    CMemoryStream s(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 'a'});
    CSmallWStr str;
    EXPECT_EQ(str.ReadFromStream(&s), E_FAIL);
  }
}

}  // namespace
