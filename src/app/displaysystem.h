// CWin32DisplaySystem: the display logic's window system (player/displaysystem.h) on user32 and
// gdi32, the only implementation the player uses.
//
// Besides the operations of the interface it keeps the desktop mode safe beyond the frame's own
// paths: from the moment a mode change succeeds until the desktop mode is back, a process-wide
// flag is set, and
// - the unhandled-exception filter (installed by the first object; the previous filter is called
//   afterwards),
// - an exit handler (atexit),
// - the executable's TLS callback at process detach (Windows calls it also when something calls
//   ExitProcess directly) and
// - a fiber-local-storage callback of the thread that made the first object (called when that
//   thread or the process ends, ExitProcess included; Wine calls this one, not the TLS callback)
// restore the desktop mode and remove this process's switch marker while it is set. A process
// killed from outside runs none of them: its marker makes the next start restore.
//
// Switch markers are small text files "vexa-display-<pid>.marker" in a folder (the user's
// temporary folder unless given): the process id, its creation time and the switched device. A
// marker whose process id names no running process, or a process created at another time, is
// stale.
//
// Windows only. UI thread only, except the restore of the last resort (any thread, once).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "player/displaysystem.h"

namespace vexa::app {

// The folder switch markers are kept in by default: the user's temporary folder (UTF-8, with a
// trailing separator). Empty when Windows names none.
std::string DefaultSwitchMarkerFolder();

// Gives the desktop its mode back and removes this process's marker when the display is switched
// by this process; does nothing otherwise. The exception filter, the exit handler and the TLS
// callback call it; safe from any thread, and only the first call does the work.
void RestoreDisplayOfLastResort();

// True while a mode change made through a CWin32DisplaySystem is in effect.
bool IsDisplaySwitchedByProcess();

class CWin32DisplaySystem : public vexa::player::IDisplaySystem {
 public:
  // `markerFolder`: where switch markers are kept (UTF-8, with or without a trailing separator);
  // empty means DefaultSwitchMarkerFolder().
  explicit CWin32DisplaySystem(const std::string& markerFolder = std::string());
  ~CWin32DisplaySystem();

  bool GetDisplayDevice(uint32_t index, std::string* name) override;
  bool GetCurrentMode(const std::string& device, vexa::player::DisplayMode* mode) override;
  bool GetMode(const std::string& device, uint32_t index, vexa::player::DisplayMode* mode) override;
  bool GetScreenMode(vexa::player::DisplayMode* mode) override;
  bool ChangeMode(const std::string& device, uint32_t width, uint32_t height,
                  uint32_t bitsPerPixel) override;
  bool RestoreDefaultMode(bool reset) override;

  bool GetWindowMonitor(vexa::platform::WindowHandle window,
                        vexa::player::MonitorInfo* info) override;
  vexa::platform::WindowHandle GetForegroundWindow() override;
  bool IsMinimized(vexa::platform::WindowHandle window) override;
  bool GetWindowRect(vexa::platform::WindowHandle window,
                     vexa::platform::WindowRect* rect) override;
  void SetCaptionStyle(vexa::platform::WindowHandle window, bool on) override;
  void ClearExtendedStyle(vexa::platform::WindowHandle window) override;
  void ApplyFrameChange(vexa::platform::WindowHandle window) override;
  void PlaceWindow(vexa::platform::WindowHandle window, vexa::player::WindowZ z,
                   const vexa::platform::WindowRect& rect) override;
  void MoveWindow(vexa::platform::WindowHandle window,
                  const vexa::platform::WindowRect& rect) override;
  void ShowWindow(vexa::platform::WindowHandle window, vexa::player::ShowCommand command) override;
  void ActivateWindow(vexa::platform::WindowHandle window) override;
  vexa::player::FrameMetrics GetFrameMetrics() override;
  void Wait(uint32_t milliseconds) override;

  bool StartWatchdog(uint32_t milliseconds, vexa::player::IWatchdogTarget* target) override;
  void StopWatchdog() override;

  bool WriteSwitchMarker(const std::string& device) override;
  void RemoveOwnSwitchMarker() override;
  std::vector<vexa::player::SwitchMarker> ReadSwitchMarkers() override;
  void RemoveSwitchMarker(const std::string& id) override;

  // The folder markers are kept in (wide, with a trailing separator).
  const std::wstring& GetMarkerFolder() const { return markerFolder_; }

 private:
  std::wstring markerFolder_;
};

}  // namespace vexa::app
