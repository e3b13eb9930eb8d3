// Files the program writes for itself and hides from the user.
#pragma once

#include <cstddef>
#include <string>

namespace vexa::platform {

// Creates `path` anew (replacing any file of that name that is neither read-only nor hidden),
// opened without sharing, writes `size` bytes to it and closes it. The file is left read-only,
// hidden, a system file and marked temporary (Windows: FILE_ATTRIBUTE_READONLY | HIDDEN | SYSTEM |
// TEMPORARY; POSIX: only read permission for the owner, group and others, since the other
// attributes have no POSIX counterpart).
// Returns false when the file cannot be created or not every byte was written; a file that was
// created stays in place (read-only) and is the caller's to delete (RemoveFile of
// platform/files.h deletes read-only files).
bool WriteHiddenFile(const std::string& path, const void* data, size_t size);

}  // namespace vexa::platform
