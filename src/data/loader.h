// The file loader: the one way the game's files are read, from a package or from disk.
//
// Callers name a file by a plain path ("movies/intro.swf"), by a pseudo URL (data/pseudourl.h) or
// by a disk path. The loader looks in the named package first (exact entry name, then name suffix),
// then on disk, and tells the caller the folder URL the file came from, so that relative references
// inside it resolve against the same place.
//
// Confinement. `Load` serves requests that come from game content (the movie's URL requests, script
// includes and data documents), and the movie can ask for any text it likes. Its disk fallback
// therefore only reads files that lie inside the base folder (the executable's folder), after
// resolving "..", "." and the current directory (Windows device names and data streams are refused
// as well); a request for which every disk try was refused fails with E_ACCESSDENIED.
// Package files, named by content as well, are only opened inside the base folder, whichever
// operation asks. `LoadFromDisk` called directly is the host's own tool for full paths it chose
// itself (the protected data files in the user's data folder) and is not confined.
//
// Threading: the loader keeps no mutable state of its own and the package cache it uses guards
// itself; the system calls it from the main window thread.
#pragma once

#include <cstdint>

#include "data/package.h"
#include "data/pseudourl.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"

class CXMLParser;

// Longest path, URL or package name the loader accepts (the longest path Windows can open). Longer
// requests fail at once instead of being copied and scanned.
inline constexpr int kMaxLoaderPathLength = 32767;

// For every operation:
// - Strings are single-byte (ANSI code page) and may be null where stated.
// - On success *data receives a new block of *size bytes that the caller frees with delete[] (a
//   0-byte file gives a non-null 0-byte block). On failure *data is null and *size 0.
// - `baseUrl` is optional (null: not reported). When given it receives the folder URL of the file
//   on success, and is left exactly as it was on failure and in the cases described below.
// - Null `data` or `size` pointers give E_INVALIDARG.
class IFileLoader {
 public:
  // LoadFromPackage(packageName, null password, path, ...); if that fails, the result of
  // LoadFromDisk with the same path, confined to the base folder (see the file comment): E_FAIL
  // when the file is not where the loader may look, E_ACCESSDENIED when it may look nowhere. A
  // package failure is never visible to the caller.
  virtual HRESULT Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
                       const char* packageName) = 0;

  // Reads an entry of a package in the base folder. The package is the one a pseudo URL in `path`
  // names, else `packageName`, else "data.pak"; a null `password` means kPackageDefaultPassword.
  // The entry is looked up by exact name (ignoring ASCII case, either separator) and, failing that,
  // by name suffix in directory order (see loader.cpp). Returns the package cache's status when the
  // package cannot be opened, E_ACCESSDENIED for a package outside the base folder, E_INVALIDARG
  // for a null or overlong path, E_FAIL when no entry matches (an empty request matches nothing) or
  // the entry does not decode.
  virtual HRESULT LoadFromPackage(const char* packageName, const char* password, const char* path,
                                  uint8_t** data, int32_t* size, CSmallStr* baseUrl) = 0;

  // Reads a disk file: the path inside a pseudo URL (absolute for kDiskPackageMarker URLs), else
  // the path relative to the base folder, and failing both the path as given (relative to the
  // current directory). '#' is read as ':'. On success the base URL, when the opened name has a
  // folder, names that folder under kDiskPackageMarker (no trailing separator); otherwise it is
  // left alone. E_INVALIDARG for a null or overlong path, E_FAIL when the file cannot be read.
  virtual HRESULT LoadFromDisk(const char* path, uint8_t** data, int32_t* size,
                               CSmallStr* baseUrl) = 0;

 protected:
  ~IFileLoader() = default;
};

class IFileLoader2 : public IFileLoader {
 protected:
  ~IFileLoader2() = default;
};

class CFileLoader : public IFileLoader2 {
 public:
  // Files and packages are looked up in the executable's folder.
  CFileLoader();
  // Files and packages are looked up in `baseFolder` (either separator; a missing trailing
  // separator is added). Null or empty means the executable's folder. Tests use this to work in a
  // temporary folder.
  explicit CFileLoader(const char* baseFolder);
  virtual ~CFileLoader() = default;

  HRESULT Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
               const char* packageName) override;
  HRESULT LoadFromPackage(const char* packageName, const char* password, const char* path,
                          uint8_t** data, int32_t* size, CSmallStr* baseUrl) override;
  HRESULT LoadFromDisk(const char* path, uint8_t** data, int32_t* size,
                       CSmallStr* baseUrl) override;

  // The folder files are looked up in, with '/' separators and a trailing '/'.
  const CSmallStr& GetBaseFolder() const { return baseFolder_; }
  // The base folder followed directly by `name` (nothing inserted, nothing normalised).
  CSmallStr MakeBasePath(const char* name) const;

 private:
  HRESULT ReadDisk(const char* path, bool confined, uint8_t** data, int32_t* size,
                   CSmallStr* baseUrl);
  // True when `fileName` (relative names against the current directory) lies inside the base
  // folder once "." and ".." are resolved, and names nothing but a plain file path.
  bool IsInsideBaseFolder(const CSmallStr& fileName) const;

  CSmallStr baseFolder_;
};

// The folder of the running executable with '/' separators and a trailing '/', or "" when the
// executable's file name cannot be obtained.
CSmallStr GetExecutableFolder();

// GetExecutableFolder() followed directly by `name` (nothing inserted, nothing normalised; a null
// name counts as empty).
CSmallStr MakeExecutablePath(const char* name);

// Reads the whole file `fileName` (either separator) into a new block freed with delete[]. A 0-byte
// file gives a non-null 0-byte block. E_FAIL when the file cannot be opened, is not a plain file,
// is larger than 2 GiB - 1 or cannot be read completely; E_INVALIDARG for null arguments. On
// failure *data is null and *size 0.
HRESULT ReadWholeFile(const char* fileName, uint8_t** data, int32_t* size);

// Reads `path` through loader->Load (with `packageName` passed on unchanged) and parses it into
// `parser`. Every element outside "ifdef" blocks gets the hidden attribute "__base__" holding the
// file's folder URL (backslash separators, trailing backslash unless empty), and every attribute
// named "url" (ASCII case ignored) is resolved against that folder. The annotation is applied to
// whatever was parsed even when parsing failed. Returns S_OK, or E_FAIL when the file cannot be
// read or does not parse (also for a null loader or parser).
HRESULT LoadXMLDocument(IFileLoader* loader, const char* path, CXMLParser* parser,
                        const char* packageName);
