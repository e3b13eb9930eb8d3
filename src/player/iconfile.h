// Icon files (.ico) as the ICON setting hands them over: the file's own directory is read, and
// the image that suits a wanted size best is picked, so the frame can make an icon from that
// image's bytes (CreateIconFromResourceEx with the offset and size given here).
//
// Layout (little-endian): ICONDIR { reserved 0 (2 bytes), type 1 (2), count (2) }, then `count`
// entries of 16 bytes { width (1, 0 = 256), height (1, 0 = 256), colours (1), reserved (1),
// planes (2), bit count (2), bytes in resource (4), image offset (4) }. Each image is a PNG stream
// or a DIB: BITMAPINFOHEADER (or a larger header), palette, colour bits, then the AND mask.
//
// The file is untrusted input. Nothing read from it is believed without a check against the
// file's size: the directory must fit, every image must lie inside the file after the directory,
// and a DIB's header, bit fields, palette and bits must fit inside its image's bytes, sized as the
// system sizes them (it reads that far): the palette has the colour count's entries at every depth,
// 16, 24 and 32 bits included. Images that fail are left out; a file with none left fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa::player {

// One usable image of an icon file.
struct IconImage {
  int32_t width = 0;  // 1..256 (a 0 in the directory means 256)
  int32_t height = 0;
  // Colour depth in bits per pixel, from the image itself (32 for PNG images).
  int32_t depth = 0;
  // Where the image's bytes are: offset from the start of the file and length; both inside it.
  uint32_t offset = 0;
  uint32_t size = 0;
  // Position in the file's directory.
  int32_t index = 0;
};

class CIconFile {
 public:
  static constexpr size_t kHeaderSize = 6;
  static constexpr size_t kEntrySize = 16;

  // Reads the directory of the `size` bytes at `data` (only borrowed for the call). False, with no
  // images, for a null or short file, a reserved field other than 0, a type other than 1 (a
  // cursor file or anything else), no entries, a directory running past the end of the file, or
  // no entry passing the checks above.
  bool Parse(const uint8_t* data, size_t size);

  // The usable images, in directory order.
  const std::vector<IconImage>& GetImages() const { return images_; }
  // Directory entries that were left out by the last Parse.
  int32_t GetRejectedCount() const { return rejected_; }

  // The image that suits `width` x `height` best: an image of exactly that size first, else the
  // nearest larger one (larger in both directions), else the nearest other one; among images
  // equally near, the most colours, then the first. Non-positive sizes count as 32. False when
  // there is no image.
  bool ChooseImage(int32_t width, int32_t height, IconImage* image) const;

 private:
  std::vector<IconImage> images_;
  int32_t rejected_ = 0;
};

// The colour depth of an icon image in `size` bytes at `data`, when the image is whole: a PNG
// stream (32), or a DIB whose header, bit fields, palette (the colour count's entries, or the
// full table up to 8 bits when the count is 0), colour bits and AND mask all fit in `size`. 0 for
// anything else.
int32_t IconImageDepth(const uint8_t* data, size_t size);

}  // namespace vexa::player
