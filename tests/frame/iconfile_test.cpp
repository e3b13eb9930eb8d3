// Icon files: the directory, the image checks against the file's bytes, and the choice of image.
#include "player/iconfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

using vexa::player::CIconFile;
using vexa::player::IconImage;
using vexa::player::IconImageDepth;
using Bytes = std::vector<uint8_t>;

void Put16(Bytes* out, size_t at, uint32_t value) {
  (*out)[at] = static_cast<uint8_t>(value);
  (*out)[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(Bytes* out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

size_t RowBytes(uint32_t width, uint32_t bits) {
  return ((width * bits + 31) / 32) * 4;
}

// A whole DIB icon image: info header, palette, colour bits and AND mask. Above 8 bits a palette
// is only there when `colors_used` asks for one.
Bytes Dib(uint32_t width, uint32_t height, uint32_t bits, uint32_t colors_used = 0) {
  const size_t palette = (bits <= 8 && colors_used == 0 ? (1u << bits) : colors_used) * 4;
  Bytes out(40 + palette + (RowBytes(width, bits) + RowBytes(width, 1)) * height, 0x5A);
  Put32(&out, 0, 40);
  Put32(&out, 4, width);
  Put32(&out, 8, height * 2);
  Put16(&out, 12, 1);
  Put16(&out, 14, bits);
  Put32(&out, 16, 0);
  Put32(&out, 20, 0);
  Put32(&out, 24, 0);
  Put32(&out, 28, 0);
  Put32(&out, 32, colors_used);
  Put32(&out, 36, 0);
  return out;
}

Bytes Png() {
  Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  out.resize(64, 0);
  return out;
}

struct Image {
  uint8_t width;  // 0 means 256
  uint8_t height;
  Bytes data;
};

// An icon file with the images back to back after the directory.
Bytes Ico(const std::vector<Image>& images) {
  Bytes out(6 + 16 * images.size(), 0);
  Put16(&out, 2, 1);
  Put16(&out, 4, static_cast<uint32_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    const size_t entry = 6 + 16 * i;
    out[entry] = images[i].width;
    out[entry + 1] = images[i].height;
    Put16(&out, entry + 4, 1);
    Put16(&out, entry + 6, 32);
    Put32(&out, entry + 8, static_cast<uint32_t>(images[i].data.size()));
    Put32(&out, entry + 12, static_cast<uint32_t>(out.size()));
    out.insert(out.end(), images[i].data.begin(), images[i].data.end());
  }
  return out;
}

// Entry field offsets.
constexpr size_t kEntryBytes = 8;
constexpr size_t kEntryOffset = 12;

TEST(IconFileTest, SingleImage) {
  const Bytes file = Ico({{32, 32, Dib(32, 32, 32)}});
  CIconFile icon;
  ASSERT_TRUE(icon.Parse(file.data(), file.size()));
  IconImage image;
  ASSERT_TRUE(icon.ChooseImage(32, 32, &image));
  EXPECT_EQ(22u, image.offset);
  EXPECT_EQ(file.size() - 22, image.size);
  EXPECT_EQ(32, image.width);
  EXPECT_EQ(32, image.depth);
  // Whatever size is wanted, the only image it is.
  ASSERT_TRUE(icon.ChooseImage(16, 16, &image));
  EXPECT_EQ(22u, image.offset);
}

TEST(IconFileTest, ChoosesExactSizeThenNearestLargerThenNearestOther) {
  const Bytes file = Ico({{16, 16, Dib(16, 16, 4)},
                          {32, 32, Dib(32, 32, 8)},
                          {32, 32, Dib(32, 32, 32)},
                          {48, 48, Dib(48, 48, 32)},
                          {48, 48, Dib(48, 48, 8)},
                          {0, 0, Png()}});
  CIconFile icon;
  ASSERT_TRUE(icon.Parse(file.data(), file.size()));
  ASSERT_EQ(6u, icon.GetImages().size());
  EXPECT_EQ(256, icon.GetImages()[5].width);

  struct Want {
    int32_t width, height;
    int32_t index;
  };
  const Want wants[] = {
      {32, 32, 2},    // exact size, most colours
      {16, 16, 0},    // exact, the only one
      {24, 24, 2},    // nearest larger, most colours
      {40, 40, 3},    // nearest larger is 48, most colours
      {64, 64, 5},    // only 256 is larger
      {300, 300, 5},  // none larger: the nearest
      {8, 8, 0},      // everything is larger: the nearest larger
      {0, -1, 2},     // non-positive sizes count as 32
  };
  for (const Want& want : wants) {
    IconImage image;
    ASSERT_TRUE(icon.ChooseImage(want.width, want.height, &image));
    EXPECT_EQ(want.index, image.index) << want.width << "x" << want.height;
    const IconImage& listed = icon.GetImages()[want.index];
    EXPECT_EQ(listed.offset, image.offset);
    EXPECT_EQ(listed.size, image.size);
  }
}

TEST(IconFileTest, DepthComesFromTheImageNotTheDirectory) {
  // The directory says 32 bits for every image; the 8-bit image must not win on that.
  const Bytes file = Ico({{32, 32, Dib(32, 32, 8)}, {32, 32, Dib(32, 32, 24)}});
  CIconFile icon;
  ASSERT_TRUE(icon.Parse(file.data(), file.size()));
  IconImage image;
  ASSERT_TRUE(icon.ChooseImage(32, 32, &image));
  EXPECT_EQ(1, image.index);
  EXPECT_EQ(24, image.depth);
}

// ---- Hostile files: each its own case. None may make the parser read outside the file.

struct Hostile {
  const char* name;
  Bytes file;
};

Bytes WithEntry32(Bytes file, size_t entry, size_t field, uint32_t value) {
  Put32(&file, 6 + 16 * entry + field, value);
  return file;
}

Bytes WithHeader16(Bytes file, size_t at, uint32_t value) {
  Put16(&file, at, value);
  return file;
}

Bytes Truncated(Bytes file, size_t size) {
  file.resize(size);
  return file;
}

std::vector<Hostile> HostileFiles() {
  const Bytes one = Ico({{32, 32, Dib(32, 32, 32)}});
  Bytes dib_too_tall = Dib(32, 32, 32);
  Put32(&dib_too_tall, 8, 2 * 33);  // claims one row more than it has
  Bytes dib_header_past_image = Dib(16, 16, 32);
  Put32(&dib_header_past_image, 0, 0x10000);
  Bytes dib_huge = Dib(16, 16, 32);
  Put32(&dib_huge, 4, 0x7FFFFFFF);
  Bytes dib_negative = Dib(16, 16, 32);
  Put32(&dib_negative, 8, static_cast<uint32_t>(-32));
  Bytes dib_bad_bits = Dib(16, 16, 32);
  Put16(&dib_bad_bits, 14, 7);
  Bytes dib_compressed = Dib(16, 16, 8);
  Put32(&dib_compressed, 16, 1);  // run-length: not an icon image
  Bytes short_png = Png();
  short_png.resize(20);
  // Deep images whose colour count asks for a palette the image does not hold: the system reads
  // the palette before the bits, so the bits and mask would end past the image.
  const auto deep_without_palette = [](uint32_t bits, uint32_t colors_used) {
    Bytes dib = Dib(16, 16, bits);
    Put32(&dib, 32, colors_used);
    return dib;
  };
  // Bit fields after a header between the plain one and one that holds the masks: the masks are
  // still read after the plain header's 40 bytes, past this header's end.
  Bytes dib_masks_past_short_header = Dib(16, 16, 32);
  dib_masks_past_short_header.insert(dib_masks_past_short_header.begin() + 40, 4, 0);
  Put32(&dib_masks_past_short_header, 0, 44);
  Put32(&dib_masks_past_short_header, 16, 3);
  return {
      {"Empty", {}},
      {"ShortHeader", Truncated(one, 5)},
      {"ReservedNotZero", WithHeader16(one, 0, 1)},
      {"CursorFile", WithHeader16(one, 2, 2)},
      {"ZeroEntries", WithHeader16(Truncated(one, 6), 4, 0)},
      {"CountLargerThanFile", WithHeader16(one, 4, 0xFFFF)},
      {"DirectoryCutShort", Truncated(one, 6 + 15)},
      {"ImageCutShort", Truncated(one, one.size() - 1)},
      {"OffsetPastEnd", WithEntry32(one, 0, kEntryOffset, static_cast<uint32_t>(one.size() + 1))},
      {"OffsetAtEnd", WithEntry32(one, 0, kEntryOffset, static_cast<uint32_t>(one.size()))},
      {"SizePastEnd", WithEntry32(one, 0, kEntryBytes, static_cast<uint32_t>(one.size()))},
      {"OffsetPlusSizeOverflows",
       WithEntry32(WithEntry32(one, 0, kEntryOffset, 0xFFFFFFF0u), 0, kEntryBytes, 0x20)},
      {"HugeSize", WithEntry32(one, 0, kEntryBytes, 0xFFFFFFFFu)},
      {"ZeroSize", WithEntry32(one, 0, kEntryBytes, 0)},
      {"OffsetInsideDirectory", WithEntry32(one, 0, kEntryOffset, 6)},
      {"DibRowsPastImage", Ico({{32, 32, dib_too_tall}})},
      {"DibHeaderPastImage", Ico({{16, 16, dib_header_past_image}})},
      {"DibHugeWidth", Ico({{16, 16, dib_huge}})},
      {"DibNegativeHeight", Ico({{16, 16, dib_negative}})},
      {"DibBadBitCount", Ico({{16, 16, dib_bad_bits}})},
      {"DibCompressed", Ico({{16, 16, dib_compressed}})},
      {"DibPaletteLargerThanItsBits", Ico({{16, 16, Dib(16, 16, 4, 17)}})},
      {"PngCutShort", Ico({{0, 0, short_png}})},
      {"Dib16ColorsUsedPastImage", Ico({{16, 16, deep_without_palette(16, 1)}})},
      {"Dib24ColorsUsedPastImage", Ico({{16, 16, deep_without_palette(24, 16)}})},
      {"Dib32ColorsUsedPastImage", Ico({{16, 16, deep_without_palette(32, 256)}})},
      {"Dib32ColorsUsedHuge", Ico({{16, 16, deep_without_palette(32, 0xFFFFFFFFu)}})},
      {"DibBitFieldsMasksPastShortHeader", Ico({{16, 16, dib_masks_past_short_header}})},
  };
}

class HostileIconTest : public ::testing::TestWithParam<Hostile> {};

TEST_P(HostileIconTest, IsRefused) {
  // A copy of exactly the file's size, so AddressSanitizer sees any read past it.
  const Bytes& bytes = GetParam().file;
  std::unique_ptr<uint8_t[]> file(new uint8_t[bytes.size() ? bytes.size() : 1]);
  std::copy(bytes.begin(), bytes.end(), file.get());
  CIconFile icon;
  EXPECT_FALSE(icon.Parse(file.get(), bytes.size()));
  EXPECT_TRUE(icon.GetImages().empty());
  IconImage image;
  EXPECT_FALSE(icon.ChooseImage(32, 32, &image));
}

INSTANTIATE_TEST_SUITE_P(Files, HostileIconTest, ::testing::ValuesIn(HostileFiles()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IconFileTest, BadEntryIsLeftOutAndTheOthersStillServe) {
  Bytes file = Ico({{32, 32, Dib(32, 32, 32)}, {16, 16, Dib(16, 16, 8)}});
  Put32(&file, 6 + kEntryOffset, 0xFFFFFFF0u);  // the 32x32 image points far past the end
  CIconFile icon;
  ASSERT_TRUE(icon.Parse(file.data(), file.size()));
  EXPECT_EQ(1, icon.GetRejectedCount());
  IconImage image;
  ASSERT_TRUE(icon.ChooseImage(32, 32, &image));
  EXPECT_EQ(1, image.index);
  EXPECT_EQ(16, image.width);
}

TEST(IconFileTest, EveryCutOfAGoodFileStaysInsideIt) {
  const Bytes whole = Ico({{16, 16, Dib(16, 16, 8)}, {32, 32, Dib(32, 32, 32)}, {0, 0, Png()}});
  for (size_t size = 0; size <= whole.size(); ++size) {
    std::unique_ptr<uint8_t[]> file(new uint8_t[size ? size : 1]);
    std::copy(whole.begin(), whole.begin() + size, file.get());
    CIconFile icon;
    if (!icon.Parse(file.get(), size)) continue;
    for (const IconImage& image : icon.GetImages()) {
      EXPECT_LE(uint64_t{image.offset} + image.size, size);
      EXPECT_GT(image.depth, 0);
    }
  }
  CIconFile icon;
  ASSERT_TRUE(icon.Parse(whole.data(), whole.size()));
  EXPECT_EQ(3u, icon.GetImages().size());
}

TEST(IconFileTest, NullData) {
  CIconFile icon;
  EXPECT_FALSE(icon.Parse(nullptr, 100));
  EXPECT_EQ(0, IconImageDepth(nullptr, 100));
}

TEST(IconFileTest, ImageChecks) {
  const Bytes dib = Dib(16, 16, 4);
  EXPECT_EQ(4, IconImageDepth(dib.data(), dib.size()));
  EXPECT_EQ(0, IconImageDepth(dib.data(), dib.size() - 1));  // the AND mask's last byte missing
  const Bytes few_colors = Dib(16, 16, 8, 3);
  EXPECT_EQ(8, IconImageDepth(few_colors.data(), few_colors.size()));
  Bytes fields = Dib(16, 16, 32);
  Put32(&fields, 16, 3);  // bit fields: three masks after the header
  EXPECT_EQ(0, IconImageDepth(fields.data(), fields.size()));
  fields.resize(fields.size() + 12);
  EXPECT_EQ(32, IconImageDepth(fields.data(), fields.size()));
  const Bytes png = Png();
  EXPECT_EQ(32, IconImageDepth(png.data(), png.size()));
}

TEST(IconFileTest, DeepImagesMayCarryAPaletteThatCounts) {
  // Above 8 bits a colour count is legal and its palette sits between the header and the bits.
  for (const uint32_t bits : {16u, 24u, 32u}) {
    const Bytes dib = Dib(16, 16, bits, 5);
    EXPECT_EQ(static_cast<int32_t>(bits), IconImageDepth(dib.data(), dib.size())) << bits;
    EXPECT_EQ(0, IconImageDepth(dib.data(), dib.size() - 1)) << bits;
  }
  // Bit fields and a palette: masks first, then the colours, and both count.
  Bytes fields = Dib(16, 16, 32, 2);
  Put32(&fields, 16, 3);
  fields.resize(fields.size() + 12);
  EXPECT_EQ(32, IconImageDepth(fields.data(), fields.size()));
  EXPECT_EQ(0, IconImageDepth(fields.data(), fields.size() - 1));
}

TEST(IconFileTest, ThePlayersOwnIcon) {
  std::ifstream in(std::string(VEXA_TEST_DATA) + "/../../src/app/vexa.ico", std::ios::binary);
  ASSERT_TRUE(in) << "src/app/vexa.ico is missing";
  const Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  CIconFile icon;
  ASSERT_TRUE(icon.Parse(file.data(), file.size()));
  EXPECT_EQ(0, icon.GetRejectedCount());
  IconImage image;
  ASSERT_TRUE(icon.ChooseImage(32, 32, &image));
  EXPECT_EQ(32, image.width);
  ASSERT_TRUE(icon.ChooseImage(16, 16, &image));
  EXPECT_EQ(16, image.width);
}

}  // namespace
