#include "standin/testlib.h"

#include <windows.h>

#include <cstdlib>

namespace standin_test {

namespace {

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

CLibrary::~CLibrary() {
  Close();
}

bool CLibrary::Open(const std::string& path, std::string* error) {
  Close();
  handle_ = LoadLibraryA(path.c_str());
  if (!handle_) {
    *error = "LoadLibrary failed with error " + std::to_string(GetLastError()) + " for " + path;
    return false;
  }
  return true;
}

void CLibrary::Close() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* CLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string PluginLibraryPath() {
  // The build writes a Unix path when cross-compiling; Wine shows the Unix root as drive Z:.
  std::string built = VEXA_STANDIN_LIBRARY;
  if (!built.empty() && built[0] == '/') built = "Z:" + built;
  for (char& c : built) {
    if (c == '/') c = '\\';
  }
  if (Exists(built)) return built;
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string dir(self, n);
  dir.erase(dir.find_last_of("\\/") + 1);
  return dir + built.substr(built.find_last_of('\\') + 1);
}

void SetEnvironment(const char* name, const char* value) {
  // The C runtime's copy is what the plug-in's getenv reads.
  _putenv_s(name, value ? value : "");
}

}  // namespace standin_test
