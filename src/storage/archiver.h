// CArchiver: builds one package container file from named blocks of bytes.
//
// Use: create on the stack, Reset(capacity), AddEntry once per entry, Build(&out), write `out` to
// the file. What Build produces reads back through CPackageArchive (data/package.h).
//
// The container stores a name's length in one byte, the entry count and the directory's length in
// two bytes each; the archiver refuses (with the statuses below) anything those fields cannot
// hold rather than writing a file that reads back wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/oleauto.h"
#include "storage/containerformat.h"
#include "storage/buffer.h"

// Reasons an AddEntry or Build was refused (see CArchiver::LastStatus).
constexpr HRESULT VEXA_E_TABLE_FULL = static_cast<HRESULT>(0x80040601u);        // capacity reached
constexpr HRESULT VEXA_E_NAME_TOO_LONG = static_cast<HRESULT>(0x80040602u);     // over 255 bytes
constexpr HRESULT VEXA_E_TOO_MANY_ENTRIES = static_cast<HRESULT>(0x80040603u);  // over 65535
constexpr HRESULT VEXA_E_DIRECTORY_TOO_LARGE = static_cast<HRESULT>(0x80040604u);  // L over 65535
constexpr HRESULT VEXA_E_ARCHIVE_TOO_LARGE = static_cast<HRESULT>(0x80040605u);    // over 2 GiB
constexpr HRESULT VEXA_E_COMPRESSION_FAILED = static_cast<HRESULT>(0x80040606u);

// A short English description of an archiver status, for tools and logs. Never null.
const char* DescribeArchiverStatus(HRESULT status);

class CArchiver {
 public:
  // The format's constants (storage/containerformat.h), under the names writers use.
  static constexpr uint8_t kMagic = vexa::container::kMagic;
  static constexpr uint8_t kModeStored = vexa::container::kModeStored;
  static constexpr uint8_t kModeCompressed = vexa::container::kModeCompressed;
  static constexpr size_t kMaxNameLength = vexa::container::kMaxNameLength;
  static constexpr int32_t kMaxEntries = vexa::container::kMaxEntries;
  static constexpr int32_t kMaxDirectoryLength = vexa::container::kMaxDirectoryLength;
  // Readers refuse a directory block shorter than this.
  static constexpr int32_t kMinDirectoryLength = vexa::container::kMinDirectoryLength;

  CArchiver() = default;
  CArchiver(const CArchiver&) = delete;
  CArchiver& operator=(const CArchiver&) = delete;
  virtual ~CArchiver() = default;

  // Fills `out` with the complete container file: header and directory, then every entry's block.
  // Returns S_OK, or a failure status (VEXA_E_DIRECTORY_TOO_LARGE, VEXA_E_ARCHIVE_TOO_LARGE,
  // VEXA_E_COMPRESSION_FAILED, E_POINTER) with `out` empty. Repeated calls give identical bytes.
  virtual HRESULT Build(CSmartBuffer* out);
  // Rebuilds the 4-byte header plus the directory and returns that buffer (owned by the archiver,
  // valid until the next Reset/Build/BuildHeader), or null on failure (see LastStatus()).
  virtual CSmartBuffer* BuildHeader();
  // The entries' blocks, one piece per entry in entry order (owned by the archiver).
  virtual CChainedBuffer* GetData() { return &data_; }

  // Forgets every entry and makes room for `capacity` of them. False only for a negative capacity.
  bool Reset(int32_t capacity);

  // Adds an entry of `unpacked_length` bytes. In compressed mode the block is zlib level 9 then
  // scrambled with `password` (null or "" for none); in stored mode it is a plain copy and the
  // password is not used. An empty entry (length 0) is stored as an empty block.
  // Returns the new entry's index, or -1 with nothing added when the table is full, the name is
  // null or longer than 255 bytes, 65535 entries exist, `bytes` is null for a non-empty entry, the
  // file would exceed 2 GiB, or compression fails; LastStatus() tells which.
  int32_t AddEntry(uint32_t unpacked_length, const char* name, const void* bytes,
                   const char* password);

  // Adds an entry whose block is already in the archive's stored form (for a compressed archive: a
  // zlib stream scrambled with its password), copied as it is, with `unpacked_length` recorded as
  // U. This carries an entry of an existing container over to a new one unchanged, also one that
  // this program could not decode. Same limits and results as AddEntry; an empty block is allowed.
  int32_t AddStoredEntry(const char* name, uint32_t unpacked_length, const void* block,
                         uint32_t stored_length);

  // The status of the last AddEntry, Build or BuildHeader (S_OK after a success).
  HRESULT LastStatus() const { return status_; }
  int32_t GetCount() const { return static_cast<int32_t>(entries_.size()); }
  int32_t GetCapacity() const { return capacity_; }

  // The program always writes compressed containers; stored mode exists for tools. Changing the
  // mode after entries were added is refused (false).
  bool SetMode(uint8_t mode);
  uint8_t GetMode() const { return mode_; }

 private:
  struct Entry {
    std::string name;
    uint32_t stored = 0;
    uint32_t unpacked = 0;
  };

  HRESULT MakeHeader();
  // The checks AddEntry and AddStoredEntry share; S_OK when an entry of that name may be added.
  HRESULT CheckNewEntry(const char* name, uint32_t length, const void* bytes) const;
  int32_t Append(const char* name, CSmartBuffer&& block, uint32_t unpacked_length);

  CSmartBuffer header_;
  CChainedBuffer data_;
  std::vector<Entry> entries_;
  int32_t capacity_ = 0;
  uint8_t mode_ = kModeCompressed;
  HRESULT status_ = S_OK;
};
