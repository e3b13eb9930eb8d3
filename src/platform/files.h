// Files and folders of the host OS.
//
// Paths are narrow strings in the process's ANSI code page (Windows) or the file system's bytes
// (POSIX). Both '/' and '\\' separate folders on every OS: the portable code builds Windows-style
// paths, so the POSIX side reads a backslash as '/' (names containing a backslash cannot be
// reached there). Relative paths are relative to the current directory (platform/process.h).
// No function here throws; failures are reported by the return value and leave outputs as
// documented.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vexa::platform {

// A read-only view of a whole file, kept until Close() or destruction. While open, the file is
// held open with read sharing: other readers may open it, writers and deleters may be refused
// (Windows). The bytes must not be written through Data().
class CMappedFile {
 public:
  CMappedFile() = default;
  ~CMappedFile();
  CMappedFile(const CMappedFile&) = delete;
  CMappedFile& operator=(const CMappedFile&) = delete;
  CMappedFile(CMappedFile&& other) noexcept;
  CMappedFile& operator=(CMappedFile&& other) noexcept;

  // Maps the existing file `path`. Closes any file mapped before. Returns false, with the object
  // closed, when the file cannot be opened, is a folder, is too large for the address space or
  // cannot be mapped. An empty file maps successfully: Size() is 0 and Data() is a valid non-null
  // pointer that must not be dereferenced.
  bool Open(const std::string& path);
  // Unmaps the view and releases the file. Harmless when nothing is mapped.
  void Close();

  bool IsOpen() const { return data_ != nullptr; }
  // The mapped bytes, or null when closed.
  const uint8_t* Data() const { return data_; }
  // Size in bytes, 0 when closed.
  size_t Size() const { return size_; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  // OS handles: a file descriptor (POSIX) or the file and file-mapping handles (Windows).
  intptr_t file_ = -1;
  intptr_t mapping_ = -1;
};

// True when `path` names an existing file or folder.
bool PathExists(const std::string& path);
// True when `path` names an existing folder.
bool IsDirectory(const std::string& path);

// Reads the whole file into `out` (replacing its contents). Returns false, with `out` empty, when
// the file cannot be opened or read completely, or is a folder. An empty file gives true and an
// empty `out`.
bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* out);
// Creates or truncates `path` and writes `size` bytes. Returns false when the file cannot be
// created (missing folder, read-only file) or not every byte was written; a partly written file
// is left in place.
bool WriteFileBytes(const std::string& path, const void* data, size_t size);

struct FileFlags {
  bool read_only = false;
  bool hidden = false;
};

// Reads the attributes of a file or folder. Returns false, leaving `out` unchanged, when the path
// does not exist. On POSIX a file is read-only when nobody may write it and hidden when its name
// starts with '.'.
bool GetFileFlags(const std::string& path, FileFlags* out);
// Sets or clears the read-only attribute (POSIX: the write permission bits). Returns false when
// the path does not exist or the attribute cannot be changed.
bool SetFileReadOnly(const std::string& path, bool read_only);
// Sets or clears the hidden attribute. POSIX has no such attribute: there the call only checks
// that the path exists and reports success without a change (see HasHiddenAttribute()).
bool SetFileHidden(const std::string& path, bool hidden);
// True when SetFileHidden really changes what GetFileFlags reports (Windows).
bool HasHiddenAttribute();

// Deletes a file, also when it is read-only. Returns false when it does not exist, is a folder or
// cannot be deleted (for example while another process holds it open on Windows); a read-only file
// that could not be deleted keeps its read-only attribute.
bool RemoveFile(const std::string& path);

// Creates one folder (the parent must exist). Returns true when the folder exists afterwards,
// including when it existed before; false when the path is a file or creation fails.
bool CreateFolder(const std::string& path);

// The folder for temporary files, with a trailing separator ("C:\\...\\Temp\\" on Windows, from
// TMPDIR or "/tmp/" on POSIX). Never empty.
std::string TempFolder();

// Creates a new, empty file with a unique name in TempFolder(): the prefix, then a unique part,
// then ".tmp". The file is created exclusively, so two callers (also in different processes) never
// get the same name. Returns false, with `path` unchanged, when no file could be created.
// The caller owns the file and deletes it (RemoveFile).
bool MakeTempFile(const std::string& prefix, std::string* path);

// Names of the entries of one folder whose names match a pattern, like a Windows directory search:
// `pattern` is a folder path followed by a name pattern with '*' (any run of characters) and '?'
// (one character), e.g. "Addons\\*.vxa". Letters match ignoring ASCII case on every OS. Folders
// that match are listed like files; "." and ".." are never listed. Names only, without the folder,
// in the order the file system gives them, appended to `names`. Returns false, with `names`
// unchanged, when the folder cannot be read; true and an unchanged list when nothing matches.
bool FindFiles(const std::string& pattern, std::vector<std::string>* names);

}  // namespace vexa::platform
