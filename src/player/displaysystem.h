// IDisplaySystem: what the display logic (player/display.h) needs from the window system: display
// devices and their modes, mode changes, the monitor a window is on, the foreground window, the
// placement of the frame window, the full-screen watchdog timer and the switch markers that let a
// later run give the desktop back after this one was killed.
//
// The Windows player implements it over user32 and gdi32 (app/displaysystem.h); tests implement it
// with tables of devices and modes and failures on purpose. Numbers and rectangles are the Windows
// ones on every system. UI thread only, like the logic that calls it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/window.h"

namespace vexa::player {

// One display mode: a mode of a device's list, or a device's current mode.
struct DisplayMode {
  int32_t x = 0;  // the device's place on the virtual screen (current modes only)
  int32_t y = 0;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bitsPerPixel = 0;
  uint32_t frequency = 0;  // refresh rate in Hz; 0 or 1 when the device does not say
};

// A monitor: the name of the display device that drives it and its rectangle on the virtual screen
// (negative coordinates for monitors left of or above the primary one).
struct MonitorInfo {
  std::string device;
  platform::WindowRect rect;
};

// Sizes of the caption and of the dialog frame the layout adds to the client area
// (SM_CXDLGFRAME, SM_CYCAPTION, SM_CYDLGFRAME).
struct FrameMetrics {
  int32_t dialogFrameX = 0;
  int32_t caption = 0;
  int32_t dialogFrameY = 0;
};

// Z order for a placement.
enum class WindowZ {
  kUnchanged,   // keep the Z order (SWP_NOZORDER)
  kTopmost,     // HWND_TOPMOST
  kNotTopmost,  // HWND_NOTOPMOST
};

enum class ShowCommand {
  kRestore,   // SW_RESTORE
  kMinimize,  // SW_MINIMIZE
};

// A switch marker: written before a mode change, removed once the desktop mode is back. A marker
// whose process no longer runs tells that a run ended while the display was switched.
struct SwitchMarker {
  std::string id;             // what RemoveSwitchMarker(id) takes
  bool ownerRunning = false;  // the process that wrote it still runs (never this process)
  std::string device;         // the device that was switched, as written
};

// Receives the watchdog's ticks.
class IWatchdogTarget {
 public:
  virtual void OnWatchdogTick() = 0;

 protected:
  ~IWatchdogTarget() = default;
};

class IDisplaySystem {
 public:
  // ---- Display devices and modes

  // The name of display device number `index` (0, 1, ... in the system's order). False after the
  // last device.
  virtual bool GetDisplayDevice(uint32_t index, std::string* name) = 0;
  // The current mode of `device` (ENUM_CURRENT_SETTINGS); an empty name is the default device.
  // False when it cannot be read (the device does not exist or is not part of the desktop).
  virtual bool GetCurrentMode(const std::string& device, DisplayMode* mode) = 0;
  // Mode number `index` of `device`'s list (0, 1, ...). False after the last mode.
  virtual bool GetMode(const std::string& device, uint32_t index, DisplayMode* mode) = 0;
  // The screen's size and depth (HORZRES, VERTRES, BITSPIXEL), for when there is no window yet.
  virtual bool GetScreenMode(DisplayMode* mode) = 0;
  // Changes `device` to width x height at bitsPerPixel for as long as the process runs
  // (CDS_FULLSCREEN). True when the system made the change.
  virtual bool ChangeMode(const std::string& device, uint32_t width, uint32_t height,
                          uint32_t bitsPerPixel) = 0;
  // Gives every device its desktop mode back (ChangeDisplaySettings without a mode; `reset` adds
  // CDS_RESET). True when the system did.
  virtual bool RestoreDefaultMode(bool reset) = 0;

  // ---- Monitors and windows

  // The monitor nearest to `window` (MONITOR_DEFAULTTONEAREST). False when it cannot be read.
  virtual bool GetWindowMonitor(platform::WindowHandle window, MonitorInfo* info) = 0;
  // The foreground window of the system; null when there is none (during a switch, on a locked
  // desktop).
  virtual platform::WindowHandle GetForegroundWindow() = 0;
  virtual bool IsMinimized(platform::WindowHandle window) = 0;
  // The window's outer rectangle in screen coordinates. False for a dead window.
  virtual bool GetWindowRect(platform::WindowHandle window, platform::WindowRect* rect) = 0;
  // Adds (on) or removes WS_CAPTION in the window's style.
  virtual void SetCaptionStyle(platform::WindowHandle window, bool on) = 0;
  // Clears the window's extended style.
  virtual void ClearExtendedStyle(platform::WindowHandle window) = 0;
  // Applies a style change without moving, sizing or reordering (SWP_FRAMECHANGED).
  virtual void ApplyFrameChange(platform::WindowHandle window) = 0;
  // Moves and sizes the window to `rect` with SWP_FRAMECHANGED, in the Z order `z`.
  virtual void PlaceWindow(platform::WindowHandle window, WindowZ z,
                           const platform::WindowRect& rect) = 0;
  // Moves and sizes the window to `rect` and repaints it (MoveWindow).
  virtual void MoveWindow(platform::WindowHandle window, const platform::WindowRect& rect) = 0;
  virtual void ShowWindow(platform::WindowHandle window, ShowCommand command) = 0;
  // Brings the window to the foreground and activates it.
  virtual void ActivateWindow(platform::WindowHandle window) = 0;
  virtual FrameMetrics GetFrameMetrics() = 0;
  // Waits on the calling thread (between placement attempts).
  virtual void Wait(uint32_t milliseconds) = 0;

  // ---- The full-screen watchdog: a timer of the UI thread with at most one pending tick

  // (Re)starts the timer: one tick for `target` after `milliseconds`, replacing a pending one.
  // The timer stops itself before it calls the target. False when no timer could be started.
  virtual bool StartWatchdog(uint32_t milliseconds, IWatchdogTarget* target) = 0;
  virtual void StopWatchdog() = 0;

  // ---- Switch markers (per process; they outlive the process)

  // Writes (or rewrites) this process's marker naming `device`. False when it cannot be written.
  virtual bool WriteSwitchMarker(const std::string& device) = 0;
  // Removes this process's marker, if any.
  virtual void RemoveOwnSwitchMarker() = 0;
  // The markers of other processes, running or not (this process's own marker is not listed).
  virtual std::vector<SwitchMarker> ReadSwitchMarkers() = 0;
  // Removes the marker `id` of ReadSwitchMarkers.
  virtual void RemoveSwitchMarker(const std::string& id) = 0;

 protected:
  ~IDisplaySystem() = default;
};

}  // namespace vexa::player
