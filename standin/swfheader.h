// Reads what can be read of a Flash movie's header: signature, version, stage size, frame rate and
// frame count. The stand-in cannot play such a movie; it shows these facts instead.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::standin {

struct SwfHeader {
  enum class Compression { kNone, kZlib, kLzma };
  Compression compression = Compression::kNone;
  std::string signature;  // "FWS", "CWS" or "ZWS"
  uint8_t version = 0;
  bool has_length = false;
  uint32_t file_length = 0;  // uncompressed length as stored in the header
  bool has_lzma_length = false;
  uint32_t lzma_length = 0;  // ZWS: length of the compressed data
  bool has_rect = false;
  int32_t xmin = 0, xmax = 0, ymin = 0, ymax = 0;  // in twips (1/20 pixel)
  bool has_rate = false;
  uint16_t rate_8_8 = 0;  // frames per second, 8.8 fixed point
  bool has_frame_count = false;
  uint16_t frame_count = 0;

  int32_t width_px() const { return (xmax - xmin) / 20; }
  int32_t height_px() const { return (ymax - ymin) / 20; }
  std::string RateText() const;  // "24", "29.97"
};

// True when the data begins with one of the three signatures.
bool HasSwfSignature(const uint8_t* data, size_t size);

// Fills `out` with every field the bytes allow (the has_* flags tell which). Zlib-compressed movies
// are inflated only as far as the header needs; LZMA-compressed ones show signature, version and
// lengths. Returns false when the data does not begin with a signature and version byte.
bool ReadSwfHeader(const uint8_t* data, size_t size, SwfHeader* out);

// Lines describing the header for display ("SWF movie (CWS, zlib)", "version 10", ...).
std::vector<std::string> DescribeSwf(const SwfHeader& header);

}  // namespace vexa::standin
