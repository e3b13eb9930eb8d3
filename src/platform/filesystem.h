// IFileSystem: the file operations the data stores use, one call per step of a write, so that a
// test can fail any step on purpose (disk full, a short write, a crash between two steps) and prove
// that no data is lost. The stores never call the OS for their files in any other way.
//
// NativeFileSystem() is the OS implementation. Paths are UTF-8 on every OS (Windows converts them
// to UTF-16 and calls the wide functions, so a user profile the ANSI code page cannot spell works);
// '/' and '\\' both separate folders, as in platform/files.h. Nothing here throws.
//
// Threading: the native implementation keeps no state and may be called from any thread at once
// (the save writer runs on a thread of its own). Decorators used by tests guard themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::platform {

// What ReadFile found.
enum class FileReadStatus {
  kOk,          // the whole file was read
  kMissing,     // neither the file nor (possibly) its folder exists
  kUnreadable,  // something exists under that name but could not be read: locked by another
                // program, no access, a folder, an I/O error. Never treat this as missing: writing
                // over it would destroy what could not be read.
  kTooLarge,    // the file is larger than the limit the caller gave; nothing was read
};

// An open file of CreateNew (a descriptor or a Windows handle). kNoFile when none.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

class IFileSystem {
 public:
  virtual ~IFileSystem() = default;

  // Reads the whole file into `out` (replaced). A file larger than `max_size` bytes gives kTooLarge
  // without reading it. On anything but kOk `out` is empty.
  virtual FileReadStatus ReadFile(const std::string& path, uint64_t max_size,
                                  std::vector<uint8_t>* out) = 0;

  // Creates `path` as a new, empty file open for writing, exclusively: fails (false, *file kNoFile)
  // when anything of that name exists already, so two writers never share a file.
  virtual bool CreateNew(const std::string& path, FileHandle* file) = 0;
  // Writes up to `size` bytes at the end of the file; *written (never null) receives how many
  // arrived. False when the write failed (disk full, I/O error); *written may then be above 0.
  virtual bool Write(FileHandle file, const void* data, size_t size, size_t* written) = 0;
  // Makes the written bytes durable (fsync, FlushFileBuffers). False when the OS reports a failure.
  virtual bool Flush(FileHandle file) = 0;
  // Closes the file. The handle is released even when false is returned (a deferred write error).
  virtual bool Close(FileHandle file) = 0;

  // Puts the file `from` in the place of `to` in one step: `to` is replaced if it exists, and a
  // reader of `to` sees either its old or its new content, never a mix or nothing (rename;
  // MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH). Both must be in the same
  // folder. A read-only `to` is replaced as well (the stores own their files). False, with both
  // files as they were, when the OS refuses.
  virtual bool Replace(const std::string& from, const std::string& to) = 0;
  // Makes the folder's entries (a rename, a new file) durable: fsync of the folder on POSIX.
  // Windows has nothing to do (MOVEFILE_WRITE_THROUGH did it) and returns true.
  virtual bool SyncFolder(const std::string& folder) = 0;

  // Deletes the file (also a read-only one). True when no file of that name exists afterwards,
  // including when there was none; false when it exists and could not be deleted.
  virtual bool Remove(const std::string& path) = 0;
  // True when a file or folder of that name exists.
  virtual bool Exists(const std::string& path) = 0;
  // The names (UTF-8, without the folder) of the files in `folder`, appended to `names`; folders
  // and "." / ".." are not listed. False when the folder cannot be read.
  virtual bool ListFolder(const std::string& folder, std::vector<std::string>* names) = 0;
  // Creates one folder (the parent must exist). True when the folder exists afterwards.
  virtual bool CreateFolder(const std::string& path) = 0;
};

// The OS file system. A process-wide object that is never destroyed.
IFileSystem& NativeFileSystem();

// Opens the existing file `path` so that, while *lock is held, nobody else can open it, the way
// another program that holds a file does (Windows: a handle without sharing). POSIX has no such
// lock against readers: false there. For tests of files the player finds locked.
bool HoldFileLocked(const std::string& path, FileHandle* lock);
// Releases a lock of HoldFileLocked.
void ReleaseFileLock(FileHandle lock);

// The id of the running process (getpid, GetCurrentProcessId): it makes temporary file names of
// different processes differ.
uint32_t CurrentProcessId();

}  // namespace vexa::platform
