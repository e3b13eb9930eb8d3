#include "console.h"

// POSIX streams never translate newlines.
bool SetStdoutBinary() {
  return true;
}

// POSIX arguments are the file system's bytes already (UTF-8).
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

// Terminals here take UTF-8 as it is.
void WriteUtf8(std::FILE* stream, const std::string& utf8) {
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

// The player is a Windows program: no copy of it runs here.
bool IsGameRunning(const std::string&) {
  return false;
}
