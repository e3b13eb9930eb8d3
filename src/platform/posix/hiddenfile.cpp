#include "platform/hiddenfile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/native_path.h"

namespace vexa::platform {

bool WriteHiddenFile(const std::string& path, const void* data, size_t size) {
  const std::string native = posix::NativePath(path);
  const int fd = open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  const char* bytes = static_cast<const char*>(data);
  bool ok = true;
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    bytes += n;
    size -= static_cast<size_t>(n);
  }
  if (fchmod(fd, S_IRUSR | S_IRGRP | S_IROTH) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  return ok;
}

}  // namespace vexa::platform
