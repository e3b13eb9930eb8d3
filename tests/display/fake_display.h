// A display system made of tables (devices, their mode lists, current and desktop modes, monitors
// placed side by side), one frame window and other windows, with failures on purpose; and a player
// side (layout settings, FSMODES variants, saves) for CDisplayModes.
//
// Every call that changes something is written to `log` as one line, so tests can check what
// happened and in which order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fscommand/dilator.h"
#include "player/display.h"
#include "support/window.h"

namespace display_test {

using vexa::platform::WindowHandle;
using vexa::platform::WindowRect;
using vexa::player::DisplayMode;
using vexa::player::ModeRecord;
using vexa::testing::Rect;

inline WindowHandle Handle(uintptr_t n) {
  return reinterpret_cast<WindowHandle>(n);
}
inline const WindowHandle kFrame = Handle(0x100);
inline const WindowHandle kOther = Handle(0x200);
inline const WindowHandle kOtherOnSecond = Handle(0x300);

inline DisplayMode Mode(uint32_t width, uint32_t height, uint32_t bits = 32,
                        uint32_t frequency = 60) {
  DisplayMode mode;
  mode.width = width;
  mode.height = height;
  mode.bitsPerPixel = bits;
  mode.frequency = frequency;
  return mode;
}

inline std::string Text(const WindowRect& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) +
         "," + std::to_string(r.bottom);
}

struct FakeDevice {
  std::string name;
  int32_t x = 0;  // place on the virtual screen
  int32_t y = 0;
  DisplayMode desktop;             // the mode a restore gives back
  DisplayMode current;             // the mode it shows now
  std::vector<DisplayMode> modes;  // its list
  bool readable = true;            // its current mode can be read
};

struct FakeWindow {
  WindowRect rect;
  std::string device;  // the monitor it is on
  bool minimized = false;
  bool topmost = false;
  bool caption = true;
};

class CFakeDisplay : public vexa::player::IDisplaySystem {
 public:
  std::vector<FakeDevice> devices;
  std::map<WindowHandle, FakeWindow> windows;
  WindowHandle foreground = nullptr;
  std::vector<std::string> log;

  // Failures on purpose.
  bool changeFails = false;
  bool restoreFails = false;
  bool monitorFails = false;
  bool screenFails = false;
  bool markerWriteFails = false;
  // Every device index answers (an endless list); with `readable` false nothing is stored.
  bool endlessDevices = false;
  // The window does not end up where it was placed: the system nudges it by one pixel, this many
  // times (-1: always).
  int nudges = 0;
  // The list of modes is read in reverse after the first full pass (a list that changes).
  bool reverseAfterFirstPass = false;
  // Called in the middle of a mode change, as WM_DISPLAYCHANGE is sent during the real one.
  std::function<void()> onChange;
  FakeWindow* frame() { return &windows[kFrame]; }

  // The watchdog.
  bool watchdogPending = false;
  uint32_t watchdogMilliseconds = 0;
  vexa::player::IWatchdogTarget* watchdogTarget = nullptr;
  int waits = 0;

  // Markers: this process's own, and those of other processes.
  bool ownMarker = false;
  std::string ownMarkerDevice;
  std::vector<vexa::player::SwitchMarker> otherMarkers;

  // Runs the pending watchdog tick. False when none was pending.
  bool Tick() {
    if (!watchdogPending) return false;
    watchdogPending = false;
    watchdogTarget->OnWatchdogTick();
    return true;
  }

  FakeDevice* Find(const std::string& name) {
    for (FakeDevice& device : devices) {
      if (name.empty() ? &device == &devices.front() : device.name == name) return &device;
    }
    return nullptr;
  }

  WindowRect MonitorRect(const FakeDevice& device) const {
    return Rect(device.x, device.y, device.x + static_cast<int32_t>(device.current.width),
                device.y + static_cast<int32_t>(device.current.height));
  }

  // ---- IDisplaySystem
  bool GetDisplayDevice(uint32_t index, std::string* name) override {
    if (endlessDevices) {
      *name = "\\\\.\\DISPLAY" + std::to_string(index + 1);
      return true;
    }
    if (index >= devices.size()) return false;
    *name = devices[index].name;
    return true;
  }
  bool GetCurrentMode(const std::string& device, DisplayMode* mode) override {
    FakeDevice* found = Find(device);
    if (!found || !found->readable) return false;
    *mode = found->current;
    mode->x = found->x;
    mode->y = found->y;
    return true;
  }
  bool GetMode(const std::string& device, uint32_t index, DisplayMode* mode) override {
    FakeDevice* found = Find(device);
    if (!found || index >= found->modes.size()) return false;
    size_t at = index;
    if (reverseAfterFirstPass && passes_ > 0) at = found->modes.size() - 1 - index;
    *mode = found->modes[at];
    if (index + 1 == found->modes.size()) ++passes_;
    return true;
  }
  bool GetScreenMode(DisplayMode* mode) override {
    if (screenFails || devices.empty()) return false;
    *mode = devices.front().current;
    return true;
  }
  bool ChangeMode(const std::string& device, uint32_t width, uint32_t height,
                  uint32_t bits) override {
    log.push_back("change " + device + " " + std::to_string(width) + "x" + std::to_string(height) +
                  "x" + std::to_string(bits));
    FakeDevice* found = Find(device);
    if (changeFails || !found) return false;
    bool listed = false;
    for (const DisplayMode& mode : found->modes) {
      listed |= mode.width == width && mode.height == height && mode.bitsPerPixel == bits;
    }
    if (!listed) return false;
    found->current = Mode(width, height, bits);
    if (onChange) onChange();
    return true;
  }
  bool RestoreDefaultMode(bool reset) override {
    log.push_back(reset ? "restore reset" : "restore");
    if (restoreFails) return false;
    for (FakeDevice& device : devices) device.current = device.desktop;
    return true;
  }
  bool GetWindowMonitor(WindowHandle window, vexa::player::MonitorInfo* info) override {
    if (monitorFails) return false;
    // As MONITOR_DEFAULTTONEAREST does, no window at all gives the primary monitor.
    auto it = windows.find(window);
    FakeDevice* device = !window && !devices.empty() ? &devices.front()
                         : it == windows.end()       ? nullptr
                                                     : Find(it->second.device);
    if (!device) return false;
    info->device = device->name;
    info->rect = MonitorRect(*device);
    return true;
  }
  WindowHandle GetForegroundWindow() override { return foreground; }
  bool IsMinimized(WindowHandle window) override { return windows[window].minimized; }
  bool GetWindowRect(WindowHandle window, WindowRect* rect) override {
    auto it = windows.find(window);
    if (it == windows.end()) return false;
    *rect = it->second.rect;
    return true;
  }
  void SetCaptionStyle(WindowHandle window, bool on) override {
    log.push_back(on ? "caption on" : "caption off");
    windows[window].caption = on;
  }
  void ClearExtendedStyle(WindowHandle) override { log.push_back("clear exstyle"); }
  void ApplyFrameChange(WindowHandle) override { log.push_back("frame changed"); }
  void PlaceWindow(WindowHandle window, vexa::player::WindowZ z, const WindowRect& rect) override {
    const char* order = z == vexa::player::WindowZ::kTopmost      ? "topmost"
                        : z == vexa::player::WindowZ::kNotTopmost ? "notopmost"
                                                                  : "keep";
    log.push_back(std::string("place ") + order + " " + Text(rect));
    FakeWindow& w = windows[window];
    if (z == vexa::player::WindowZ::kTopmost) w.topmost = true;
    if (z == vexa::player::WindowZ::kNotTopmost) w.topmost = false;
    Put(&w, rect);
  }
  void MoveWindow(WindowHandle window, const WindowRect& rect) override {
    log.push_back("move " + Text(rect));
    Put(&windows[window], rect);
  }
  void ShowWindow(WindowHandle window, vexa::player::ShowCommand command) override {
    const bool minimize = command == vexa::player::ShowCommand::kMinimize;
    log.push_back(minimize ? "minimize" : "show restore");
    windows[window].minimized = minimize;
  }
  void ActivateWindow(WindowHandle window) override {
    log.push_back("activate");
    foreground = window;
  }
  vexa::player::FrameMetrics GetFrameMetrics() override {
    vexa::player::FrameMetrics metrics;
    metrics.dialogFrameX = 3;
    metrics.caption = 19;
    metrics.dialogFrameY = 3;
    return metrics;
  }
  void Wait(uint32_t) override { ++waits; }
  bool StartWatchdog(uint32_t milliseconds, vexa::player::IWatchdogTarget* target) override {
    watchdogPending = true;
    watchdogMilliseconds = milliseconds;
    watchdogTarget = target;
    return true;
  }
  void StopWatchdog() override { watchdogPending = false; }
  bool WriteSwitchMarker(const std::string& device) override {
    log.push_back("marker " + device);
    if (markerWriteFails) return false;
    ownMarker = true;
    ownMarkerDevice = device;
    return true;
  }
  void RemoveOwnSwitchMarker() override {
    if (ownMarker) log.push_back("marker removed");
    ownMarker = false;
  }
  std::vector<vexa::player::SwitchMarker> ReadSwitchMarkers() override { return otherMarkers; }
  void RemoveSwitchMarker(const std::string& id) override {
    log.push_back("remove marker " + id);
    for (auto it = otherMarkers.begin(); it != otherMarkers.end(); ++it) {
      if (it->id == id) {
        otherMarkers.erase(it);
        break;
      }
    }
  }

 private:
  void Put(FakeWindow* window, const WindowRect& rect) {
    // A placement loop that does not end fails the test instead of hanging it.
    if (++placements_ > kPlacementLimit && nudges != 0) {
      ADD_FAILURE() << "more than " << kPlacementLimit << " placements";
      nudges = 0;
    }
    window->rect = rect;
    if (nudges != 0) {
      ++window->rect.left;
      if (nudges > 0) --nudges;
    }
    // The monitor follows the window's top-left corner.
    for (const FakeDevice& device : devices) {
      const WindowRect monitor = MonitorRect(device);
      if (rect.left >= monitor.left && rect.left < monitor.right && rect.top >= monitor.top &&
          rect.top < monitor.bottom) {
        window->device = device.name;
      }
    }
  }

  static constexpr int kPlacementLimit = 1000;
  int passes_ = 0;
  int placements_ = 0;
};

// The player side: settings, variants and the save store (slot 0 of each set).
class CFakeClient : public vexa::player::IDisplayClient {
 public:
  vexa::player::WindowLayoutSettings settings;
  std::vector<ModeRecord> variants;
  ModeRecord current;
  std::map<std::string, std::string> saves;  // set -> data
  std::map<std::string, std::string> descriptions;
  bool readFails = false;  // any read fails (not "missing": the store cannot be read)
  bool writeFails = false;
  std::vector<std::string> used;  // suffixes of the variants made current

  vexa::player::WindowLayoutSettings GetLayoutSettings() override { return settings; }
  const std::vector<ModeRecord>& GetDisplayVariants() override { return variants; }
  ModeRecord GetDisplayCurrentVariant() override { return current; }
  void UseDisplayVariant(const ModeRecord& entry) override {
    current.displayWidth = entry.displayWidth;
    current.displayHeight = entry.displayHeight;
    current.urlSuffix = entry.urlSuffix;
    current.movieWidth = entry.movieWidth;
    current.movieHeight = entry.movieHeight;
    used.push_back(entry.urlSuffix.c_str());
  }
  HRESULT ReadPreference(const char* set, CSmallStr* data) override {
    if (readFails) return E_FAIL;
    auto it = saves.find(set);
    if (it == saves.end()) return kNoSuchSaveStatus;
    *data = it->second.c_str();
    return S_OK;
  }
  HRESULT WritePreference(const char* set, const char* description, const char* data) override {
    if (writeFails) return E_FAIL;
    saves[set] = data;
    descriptions[set] = description;
    return S_OK;
  }
};

inline ModeRecord Variant(int32_t movieWidth, int32_t movieHeight, const char* suffix,
                          int32_t wide = 0) {
  ModeRecord record;
  record.wide = wide;
  record.movieWidth = movieWidth;
  record.movieHeight = movieHeight;
  record.displayWidth = movieWidth;
  record.displayHeight = movieHeight;
  record.urlSuffix = suffix;
  return record;
}

}  // namespace display_test
