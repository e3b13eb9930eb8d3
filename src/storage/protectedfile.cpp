#include "storage/protectedfile.h"

#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "storage/archiver.h"
#include "storage/buffer.h"
#include "storage/codec.h"

using vexa::platform::FileReadStatus;
using vexa::platform::IFileSystem;
using vexa::storage::FileSystemOrNative;

namespace {

// Copies of one damaged file tried before giving up ("<file>.damaged-1" ... "-999").
constexpr int kMaxBackups = 999;

// The stored block of entry `index`, or false when it does not lie inside the file.
bool StoredBlock(const CProtectedContainer& container, int32_t index, const uint8_t** block,
                 uint32_t* length) {
  const CPackageArchive* archive = container.GetArchive();
  if (!archive || !archive->IsEntryInBounds(index)) return false;
  const PackageEntry* entry = archive->GetEntry(index);
  *block = container.GetBytes().data() + entry->offset;
  *length = entry->stored_length;
  return true;
}

// The whole content of a stream, from its start.
HRESULT ReadWholeStream(IByteStream* stream, std::vector<uint8_t>* out) {
  if (!stream) return E_POINTER;
  out->clear();
  if (auto* memory = dynamic_cast<CMemoryStream*>(stream)) {
    *out = memory->Data();
    return S_OK;
  }
  uint64_t size = 0;
  HRESULT hr = stream->Seek(0, IByteStream::kSeekEnd, &size);
  if (FAILED(hr)) return hr;
  if (size > kMaxProtectedEntrySize) return E_OUTOFMEMORY;
  hr = stream->Seek(0, IByteStream::kSeekSet, nullptr);
  if (FAILED(hr)) return hr;
  out->resize(static_cast<size_t>(size));
  return size ? ReadExact(stream, out->data(), static_cast<uint32_t>(size)) : S_OK;
}

// Copies the damaged file's bytes to the first free "<path>.damaged-<n>".
HRESULT MakeBackup(IFileSystem* fs, const std::string& path, const std::vector<uint8_t>& bytes,
                   std::string* backup) {
  for (int n = 1; n <= kMaxBackups; ++n) {
    const std::string candidate = path + kDamagedSuffix + std::to_string(n);
    if (fs->Exists(candidate)) continue;
    if (SUCCEEDED(vexa::storage::WriteNewFile(fs, candidate, bytes.data(), bytes.size()))) {
      *backup = candidate;
      return S_OK;
    }
    // Taken in the meantime: try the next number; any other failure ends the attempt.
    if (!fs->Exists(candidate)) return VEXA_E_BACKUP_FAILED;
  }
  return VEXA_E_BACKUP_FAILED;
}

// The copies made in this run, by file and content: a damaged file whose rewrite keeps failing is
// met again by every later command (the stores keep no state between commands), and one copy of
// the same bytes is enough.
struct BackupsMade {
  std::mutex lock;
  std::map<std::pair<std::string, uint64_t>, std::string> copies;
};

BackupsMade& Backups() {
  static BackupsMade* backups = new BackupsMade();  // never destroyed: used until exit
  return *backups;
}

uint64_t Fingerprint(const std::vector<uint8_t>& bytes) {
  uint64_t hash = 14695981039346656037ull ^ bytes.size();
  for (const uint8_t byte : bytes) hash = (hash ^ byte) * 1099511628211ull;
  return hash;
}

// MakeBackup, unless this run already copied the same bytes of `path` and the copy is still there.
HRESULT BackupOnce(IFileSystem* fs, const std::string& path, const std::vector<uint8_t>& bytes,
                   std::string* backup) {
  const auto key = std::make_pair(path, Fingerprint(bytes));
  BackupsMade& made = Backups();
  {
    std::lock_guard<std::mutex> guard(made.lock);
    const auto found = made.copies.find(key);
    if (found != made.copies.end() && fs->Exists(found->second)) {
      *backup = found->second;
      return S_OK;
    }
  }
  const HRESULT hr = MakeBackup(fs, path, bytes, backup);
  if (SUCCEEDED(hr)) {
    std::lock_guard<std::mutex> guard(made.lock);
    made.copies[key] = *backup;
  }
  return hr;
}

HRESULT BuildReplacement(const CProtectedContainer& container, const std::vector<uint8_t>& content,
                         const char* entryName, const char* password, CSmartBuffer* out) {
  const CPackageArchive* archive = container.GetArchive();
  const int32_t count = archive ? archive->GetEntryCount() : 0;
  const int32_t target = archive ? archive->FindEntry(entryName) : -1;

  CArchiver archiver;
  archiver.Reset(count + (target < 0 ? 1 : 0));
  const auto add_content = [&](const char* name) {
    return archiver.AddEntry(static_cast<uint32_t>(content.size()), name, content.data(),
                             password) >= 0;
  };
  for (int32_t i = 0; i < count; ++i) {
    const PackageEntry* entry = archive->GetEntry(i);
    if (i == target) {
      if (!add_content(entry->name)) return archiver.LastStatus();
      continue;
    }
    const uint8_t* block = nullptr;
    uint32_t length = 0;
    // An entry past the end of the file cannot be carried over; the backup keeps it.
    if (!StoredBlock(container, i, &block, &length)) continue;
    if (archive->GetMode() == CArchiver::kModeCompressed) {
      if (archiver.AddStoredEntry(entry->name, entry->unpacked_length, block, length) < 0)
        return archiver.LastStatus();
    } else {
      // A stored-mode file's entries are plain: they get the password of this kind of file.
      if (archiver.AddEntry(length, entry->name, block, password) < 0) return archiver.LastStatus();
    }
  }
  if (target < 0 && !add_content(entryName)) return archiver.LastStatus();
  return archiver.Build(out);
}

}  // namespace

// ---- CProtectedContainer

const CPackageArchive* CProtectedContainer::GetArchive() const {
  return state_ == State::kParsed ? archive_.get() : nullptr;
}

void CProtectedContainer::MarkDamaged() {
  if (state_ == State::kNotContainer || state_ == State::kParsed) damaged_ = true;
}

void CProtectedContainer::Reset() {
  state_ = State::kNotRead;
  path_.clear();
  archive_.reset();
  bytes_ = std::make_unique<std::vector<uint8_t>>();
  damaged_ = false;
  backup_path_.clear();
}

CProtectedContainer::State CProtectedContainer::Load(IFileSystem* fs, const std::string& path) {
  fs = FileSystemOrNative(fs);
  std::vector<uint8_t> bytes;
  switch (fs->ReadFile(path, kMaxProtectedFileSize, &bytes)) {
    case FileReadStatus::kOk:
      return Adopt(path, std::move(bytes));
    case FileReadStatus::kMissing:
      Reset();
      path_ = path;
      return state_ = State::kMissing;
    case FileReadStatus::kUnreadable:
    case FileReadStatus::kTooLarge:
      break;
  }
  Reset();
  path_ = path;
  return state_ = State::kUnreadable;
}

CProtectedContainer::State CProtectedContainer::Adopt(const std::string& path,
                                                      std::vector<uint8_t> bytes) {
  // A backup made of the file's earlier content stays known.
  std::string backup = path == path_ ? backup_path_ : std::string();
  Reset();
  path_ = path;
  backup_path_ = std::move(backup);
  *bytes_ = std::move(bytes);
  if (bytes_->empty()) return state_ = State::kEmptyFile;
  if (bytes_->size() > static_cast<size_t>(INT32_MAX)) {
    bytes_->clear();
    return state_ = State::kUnreadable;
  }
  archive_ = std::make_unique<CPackageArchive>();
  // The archive gets a view of the bytes this object keeps; the view owns nothing.
  auto* view = new CBaseBuffer(bytes_->data(), static_cast<int32_t>(bytes_->size()));
  if (!archive_->Parse(view, view->Size())) {
    archive_.reset();
    damaged_ = true;
    return state_ = State::kNotContainer;
  }
  // An entry that cannot be carried over makes a rewrite lose it: keep a copy first.
  for (int32_t i = 0; i < archive_->GetEntryCount(); ++i) {
    if (!archive_->IsEntryInBounds(i)) damaged_ = true;
  }
  return state_ = State::kParsed;
}

// ---- Reading

namespace vexa::storage {

bool ReadProtectedEntryAt(const CProtectedContainer& container, int32_t index, const char* password,
                          std::vector<uint8_t>* out) {
  out->clear();
  const uint8_t* block = nullptr;
  uint32_t length = 0;
  if (!StoredBlock(container, index, &block, &length)) return false;
  const PackageEntry* entry = container.GetArchive()->GetEntry(index);
  if (container.GetArchive()->GetMode() != CArchiver::kModeCompressed) {
    if (length > kMaxProtectedEntrySize) return false;
    out->assign(block, block + length);
    return true;
  }
  CSmartBuffer inflated;
  if (!InflateLimited(block, length, password, &inflated, entry->unpacked_length,
                      kMaxProtectedEntrySize)) {
    return false;
  }
  if (inflated.Size() > 0) out->assign(inflated.Data(), inflated.Data() + inflated.Size());
  return true;
}

}  // namespace vexa::storage

namespace {

// What a reader that needs the parsed container answers for a file in `state` (not kParsed):
// `missing` for no file, `empty` for a file of 0 bytes, VEXA_E_FILE_UNREADABLE, else E_FAIL.
HRESULT NotParsedStatus(CProtectedContainer::State state, HRESULT missing, HRESULT empty) {
  switch (state) {
    case CProtectedContainer::State::kMissing:
      return missing;
    case CProtectedContainer::State::kEmptyFile:
      return empty;
    case CProtectedContainer::State::kUnreadable:
      return VEXA_E_FILE_UNREADABLE;
    default:
      return E_FAIL;
  }
}

HRESULT ReadEntryOf(CProtectedContainer* container, const char* entryName, const char* password,
                    CMemoryStream* out) {
  const CProtectedContainer::State state = container->GetState();
  if (state != CProtectedContainer::State::kParsed) {
    return NotParsedStatus(state, E_ACCESSDENIED, E_FAIL);
  }
  const int32_t index = container->GetArchive()->FindEntry(entryName);
  if (index < 0) return E_FAIL;
  std::vector<uint8_t> content;
  if (!vexa::storage::ReadProtectedEntryAt(*container, index, password, &content)) {
    // The entry is there but does not decode: its bytes must survive a rewrite.
    container->MarkDamaged();
    return E_FAIL;
  }
  *out = CMemoryStream(std::move(content));
  return S_OK;
}

}  // namespace

HRESULT ReadProtectedEntry(IFileSystem* fs, const std::string& path, const char* entryName,
                           const char* password, CProtectedContainer* container,
                           CMemoryStream* out) {
  if (!entryName || !container || !out) return E_POINTER;
  *out = CMemoryStream();
  try {
    container->Load(fs, path);
    return ReadEntryOf(container, entryName, password, out);
  } catch (const std::bad_alloc&) {
    container->Reset();
    return E_OUTOFMEMORY;
  }
}

HRESULT ReadProtectedEntryWithSeed(IFileSystem* fs, const std::string& path,
                                   const std::string& seedPath, const char* entryName,
                                   const char* password, CProtectedContainer* container,
                                   CMemoryStream* out) {
  if (!entryName || !container || !out) return E_POINTER;
  *out = CMemoryStream();
  fs = FileSystemOrNative(fs);
  try {
    if (container->Load(fs, path) == CProtectedContainer::State::kMissing && !seedPath.empty()) {
      std::vector<uint8_t> seed;
      if (fs->ReadFile(seedPath, kMaxProtectedFileSize, &seed) == FileReadStatus::kOk) {
        // Written as a new file of our own, so the seed's read-only attribute does not come along;
        // atomically, because a short copy left by a kill would count as present from then on.
        vexa::storage::WriteNewFileAtomic(fs, path, seed.data(), seed.size());
        container->Adopt(path, std::move(seed));
      }
    }
    return ReadEntryOf(container, entryName, password, out);
  } catch (const std::bad_alloc&) {
    container->Reset();
    return E_OUTOFMEMORY;
  }
}

// ---- Writing

HRESULT ListProtectedEntries(IFileSystem* fs, const std::string& path,
                             std::vector<std::string>* names) {
  if (!names) return E_POINTER;
  names->clear();
  CProtectedContainer file;
  const CProtectedContainer::State state = file.Load(fs, path);
  if (state != CProtectedContainer::State::kParsed) return NotParsedStatus(state, S_OK, S_OK);
  const CPackageArchive* archive = file.GetArchive();
  for (int32_t i = 0; i < archive->GetEntryCount(); ++i) {
    names->push_back(archive->GetEntry(i)->name);
  }
  return S_OK;
}

HRESULT WriteProtectedFile(IFileSystem* fs, IByteStream* stream, const std::string& path,
                           const char* entryName) {
  if (!entryName) return E_POINTER;
  try {
    std::vector<uint8_t> content;
    HRESULT hr = ReadWholeStream(stream, &content);
    if (FAILED(hr)) return hr;
    CArchiver archiver;
    archiver.Reset(1);
    if (archiver.AddEntry(static_cast<uint32_t>(content.size()), entryName, content.data(),
                          kSaveSetPassword) < 0) {
      return archiver.LastStatus();
    }
    CSmartBuffer built;
    hr = archiver.Build(&built);
    if (FAILED(hr)) return hr;
    return vexa::storage::WriteFileAtomic(fs, path, built.Data(),
                                          static_cast<size_t>(built.Size()));
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ReplaceProtectedEntry(IFileSystem* fs, IByteStream* stream, const std::string& path,
                              const char* entryName, const char* password,
                              CProtectedContainer* container) {
  if (!entryName) return E_POINTER;
  fs = FileSystemOrNative(fs);
  try {
    CProtectedContainer own;
    if (!container) container = &own;
    if (container->GetState() == CProtectedContainer::State::kNotRead ||
        container->GetPath() != path) {
      container->Load(fs, path);
    }
    if (container->GetState() == CProtectedContainer::State::kUnreadable)
      return VEXA_E_FILE_UNREADABLE;

    std::vector<uint8_t> content;
    HRESULT hr = ReadWholeStream(stream, &content);
    if (FAILED(hr)) return hr;
    if (content.size() > kMaxProtectedEntrySize) return E_OUTOFMEMORY;

    CSmartBuffer built;
    hr = BuildReplacement(*container, content, entryName, password, &built);
    if (FAILED(hr)) return hr;

    if (container->IsDamaged()) {
      std::string backup;
      hr = BackupOnce(fs, path, container->GetBytes(), &backup);
      if (FAILED(hr)) return hr;
      container->SetBackupPath(backup);
    }
    hr = vexa::storage::WriteFileAtomic(fs, path, built.Data(), static_cast<size_t>(built.Size()));
    if (FAILED(hr)) return hr;
    std::vector<uint8_t> written(built.Data(), built.Data() + built.Size());
    container->Adopt(path, std::move(written));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}
