#include "storage/primitives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A stream whose reads or writes fail with a status of its own.
class FailingStream : public IByteStream {
 public:
  explicit FailingStream(int writes_before_failure) : writes_left_(writes_before_failure) {}
  HRESULT Read(void*, uint32_t, uint32_t* read) override {
    if (read) *read = 0;
    return E_ACCESSDENIED;
  }
  HRESULT Write(const void*, uint32_t count, uint32_t* written) override {
    if (writes_left_-- > 0) {
      if (written) *written = count;
      return S_OK;
    }
    if (written) *written = 0;
    return E_ACCESSDENIED;
  }
  HRESULT Seek(int64_t, int, uint64_t*) override { return E_NOTIMPL; }

 private:
  int writes_left_;
};

TEST(PrimitivesTest, IntegersAreLittleEndian) {
  CMemoryStream s;
  ASSERT_EQ(WriteInt32(&s, -2), S_OK);
  ASSERT_EQ(WriteCount(&s, 0x01020304u), S_OK);
  EXPECT_EQ(s.Data(), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 4, 3, 2, 1}));
  s.Seek(0, IByteStream::kSeekSet, nullptr);
  int32_t i = 0;
  uint32_t c = 0;
  ASSERT_EQ(ReadInt32(&s, &i), S_OK);
  ASSERT_EQ(ReadCount(&s, &c), S_OK);
  EXPECT_EQ(i, -2);
  EXPECT_EQ(c, 0x01020304u);
  EXPECT_EQ(ReadInt32(&s, &i), E_FAIL);  // at the end
}

TEST(PrimitivesTest, StringsRoundTrip) {
  const std::string texts[] = {"", "a", "Level 1", std::string("nul\0inside", 10),
                               std::string(10000, 'w')};
  CMemoryStream s;
  for (const std::string& t : texts) ASSERT_EQ(WriteString(&s, CSmallStr(t)), S_OK);
  s.Seek(0, IByteStream::kSeekSet, nullptr);
  for (const std::string& t : texts) {
    CSmallStr back("previous");
    ASSERT_EQ(ReadString(&s, &back), S_OK);
    EXPECT_EQ(back.str(), t);
  }
}

TEST(PrimitivesTest, EmptyStringIsJustItsLength) {
  CMemoryStream s;
  ASSERT_EQ(WriteString(&s, CSmallStr()), S_OK);
  EXPECT_EQ(s.Data(), (Bytes{0, 0, 0, 0}));
}

TEST(PrimitivesTest, TruncatedStreamsFailAndLeaveTheStringEmpty) {
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"ends inside the length", {5, 0}},
      {"no bytes at all", {}},
      {"ends inside the text", {5, 0, 0, 0, 'a', 'b'}},
      // A corrupt length must not make the reader allocate what the stream does not hold.
      {"huge length", {0xF0, 0xFF, 0xFF, 0x7F, 'a', 'b', 'c'}},
      {"length over 2 GiB", {0xFF, 0xFF, 0xFF, 0xFF, 'a'}},
  };
  for (const Case& c : cases) {
    CMemoryStream s(c.bytes);
    CSmallStr out("previous");
    EXPECT_EQ(ReadString(&s, &out), E_FAIL) << c.what;
    EXPECT_TRUE(out.IsEmpty()) << c.what;
  }
}

TEST(PrimitivesTest, StreamFailuresAreReported) {
  FailingStream no_writes(0);
  EXPECT_EQ(WriteString(&no_writes, CSmallStr("abc")), E_ACCESSDENIED);
  FailingStream one_write(1);  // the length goes through, the text does not
  EXPECT_EQ(WriteString(&one_write, CSmallStr("abc")), E_ACCESSDENIED);
  CSmallStr out("previous");
  EXPECT_EQ(ReadString(&no_writes, &out), E_FAIL);
  EXPECT_TRUE(out.IsEmpty());
  EXPECT_EQ(ReadString(nullptr, &out), E_POINTER);
  EXPECT_EQ(WriteString(nullptr, CSmallStr("x")), E_POINTER);
}

}  // namespace
