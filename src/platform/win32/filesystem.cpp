#include "platform/filesystem.h"

#include <windows.h>

#include "platform/codepage.h"

namespace vexa::platform {

namespace {

std::wstring Wide(const std::string& utf8) {
  std::wstring path = Utf8ToWide(utf8);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  return path;
}

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

bool IsMissingError(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Clears the read-only attribute of `path` when it is set. True when it was set and is now clear.
bool ClearReadOnly(const std::wstring& path, DWORD* old_attributes) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY))
    return false;
  *old_attributes = attributes;
  DWORD cleared = attributes & ~FILE_ATTRIBUTE_READONLY;
  if (cleared == 0) cleared = FILE_ATTRIBUTE_NORMAL;
  return SetFileAttributesW(path.c_str(), cleared) != 0;
}

class CWin32FileSystem : public IFileSystem {
 public:
  FileReadStatus ReadFile(const std::string& path, uint64_t max_size,
                          std::vector<uint8_t>* out) override {
    out->clear();
    // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open: it reads as unreadable.
    HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return IsMissingError(GetLastError()) ? FileReadStatus::kMissing
                                            : FileReadStatus::kUnreadable;
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || GetFileType(file) != FILE_TYPE_DISK) {
      CloseHandle(file);
      return FileReadStatus::kUnreadable;
    }
    if (static_cast<uint64_t>(size.QuadPart) > max_size) {
      CloseHandle(file);
      return FileReadStatus::kTooLarge;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size.QuadPart));
    size_t filled = 0;
    bool ok = true;
    while (filled < bytes.size()) {
      const size_t left = bytes.size() - filled;
      const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD got = 0;
      if (!::ReadFile(file, bytes.data() + filled, want, &got, nullptr) || got == 0) {
        ok = false;
        break;
      }
      filled += got;
    }
    CloseHandle(file);
    if (!ok) return FileReadStatus::kUnreadable;
    out->swap(bytes);
    return FileReadStatus::kOk;
  }

  bool CreateNew(const std::string& path, FileHandle* file) override {
    *file = kNoFile;
    HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    *file = reinterpret_cast<FileHandle>(handle);
    return true;
  }

  bool Write(FileHandle file, const void* data, size_t size, size_t* written) override {
    *written = 0;
    const char* p = static_cast<const char*>(data);
    while (*written < size) {
      const size_t left = size - *written;
      const DWORD want = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
      DWORD put = 0;
      if (!WriteFile(ToHandle(file), p + *written, want, &put, nullptr) || put == 0) return false;
      *written += put;
    }
    return true;
  }

  bool Flush(FileHandle file) override { return FlushFileBuffers(ToHandle(file)) != 0; }

  bool Close(FileHandle file) override { return CloseHandle(ToHandle(file)) != 0; }

  bool Replace(const std::string& from, const std::string& to) override {
    const std::wstring source = Wide(from);
    const std::wstring target = Wide(to);
    constexpr DWORD kFlags = MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH;
    if (MoveFileExW(source.c_str(), target.c_str(), kFlags)) return true;
    // A read-only target (for example a copy that kept its source's attribute) cannot be
    // replaced; the stores own their files, so the attribute goes.
    DWORD attributes = 0;
    if (GetLastError() != ERROR_ACCESS_DENIED || !ClearReadOnly(target, &attributes)) return false;
    if (MoveFileExW(source.c_str(), target.c_str(), kFlags)) return true;
    SetFileAttributesW(target.c_str(), attributes);
    return false;
  }

  bool SyncFolder(const std::string&) override { return true; }

  bool Remove(const std::string& path) override {
    const std::wstring target = Wide(path);
    if (DeleteFileW(target.c_str())) return true;
    DWORD error = GetLastError();
    if (IsMissingError(error)) return true;
    DWORD attributes = 0;
    if (error != ERROR_ACCESS_DENIED || !ClearReadOnly(target, &attributes)) return false;
    if (DeleteFileW(target.c_str())) return true;
    SetFileAttributesW(target.c_str(), attributes);
    return false;
  }

  bool Exists(const std::string& path) override {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool ListFolder(const std::string& folder, std::vector<std::string>* names) override {
    std::wstring pattern = Wide(folder.empty() ? std::string(".") : folder);
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    std::vector<std::string> list;
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      list.push_back(WideToUtf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    names->insert(names->end(), list.begin(), list.end());
    return true;
  }

  bool CreateFolder(const std::string& path) override {
    const std::wstring folder = Wide(path);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  }
};

}  // namespace

IFileSystem& NativeFileSystem() {
  // Never destroyed: the save writer may still use it while static objects are torn down.
  static CWin32FileSystem* instance = new CWin32FileSystem();
  return *instance;
}

bool HoldFileLocked(const std::string& path, FileHandle* lock) {
  *lock = kNoFile;
  HANDLE handle = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  *lock = reinterpret_cast<FileHandle>(handle);
  return true;
}

void ReleaseFileLock(FileHandle lock) {
  if (lock != kNoFile) CloseHandle(ToHandle(lock));
}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(GetCurrentProcessId());
}

}  // namespace vexa::platform
