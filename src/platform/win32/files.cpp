#include "platform/files.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <utility>

namespace vexa::platform {

namespace {

// Empty files cannot be mapped; they get a valid address that holds nothing.
const uint8_t kEmptyView[1] = {0};

constexpr intptr_t kNoHandle = -1;

HANDLE ToHandle(intptr_t h) {
  return reinterpret_cast<HANDLE>(h);
}
intptr_t FromHandle(HANDLE h) {
  return reinterpret_cast<intptr_t>(h);
}

DWORD Attributes(const std::string& path) {
  return GetFileAttributesA(path.c_str());
}

// Only these bits may be passed to SetFileAttributes.
constexpr DWORD kSettable = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                            FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

bool ChangeAttribute(const std::string& path, DWORD bit, bool on) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  DWORD wanted = on ? (attributes | bit) : (attributes & ~bit);
  if (wanted == attributes) return true;
  wanted &= kSettable;
  return SetFileAttributesA(path.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL) != 0;
}

// A 32-bit value that differs between calls, threads and processes; the exclusive create in
// MakeTempFile settles the rare collision.
uint32_t UniqueValue() {
  static std::atomic<uint32_t> counter{0};
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  uint64_t x = (static_cast<uint64_t>(GetCurrentProcessId()) << 32) ^
               static_cast<uint64_t>(now.QuadPart) ^
               (static_cast<uint64_t>(counter.fetch_add(1)) * 0x9E3779B97F4A7C15ull);
  // splitmix64 finaliser: spreads nearby inputs over the whole range.
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return static_cast<uint32_t>(x);
}

}  // namespace

bool CMappedFile::Open(const std::string& path) {
  Close();
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open, which is what we want.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > std::numeric_limits<size_t>::max()) {
    CloseHandle(file);
    return false;
  }
  if (size.QuadPart == 0) {
    // CreateFileMapping refuses empty files.
    data_ = kEmptyView;
    file_ = FromHandle(file);
    return true;
  }
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!mapping) {
    CloseHandle(file);
    return false;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (!view) {
    CloseHandle(mapping);
    CloseHandle(file);
    return false;
  }
  data_ = static_cast<const uint8_t*>(view);
  size_ = static_cast<size_t>(size.QuadPart);
  file_ = FromHandle(file);
  mapping_ = FromHandle(mapping);
  return true;
}

void CMappedFile::Close() {
  if (data_ && data_ != kEmptyView) UnmapViewOfFile(data_);
  if (mapping_ != kNoHandle) CloseHandle(ToHandle(mapping_));
  if (file_ != kNoHandle) CloseHandle(ToHandle(file_));
  data_ = nullptr;
  size_ = 0;
  file_ = kNoHandle;
  mapping_ = kNoHandle;
}

bool PathExists(const std::string& path) {
  return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out) {
  out->clear();
  // Same sharing as the C runtime's fopen: others may keep reading and writing.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 ||
      static_cast<uint64_t>(size.QuadPart) > std::numeric_limits<size_t>::max() / 2) {
    CloseHandle(file);
    return false;
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
  size_t filled = 0;
  bool ok = true;
  while (filled < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - filled, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file, bytes.data() + filled, chunk, &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;  // the file shrank meanwhile
    filled += got;
  }
  CloseHandle(file);
  if (!ok) return false;
  bytes.resize(filled);
  out->swap(bytes);
  return true;
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  // CREATE_ALWAYS would refuse existing hidden or system files; open and truncate instead, which
  // also keeps an existing file's attributes.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = SetEndOfFile(file) != 0;
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  while (ok && left > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    p += written;
    left -= written;
  }
  if (!CloseHandle(file)) ok = false;
  return ok;
}

bool GetFileFlags(const std::string& path, FileFlags* out) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  out->read_only = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  out->hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
  return true;
}

bool SetFileReadOnly(const std::string& path, bool read_only) {
  return ChangeAttribute(path, FILE_ATTRIBUTE_READONLY, read_only);
}

bool SetFileHidden(const std::string& path, bool hidden) {
  return ChangeAttribute(path, FILE_ATTRIBUTE_HIDDEN, hidden);
}

bool HasHiddenAttribute() {
  return true;
}

bool RemoveFile(const std::string& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  // DeleteFile refuses read-only files.
  bool cleared = false;
  if (attributes & FILE_ATTRIBUTE_READONLY) {
    DWORD rest = attributes & kSettable & ~FILE_ATTRIBUTE_READONLY;
    if (!SetFileAttributesA(path.c_str(), rest ? rest : FILE_ATTRIBUTE_NORMAL)) return false;
    cleared = true;
  }
  if (DeleteFileA(path.c_str())) return true;
  if (cleared) SetFileAttributesA(path.c_str(), attributes & kSettable);
  return false;
}

bool CreateFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && IsDirectory(path);
}

std::string TempFolder() {
  std::string folder(MAX_PATH + 1, '\0');
  DWORD n = GetTempPathA(static_cast<DWORD>(folder.size()), &folder[0]);
  if (n > folder.size()) {
    folder.assign(n, '\0');
    n = GetTempPathA(n, &folder[0]);
  }
  if (n == 0 || n > folder.size()) return ".\\";
  folder.resize(n);
  if (folder.back() != '\\' && folder.back() != '/') folder += '\\';
  return folder;
}

bool MakeTempFile(const std::string& prefix, std::string* path) {
  std::string folder = TempFolder();
  static const char kHex[] = "0123456789ABCDEF";
  for (int attempt = 0; attempt < 100; ++attempt) {
    uint32_t value = UniqueValue();
    std::string name = folder + prefix;
    for (int shift = 28; shift >= 0; shift -= 4) name += kHex[(value >> shift) & 0xF];
    name += ".tmp";
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      *path = name;
      return true;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool FindFiles(const std::string& pattern, std::vector<std::string>* names) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) {
    // No match in a readable folder is not a failure.
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
  }
  std::vector<std::string> found;
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
      found.emplace_back(data.cFileName);
    }
  } while (FindNextFileA(search, &data));
  FindClose(search);
  names->insert(names->end(), found.begin(), found.end());
  return true;
}

}  // namespace vexa::platform
