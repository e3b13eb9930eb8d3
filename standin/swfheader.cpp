#include "standin/swfheader.h"

#include <zlib.h>

#include <cstdio>
#include <cstring>

namespace vexa::standin {

namespace {

uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

class CBitReader {
 public:
  CBitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // Reads `count` (<= 32) bits, most significant first. False when the data ends first.
  bool Unsigned(int count, uint32_t* out) {
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
      const size_t byte = bit_ / 8;
      if (byte >= size_) return false;
      const int shift = 7 - static_cast<int>(bit_ % 8);
      value = (value << 1) | ((data_[byte] >> shift) & 1u);
      ++bit_;
    }
    *out = value;
    return true;
  }

  bool Signed(int count, int32_t* out) {
    uint32_t raw = 0;
    if (!Unsigned(count, &raw)) return false;
    int64_t value = raw;
    if (count > 0 && (raw >> (count - 1)) & 1u) value -= int64_t{1} << count;
    *out = static_cast<int32_t>(value);
    return true;
  }

  size_t BytesUsed() const { return (bit_ + 7) / 8; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t bit_ = 0;
};

// The stage rectangle is at most 17 bytes (5 + 4 * 31 bits), then rate and count take 4.
constexpr size_t kHeaderBodyBytes = 21;

// Inflates the start of a zlib stream; returns how many bytes came out (possibly fewer than wanted
// when the data is short or broken).
size_t InflatePrefix(const uint8_t* data, size_t size, uint8_t* out, size_t wanted) {
  z_stream stream;
  std::memset(&stream, 0, sizeof stream);
  if (inflateInit(&stream) != Z_OK) return 0;
  stream.next_in = const_cast<Bytef*>(data);
  stream.avail_in = static_cast<uInt>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(wanted);
  while (stream.avail_out > 0) {
    const int result = inflate(&stream, Z_SYNC_FLUSH);
    if (result != Z_OK) break;  // end of stream, error, or no progress possible
  }
  const size_t produced = wanted - stream.avail_out;
  inflateEnd(&stream);
  return produced;
}

void ReadBody(const uint8_t* body, size_t size, SwfHeader* out) {
  CBitReader bits(body, size);
  uint32_t nbits = 0;
  if (!bits.Unsigned(5, &nbits)) return;
  const int n = static_cast<int>(nbits);
  int32_t values[4];
  for (int32_t& value : values) {
    if (!bits.Signed(n, &value)) return;
  }
  out->has_rect = true;
  out->xmin = values[0];
  out->xmax = values[1];
  out->ymin = values[2];
  out->ymax = values[3];
  const size_t at = bits.BytesUsed();
  if (at + 2 > size) return;
  out->has_rate = true;
  out->rate_8_8 = static_cast<uint16_t>(body[at] | (body[at + 1] << 8));
  if (at + 4 > size) return;
  out->has_frame_count = true;
  out->frame_count = static_cast<uint16_t>(body[at + 2] | (body[at + 3] << 8));
}

}  // namespace

std::string SwfHeader::RateText() const {
  const unsigned whole = rate_8_8 >> 8;
  const unsigned hundredths = ((rate_8_8 & 0xFFu) * 100u + 128u) / 256u;
  char buffer[32];
  if (hundredths == 0) {
    std::snprintf(buffer, sizeof buffer, "%u", whole);
  } else if (hundredths >= 100) {
    std::snprintf(buffer, sizeof buffer, "%u", whole + 1);
  } else if (hundredths % 10 == 0) {
    std::snprintf(buffer, sizeof buffer, "%u.%u", whole, hundredths / 10);
  } else {
    std::snprintf(buffer, sizeof buffer, "%u.%02u", whole, hundredths);
  }
  return buffer;
}

bool HasSwfSignature(const uint8_t* data, size_t size) {
  if (size < 3 || data[1] != 'W' || data[2] != 'S') return false;
  return data[0] == 'F' || data[0] == 'C' || data[0] == 'Z';
}

bool ReadSwfHeader(const uint8_t* data, size_t size, SwfHeader* out) {
  if (!HasSwfSignature(data, size) || size < 4) return false;
  SwfHeader header;
  header.signature.assign(reinterpret_cast<const char*>(data), 3);
  header.version = data[3];
  header.compression = data[0] == 'F'   ? SwfHeader::Compression::kNone
                       : data[0] == 'C' ? SwfHeader::Compression::kZlib
                                        : SwfHeader::Compression::kLzma;
  if (size >= 8) {
    header.has_length = true;
    header.file_length = ReadLe32(data + 4);
  }
  if (size > 8) {
    switch (header.compression) {
      case SwfHeader::Compression::kNone:
        ReadBody(data + 8, size - 8, &header);
        break;
      case SwfHeader::Compression::kZlib: {
        uint8_t body[kHeaderBodyBytes];
        const size_t got = InflatePrefix(data + 8, size - 8, body, sizeof body);
        ReadBody(body, got, &header);
        break;
      }
      case SwfHeader::Compression::kLzma:
        if (size >= 12) {
          header.has_lzma_length = true;
          header.lzma_length = ReadLe32(data + 8);
        }
        break;
    }
  }
  *out = std::move(header);
  return true;
}

std::vector<std::string> DescribeSwf(const SwfHeader& header) {
  std::vector<std::string> lines;
  const char* compression = header.compression == SwfHeader::Compression::kNone   ? "uncompressed"
                            : header.compression == SwfHeader::Compression::kZlib ? "zlib"
                                                                                  : "LZMA";
  lines.push_back("SWF movie (" + header.signature + ", " + compression + ")");
  lines.push_back("version " + std::to_string(header.version));
  if (header.has_length) lines.push_back("length " + std::to_string(header.file_length) + " bytes");
  if (header.has_rect) {
    lines.push_back("stage " + std::to_string(header.width_px()) + " x " +
                    std::to_string(header.height_px()));
  } else if (header.compression == SwfHeader::Compression::kLzma) {
    lines.push_back("stage size unknown (LZMA)");
  } else {
    lines.push_back("stage size unreadable");
  }
  if (header.has_rate) lines.push_back("frame rate " + header.RateText());
  if (header.has_frame_count) lines.push_back("frames " + std::to_string(header.frame_count));
  lines.push_back("(this player cannot play SWF movies)");
  return lines;
}

}  // namespace vexa::standin
