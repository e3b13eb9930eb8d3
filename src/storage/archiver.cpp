#include "storage/archiver.h"

#include <climits>
#include <cstring>

#include "storage/codec.h"
#include "storage/containerformat.h"

using vexa::container::AppendU16;
using vexa::container::AppendU32;

const char* DescribeArchiverStatus(HRESULT status) {
  switch (status) {
    case S_OK:
      return "success";
    case VEXA_E_TABLE_FULL:
      return "the archive's entry table is full";
    case VEXA_E_NAME_TOO_LONG:
      return "entry name longer than 255 bytes";
    case VEXA_E_TOO_MANY_ENTRIES:
      return "more than 65535 entries";
    case VEXA_E_DIRECTORY_TOO_LARGE:
      return "directory larger than 65535 bytes (too many or too long names)";
    case VEXA_E_ARCHIVE_TOO_LARGE:
      return "package larger than 2 GiB";
    case VEXA_E_COMPRESSION_FAILED:
      return "compression failed (out of memory?)";
    case E_POINTER:
      return "missing name or data";
    case E_INVALIDARG:
      return "invalid argument";
    default:
      return "failure";
  }
}

bool CArchiver::Reset(int32_t capacity) {
  entries_.clear();
  entries_.shrink_to_fit();
  data_.Clear();
  header_.Free();
  status_ = S_OK;
  if (capacity < 0) {
    capacity_ = 0;
    status_ = E_INVALIDARG;
    return false;
  }
  capacity_ = capacity;
  entries_.reserve(static_cast<size_t>(capacity < kMaxEntries ? capacity : kMaxEntries));
  return true;
}

bool CArchiver::SetMode(uint8_t mode) {
  if ((mode != kModeStored && mode != kModeCompressed) || !entries_.empty()) return false;
  mode_ = mode;
  return true;
}

HRESULT CArchiver::CheckNewEntry(const char* name, uint32_t length, const void* bytes) const {
  const int32_t count = GetCount();
  if (count >= capacity_) return VEXA_E_TABLE_FULL;
  if (count >= kMaxEntries) return VEXA_E_TOO_MANY_ENTRIES;
  if (!name || (length > 0 && !bytes)) return E_POINTER;
  if (std::strlen(name) > kMaxNameLength) return VEXA_E_NAME_TOO_LONG;
  if (length > static_cast<uint32_t>(INT32_MAX)) return VEXA_E_ARCHIVE_TOO_LARGE;
  return S_OK;
}

int32_t CArchiver::Append(const char* name, CSmartBuffer&& block, uint32_t unpacked_length) {
  const int32_t count = GetCount();
  const uint32_t stored = static_cast<uint32_t>(block.Size());
  if (!data_.AddPiece(std::move(block))) {
    status_ = VEXA_E_ARCHIVE_TOO_LARGE;
    return -1;
  }
  Entry entry;
  entry.name = name;
  entry.stored = stored;
  entry.unpacked = unpacked_length;
  entries_.push_back(std::move(entry));
  status_ = S_OK;
  return count;
}

int32_t CArchiver::AddEntry(uint32_t unpacked_length, const char* name, const void* bytes,
                            const char* password) {
  status_ = CheckNewEntry(name, unpacked_length, bytes);
  if (FAILED(status_)) return -1;

  CSmartBuffer block;
  if (unpacked_length > 0) {
    bool ok = mode_ == kModeCompressed ? DeflateGrowing(static_cast<const uint8_t*>(bytes),
                                                        unpacked_length, password, &block)
                                       : block.Assign(bytes, static_cast<int32_t>(unpacked_length));
    // An entry recorded without its content would read back as an empty file: refuse instead.
    if (!ok) {
      status_ = VEXA_E_COMPRESSION_FAILED;
      return -1;
    }
  }
  return Append(name, std::move(block), unpacked_length);
}

int32_t CArchiver::AddStoredEntry(const char* name, uint32_t unpacked_length, const void* block,
                                  uint32_t stored_length) {
  status_ = CheckNewEntry(name, stored_length, block);
  if (FAILED(status_)) return -1;
  CSmartBuffer copy;
  if (stored_length > 0 && !copy.Assign(block, static_cast<int32_t>(stored_length))) {
    status_ = VEXA_E_ARCHIVE_TOO_LARGE;
    return -1;
  }
  return Append(name, std::move(copy), unpacked_length);
}

HRESULT CArchiver::MakeHeader() {
  header_.Free();
  std::vector<uint8_t> directory;
  directory.push_back(1);
  AppendU16(&directory, static_cast<uint32_t>(entries_.size()));
  for (const Entry& e : entries_) {
    directory.push_back(static_cast<uint8_t>(e.name.size()));
    directory.insert(directory.end(), e.name.begin(), e.name.end());
    AppendU32(&directory, e.stored);
    AppendU32(&directory, e.unpacked);
  }

  CSmartBuffer block;
  if (mode_ == kModeCompressed) {
    if (!DeflateGrowing(directory.data(), static_cast<uint32_t>(directory.size()), nullptr,
                        &block)) {
      return VEXA_E_COMPRESSION_FAILED;
    }
  } else {
    // Readers refuse a directory block under 10 bytes; only an empty stored directory is that
    // short, and bytes after the last record are ignored.
    if (directory.size() < static_cast<size_t>(kMinDirectoryLength))
      directory.resize(static_cast<size_t>(kMinDirectoryLength), 0);
    if (directory.size() > static_cast<size_t>(kMaxDirectoryLength))
      return VEXA_E_DIRECTORY_TOO_LARGE;
    if (!block.Assign(directory.data(), static_cast<int32_t>(directory.size())))
      return VEXA_E_COMPRESSION_FAILED;
  }
  if (block.Size() > kMaxDirectoryLength) return VEXA_E_DIRECTORY_TOO_LARGE;

  const uint32_t length = static_cast<uint32_t>(block.Size());
  const uint8_t head[4] = {kMagic, mode_, static_cast<uint8_t>(length & 0xFF),
                           static_cast<uint8_t>(length >> 8)};
  if (!header_.Append(head, 4) || !header_.Append(block.Data(), block.Size())) {
    header_.Free();
    return VEXA_E_COMPRESSION_FAILED;
  }
  return S_OK;
}

CSmartBuffer* CArchiver::BuildHeader() {
  status_ = MakeHeader();
  return SUCCEEDED(status_) ? &header_ : nullptr;
}

HRESULT CArchiver::Build(CSmartBuffer* out) {
  if (!out) return status_ = E_POINTER;
  out->Free();
  status_ = MakeHeader();
  if (FAILED(status_)) return status_;
  const int32_t data_size = data_.Size();
  if (data_size > INT32_MAX - header_.Size()) return status_ = VEXA_E_ARCHIVE_TOO_LARGE;
  if (!out->Allocate(header_.Size() + data_size)) return status_ = VEXA_E_ARCHIVE_TOO_LARGE;
  // Copy the pieces straight into the output; joining them first would need a second full copy.
  std::memcpy(out->Data(), header_.Data(), static_cast<size_t>(header_.Size()));
  size_t at = static_cast<size_t>(header_.Size());
  for (int32_t i = 0; i < data_.PieceCount(); ++i) {
    const CSmartBuffer& piece = data_.Piece(i);
    if (piece.Size() > 0)
      std::memcpy(out->Data() + at, piece.Data(), static_cast<size_t>(piece.Size()));
    at += static_cast<size_t>(piece.Size());
  }
  return status_ = S_OK;
}
