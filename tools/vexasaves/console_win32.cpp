#include "console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "platform/codepage.h"
#include "storage/datafolder.h"

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

void WriteUtf8(std::FILE* stream, const std::string& utf8) {
  const intptr_t os = _get_osfhandle(_fileno(stream));
  const HANDLE handle = reinterpret_cast<HANDLE>(os);
  DWORD mode = 0;
  if (os == -1 || !GetConsoleMode(handle, &mode)) {
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    return;
  }
  // What went through the stream before must come out first.
  std::fflush(stream);
  const std::wstring wide = vexa::platform::Utf8ToWide(utf8);
  // Older consoles refuse large writes; a piece never ends between the halves of a surrogate pair.
  constexpr size_t kPiece = 8192;
  size_t done = 0;
  while (done < wide.size()) {
    size_t piece = std::min(kPiece, wide.size() - done);
    if (piece > 1 && piece < wide.size() - done && wide[done + piece - 1] >= 0xD800 &&
        wide[done + piece - 1] <= 0xDBFF) {
      --piece;
    }
    DWORD written = 0;
    if (!WriteConsoleW(handle, wide.data() + done, static_cast<DWORD>(piece), &written, nullptr) ||
        written == 0) {
      return;
    }
    done += written;
  }
}

bool IsGameRunning(const std::string& gameName) {
  const std::string name = gameName + vexa::storage::kInstanceMutexSuffix;
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (mutex) {
    CloseHandle(mutex);
    return true;
  }
  // A copy started by another user (elevated, another account) exists but may not be opened.
  return GetLastError() == ERROR_ACCESS_DENIED;
}
