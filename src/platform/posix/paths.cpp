#include "platform/paths.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>
#include <new>
#include <vector>

#include "platform/posix/native_path.h"
#include "platform/process.h"

namespace vexa::platform {

bool GetFullPath(const std::string& path, std::string* full) {
  if (path.empty() || !full) return false;
  std::string p = posix::NativePath(path);
  if (p[0] != '/') {
    std::string cwd = GetWorkingDirectory();
    if (cwd.empty()) return false;
    p = cwd + "/" + p;
  }
  std::vector<std::string> segments;
  size_t start = 0;
  while (start <= p.size()) {
    size_t end = p.find('/', start);
    if (end == std::string::npos) end = p.size();
    std::string segment = p.substr(start, end - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& segment : segments) out += "/" + segment;
  *full = out.empty() ? std::string("/") : out;
  return true;
}

bool IsPathInFolder(const std::string& fullPath, const std::string& fullFolder) {
  if (fullFolder.empty() || fullPath.size() <= fullFolder.size()) return false;
  if (fullPath.compare(0, fullFolder.size(), fullFolder) != 0) return false;
  return fullFolder.back() == '/' || fullPath[fullFolder.size()] == '/';
}

std::string DiskPathFromUrlPath(const std::string& urlPath) {
  if (!urlPath.empty() && (urlPath[0] == '/' || urlPath[0] == '\\')) return urlPath;
  return "/" + urlPath;
}

bool ReadPlainFile(const std::string& path, uint8_t** data, int32_t* size) {
  if (!data || !size) return false;
  *data = nullptr;
  *size = 0;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  int fd;
  do {
    fd = ::open(posix::NativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
      st.st_size > std::numeric_limits<int32_t>::max()) {
    ::close(fd);
    return false;
  }
  const size_t length = static_cast<size_t>(st.st_size);
  uint8_t* block = new (std::nothrow) uint8_t[length > 0 ? length : 1];
  if (!block) {
    ::close(fd);
    return false;
  }
  size_t filled = 0;
  while (filled < length) {
    ssize_t n = ::read(fd, block + filled, length - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  // A file that grew meanwhile still reads as the size we allocated for; one that shrank fails.
  ::close(fd);
  if (filled != length) {
    delete[] block;
    return false;
  }
  *data = block;
  *size = static_cast<int32_t>(length);
  return true;
}

}  // namespace vexa::platform
