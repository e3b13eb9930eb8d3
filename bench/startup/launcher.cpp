// Starts a program several times and measures, for each run, the time from CreateProcess to the
// moment a marker text appears in the file named by VEXA_STANDIN_TRANSCRIPT, then ends the program.
//
//   startup_launcher <runs> <marker> <program> [<program folder>]
//
// The file name is taken from this process's own VEXA_STANDIN_TRANSCRIPT and handed on to the
// program. Prints one line per run and a last line "median_ms=N" (or "failed" and exit code 1 when
// a run did not show the marker within 60 s).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

bool FileContains(const std::wstring& path, const std::string& marker) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
  CloseHandle(file);
  return content.find(marker) != std::string::npos;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: startup_launcher <runs> <marker> <program> [<folder>]\n");
    return 2;
  }
  const int runs = std::max(1, _wtoi(argv[1]));
  const std::wstring markerWide = argv[2];
  const std::string marker(markerWide.begin(), markerWide.end());
  std::wstring program = argv[3];
  const wchar_t* folder = argc > 4 ? argv[4] : nullptr;
  const wchar_t* transcript = _wgetenv(L"VEXA_STANDIN_TRANSCRIPT");
  if (!transcript || !*transcript) {
    std::fprintf(stderr, "startup_launcher: VEXA_STANDIN_TRANSCRIPT is not set\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    DeleteFileW(transcript);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = L"\"" + program + L"\"";
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder, &startup, &process)) {
      std::fprintf(stderr, "startup_launcher: cannot start the program (error %lu)\n",
                   GetLastError());
      return 1;
    }
    bool seen = false;
    double ms = 0;
    for (;;) {
      LARGE_INTEGER now;
      QueryPerformanceCounter(&now);
      ms = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
      if (FileContains(transcript, marker)) {
        seen = true;
        break;
      }
      if (ms > 60000 || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
      Sleep(1);
    }
    TerminateProcess(process.hProcess, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!seen) {
      std::printf("failed\n");
      return 1;
    }
    std::printf("run %d: %.1f ms\n", run + 1, ms);
    times.push_back(ms);
  }
  std::sort(times.begin(), times.end());
  std::printf("median_ms=%.1f\n", times[times.size() / 2]);
  return 0;
}
