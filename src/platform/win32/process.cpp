#include "platform/process.h"

#include <windows.h>

#include <vector>

namespace vexa::platform {

std::string ExecutablePath() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    // A result that fills the buffer may have been cut off.
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 65536) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() {
  std::string path = ExecutablePath();
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetWorkingDirectory() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  for (int attempt = 0; needed != 0 && attempt < 3; ++attempt) {
    std::vector<char> buffer(needed);
    DWORD n = GetCurrentDirectoryA(needed, buffer.data());
    if (n == 0) break;
    if (n < needed) return std::string(buffer.data(), n);
    needed = n;  // changed meanwhile by another thread
  }
  return std::string();
}

bool SetWorkingDirectory(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

}  // namespace vexa::platform
