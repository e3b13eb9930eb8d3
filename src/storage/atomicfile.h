// Whole-file writes that a crash, a full disk or a failing call at any step cannot turn into a lost
// or half-written file.
//
// WriteFileAtomic writes the new content to a file of its own beside the target (created
// exclusively, under a temporary name no data file can have), makes it durable, and only then puts
// it in the target's place in one step. At every moment the target holds either its old content
// or the new one; a failure removes the temporary file and leaves the target untouched.
//
// Every file operation goes through vexa::platform::IFileSystem (null means the native one), so
// tests can fail any step of it on purpose (storage/faultfs.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/filesystem.h"
#include "platform/oleauto.h"

// A write did not complete: the file was left as it was (see WriteFileAtomic).
constexpr HRESULT VEXA_E_WRITE_FAILED = static_cast<HRESULT>(0x80040611u);

namespace vexa::storage {

using vexa::platform::IFileSystem;

// The text that marks the player's temporary files: "<file>.~vexa<pid>-<n>.tmp". Data file names
// containing it (in any letter case) are refused, so no data file can be taken for one.
inline constexpr char kTemporaryMarker[] = ".~vexa";

// Replaces the content of `path` (UTF-8) with `size` bytes:
//  1. CreateNew "<path>.~vexa<pid>-<n>.tmp" (another n when that name is taken);
//  2. Write every byte; 3. Flush; 4. Close;
//  5. Replace the target with it; 6. SyncFolder of the target's folder.
// S_OK when every step succeeded. VEXA_E_WRITE_FAILED otherwise: a failure in steps 1 to 5 removes
// the temporary file and leaves `path` exactly as it was (or absent); a failure of step 6 leaves
// the new content in place but perhaps not yet durable, and is reported so the caller writes again.
// E_INVALIDARG for an empty path or null data with a size. Thread-safe.
HRESULT WriteFileAtomic(IFileSystem* fs, const std::string& path, const void* data, size_t size);

// Creates `path` as a new file holding `size` bytes, never replacing anything: fails when a file
// of that name exists. Steps CreateNew, Write, Flush, Close, SyncFolder; a failure removes the
// partial file. S_OK, or VEXA_E_WRITE_FAILED (also when the name is taken).
HRESULT WriteNewFile(IFileSystem* fs, const std::string& path, const void* data, size_t size);

// Creates `path` holding `size` bytes when no file of that name exists, so that the file appears
// whole or not at all: the bytes go to a temporary file first (as in WriteFileAtomic), which is
// then moved in place. A kill in the middle leaves at most a temporary file, never a short `path`.
// The OS has no move that refuses an existing target, so a file that appears while the temporary
// one is written is replaced. S_OK, or VEXA_E_WRITE_FAILED (also when the name is taken).
HRESULT WriteNewFileAtomic(IFileSystem* fs, const std::string& path, const void* data, size_t size);

// The folder part of `path` (up to its last separator, without it), or "" when it has none.
std::string FolderOf(const std::string& path);
// The name part of `path` (after its last separator).
std::string NameOf(const std::string& path);

// True when `name` (a file name without folder) contains kTemporaryMarker, ignoring ASCII case.
bool HasTemporaryMarker(const std::string& name);

// Deletes the temporary files other processes left in `folder` when they were ended in the middle
// of a write. Files of this process are kept (a write may be under way on another thread). Returns
// how many were deleted.
int RemoveStaleTemporaryFiles(IFileSystem* fs, const std::string& folder);

// The file system to use for `fs`: itself, or the native one for null.
IFileSystem* FileSystemOrNative(IFileSystem* fs);

}  // namespace vexa::storage
