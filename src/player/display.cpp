#include "player/display.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "fscommand/dilator.h"
#include "platform/diagnostics.h"

namespace vexa::player {

using platform::WindowHandle;
using platform::WindowRect;

namespace {

bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool SameRect(const WindowRect& a, const WindowRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

WindowRect RectAt(int64_t x, int64_t y, int64_t width, int64_t height) {
  WindowRect rect;
  rect.left = ClampToInt32(x);
  rect.top = ClampToInt32(y);
  rect.right = ClampToInt32(x + width);
  rect.bottom = ClampToInt32(y + height);
  return rect;
}

bool IsEmpty(const WindowRect& rect) {
  return rect.right <= rect.left || rect.bottom <= rect.top;
}

// A preference value as the game settings read booleans; empty text is off.
bool PreferenceIsOn(const CSmallStr& text) {
  return ParseFlag(std::string_view(text.c_str(), static_cast<size_t>(text.GetLength())))
      .value_or(false);
}

uint32_t NonNegative(int32_t value) {
  return value > 0 ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure choices

int FindFittingVariant(const std::vector<ModeRecord>& variants, uint32_t desktopWidth,
                       uint32_t desktopHeight, bool onlyWide) {
  int kept = -1;
  uint64_t best = 0;
  const uint64_t desktopArea = uint64_t{desktopWidth} * desktopHeight;
  for (size_t i = 0; i < variants.size(); ++i) {
    const ModeRecord& entry = variants[i];
    if (onlyWide && !entry.wide) continue;
    // A negative size would pass as a huge unsigned one: it fits nothing.
    if (entry.movieWidth < 0 || entry.movieHeight < 0) continue;
    const auto width = static_cast<uint32_t>(entry.movieWidth);
    const auto height = static_cast<uint32_t>(entry.movieHeight);
    if (height > desktopHeight || width > desktopWidth) continue;
    const uint64_t excess = desktopArea - uint64_t{width} * height;
    if (kept < 0 || excess < best) {
      kept = static_cast<int>(i);
      best = excess;
    }
  }
  return kept;
}

bool IsFullScreenCandidate(const DisplayMode& mode, const DisplayMode& desktop, uint32_t movieWidth,
                           uint32_t movieHeight, bool keepAspect) {
  if (mode.bitsPerPixel != desktop.bitsPerPixel) return false;
  if (mode.height < movieHeight || mode.width < movieWidth) return false;
  if (!keepAspect) return true;
  // A size of 0 has no aspect: it matches nothing (and must not divide).
  if (mode.height == 0 || desktop.height == 0) return false;
  const float desktopRatio = static_cast<float>(desktop.width) / static_cast<float>(desktop.height);
  const float modeRatio = static_cast<float>(mode.width) / static_cast<float>(mode.height);
  return std::fabs(desktopRatio - modeRatio) < 0.1f;
}

// ---------------------------------------------------------------------------------------------

// Holds the switch-in-progress flag for the run of one switch, whichever way it returns.
class CDisplayModes::CSwitchGuard {
 public:
  explicit CSwitchGuard(bool* flag) : flag_(flag) { *flag_ = true; }
  ~CSwitchGuard() { *flag_ = false; }
  CSwitchGuard(const CSwitchGuard&) = delete;
  CSwitchGuard& operator=(const CSwitchGuard&) = delete;

 private:
  bool* flag_;
};

CDisplayModes::CDisplayModes(IDisplaySystem* system, IDisplayClient* client)
    : system_(system), client_(client) {}

// ---- Start and close

bool CDisplayModes::RestoreAfterEarlierRun() {
  const std::vector<SwitchMarker> markers = system_->ReadSwitchMarkers();
  bool stale = false;
  bool running = false;
  for (const SwitchMarker& marker : markers) {
    if (marker.ownerRunning) {
      running = true;
    } else {
      stale = true;
    }
  }
  if (!stale) return false;
  // A player that still runs with a switched display gives it back itself; resetting the modes
  // under it would take its full screen away.
  const bool restored = !running && system_->RestoreDefaultMode(false);
  if (restored || running) {
    for (const SwitchMarker& marker : markers) {
      if (!marker.ownerRunning) system_->RemoveSwitchMarker(marker.id);
    }
  }
  return restored;
}

void CDisplayModes::DetectDisplays() {
  for (int i = 1; i < kDisplayTableSize; ++i) {
    table_.widths[i] = 0;
    table_.heights[i] = 0;
    table_.depths[i] = 0;
  }
  int next = 1;
  std::string device;
  for (uint32_t index = 0; index < kMaxDevices && next < kDisplayTableSize; ++index) {
    if (!system_->GetDisplayDevice(index, &device)) break;
    DisplayMode mode;
    if (!system_->GetCurrentMode(device, &mode)) continue;
    table_.widths[next] = static_cast<int32_t>(mode.width);
    table_.heights[next] = static_cast<int32_t>(mode.height);
    table_.depths[next] = static_cast<int32_t>(mode.bitsPerPixel);
    ++next;
  }

  MonitorInfo monitor;
  if (window_ && ReadDesktopOfWindow(&monitor)) {
    table_.widths[0] = static_cast<int32_t>(desktop_.width);
    table_.heights[0] = static_cast<int32_t>(desktop_.height);
    table_.depths[0] = static_cast<int32_t>(desktop_.bitsPerPixel);
    return;
  }
  DisplayMode screen;
  if (system_->GetScreenMode(&screen)) {
    table_.widths[0] = static_cast<int32_t>(screen.width);
    table_.heights[0] = static_cast<int32_t>(screen.height);
    table_.depths[0] = static_cast<int32_t>(screen.bitsPerPixel);
  }
}

void CDisplayModes::ReadRememberedDevice() {
  CSmallStr device;
  rememberedDevice_.clear();
  if (SUCCEEDED(client_->ReadPreference(kMonitorInfoSet, &device))) {
    rememberedDevice_.assign(device.c_str(), static_cast<size_t>(device.GetLength()));
  }
}

void CDisplayModes::RestoreRememberedDisplay() {
  ReadRememberedDevice();
  DisplayMode mode;
  if (system_->GetCurrentMode(rememberedDevice_, &mode)) {
    desktop_ = mode;
    desktopDevice_ = rememberedDevice_;
  } else if (system_->GetCurrentMode(std::string(), &mode)) {
    desktop_ = mode;
    desktopDevice_.clear();
  }
  table_.widths[0] = static_cast<int32_t>(desktop_.width);
  table_.heights[0] = static_cast<int32_t>(desktop_.height);
  table_.depths[0] = static_cast<int32_t>(desktop_.bitsPerPixel);
  LayoutWindow();
}

void CDisplayModes::RememberMonitor() {
  MonitorInfo monitor;
  if (!window_ || !system_->GetWindowMonitor(window_, &monitor)) return;
  client_->WritePreference(kMonitorInfoSet, kMonitorInfoDescription, monitor.device.c_str());
}

void CDisplayModes::OnClose() {
  RememberMonitor();
  RestoreDesktop();
}

void CDisplayModes::RestoreDesktop() {
  // Only a display this player switched is reset: after the watchdog gave it back another program
  // may own the mode.
  if (switched_) GiveDesktopBack(false);
}

bool CDisplayModes::GiveDesktopBack(bool reset) {
  if (!system_->RestoreDefaultMode(reset)) {
    if (!giveBackFailing_ && vexa::platform::DiagnosticsEnabled()) {
      vexa::platform::WriteDiagnostic("display", "the desktop's mode did not come back");
    }
    giveBackFailing_ = true;
    return false;
  }
  giveBackFailing_ = false;
  switched_ = false;
  system_->RemoveOwnSwitchMarker();
  return true;
}

// ---- Layout and variants

bool CDisplayModes::ReadDesktopOfWindow(MonitorInfo* monitor) {
  if (!window_ || !system_->GetWindowMonitor(window_, monitor)) return false;
  DisplayMode mode;
  if (!system_->GetCurrentMode(monitor->device, &mode)) return false;
  desktop_ = mode;
  desktopDevice_ = monitor->device;
  return true;
}

WindowRect CDisplayModes::ComputeWindowedRect() {
  const WindowLayoutSettings settings = client_->GetLayoutSettings();
  int64_t width = settings.clientWidth;
  int64_t height = settings.clientHeight;
  if (settings.caption) {
    const FrameMetrics metrics = system_->GetFrameMetrics();
    width += 2 * int64_t{metrics.dialogFrameX};
    height += int64_t{metrics.caption} + 2 * int64_t{metrics.dialogFrameY};
  }
  const int64_t monitorX = desktop_.x;
  const int64_t monitorY = desktop_.y;
  int64_t x;
  int64_t y;
  if (settings.centred) {
    x = monitorX + (int64_t{desktop_.width} - width) / 2;
    y = monitorY + (int64_t{desktop_.height} - height) / 2;
    // A window larger than its monitor keeps its caption on that monitor; a monitor left of or
    // above the primary one has negative coordinates, so the limit is the monitor's edge, not 0.
    x = std::max(x, monitorX);
    y = std::max(y, monitorY);
  } else {
    x = monitorX + settings.x;
    y = monitorY + settings.y;
  }
  return RectAt(x, y, width, height);
}

HRESULT CDisplayModes::LayoutWindow() {
  if (!window_) return E_UNEXPECTED;
  const WindowRect rect = ComputeWindowedRect();
  if (fullScreen_ || placedFullScreen_) {
    // The window covers the monitor: the new layout is where leaving full screen puts it.
    savedRect_ = rect;
    return S_OK;
  }
  system_->SetCaptionStyle(window_, client_->GetLayoutSettings().caption);
  outerWidth_ = rect.right - rect.left;
  outerHeight_ = rect.bottom - rect.top;
  system_->PlaceWindow(window_, WindowZ::kUnchanged, rect);
  return S_OK;
}

HRESULT CDisplayModes::SelectMovieVariant() {
  if (ChooseVariant(true) == 0) ChooseVariant(false);
  return S_OK;
}

int CDisplayModes::ChooseVariant(bool respectPreference) {
  wideState_ = 0;
  ReadRememberedDevice();
  int32_t wide = 0;
  if (SUCCEEDED(GetPreferWide(&wide))) wideState_ = wide ? 2 : 1;

  // While the display is switched the monitor shows the full-screen mode; the desktop the variant
  // is for is the one read before the switch.
  if (!switched_) {
    MonitorInfo monitor;
    if (!ReadDesktopOfWindow(&monitor)) return 0;
  }
  const std::vector<ModeRecord>& variants = client_->GetDisplayVariants();
  if (variants.empty()) return 1;

  const bool filterWide = respectPreference && !rememberedDevice_.empty() &&
                          EqualsIgnoringAsciiCase(rememberedDevice_, desktopDevice_);
  int kept =
      FindFittingVariant(variants, desktop_.width, desktop_.height, filterWide && wideState_ == 2);
  if (kept < 0) {
    if (filterWide) return 0;
    kept = 0;
  }
  client_->UseDisplayVariant(variants[static_cast<size_t>(kept)]);
  return 1;
}

// ---- Full screen

HRESULT CDisplayModes::FindFullScreenMode(ModeRecord* mode, const MonitorInfo& monitor,
                                          bool keepAspect) {
  if (!mode) return E_POINTER;
  const ModeRecord current = client_->GetDisplayCurrentVariant();
  const uint32_t movieWidth = NonNegative(current.movieWidth);
  const uint32_t movieHeight = NonNegative(current.movieHeight);
  const uint64_t need = uint64_t{movieWidth} * movieHeight;

  // The mode found by the scan is kept as it was read: reading it again by its index could give
  // another mode when the list changed in between.
  std::optional<DisplayMode> kept;
  uint64_t best = 0;
  DisplayMode candidate;
  for (uint32_t index = 0; index < kMaxModes; ++index) {
    if (!system_->GetMode(monitor.device, index, &candidate)) break;
    if (!IsFullScreenCandidate(candidate, desktop_, movieWidth, movieHeight, keepAspect)) continue;
    const uint64_t excess = uint64_t{candidate.width} * candidate.height - need;
    if (!kept || excess < best) {
      kept = candidate;
      best = excess;
    }
  }
  if (!kept) return E_FAIL;
  mode->displayWidth = static_cast<int32_t>(kept->width);
  mode->displayHeight = static_cast<int32_t>(kept->height);
  mode->movieWidth = current.movieWidth;
  mode->movieHeight = current.movieHeight;
  mode->urlSuffix = current.urlSuffix;
  return S_OK;
}

int CDisplayModes::SetFullScreenMode(bool enter, bool moveWindow) {
  if (enter && switched_) return 1;
  if (!enter && !switched_) {
    // The watchdog gave the display back while the window still covers the monitor: leaving
    // full screen must still bring the window back.
    if (moveWindow && placedFullScreen_ && window_) {
      CSwitchGuard guard(&switchInProgress_);
      RestoreWindowedPlacement();
    }
    return 1;
  }
  if (!window_) return 0;
  CSwitchGuard guard(&switchInProgress_);
  return (enter ? EnterFullScreen(moveWindow) : LeaveFullScreen(moveWindow)) ? 1 : 0;
}

bool CDisplayModes::EnterFullScreen(bool moveWindow) {
  DetectDisplays();
  if (!system_->IsMinimized(window_) && moveWindow && !fullScreen_ && !resume_) {
    WindowRect rect;
    if (system_->GetWindowRect(window_, &rect)) savedRect_ = rect;
  }
  MonitorInfo monitor;
  if (!ReadDesktopOfWindow(&monitor)) return false;

  int32_t keep = 1;
  GetKeepAspect(&keep);
  ModeRecord found;
  HRESULT hr = FindFullScreenMode(&found, monitor, keep != 0);
  if (FAILED(hr) && keep) hr = FindFullScreenMode(&found, monitor, false);
  if (FAILED(hr)) return false;

  const auto width = static_cast<uint32_t>(found.displayWidth);
  const auto height = static_cast<uint32_t>(found.displayHeight);
  if (found.displayWidth != table_.widths[0] || found.displayHeight != table_.heights[0] ||
      static_cast<int32_t>(desktop_.bitsPerPixel) != table_.depths[0]) {
    // The marker goes first: a run killed right after the change must still be noticed.
    const bool marked = system_->WriteSwitchMarker(monitor.device);
    if (!system_->ChangeMode(monitor.device, width, height, desktop_.bitsPerPixel)) {
      if (vexa::platform::DiagnosticsEnabled()) {
        vexa::platform::WriteDiagnostic(
            "display", "full screen: the mode " + std::to_string(width) + " x " +
                           std::to_string(height) + " was refused on " + monitor.device);
      }
      if (marked) system_->RemoveOwnSwitchMarker();
      return false;
    }
  }

  outerWidth_ = found.displayWidth;
  outerHeight_ = found.displayHeight;
  MonitorInfo after;
  if (system_->GetWindowMonitor(window_, &after)) monitor = after;
  const int32_t left = monitor.rect.left;
  const int32_t top = monitor.rect.top;

  if (moveWindow) {
    if (client_->GetLayoutSettings().caption) {
      system_->SetCaptionStyle(window_, false);
      system_->ApplyFrameChange(window_);
    }
    const WindowRect target = RectAt(left, top, width, height);
    for (int attempt = 0; attempt < kPlacementAttempts; ++attempt) {
      system_->PlaceWindow(window_, WindowZ::kTopmost, target);
      system_->MoveWindow(window_, target);
      system_->PlaceWindow(window_, WindowZ::kTopmost, target);
      WindowRect rect;
      if (system_->GetWindowRect(window_, &rect) && SameRect(rect, target)) break;
      // A system that keeps adjusting the rectangle gets the window where it last put it.
      if (attempt + 1 < kPlacementAttempts) system_->Wait(kPlacementWaitMilliseconds);
    }
  } else {
    const int64_t monitorWidth = int64_t{monitor.rect.right} - monitor.rect.left;
    const int64_t monitorHeight = int64_t{monitor.rect.bottom} - monitor.rect.top;
    system_->PlaceWindow(window_, WindowZ::kTopmost,
                         RectAt(left, top, std::min<int64_t>(width, monitorWidth),
                                std::min<int64_t>(height, monitorHeight)));
  }
  switched_ = true;
  placedFullScreen_ = true;
  return true;
}

bool CDisplayModes::LeaveFullScreen(bool moveWindow) {
  if (!GiveDesktopBack(true)) return false;
  if (moveWindow) RestoreWindowedPlacement();
  return true;
}

void CDisplayModes::RestoreWindowedPlacement() {
  // Placing a minimised window would only move its icon; the restored window would come back
  // covering the monitor.
  if (system_->IsMinimized(window_)) system_->ShowWindow(window_, ShowCommand::kRestore);
  const WindowLayoutSettings settings = client_->GetLayoutSettings();
  if (settings.caption) {
    system_->SetCaptionStyle(window_, true);
    system_->ClearExtendedStyle(window_);
  }
  // Entered without a windowed rectangle to go back to (after a resume, say): the layout says
  // where the window belongs.
  if (IsEmpty(savedRect_)) savedRect_ = ComputeWindowedRect();
  outerWidth_ = savedRect_.right - savedRect_.left;
  outerHeight_ = savedRect_.bottom - savedRect_.top;
  for (int attempt = 0; attempt < kPlacementAttempts; ++attempt) {
    system_->PlaceWindow(window_, WindowZ::kNotTopmost, savedRect_);
    system_->MoveWindow(window_, savedRect_);
    WindowRect rect;
    if (system_->GetWindowRect(window_, &rect) && SameRect(rect, savedRect_)) break;
    if (attempt + 1 < kPlacementAttempts) system_->Wait(kPlacementWaitMilliseconds);
  }
  placedFullScreen_ = false;
}

HRESULT CDisplayModes::SetFullScreen(bool on) {
  if (!window_) return E_UNEXPECTED;
  if (on) {
    if (fullScreen_) return S_OK;
    if (system_->IsMinimized(window_)) system_->ShowWindow(window_, ShowCommand::kRestore);
    fullScreen_ = false;
    fullScreen_ = SetFullScreenMode(true, true) == 1;
    return S_OK;
  }
  if (!fullScreen_) return S_OK;
  if (SetFullScreenMode(false, true) == 1) {
    fullScreen_ = false;
    system_->ActivateWindow(window_);
  }
  return S_OK;
}

HRESULT CDisplayModes::GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* depth) const {
  if (!width || !height || !depth) return E_POINTER;
  int32_t w = 0;
  int32_t h = 0;
  int32_t d = 0;
  for (int i = 0; i < kDisplayTableSize; ++i) {
    w = std::max(w, table_.widths[i]);
    h = std::max(h, table_.heights[i]);
    d = std::max(d, table_.depths[i]);
  }
  *width = w;
  *height = h;
  *depth = d;
  return S_OK;
}

HRESULT CDisplayModes::SetPreferWide(bool on) {
  wideState_ = on ? 2 : 1;
  return client_->WritePreference(kRatioInfoSet, kRatioInfoDescription, on ? "ON" : "OFF");
}

HRESULT CDisplayModes::GetPreferWide(int32_t* on) {
  if (!on) return E_POINTER;
  *on = 0;
  CSmallStr value;
  const HRESULT hr = client_->ReadPreference(kRatioInfoSet, &value);
  if (SUCCEEDED(hr)) *on = PreferenceIsOn(value) ? 1 : 0;
  return hr;
}

HRESULT CDisplayModes::SetKeepAspect(bool on) {
  return client_->WritePreference(kFavRatioSet, kFavRatioDescription, on ? "ON" : "OFF");
}

HRESULT CDisplayModes::GetKeepAspect(int32_t* on) {
  if (!on) return E_POINTER;
  // Without a save the aspect is kept.
  *on = 1;
  CSmallStr value;
  const HRESULT hr = client_->ReadPreference(kFavRatioSet, &value);
  if (SUCCEEDED(hr)) *on = PreferenceIsOn(value) ? 1 : 0;
  return hr;
}

// ---- Messages

void CDisplayModes::StartWatchdog() {
  system_->StartWatchdog(kWatchdogMilliseconds, this);
}

void CDisplayModes::OnActivate(bool active, bool minimized) {
  if (!fullScreen_) return;
  // An activation while minimised is the taskbar button's first step; the restore that follows
  // activates again.
  if (active && minimized) return;
  StartWatchdog();
}

void CDisplayModes::OnActivateApp(bool active) {
  if (resume_) {
    // Only coming back to the game re-enters full screen; losing the foreground right after a
    // resume must not take the display.
    if (active) {
      SetFullScreen(true);
      resume_ = false;
    }
    return;
  }
  if (fullScreen_) StartWatchdog();
}

void CDisplayModes::OnPowerBroadcast(uint32_t event) {
  switch (event) {
    case kPbtQuerySuspend:
    case kPbtQueryStandby:
      suspendMarker_ = false;
      if (window_ && !system_->IsMinimized(window_) && fullScreen_) {
        resume_ = false;
        suspendMarker_ = true;
        SetFullScreen(false);
      }
      break;
    case kPbtResumeCritical:
    case kPbtResumeSuspend:
    case kPbtResumeAutomatic:
      if (suspendMarker_) resume_ = true;
      break;
    default:
      break;
  }
}

void CDisplayModes::OnSize(bool minimized) {
  const bool changed = minimized != minimized_;
  minimized_ = minimized;
  // Minimising gives the display back and restoring takes it again, also when no activation
  // change comes with them.
  if (changed && fullScreen_) StartWatchdog();
}

void CDisplayModes::OnDisplayChange() {
  if (!switchInProgress_) DetectDisplays();
}

void CDisplayModes::OnWatchdogTick() {
  system_->StopWatchdog();
  if (!fullScreen_ || !window_) return;
  if (switchInProgress_) {
    StartWatchdog();
    return;
  }
  // Minimised comes first: a game minimised while nothing else takes the foreground (MIN with no
  // other window about) is still the foreground window, and must not be restored at once. Coming
  // back from the taskbar restores the window, which starts the watchdog again (OnSize).
  if (system_->IsMinimized(window_)) {
    // A display that would not go back is tried again on the next tick, until it does or the
    // game closes: a minimised game must never keep the desktop in its mode.
    if (switched_ && SetFullScreenMode(false, false) != 1) StartWatchdog();
    return;
  }
  const WindowHandle foreground = system_->GetForegroundWindow();
  if (foreground == window_) {
    system_->ShowWindow(window_, ShowCommand::kRestore);
    SetFullScreenMode(true, true);
    return;
  }
  // No foreground window at all (a switch between programs, a locked desktop): nobody else has
  // the screen yet, so look again later instead of minimising the game.
  if (!foreground) {
    StartWatchdog();
    return;
  }
  MonitorInfo ours;
  MonitorInfo theirs;
  const bool sameMonitor = system_->GetWindowMonitor(window_, &ours) &&
                           system_->GetWindowMonitor(foreground, &theirs) &&
                           EqualsIgnoringAsciiCase(ours.device, theirs.device);
  if (!sameMonitor) {
    StartWatchdog();
    return;
  }
  if (switched_) {
    // The game makes way only once the desktop has its mode back: minimised over a display still
    // in the game's mode, the other program would get a screen it did not ask for.
    if (SetFullScreenMode(false, false) != 1) {
      StartWatchdog();
      return;
    }
    system_->ShowWindow(window_, ShowCommand::kMinimize);
  }
}

}  // namespace vexa::player
