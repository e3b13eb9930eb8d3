#include "platform/paths.h"

#include <windows.h>

#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "platform/ascii.h"
#include "platform/devicename.h"

namespace vexa::platform {

namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

bool HasDeviceSegment(const std::string& path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    if (end > start && IsDeviceName(std::string_view(path).substr(start, end - start))) return true;
    start = end + 1;
  }
  return false;
}

bool IsDeviceNamespace(const std::string& path) {
  // "\\.\", "\\?\" and the NT form "\??\", in either separator spelling.
  if (path.size() < 4) return false;
  const bool leadTwo = IsSeparator(path[0]) && IsSeparator(path[1]) &&
                       (path[2] == '.' || path[2] == '?') && IsSeparator(path[3]);
  const bool ntForm =
      IsSeparator(path[0]) && path[1] == '?' && path[2] == '?' && IsSeparator(path[3]);
  return leadTwo || ntForm;
}

}  // namespace

bool GetFullPath(const std::string& path, std::string* full) {
  if (path.empty() || !full) return false;
  if (path.find('\0') != std::string::npos || IsDeviceNamespace(path)) return false;
  // A colon is only a drive letter's; anywhere else it names an alternate data stream.
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] != ':') continue;
    const char drive = path[0];
    const bool isDrive =
        i == 1 && ((drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z'));
    if (!isDrive) return false;
  }
  if (HasDeviceSegment(path)) return false;

  DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return false;
  std::vector<char> buffer(static_cast<size_t>(needed) + 1);
  DWORD written =
      GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (written == 0 || written >= buffer.size()) return false;
  std::string out(buffer.data(), written);
  if (IsDeviceNamespace(out) || HasDeviceSegment(out)) return false;
  for (char& c : out)
    if (c == '/') c = '\\';
  // Keep the separator of a root ("C:\"), drop any other trailing one.
  while (out.size() > 3 && out.back() == '\\') out.pop_back();
  *full = out;
  return true;
}

bool IsPathInFolder(const std::string& fullPath, const std::string& fullFolder) {
  if (fullFolder.empty() || fullPath.size() <= fullFolder.size()) return false;
  for (size_t i = 0; i < fullFolder.size(); ++i) {
    const char a = ToLowerAscii(fullPath[i]);
    const char b = ToLowerAscii(fullFolder[i]);
    if (a != b && !(IsSeparator(a) && IsSeparator(b))) return false;
  }
  return IsSeparator(fullFolder.back()) || IsSeparator(fullPath[fullFolder.size()]);
}

std::string DiskPathFromUrlPath(const std::string& urlPath) {
  return urlPath;
}

bool ReadPlainFile(const std::string& path, uint8_t** data, int32_t* size) {
  if (!data || !size) return false;
  *data = nullptr;
  *size = 0;
  if (path.empty() || StartsWithNoCaseAscii(path, "\\\\?\\")) return false;
  // Sharing as the C library's fopen grants it, so a file another thread is writing still reads.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER length = {};
  // Consoles, printers, pipes and the like are not files; reading them could block for ever.
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileSizeEx(file, &length) || length.QuadPart < 0 ||
      length.QuadPart > std::numeric_limits<int32_t>::max()) {
    CloseHandle(file);
    return false;
  }
  const DWORD total = static_cast<DWORD>(length.QuadPart);
  uint8_t* block = new (std::nothrow) uint8_t[total > 0 ? total : 1];
  if (!block) {
    CloseHandle(file);
    return false;
  }
  DWORD filled = 0;
  while (filled < total) {
    DWORD got = 0;
    if (!ReadFile(file, block + filled, total - filled, &got, nullptr) || got == 0) break;
    filled += got;
  }
  CloseHandle(file);
  if (filled != total) {
    delete[] block;
    return false;
  }
  *data = block;
  *size = static_cast<int32_t>(total);
  return true;
}

}  // namespace vexa::platform
