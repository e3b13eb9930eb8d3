// Helpers shared by the package tests: building containers by hand (the archiver-built ones come
// from tests/support).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/package.h"
#include "storage/archiver.h"
#include "support/archive.h"
#include "support/bytes.h"

namespace package_test {

using vexa::testing::Bytes;
using vexa::testing::Pack;
using vexa::testing::RandomBytes;
using vexa::testing::ToBytes;
// An entry of a container built by Pack (the password is Pack's).
using File = vexa::testing::PackEntry;

// Parses a copy of `file` (the archive owns the copy).
inline bool ParseBytes(CPackageArchive* archive, const Bytes& file) {
  auto* buffer = new CSmartBuffer;
  buffer->Assign(file.data(), static_cast<int32_t>(file.size()));
  return archive->Parse(buffer, buffer->Size());
}

inline void PutU16(Bytes* b, uint32_t v) {
  b->push_back(static_cast<uint8_t>(v));
  b->push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutU32(Bytes* b, uint32_t v) {
  for (int s = 0; s < 32; s += 8) b->push_back(static_cast<uint8_t>(v >> s));
}

struct Record {
  std::string name;
  uint32_t stored;
  uint32_t unpacked;
};

inline Bytes Directory(const std::vector<Record>& records, uint32_t count) {
  Bytes d{1};
  PutU16(&d, count);
  for (const Record& r : records) {
    d.push_back(static_cast<uint8_t>(r.name.size()));
    d.insert(d.end(), r.name.begin(), r.name.end());
    PutU32(&d, r.stored);
    PutU32(&d, r.unpacked);
  }
  return d;
}

// A container assembled by hand: header with the given mode and directory block, then `data`.
inline Bytes Assemble(uint8_t mode, const Bytes& directory_block, const Bytes& data) {
  Bytes f{0xCF, mode};
  PutU16(&f, static_cast<uint32_t>(directory_block.size()));
  f.insert(f.end(), directory_block.begin(), directory_block.end());
  f.insert(f.end(), data.begin(), data.end());
  return f;
}

inline Bytes Compressed(const Bytes& plain) {
  CSmartBuffer out;
  DeflateGrowing(plain.data(), static_cast<uint32_t>(plain.size()), nullptr, &out);
  return ToBytes(out);
}

}  // namespace package_test
