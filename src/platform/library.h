// Dynamic libraries (DLLs on Windows, shared objects on POSIX) loaded at run time.
#pragma once

#include <string>

namespace vexa::platform {

// An opaque handle of a loaded library; null means none.
using LibraryHandle = void*;

// Loads the library `path` (path rules of platform/files.h) and takes one reference on it. With
// `dependencies_beside_library` and an absolute path, the libraries it depends on are searched in
// its own folder and then the system folder, never the current folder (POSIX leaves this to the
// library's own run path). Returns null when it cannot be loaded (missing file, not a library,
// wrong architecture, failing initialisation). Every non-null result is released once by
// CloseLibrary.
//
// Windows: the first call with `dependencies_beside_library` also narrows the process's default
// library search, for good, to the system folder and the executable's folder (or, on a system
// without that setting, drops the current folder from it), so that nothing loaded later by name,
// by this process or by the libraries it loaded, comes from the current folder. On such a system
// the dependencies are searched in the library's folder, then the usual places but the current
// folder.
LibraryHandle OpenLibrary(const std::string& path, bool dependencies_beside_library = false);

// The address of the exported function or variable `name`, or null when the library does not
// export it or `library` is null.
void* FindLibrarySymbol(LibraryHandle library, const char* name);

// Drops one reference taken by OpenLibrary; the library is unloaded with its last reference. Null
// is ignored. Addresses found in the library are invalid once it is unloaded.
void CloseLibrary(LibraryHandle library);

// The handle of the library `path` when the process has it loaded, without taking a reference;
// null otherwise.
LibraryHandle FindLoadedLibrary(const std::string& path);

}  // namespace vexa::platform
