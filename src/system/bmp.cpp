#include "system/bmp.h"

#include <cstring>
#include <limits>

namespace vexa::system {

namespace {

uint64_t RowSize(uint32_t width) {
  return (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
}

void Put16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void Put32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

uint64_t BmpFileSize(uint32_t width, uint32_t height) {
  constexpr uint32_t kMaxSide = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) return 0;
  // Both factors are below 2^33 and 2^31: the product cannot overflow 64 bits.
  const uint64_t size = kBmpHeadersSize + RowSize(width) * height;
  return size > std::numeric_limits<uint32_t>::max() ? 0 : size;
}

bool WriteBmp24(const vexa::platform::BgrImage& image, const BmpSink& sink) {
  const uint64_t file_size = BmpFileSize(image.width, image.height);
  if (file_size == 0 || !sink) return false;
  const size_t used = static_cast<size_t>(image.width) * 3;
  const size_t row_size = static_cast<size_t>(RowSize(image.width));
  // The last row needs only its pixels, the others their whole stride.
  if (image.stride < used ||
      image.pixels.size() < image.stride * (static_cast<size_t>(image.height) - 1) + used) {
    return false;
  }

  uint8_t header[kBmpHeadersSize] = {};
  header[0] = 'B';
  header[1] = 'M';
  Put32(header + 2, static_cast<uint32_t>(file_size));
  Put32(header + 10, kBmpHeadersSize);
  Put32(header + 14, 40);
  Put32(header + 18, image.width);
  Put32(header + 22, image.height);
  Put16(header + 26, 1);
  Put16(header + 28, 24);
  Put32(header + 30, 0);
  Put32(header + 34, static_cast<uint32_t>(file_size - kBmpHeadersSize));
  if (!sink(header, sizeof(header))) return false;

  std::vector<uint8_t> row(row_size, 0);
  for (uint32_t y = image.height; y-- > 0;) {
    std::memcpy(row.data(), image.pixels.data() + image.stride * y, used);
    if (!sink(row.data(), row.size())) return false;
  }
  return true;
}

std::vector<uint8_t> EncodeBmp24(const vexa::platform::BgrImage& image) {
  std::vector<uint8_t> out;
  const bool ok = WriteBmp24(image, [&out](const uint8_t* data, size_t size) {
    out.insert(out.end(), data, data + size);
    return true;
  });
  if (!ok) out.clear();
  return out;
}

}  // namespace vexa::system
