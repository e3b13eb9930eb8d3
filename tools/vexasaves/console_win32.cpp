#include "console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

#include "platform/codepage.h"

bool SetStdoutBinary() {
  return _setmode(_fileno(stdout), _O_BINARY) != -1;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> out;
  if (!wide) {
    for (int i = 1; i < argc; ++i) {
      out.push_back(vexa::platform::WideToUtf8(vexa::platform::AnsiToWide(argv[i])));
    }
    return out;
  }
  for (int i = 1; i < count; ++i) out.push_back(vexa::platform::WideToUtf8(wide[i]));
  LocalFree(wide);
  return out;
}
