#include "platform/process.h"

#include <errno.h>
#include <unistd.h>

#include <vector>

#include "platform/posix/native_path.h"

namespace vexa::platform {

std::string ExecutablePath() {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    // readlink truncates silently; a full buffer may be a cut-off name.
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 65536) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string ExecutableFolder() {
  std::string path = ExecutablePath();
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string GetWorkingDirectory() {
  std::vector<char> buffer(256);
  for (;;) {
    if (::getcwd(buffer.data(), buffer.size())) return std::string(buffer.data());
    if (errno != ERANGE || buffer.size() >= 65536) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool SetWorkingDirectory(const std::string& path) {
  return ::chdir(posix::NativePath(path).c_str()) == 0;
}

}  // namespace vexa::platform
