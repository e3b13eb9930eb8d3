// What the main frame's portable logic (the message filter and queue drain in frameinput.h, the
// close, focus and system-command decisions in framelogic.h) needs from the window system and from
// the player: the Windows frame implements IFrameHost on top of user32 and the Flash holder, tests
// implement it with fakes that record every call.
//
// Message numbers and parameters are the Windows ones on every system. UI thread only; any of these
// calls may re-enter the frame's logic (a call into the plug-in can run a command handler).
#pragma once

#include <cstdint>
#include <string>

#include "platform/window.h"

namespace vexa::player {

// The frame's text settings the logic reads when it needs them (they can change at any time).
enum class FrameText {
  kGameCloseVar,      // GAMECLOSEVAR: movie variable asked before a user close, and told "on"
  kGameCloseMethod,   // GAMECLOSEMETHOD: movie function told "on" when the user wants to close
  kFocusVar,          // FOCUSVAR: result text "set" / "kill" on focus changes
  kFocusMethod,       // FOCUSMETHOD: movie function told "set" / "kill"
  kMouseEventMethod,  // MOUSEEVENTMETHOD: movie function told "code x y" for mouse events
};

class IFrameHost {
 public:
  // ---- Windows

  // True while the player has a Flash holder (the player started).
  virtual bool HasHolder() = 0;
  // The frame window itself. Never null while messages flow.
  virtual platform::WindowHandle GetFrameHandle() = 0;
  // The holder's player window (the plug-in window), or null when there is none.
  virtual platform::WindowHandle GetPluginWindow() = 0;
  // The plug-in window's outer rectangle in screen coordinates. False when there is none.
  virtual bool GetPluginScreenRect(platform::WindowRect* rect) = 0;
  // Converts a point in `window`'s client coordinates to screen coordinates in place. False,
  // leaving the point untouched, for a null or dead window.
  virtual bool ClientToScreenPoint(platform::WindowHandle window, int32_t* x, int32_t* y) = 0;
  // The cursor position in screen coordinates. False when it cannot be read.
  virtual bool GetCursorScreenPos(int32_t* x, int32_t* y) = 0;
  // The window of this thread that holds the mouse capture, or null.
  virtual platform::WindowHandle GetMouseCapture() = 0;
  virtual void CaptureMouse(platform::WindowHandle window) = 0;
  virtual void ReleaseMouse() = 0;
  // Starts (or restarts with the new period) the frame window's timer `id`. False on failure.
  // The same operation as IScriptTimerHost::StartTimer, so one override serves both.
  virtual bool StartTimer(uint32_t id, uint32_t milliseconds) = 0;
  // Stops the frame window's timer `id`; an unknown id is ignored.
  virtual void StopTimer(uint32_t id) = 0;
  // PostMessage / SendMessage to `window`. Null windows are ignored.
  virtual void PostToWindow(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                            intptr_t lparam) = 0;
  virtual void SendToWindow(platform::WindowHandle window, uint32_t message, uintptr_t wparam,
                            intptr_t lparam) = 0;
  // Runs the frame's accelerator table (table 128) on a message; true when it translated it (the
  // WM_COMMAND has then been sent to the frame).
  virtual bool TranslateAccelerators(const platform::WindowMessage& message) = 0;
  // True when `window` belongs to this process.
  virtual bool IsWindowOfThisProcess(platform::WindowHandle window) = 0;
  // Restores the minimised or hidden frame (SW_RESTORE), activates it and brings it to the front.
  virtual void RestoreAndActivate() = 0;

  // ---- Flash holder (only called while HasHolder() is true)

  // The holder's PreTranslate; true when it handled the message.
  virtual bool PreTranslate(const platform::WindowMessage& message) = 0;
  // Calls the movie function `method` with one string argument (both in the ANSI code page).
  virtual void CallMovieFunction(const char* method, const char* argument) = 0;
  // Reads the movie variable `name` into `value`; false when the movie gives no value.
  virtual bool GetMovieVariable(const char* name, std::string* value) = 0;
  // Appends `text` to the holder's result list (AddResultA; the name is passed along unused).
  virtual void AddResult(const char* name, const char* text) = 0;
  // The holder's SetFocus: gaining moves the keyboard focus to the plug-in window.
  virtual void SetHolderFocus(bool gained) = 0;

  // ---- Settings

  // SINPUT: mouse input reaches the movie. Stored by SetMouseInput.
  virtual bool IsMouseInputEnabled() = 0;
  virtual void SetMouseInputEnabled(bool on) = 0;
  // SARKEYS: auto-repeated key-downs reach the movie.
  virtual bool IsKeyRepeatAllowed() = 0;
  // KBDFILTER_LOWER_BOUND and KBDFILTER_UPPER_BOUND as unsigned values (a negative script value
  // is a huge bound). WM_CHAR codes inside [lower, upper] pass.
  virtual uint32_t GetCharLowerBound() = 0;
  virtual uint32_t GetCharUpperBound() = 0;
  // A text setting; empty when the script set none.
  virtual std::string GetFrameText(FrameText which) = 0;

 protected:
  ~IFrameHost() = default;
};

}  // namespace vexa::player
