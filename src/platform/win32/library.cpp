#include "platform/library.h"

#include <windows.h>

#include <string>

#include "platform/codepage.h"

namespace vexa::platform {

namespace {

bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
         (path[1] == '\\' || path[1] == '/');
}

// The LOAD_LIBRARY_SEARCH_* flags come with SetDefaultDllDirectories (Windows 7 with KB2533623,
// every later Windows). Older systems and some Wine versions lack it, and there LoadLibraryEx
// refuses the flags, so its presence decides which way a library is loaded.
using SetDefaultDllDirectoriesProc = BOOL(WINAPI*)(DWORD);

// Narrows the process's library search once; true when the search flags can be used.
bool RestrictLibrarySearch() {
  static const bool search_flags = [] {
    // The empty string drops the current folder from the classic search order: the only guard
    // where the default directories cannot be set, and harmless where they take over.
    SetDllDirectoryW(L"");
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set_default =
        kernel ? reinterpret_cast<SetDefaultDllDirectoriesProc>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
               : nullptr;
    return set_default &&
           set_default(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_APPLICATION_DIR) != FALSE;
  }();
  return search_flags;
}

HMODULE Load(const std::wstring& path, DWORD flags) {
  // A broken image must not stop the process with a system error box.
  DWORD previous = 0;
  BOOL quiet = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, flags);
  if (quiet) SetThreadErrorMode(previous, nullptr);
  return module;
}

}  // namespace

LibraryHandle OpenLibrary(const std::string& path, bool dependencies_beside_library) {
  std::wstring wide = AnsiToWide(path);
  // Both search orders below are undefined for relative names, so they are only asked for with a
  // full path.
  if (!dependencies_beside_library || !IsAbsolute(path)) {
    if (dependencies_beside_library) RestrictLibrarySearch();
    return Load(wide, 0);
  }
  // The library's folder is taken from the path, which must then use backslashes only.
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (RestrictLibrarySearch()) {
    HMODULE module = Load(wide, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    // A system that has the function yet refuses the flags says so; any other failure is the
    // library's own.
    if (module || GetLastError() != ERROR_INVALID_PARAMETER) return module;
  }
  return Load(wide, LOAD_WITH_ALTERED_SEARCH_PATH);
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
