// Damaged files must not make the reader allocate what their numbers claim: the largest single
// allocation is watched while the reader runs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "data/package.h"
#include "storage/buffer.h"
#include "storage/codec.h"

namespace {

std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};

void Note(size_t n) {
  if (!g_watching.load(std::memory_order_relaxed)) return;
  size_t seen = g_largest.load();
  while (n > seen && !g_largest.compare_exchange_weak(seen, n)) {
  }
}

// The largest allocation made while `body` runs.
template <typename F>
size_t LargestAllocation(F body) {
  g_largest = 0;
  g_watching = true;
  body();
  g_watching = false;
  return g_largest;
}

}  // namespace

void* operator new(size_t n) {
  Note(n);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) {
  Note(n);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  Note(n);
  return std::malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  Note(n);
  return std::malloc(n ? n : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

TEST(PackageAllocationTest, ACountTheDirectoryCannotHoldAllocatesNothingForIt) {
  // 14 bytes: magic, stored mode, a 10-byte directory claiming 65535 entries.
  std::vector<uint8_t> file = {CPackageArchive::kMagic, 0, 10, 0, 1, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0};
  const size_t largest = LargestAllocation([&] {
    auto* buffer = new CSmartBuffer();
    ASSERT_TRUE(buffer->Assign(file.data(), static_cast<int32_t>(file.size())));
    CPackageArchive archive;
    EXPECT_FALSE(archive.Parse(buffer, buffer->Size()));
  });
  EXPECT_LT(largest, 64u * 1024);
}

TEST(PackageAllocationTest, ARecordedLengthBeyondWhatDeflateCanProduceIsNotAllocated) {
  const std::string text(1000, 'a');
  std::vector<uint8_t> packed(compressBound(text.size()));
  uLongf packedSize = packed.size();
  ASSERT_EQ(compress2(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                      text.size(), 9),
            Z_OK);
  CSmartBuffer out;
  // A damaged directory records 1 GB for these few bytes: the output is still right, and the
  // first allocation follows what deflate can really produce.
  const size_t largest = LargestAllocation([&] {
    EXPECT_TRUE(InflateGrowing(packed.data(), static_cast<uint32_t>(packedSize), nullptr, &out,
                               1u << 30));
  });
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.Data()), out.Size()), text);
  EXPECT_LT(largest, 4u * 1024 * 1024);
  // A true hint is still taken as it is.
  EXPECT_TRUE(InflateGrowing(packed.data(), static_cast<uint32_t>(packedSize), nullptr, &out,
                             static_cast<uint32_t>(text.size())));
  EXPECT_EQ(out.Size(), 1000);
}

}  // namespace
