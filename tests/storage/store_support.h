// Helpers shared by the store tests: a scratch data folder, file bytes, and set files built
// independently of the store (straight from the archiver and the primitive encodings).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/scratch_folder.h"
#include "storage/archiver.h"
#include "storage/atomicfile.h"
#include "storage/primitives.h"
#include "storage/protectedfile.h"

namespace store_test {

using Bytes = std::vector<uint8_t>;

inline Bytes ToBytes(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

inline Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

inline bool FileExists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Names of the files in `folder`, sorted.
inline std::vector<std::string> ListNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// True when `folder` holds a temporary file of the atomic writer.
inline bool HasTemporaryFiles(const std::string& folder) {
  for (const std::string& name : ListNames(folder))
    if (vexa::storage::HasTemporaryMarker(name)) return true;
  return false;
}

struct Entry {
  std::string name;
  Bytes content;
  const char* password;
};

// A container file of `entries`, written by the archiver (compressed mode).
inline Bytes Pack(const std::vector<Entry>& entries) {
  CArchiver archiver;
  archiver.Reset(static_cast<int32_t>(entries.empty() ? 1 : entries.size()));
  for (const Entry& e : entries) {
    EXPECT_GE(archiver.AddEntry(static_cast<uint32_t>(e.content.size()), e.name.c_str(),
                                e.content.data(), e.password),
              0);
  }
  CSmartBuffer out;
  EXPECT_EQ(archiver.Build(&out), S_OK);
  return Bytes(out.Data(), out.Data() + out.Size());
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

}  // namespace store_test
