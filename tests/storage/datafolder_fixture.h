// A fresh temporary folder per test for the store tests (high scores, virtual registry, data
// folders), removed with everything in it at the end. Paths are UTF-8 with '\\' or '/' separators,
// as the stores build them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "data/package.h"
#include "platform/files.h"
#include "platform/userfolders.h"
#include "storage/archiver.h"
#include "storage/codec.h"

namespace storetest {

inline std::filesystem::path FsPath(const std::string& utf8) {
  std::string slashed = utf8;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return std::filesystem::u8path(slashed);
}

inline bool FileExists(const std::string& utf8) {
  std::error_code ec;
  return std::filesystem::is_regular_file(FsPath(utf8), ec);
}

inline std::vector<std::string> FolderNames(const std::string& utf8) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(utf8), ec)) {
    names.push_back(entry.path().filename().u8string());
  }
  return names;
}

using Bytes = std::vector<uint8_t>;

inline Bytes ReadBytes(const std::string& utf8) {
  std::ifstream in(FsPath(utf8), std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& utf8, const Bytes& bytes) {
  std::ofstream out(FsPath(utf8), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << utf8;
}

struct PackedEntry {
  std::string name;
  Bytes content;
  const char* password;
};

// A container file of `entries`, built by the archiver on its own (not through the stores).
inline Bytes Pack(const std::vector<PackedEntry>& entries) {
  CArchiver archiver;
  archiver.Reset(static_cast<int32_t>(entries.empty() ? 1 : entries.size()));
  for (const PackedEntry& e : entries) {
    EXPECT_GE(archiver.AddEntry(static_cast<uint32_t>(e.content.size()), e.name.c_str(),
                                e.content.data(), e.password),
              0);
  }
  CSmartBuffer out;
  EXPECT_EQ(archiver.Build(&out), S_OK);
  return Bytes(out.Data(), out.Data() + out.Size());
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

class CTempFolder {
 public:
  CTempFolder() {
    std::string file;
    if (!vexa::platform::MakeTempFile("vexa-store", &file)) return;
    vexa::platform::RemoveFile(file);
    if (vexa::platform::CreateFolderUtf8(file)) path_ = file;
  }
  ~CTempFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(FsPath(path_), ec);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  bool Ok() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

}  // namespace storetest
