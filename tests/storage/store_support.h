// Helpers shared by the store tests (saves, high scores, virtual registry, data folders): temporary
// data folders, and set files built and read independently of the stores (straight from the
// archiver, the package reader and the primitive encodings). The generic pieces (bytes, files,
// containers, folders) come from tests/support.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "data/package.h"
#include "storage/archiver.h"
#include "storage/atomicfile.h"
#include "storage/primitives.h"
#include "storage/protectedfile.h"
#include "support/archive.h"
#include "support/bytes.h"
#include "support/files.h"
#include "support/folders.h"

namespace store_test {

using vexa::testing::Bytes;
using vexa::testing::FileExists;
using vexa::testing::FolderNames;
using vexa::testing::FsPath;
using vexa::testing::Pack;
using vexa::testing::PackEntry;
using vexa::testing::PathExists;
using vexa::testing::ReadBytes;
using vexa::testing::ToBytes;
using vexa::testing::WriteBytes;

// A temporary data folder named the way the stores name folders: native separators and no
// trailing one; `/` joins a name with '\\' as the stores do.
class CStoreFolder : public vexa::testing::CTempFolder {
 public:
  CStoreFolder() : CTempFolder("vexa-store-") {}
  std::string Path() const { return root().u8string(); }
  std::string operator/(const std::string& name) const { return Path() + "\\" + name; }
};

// True when `folder` holds a temporary file of the atomic writer.
inline bool HasTemporaryFiles(const std::string& folder) {
  for (const std::string& name : FolderNames(folder))
    if (vexa::storage::HasTemporaryMarker(name)) return true;
  return false;
}

struct SaveRecord {
  int32_t slot;
  std::string description;
  std::string data;
};

// The entry content of a save set, encoded by hand: count, then slot, description, data.
inline Bytes EncodeSet(const std::vector<SaveRecord>& saves, uint32_t count) {
  CMemoryStream stream;
  WriteCount(&stream, count);
  for (const SaveRecord& s : saves) {
    WriteInt32(&stream, s.slot);
    WriteString(&stream, CSmallStr(s.description));
    WriteString(&stream, CSmallStr(s.data));
  }
  return stream.Data();
}

inline Bytes EncodeSet(const std::vector<SaveRecord>& saves) {
  return EncodeSet(saves, static_cast<uint32_t>(saves.size()));
}

// A save set file as the player writes it: one entry named like the set.
inline Bytes SetFile(const std::string& entry_name, const std::vector<SaveRecord>& saves) {
  return Pack({{entry_name, EncodeSet(saves), kSaveSetPassword}});
}

// The entries of a container file in directory order: name and decoded content (empty content and
// `decoded` false for an entry that does not decode with `password`).
struct UnpackedEntry {
  std::string name;
  Bytes content;
  bool decoded = false;
};

inline std::vector<UnpackedEntry> Unpack(const Bytes& file, const char* password) {
  std::vector<UnpackedEntry> out;
  auto* buffer = new CSmartBuffer();
  buffer->Assign(file.data(), static_cast<int32_t>(file.size()));
  CPackageArchive archive;
  if (!archive.Parse(buffer, buffer->Size())) return out;
  for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
    UnpackedEntry entry;
    entry.name = archive.GetEntry(i)->name;
    CSmartBuffer content;
    entry.decoded = archive.ReadEntryAt(i, password, &content);
    if (entry.decoded && content.Size() > 0) {
      entry.content.assign(content.Data(), content.Data() + content.Size());
    }
    out.push_back(std::move(entry));
  }
  return out;
}

// The raw stored block of each entry (what a carry-over must keep byte for byte).
inline std::vector<Bytes> StoredBlocks(const Bytes& file) {
  std::vector<Bytes> out;
  auto* buffer = new CSmartBuffer();
  buffer->Assign(file.data(), static_cast<int32_t>(file.size()));
  CPackageArchive archive;
  if (!archive.Parse(buffer, buffer->Size())) return out;
  for (int32_t i = 0; i < archive.GetEntryCount(); ++i) {
    const PackageEntry* e = archive.GetEntry(i);
    out.emplace_back(file.begin() + e->offset, file.begin() + e->offset + e->stored_length);
  }
  return out;
}

}  // namespace store_test
