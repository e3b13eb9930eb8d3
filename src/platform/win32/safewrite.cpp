#include "platform/safewrite.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

namespace vexa::platform {

namespace {

bool WriteAll(HANDLE file, const void* data, size_t size) {
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(left, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0) return false;
    p += written;
    left -= written;
  }
  return true;
}

}  // namespace

bool IsRootedPath(const std::string& path) {
  if (path.empty()) return false;
  if (path[0] == '/' || path[0] == '\\') return true;
  const char c = path[0];
  return path.size() >= 2 && path[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

bool WriteFileReplacing(const std::string& path, const void* data, size_t size) {
  if (path.empty() || (size > 0 && !data)) return false;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = path + ".~" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(counter++) +
           ".tmp";
    file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      return false;
    }
  }
  if (file == INVALID_HANDLE_VALUE) return false;

  bool ok = WriteAll(file, data, size);
  if (ok) ok = FlushFileBuffers(file) != 0;
  if (!CloseHandle(file)) ok = false;
  if (ok) {
    ok = MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace vexa::platform
