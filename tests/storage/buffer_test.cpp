#include "storage/buffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <type_traits>
#include <utility>

namespace {

std::string Text(const CBaseBuffer& b) {
  return b.Size() > 0 ? std::string(reinterpret_cast<const char*>(b.Data()), b.Size()) : "";
}

CSmartBuffer Make(const std::string& s) {
  CSmartBuffer b;
  EXPECT_TRUE(b.Assign(s.data(), static_cast<int32_t>(s.size())));
  return b;
}

TEST(SmartBufferTest, ResizeKeepsPrefixAndAppendExtends) {
  CSmartBuffer b = Make("abcdef");
  ASSERT_TRUE(b.Resize(3));
  EXPECT_EQ(Text(b), "abc");
  ASSERT_TRUE(b.Append("XYZ", 3));
  EXPECT_EQ(Text(b), "abcXYZ");
  ASSERT_TRUE(b.Resize(8));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.Data()), 6), "abcXYZ");
  EXPECT_EQ(b.Size(), 8);

  CSmartBuffer fresh;  // no block yet: Resize behaves as Allocate
  ASSERT_TRUE(fresh.Resize(5));
  EXPECT_EQ(fresh.Size(), 5);
  EXPECT_NE(fresh.Data(), nullptr);
}

TEST(SmartBufferTest, AppendOfItsOwnBytesSurvivesTheReallocation) {
  CSmartBuffer b = Make("hello");
  ASSERT_TRUE(b.Append(b.Data() + 1, 3));
  EXPECT_EQ(Text(b), "helloell");
  ASSERT_TRUE(b.AppendBuffer(b));
  EXPECT_EQ(Text(b), "helloellhelloell");
  ASSERT_TRUE(b.Assign(b.Data() + 5, 3));
  EXPECT_EQ(Text(b), "ell");
}

TEST(SmartBufferTest, AssignOfNothingLeavesItEmpty) {
  CSmartBuffer b = Make("abc");
  EXPECT_TRUE(b.Assign(nullptr, 3));
  EXPECT_EQ(b.Data(), nullptr);
  EXPECT_EQ(b.Size(), 0);
  b = Make("abc");
  EXPECT_TRUE(b.Assign("xyz", 0));
  EXPECT_EQ(b.Data(), nullptr);
}

TEST(SmartBufferTest, RefusedGrowthLeavesTheBufferUnchanged) {
  CSmartBuffer b = Make("0123456789");
  // The size check comes before any allocation, so the source is never read.
  EXPECT_FALSE(b.Append("x", INT32_MAX));
  EXPECT_EQ(Text(b), "0123456789");
  EXPECT_FALSE(b.Resize(-1));
  EXPECT_EQ(Text(b), "0123456789");
  EXPECT_FALSE(b.Allocate(-5));
  EXPECT_EQ(b.Size(), 0);
  EXPECT_EQ(b.Data(), nullptr);
}

TEST(SmartBufferTest, CopiesAreDeepAndMovesTransferOwnership) {
  CSmartBuffer a = Make("data");
  CSmartBuffer copy(a);
  ASSERT_NE(copy.Data(), a.Data());
  copy.Data()[0] = 'D';
  EXPECT_EQ(Text(a), "data");
  CSmartBuffer moved(std::move(copy));
  EXPECT_EQ(Text(moved), "Data");
  EXPECT_EQ(copy.Size(), 0);
  EXPECT_EQ(copy.Data(), nullptr);
}

TEST(SmartBufferTest, DetachHandsOverTheBlockAndAttachTakesOne) {
  CSmartBuffer a = Make("xyz");
  uint8_t* block = a.Detach();
  EXPECT_EQ(a.Size(), 0);
  EXPECT_EQ(a.Data(), nullptr);
  CSmartBuffer b;
  b.Attach(block, 3);
  EXPECT_EQ(Text(b), "xyz");
  CSmartBuffer empty;
  uint8_t* none = empty.Detach();
  EXPECT_NE(none, nullptr);  // callers can always delete[] what they get
  delete[] none;
}

TEST(ChainedBufferTest, JoinsPiecesInOrderAndRebuildsOnEveryCall) {
  CChainedBuffer chain;
  EXPECT_EQ(chain.Size(), 0);
  EXPECT_EQ(chain.Bytes(), nullptr);
  ASSERT_TRUE(chain.AddPiece(Make("ab")));
  ASSERT_TRUE(chain.AddPiece(CSmartBuffer()));  // empty pieces count for nothing
  ASSERT_TRUE(chain.AddPiece(Make("cde")));
  EXPECT_EQ(chain.Size(), 5);
  uint8_t* joined = chain.Bytes();
  ASSERT_NE(joined, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(joined), 5), "abcde");
  ASSERT_TRUE(chain.AddPiece(Make("f")));
  joined = chain.Bytes();
  EXPECT_EQ(std::string(reinterpret_cast<char*>(joined), 6), "abcdef");

  // Readers of an unknown buffer class use Size() and Bytes().
  CBaseBuffer& any = chain;
  CSmartBuffer copy(any);
  EXPECT_EQ(Text(copy), "abcdef");

  chain.Clear();
  EXPECT_EQ(chain.Size(), 0);
  EXPECT_EQ(chain.PieceCount(), 0);
}

TEST(ChainedBufferTest, CopiesIntoASmartBufferTakeThePiecesNeverAStaleBlock) {
  CChainedBuffer chain;
  ASSERT_TRUE(chain.AddPiece(Make("ab")));
  ASSERT_NE(chain.Bytes(), nullptr);  // a joined block of 2 bytes, stale once more is added
  ASSERT_TRUE(chain.AddPiece(Make("cdefgh")));
  // Copying the chain itself (not through a base reference) joins it anew.
  CSmartBuffer copy(chain);
  EXPECT_EQ(Text(copy), "abcdefgh");
  // The forms that would take the base block instead do not compile.
  static_assert(!std::is_constructible_v<CSmartBuffer, const CChainedBuffer&>);
  static_assert(!std::is_constructible_v<CSmartBuffer, CChainedBuffer&&>);
  static_assert(!std::is_assignable_v<CSmartBuffer&, const CChainedBuffer&>);
  static_assert(!std::is_assignable_v<CSmartBuffer&, CChainedBuffer&&>);
  static_assert(!std::is_convertible_v<CChainedBuffer&, CSmartBuffer>);  // explicit only
}

}  // namespace
