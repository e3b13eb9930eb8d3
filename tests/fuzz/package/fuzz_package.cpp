// Fuzz target: parse arbitrary bytes as a package and read its entries with the game password,
// without a password, and by name. The bytes sit in a block of exactly their size, so any read
// past the end is caught by the sanitizers.
#include <cstddef>
#include <cstdint>

#include "data/package.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  auto* buffer = new CSmartBuffer;
  if (!buffer->Assign(data, static_cast<int32_t>(size))) {
    delete buffer;
    return 0;
  }
  CPackageArchive archive;
  if (!archive.Parse(buffer, buffer->Size())) return 0;
  // Entries beyond the first few only repeat the same code on other offsets.
  const int32_t count = archive.GetEntryCount() < 16 ? archive.GetEntryCount() : 16;
  for (int32_t i = 0; i < count; ++i) {
    CSmartBuffer out;
    archive.ReadEntryAt(i, kPackageDefaultPassword, &out);
    archive.ReadEntryAt(i, nullptr, &out);
  }
  if (archive.GetEntryCount() > 0) {
    CSmartBuffer out;
    archive.ReadEntryNamed(archive.GetEntry(archive.GetEntryCount() - 1)->name, "", &out);
  }
  CSmartBuffer out;
  archive.ReadEntryAt(archive.GetEntryCount(), nullptr, &out);
  return 0;
}
