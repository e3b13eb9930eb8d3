#include "player/iconfile.h"

#include <algorithm>
#include <cstdlib>

#include "storage/containerformat.h"

namespace vexa::player {

namespace {

uint16_t ReadU16(const uint8_t* p) {
  return static_cast<uint16_t>(vexa::container::LoadU16(p));
}

uint32_t ReadU32(const uint8_t* p) {
  return vexa::container::LoadU32(p);
}

int32_t ReadI32(const uint8_t* p) {
  return static_cast<int32_t>(ReadU32(p));
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Signature, then the IHDR chunk (length, type, 13 bytes of data, CRC).
constexpr size_t kPngMinimumSize = 8 + 25;

constexpr size_t kInfoHeaderSize = 40;
constexpr uint32_t kCompressionRgb = 0;
constexpr uint32_t kCompressionBitFields = 3;
constexpr uint64_t kBitFieldsSize = 3 * 4;
// Far above any real icon; keeps the size sums small and exact.
constexpr int64_t kLargestSide = 1024;

int64_t RowBytes(int64_t width, int64_t bits) {
  return ((width * bits + 31) / 32) * 4;
}

}  // namespace

int32_t IconImageDepth(const uint8_t* data, size_t size) {
  if (!data) return 0;
  if (size >= kPngMinimumSize) {
    bool png = true;
    for (size_t i = 0; i < sizeof kPngSignature; ++i) png = png && data[i] == kPngSignature[i];
    if (png) return 32;
  }
  if (size < kInfoHeaderSize) return 0;
  const uint32_t header_size = ReadU32(data);
  const int64_t width = ReadI32(data + 4);
  // The height covers the colour bits and the AND mask, one above the other.
  const int64_t double_height = ReadI32(data + 8);
  const uint16_t planes = ReadU16(data + 12);
  const uint16_t bits = ReadU16(data + 14);
  const uint32_t compression = ReadU32(data + 16);
  const uint32_t colors_used = ReadU32(data + 32);

  if (header_size < kInfoHeaderSize || header_size > size) return 0;
  if (width < 1 || width > kLargestSide) return 0;
  if (double_height < 2 || double_height > 2 * kLargestSide) return 0;
  if (planes != 1) return 0;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;

  uint64_t needed = header_size;
  if (compression == kCompressionBitFields) {
    if (bits != 16 && bits != 32) return 0;
    // The three colour masks are read from just after a plain info header's 40 bytes, whatever
    // the header claims: a header that long holds them, a shorter one leaves them to follow it.
    needed = std::max<uint64_t>(header_size, kInfoHeaderSize + kBitFieldsSize);
  } else if (compression != kCompressionRgb) {
    return 0;
  }
  // The system places the colour count's palette before the bits at every depth, so a deep image
  // that names colours moves its bits that much further in.
  uint64_t entries = colors_used;
  if (bits <= 8) {
    const uint64_t full_palette = uint64_t{1} << bits;
    if (entries == 0) entries = full_palette;
    if (entries > full_palette) return 0;
  }
  needed += entries * 4;
  const int64_t rows = double_height / 2;
  needed += static_cast<uint64_t>(RowBytes(width, bits) * rows);
  needed += static_cast<uint64_t>(RowBytes(width, 1) * rows);
  if (needed > size) return 0;
  return bits;
}

bool CIconFile::Parse(const uint8_t* data, size_t size) {
  images_.clear();
  rejected_ = 0;
  if (!data || size < kHeaderSize) return false;
  if (ReadU16(data) != 0 || ReadU16(data + 2) != 1) return false;
  const size_t count = ReadU16(data + 4);
  if (count == 0) return false;
  // count is at most 65535, so this cannot overflow.
  const size_t directory_end = kHeaderSize + count * kEntrySize;
  if (directory_end > size) return false;

  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kHeaderSize + i * kEntrySize;
    const uint32_t bytes = ReadU32(entry + 8);
    const uint32_t offset = ReadU32(entry + 12);
    // Compared in size_t without adding, so offset + bytes cannot wrap.
    if (bytes == 0 || offset < directory_end || offset > size || bytes > size - offset) {
      ++rejected_;
      continue;
    }
    const int32_t depth = IconImageDepth(data + offset, bytes);
    if (depth == 0) {
      ++rejected_;
      continue;
    }
    IconImage image;
    image.width = entry[0] != 0 ? entry[0] : 256;
    image.height = entry[1] != 0 ? entry[1] : 256;
    image.depth = depth;
    image.offset = offset;
    image.size = bytes;
    image.index = static_cast<int32_t>(i);
    images_.push_back(image);
  }
  return !images_.empty();
}

bool CIconFile::ChooseImage(int32_t width, int32_t height, IconImage* image) const {
  if (!image || images_.empty()) return false;
  if (width <= 0) width = 32;
  if (height <= 0) height = 32;

  // Lower is better: (class, distance, -depth); the first image wins ties.
  const IconImage* best = nullptr;
  int best_class = 0;
  int64_t best_distance = 0;
  for (const IconImage& candidate : images_) {
    int size_class = 2;
    if (candidate.width == width && candidate.height == height) {
      size_class = 0;
    } else if (candidate.width >= width && candidate.height >= height) {
      size_class = 1;
    }
    const int64_t distance = std::llabs(int64_t{candidate.width} - width) +
                             std::llabs(int64_t{candidate.height} - height);
    bool better = !best;
    if (best) {
      if (size_class != best_class) {
        better = size_class < best_class;
      } else if (distance != best_distance) {
        better = distance < best_distance;
      } else {
        better = candidate.depth > best->depth;
      }
    }
    if (better) {
      best = &candidate;
      best_class = size_class;
      best_distance = distance;
    }
  }
  *image = *best;
  return true;
}

}  // namespace vexa::player
