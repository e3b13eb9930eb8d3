#include "platform/shell.h"

#include <climits>
#include <cstdlib>

#include "platform/posix/native_path.h"

namespace vexa::platform {

bool ShellOpen(const std::string& target) {
  // Nothing to hand the request to: a desktop launcher is not part of the POSIX builds.
  (void)target;
  return false;
}

bool ResolveShellPath(const std::string& path, std::string* resolved) {
  if (path.empty() || !resolved) return false;
  char* real = ::realpath(posix::NativePath(path).c_str(), nullptr);
  if (!real) return false;
  *resolved = real;
  std::free(real);
  return true;
}

bool IsShellDangerousType(const std::string& extension) {
  (void)extension;
  return false;
}

}  // namespace vexa::platform
