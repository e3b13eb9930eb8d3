#include "app/displaysystem.h"

#include <atomic>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/codepage.h"

using vexa::platform::WindowHandle;
using vexa::platform::WindowRect;
using vexa::player::DisplayMode;
using vexa::player::FrameMetrics;
using vexa::player::IWatchdogTarget;
using vexa::player::MonitorInfo;
using vexa::player::ShowCommand;
using vexa::player::SwitchMarker;
using vexa::player::WindowZ;

namespace vexa::app {
namespace {

constexpr wchar_t kMarkerPrefix[] = L"vexa-display-";
constexpr wchar_t kMarkerSuffix[] = L".marker";
constexpr char kMarkerHeader[] = "vexa display switch 1";
// A marker is a few lines; anything longer is not one of ours.
constexpr DWORD kMaxMarkerBytes = 4096;

// ---- Process-wide state of the restore of the last resort. Plain data only: the exception
// filter and the TLS callback may run when little else of the process works.
std::atomic<bool> g_switched{false};
std::atomic<bool> g_ownMarkerWritten{false};
wchar_t g_ownMarkerPath[MAX_PATH + 64] = {};
// This process keeps its marker open for writing while the marker exists: the system closes the
// handle when the process ends, however it ends, so "the owner still runs" is exactly "someone
// still holds the marker for writing", with no process ids that could be used again.
std::atomic<HANDLE> g_ownMarkerHandle{nullptr};

// Deletes this process's marker (marked while open, gone when the handle closes).
void DeleteOwnMarker() {
  if (!g_ownMarkerWritten.exchange(false)) return;
  DeleteFileW(g_ownMarkerPath);
  HANDLE held = g_ownMarkerHandle.exchange(nullptr);
  if (held) CloseHandle(held);
}
std::atomic<bool> g_lastResortInstalled{false};
LPTOP_LEVEL_EXCEPTION_FILTER g_previousFilter = nullptr;

// ---- The watchdog: one thread timer for the process.
UINT_PTR g_watchdogTimer = 0;
IWatchdogTarget* g_watchdogTarget = nullptr;

LONG WINAPI LastResortFilter(EXCEPTION_POINTERS* info) {
  RestoreDisplayOfLastResort();
  return g_previousFilter ? g_previousFilter(info) : EXCEPTION_CONTINUE_SEARCH;
}

void AtExitRestore() {
  RestoreDisplayOfLastResort();
}

// Runs when the installing thread ends, which includes the process ending through ExitProcess on
// that thread (Wine calls the executable's TLS callbacks only at attach, but calls these).
void WINAPI FiberDataRestore(PVOID) {
  RestoreDisplayOfLastResort();
}

void InstallLastResort() {
  if (g_lastResortInstalled.exchange(true)) return;
  g_previousFilter = SetUnhandledExceptionFilter(&LastResortFilter);
  std::atexit(&AtExitRestore);
  const DWORD slot = FlsAlloc(&FiberDataRestore);
  // The callback runs only for a slot that holds a value.
  if (slot != FLS_OUT_OF_INDEXES) FlsSetValue(slot, reinterpret_cast<PVOID>(1));
}

void CALLBACK WatchdogProc(HWND, UINT, UINT_PTR id, DWORD) {
  // The tick stops its timer before anything else: at most one is ever pending.
  KillTimer(nullptr, id);
  if (id != g_watchdogTimer) return;
  g_watchdogTimer = 0;
  IWatchdogTarget* target = g_watchdogTarget;
  if (target) target->OnWatchdogTick();
}

// Whether a device's current mode is its saved (registry) mode, in the fields the saved mode
// names. A device without a saved mode counts as being in it.
bool InSavedMode(const wchar_t* device, DEVMODEW* saved) {
  *saved = {};
  saved->dmSize = sizeof *saved;
  if (!EnumDisplaySettingsW(device, ENUM_REGISTRY_SETTINGS, saved)) return true;
  DEVMODEW current = {};
  current.dmSize = sizeof current;
  if (!EnumDisplaySettingsW(device, ENUM_CURRENT_SETTINGS, &current)) return true;
  if (saved->dmPelsWidth == 0 || saved->dmPelsHeight == 0) return true;
  return current.dmPelsWidth == saved->dmPelsWidth && current.dmPelsHeight == saved->dmPelsHeight &&
         (saved->dmBitsPerPel == 0 || current.dmBitsPerPel == saved->dmBitsPerPel);
}

// Puts every desktop device that is not in its saved mode into it. True when all are in it.
bool SetSavedModesWhereDifferent() {
  bool all = true;
  for (DWORD index = 0;; ++index) {
    DISPLAY_DEVICEW device = {};
    device.cb = sizeof device;
    if (!EnumDisplayDevicesW(nullptr, index, &device, 0)) break;
    if (!(device.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP)) continue;
    DEVMODEW saved;
    if (InSavedMode(device.DeviceName, &saved)) continue;
    saved.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | (saved.dmBitsPerPel ? DM_BITSPERPEL : 0);
    if (ChangeDisplaySettingsExW(device.DeviceName, &saved, nullptr, 0, nullptr) !=
            DISP_CHANGE_SUCCESSFUL ||
        !InSavedMode(device.DeviceName, &saved)) {
      all = false;
    }
  }
  return all;
}

std::wstring Wide(const std::string& utf8) {
  return vexa::platform::Utf8ToWide(utf8);
}

std::string Narrow(const wchar_t* wide) {
  return vexa::platform::WideToUtf8(std::wstring_view(wide, wcslen(wide)));
}

// The device name for the display functions: null for the default device.
const wchar_t* DeviceOrNull(const std::wstring& device) {
  return device.empty() ? nullptr : device.c_str();
}

DisplayMode ToMode(const DEVMODEW& dm) {
  DisplayMode mode;
  if (dm.dmFields & DM_POSITION) {
    mode.x = dm.dmPosition.x;
    mode.y = dm.dmPosition.y;
  }
  mode.width = dm.dmPelsWidth;
  mode.height = dm.dmPelsHeight;
  mode.bitsPerPixel = dm.dmBitsPerPel;
  mode.frequency = dm.dmDisplayFrequency;
  return mode;
}

bool EnumMode(const std::string& device, DWORD index, DisplayMode* mode) {
  if (!mode) return false;
  const std::wstring name = Wide(device);
  DEVMODEW dm = {};
  dm.dmSize = sizeof dm;
  if (!EnumDisplaySettingsExW(DeviceOrNull(name), index, &dm, 0)) return false;
  *mode = ToMode(dm);
  return true;
}

uint64_t CreationTime(HANDLE process) {
  FILETIME created = {};
  FILETIME exited = {};
  FILETIME kernel = {};
  FILETIME user = {};
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (uint64_t{created.dwHighDateTime} << 32) | created.dwLowDateTime;
}

bool IsMarkerName(const std::wstring& name) {
  const size_t prefix = wcslen(kMarkerPrefix);
  const size_t suffix = wcslen(kMarkerSuffix);
  if (name.size() <= prefix + suffix) return false;
  if (name.compare(0, prefix, kMarkerPrefix) != 0) return false;
  if (name.compare(name.size() - suffix, suffix, kMarkerSuffix) != 0) return false;
  return name.find_first_of(L"\\/:") == std::wstring::npos;
}

enum class MarkerRead {
  kRead,  // nobody holds it for writing; `bytes` holds its start (empty when unreadable)
  kHeld,  // a process holds it for writing: its owner runs
  kGone,  // deleted meanwhile, or not a file this user may open
};

// Opens a marker without sharing writes: the open fails with a sharing violation exactly while
// its owner (or a player writing it) holds it for writing.
MarkerRead ReadMarkerFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? MarkerRead::kHeld : MarkerRead::kGone;
  }
  char buffer[kMaxMarkerBytes + 1];
  DWORD read = 0;
  if (ReadFile(file, buffer, kMaxMarkerBytes + 1, &read, nullptr) && read <= kMaxMarkerBytes) {
    bytes->assign(buffer, read);
  }
  CloseHandle(file);
  return MarkerRead::kRead;
}

// "header\npid\ncreation time\ndevice\n". False for anything else.
bool ParseMarker(const std::string& text, DWORD* pid, uint64_t* created, std::string* device) {
  size_t at = 0;
  std::string lines[4];
  for (std::string& line : lines) {
    const size_t end = text.find('\n', at);
    if (end == std::string::npos) return false;
    line = text.substr(at, end - at);
    at = end + 1;
  }
  if (lines[0] != kMarkerHeader || lines[1].empty() || lines[2].empty()) return false;
  char* end = nullptr;
  const unsigned long long p = std::strtoull(lines[1].c_str(), &end, 10);
  if (*end || p == 0 || p > 0xFFFFFFFFull) return false;
  const unsigned long long c = std::strtoull(lines[2].c_str(), &end, 10);
  if (*end) return false;
  *pid = static_cast<DWORD>(p);
  *created = c;
  *device = lines[3];
  return true;
}

}  // namespace

std::string DefaultSwitchMarkerFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return std::string();
  return Narrow(buffer);
}

void RestoreDisplayOfLastResort() {
  if (!g_switched.exchange(false)) return;
  ChangeDisplaySettingsW(nullptr, 0);
  DeleteOwnMarker();
}

bool IsDisplaySwitchedByProcess() {
  return g_switched.load();
}

CWin32DisplaySystem::CWin32DisplaySystem(const std::string& markerFolder) {
  markerFolder_ = Wide(markerFolder.empty() ? DefaultSwitchMarkerFolder() : markerFolder);
  if (!markerFolder_.empty() && markerFolder_.back() != L'\\' && markerFolder_.back() != L'/') {
    markerFolder_ += L'\\';
  }
  InstallLastResort();
}

CWin32DisplaySystem::~CWin32DisplaySystem() {
  if (g_watchdogTarget) StopWatchdog();
}

// ---- Display devices and modes

bool CWin32DisplaySystem::GetDisplayDevice(uint32_t index, std::string* name) {
  if (!name) return false;
  DISPLAY_DEVICEW device = {};
  device.cb = sizeof device;
  if (!EnumDisplayDevicesW(nullptr, index, &device, 0)) return false;
  *name = Narrow(device.DeviceName);
  return true;
}

bool CWin32DisplaySystem::GetCurrentMode(const std::string& device, DisplayMode* mode) {
  return EnumMode(device, ENUM_CURRENT_SETTINGS, mode);
}

bool CWin32DisplaySystem::GetMode(const std::string& device, uint32_t index, DisplayMode* mode) {
  // ENUM_CURRENT_SETTINGS and ENUM_REGISTRY_SETTINGS are indexes too: never ask for them here.
  if (index >= static_cast<uint32_t>(ENUM_REGISTRY_SETTINGS)) return false;
  return EnumMode(device, index, mode);
}

bool CWin32DisplaySystem::GetScreenMode(DisplayMode* mode) {
  if (!mode) return false;
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  mode->x = 0;
  mode->y = 0;
  mode->width = static_cast<uint32_t>(GetDeviceCaps(screen, HORZRES));
  mode->height = static_cast<uint32_t>(GetDeviceCaps(screen, VERTRES));
  mode->bitsPerPixel = static_cast<uint32_t>(GetDeviceCaps(screen, BITSPIXEL));
  mode->frequency = static_cast<uint32_t>(GetDeviceCaps(screen, VREFRESH));
  ReleaseDC(nullptr, screen);
  return true;
}

bool CWin32DisplaySystem::ChangeMode(const std::string& device, uint32_t width, uint32_t height,
                                     uint32_t bitsPerPixel) {
  const std::wstring name = Wide(device);
  DEVMODEW dm = {};
  dm.dmSize = sizeof dm;
  dm.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
  dm.dmPelsWidth = width;
  dm.dmPelsHeight = height;
  dm.dmBitsPerPel = bitsPerPixel;
  // Set before the change: a crash between the change and the flag must still restore.
  const bool wasSwitched = g_switched.exchange(true);
  const LONG result =
      ChangeDisplaySettingsExW(DeviceOrNull(name), &dm, nullptr, CDS_FULLSCREEN, nullptr);
  if (result != DISP_CHANGE_SUCCESSFUL) {
    g_switched = wasSwitched;
    return false;
  }
  return true;
}

bool CWin32DisplaySystem::RestoreDefaultMode(bool reset) {
  if (ChangeDisplaySettingsW(nullptr, reset ? CDS_RESET : 0) != DISP_CHANGE_SUCCESSFUL) {
    return false;
  }
  // A display can answer success and keep the mode (Wine's virtual desktop does so now and then
  // while the game's window is minimised): every device that is not in its saved mode gets that
  // mode by its values, and only a desktop that is back counts as given back.
  if (!SetSavedModesWhereDifferent()) return false;
  g_switched = false;
  return true;
}

// ---- Monitors and windows

bool CWin32DisplaySystem::GetWindowMonitor(WindowHandle window, MonitorInfo* info) {
  if (!info) return false;
  HMONITOR monitor = MonitorFromWindow(static_cast<HWND>(window), MONITOR_DEFAULTTONEAREST);
  MONITORINFOEXW data = {};
  data.cbSize = sizeof data;
  if (!monitor || !GetMonitorInfoW(monitor, &data)) return false;
  info->device = Narrow(data.szDevice);
  info->rect.left = data.rcMonitor.left;
  info->rect.top = data.rcMonitor.top;
  info->rect.right = data.rcMonitor.right;
  info->rect.bottom = data.rcMonitor.bottom;
  return true;
}

WindowHandle CWin32DisplaySystem::GetForegroundWindow() {
  return ::GetForegroundWindow();
}

bool CWin32DisplaySystem::IsMinimized(WindowHandle window) {
  return window && IsIconic(static_cast<HWND>(window));
}

bool CWin32DisplaySystem::GetWindowRect(WindowHandle window, WindowRect* rect) {
  RECT r;
  if (!window || !rect || !::GetWindowRect(static_cast<HWND>(window), &r)) return false;
  rect->left = r.left;
  rect->top = r.top;
  rect->right = r.right;
  rect->bottom = r.bottom;
  return true;
}

void CWin32DisplaySystem::SetCaptionStyle(WindowHandle window, bool on) {
  HWND hwnd = static_cast<HWND>(window);
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  const LONG_PTR wanted = on ? (style | WS_CAPTION) : (style & ~static_cast<LONG_PTR>(WS_CAPTION));
  if (wanted != style) SetWindowLongPtrW(hwnd, GWL_STYLE, wanted);
}

void CWin32DisplaySystem::ClearExtendedStyle(WindowHandle window) {
  SetWindowLongPtrW(static_cast<HWND>(window), GWL_EXSTYLE, 0);
}

void CWin32DisplaySystem::ApplyFrameChange(WindowHandle window) {
  SetWindowPos(static_cast<HWND>(window), nullptr, 0, 0, 0, 0,
               SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWin32DisplaySystem::PlaceWindow(WindowHandle window, WindowZ z, const WindowRect& rect) {
  HWND after = nullptr;
  UINT flags = SWP_FRAMECHANGED;
  switch (z) {
    case WindowZ::kUnchanged:
      flags |= SWP_NOZORDER;
      break;
    case WindowZ::kTopmost:
      after = HWND_TOPMOST;
      break;
    case WindowZ::kNotTopmost:
      after = HWND_NOTOPMOST;
      break;
  }
  SetWindowPos(static_cast<HWND>(window), after, rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, flags);
}

void CWin32DisplaySystem::MoveWindow(WindowHandle window, const WindowRect& rect) {
  ::MoveWindow(static_cast<HWND>(window), rect.left, rect.top, rect.right - rect.left,
               rect.bottom - rect.top, TRUE);
}

void CWin32DisplaySystem::ShowWindow(WindowHandle window, ShowCommand command) {
  ::ShowWindow(static_cast<HWND>(window),
               command == ShowCommand::kMinimize ? SW_MINIMIZE : SW_RESTORE);
}

void CWin32DisplaySystem::ActivateWindow(WindowHandle window) {
  HWND hwnd = static_cast<HWND>(window);
  SetForegroundWindow(hwnd);
  SetActiveWindow(hwnd);
}

FrameMetrics CWin32DisplaySystem::GetFrameMetrics() {
  FrameMetrics metrics;
  metrics.dialogFrameX = GetSystemMetrics(SM_CXDLGFRAME);
  metrics.caption = GetSystemMetrics(SM_CYCAPTION);
  metrics.dialogFrameY = GetSystemMetrics(SM_CYDLGFRAME);
  return metrics;
}

void CWin32DisplaySystem::Wait(uint32_t milliseconds) {
  Sleep(milliseconds);
}

// ---- Watchdog

bool CWin32DisplaySystem::StartWatchdog(uint32_t milliseconds, IWatchdogTarget* target) {
  if (g_watchdogTimer) KillTimer(nullptr, g_watchdogTimer);
  g_watchdogTarget = target;
  g_watchdogTimer = SetTimer(nullptr, 0, milliseconds, &WatchdogProc);
  return g_watchdogTimer != 0;
}

void CWin32DisplaySystem::StopWatchdog() {
  if (g_watchdogTimer) KillTimer(nullptr, g_watchdogTimer);
  g_watchdogTimer = 0;
  g_watchdogTarget = nullptr;
}

// ---- Switch markers

bool CWin32DisplaySystem::WriteSwitchMarker(const std::string& device) {
  if (markerFolder_.empty()) return false;
  const std::wstring path =
      markerFolder_ + kMarkerPrefix + std::to_wstring(GetCurrentProcessId()) + kMarkerSuffix;
  if (path.size() >= sizeof g_ownMarkerPath / sizeof g_ownMarkerPath[0]) return false;
  const std::string text = std::string(kMarkerHeader) + "\n" +
                           std::to_string(GetCurrentProcessId()) + "\n" +
                           std::to_string(CreationTime(GetCurrentProcess())) + "\n" + device + "\n";
  DeleteOwnMarker();
  // Readers may look (and find it held); nobody else may write it while this process runs.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  if (!ok || written != text.size() || !FlushFileBuffers(file)) {
    DeleteFileW(path.c_str());
    CloseHandle(file);
    return false;
  }
  wcscpy(g_ownMarkerPath, path.c_str());
  g_ownMarkerHandle = file;
  g_ownMarkerWritten = true;
  return true;
}

void CWin32DisplaySystem::RemoveOwnSwitchMarker() {
  DeleteOwnMarker();
}

std::vector<SwitchMarker> CWin32DisplaySystem::ReadSwitchMarkers() {
  std::vector<SwitchMarker> markers;
  if (markerFolder_.empty()) return markers;
  const std::wstring pattern = markerFolder_ + kMarkerPrefix + L"*" + kMarkerSuffix;
  WIN32_FIND_DATAW found = {};
  HANDLE search = FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return markers;
  const DWORD ownPid = GetCurrentProcessId();
  const uint64_t ownCreated = CreationTime(GetCurrentProcess());
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::wstring name = found.cFileName;
    if (!IsMarkerName(name)) continue;
    const std::wstring path = markerFolder_ + name;
    if (g_ownMarkerWritten && _wcsicmp(path.c_str(), g_ownMarkerPath) == 0) continue;
    SwitchMarker marker;
    marker.id = Narrow(name.c_str());
    std::string text;
    switch (ReadMarkerFile(path, &text)) {
      case MarkerRead::kHeld:
        // Its owner runs (or is writing it right now).
        marker.ownerRunning = true;
        break;
      case MarkerRead::kGone:
        continue;
      case MarkerRead::kRead: {
        // Nobody holds it: its owner has ended, whatever its text says. A marker this process
        // wrote under another display system of its own is still its own.
        DWORD pid = 0;
        uint64_t created = 0;
        if (ParseMarker(text, &pid, &created, &marker.device) && pid == ownPid &&
            created == ownCreated) {
          continue;
        }
        break;
      }
    }
    markers.push_back(marker);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return markers;
}

void CWin32DisplaySystem::RemoveSwitchMarker(const std::string& id) {
  const std::wstring name = Wide(id);
  // Only a marker of this folder: an id is a plain file name of the marker pattern.
  if (markerFolder_.empty() || !IsMarkerName(name)) return;
  DeleteFileW((markerFolder_ + name).c_str());
}

}  // namespace vexa::app

// The executable's TLS callback runs at process detach also when the process ends through
// ExitProcess (a library giving up), which neither the exit handlers nor the frame see.
extern "C" {
static void NTAPI VexaDisplayTlsCallback(PVOID, DWORD reason, PVOID) {
  if (reason == DLL_PROCESS_DETACH) vexa::app::RestoreDisplayOfLastResort();
}
// Sorted between the run-time library's .CRT$XLA and .CRT$XLZ, so the loader calls it.
__attribute__((section(".CRT$XLY"),
               used)) extern const PIMAGE_TLS_CALLBACK vexa_display_tls_callback =
    &VexaDisplayTlsCallback;
}
