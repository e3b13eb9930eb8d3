// The main frame's decisions that need no window system: close negotiation with the movie, focus
// notices, system commands, the accelerator commands and the end of the Windows session.
//
// Closing: a WM_CLOSE posted by Quit (both parameters are the frame's own window handle) closes.
// Any other close request (close box, Alt+F4, a WM_CLOSE from elsewhere) asks the movie: when its
// GAMECLOSEVAR variable reads "on" (any case) the frame closes, otherwise the movie is told that
// the user wants to close (NotifyGameClose) and the request is swallowed; the movie saves its work
// and answers with the Q command. Without a holder such a request does nothing.
//
// UI thread only. Every call may re-enter the frame (it reaches into the plug-in).
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "player/framehost.h"
#include "player/frameinput.h"

namespace vexa::player {

// System commands (WM_SYSCOMMAND wParam with its low four bits cleared).
inline constexpr uint32_t kScMove = 0xF010;
inline constexpr uint32_t kScMinimize = 0xF020;
inline constexpr uint32_t kScClose = 0xF060;
inline constexpr uint32_t kScMouseMenu = 0xF090;
inline constexpr uint32_t kScKeyMenu = 0xF100;
inline constexpr uint32_t kScRestore = 0xF120;
inline constexpr uint32_t kScScreenSave = 0xF140;

// Command ids of accelerator table 128.
inline constexpr uint32_t kCmdAltEnter = 0x8004;
inline constexpr uint32_t kCmdCtrlEnter = 0x8006;

// The timer id sent to the plug-in window when Windows is ending, so that it runs once more.
inline constexpr uint32_t kEndSessionTimerId = 1;

// What the frame does with a message after the logic ran.
enum class FrameReply {
  kDefault,  // pass it on to the default window processing
  kHandled,  // swallowed: the frame answers 0 (WM_QUERYENDSESSION: 1) without default processing
};

enum class CloseDecision {
  kClose,     // remember the monitor, restore the display mode, then let the window be destroyed
  kKeepOpen,  // swallow the request
};

class CFrameLogic {
 public:
  // `host` is not owned and must outlive the logic.
  explicit CFrameLogic(IFrameHost* host) : host_(host) {}
  CFrameLogic(const CFrameLogic&) = delete;
  CFrameLogic& operator=(const CFrameLogic&) = delete;

  // WM_CLOSE with its parameters.
  CloseDecision OnClose(uintptr_t wparam, intptr_t lparam);

  // WM_SYSCOMMAND (the command is wParam without its low four bits). `full_screen`: the frame is
  // in full-screen mode. Full screen: SC_MOVE, SC_MOUSEMENU, SC_KEYMENU and SC_SCREENSAVE are
  // swallowed; SC_RESTORE restores, activates and raises the frame and is swallowed. Windowed:
  // SC_MOUSEMENU and SC_KEYMENU with lParam 0 (the menu key alone) are swallowed, with any other
  // lParam they lose the movie's focus (NotifyFocus(false)) and go on; the others go on. In both
  // modes SC_CLOSE tells the movie (NotifyGameClose) and is swallowed, and any other command
  // goes on to the default processing.
  FrameReply OnSysCommand(uintptr_t wparam, intptr_t lparam, bool full_screen);

  // WM_COMMAND. From an accelerator (high word of wParam 1): Alt+Enter (0x8004) reaches the movie
  // as a press of the Ctrl key (WM_KEYDOWN VK_CONTROL, lParam 1, posted to the plug-in window);
  // Ctrl+Enter (0x8006) is swallowed. Anything else: default.
  FrameReply OnCommand(uintptr_t wparam, intptr_t lparam);

  // WM_SETFOCUS: NotifyFocus(true).
  void OnSetFocus();
  // WM_KILLFOCUS, `new_focus` its wParam (the window getting the focus, may be null): the movie
  // is told only when the focus leaves the process (a null window or another process's window),
  // not when it moves to the plug-in window or another window of the player.
  void OnKillFocus(platform::WindowHandle new_focus);
  // WM_EXITMENULOOP: when windowed, NotifyFocus(true) (the system menu took it away). The frame
  // then runs the default processing.
  void OnExitMenuLoop(bool full_screen);
  // WM_QUERYENDSESSION: with a plug-in window, NotifyGameClose and a WM_TIMER with id 1 sent to
  // that window so the movie gets to run. Returns 1 (Windows may end).
  intptr_t OnQueryEndSession();

  // With a holder, tells the movie that the user wants to close: AddResult(GAMECLOSEVAR, "on") when
  // GAMECLOSEVAR is set; CallMovieFunction(GAMECLOSEMETHOD, "on") when GAMECLOSEMETHOD is set.
  void NotifyGameClose();
  // With a holder: the holder's SetFocus(gained); AddResult(FOCUSVAR, "set" or "kill") when
  // FOCUSVAR is set; CallMovieFunction(FOCUSMETHOD, "set" or "kill") when FOCUSMETHOD is set.
  void NotifyFocus(bool gained);

 private:
  bool IsQuitRequest(uintptr_t wparam, intptr_t lparam);
  bool MovieAgreesToClose();

  IFrameHost* host_;
};

}  // namespace vexa::player
