// The one container format of the system (game packages, add-ons, protected data files): its
// constants and the little-endian numbers it is made of, shared by the writer (CArchiver) and the
// reader (CPackageArchive) so the two can never disagree.
//
// Layout: magic byte, mode byte (stored or compressed directory), 16-bit directory length, the
// directory (marker byte 1, 16-bit entry count, then per entry a name length byte, the name, the
// 32-bit stored and unpacked lengths), then every entry's block in directory order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The password of `data.pak` and add-on packages.
inline constexpr char kPackageDefaultPassword[] = "vq51736";

namespace vexa::container {

inline constexpr uint8_t kMagic = 0xCF;
inline constexpr uint8_t kModeStored = 0;
inline constexpr uint8_t kModeCompressed = 1;
inline constexpr uint8_t kDirectoryMarker = 1;
inline constexpr size_t kMaxNameLength = 255;
inline constexpr int32_t kMaxEntries = 65535;
inline constexpr int32_t kMaxDirectoryLength = 65535;
// Readers refuse a directory block shorter than this.
inline constexpr int32_t kMinDirectoryLength = 10;

// Little-endian numbers at `p` (which must hold 2 or 4 bytes).
inline uint32_t LoadU16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}
inline void AppendU16(std::vector<uint8_t>* v, uint32_t value) {
  v->push_back(static_cast<uint8_t>(value));
  v->push_back(static_cast<uint8_t>(value >> 8));
}
inline void AppendU32(std::vector<uint8_t>* v, uint32_t value) {
  uint8_t bytes[4];
  StoreU32(bytes, value);
  v->insert(v->end(), bytes, bytes + 4);
}

}  // namespace vexa::container
