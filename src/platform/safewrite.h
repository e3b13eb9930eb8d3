// Whole-file writes that never leave a half-written file behind, and the test for paths that do not
// depend on a folder they are joined to.
//
// Path rules as in platform/files.h: narrow strings, '/' and '\\' both separate folders. Nothing
// here throws.
#pragma once

#include <cstddef>
#include <string>

namespace vexa::platform {

// True when `path` does not name a place relative to some folder, so that putting a folder in front
// of it would change its meaning: on Windows a leading '/' or '\\' (the current drive's root, UNC
// names) or a drive letter and ':'; elsewhere a leading '/' or '\\'. False for an empty path.
bool IsRootedPath(const std::string& path);

// Replaces the content of `path` with `size` bytes as one step: the bytes go to a new temporary
// file in the same folder, which then takes the place of `path`. Returns false when any step fails
// (the folder is missing or not writable, `path` is a folder or cannot be replaced, a short write);
// the temporary file is removed then and `path` keeps what it held before, or stays absent. An
// existing file keeps its permission bits (POSIX). Readers see either the old or the new content.
bool WriteFileReplacing(const std::string& path, const void* data, size_t size);

}  // namespace vexa::platform
