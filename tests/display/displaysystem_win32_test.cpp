// The Win32 display system on whatever desktop the tests run on (Wine's root desktop under
// scripts/test.sh: one monitor, one size at three depths): devices, modes and monitors as Windows
// reports them, window placement, the watchdog's thread timer, switch markers of running, ended and
// damaged runs, and the restore of the last resort. Real mode changes are checked on Wine's
// virtual desktop by tests/e2e/run_e2e_display.sh.
#include "app/displaysystem.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "support/folders.h"
#include "support/window.h"

namespace {

using vexa::app::CWin32DisplaySystem;
using vexa::platform::WindowRect;
using vexa::player::DisplayMode;
using vexa::player::MonitorInfo;

// A temporary folder (vexa::testing::CTempFolder) named the Windows way: wide, with a trailing
// backslash.
class TempFolder {
 public:
  const std::wstring& path() const { return path_; }
  std::string utf8() const { return vexa::platform::WideToUtf8(path_); }
  bool Has(const std::wstring& name) const {
    return GetFileAttributesW((path_ + name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  void Write(const std::wstring& name, const std::string& text) const {
    HANDLE file = CreateFileW((path_ + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
  }

 private:
  vexa::testing::CTempFolder folder_{"vexa-display-test-"};
  std::wstring path_ = folder_.root().wstring() + L"\\";
};

uint64_t CreationTime(HANDLE process) {
  FILETIME times[4] = {};
  GetProcessTimes(process, &times[0], &times[1], &times[2], &times[3]);
  return (uint64_t{times[0].dwHighDateTime} << 32) | times[0].dwLowDateTime;
}

std::string MarkerText(DWORD pid, uint64_t created, const char* device) {
  return "vexa display switch 1\n" + std::to_string(pid) + "\n" + std::to_string(created) + "\n" +
         device + "\n";
}

std::wstring MarkerName(DWORD pid) {
  return L"vexa-display-" + std::to_wstring(pid) + L".marker";
}

// A child process that exists but does not run any code: this test program, started suspended.
PROCESS_INFORMATION StartSuspendedChild() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(self) + L"\" --gtest_list_tests";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                 &startup, &info);
  return info;
}

HWND MakeWindow() {
  return CreateWindowExW(0, L"STATIC", L"display test", WS_POPUP | WS_CAPTION | WS_VISIBLE, 10, 20,
                         300, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TEST(Win32DisplaySystem, DevicesModesAndMonitorAgree) {
  CWin32DisplaySystem system;
  std::string device;
  ASSERT_TRUE(system.GetDisplayDevice(0, &device));
  EXPECT_FALSE(device.empty());
  DisplayMode current;
  ASSERT_TRUE(system.GetCurrentMode(device, &current));
  DisplayMode byDefault;
  ASSERT_TRUE(system.GetCurrentMode(std::string(), &byDefault));
  DisplayMode screen;
  ASSERT_TRUE(system.GetScreenMode(&screen));
  EXPECT_EQ(screen.width, byDefault.width);
  EXPECT_EQ(screen.height, byDefault.height);
  EXPECT_EQ(screen.bitsPerPixel, byDefault.bitsPerPixel);

  // The device lists its current mode, and the list ends.
  bool listed = false;
  uint32_t count = 0;
  DisplayMode mode;
  while (count < 100000 && system.GetMode(device, count, &mode)) {
    listed |= mode.width == current.width && mode.height == current.height &&
              mode.bitsPerPixel == current.bitsPerPixel;
    ++count;
  }
  EXPECT_TRUE(listed);
  EXPECT_LT(count, 100000u);
  // The two special indexes of the display functions are no modes of the list.
  EXPECT_FALSE(system.GetMode(device, ENUM_CURRENT_SETTINGS, &mode));
  EXPECT_FALSE(system.GetMode(device, ENUM_REGISTRY_SETTINGS, &mode));
  EXPECT_FALSE(system.GetCurrentMode("\\\\.\\NO-SUCH-DISPLAY", &mode));
}

TEST(Win32DisplaySystem, TheMonitorOfAWindowIsADeviceWithItsMode) {
  CWin32DisplaySystem system;
  HWND window = MakeWindow();
  if (!window) GTEST_SKIP() << "no window system to create windows with";
  MonitorInfo monitor;
  ASSERT_TRUE(system.GetWindowMonitor(window, &monitor));
  DisplayMode ofMonitor;
  ASSERT_TRUE(system.GetCurrentMode(monitor.device, &ofMonitor));
  EXPECT_EQ(static_cast<int32_t>(ofMonitor.width), monitor.rect.right - monitor.rect.left);
  EXPECT_EQ(static_cast<int32_t>(ofMonitor.height), monitor.rect.bottom - monitor.rect.top);
  EXPECT_EQ(ofMonitor.x, monitor.rect.left);
  EXPECT_EQ(ofMonitor.y, monitor.rect.top);
  DestroyWindow(window);
}

TEST(Win32DisplaySystem, PlacesTheWindow) {
  CWin32DisplaySystem system;
  HWND window = MakeWindow();
  if (!window) GTEST_SKIP() << "no window system to create windows with";
  WindowRect target = vexa::testing::Rect(30, 40, 330, 240);
  system.PlaceWindow(window, vexa::player::WindowZ::kTopmost, target);
  EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  WindowRect rect;
  ASSERT_TRUE(system.GetWindowRect(window, &rect));
  EXPECT_EQ(30, rect.left);
  EXPECT_EQ(240, rect.bottom);
  system.SetCaptionStyle(window, false);
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION);
  system.ApplyFrameChange(window);
  target.left = 50;
  target.right = 450;
  system.PlaceWindow(window, vexa::player::WindowZ::kNotTopmost, target);
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST);
  system.SetCaptionStyle(window, true);
  EXPECT_EQ(static_cast<LONG_PTR>(WS_CAPTION), GetWindowLongPtrW(window, GWL_STYLE) & WS_CAPTION);
  target.top = 60;
  target.bottom = 160;
  system.MoveWindow(window, target);
  ASSERT_TRUE(system.GetWindowRect(window, &rect));
  EXPECT_EQ(50, rect.left);
  EXPECT_EQ(60, rect.top);
  EXPECT_EQ(450, rect.right);
  EXPECT_EQ(160, rect.bottom);
  system.ShowWindow(window, vexa::player::ShowCommand::kMinimize);
  EXPECT_TRUE(system.IsMinimized(window));
  system.ShowWindow(window, vexa::player::ShowCommand::kRestore);
  EXPECT_FALSE(system.IsMinimized(window));
  DestroyWindow(window);
  EXPECT_FALSE(system.GetWindowRect(window, &rect));
}

class CountingTarget : public vexa::player::IWatchdogTarget {
 public:
  void OnWatchdogTick() override { ++ticks; }
  int ticks = 0;
};

// Dispatches messages for about `milliseconds`.
void Pump(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

TEST(Win32DisplaySystem, WatchdogTicksOnceAndARestartReplacesThePendingTick) {
  CWin32DisplaySystem system;
  CountingTarget first;
  CountingTarget second;
  ASSERT_TRUE(system.StartWatchdog(20, &first));
  ASSERT_TRUE(system.StartWatchdog(20, &second));
  Pump(300);
  EXPECT_EQ(0, first.ticks);
  EXPECT_EQ(1, second.ticks);
  ASSERT_TRUE(system.StartWatchdog(20, &first));
  system.StopWatchdog();
  Pump(200);
  EXPECT_EQ(0, first.ticks);
}

// Opens `name` in `folder` for writing the way a player holds its marker (`share` as given) and
// writes `text`; the open handle.
HANDLE HoldMarker(const TempFolder& folder, const std::wstring& name, const std::string& text,
                  DWORD share) {
  HANDLE file = CreateFileW((folder.path() + name).c_str(), GENERIC_WRITE, share, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (file != INVALID_HANDLE_VALUE) {
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  return file;
}

// A marker's owner runs exactly while some process holds the marker for writing: ids used again
// by another process, processes that cannot be opened and markers caught while being written do
// not fool it.
TEST(Win32DisplaySystem, MarkersOfRunningEndedAndDamagedRuns) {
  TempFolder folder;
  CWin32DisplaySystem system(folder.utf8());
  ASSERT_TRUE(system.WriteSwitchMarker("\\\\.\\DISPLAY1"));
  const std::wstring own = MarkerName(GetCurrentProcessId());
  EXPECT_TRUE(folder.Has(own));
  // This process's marker is not one of the others.
  EXPECT_TRUE(system.ReadSwitchMarkers().empty());

  // A running player: the child holds its marker (the handle handed over to it).
  PROCESS_INFORMATION child = StartSuspendedChild();
  ASSERT_NE(nullptr, child.hProcess);
  const uint64_t childCreated = CreationTime(child.hProcess);
  HANDLE childMarker = HoldMarker(folder, MarkerName(child.dwProcessId),
                                  MarkerText(child.dwProcessId, childCreated, "\\\\.\\DISPLAY2"),
                                  FILE_SHARE_READ | FILE_SHARE_DELETE);
  ASSERT_NE(INVALID_HANDLE_VALUE, childMarker);
  HANDLE inChild = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), childMarker, child.hProcess, &inChild, 0, FALSE,
                              DUPLICATE_SAME_ACCESS | DUPLICATE_CLOSE_SOURCE));
  // The running child's id and creation time in a marker nobody holds: a run that ended before
  // the id was given to the child.
  folder.Write(L"vexa-display-1.marker",
               MarkerText(child.dwProcessId, childCreated, "\\\\.\\DISPLAY3"));
  folder.Write(L"vexa-display-damaged.marker", "vexa display switch 1\nnot a number\n");
  folder.Write(L"vexa-display-empty.marker", "");
  folder.Write(L"not-a-marker.txt", "vexa display switch 1\n1\n1\nx\n");
  // Another player writing its marker right now (held without sharing): not stale.
  HANDLE writing = HoldMarker(folder, L"vexa-display-2.marker", "vexa display", 0);
  ASSERT_NE(INVALID_HANDLE_VALUE, writing);

  auto markers = system.ReadSwitchMarkers();
  ASSERT_EQ(5u, markers.size());
  for (const auto& marker : markers) {
    const bool held = marker.id == vexa::platform::WideToUtf8(MarkerName(child.dwProcessId)) ||
                      marker.id == "vexa-display-2.marker";
    EXPECT_EQ(held, marker.ownerRunning) << marker.id;
  }
  // Held markers are never removed by a reader that thinks they are stale.
  CloseHandle(writing);

  TerminateProcess(child.hProcess, 0);
  WaitForSingleObject(child.hProcess, 10000);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  markers = system.ReadSwitchMarkers();
  ASSERT_EQ(5u, markers.size());
  for (const auto& marker : markers) {
    EXPECT_FALSE(marker.ownerRunning) << marker.id;
    system.RemoveSwitchMarker(marker.id);
  }
  EXPECT_TRUE(system.ReadSwitchMarkers().empty());
  EXPECT_TRUE(folder.Has(L"not-a-marker.txt"));

  system.RemoveOwnSwitchMarker();
  EXPECT_FALSE(folder.Has(own));
}

// A second display system of the same process (the frame's and a test's) sees the first one's
// marker as this process's, and a rewrite replaces the held marker instead of leaving it held.
TEST(Win32DisplaySystem, OwnMarkerRewrittenAndReleased) {
  TempFolder folder;
  CWin32DisplaySystem system(folder.utf8());
  ASSERT_TRUE(system.WriteSwitchMarker("a"));
  ASSERT_TRUE(system.WriteSwitchMarker("b"));
  CWin32DisplaySystem other(folder.utf8());
  EXPECT_TRUE(other.ReadSwitchMarkers().empty());
  system.RemoveOwnSwitchMarker();
  EXPECT_FALSE(folder.Has(MarkerName(GetCurrentProcessId())));
  // Released: the name can be written again by anyone.
  HANDLE again = HoldMarker(folder, MarkerName(GetCurrentProcessId()), "x", 0);
  EXPECT_NE(INVALID_HANDLE_VALUE, again);
  if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
}

TEST(Win32DisplaySystem, RemovesOnlyMarkersOfItsFolder) {
  TempFolder outer;
  TempFolder folder;
  outer.Write(L"vexa-display-7.marker", "x");
  CWin32DisplaySystem system(folder.utf8());
  // An id that climbs out of the folder names no marker.
  const std::string climbing =
      "..\\" +
      vexa::platform::WideToUtf8(
          outer.path().substr(outer.path().find_last_of(L'\\', outer.path().size() - 2) + 1) +
          L"vexa-display-7.marker");
  system.RemoveSwitchMarker(climbing);
  system.RemoveSwitchMarker(vexa::platform::WideToUtf8(outer.path()) + "vexa-display-7.marker");
  EXPECT_TRUE(outer.Has(L"vexa-display-7.marker"));
}

TEST(Win32DisplaySystem, TheLastResortRestoresOnlyWhileSwitched) {
  TempFolder folder;
  CWin32DisplaySystem system(folder.utf8());
  ASSERT_FALSE(vexa::app::IsDisplaySwitchedByProcess());
  // Not switched: the marker of a switch still to come is left alone.
  ASSERT_TRUE(system.WriteSwitchMarker("d"));
  vexa::app::RestoreDisplayOfLastResort();
  EXPECT_TRUE(folder.Has(MarkerName(GetCurrentProcessId())));

  // A "change" to the mode the desktop has already. Windows accepts it; 32-bit Wine on a plain X
  // screen (no virtual desktop) refuses every change, and then there is no switch to undo here (the
  // end-to-end display test switches for real on Wine's virtual desktop).
  DisplayMode current;
  ASSERT_TRUE(system.GetCurrentMode(std::string(), &current));
  if (!system.ChangeMode(std::string(), current.width, current.height, current.bitsPerPixel)) {
    GTEST_SKIP() << "this system refuses to change to its current mode";
  }
  EXPECT_TRUE(vexa::app::IsDisplaySwitchedByProcess());
  vexa::app::RestoreDisplayOfLastResort();
  EXPECT_FALSE(vexa::app::IsDisplaySwitchedByProcess());
  EXPECT_FALSE(folder.Has(MarkerName(GetCurrentProcessId())));

  // A refused change leaves the flag as it was.
  EXPECT_FALSE(system.ChangeMode(std::string(), 1, 1, 7));
  EXPECT_FALSE(vexa::app::IsDisplaySwitchedByProcess());
  ASSERT_TRUE(
      system.ChangeMode(std::string(), current.width, current.height, current.bitsPerPixel));
  ASSERT_TRUE(system.RestoreDefaultMode(true));
  EXPECT_FALSE(vexa::app::IsDisplaySwitchedByProcess());
}

}  // namespace
