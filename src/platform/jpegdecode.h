// Decoding JPEG images into 24-bit BGR pixels.
//
// Windows: the Windows Imaging Component, with its JPEG decoder named explicitly (data in any other
// format is refused, whatever a general decoder could make of it) and the frame converted to 24-bit
// BGR. POSIX builds carry no JPEG decoder: every call answers kUnavailable.
//
// Input is untrusted: the image's size is checked against the caller's pixel limit before any
// pixel memory is taken. Nothing here throws. Any thread; on Windows the calling thread's COM is
// initialised for the call when it was not already (and left as it was afterwards).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexa::platform {

// A decoded image: `height` rows of `width` pixels, top row first, each pixel 3 bytes in the order
// blue, green, red; rows start every `stride` bytes (width * 3 rounded up to a multiple of 4, the
// padding bytes are 0).
struct BgrImage {
  uint32_t width = 0;
  uint32_t height = 0;
  size_t stride = 0;
  std::vector<uint8_t> pixels;  // stride * height bytes
};

enum class JpegDecodeStatus {
  kOk,
  kInvalid,      // not a JPEG image, or damaged data
  kTooLarge,     // more pixels than allowed (nothing was decoded)
  kNoMemory,     // the pixels could not be allocated
  kUnavailable,  // no decoder on this system
};

// Decodes the JPEG image in `data` (`size` bytes) into `image`, allowing at most `max_pixels`
// pixels (width times height). On anything but kOk `image` is left empty (width and height 0).
JpegDecodeStatus DecodeJpegToBgr(const uint8_t* data, size_t size, uint64_t max_pixels,
                                 BgrImage* image);

}  // namespace vexa::platform
