#include "platform/files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <limits>
#include <utility>

#include "platform/ascii.h"
#include "platform/posix/native_path.h"

namespace vexa::platform {

using posix::NativePath;

namespace {

// Empty files cannot be mapped; they get a valid address that holds nothing.
const uint8_t kEmptyView[1] = {0};

int OpenForReading(const std::string& path) {
  int fd;
  do {
    fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

void CloseFd(int fd) {
  if (fd >= 0) ::close(fd);
}

bool StatPath(const std::string& path, struct stat* st) {
  return ::stat(NativePath(path).c_str(), st) == 0;
}

// Windows-style name matching: '*' any run, '?' one character, ASCII letters without case.
bool MatchName(const char* pattern, const char* name) {
  const char* star = nullptr;  // last '*' seen, for backtracking
  const char* resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && ToLowerAscii(*pattern) == ToLowerAscii(*name))) {
      ++pattern;
      ++name;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

}  // namespace

bool CMappedFile::Open(const std::string& path) {
  Close();
  int fd = OpenForReading(path);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<uint64_t>(st.st_size) > std::numeric_limits<size_t>::max()) {
    CloseFd(fd);
    return false;
  }
  size_t size = static_cast<size_t>(st.st_size);
  if (size == 0) {
    data_ = kEmptyView;
    file_ = fd;
    return true;
  }
  void* view = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (view == MAP_FAILED) {
    CloseFd(fd);
    return false;
  }
  data_ = static_cast<const uint8_t*>(view);
  size_ = size;
  file_ = fd;  // kept open while mapped, like the Windows side
  return true;
}

void CMappedFile::Close() {
  if (data_ && data_ != kEmptyView) ::munmap(const_cast<uint8_t*>(data_), size_);
  CloseFd(static_cast<int>(file_));
  data_ = nullptr;
  size_ = 0;
  file_ = -1;
  mapping_ = -1;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return StatPath(path, &st);
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return StatPath(path, &st) && S_ISDIR(st.st_mode);
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out) {
  out->clear();
  int fd = OpenForReading(path);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    CloseFd(fd);
    return false;
  }
  // Read to the end rather than trusting the size: files in /proc and growing files differ.
  std::vector<uint8_t> bytes(st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0);
  size_t filled = 0;
  for (;;) {
    if (filled == bytes.size()) bytes.resize(bytes.size() + 4096);
    ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      CloseFd(fd);
      return false;
    }
    if (n == 0) break;
    filled += static_cast<size_t>(n);
  }
  CloseFd(fd);
  bytes.resize(filled);
  out->swap(bytes);
  return true;
}

bool WriteFileBytes(const std::string& path, const void* data, size_t size) {
  int fd;
  do {
    fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  size_t left = size;
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      CloseFd(fd);
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return ::close(fd) == 0;
}

bool GetFileFlags(const std::string& path, FileFlags* out) {
  struct stat st;
  if (!StatPath(path, &st)) return false;
  std::string native = NativePath(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  size_t slash = native.rfind('/');
  std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
  out->read_only = (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  out->hidden = name.size() > 1 && name[0] == '.' && name != "..";
  return true;
}

bool SetFileReadOnly(const std::string& path, bool read_only) {
  struct stat st;
  if (!StatPath(path, &st)) return false;
  mode_t mode = st.st_mode & 07777;
  mode = read_only ? (mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  return ::chmod(NativePath(path).c_str(), mode) == 0;
}

bool SetFileHidden(const std::string& path, bool) {
  return PathExists(path);
}

bool HasHiddenAttribute() {
  return false;
}

bool RemoveFile(const std::string& path) {
  struct stat st;
  std::string native = NativePath(path);
  if (::lstat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  // POSIX lets the folder's owner delete read-only files; nothing to clear first.
  return ::unlink(native.c_str()) == 0;
}

bool CreateFolder(const std::string& path) {
  if (::mkdir(NativePath(path).c_str(), 0777) == 0) return true;
  return errno == EEXIST && IsDirectory(path);
}

std::string TempFolder() {
  std::string folder;
  const char* env = ::getenv("TMPDIR");
  if (env && *env && IsDirectory(env)) {
    folder = env;
  } else {
    folder = "/tmp";
  }
  if (folder.back() != '/') folder += '/';
  return folder;
}

bool MakeTempFile(const std::string& prefix, std::string* path) {
  static const char kSuffix[] = ".tmp";
  std::string name = TempFolder() + NativePath(prefix) + "XXXXXX" + kSuffix;
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  int fd = ::mkostemps(buffer.data(), sizeof(kSuffix) - 1, O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  path->assign(buffer.data());
  return true;
}

bool FindFiles(const std::string& pattern, std::vector<std::string>* names) {
  std::string native = NativePath(pattern);
  size_t slash = native.rfind('/');
  std::string folder = slash == std::string::npos ? "." : native.substr(0, slash + 1);
  std::string name_pattern = slash == std::string::npos ? native : native.substr(slash + 1);
  // "*.*" is the Windows spelling of "everything", also names without a dot.
  if (name_pattern == "*.*") name_pattern = "*";
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return false;
  std::vector<std::string> found;
  while (struct dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    if (MatchName(name_pattern.c_str(), name)) found.emplace_back(name);
  }
  ::closedir(dir);
  names->insert(names->end(), found.begin(), found.end());
  return true;
}

}  // namespace vexa::platform
