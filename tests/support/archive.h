// Containers built by the archiver on its own, for tests that read or check them through other
// code (packages, save sets, high-score and registry files).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "storage/archiver.h"
#include "support/bytes.h"

namespace vexa::testing {

struct PackEntry {
  std::string name;
  Bytes content;
  // Null: the `password` given to Pack.
  const char* password = nullptr;
};

// A container file of `entries` in directory order. `password` scrambles every entry that names
// none of its own (null: no scrambling). A refused entry or build fails the test and gives an
// empty result.
Bytes Pack(const std::vector<PackEntry>& entries, const char* password = nullptr,
           uint8_t mode = CArchiver::kModeCompressed);

// (entry name, content) pairs of a game package.
using PackageEntries = std::vector<std::pair<std::string, std::string>>;
// A game's data.pak: every entry with the default package password, compressed.
std::string PackageBytes(const PackageEntries& entries);

}  // namespace vexa::testing
