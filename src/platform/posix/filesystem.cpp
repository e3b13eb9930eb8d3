#include "platform/filesystem.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/posix/native_path.h"

namespace vexa::platform {

namespace {

using posix::NativePath;

int OpenRetrying(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class CPosixFileSystem : public IFileSystem {
 public:
  FileReadStatus ReadFile(const std::string& path, uint64_t max_size,
                          std::vector<uint8_t>* out) override {
    out->clear();
    const int fd = OpenRetrying(NativePath(path), O_RDONLY | O_NONBLOCK);
    if (fd < 0) {
      // ENOTDIR: a part of the path is a file, so nothing of that name can exist.
      return (errno == ENOENT || errno == ENOTDIR) ? FileReadStatus::kMissing
                                                   : FileReadStatus::kUnreadable;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return FileReadStatus::kUnreadable;
    }
    if (static_cast<uint64_t>(st.st_size) > max_size) {
      ::close(fd);
      return FileReadStatus::kTooLarge;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
    size_t filled = 0;
    bool ok = true;
    while (filled < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;  // an error, or the file shrank while we read it
        break;
      }
      filled += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok) return FileReadStatus::kUnreadable;
    out->swap(bytes);
    return FileReadStatus::kOk;
  }

  bool CreateNew(const std::string& path, FileHandle* file) override {
    *file = kNoFile;
    const int fd = OpenRetrying(NativePath(path), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return false;
    *file = fd;
    return true;
  }

  bool Write(FileHandle file, const void* data, size_t size, size_t* written) override {
    *written = 0;
    const char* p = static_cast<const char*>(data);
    while (*written < size) {
      const ssize_t n = ::write(static_cast<int>(file), p + *written, size - *written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      *written += static_cast<size_t>(n);
    }
    return true;
  }

  bool Flush(FileHandle file) override { return ::fsync(static_cast<int>(file)) == 0; }

  bool Close(FileHandle file) override {
    // No retry on EINTR: the descriptor is released either way on Linux.
    return ::close(static_cast<int>(file)) == 0;
  }

  bool Replace(const std::string& from, const std::string& to) override {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
  }

  bool SyncFolder(const std::string& folder) override {
    const int fd = OpenRetrying(folder.empty() ? std::string(".") : NativePath(folder),
                                O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
  }

  bool Remove(const std::string& path) override {
    const std::string native = NativePath(path);
    if (::unlink(native.c_str()) == 0) return true;
    return errno == ENOENT || errno == ENOTDIR;
  }

  bool Exists(const std::string& path) override {
    struct stat st;
    return ::lstat(NativePath(path).c_str(), &st) == 0;
  }

  bool ListFolder(const std::string& folder, std::vector<std::string>* names) override {
    const std::string native = folder.empty() ? std::string(".") : NativePath(folder);
    DIR* dir = ::opendir(native.c_str());
    if (!dir) return false;
    std::vector<std::string> found;
    while (struct dirent* entry = ::readdir(dir)) {
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      struct stat st;
      const std::string full = native + "/" + name;
      if (::lstat(full.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) continue;
      found.emplace_back(name);
    }
    ::closedir(dir);
    names->insert(names->end(), found.begin(), found.end());
    return true;
  }

  bool CreateFolder(const std::string& path) override {
    const std::string native = NativePath(path);
    if (::mkdir(native.c_str(), 0777) == 0) return true;
    struct stat st;
    return errno == EEXIST && ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }
};

}  // namespace

IFileSystem& NativeFileSystem() {
  // Never destroyed: the save writer may still use it while static objects are torn down.
  static CPosixFileSystem* instance = new CPosixFileSystem();
  return *instance;
}

bool HoldFileLocked(const std::string&, FileHandle* lock) {
  *lock = kNoFile;
  return false;
}

void ReleaseFileLock(FileHandle) {}

uint32_t CurrentProcessId() {
  return static_cast<uint32_t>(::getpid());
}

}  // namespace vexa::platform
