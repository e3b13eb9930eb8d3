// Icon files (.ico) read for embedding, and icon groups replaced in a resource tree.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "pe.h"
#include "pe_builder.h"

namespace vexa::pe {
namespace {

using builder::Get16;
using builder::Get32;
using builder::Put16;
using builder::Put32;

struct Dib {
  int32_t width = 16;
  int32_t height = 16;  // of the icon; the header says twice this
  uint16_t bits = 4;
  uint32_t colors_used = 0;
  uint32_t header_size = 40;
  uint16_t planes = 1;
  uint32_t compression = 0;
  int32_t header_height = 0;  // 0: 2 * height
  int shortfall = 0;          // bytes cut off the end
};

size_t Row(int32_t width, int bits) {
  return static_cast<size_t>((width * bits + 31) / 32 * 4);
}

// A DIB with exactly the bytes Windows reads: header, palette, XOR mask, AND mask.
std::vector<uint8_t> MakeDib(const Dib& d) {
  size_t palette = 0;
  if (d.bits <= 8) palette = d.colors_used != 0 ? d.colors_used : (1u << d.bits);
  const size_t size = d.header_size + 4 * palette + Row(d.width, d.bits) * d.height +
                      Row(d.width, 1) * d.height - d.shortfall;
  std::vector<uint8_t> out(size, 0x5A);
  Put32(&out, 0, d.header_size);
  Put32(&out, 4, static_cast<uint32_t>(d.width));
  Put32(&out, 8, static_cast<uint32_t>(d.header_height != 0 ? d.header_height : 2 * d.height));
  Put16(&out, 12, d.planes);
  Put16(&out, 14, d.bits);
  Put32(&out, 16, d.compression);
  Put32(&out, 20, 0);
  Put32(&out, 32, d.colors_used);
  Put32(&out, 36, 0);
  return out;
}

std::vector<uint8_t> MakePng(uint32_t width, uint32_t height, bool ihdr = true) {
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const uint8_t chunk[] = {0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  out.insert(out.end(), chunk, chunk + 8);
  if (!ihdr) out[12] = 'X';
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
  }
  const uint8_t rest[] = {8, 6, 0, 0, 0,   0xDE, 0xAD, 0xBE, 0xEF,  // depth, RGBA, CRC
                          0, 0, 0, 0, 'I', 'E',  'N',  'D',  0xAE, 0x42, 0x60, 0x82};
  out.insert(out.end(), rest, rest + sizeof rest);
  return out;
}

struct Entry {
  uint8_t width, height;
  std::vector<uint8_t> image;
  uint32_t size_delta = 0;       // added to the listed size
  int64_t offset_override = -1;  // a listed offset instead of the real one
};

std::vector<uint8_t> MakeIco(const std::vector<Entry>& entries, uint16_t type = 1) {
  std::vector<uint8_t> out(6 + 16 * entries.size(), 0);
  Put16(&out, 2, type);
  Put16(&out, 4, static_cast<uint16_t>(entries.size()));
  for (size_t i = 0; i < entries.size(); ++i) {
    const size_t at = 6 + 16 * i;
    out[at] = entries[i].width;
    out[at + 1] = entries[i].height;
    Put16(&out, at + 4, 0);  // planes and bit count left 0, as many icon writers do
    Put32(&out, at + 8, static_cast<uint32_t>(entries[i].image.size()) + entries[i].size_delta);
    Put32(&out, at + 12,
          entries[i].offset_override >= 0 ? static_cast<uint32_t>(entries[i].offset_override)
                                          : static_cast<uint32_t>(out.size()));
    out.insert(out.end(), entries[i].image.begin(), entries[i].image.end());
  }
  return out;
}

TEST(IcoFile, ReadsGoodFilesAndTakesFieldsFromTheImages) {
  Dib four;
  Dib thirty_two;
  thirty_two.width = thirty_two.height = 32;
  thirty_two.bits = 32;
  Dib short_palette;  // 8 bits with only 16 colours stored
  short_palette.bits = 8;
  short_palette.colors_used = 16;
  Dib mono;
  mono.width = mono.height = 48;
  mono.bits = 1;
  Dib v5;
  v5.header_size = 124;
  v5.bits = 24;
  const std::vector<Entry> entries = {
      {16, 16, MakeDib(four)}, {32, 32, MakeDib(thirty_two)}, {16, 16, MakeDib(short_palette)},
      {48, 48, MakeDib(mono)}, {16, 16, MakeDib(v5)},         {0, 0, MakePng(256, 256)}};
  std::vector<IconImage> images;
  std::string error;
  ASSERT_TRUE(ReadIcoFile(MakeIco(entries), &images, &error)) << error;
  ASSERT_EQ(images.size(), entries.size());
  struct Want {
    uint8_t width, color_count;
    uint16_t bit_count;
  };
  const Want want[] = {{16, 16, 4}, {32, 0, 32}, {16, 0, 8}, {48, 2, 1}, {16, 0, 24}, {0, 0, 32}};
  for (size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(images[i].width, want[i].width);
    EXPECT_EQ(images[i].height, want[i].width);
    EXPECT_EQ(images[i].color_count, want[i].color_count);
    EXPECT_EQ(images[i].bit_count, want[i].bit_count);
    EXPECT_EQ(images[i].planes, 1);
    EXPECT_EQ(images[i].bytes, entries[i].image);
  }
}

TEST(IcoFile, RefusesDamagedFiles) {
  auto dib = [](auto edit) {
    Dib d;
    edit(&d);
    return MakeDib(d);
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  };
  std::vector<uint8_t> bad_reserved = MakeIco({{16, 16, MakeDib({})}});
  bad_reserved[0] = 1;
  std::vector<uint8_t> empty_directory = {0, 0, 1, 0, 0, 0};
  std::vector<uint8_t> directory_past_end = {0, 0, 1, 0, 9, 0, 16, 16};
  const std::vector<Case> cases = {
      {"TooShort", {0, 0, 1}, "too short"},
      {"BadReserved", bad_reserved, "reserved"},
      {"CursorFile", MakeIco({{16, 16, MakeDib({})}}, 2), "cursor"},
      {"NoImage", empty_directory, "no image"},
      {"DirectoryPastEnd", directory_past_end, "directory runs past"},
      {"ImagePastEnd", MakeIco({{16, 16, MakeDib({}), 1}}), "outside the file"},
      {"ImageInsideDirectory", MakeIco({{16, 16, MakeDib({}), 0, 2}}), "outside the file"},
      {"ImageOffsetWraps", MakeIco({{16, 16, MakeDib({}), 0, 0xFFFFFFF0}}), "outside the file"},
      {"EmptyImage", MakeIco({{16, 16, {}}}), "empty"},
      {"ShortDib", MakeIco({{16, 16, dib([](Dib* d) { d->shortfall = 4; })}}), "needs"},
      {"ShorterThanHeader", MakeIco({{16, 16, std::vector<uint8_t>(30, 0)}}), "too short"},
      {"ColourCountLying", MakeIco({{16, 16, dib([](Dib* d) { d->colors_used = 300; })}}),
       "claims 300 colours"},
      {"PaletteCountedButMissing",
       // An 8-bit header with 16 palette entries stored but biClrUsed 0: Windows reads 256.
       MakeIco({{16, 16,
                 [] {
                   Dib d;
                   d.bits = 8;
                   d.colors_used = 16;
                   std::vector<uint8_t> bytes = MakeDib(d);
                   Put32(&bytes, 32, 0);
                   return bytes;
                 }()}}),
       "needs"},
      {"ThirtyTwoBitWithoutAndMask", MakeIco({{32, 32, dib([](Dib* d) {
                                                 d->width = d->height = 32;
                                                 d->bits = 32;
                                                 d->shortfall = 4 * 32;
                                               })}}),
       "needs"},
      {"HeightNotDoubled", MakeIco({{16, 16, dib([](Dib* d) { d->header_height = 16; })}}),
       "twice"},
      {"WidthDisagrees", MakeIco({{32, 16, MakeDib({})}}), "wide"},
      {"TwoPlanes", MakeIco({{16, 16, dib([](Dib* d) { d->planes = 2; })}}), "planes"},
      {"SevenBits", MakeIco({{16, 16, dib([](Dib* d) { d->bits = 7; })}}), "bits per pixel"},
      {"Compressed", MakeIco({{16, 16, dib([](Dib* d) { d->compression = 2; })}}), "compressed"},
      {"OddHeaderSize", MakeIco({{16, 16, dib([](Dib* d) { d->header_size = 44; })}}),
       "header size"},
      {"PngWithoutIhdr", MakeIco({{0, 0, MakePng(256, 256, false)}}), "IHDR"},
      {"PngSizeDisagrees", MakeIco({{48, 48, MakePng(256, 256)}}), "listed as 48x48"},
      {"ImagesOverlap", MakeIco({{16, 16, MakeDib({})}, {16, 16, MakeDib({}), 0, 6 + 32}}),
       "overlap"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<IconImage> images(1);
    std::string error;
    EXPECT_FALSE(ReadIcoFile(c.file, &images, &error));
    EXPECT_NE(error.find(c.message), std::string::npos) << error;
    EXPECT_EQ(images.size(), 1u);  // untouched
  }
}

TEST(IcoFile, TruncatedFilesNeverReadPastTheEnd) {
  Dib big;
  big.width = big.height = 32;
  big.bits = 8;
  const std::vector<uint8_t> file =
      MakeIco({{32, 32, MakeDib(big)}, {0, 0, MakePng(256, 256)}, {16, 16, MakeDib({})}});
  for (size_t cut = 0; cut < file.size(); ++cut) {
    std::vector<IconImage> images;
    std::string error;
    EXPECT_FALSE(
        ReadIcoFile(std::vector<uint8_t>(file.begin(), file.begin() + cut), &images, &error))
        << cut;
  }
}

// --- Icon groups ---------------------------------------------------------------------------------

std::vector<uint8_t> GroupBytes(const std::vector<uint16_t>& ids) {
  std::vector<uint8_t> out(6 + 14 * ids.size(), 0);
  Put16(&out, 2, 1);
  Put16(&out, 4, static_cast<uint16_t>(ids.size()));
  for (size_t i = 0; i < ids.size(); ++i) {
    out[6 + 14 * i] = 16;
    out[6 + 14 * i + 1] = 16;
    Put16(&out, 6 + 14 * i + 4, 1);
    Put16(&out, 6 + 14 * i + 6, 4);
    Put32(&out, 6 + 14 * i + 8, 100);
    Put16(&out, 6 + 14 * i + 12, ids[i]);
  }
  return out;
}

TEST(IconGroup, ReplacesOneGroupAndKeepsTheOthersIcons) {
  const ResourceId icon = ResourceId::Number(kRtIcon);
  const ResourceId group_type = ResourceId::Number(kRtGroupIcon);
  const ResourceId main = ResourceId::Name("MAINICON");
  ResourceTree tree;
  for (uint16_t id = 1; id <= 5; ++id) {
    tree.Set(icon, ResourceId::Number(id), kLangEnUs,
             std::vector<uint8_t>(10, static_cast<uint8_t>(id)));
  }
  tree.Set(group_type, main, kLangEnUs, GroupBytes({1, 2, 3}));
  tree.Set(group_type, ResourceId::Number(2), kLangEnUs, GroupBytes({4, 5}));
  const std::vector<uint8_t> other_group = GroupBytes({4, 5});

  Dib small;
  Dib large;
  large.width = large.height = 32;
  large.bits = 32;
  std::vector<IconImage> images;
  std::string error;
  ASSERT_TRUE(
      ReadIcoFile(MakeIco({{16, 16, MakeDib(small)}, {32, 32, MakeDib(large)}}), &images, &error))
      << error;
  SetIconGroup(&tree, main, 0, images);

  // The other group and its icons are untouched.
  ASSERT_NE(tree.Find(group_type, ResourceId::Number(2)), nullptr);
  EXPECT_EQ(tree.Find(group_type, ResourceId::Number(2))->bytes, other_group);
  for (uint16_t id : {4, 5}) {
    ASSERT_NE(tree.Find(icon, ResourceId::Number(id)), nullptr);
    EXPECT_EQ(tree.Find(icon, ResourceId::Number(id))->bytes,
              std::vector<uint8_t>(10, static_cast<uint8_t>(id)));
  }
  // The old group's third icon is gone; the new images took free ids (1 and 2) in the new
  // language, and the old language's group leaf went with the old group.
  EXPECT_EQ(tree.Find(icon, ResourceId::Number(3)), nullptr);
  EXPECT_EQ(tree.leaves().count({group_type, main, ResourceId::Number(kLangEnUs)}), 0u);
  const ResourceData* group = tree.Find(group_type, main);
  ASSERT_NE(group, nullptr);
  const std::vector<uint8_t>& g = group->bytes;
  ASSERT_EQ(g.size(), 6u + 2 * 14);
  EXPECT_EQ(Get16(g, 0), 0);
  EXPECT_EQ(Get16(g, 2), 1);
  EXPECT_EQ(Get16(g, 4), 2);
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const size_t at = 6 + 14 * i;
    EXPECT_EQ(g[at], images[i].width);
    EXPECT_EQ(g[at + 1], images[i].height);
    EXPECT_EQ(g[at + 2], images[i].color_count);
    EXPECT_EQ(g[at + 3], 0);
    EXPECT_EQ(Get16(g, at + 4), 1);
    EXPECT_EQ(Get16(g, at + 6), images[i].bit_count);
    EXPECT_EQ(Get32(g, at + 8), images[i].bytes.size());
    const uint16_t id = Get16(g, at + 12);
    EXPECT_EQ(id, i + 1);
    ASSERT_EQ(tree.leaves().count({icon, ResourceId::Number(id), ResourceId::Number(0)}), 1u);
    EXPECT_EQ(tree.Find(icon, ResourceId::Number(id))->bytes, images[i].bytes);
  }
  EXPECT_EQ(Get16(g, 6 + 6), 4);
  EXPECT_EQ(Get16(g, 20 + 6), 32);
}

TEST(IconGroup, IconsSharedWithAnotherGroupStayAndNewIdsAvoidThem) {
  const ResourceId icon = ResourceId::Number(kRtIcon);
  const ResourceId group_type = ResourceId::Number(kRtGroupIcon);
  ResourceTree tree;
  for (uint16_t id = 1; id <= 3; ++id) tree.Set(icon, ResourceId::Number(id), 0, {1});
  tree.Set(group_type, ResourceId::Number(1), 0, GroupBytes({1, 2}));
  tree.Set(group_type, ResourceId::Number(2), 0, GroupBytes({2, 3}));
  std::vector<IconImage> images;
  std::string error;
  ASSERT_TRUE(ReadIcoFile(MakeIco({{16, 16, MakeDib({})}}), &images, &error)) << error;
  SetIconGroup(&tree, ResourceId::Number(1), 0, images);
  EXPECT_NE(tree.Find(icon, ResourceId::Number(2)), nullptr);  // group 2 still lists it
  EXPECT_NE(tree.Find(icon, ResourceId::Number(3)), nullptr);
  const ResourceData* group = tree.Find(group_type, ResourceId::Number(1));
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(Get16(group->bytes, 6 + 12), 1);  // 1 was freed; 2 and 3 are taken
  // An empty image list removes the group and the icons only it used.
  SetIconGroup(&tree, ResourceId::Number(1), 0, {});
  EXPECT_EQ(tree.Find(group_type, ResourceId::Number(1)), nullptr);
  EXPECT_EQ(tree.Find(icon, ResourceId::Number(1)), nullptr);
  EXPECT_NE(tree.Find(icon, ResourceId::Number(2)), nullptr);
}

}  // namespace
}  // namespace vexa::pe
