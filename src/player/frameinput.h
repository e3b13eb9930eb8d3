// The main frame's message filter, run by the message loop on every message before it is
// translated and dispatched, and the queue drain of SetMouseInput.
//
// The filter, in this order (a consumed message is neither translated nor dispatched):
//   1. an auto-repeated WM_KEYDOWN (bit 30 of lParam) while key repeat is off: consumed;
//   2. the mouse filter (below);
//   3. the frame's accelerator table;
//   4. key messages for VK_APPS: consumed (the context-menu key never reaches the movie);
//   5. WM_CHAR outside [lower bound, upper bound] (unsigned): consumed;
//   6. right-button messages become middle-button messages (the movie never sees a right button);
//   7. with a holder, the holder's PreTranslate: consumed when it handles the message.
//
// The mouse filter looks at WM_MOUSEMOVE..WM_MOUSEHWHEEL, WM_MOUSEHOVER, WM_MOUSELEAVE and
// WM_TIMER. With mouse input off it consumes all of them but WM_TIMER. With a holder and its
// window it retargets them to the plug-in window, tracks the cursor over that window with the
// frame's timer 111 (a move inside starts it; while the cursor stays inside each tick posts a
// hover to the plug-in window; a move or tick outside stops it and posts a leave to the frame),
// captures the mouse on a left button down and releases it on the up, and reports button, hover
// and leave events to the movie function MOUSEEVENTMETHOD as "code x y". A right button is
// reported with its own code ("2", "3", "6") but delivered as the middle button. Only the
// frame's timer 111 is a hover tick: the plug-in window may run timers with any id.
//
// A mouse message that arrives for another window than the plug-in window (the frame holds the
// capture after every left button down, and the frame's own area shows around a centred movie)
// carries a point in that window's client coordinates. Retargeting also moves the point into the
// plug-in window's client coordinates, so the movie sees the button-up of a click where it
// happened and the hover tracking tests the right place. Wheel messages carry screen coordinates
// and keep them.
//
// UI thread only. Every call may re-enter (the host's calls reach into the plug-in).
#pragma once

#include <cstdint>

#include "platform/window.h"
#include "player/framehost.h"

namespace vexa::player {

// ---- Windows message numbers and codes the frame's logic uses (the Windows values).
using platform::kMsgChar;
using platform::kMsgKeyDown;
using platform::kMsgKeyUp;
using platform::kMsgLButtonDown;
using platform::kMsgMouseMove;
using platform::kMsgSysKeyDown;
using platform::kMsgSysKeyUp;
using platform::kMsgTimer;

inline constexpr uint32_t kMsgDestroy = 0x0002;
inline constexpr uint32_t kMsgSetFocus = 0x0007;
inline constexpr uint32_t kMsgKillFocus = 0x0008;
inline constexpr uint32_t kMsgClose = 0x0010;
inline constexpr uint32_t kMsgQueryEndSession = 0x0011;
inline constexpr uint32_t kMsgQuit = 0x0012;
inline constexpr uint32_t kMsgCommand = 0x0111;
inline constexpr uint32_t kMsgSysCommand = 0x0112;
inline constexpr uint32_t kMsgLButtonUp = 0x0202;
inline constexpr uint32_t kMsgLButtonDblClk = 0x0203;
inline constexpr uint32_t kMsgRButtonDown = 0x0204;
inline constexpr uint32_t kMsgRButtonUp = 0x0205;
inline constexpr uint32_t kMsgRButtonDblClk = 0x0206;
inline constexpr uint32_t kMsgMButtonDown = 0x0207;
inline constexpr uint32_t kMsgMButtonUp = 0x0208;
inline constexpr uint32_t kMsgMButtonDblClk = 0x0209;
inline constexpr uint32_t kMsgMouseWheel = 0x020A;
inline constexpr uint32_t kMsgXButtonDown = 0x020B;
inline constexpr uint32_t kMsgXButtonUp = 0x020C;
inline constexpr uint32_t kMsgXButtonDblClk = 0x020D;
inline constexpr uint32_t kMsgMouseHWheel = 0x020E;
inline constexpr uint32_t kMsgExitMenuLoop = 0x0212;
inline constexpr uint32_t kMsgMouseHover = 0x02A1;
inline constexpr uint32_t kMsgMouseLeave = 0x02A3;

inline constexpr uintptr_t kVkReturn = 0x0D;
inline constexpr uintptr_t kVkControl = 0x11;
inline constexpr uintptr_t kVkApps = 0x5D;

// Bit 30 of a key message's lParam: the key was already down (an auto-repeat).
inline constexpr uintptr_t kPreviousKeyState = uintptr_t{1} << 30;

// The frame's timer that follows the cursor over the plug-in window.
inline constexpr uint32_t kHoverTimerId = 111;
inline constexpr uint32_t kHoverTimerPeriod = 500;

// SetMouseInput drains at most this many messages.
inline constexpr uint32_t kMaxDrainedMessages = 1000;

// The event code reported to the movie for a mouse message as it arrived ("0" left down ... "11"
// leave), or null for messages without one (moves, wheels, X buttons, timers, anything else).
const char* MouseEventCode(uint32_t message);

// WM_RBUTTONDOWN/UP/DBLCLK as the matching middle-button message; any other message unchanged.
uint32_t RightToMiddleButton(uint32_t message);

// Signed 16-bit coordinates packed in a mouse message's lParam, and the reverse (the low 32 bits,
// zero-extended, as MAKELPARAM builds them).
int32_t PointX(intptr_t lparam);
int32_t PointY(intptr_t lparam);
intptr_t MakePointParam(int32_t x, int32_t y);

// The message queue as SetMouseInput empties it. The frame implements it with PeekMessage.
class IMessagePump {
 public:
  // Copies the next message of this thread's queue into `message` without removing it. False when
  // the queue is empty.
  virtual bool PeekNext(platform::WindowMessage* message) = 0;
  // Removes the message PeekNext just showed (Windows: PeekMessage with PM_REMOVE restricted to
  // its window and message number) into `removed`. False when it is gone.
  virtual bool RemoveNext(const platform::WindowMessage& peeked,
                          platform::WindowMessage* removed) = 0;
  // The frame's message filter (normally CFrameInputFilter::Filter); true when consumed.
  virtual bool FilterMessage(platform::WindowMessage* message) = 0;
  // TranslateMessage and DispatchMessage.
  virtual void TranslateAndDispatch(const platform::WindowMessage& message) = 0;
  // The clock message times are stamped with (Windows: GetTickCount), in milliseconds.
  virtual uint32_t GetMessageClock() = 0;

 protected:
  ~IMessagePump() = default;
};

// Why DrainMessageQueue stopped.
enum class DrainEnd {
  kEmpty,         // the queue is empty
  kCloseRequest,  // next is WM_QUIT (any window) or WM_CLOSE / WM_DESTROY for the frame; left
                  // queued
  kNewer,         // next was queued after the drain began; left queued
  kLimit,         // `limit` messages were handled
};

// Handles the messages waiting in the queue: each is removed, offered to the filter and, unless
// consumed, translated and dispatched. Only messages already queued when the drain starts are
// taken (a message stamped later than the start stops it), and at most `limit` of them, so a
// window that keeps posting (the plug-in does, to drive its frames) cannot hold the caller for
// ever. A quit or close request is never taken: the message loop must still see it.
DrainEnd DrainMessageQueue(IMessagePump* pump, platform::WindowHandle frame, uint32_t limit);

class CFrameInputFilter {
 public:
  // `host` is not owned and must outlive the filter.
  explicit CFrameInputFilter(IFrameHost* host) : host_(host) {}
  CFrameInputFilter(const CFrameInputFilter&) = delete;
  CFrameInputFilter& operator=(const CFrameInputFilter&) = delete;

  // Runs the filter on a message just taken from the queue. True: consumed. False: the caller
  // translates and dispatches `*message`, which may have been retargeted (window, lParam) and
  // turned from a right into a middle button message. A null message is not consumed.
  bool Filter(platform::WindowMessage* message);

  // SetMouseInput(on). A call made while one is running (the drain dispatches messages, which can
  // run command handlers) returns 0 at once and changes nothing. When input is off and `on` is set,
  // the queue is drained first (DrainMessageQueue through `pump`; the mouse messages in it are
  // still consumed because input is still off); unless that stopped at a close or quit request,
  // the plug-in window then gets a WM_MOUSEMOVE at the cursor's position, dispatched directly, so
  // the movie learns where the cursor is. Then `on` is stored. Returns 1 when the drain stopped at
  // a close or quit request, else 0. A null pump skips the drain.
  int32_t SetMouseInput(bool on, IMessagePump* pump);

  // True while SetMouseInput is running.
  bool IsSettingMouseInput() const { return setting_mouse_input_; }

 private:
  // True when the mouse filter consumed the message.
  bool FilterMouse(platform::WindowMessage* message);
  void TrackHover(platform::WindowHandle plugin, platform::WindowHandle frame);
  void MoveIntoPluginWindow(platform::WindowMessage* message, platform::WindowHandle plugin);
  bool IsInsidePlugin(int32_t screen_x, int32_t screen_y);
  void SendCursorPosition(IMessagePump* pump);

  IFrameHost* host_;
  bool setting_mouse_input_ = false;
};

}  // namespace vexa::player
