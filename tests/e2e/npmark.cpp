// A minimal NPAPI plug-in, other than the stand-in, for the shipping test: it proves that a game
// shipped with it loads it. Each entry point appends its name to the file named by the environment
// variable VEXA_NPMARK_FILE and refuses to go on (NPERR_GENERIC_ERROR), so the host stops there.
#include <windows.h>

namespace {

void Mark(const char* what) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetEnvironmentVariableW(L"VEXA_NPMARK_FILE", path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, what, static_cast<DWORD>(lstrlenA(what)), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}

constexpr short kGenericError = 1;

}  // namespace

extern "C" {

__declspec(dllexport) short __stdcall NP_GetEntryPoints(void*) {
  Mark("npmark NP_GetEntryPoints");
  return kGenericError;
}

__declspec(dllexport) short __stdcall NP_Initialize(void*) {
  Mark("npmark NP_Initialize");
  return kGenericError;
}

__declspec(dllexport) short __stdcall NP_Shutdown() {
  Mark("npmark NP_Shutdown");
  return 0;
}

}  // extern "C"
