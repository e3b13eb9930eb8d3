// Helpers shared by the PE library's sources (not part of its interface): little-endian access,
// UTF-8/UTF-16 conversion, and what Parse learnt about an image's layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pe.h"

namespace vexa::pe::internal {

// Little-endian loads and stores. Callers have checked the bounds.
inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
inline void Store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void Append16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
inline void Append32(std::vector<uint8_t>* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// True when [offset, offset + length) lies inside `size` bytes (no wrap-around).
inline bool InRange(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

inline uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

// Invalid UTF-8 (stray continuation bytes, overlong forms, surrogates, values past U+10FFFF, a
// sequence cut short) becomes U+FFFD, one per offending sequence.
std::u16string Utf8ToUtf16(const std::string& text);
// An unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(const std::u16string& text);

// A printable rendering of a resource id or a UTF-16 text for error messages.
std::string Describe(const ResourceId& id);

struct Section {
  std::string name;  // for messages; "/4"-style long names resolved through the string table
  uint32_t header_offset = 0;  // of its 40-byte header in the file
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
  // The size the loader maps: VirtualSize, or SizeOfRawData when VirtualSize is 0.
  uint32_t memory_size() const { return virtual_size != 0 ? virtual_size : raw_size; }
  // The bytes the file supplies to memory: min(SizeOfRawData, mapped size).
  uint32_t file_backed_size() const { return raw_size < memory_size() ? raw_size : memory_size(); }
};

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

inline constexpr uint32_t kScnCntInitializedData = 0x00000040;
inline constexpr uint32_t kScnMemDiscardable = 0x02000000;
inline constexpr uint32_t kScnMemRead = 0x40000000;
inline constexpr uint16_t kFileDll = 0x2000;

inline constexpr size_t kDirExport = 0;
inline constexpr size_t kDirResource = 2;
inline constexpr size_t kDirSecurity = 4;
inline constexpr size_t kDirBaseReloc = 5;
inline constexpr size_t kDirDebug = 6;
inline constexpr size_t kDirBoundImport = 11;

// What Parse found. Offsets are file offsets.
struct ImageInfo {
  Machine machine = Machine::kUnknown;
  bool pe32_plus = false;
  uint32_t pe_offset = 0;        // e_lfanew
  uint32_t coff_offset = 0;      // IMAGE_FILE_HEADER
  uint32_t optional_offset = 0;  // IMAGE_OPTIONAL_HEADER32/64
  uint32_t section_table_offset = 0;
  uint16_t characteristics = 0;
  uint32_t section_alignment = 0;
  uint32_t file_alignment = 0;
  uint32_t size_of_image = 0;
  uint32_t size_of_headers = 0;
  uint32_t entry_point = 0;
  uint32_t data_directory_offset = 0;
  uint32_t data_directory_count = 0;  // NumberOfRvaAndSizes, capped at 16
  std::vector<DataDirectory> directories;
  std::vector<Section> sections;  // in section table order (ascending addresses, checked)
  uint32_t symbol_table_pointer = 0;
  uint32_t symbol_count = 0;
  // [symbol_table_pointer, + symbol_region_size): symbols and string table, when they are whole.
  bool symbols_valid = true;
  uint64_t symbol_region_size = 0;

  uint32_t checksum_offset() const { return optional_offset + 64; }
  uint32_t size_of_initialized_data_offset() const { return optional_offset + 8; }
  uint32_t size_of_image_offset() const { return optional_offset + 56; }
  DataDirectory Directory(size_t index) const {
    return index < directories.size() ? directories[index] : DataDirectory{};
  }
  // The section whose mapped range [VirtualAddress, + mapped size) holds `rva`, or -1.
  int SectionOfRva(uint64_t rva) const;
  // The file offset of [rva, rva + length) when it lies wholly in one section's file-backed
  // bytes; false otherwise.
  bool RvaToOffset(uint64_t rva, uint64_t length, uint64_t* offset) const;
};

// Reads the resource tree of a parsed image (resources.cpp).
bool DecodeResources(const ImageInfo& info, const std::vector<uint8_t>& bytes, ResourceTree* tree,
                     std::string* error);
// The bytes of a resource section holding `tree` whose first byte lands at `section_rva`.
bool EncodeResources(const ResourceTree& tree, uint32_t section_rva, std::vector<uint8_t>* out,
                     std::string* error);

}  // namespace vexa::pe::internal

namespace vexa::pe {
struct PeImage::Layout : internal::ImageInfo {};
}  // namespace vexa::pe
