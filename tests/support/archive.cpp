#include "support/archive.h"

#include <gtest/gtest.h>

namespace vexa::testing {

Bytes Pack(const std::vector<PackEntry>& entries, const char* password, uint8_t mode) {
  CArchiver archiver;
  // An empty container still needs a directory of capacity one.
  if (!archiver.Reset(static_cast<int32_t>(entries.empty() ? 1 : entries.size())) ||
      !archiver.SetMode(mode)) {
    ADD_FAILURE() << "archiver refused the set-up";
    return Bytes();
  }
  for (const PackEntry& e : entries) {
    if (archiver.AddEntry(static_cast<uint32_t>(e.content.size()), e.name.c_str(), e.content.data(),
                          e.password ? e.password : password) < 0) {
      ADD_FAILURE() << "archiver refused entry " << e.name;
      return Bytes();
    }
  }
  CSmartBuffer out;
  if (archiver.Build(&out) != S_OK) {
    ADD_FAILURE() << "archiver refused to build";
    return Bytes();
  }
  return ToBytes(out);
}

std::string PackageBytes(const PackageEntries& entries) {
  std::vector<PackEntry> packed;
  for (const auto& entry : entries) packed.push_back({entry.first, ToBytes(entry.second)});
  return ToText(Pack(packed, kPackageDefaultPassword));
}

}  // namespace vexa::testing
