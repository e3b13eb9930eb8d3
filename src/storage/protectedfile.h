// Protected data files: the files the stores keep in the game's data folder, one per save set,
// "bstscore.dat" (high scores) and "localrgs.dat" (the virtual registry). Each is a package
// container (data/package.h), always compressed, whose entries are scrambled with the password of
// the kind of file; an entry's content is written and read through a memory stream with the
// encodings of storage/primitives.h.
//
// What these functions promise beyond reading and writing the format:
// - Writes are atomic (storage/atomicfile.h): a crash or a failing call leaves the old file or the
//   new one, never a mix, an empty file or a lost file.
// - A file that exists but cannot be read (locked by another program, no access, too large) is
//   never taken for a missing one: ReadProtectedEntry answers VEXA_E_FILE_UNREADABLE and
//   ReplaceProtectedEntry refuses to write over it.
// - A damaged file is never replaced without a copy: before the first rewrite of a file that was
//   not a container, had an entry that did not decode, or had an entry past its end, its bytes are
//   copied unchanged to "<path>.damaged-<n>" (the first free n from 1). If the copy cannot be
//   made, the rewrite is refused (VEXA_E_BACKUP_FAILED) and can be tried again. One copy per
//   damaged content per run: a rewrite that keeps failing does not copy the same bytes again while
//   the first copy exists.
// - The other entries of a multi-entry file are carried over as they are stored (raw blocks): an
//   entry written with another password or one that does not decode survives a rewrite unchanged.
// - Sizes are bounded: files above kMaxProtectedFileSize are not read (unreadable), entries that
//   inflate beyond kMaxProtectedEntrySize count as damaged.
//
// Typical use by a store (high scores, virtual registry):
//   CProtectedContainer file;
//   CMemoryStream entry;
//   HRESULT hr = ReadProtectedEntry(fs, path, "table", kHighScorePassword, &file, &entry);
//   // decode `entry` when hr is S_OK; if decoding fails part-way: file.MarkDamaged();
//   // refuse changes when hr == VEXA_E_FILE_UNREADABLE; otherwise encode the new content into a
//   // CMemoryStream and:
//   hr = ReplaceProtectedEntry(fs, &encoded, path, "table", kHighScorePassword, &file);
//
// Paths are UTF-8 (platform/filesystem.h); entry names and passwords are narrow byte strings.
// `fs` is the file system to use; null means the native one.
//
// Threading: no state of their own; one CProtectedContainer must not be used by two threads at
// once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "data/package.h"
#include "platform/filesystem.h"
#include "platform/oleauto.h"
#include "script/stream.h"
#include "storage/atomicfile.h"

// The passwords and file names of the three kinds of file.
inline constexpr char kSaveSetPassword[] = "rakw3Pt7";
inline constexpr char kHighScorePassword[] = "kipNarr%";
inline constexpr char kRegistryPassword[] = "moltrevu";
inline constexpr char kHighScoreFileName[] = "bstscore.dat";
inline constexpr char kRegistryFileName[] = "localrgs.dat";

// The file exists but could not be read (locked, no access, a folder, larger than
// kMaxProtectedFileSize): nothing may be written over it.
constexpr HRESULT VEXA_E_FILE_UNREADABLE = static_cast<HRESULT>(0x80040612u);
// A damaged file could not be copied aside, so it was not rewritten.
constexpr HRESULT VEXA_E_BACKUP_FAILED = static_cast<HRESULT>(0x80040613u);

// Largest data file read (larger ones are unreadable) and largest entry content accepted.
inline constexpr uint64_t kMaxProtectedFileSize = 64ull << 20;
inline constexpr uint32_t kMaxProtectedEntrySize = 64u << 20;

// The suffix of a damaged file's copy: "<file>.damaged-<n>".
inline constexpr char kDamagedSuffix[] = ".damaged-";

// What a read found in one data file, kept so that a later rewrite of the same file can carry its
// other entries over and knows whether a backup is due. Not copyable; movable.
class CProtectedContainer {
 public:
  enum class State {
    kNotRead,       // nothing read yet
    kMissing,       // no file of that name
    kUnreadable,    // something exists but could not be read: rewrites are refused
    kEmptyFile,     // a file of 0 bytes (nothing to keep)
    kNotContainer,  // bytes that are not a container (kept for the backup)
    kParsed,        // a container; its entries are in GetArchive()
  };

  CProtectedContainer() = default;
  CProtectedContainer(const CProtectedContainer&) = delete;
  CProtectedContainer& operator=(const CProtectedContainer&) = delete;
  CProtectedContainer(CProtectedContainer&&) = default;
  CProtectedContainer& operator=(CProtectedContainer&&) = default;

  State GetState() const { return state_; }
  // The path last read (or written).
  const std::string& GetPath() const { return path_; }
  // The file's bytes as read (empty unless kNotContainer or kParsed).
  const std::vector<uint8_t>& GetBytes() const { return *bytes_; }
  // The parsed container (kParsed), else null.
  const CPackageArchive* GetArchive() const;

  // True when the file held something a rewrite would not keep as it was: not a container, an
  // entry past the end of the file, or an entry a reader could not decode (MarkDamaged). Its bytes
  // are then copied aside before the first rewrite.
  bool IsDamaged() const { return damaged_; }
  // For stores whose decoding of an entry failed part-way (a count past the data): the file counts
  // as damaged. Does nothing unless the file was read (kNotContainer or kParsed).
  void MarkDamaged();
  // The copy made of the damaged file ("" when none was needed or made yet).
  const std::string& GetBackupPath() const { return backup_path_; }

  // Forgets everything (kNotRead).
  void Reset();

  // Reads `path` through `fs` and parses it. Returns the state reached. Used by the functions
  // below; a store calls it directly only to look at a file without reading an entry.
  State Load(vexa::platform::IFileSystem* fs, const std::string& path);
  // Takes `bytes` as the content of `path` (as if read from it): used for a seed copy and after a
  // rewrite.
  State Adopt(const std::string& path, std::vector<uint8_t> bytes);

 private:
  friend HRESULT ReplaceProtectedEntry(vexa::platform::IFileSystem* fs, IByteStream* stream,
                                       const std::string& path, const char* entryName,
                                       const char* password, CProtectedContainer* container);
  void SetBackupPath(const std::string& path) {
    backup_path_ = path;
    damaged_ = false;
  }

  State state_ = State::kNotRead;
  std::string path_;
  // Shared with the archive's view of them; a unique_ptr keeps the address stable across moves.
  std::unique_ptr<std::vector<uint8_t>> bytes_ = std::make_unique<std::vector<uint8_t>>();
  std::unique_ptr<CPackageArchive> archive_;
  bool damaged_ = false;
  std::string backup_path_;
};

// Reads the entry `entryName` (ASCII case ignored) of the file `path` with `password` into `out`
// (replaced, positioned at 0), leaving what was found in `container` (required).
// Returns:
//   S_OK                    the entry's content is in `out`;
//   E_ACCESSDENIED          no such file;
//   VEXA_E_FILE_UNREADABLE  the file exists but cannot be read (see above);
//   E_FAIL                  an empty file, not a container, no such entry, or an entry that does
//                           not decode (wrong password, damaged data, too large);
//   E_POINTER               null arguments.
HRESULT ReadProtectedEntry(vexa::platform::IFileSystem* fs, const std::string& path,
                           const char* entryName, const char* password,
                           CProtectedContainer* container, CMemoryStream* out);

// ReadProtectedEntry with the recovery of a missing file from its seed copy: when `path` is
// missing (and only then: an unreadable or damaged file is never replaced by the seed) and
// `seedPath` names a readable file, its bytes are written to `path` as a new file, atomically (so a
// read-only attribute of the seed is not copied) and read. When that write fails the seed's bytes
// are still read; the next rewrite creates `path`. An empty `seedPath` means no seed copy.
HRESULT ReadProtectedEntryWithSeed(vexa::platform::IFileSystem* fs, const std::string& path,
                                   const std::string& seedPath, const char* entryName,
                                   const char* password, CProtectedContainer* container,
                                   CMemoryStream* out);

// The names of the entries of the file `path` in their stored order, into `names` (cleared first).
// Returns S_OK (no names for a missing or empty file); VEXA_E_FILE_UNREADABLE; E_FAIL for a file
// that is not a container; E_POINTER for a null `names`.
HRESULT ListProtectedEntries(vexa::platform::IFileSystem* fs, const std::string& path,
                             std::vector<std::string>* names);

// Writes `path` as a container of one entry named `entryName` holding the whole of `stream`,
// scrambled with the save-set password, atomically. A file already there is replaced whatever it
// held (use ReplaceProtectedEntry to keep other entries or a damaged file). Returns S_OK, the
// stream's failure, VEXA_E_WRITE_FAILED, or an archiver status (storage/archiver.h).
HRESULT WriteProtectedFile(vexa::platform::IFileSystem* fs, IByteStream* stream,
                           const std::string& path, const char* entryName);

// Rewrites `path` with the entry `entryName` (ASCII case ignored; a new entry is appended at the
// end, an existing one keeps its place and its stored name) holding the whole of `stream`,
// scrambled with `password`, and every other entry of `container` carried over as stored.
// `container` is what an earlier read of `path` found; null, or one that was not read from `path`,
// makes the function read the file first. A damaged file is copied aside first (see the file
// comment). On success `container` describes the new file.
// Returns S_OK; VEXA_E_FILE_UNREADABLE (nothing written); VEXA_E_BACKUP_FAILED;
// VEXA_E_WRITE_FAILED (the file is as it was); the stream's failure; an archiver status.
HRESULT ReplaceProtectedEntry(vexa::platform::IFileSystem* fs, IByteStream* stream,
                              const std::string& path, const char* entryName, const char* password,
                              CProtectedContainer* container);

namespace vexa::storage {

// Decodes entry `index` of a parsed container with `password` into `out`, bounded by
// kMaxProtectedEntrySize. False for an index out of range, a block past the end of the data or
// content that does not decode.
bool ReadProtectedEntryAt(const CProtectedContainer& container, int32_t index, const char* password,
                          std::vector<uint8_t>* out);

}  // namespace vexa::storage
