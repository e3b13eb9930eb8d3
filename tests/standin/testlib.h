// OS helpers of the stand-in tests: loading the plug-in library and setting environment variables.
// Implemented in posix/testlib.cpp and win32/testlib.cpp.
#pragma once

#include <string>

namespace standin_test {

class CLibrary {
 public:
  CLibrary() = default;
  ~CLibrary();
  CLibrary(const CLibrary&) = delete;
  CLibrary& operator=(const CLibrary&) = delete;

  // Loads the library; false with a message on failure.
  bool Open(const std::string& path, std::string* error);
  void Close();
  // Null when the library has no such export.
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

// The built plug-in library (from the build's compile definition, made loadable on this OS), or,
// when that path does not exist, the library next to the test program.
std::string PluginLibraryPath();

// Sets (or, for null, removes) a variable of the C runtime's environment, which the plug-in reads.
void SetEnvironment(const char* name, const char* value);

}  // namespace standin_test
