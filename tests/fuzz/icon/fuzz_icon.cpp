// Feeds arbitrary bytes to the icon file parser as the ICON setting would, and checks that every
// image it accepts lies inside the bytes and that the chosen image is one of them.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "player/iconfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vexa::player::CIconFile icon;
  if (!icon.Parse(data, size)) {
    if (!icon.GetImages().empty()) std::abort();
    return 0;
  }
  for (const vexa::player::IconImage& image : icon.GetImages()) {
    if (image.size == 0 || uint64_t{image.offset} + image.size > size) std::abort();
    // The image check reads the image alone; a copy of exactly its size shows any read past it.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[image.size]);
    for (uint32_t i = 0; i < image.size; ++i) copy[i] = data[image.offset + i];
    if (vexa::player::IconImageDepth(copy.get(), image.size) != image.depth) std::abort();
  }
  for (int32_t side : {16, 32, 48, 256}) {
    vexa::player::IconImage chosen;
    if (!icon.ChooseImage(side, side, &chosen)) std::abort();
    bool listed = false;
    for (const vexa::player::IconImage& image : icon.GetImages())
      listed = listed || (image.index == chosen.index && image.offset == chosen.offset &&
                          image.size == chosen.size);
    if (!listed) std::abort();
  }
  return 0;
}
