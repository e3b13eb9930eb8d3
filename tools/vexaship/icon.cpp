// Icon files and icon groups: reading an .ico and turning its images into RT_ICON leaves listed by
// an RT_GROUP_ICON directory.
#include "pe.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pe_internal.h"

namespace vexa::pe {

using internal::Append16;
using internal::Append32;
using internal::InRange;
using internal::Load16;
using internal::Load32;

namespace {

constexpr size_t kIconDirSize = 6;
constexpr size_t kIconEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitFields = 3;

bool Fail(const std::string& message, std::string* error) {
  if (error) *error = message;
  return false;
}

uint32_t LoadBig32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint64_t RowBytes(uint64_t width, uint64_t bits) {
  return (width * bits + 31) / 32 * 4;
}

// Checks one image and fills the fields the group directory needs from the image itself (the
// .ico directory's planes and bit count are often 0).
bool CheckImage(const uint8_t* entry, const uint8_t* data, uint32_t size, IconImage* image,
                std::string* error) {
  const uint32_t want_width = entry[0] != 0 ? entry[0] : 256;
  const uint32_t want_height = entry[1] != 0 ? entry[1] : 256;
  image->width = entry[0];
  image->height = entry[1];
  image->planes = 1;
  if (size >= sizeof kPngSignature && std::equal(kPngSignature, kPngSignature + 8, data)) {
    // Signature, then IHDR: length 13, type, width, height, bit depth, colour type, ... CRC.
    if (size < 8 + 8 + 13 + 4 || LoadBig32(data + 8) != 13 ||
        !std::equal(data + 12, data + 16, reinterpret_cast<const uint8_t*>("IHDR"))) {
      return Fail("a PNG image without an IHDR chunk", error);
    }
    const uint32_t width = LoadBig32(data + 16);
    const uint32_t height = LoadBig32(data + 20);
    if (width != want_width || height != want_height) {
      return Fail("a PNG image of " + std::to_string(width) + "x" + std::to_string(height) +
                      " listed as " + std::to_string(want_width) + "x" +
                      std::to_string(want_height),
                  error);
    }
    const uint32_t depth = data[24];
    const uint32_t channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const uint32_t colour_type = data[25];
    if (colour_type > 6 || channels[colour_type] == 0 || depth == 0 || depth > 16) {
      return Fail("a PNG image with an invalid colour type or bit depth", error);
    }
    image->bit_count = static_cast<uint16_t>(std::min<uint32_t>(channels[colour_type] * depth, 32));
    image->color_count = 0;
    return true;
  }

  if (size < 40) return Fail("an image too short for a bitmap header", error);
  const uint32_t header_size = Load32(data);
  const int32_t width = static_cast<int32_t>(Load32(data + 4));
  const int32_t height = static_cast<int32_t>(Load32(data + 8));
  const uint16_t planes = Load16(data + 12);
  const uint16_t bits = Load16(data + 14);
  const uint32_t compression = Load32(data + 16);
  const uint32_t colors_used = Load32(data + 32);
  // BITMAPINFOHEADER and the later V2, V3, V4 and V5 headers.
  if (header_size != 40 && header_size != 52 && header_size != 56 && header_size != 108 &&
      header_size != 124) {
    return Fail("an image with an unknown bitmap header size (" + std::to_string(header_size) + ")",
                error);
  }
  if (width <= 0 || static_cast<uint32_t>(width) != want_width) {
    return Fail("a bitmap " + std::to_string(width) + " pixels wide listed as " +
                    std::to_string(want_width),
                error);
  }
  // The height covers the colour bits and the AND mask, one above the other.
  if (height <= 0 || static_cast<uint32_t>(height) != 2 * want_height) {
    return Fail("a bitmap height of " + std::to_string(height) + " for an icon " +
                    std::to_string(want_height) + " pixels high (it must be twice that)",
                error);
  }
  if (planes != 1) return Fail("a bitmap with " + std::to_string(planes) + " planes", error);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    return Fail("a bitmap with " + std::to_string(bits) + " bits per pixel", error);
  }
  uint64_t needed = header_size;
  if (compression == kBiBitFields) {
    if (bits != 16 && bits != 32) return Fail("colour masks on a bitmap without them", error);
    // Three colour masks follow a plain info header; the larger headers hold them.
    if (header_size == 40) needed += 12;
  } else if (compression != kBiRgb) {
    return Fail("a compressed bitmap", error);
  }
  uint64_t colors = 0;
  if (bits <= 8) {
    const uint64_t full = uint64_t{1} << bits;
    if (colors_used > full) {
      return Fail("a " + std::to_string(bits) + "-bit bitmap that claims " +
                      std::to_string(colors_used) + " colours",
                  error);
    }
    colors = colors_used != 0 ? colors_used : full;
  } else {
    // An optional palette on a true-colour bitmap is still read.
    if (colors_used > 256) {
      return Fail("a " + std::to_string(bits) + "-bit bitmap that claims " +
                      std::to_string(colors_used) + " colours",
                  error);
    }
    colors = colors_used;
  }
  needed += colors * 4;
  const uint64_t rows = want_height;
  needed += RowBytes(want_width, bits) * rows;  // XOR (colour) mask
  needed += RowBytes(want_width, 1) * rows;     // AND mask
  if (needed > size) {
    return Fail("a " + std::to_string(want_width) + "x" + std::to_string(want_height) + " " +
                    std::to_string(bits) + "-bit bitmap needs " + std::to_string(needed) +
                    " bytes but has " + std::to_string(size),
                error);
  }
  image->bit_count = bits;
  image->color_count = static_cast<uint8_t>(bits < 8 ? colors : 0);
  return true;
}

// The RT_ICON ids an RT_GROUP_ICON lists (as far as its bytes are whole).
std::vector<uint16_t> GroupIconIds(const std::vector<uint8_t>& group) {
  std::vector<uint16_t> ids;
  if (group.size() < kIconDirSize) return ids;
  const size_t count = Load16(group.data() + 4);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = kIconDirSize + i * kGroupEntrySize;
    if (!InRange(at, kGroupEntrySize, group.size())) break;
    ids.push_back(Load16(group.data() + at + 12));
  }
  return ids;
}

}  // namespace

bool ReadIcoFile(const std::vector<uint8_t>& bytes, std::vector<IconImage>* images,
                 std::string* error) {
  if (bytes.size() < kIconDirSize) return Fail("not an icon file: too short", error);
  if (Load16(bytes.data()) != 0) return Fail("not an icon file: bad reserved field", error);
  const uint16_t type = Load16(bytes.data() + 2);
  if (type == 2) return Fail("a cursor file, not an icon file", error);
  if (type != 1) return Fail("not an icon file: bad type", error);
  const size_t count = Load16(bytes.data() + 4);
  if (count == 0) return Fail("the icon file holds no image", error);
  const uint64_t directory_end = kIconDirSize + kIconEntrySize * count;
  if (directory_end > bytes.size()) {
    return Fail("the icon directory runs past the end of the file", error);
  }
  // First the places: every image inside the file and none sharing bytes with another (a small
  // file could otherwise expand into huge copies; no icon writer shares them).
  std::vector<std::pair<uint32_t, uint32_t>> ranges;  // offset, size
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = bytes.data() + kIconDirSize + kIconEntrySize * i;
    const uint32_t size = Load32(entry + 8);
    const uint32_t offset = Load32(entry + 12);
    const std::string which = "icon image " + std::to_string(i + 1) + ": ";
    if (size == 0) return Fail(which + "it is empty", error);
    if (offset < directory_end || !InRange(offset, size, bytes.size())) {
      return Fail(which + "it lies outside the file", error);
    }
    ranges.emplace_back(offset, size);
  }
  std::vector<std::pair<uint32_t, uint32_t>> sorted = ranges;
  std::sort(sorted.begin(), sorted.end());
  for (size_t i = 1; i < sorted.size(); ++i) {
    if (uint64_t{sorted[i - 1].first} + sorted[i - 1].second > sorted[i].first) {
      return Fail("icon images overlap in the file", error);
    }
  }
  std::vector<IconImage> result;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = bytes.data() + kIconDirSize + kIconEntrySize * i;
    const auto [offset, size] = ranges[i];
    IconImage image;
    std::string why;
    if (!CheckImage(entry, bytes.data() + offset, size, &image, &why)) {
      return Fail("icon image " + std::to_string(i + 1) + ": " + why, error);
    }
    image.bytes.assign(bytes.begin() + offset, bytes.begin() + offset + size);
    result.push_back(std::move(image));
  }
  images->swap(result);
  return true;
}

void SetIconGroup(ResourceTree* tree, const ResourceId& group, uint16_t language,
                  const std::vector<IconImage>& images) {
  const ResourceId group_type = ResourceId::Number(kRtGroupIcon);
  const ResourceId icon_type = ResourceId::Number(kRtIcon);
  // Icons listed by other groups stay, even if this group listed them as well.
  std::set<uint16_t> ours, others;
  for (const auto& [key, data] : tree->leaves()) {
    if (!(key[0] == group_type)) continue;
    std::set<uint16_t>& into = key[1] == group ? ours : others;
    for (uint16_t id : GroupIconIds(data.bytes)) into.insert(id);
  }
  for (uint16_t id : ours) {
    if (others.count(id) == 0) tree->Remove(icon_type, ResourceId::Number(id));
  }
  tree->Remove(group_type, group);
  if (images.empty()) return;

  std::set<uint16_t> taken = others;
  for (const ResourceId& name : tree->Names(icon_type)) {
    if (!name.is_name) taken.insert(name.number);
  }
  std::vector<uint8_t> directory;
  Append16(&directory, 0);
  Append16(&directory, 1);
  Append16(&directory, 0);  // count, set below
  uint16_t next = 1;
  uint16_t count = 0;
  for (const IconImage& image : images) {
    while (next != 0 && taken.count(next) != 0) ++next;
    if (next == 0) break;  // every id is in use: the group lists what fitted
    const uint16_t id = next++;
    tree->Set(icon_type, ResourceId::Number(id), language, image.bytes);
    directory.push_back(image.width);
    directory.push_back(image.height);
    directory.push_back(image.color_count);
    directory.push_back(0);
    Append16(&directory, image.planes);
    Append16(&directory, image.bit_count);
    Append32(&directory, static_cast<uint32_t>(image.bytes.size()));
    Append16(&directory, id);
    ++count;
  }
  internal::Store16(directory.data() + 4, count);
  tree->Set(group_type, group, language, std::move(directory));
}

}  // namespace vexa::pe
