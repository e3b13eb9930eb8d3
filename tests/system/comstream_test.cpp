// Memory streams (platform/comstream.h): what a plug-in sees of the stream OpenFileStream hands
// out. The same expectations run against the system's global-memory stream in Windows builds and
// against the portable implementation elsewhere.
#include "platform/comstream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// Owns one reference.
class StreamRef {
 public:
  StreamRef() = default;
  ~StreamRef() {
    if (stream_) stream_->Release();
  }
  StreamRef(const StreamRef&) = delete;
  StreamRef& operator=(const StreamRef&) = delete;
  IStream** out() { return &stream_; }
  IStream* operator->() const { return stream_; }
  IStream* get() const { return stream_; }

 private:
  IStream* stream_ = nullptr;
};

uint64_t Position(IStream* stream) {
  LARGE_INTEGER zero;
  zero.QuadPart = 0;
  ULARGE_INTEGER position;
  position.QuadPart = ~0ull;
  EXPECT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_CUR, &position));
  return position.QuadPart;
}

uint64_t Size(IStream* stream) {
  STATSTG stat;
  EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
  EXPECT_EQ(static_cast<DWORD>(STGTY_STREAM), stat.type);
  return stat.cbSize.QuadPart;
}

HRESULT SeekTo(IStream* stream, int64_t offset, DWORD origin, uint64_t* position = nullptr) {
  LARGE_INTEGER move;
  move.QuadPart = offset;
  ULARGE_INTEGER now;
  now.QuadPart = 0;
  const HRESULT hr = stream->Seek(move, origin, &now);
  if (position) *position = now.QuadPart;
  return hr;
}

std::string ReadAll(IStream* stream, ULONG chunk) {
  std::string bytes;
  std::string buffer(chunk, '\0');
  for (;;) {
    ULONG got = 0;
    EXPECT_EQ(S_OK, stream->Read(&buffer[0], chunk, &got));
    if (got == 0) break;
    bytes.append(buffer.data(), got);
  }
  return bytes;
}

TEST(MemoryStream, StartsAtZeroHoldingACopyOfEveryByte) {
  std::string content(70000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 256);
  const std::string original = content;
  StreamRef stream;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream(content.data(), content.size(), stream.out()));
  content.assign(content.size(), 'X');  // the stream has its own copy
  EXPECT_EQ(0u, Position(stream.get()));
  EXPECT_EQ(70000u, Size(stream.get()));
  EXPECT_EQ(original, ReadAll(stream.get(), 4096));
  EXPECT_EQ(70000u, Position(stream.get()));
}

TEST(MemoryStream, ReadsStopAtTheEnd) {
  StreamRef stream;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream("abcdef", 6, stream.out()));
  char buffer[8] = {};
  ULONG got = 99;
  ASSERT_EQ(S_OK, SeekTo(stream.get(), -2, STREAM_SEEK_END));
  EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(2u, got);
  EXPECT_EQ("ef", std::string(buffer, got));
  got = 99;
  EXPECT_EQ(S_OK, stream->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(0u, got);
}

TEST(MemoryStream, SeeksFromEachOriginAndRefusesToGoBeforeTheStart) {
  StreamRef stream;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream("0123456789", 10, stream.out()));
  struct Case {
    int64_t offset;
    DWORD origin;
    uint64_t expected;
  };
  const Case cases[] = {
      {4, STREAM_SEEK_SET, 4},  {3, STREAM_SEEK_CUR, 7},   {-2, STREAM_SEEK_CUR, 5},
      {0, STREAM_SEEK_END, 10}, {-10, STREAM_SEEK_END, 0}, {0, STREAM_SEEK_SET, 0},
  };
  for (const Case& c : cases) {
    uint64_t position = 0;
    EXPECT_EQ(S_OK, SeekTo(stream.get(), c.offset, c.origin, &position))
        << c.offset << " from " << c.origin;
    EXPECT_EQ(c.expected, position) << c.offset << " from " << c.origin;
  }
  ASSERT_EQ(S_OK, SeekTo(stream.get(), 3, STREAM_SEEK_SET));
  EXPECT_TRUE(FAILED(SeekTo(stream.get(), -1, STREAM_SEEK_SET)));
  EXPECT_TRUE(FAILED(SeekTo(stream.get(), -11, STREAM_SEEK_END)));
  EXPECT_TRUE(FAILED(SeekTo(stream.get(), 0, 7)));  // no such origin
  EXPECT_EQ(3u, Position(stream.get()));            // a refused seek does not move
}

TEST(MemoryStream, WritesOverwriteAndGrowIt) {
  StreamRef stream;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream("hello", 5, stream.out()));
  ULONG written = 0;
  ASSERT_EQ(S_OK, SeekTo(stream.get(), 3, STREAM_SEEK_SET));
  EXPECT_EQ(S_OK, stream->Write("p me", 4, &written));
  EXPECT_EQ(4u, written);
  EXPECT_EQ(7u, Size(stream.get()));
  ASSERT_EQ(S_OK, SeekTo(stream.get(), 0, STREAM_SEEK_SET));
  EXPECT_EQ("help me", ReadAll(stream.get(), 3));
}

TEST(MemoryStream, ClonesShareTheBytesWithTheirOwnPosition) {
  StreamRef stream;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream("abcdef", 6, stream.out()));
  ASSERT_EQ(S_OK, SeekTo(stream.get(), 2, STREAM_SEEK_SET));
  StreamRef clone;
  ASSERT_EQ(S_OK, stream->Clone(clone.out()));
  EXPECT_EQ(2u, Position(clone.get()));
  EXPECT_EQ("cdef", ReadAll(clone.get(), 16));
  EXPECT_EQ(2u, Position(stream.get()));
}

TEST(MemoryStream, AnswersItsInterfaces) {
  StreamRef stream;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream("x", 1, stream.out()));
  for (const IID* iid : {&IID_IUnknown, &IID_ISequentialStream, &IID_IStream}) {
    void* object = nullptr;
    ASSERT_EQ(S_OK, stream->QueryInterface(*iid, &object));
    ASSERT_NE(nullptr, object);
    static_cast<IUnknown*>(object)->Release();
  }
  void* object = &object;
  EXPECT_EQ(E_NOINTERFACE, stream->QueryInterface(IID_IDispatch, &object));
  EXPECT_EQ(nullptr, object);
}

TEST(MemoryStream, EmptyStreamAndRefusedArguments) {
  StreamRef empty;
  ASSERT_TRUE(vexa::platform::CreateMemoryStream(nullptr, 0, empty.out()));
  EXPECT_EQ(0u, Size(empty.get()));
  EXPECT_EQ("", ReadAll(empty.get(), 4));

  IStream* stream = reinterpret_cast<IStream*>(&stream);
  EXPECT_FALSE(vexa::platform::CreateMemoryStream(nullptr, 3, &stream));
  EXPECT_EQ(nullptr, stream);
  EXPECT_FALSE(vexa::platform::CreateMemoryStream("abc", 3, nullptr));
}

}  // namespace
