// Windows of the host OS as the plug-in host uses them: the player window (the child window the
// plug-in draws into), plain host windows, geometry, keyboard focus, and the translation and
// dispatch of messages the host pre-translates.
//
// Windows builds use real windows (a WindowHandle is an HWND). Other systems have no window system
// the player could use: there a window is a headless record that keeps its parent, class, geometry
// and liveness, so the host's window logic runs (and is tested) unchanged; dispatched messages are
// recorded instead of delivered (platform/posix/headless_window.h gives tests access).
//
// Message numbers and parameters are the Windows ones on every system (the plug-in interface uses
// them too). Everything here is for the UI thread only.
#pragma once

#include <cstdint>
#include <string>

namespace vexa::platform {

// A window; null means none.
using WindowHandle = void*;

// A rectangle: left and top inclusive, right and bottom exclusive.
struct WindowRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// One message as the message loop retrieved it (the fields of a Windows MSG).
struct WindowMessage {
  WindowHandle window = nullptr;
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
  uint32_t time = 0;
  int32_t x = 0;  // cursor position in screen coordinates when the message was posted
  int32_t y = 0;
};

// Message numbers used by portable code.
inline constexpr uint32_t kMsgKeyDown = 0x0100;
inline constexpr uint32_t kMsgKeyUp = 0x0101;
inline constexpr uint32_t kMsgChar = 0x0102;
inline constexpr uint32_t kMsgSysKeyDown = 0x0104;
inline constexpr uint32_t kMsgSysKeyUp = 0x0105;
inline constexpr uint32_t kMsgTimer = 0x0113;
inline constexpr uint32_t kMsgMouseMove = 0x0200;
inline constexpr uint32_t kMsgLButtonDown = 0x0201;

// Class name of the player window.
inline constexpr char kPlayerWindowClassName[] = "PlayerWindowClass";

// Creates the player window: class kPlayerWindowClassName (registered on every call; a repeated
// registration fails harmlessly), a visible child of `parent` without title or extended style,
// covering `rect` in the parent's client coordinates. Its own message handling does nothing
// visible (it only keeps its area painted white); whoever subclasses it (the plug-in) draws.
// Returns null when `parent` is not a live window or creation fails.
WindowHandle CreatePlayerWindow(WindowHandle parent, const WindowRect& rect);

// Creates a plain top-level window with default message handling, with `caption` (UTF-8) and the
// outer rectangle `rect` in screen coordinates, shown when `visible`. Null when creation fails.
WindowHandle CreateHostWindow(const char* caption, const WindowRect& rect, bool visible);

// Destroys a window and its children. Null and dead handles are ignored.
void DestroyHostWindow(WindowHandle window);

// True when `window` names a window that exists.
bool IsLiveWindow(WindowHandle window);

// The client area: left and top are 0, right and bottom the width and height. False, leaving
// `rect` untouched, for a dead window or a null `rect`.
bool GetWindowClientRect(WindowHandle window, WindowRect* rect);
// The whole window in screen coordinates. False as above.
bool GetWindowScreenRect(WindowHandle window, WindowRect* rect);
// The client area in screen coordinates (where the window's content appears). False as above.
bool GetClientScreenRect(WindowHandle window, WindowRect* rect);
// A child window's rectangle in its parent's client coordinates. False as above, or when the
// window has no parent.
bool GetChildWindowRect(WindowHandle window, WindowRect* rect);

// Moves and sizes a child window to `rect` (parent client coordinates); `repaint` repaints it at
// once. False for a dead window.
bool MoveChildWindow(WindowHandle window, const WindowRect& rect, bool repaint);

// The number of direct children of `parent` that exist (0 for a dead window).
int CountChildWindows(WindowHandle parent);

// The class name (UTF-8) of `window`; empty for a dead window.
std::string GetWindowClassName(WindowHandle window);

// Gives `window` the keyboard focus. False when it cannot have it (dead window).
bool SetKeyboardFocus(WindowHandle window);
// The window that has the keyboard focus in this thread, or null.
WindowHandle GetKeyboardFocus();

// Translates a key message into character messages where the keyboard layout makes characters,
// then delivers `message` to its window's message handling. Windows: TranslateMessage and
// DispatchMessage. Headless: the message is recorded.
void TranslateAndDispatch(const WindowMessage& message);

}  // namespace vexa::platform
