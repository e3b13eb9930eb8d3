// The BMP writer byte for byte: headers, bottom-up rows, row padding, and the images it refuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/jpegdecode.h"
#include "system/bmp.h"

namespace {

using vexa::platform::BgrImage;
using vexa::system::BmpFileSize;
using vexa::system::EncodeBmp24;
using vexa::system::WriteBmp24;

BgrImage Image(uint32_t width, uint32_t height, size_t stride, std::vector<uint8_t> pixels) {
  BgrImage image;
  image.width = width;
  image.height = height;
  image.stride = stride;
  image.pixels = std::move(pixels);
  return image;
}

TEST(BmpWriter, TwoByTwoImageIsWrittenByteForByte) {
  // Top row: blue, green; bottom row: red, white (BGR bytes). Rows of 6 bytes padded to 8.
  const BgrImage image = Image(2, 2, 8,
                               {0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0xAA, 0xBB,  // padding ignored
                                0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xCC, 0xDD});
  const std::vector<uint8_t> expected = {
      // File header: "BM", size 70, reserved, pixels at 54.
      'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
      // Info header: 40 bytes, 2 x 2, 1 plane, 24 bits, no compression, 16 bytes of pixels,
      // no resolution, no palette.
      40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
      // Bottom row first, each padded with zeros.
      0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0,
      // Then the top row.
      0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0, 0};
  EXPECT_EQ(expected, EncodeBmp24(image));
  EXPECT_EQ(70u, BmpFileSize(2, 2));
}

TEST(BmpWriter, RowsWhoseWidthIsAMultipleOfFourNeedNoPadding) {
  // 4 x 1: 12 bytes, stride 12.
  std::vector<uint8_t> pixels;
  for (uint8_t i = 0; i < 12; ++i) pixels.push_back(i);
  const std::vector<uint8_t> bytes = EncodeBmp24(Image(4, 1, 12, pixels));
  ASSERT_EQ(54u + 12u, bytes.size());
  EXPECT_EQ(std::vector<uint8_t>(pixels.begin(), pixels.end()),
            std::vector<uint8_t>(bytes.begin() + 54, bytes.end()));
  // Width 4 little-endian at offset 18, height 1 at 22, image size 12 at 34.
  EXPECT_EQ(4, bytes[18]);
  EXPECT_EQ(1, bytes[22]);
  EXPECT_EQ(12, bytes[34]);
}

TEST(BmpWriter, AWideStrideIsReadRowByRow) {
  // 1 x 3 pixels with a stride of 16 (as a decoder may hand out): each row holds 3 bytes + pad.
  std::vector<uint8_t> pixels(16 * 2 + 3, 0xEE);
  for (int row = 0; row < 3; ++row) {
    for (int i = 0; i < 3; ++i) pixels[row * 16 + i] = static_cast<uint8_t>(row * 10 + i);
  }
  const std::vector<uint8_t> bytes = EncodeBmp24(Image(1, 3, 16, pixels));
  const std::vector<uint8_t> rows = {20, 21, 22, 0, 10, 11, 12, 0, 0, 1, 2, 0};
  ASSERT_EQ(54u + rows.size(), bytes.size());
  EXPECT_EQ(rows, std::vector<uint8_t>(bytes.begin() + 54, bytes.end()));
}

TEST(BmpWriter, RefusesImagesItCannotWrite) {
  struct Case {
    const char* what;
    BgrImage image;
  };
  const Case cases[] = {
      {"no width", Image(0, 2, 4, std::vector<uint8_t>(8))},
      {"no height", Image(2, 0, 8, {})},
      {"pixels cut short", Image(2, 2, 8, std::vector<uint8_t>(8 + 5))},
      {"stride narrower than a row", Image(2, 2, 4, std::vector<uint8_t>(16))},
  };
  for (const Case& c : cases) {
    bool called = false;
    EXPECT_FALSE(WriteBmp24(c.image, [&called](const uint8_t*, size_t) {
      called = true;
      return true;
    })) << c.what;
    EXPECT_FALSE(called) << c.what << ": nothing may be written";
    EXPECT_TRUE(EncodeBmp24(c.image).empty()) << c.what;
  }
}

TEST(BmpWriter, FileSizeLimits) {
  EXPECT_EQ(0u, BmpFileSize(0, 1));
  EXPECT_EQ(0u, BmpFileSize(1, 0));
  EXPECT_EQ(0u, BmpFileSize(0x80000000u, 1));  // the signed width field cannot hold it
  EXPECT_EQ(0u, BmpFileSize(65536, 65536));    // 12 GiB: beyond the 32-bit size field
  EXPECT_EQ(54u + 4u, BmpFileSize(1, 1));
  const uint64_t big = BmpFileSize(7680, 4320);
  EXPECT_EQ(54u + 7680u * 3u * 4320u, big);
  EXPECT_LE(big, std::numeric_limits<uint32_t>::max());
}

TEST(BmpWriter, AFailingSinkStopsTheWrite) {
  const BgrImage image = Image(1, 4, 4, std::vector<uint8_t>(16, 1));
  int pieces = 0;
  EXPECT_FALSE(WriteBmp24(image, [&pieces](const uint8_t*, size_t) { return ++pieces < 2; }));
  EXPECT_EQ(2, pieces);
}

}  // namespace
