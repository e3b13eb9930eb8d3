// CMainFrame: the game's one top-level window, host of the plug-in window, and the player.
//
// It derives from the portable player (CBasePlayerImpl) and gives it what needs the window system:
// the window itself (class "__VEXAPLAYERMAINWINDOWCLASS__"), the layout on the desktop, the
// caption and icon, the script timers, the message filter (key repeat, mouse reporting, the
// character filter, accelerators, the holder's pre-translation), the close negotiation with the
// movie, focus notices and the operations the command handlers call (Quit, Minimize, mouse and
// cursor control), and the display modes and full screen. The decisions themselves are portable
// (player/frameinput.h, framelogic.h, scripttimers.h, display.h); this class is their Win32 host.
//
// Life: one object for the process. Run() creates the window (WM_CREATE runs the start-up
// sequence: InitPlayer, layout, the single-instance rule), shows it, runs the message loop until
// the window is destroyed and cleans up; it is called once.
//
// Windows only; UI thread only.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/displaysystem.h"
#include "player/display.h"
#include "player/frameinput.h"
#include "player/framelogic.h"
#include "player/player.h"
#include "player/scripttimers.h"

class CMainFrame : public CBasePlayerImpl,
                   public vexa::player::IFrameHost,
                   public vexa::player::IScriptTimerHost,
                   public vexa::player::IMessagePump,
                   public vexa::player::IDisplayClient {
 public:
  CMainFrame();
  ~CMainFrame() override;

  // Creates, shows and runs the frame; returns the message loop's exit value (or 0 when the
  // start-up refused). After it returns the window is gone, pending work is flushed and the
  // game's exit target (GAMEURL) is registered for the exit launch.
  int Run();

  HWND GetHandle() const { return hwnd_; }

  // ---- IScriptDilator / IFSCommandDilator: the frame's operations
  HRESULT AddTimeout(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) override;
  HRESULT AddInterval(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) override;
  HRESULT LayoutWindow() override;
  HRESULT SelectMovieVariant() override;
  HRESULT Quit() override;
  HRESULT Minimize() override;
  HRESULT SetMouseInput(int32_t on) override;
  HRESULT SetKeyRepeat(int32_t on) override;
  HRESULT SetCursorPosition(int32_t* x, int32_t* y) override;
  HRESULT GetCursorPosition(int32_t* x, int32_t* y) override;
  HRESULT CreateFolderPath(const char* path, int32_t pathNamesFile) override;
  HRESULT SetFullScreen(int32_t on) override;
  HRESULT GetFullScreen(int32_t* on) override;
  HRESULT GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* bitsPerPixel) override;
  HRESULT SetPreferWide(int32_t on) override;
  HRESULT GetPreferWide(int32_t* on) override;
  HRESULT SetKeepAspect(int32_t on) override;
  HRESULT GetKeepAspect(int32_t* on) override;
  void ShowStartupError(int id) override;

  // ---- IFrameHost
  bool HasHolder() override;
  vexa::platform::WindowHandle GetFrameHandle() override { return hwnd_; }
  vexa::platform::WindowHandle GetPluginWindow() override;
  bool GetPluginScreenRect(vexa::platform::WindowRect* rect) override;
  bool ClientToScreenPoint(vexa::platform::WindowHandle window, int32_t* x, int32_t* y) override;
  bool GetCursorScreenPos(int32_t* x, int32_t* y) override;
  vexa::platform::WindowHandle GetMouseCapture() override;
  void CaptureMouse(vexa::platform::WindowHandle window) override;
  void ReleaseMouse() override;
  bool StartTimer(uint32_t id, uint32_t milliseconds) override;
  void StopTimer(uint32_t id) override;
  void PostToWindow(vexa::platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                    intptr_t lparam) override;
  void SendToWindow(vexa::platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                    intptr_t lparam) override;
  bool TranslateAccelerators(const vexa::platform::WindowMessage& message) override;
  bool IsWindowOfThisProcess(vexa::platform::WindowHandle window) override;
  void RestoreAndActivate() override;
  bool PreTranslate(const vexa::platform::WindowMessage& message) override;
  void CallMovieFunction(const char* method, const char* argument) override;
  bool GetMovieVariable(const char* name, std::string* value) override;
  void AddResult(const char* name, const char* text) override;
  void SetHolderFocus(bool gained) override;
  bool IsMouseInputEnabled() override { return mouseInput_; }
  void SetMouseInputEnabled(bool on) override { mouseInput_ = on; }
  bool IsKeyRepeatAllowed() override { return keyRepeat_; }
  uint32_t GetCharLowerBound() override;
  uint32_t GetCharUpperBound() override;
  std::string GetFrameText(vexa::player::FrameText which) override;

  // ---- IScriptTimerHost (StartTimer / StopTimer above serve both)
  void EvaluateScript(const char* expression) override;

  // ---- IMessagePump (the SINPUT drain)
  bool PeekNext(vexa::platform::WindowMessage* message) override;
  bool RemoveNext(const vexa::platform::WindowMessage& peeked,
                  vexa::platform::WindowMessage* removed) override;
  bool FilterMessage(vexa::platform::WindowMessage* message) override;
  void TranslateAndDispatch(const vexa::platform::WindowMessage& message) override;
  uint32_t GetMessageClock() override;

  // ---- IDisplayClient (the settings and saves of the display logic)
  vexa::player::WindowLayoutSettings GetLayoutSettings() override;
  const std::vector<vexa::player::ModeRecord>& GetDisplayVariants() override;
  vexa::player::ModeRecord GetDisplayCurrentVariant() override;
  void UseDisplayVariant(const vexa::player::ModeRecord& entry) override;
  HRESULT ReadPreference(const char* set, CSmallStr* data) override;
  HRESULT WritePreference(const char* set, const char* description, const char* data) override;

  // The display modes and full screen (for test builds of the program).
  vexa::player::CDisplayModes& GetDisplayModes() { return display_; }

 protected:
  void ApplyCaption(const std::string& utf8) override;
  void ApplyIcon(const uint8_t* bytes, size_t size) override;

  // The start-up sequence of WM_CREATE; false refuses the window.
  virtual bool OnCreate();
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  bool Create();
  void OnIdle();
  // Gives the keyboard focus back to the movie when the active frame holds it itself.
  void ReturnFocusToMovie();

  HWND hwnd_ = nullptr;
  HACCEL accelerators_ = nullptr;
  HICON icon_ = nullptr;
  bool mouseInput_ = true;
  bool keyRepeat_ = true;
  vexa::player::CFrameInputFilter filter_;
  vexa::player::CFrameLogic logic_;
  vexa::player::CScriptTimers timers_;
  // The display logic and its window system; the logic also holds the window's outer size, which
  // WM_WINDOWPOSCHANGING keeps every resize at.
  vexa::app::CWin32DisplaySystem displaySystem_;
  vexa::player::CDisplayModes display_;
};

// The maker's name (string 136) once the frame was created; "ProviderBase" before.
const std::string& ProviderName();
