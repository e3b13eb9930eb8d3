// Path checks and plain-file reads for code that opens files named by untrusted text (the file
// loader serves whatever the movie asks for).
//
// Path rules as in platform/files.h: narrow strings, '/' and '\\' both separate folders, relative
// paths are relative to the current directory. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

namespace vexa::platform {

// The absolute form of `path`, with "." and ".." resolved by text (links are not followed, as
// Windows does it) and native separators, without a trailing separator except for a root.
// Returns false, leaving `full` unchanged, when the path is empty, the current directory is needed
// and unknown, or the path does not name a plain file-system path on this OS: on Windows device
// names (CON, NUL, COM1, LPT1, ... in any folder and with any extension), device namespaces
// ("\\\\.\\", "\\\\?\\"), and ':' anywhere but after a drive letter (alternate data streams).
bool GetFullPath(const std::string& path, std::string* full);

// True when `fullPath` lies strictly inside `fullFolder` (both as given by GetFullPath): the folder
// is a leading part of the path that ends at a separator. The folder itself is not inside.
// Names compare ignoring ASCII case on Windows and byte for byte elsewhere.
bool IsPathInFolder(const std::string& fullPath, const std::string& fullFolder);

// Turns the path part of a URL, which never keeps a leading separator, back into an absolute disk
// path: unchanged on Windows ("C:/Game/x.swf"), with the root '/' restored elsewhere.
std::string DiskPathFromUrlPath(const std::string& urlPath);

// Reads a whole plain file into a new block that the caller frees with delete[] (a 0-byte file
// gives a non-null 0-byte block). Only regular disk files are read: folders, devices, pipes and
// sockets are refused without blocking. Returns false, with *data null and *size 0, when the file
// cannot be opened, is not a plain file, is larger than INT32_MAX bytes, cannot be allocated or
// does not yield exactly its size.
bool ReadPlainFile(const std::string& path, uint8_t** data, int32_t* size);

}  // namespace vexa::platform
