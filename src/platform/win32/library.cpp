#include "platform/library.h"

#include <windows.h>

namespace vexa::platform {

namespace {

bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
         (path[1] == '\\' || path[1] == '/');
}

}  // namespace

LibraryHandle OpenLibrary(const std::string& path, bool dependencies_beside_library) {
  // The altered search order is undefined for relative names, so it is only asked for with a full
  // path.
  DWORD flags =
      (dependencies_beside_library && IsAbsolute(path)) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  // A broken image must not stop the process with a system error box.
  DWORD previous = 0;
  BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, flags);
  if (quiet) SetThreadErrorMode(previous, nullptr);
  return module;
}

void* FindLibrarySymbol(LibraryHandle library, const char* name) {
  if (!library || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseLibrary(LibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

LibraryHandle FindLoadedLibrary(const std::string& path) {
  return GetModuleHandleA(path.c_str());
}

}  // namespace vexa::platform
