// CDisplayModes: the frame's display modes and full-screen switching.
//
// The game runs either in a window of fixed size placed on its monitor, or in full screen, where
// the display of that monitor is changed to the smallest mode that holds the movie and a topmost
// window covers it. This class keeps the display table, lays the window out, picks the movie
// variant of the FSMODES list for the desktop, finds the full-screen mode, switches into and out
// of full screen, runs the watchdog that gives the desktop back when another program takes the
// foreground, handles power and display-change notices, and keeps the three remembered display
// preferences ("monitorinfo", "ratioinfo", "favratio" saves).
//
// Whatever happens, the desktop mode comes back: leaving full screen, at close (OnClose), at the
// end of the Windows session and at the frame's destruction (RestoreDesktop); the Win32 display
// system also restores from its unhandled-exception filter and at process exit; and a run that was
// killed while switched leaves a marker that makes the next start restore first
// (RestoreAfterEarlierRun).
//
// The window system is reached only through IDisplaySystem, the player only through
// IDisplayClient, so every rule runs in tests with a fake display.
//
// UI thread only. Calls into the display system can re-enter the frame's window procedure (a
// placement sends messages); the switch-in-progress flag keeps the display-change notices that a
// switch itself causes from re-reading the display table in the middle of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/oleauto.h"
#include "platform/window.h"
#include "player/displaysystem.h"
#include "player/settings.h"
#include "script/smallstr.h"

namespace vexa::player {

// The game settings the window layout is made of.
struct WindowLayoutSettings {
  int32_t clientWidth = 0;  // the client area the movie needs
  int32_t clientHeight = 0;
  bool caption = true;  // SHOWCAPT
  bool centred = true;  // CENTER
  int32_t x = 0;        // POSITION, relative to the monitor
  int32_t y = 0;
};

// What the display logic needs from the player.
class IDisplayClient {
 public:
  virtual WindowLayoutSettings GetLayoutSettings() = 0;
  // The FSMODES list, and the current variant (its movie size is what full screen must hold).
  virtual const std::vector<ModeRecord>& GetDisplayVariants() = 0;
  virtual ModeRecord GetDisplayCurrentVariant() = 0;
  // Makes `entry` the current variant (display size, URL suffix, movie size; not id nor wide).
  virtual void UseDisplayVariant(const ModeRecord& entry) = 0;
  // Slot 0 of the save set `set` (the save store's statuses: kNoSuchSaveStatus when missing).
  virtual HRESULT ReadPreference(const char* set, CSmallStr* data) = 0;
  virtual HRESULT WritePreference(const char* set, const char* description, const char* data) = 0;

 protected:
  ~IDisplayClient() = default;
};

// Save sets of the remembered preferences, their descriptions and values.
inline constexpr char kMonitorInfoSet[] = "monitorinfo";
inline constexpr char kMonitorInfoDescription[] = "DEVICE";
inline constexpr char kRatioInfoSet[] = "ratioinfo";
inline constexpr char kRatioInfoDescription[] = "ratio";
inline constexpr char kFavRatioSet[] = "favratio";
inline constexpr char kFavRatioDescription[] = "favor";

// Power events of WM_POWERBROADCAST.
inline constexpr uint32_t kPbtQuerySuspend = 0x0000;
inline constexpr uint32_t kPbtQueryStandby = 0x0001;
inline constexpr uint32_t kPbtResumeCritical = 0x0006;
inline constexpr uint32_t kPbtResumeSuspend = 0x0007;
inline constexpr uint32_t kPbtResumeAutomatic = 0x0012;

// The current modes of the displays: entry 0 the frame's monitor, entries 1 to 19 the devices in
// the system's order (zeros where there is none).
inline constexpr int kDisplayTableSize = 20;
struct DisplayTable {
  int32_t widths[kDisplayTableSize] = {};
  int32_t heights[kDisplayTableSize] = {};
  int32_t depths[kDisplayTableSize] = {};
};

// The choice of a movie variant for a desktop: the index into `variants` of the entry that fits
// width x height with the least area left over (the first of equals), skipping entries that are
// not wide when `onlyWide`; -1 when none fits.
int FindFittingVariant(const std::vector<ModeRecord>& variants, uint32_t desktopWidth,
                       uint32_t desktopHeight, bool onlyWide);

// Whether `mode` can show a movie of movieWidth x movieHeight in full screen on a desktop of
// `desktop`'s depth and aspect: the same depth, at least the movie's size, and, when keepAspect,
// a width-to-height ratio within 0.1 of the desktop's.
bool IsFullScreenCandidate(const DisplayMode& mode, const DisplayMode& desktop, uint32_t movieWidth,
                           uint32_t movieHeight, bool keepAspect);

class CDisplayModes : public IWatchdogTarget {
 public:
  static constexpr uint32_t kWatchdogMilliseconds = 200;
  // Placement attempts before the window is left where the system put it.
  static constexpr int kPlacementAttempts = 10;
  static constexpr uint32_t kPlacementWaitMilliseconds = 100;
  // Devices and modes looked at, at most (a system that never says "no more" cannot hang us).
  static constexpr uint32_t kMaxDevices = 256;
  static constexpr uint32_t kMaxModes = 65536;

  // Neither is owned; both must outlive this object.
  CDisplayModes(IDisplaySystem* system, IDisplayClient* client);
  CDisplayModes(const CDisplayModes&) = delete;
  CDisplayModes& operator=(const CDisplayModes&) = delete;

  // The frame window (null until it exists).
  void SetWindow(platform::WindowHandle window) { window_ = window; }

  // ---- Start and close

  // At start, before anything else: when an earlier run left switch markers and none of their
  // processes runs any more, the desktop modes are restored and the markers removed. True when
  // the modes were restored.
  bool RestoreAfterEarlierRun();
  // Clears entries 1 to 19 and fills them with the current modes of the devices; entry 0 (and the
  // desktop mode record) from the monitor of the window, or from the screen without a window.
  void DetectDisplays();
  // At start, after the player started: the remembered device ("monitorinfo") and its current
  // mode (the default device's when that fails) become the desktop record; then LayoutWindow().
  void RestoreRememberedDisplay();
  // Writes the device of the window's monitor as the remembered device.
  void RememberMonitor();
  // WM_CLOSE that closes: RememberMonitor(), then RestoreDesktop().
  void OnClose();
  // Gives the desktop its mode back if the display is switched (or the frame is in full screen):
  // close, end of the session, destruction. Safe to call any number of times.
  void RestoreDesktop();

  // ---- Layout and variants

  // The window's outer size from the client size and the caption, placed centred on the monitor
  // of the desktop record (never left of or above it) or at POSITION on it. In full screen only
  // the windowed rectangle that leaving restores changes. E_UNEXPECTED without a window.
  HRESULT LayoutWindow();
  // ChooseVariant(true), and ChooseVariant(false) when that finds nothing.
  HRESULT SelectMovieVariant();
  // One choice of the FSMODES variant for the window's monitor; 1 when a variant is current
  // afterwards, 0 when nothing was chosen.
  int ChooseVariant(bool respectPreference);

  // ---- Full screen

  // The mode for full screen on `monitor`: the smallest mode of the monitor's device (first of
  // equals) that holds the current variant's movie at the desktop's depth (and aspect when
  // keepAspect). Display size from the mode, movie size and URL suffix from the current variant.
  // 0, or E_FAIL when no mode fits.
  HRESULT FindFullScreenMode(ModeRecord* mode, const MonitorInfo& monitor, bool keepAspect);
  // Enters (changes the mode, covers the monitor with the topmost window) or leaves (restores the
  // desktop mode and the windowed placement) full screen. `moveWindow` false only changes the mode
  // (the watchdog). 1 on success, 0 on failure (nothing changed then).
  int SetFullScreenMode(bool enter, bool moveWindow);

  // ---- IFSCommandDilator operations
  HRESULT SetFullScreen(bool on);
  bool IsFullScreen() const { return fullScreen_; }
  HRESULT GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* depth) const;
  HRESULT SetPreferWide(bool on);
  HRESULT GetPreferWide(int32_t* on);
  HRESULT SetKeepAspect(bool on);
  HRESULT GetKeepAspect(int32_t* on);

  // ---- Messages

  // WM_ACTIVATE while in full screen (the frame tells the movie about a deactivation first).
  void OnActivate(bool active, bool minimized);
  // WM_ACTIVATEAPP.
  void OnActivateApp(bool active);
  // WM_POWERBROADCAST with its event.
  void OnPowerBroadcast(uint32_t event);
  // WM_SIZE: whether the window is minimised now.
  void OnSize(bool minimized);
  // WM_DISPLAYCHANGE.
  void OnDisplayChange();
  // IWatchdogTarget.
  void OnWatchdogTick() override;
  // The watchdog (started by activation changes in full screen).
  void StartWatchdog();

  // ---- State (the frame and tests read it)

  // The outer size every resize of the frame is held to; 0 x 0 before the first layout.
  int32_t GetOuterWidth() const { return outerWidth_; }
  int32_t GetOuterHeight() const { return outerHeight_; }
  bool IsDisplaySwitched() const { return switched_; }
  bool IsSwitchInProgress() const { return switchInProgress_; }
  bool IsResumePending() const { return resume_; }
  void ClearResume() { resume_ = false; }
  const DisplayTable& GetTable() const { return table_; }
  const DisplayMode& GetDesktopMode() const { return desktop_; }
  const std::string& GetDesktopDevice() const { return desktopDevice_; }
  const std::string& GetRememberedDevice() const { return rememberedDevice_; }
  const platform::WindowRect& GetSavedRect() const { return savedRect_; }
  int GetWidePreferenceState() const { return wideState_; }

 private:
  class CSwitchGuard;

  // Reads the current mode of the window's monitor into the desktop record. False on failure.
  bool ReadDesktopOfWindow(MonitorInfo* monitor);
  // The windowed rectangle the layout settings give on the desktop record's monitor.
  platform::WindowRect ComputeWindowedRect();
  void ReadRememberedDevice();
  bool EnterFullScreen(bool moveWindow);
  bool LeaveFullScreen(bool moveWindow);
  void RestoreWindowedPlacement();
  bool GiveDesktopBack(bool reset);

  IDisplaySystem* system_;
  IDisplayClient* client_;
  platform::WindowHandle window_ = nullptr;

  DisplayTable table_;
  DisplayMode desktop_;
  std::string desktopDevice_;
  std::string rememberedDevice_;
  platform::WindowRect savedRect_;
  int32_t outerWidth_ = 0;
  int32_t outerHeight_ = 0;
  bool fullScreen_ = false;
  bool switched_ = false;
  // Giving the desktop back failed and has not succeeded since (logged once per failure run).
  bool giveBackFailing_ = false;
  bool switchInProgress_ = false;
  bool resume_ = false;
  bool suspendMarker_ = false;
  // The window was minimised at the last WM_SIZE.
  bool minimized_ = false;
  // The window covers the monitor (topmost, without caption) and needs its windowed placement
  // back when full screen is left, also when the display was given back meanwhile.
  bool placedFullScreen_ = false;
  // 0 not read, 1 "ratio" off, 2 "ratio" on.
  int wideState_ = 0;
};

}  // namespace vexa::player
