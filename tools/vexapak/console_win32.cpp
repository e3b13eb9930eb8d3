#include "console.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

bool SetStdoutBinary() {
  return _setmode(_fileno(stdout), _O_BINARY) != -1;
}
