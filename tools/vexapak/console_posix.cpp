#include "console.h"

// POSIX streams never translate newlines.
bool SetStdoutBinary() {
  return true;
}
