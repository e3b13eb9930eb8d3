#include "console.h"

// POSIX streams never translate newlines.
bool SetStdoutBinary() {
  return true;
}

// POSIX arguments are the file system's bytes already (UTF-8).
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}
