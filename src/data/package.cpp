#include "data/package.h"

#include <climits>
#include <cstring>
#include <utility>

#include "data/carried.h"
#include "data/mappedfile.h"
#include "platform/ascii.h"
#include "storage/containerformat.h"

namespace {

using vexa::container::LoadU16;
using vexa::container::LoadU32;

// The largest directory a writer can produce: 65535 records of 1 + 255 + 8 bytes after the 3-byte
// head. A compressed directory that inflates beyond it is refused before it can claim more memory.
constexpr uint64_t kMaxDirectoryContent = 3 + 65535ull * (1 + 255 + 8);

}  // namespace

void CPackageArchive::Release() {
  buffer_.reset();
  size_ = 0;
  entries_.clear();
  entries_.shrink_to_fit();
  index_.Clear();
  mode_ = 0;
}

bool CPackageArchive::Parse(CBaseBuffer* buffer, int32_t size) {
  // Take ownership first so every return path below releases the buffer.
  std::unique_ptr<CBaseBuffer> owned(buffer);
  if (buffer_.get() == buffer) buffer_.release();
  Release();
  if (!buffer || size < 1) return false;
  if (size > buffer->Size()) size = buffer->Size();
  const uint8_t* bytes = buffer->Data();
  if (!bytes || size < 4) return false;

  if (bytes[0] != kMagic) return false;
  const uint8_t mode = bytes[1];
  if (mode != 0 && mode != 1) return false;
  const uint32_t dir_length = LoadU16(bytes + 2);
  if (dir_length < static_cast<uint32_t>(kMinDirectoryLength)) return false;
  if (dir_length > static_cast<uint32_t>(size) - 4) return false;

  CSmartBuffer inflated;
  const uint8_t* dir = bytes + 4;
  uint32_t dir_size = dir_length;
  if (mode == 1) {
    if (!InflateLimited(dir, dir_length, nullptr, &inflated, 0, kMaxDirectoryContent)) return false;
    dir = inflated.Data();
    dir_size = static_cast<uint32_t>(inflated.Size());
  }
  if (dir_size < 3 || dir[0] != 1) return false;
  const uint32_t count = LoadU16(dir + 1);
  // Every record takes at least 9 bytes (name length, two 32-bit lengths): a count the directory
  // cannot hold is refused before anything is allocated for it.
  if (count > (dir_size - 3) / 9) return false;

  std::vector<PackageEntry> entries(count);
  uint32_t pos = 3;
  uint64_t running = 4ull + dir_length;
  for (uint32_t i = 0; i < count; ++i) {
    if (dir_size - pos < 1) return false;
    const uint32_t name_length = dir[pos];
    if (dir_size - pos - 1 < name_length + 8) return false;
    PackageEntry& e = entries[i];
    std::memcpy(e.name, dir + pos + 1, name_length);
    e.name[name_length] = 0;
    for (uint32_t k = 0; k < name_length; ++k)
      if (e.name[k] == '/') e.name[k] = '\\';
    pos += 1 + name_length;
    e.stored_length = LoadU32(dir + pos);
    e.unpacked_length = LoadU32(dir + pos + 4);
    pos += 8;
    e.offset = running <= static_cast<uint64_t>(size) ? static_cast<uint32_t>(running)
                                                      : PackageEntry::kBadOffset;
    running += e.stored_length;
  }

  buffer_ = std::move(owned);
  size_ = size;
  entries_ = std::move(entries);
  index_.Build(entries_.data(), static_cast<int32_t>(entries_.size()));
  mode_ = mode;
  return true;
}

const PackageEntry* CPackageArchive::GetEntry(int32_t index) const {
  if (index < 0 || index >= GetEntryCount()) return nullptr;
  return &entries_[static_cast<size_t>(index)];
}

bool CPackageArchive::IsEntryInBounds(int32_t index) const {
  const PackageEntry* e = GetEntry(index);
  if (!e || e->offset == PackageEntry::kBadOffset) return false;
  // 64-bit sum: offset + length must not wrap on a 32-bit build.
  return static_cast<uint64_t>(e->offset) + e->stored_length <= static_cast<uint64_t>(size_);
}

bool CPackageArchive::ReadEntryAt(int32_t index, const char* password, CSmartBuffer* out) const {
  if (!out) return false;
  out->Free();
  if (!IsEntryInBounds(index)) return false;
  const PackageEntry& e = entries_[static_cast<size_t>(index)];
  const uint8_t* block = buffer_->Data() + e.offset;
  if (mode_ == 0) {
    // Assign leaves a 0-byte entry as an empty buffer; give it a block like mode 1 does.
    if (e.stored_length == 0) return out->Allocate(0);
    return out->Assign(block, static_cast<int32_t>(e.stored_length));
  }
  return InflateGrowing(block, e.stored_length, password, out, e.unpacked_length);
}

int32_t CPackageArchive::FindEntry(const char* name) const {
  if (!name) return -1;
  return index_.FindExact(name);
}

bool CPackageArchive::ReadEntryNamed(const char* name, const char* password,
                                     CSmartBuffer* out) const {
  if (out) out->Free();
  int32_t index = FindEntry(name);
  if (index < 0) return false;
  return ReadEntryAt(index, password, out);
}

PackageCache& PackageCache::Instance() {
  static PackageCache cache;
  return cache;
}

CPackageArchive* PackageCache::FindLocked(const char* fullPath) const {
  for (const Item& item : items_)
    if (vexa::platform::EqualsNoCaseAscii(item.path.c_str(), fullPath)) return item.archive.get();
  return nullptr;
}

CPackageArchive* PackageCache::Find(const char* fullPath) {
  if (!fullPath) return nullptr;
  std::lock_guard<std::mutex> guard(lock_);
  return FindLocked(fullPath);
}

int32_t PackageCache::GetCount() {
  std::lock_guard<std::mutex> guard(lock_);
  return static_cast<int32_t>(items_.size());
}

HRESULT PackageCache::Open(const char* fullPath, CPackageArchive** archive) {
  if (archive) *archive = nullptr;
  if (!fullPath || !archive) return E_POINTER;
  std::lock_guard<std::mutex> guard(lock_);
  if (CPackageArchive* cached = FindLocked(fullPath)) {
    *archive = cached;
    return S_OK;
  }
  std::unique_ptr<CBaseBuffer> bytes;
  std::unique_ptr<CMappedFileBuffer> mapped(new CMappedFileBuffer);
  if (mapped->Map(fullPath)) {
    bytes = std::move(mapped);
  } else {
    // No readable file: the executable may carry the package (data/carried.h).
    const uint8_t* carried = nullptr;
    uint32_t carried_size = 0;
    if (!FindCarriedPackage(CarriedPackageName(fullPath), &carried, &carried_size) ||
        carried_size > static_cast<uint32_t>(INT32_MAX))
      return E_FAIL;
    // The resource lives in the executable's read-only image; the reader never writes to it.
    bytes.reset(new CBaseBuffer(const_cast<uint8_t*>(carried), static_cast<int32_t>(carried_size)));
  }
  const int32_t size = bytes->Size();
  std::unique_ptr<CPackageArchive> parsed(new CPackageArchive);
  if (!parsed->Parse(bytes.release(), size)) return E_FAIL;
  items_.push_back(Item{fullPath, std::move(parsed)});
  *archive = items_.back().archive.get();
  return S_OK;
}

HRESULT OpenPackage(const char* fullPath, CPackageArchive** archive) {
  return PackageCache::Instance().Open(fullPath, archive);
}

CPackageArchive* OpenPackage(const char* fullPath) {
  CPackageArchive* archive = nullptr;
  return SUCCEEDED(OpenPackage(fullPath, &archive)) ? archive : nullptr;
}
