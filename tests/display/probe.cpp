// vexa_display_probe: looks at the display and the player's window from inside the same Wine
// desktop (windows of a virtual desktop are no X windows, so X tools cannot see them), and plays
// the other programs of the end-to-end display test. One command per run; answers on stdout:
//
//   mode                 "mode W H BITS" of the default device now
//   modes                "mode W H BITS" for every mode of the default device's list
//   window               "window L T R B caption=0|1 topmost=0|1 minimized=0|1 foreground=0|1
//                        focus=frame|child|none|other" for the player's main window ("window
//                        none" without one); focus: where its thread's keyboard focus is
//   markers              "markers N": switch markers in the default marker folder
//   other SECONDS        shows a window of its own, brings it to the foreground ("other up"),
//                        keeps it for SECONDS
//   activate             restores the player's window and brings it to the foreground
//   restore              gives every device its desktop mode back
//   switch W H BITS END  changes the mode through the player's Win32 display system, then ends
//                        as END says: "exit" calls ExitProcess, "crash" writes through a null
//                        pointer, "return" returns from main
//   rawswitch W H BITS [END]
//                        changes the mode with the display function itself, then ends as END
//                        says (nothing: returns; exit, crash: as for switch; a number: keeps a
//                        window of its own for that many seconds, then returns): what a process
//                        that does not restore leaves behind (the controls of the test)
//
// The exit status is 0 when the command did what it says, 1 otherwise (2 for usage).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/displaysystem.h"
#include "app/startup.h"

namespace {

HWND FindPlayer() {
  return FindWindowW(vexa::app::kMainWindowClass, nullptr);
}

int PrintMode() {
  DEVMODEW dm = {};
  dm.dmSize = sizeof dm;
  if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &dm)) return 1;
  std::printf("mode %lu %lu %lu\n", dm.dmPelsWidth, dm.dmPelsHeight, dm.dmBitsPerPel);
  return 0;
}

int PrintModes() {
  DEVMODEW dm = {};
  dm.dmSize = sizeof dm;
  for (DWORD i = 0; EnumDisplaySettingsW(nullptr, i, &dm); ++i) {
    std::printf("mode %lu %lu %lu\n", dm.dmPelsWidth, dm.dmPelsHeight, dm.dmBitsPerPel);
  }
  return 0;
}

int PrintWindow() {
  HWND player = FindPlayer();
  if (!player) {
    std::printf("window none\n");
    return 1;
  }
  RECT r = {};
  GetWindowRect(player, &r);
  const LONG_PTR style = GetWindowLongPtrW(player, GWL_STYLE);
  const LONG_PTR exStyle = GetWindowLongPtrW(player, GWL_EXSTYLE);
  GUITHREADINFO thread = {};
  thread.cbSize = sizeof thread;
  const char* focus = "none";
  if (GetGUIThreadInfo(GetWindowThreadProcessId(player, nullptr), &thread) && thread.hwndFocus) {
    focus = thread.hwndFocus == player          ? "frame"
            : IsChild(player, thread.hwndFocus) ? "child"
                                                : "other";
  }
  std::printf("window %ld %ld %ld %ld caption=%d topmost=%d minimized=%d foreground=%d focus=%s\n",
              r.left, r.top, r.right, r.bottom, (style & WS_CAPTION) == WS_CAPTION ? 1 : 0,
              (exStyle & WS_EX_TOPMOST) ? 1 : 0, IsIconic(player) ? 1 : 0,
              GetForegroundWindow() == player ? 1 : 0, focus);
  return 0;
}

int CountMarkers() {
  const std::string folder = vexa::app::DefaultSwitchMarkerFolder();
  std::wstring pattern(folder.begin(), folder.end());
  pattern += L"vexa-display-*.marker";
  int count = 0;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do ++count;
    while (FindNextFileW(search, &found));
    FindClose(search);
  }
  std::printf("markers %d\n", count);
  return 0;
}

void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

int ShowOther(int seconds) {
  HWND window =
      CreateWindowExW(0, L"STATIC", L"VEXA display probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                      100, 400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!window) return 1;
  SetForegroundWindow(window);
  SetActiveWindow(window);
  Pump(300);
  std::printf("other %s\n", GetForegroundWindow() == window ? "up" : "behind");
  std::fflush(stdout);
  Pump(static_cast<DWORD>(seconds) * 1000);
  DestroyWindow(window);
  return 0;
}

int Activate() {
  HWND player = FindPlayer();
  if (!player) return 1;
  ShowWindow(player, SW_RESTORE);
  SetForegroundWindow(player);
  return 0;
}

void End(const std::string& end) {
  if (end == "exit") ExitProcess(3);
  if (end == "crash") {
    volatile int* nowhere = nullptr;
    *nowhere = 1;
  }
}

int Switch(DWORD width, DWORD height, DWORD bits, const std::string& end) {
  vexa::app::CWin32DisplaySystem system;
  if (!system.ChangeMode(std::string(), width, height, bits)) {
    std::printf("switch refused\n");
    return 1;
  }
  std::printf("switched\n");
  std::fflush(stdout);
  End(end);
  return 0;
}

int ShowOther(int seconds);

int RawSwitch(DWORD width, DWORD height, DWORD bits, const std::string& end) {
  DEVMODEW dm = {};
  dm.dmSize = sizeof dm;
  dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  dm.dmPelsWidth = width;
  dm.dmPelsHeight = height;
  dm.dmBitsPerPel = bits;
  if (ChangeDisplaySettingsExW(nullptr, &dm, nullptr, CDS_FULLSCREEN, nullptr) !=
      DISP_CHANGE_SUCCESSFUL) {
    return 1;
  }
  std::printf("switched\n");
  std::fflush(stdout);
  End(end);
  const int seconds = std::atoi(end.c_str());
  return seconds > 0 ? ShowOther(seconds) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "mode") return PrintMode();
  if (command == "modes") return PrintModes();
  if (command == "window") return PrintWindow();
  if (command == "markers") return CountMarkers();
  if (command == "other" && argc > 2) return ShowOther(std::atoi(argv[2]));
  if (command == "activate") return Activate();
  if (command == "restore")
    return ChangeDisplaySettingsW(nullptr, 0) == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
  if (command == "rawswitch" && argc > 4) {
    return RawSwitch(static_cast<DWORD>(std::atol(argv[2])), static_cast<DWORD>(std::atol(argv[3])),
                     static_cast<DWORD>(std::atol(argv[4])), argc > 5 ? argv[5] : "");
  }
  if (command == "switch" && argc > 5) {
    return Switch(static_cast<DWORD>(std::atol(argv[2])), static_cast<DWORD>(std::atol(argv[3])),
                  static_cast<DWORD>(std::atol(argv[4])), argv[5]);
  }
  std::fprintf(
      stderr,
      "usage: vexa_display_probe mode|modes|window|markers|other S|activate|"
      "restore|switch W H BITS exit|crash|return|rawswitch W H BITS [exit|crash|SECONDS]\n");
  return 2;
}
