#include "standin/testlib.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>

namespace standin_test {

CLibrary::~CLibrary() {
  Close();
}

bool CLibrary::Open(const std::string& path, std::string* error) {
  Close();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* message = dlerror();
    *error = message ? message : "dlopen failed";
    return false;
  }
  return true;
}

void CLibrary::Close() {
  if (handle_) dlclose(handle_);
  handle_ = nullptr;
}

void* CLibrary::Symbol(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

std::string PluginLibraryPath() {
  const std::string built = VEXA_STANDIN_LIBRARY;
  if (access(built.c_str(), R_OK) == 0) return built;
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return built;
  std::string dir(self, static_cast<size_t>(n));
  dir.erase(dir.rfind('/') + 1);
  return dir + built.substr(built.rfind('/') + 1);
}

void SetEnvironment(const char* name, const char* value) {
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

}  // namespace standin_test
