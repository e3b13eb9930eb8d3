// The package container: reading `data.pak`, add-on packages and protected data files.
//
// Layout (all integers little-endian):
//   0xCF, mode (0 stored, 1 compressed), directory length L (2 bytes), directory block (L bytes),
//   then every entry's data block back to back in directory order.
// Directory (zlib-compressed in mode 1, never scrambled): marker 1, entry count N (2 bytes), then N
// records: name length n (1 byte), name (n bytes, '/' or '\\' between folders), stored length S
// (4 bytes), unpacked length U (4 bytes).
// In mode 1 an entry's block is a zlib stream XORed with the package password.
//
// A package is untrusted input: lengths and offsets are checked against the backing buffer, and a
// damaged package gives failed reads, never reads outside the buffer.
//
// The writer is CArchiver (storage/archiver.h); the codec functions are in storage/codec.h.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "data/packageindex.h"
#include "platform/oleauto.h"
#include "storage/buffer.h"
#include "storage/codec.h"
#include "storage/containerformat.h"

// One directory record as the reader keeps it.
struct PackageEntry {
  // Up to 255 name bytes plus a terminator; every '/' of the stored name is turned into '\\'.
  char name[256];
  // Offset of the entry's block from the start of the backing buffer. kBadOffset when the block
  // would start past the end of the buffer (such an entry can never be read).
  uint32_t offset;
  // S: bytes the block occupies in the file.
  uint32_t stored_length;
  // U: the file's length before compression, as recorded by the writer. Only a hint.
  uint32_t unpacked_length;

  static constexpr uint32_t kBadOffset = 0xFFFFFFFFu;
};

// The parsed form of one package. Not copyable. Reads are const and keep no state, so several
// threads may read one parsed archive at the same time; Parse must not run concurrently with them.
class CPackageArchive {
 public:
  // The format's constants (storage/containerformat.h), under the names readers use.
  static constexpr uint8_t kMagic = vexa::container::kMagic;
  static constexpr int32_t kMinDirectoryLength = vexa::container::kMinDirectoryLength;

  CPackageArchive() = default;
  CPackageArchive(const CPackageArchive&) = delete;
  CPackageArchive& operator=(const CPackageArchive&) = delete;
  ~CPackageArchive() = default;

  // Parses the container in the first `size` bytes of `buffer` (bounded by buffer->Size()).
  // Takes ownership of `buffer` (allocated with new; released through its virtual destructor) in
  // every case: on failure it is released at once. Any previous content is released first.
  // Returns false for a null buffer, a size below 1, a wrong magic, a mode other than 0 or 1, a
  // directory length below 10 or past the end of the buffer, a directory that does not inflate,
  // a marker other than 1, or records running past the end of the directory. Entries whose blocks
  // run past the end of the buffer do not fail the parse; reading them fails.
  bool Parse(CBaseBuffer* buffer, int32_t size);

  // Reads entry `index` into `out` (mode 0: the stored bytes; mode 1: inflated after undoing the
  // `password` scramble; null or "" for none). Returns false, with `out` empty, for an index out
  // of range, a block past the end of the buffer, or data that does not decode (a wrong password
  // normally lands here). An entry with S = 0 reads as empty content.
  bool ReadEntryAt(int32_t index, const char* password, CSmartBuffer* out) const;

  // Reads the first entry whose name equals `name` ignoring ASCII case. Names in the table use
  // '\\' between folders, so `name` must too. False when no entry matches or the read fails.
  bool ReadEntryNamed(const char* name, const char* password, CSmartBuffer* out) const;

  // Index of the first entry named `name` (ASCII case ignored), or -1.
  int32_t FindEntry(const char* name) const;

  // Index of the first entry whose name, folded (ASCII lower case, '\\' between folders), and
  // `folded` agree from their last characters back until one runs out, or -1. The cost does not
  // grow with the number of entries.
  int32_t FindEntryAgreeingFromEnd(std::string_view folded) const {
    return index_.FindAgreeingFromEnd(folded);
  }

  // The entry table, in directory order.
  int32_t GetEntryCount() const { return static_cast<int32_t>(entries_.size()); }
  const PackageEntry* GetEntries() const { return entries_.data(); }
  // Null for an index out of range.
  const PackageEntry* GetEntry(int32_t index) const;
  // 0 stored, 1 compressed (meaningful after a successful Parse).
  uint8_t GetMode() const { return mode_; }
  // True when entry `index` exists and its block lies inside the buffer.
  bool IsEntryInBounds(int32_t index) const;

 private:
  void Release();

  std::unique_ptr<CBaseBuffer> buffer_;
  int32_t size_ = 0;
  std::vector<PackageEntry> entries_;
  CPackageIndex index_;
  uint8_t mode_ = 0;
};

// The packages opened so far, for the life of the process. Paths compare ignoring ASCII case, so
// two spellings of one file map it once. The cache is guarded by a lock; parsed archives are never
// changed after they are cached.
class PackageCache {
 public:
  static PackageCache& Instance();

  // Returns (in *archive) the cached archive of `fullPath`, mapping and parsing the file on first
  // use. S_OK, or E_FAIL (nothing cached, *archive null) when the file cannot be mapped or is not a
  // package; a later call tries again. E_POINTER for null arguments. The archive stays valid until
  // the process ends.
  HRESULT Open(const char* fullPath, CPackageArchive** archive);
  // The cached archive of `fullPath`, or null when it has not been opened.
  CPackageArchive* Find(const char* fullPath);
  int32_t GetCount();

 private:
  PackageCache() = default;
  CPackageArchive* FindLocked(const char* fullPath) const;

  struct Item {
    std::string path;
    std::unique_ptr<CPackageArchive> archive;
  };
  std::mutex lock_;
  std::vector<Item> items_;
};

// PackageCache::Instance().Open(fullPath, archive).
HRESULT OpenPackage(const char* fullPath, CPackageArchive** archive);
// The same, returning the archive or null on failure.
CPackageArchive* OpenPackage(const char* fullPath);
