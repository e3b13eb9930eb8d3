#include "platform/library.h"

#include <dlfcn.h>

#include "platform/posix/native_path.h"

namespace vexa::platform {

LibraryHandle OpenLibrary(const std::string& path, bool) {
  // The library's own run path decides where its dependencies come from.
  return ::dlopen(posix::NativePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return ::dlsym(library, name);
}

void CloseLibrary(LibraryHandle library) {
  if (library) ::dlclose(library);
}

LibraryHandle FindLoadedLibrary(const std::string& path) {
  // RTLD_NOLOAD still counts a reference; give it back so the caller holds none.
  void* handle = ::dlopen(posix::NativePath(path).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle) ::dlclose(handle);
  return handle;
}

}  // namespace vexa::platform
