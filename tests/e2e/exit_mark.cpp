// A test program for the player's exit launch: each run appends the line "mark" to the file
// "exit-mark.txt" next to itself, so a test can see that (and how often) the shell started it.
#include <windows.h>

#include <cwchar>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t path[MAX_PATH + 16] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (!slash) return 1;
  std::wcscpy(slash + 1, L"exit-mark.txt");
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  static const char kLine[] = "mark\n";
  DWORD written = 0;
  const BOOL ok = WriteFile(file, kLine, sizeof kLine - 1, &written, nullptr);
  CloseHandle(file);
  return ok ? 0 : 1;
}
