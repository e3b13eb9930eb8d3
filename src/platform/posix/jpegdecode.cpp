#include "platform/jpegdecode.h"

namespace vexa::platform {

JpegDecodeStatus DecodeJpegToBgr(const uint8_t* data, size_t size, uint64_t max_pixels,
                                 BgrImage* image) {
  (void)data;
  (void)size;
  (void)max_pixels;
  if (image) *image = BgrImage();
  return JpegDecodeStatus::kUnavailable;
}

}  // namespace vexa::platform
