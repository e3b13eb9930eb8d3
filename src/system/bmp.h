// The BMP writer: a decoded image as a standard uncompressed 24-bit Windows bitmap file.
//
// Layout written (all integers little-endian):
//   file header (14 bytes): "BM", file size (4), two reserved words 0 (2 + 2), pixel offset 54 (4);
//   info header (40 bytes): header size 40, width, height (positive: rows stored bottom-up),
//     planes 1, bits per pixel 24, compression 0 (BI_RGB), image size, horizontal and vertical
//     resolution 0, palette colours 0, important colours 0;
//   pixels: the rows from the bottom one to the top one, each row blue, green, red per pixel and
//     zero bytes up to a multiple of 4.
// Portable code: the wallpaper service writes its bitmaps with it on every OS.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/jpegdecode.h"

namespace vexa::system {

inline constexpr uint32_t kBmpHeadersSize = 14 + 40;

// The size in bytes of the BMP file of a `width` x `height` image, or 0 when no such file can be
// written: a side of 0, a side above INT32_MAX, or a file size the 32-bit size field cannot hold.
uint64_t BmpFileSize(uint32_t width, uint32_t height);

// Receives the file's bytes piece by piece, in order; returns false to stop the writing.
using BmpSink = std::function<bool(const uint8_t* data, size_t size)>;

// Writes `image` (platform/jpegdecode.h layout: top row first, rows `stride` bytes apart) as a BMP
// file to `sink`: the headers, then one piece per row. False, having written nothing, when
// BmpFileSize refuses the image or its pixel buffer is shorter than its rows need; false as soon as
// the sink returns false.
bool WriteBmp24(const vexa::platform::BgrImage& image, const BmpSink& sink);

// The whole file in memory (empty when WriteBmp24 refuses the image). For tests and small images.
std::vector<uint8_t> EncodeBmp24(const vexa::platform::BgrImage& image);

}  // namespace vexa::system
