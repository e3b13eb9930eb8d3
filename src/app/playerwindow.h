// The player's top-level window and message loop: the first form of the main frame.
//
// Start creates the window (class "__VEXAPLAYERMAINWINDOWCLASS__", caption bar, system menu and
// minimise box; the client area is the movie size, centred on the primary monitor's work area),
// wires the Flash holder (JRI peer, file loader, notification sink), loads the carried plug-in,
// creates the instance at the movie size, attaches it to the window, names the result callback and
// opens the movie. The message loop offers every message to the holder's PreTranslate before
// translating and dispatching it. Closing the window detaches and shuts the plug-in down and ends
// the loop.
//
// Until init.xml is interpreted the movie, caption, size and callback come from PlayerSettings.
// Windows only; UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "data/loader.h"
#include "flashhost/holder.h"
#include "flashhost/notifysink.h"

struct PlayerSettings {
  std::wstring caption = L"VEXA Player";
  // The main movie, looked up in data.pak next to the executable, then on disk.
  std::string movie = "main.scene";
  // The movie function that receives command results.
  std::wstring resultCallback = L"onHostResult";
  int width = CFlashHolder::kDefaultWidth;
  int height = CFlashHolder::kDefaultHeight;
};

class CPlayerWindow {
 public:
  // `holder` is not owned and must outlive the window.
  explicit CPlayerWindow(CFlashHolder* holder);
  ~CPlayerWindow();
  CPlayerWindow(const CPlayerWindow&) = delete;
  CPlayerWindow& operator=(const CPlayerWindow&) = delete;

  // Creates and shows the window with the movie playing. `loader` and `sink` are not owned and
  // must outlive the window. On failure the user has been told (start-up error box), nothing is
  // left open and the result is a failure status: E_FAIL (the window), E_PLUGIN_* (the plug-in),
  // or E_FAIL when the movie is not in the game's files.
  HRESULT Start(const PlayerSettings& settings, IFileLoader* loader, IFlashPlayerNotifySink* sink);

  // Runs until the window is destroyed; returns the quit message's value.
  int RunMessageLoop();

  // Asks the window to close, as a quit request of the movie does.
  void RequestClose();

  HWND GetHandle() const { return hwnd_; }
  CFlashHolder* GetHolder() const { return holder_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void ShowStartupError(const wchar_t* text);

  CFlashHolder* holder_;
  HWND hwnd_ = nullptr;
  std::wstring caption_;
};
