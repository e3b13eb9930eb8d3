#include "app/startup.h"

#include <cstdlib>
#include <vector>

#include "app/resource.h"
#include "platform/shell.h"

namespace vexa::app {
namespace {

std::string& ExitTarget() {
  // Never destroyed: the exit handler reads it after static destruction may have begun.
  static auto* target = new std::string();
  return *target;
}

void LaunchExitTarget() {
  const std::string target = ExitTarget();
  if (target.empty()) return;
  vexa::platform::ShellOpen(target);
  // The shell may still be starting the program or talking to it over DDE.
  Sleep(3000);
}

struct FindRequest {
  HWND self;
  const wchar_t* caption;
  HWND found;
};

BOOL CALLBACK FindOtherCopy(HWND hwnd, LPARAM param) {
  auto* request = reinterpret_cast<FindRequest*>(param);
  if (hwnd == request->self) return TRUE;
  wchar_t className[64] = {};
  if (!GetClassNameW(hwnd, className, 64) || wcscmp(className, kMainWindowClass) != 0) return TRUE;
  wchar_t caption[128] = {};
  GetWindowTextW(hwnd, caption, 128);
  if (wcscmp(caption, request->caption) != 0) return TRUE;
  request->found = hwnd;
  return FALSE;
}

}  // namespace

std::wstring LoadResourceText(UINT id) {
  const wchar_t* text = nullptr;
  // With a zero buffer length the call hands out a read-only pointer into the resource itself.
  const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return std::wstring();
  return std::wstring(text, static_cast<size_t>(length));
}

void ShowStartupError(HWND owner, UINT id) {
  const std::wstring text = LoadResourceText(id);
  const std::wstring caption = LoadResourceText(IDS_ERROR_CAPTION);
  MessageBoxW(owner, text.c_str(), caption.c_str(), MB_ICONERROR | MB_OK);
}

bool CheckSingleInstance(HWND self, const std::string& gameName) {
  const std::string name = gameName + kInstanceMutexSuffix;
  SetLastError(ERROR_SUCCESS);
  HANDLE mutex = CreateMutexA(nullptr, TRUE, name.c_str());
  const DWORD error = GetLastError();
  // Kept open for the life of the process: the mutex only marks that this game runs.
  if (mutex) ReleaseMutex(mutex);
  if (error == ERROR_ACCESS_DENIED) {
    ShowStartupError(self, IDS_ALREADY_RUNNING);
    return false;
  }
  if (error != ERROR_ALREADY_EXISTS) return true;

  wchar_t caption[128] = {};
  GetWindowTextW(self, caption, 128);
  FindRequest request = {self, caption, nullptr};
  EnumWindows(&FindOtherCopy, reinterpret_cast<LPARAM>(&request));
  if (request.found) {
    SetForegroundWindow(request.found);
    if (IsIconic(request.found)) ShowWindow(request.found, SW_RESTORE);
  }
  return false;
}

void SetExitLaunchTarget(const std::string& target) { ExitTarget() = target; }

void RegisterExitLaunch() {
  ExitTarget();
  std::atexit(&LaunchExitTarget);
}

}  // namespace vexa::app
