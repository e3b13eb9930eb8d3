// The baseline of the start-up benchmark: a plain Win32 program that registers a class and creates
// a window, says so by appending "created" to the file named by VEXA_STANDIN_TRANSCRIPT (the file
// the stand-in plug-in writes its transcript to in the player's run), shows the window, appends
// "shown" and runs its message loop until it is closed or killed. The player delivers the movie's
// first bytes while its window is being created, before it is shown: "created" is the comparable
// point.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Mark(const char* text) {
  const wchar_t* path = _wgetenv(L"VEXA_STANDIN_TRANSCRIPT");
  if (!path || !*path) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"StartupBaselineWindow";
  RegisterClassExW(&wc);
  HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Baseline", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 800, 600, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  Mark("created\n");
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  Mark("shown\n");
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
