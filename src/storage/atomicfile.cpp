#include "storage/atomicfile.h"

#include <atomic>
#include <cstdio>
#include <vector>

#include "platform/ascii.h"

namespace vexa::storage {

using vexa::platform::FileHandle;
using vexa::platform::kNoFile;

namespace {

// Attempts at a free temporary name before giving up (a name is only taken by a leftover of a
// process that had the same id, or by a file someone made on purpose).
constexpr int kNameAttempts = 16;

size_t LastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

std::string TemporaryName(const std::string& path, uint32_t pid, uint32_t n) {
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, "%s%x-%x.tmp", kTemporaryMarker, pid, n);
  return path + suffix;
}

// Parses "<anything>.~vexa<hex>-<hex>.tmp" and gives the process id in it.
bool ParseTemporaryName(const std::string& name, uint32_t* pid) {
  const std::string lower = vexa::platform::LowerAscii(name);
  const size_t marker = lower.rfind(kTemporaryMarker);
  if (marker == std::string::npos) return false;
  unsigned long long id = 0, n = 0;
  int consumed = 0;
  const std::string rest = lower.substr(marker + sizeof(kTemporaryMarker) - 1);
  if (std::sscanf(rest.c_str(), "%llx-%llx.tmp%n", &id, &n, &consumed) != 2) return false;
  if (static_cast<size_t>(consumed) != rest.size() || id > 0xFFFFFFFFull) return false;
  *pid = static_cast<uint32_t>(id);
  return true;
}

// Writes all bytes through `fs`, which may deliver them in parts.
bool WriteAll(IFileSystem* fs, FileHandle file, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    size_t written = 0;
    if (!fs->Write(file, p + done, size - done, &written)) return false;
    if (written == 0) return false;
    done += written;
  }
  return true;
}

// Steps 2 to 4 on a file CreateNew opened: write, flush, close. The file is closed in every case.
bool FillAndClose(IFileSystem* fs, FileHandle file, const void* data, size_t size) {
  bool ok = WriteAll(fs, file, data, size) && fs->Flush(file);
  // Close even after a failure: the handle must not leak and the file must be deletable.
  if (!fs->Close(file)) ok = false;
  return ok;
}

}  // namespace

IFileSystem* FileSystemOrNative(IFileSystem* fs) {
  return fs ? fs : &vexa::platform::NativeFileSystem();
}

std::string FolderOf(const std::string& path) {
  const size_t at = LastSeparator(path);
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string NameOf(const std::string& path) {
  const size_t at = LastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

bool HasTemporaryMarker(const std::string& name) {
  return vexa::platform::LowerAscii(name).find(kTemporaryMarker) != std::string::npos;
}

HRESULT WriteFileAtomic(IFileSystem* fs, const std::string& path, const void* data, size_t size) {
  if (path.empty() || (size > 0 && !data)) return E_INVALIDARG;
  fs = FileSystemOrNative(fs);
  static std::atomic<uint32_t> counter{0};
  const uint32_t pid = vexa::platform::CurrentProcessId();

  std::string temporary;
  FileHandle file = kNoFile;
  for (int attempt = 0; attempt < kNameAttempts && file == kNoFile; ++attempt) {
    temporary = TemporaryName(path, pid, counter.fetch_add(1));
    if (fs->CreateNew(temporary, &file)) break;
    file = kNoFile;
    // Only a name that is taken is worth another try; a missing folder or a full disk is not.
    if (!fs->Exists(temporary)) return VEXA_E_WRITE_FAILED;
  }
  if (file == kNoFile) return VEXA_E_WRITE_FAILED;

  if (!FillAndClose(fs, file, data, size) || !fs->Replace(temporary, path)) {
    fs->Remove(temporary);
    return VEXA_E_WRITE_FAILED;
  }
  // The rename is visible now; only its durability is in question if this fails.
  if (!fs->SyncFolder(FolderOf(path))) return VEXA_E_WRITE_FAILED;
  return S_OK;
}

HRESULT WriteNewFile(IFileSystem* fs, const std::string& path, const void* data, size_t size) {
  if (path.empty() || (size > 0 && !data)) return E_INVALIDARG;
  fs = FileSystemOrNative(fs);
  FileHandle file = kNoFile;
  if (!fs->CreateNew(path, &file)) return VEXA_E_WRITE_FAILED;
  if (!FillAndClose(fs, file, data, size) || !fs->SyncFolder(FolderOf(path))) {
    fs->Remove(path);
    return VEXA_E_WRITE_FAILED;
  }
  return S_OK;
}

HRESULT WriteNewFileAtomic(IFileSystem* fs, const std::string& path, const void* data,
                           size_t size) {
  if (path.empty() || (size > 0 && !data)) return E_INVALIDARG;
  fs = FileSystemOrNative(fs);
  if (fs->Exists(path)) return VEXA_E_WRITE_FAILED;
  return WriteFileAtomic(fs, path, data, size);
}

int RemoveStaleTemporaryFiles(IFileSystem* fs, const std::string& folder) {
  fs = FileSystemOrNative(fs);
  std::vector<std::string> names;
  if (!fs->ListFolder(folder, &names)) return 0;
  const uint32_t own = vexa::platform::CurrentProcessId();
  int removed = 0;
  for (const std::string& name : names) {
    uint32_t pid = 0;
    if (!ParseTemporaryName(name, &pid) || pid == own) continue;
    const std::string path = folder.empty() ? name : folder + "/" + name;
    if (fs->Remove(path)) ++removed;
  }
  return removed;
}

}  // namespace vexa::storage
