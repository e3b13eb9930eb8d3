// A test program that reads a message box of another program: it waits (up to the given number of
// seconds) for a visible dialog window with the given caption and writes the texts of its static
// controls, one per line in UTF-8, to the output file. Exit code 0 when it found the box, 1 when
// not, 2 on wrong usage.
//   vexa_e2e_boxtext.exe <caption> <output file> <seconds>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

struct Search {
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK FindBox(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  wchar_t className[32] = {};
  wchar_t caption[256] = {};
  if (!IsWindowVisible(hwnd) || !GetClassNameW(hwnd, className, 32)) return TRUE;
  if (std::wstring(className) != L"#32770") return TRUE;
  GetWindowTextW(hwnd, caption, 256);
  if (std::wstring(caption) != search->caption) return TRUE;
  search->found = hwnd;
  return FALSE;
}

BOOL CALLBACK CollectText(HWND hwnd, LPARAM param) {
  auto* text = reinterpret_cast<std::wstring*>(param);
  wchar_t className[32] = {};
  if (!GetClassNameW(hwnd, className, 32) || lstrcmpiW(className, L"Static") != 0) return TRUE;
  wchar_t line[1024] = {};
  if (GetWindowTextW(hwnd, line, 1024) > 0) *text += std::wstring(line) + L"\n";
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 4) return 2;
  Search search = {argv[1], nullptr};
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)) * 1000;
  while (!search.found) {
    EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.found || static_cast<LONG>(GetTickCount() - deadline) > 0) break;
    Sleep(100);
  }
  if (!search.found) return 1;
  std::wstring text;
  EnumChildWindows(search.found, &CollectText, reinterpret_cast<LPARAM>(&text));
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size,
                        nullptr, nullptr);
  }
  HANDLE file = CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
