#include "player/frameinput.h"

#include <algorithm>
#include <string>

namespace vexa::player {

using platform::WindowHandle;
using platform::WindowMessage;
using platform::WindowRect;

namespace {

bool IsMouseFilterMessage(uint32_t message) {
  return (message >= kMsgMouseMove && message <= kMsgMouseHWheel) || message == kMsgMouseHover ||
         message == kMsgMouseLeave || message == kMsgTimer;
}

// Mouse messages whose lParam is a point in the client coordinates of the message's window.
bool HasClientPoint(uint32_t message) {
  return message >= kMsgMouseMove && message <= kMsgXButtonDblClk && message != kMsgMouseWheel;
}

bool IsKeyMessage(uint32_t message) {
  return message == kMsgKeyDown || message == kMsgKeyUp || message == kMsgSysKeyDown ||
         message == kMsgSysKeyUp;
}

int32_t ClampToShort(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

// Clears the re-entry flag of SetMouseInput on every way out.
class CFlagGuard {
 public:
  explicit CFlagGuard(bool* flag) : flag_(flag) { *flag_ = true; }
  ~CFlagGuard() { *flag_ = false; }
  CFlagGuard(const CFlagGuard&) = delete;
  CFlagGuard& operator=(const CFlagGuard&) = delete;

 private:
  bool* flag_;
};

}  // namespace

const char* MouseEventCode(uint32_t message) {
  switch (message) {
    case kMsgLButtonDown:
      return "0";
    case kMsgLButtonUp:
      return "1";
    case kMsgRButtonDown:
      return "2";
    case kMsgRButtonUp:
      return "3";
    case kMsgLButtonDblClk:
      return "4";
    case kMsgRButtonDblClk:
      return "6";
    case kMsgMButtonDblClk:
      return "7";
    case kMsgMButtonDown:
      return "8";
    case kMsgMButtonUp:
      return "9";
    case kMsgMouseHover:
      return "10";
    case kMsgMouseLeave:
      return "11";
    default:
      return nullptr;
  }
}

uint32_t RightToMiddleButton(uint32_t message) {
  switch (message) {
    case kMsgRButtonDown:
      return kMsgMButtonDown;
    case kMsgRButtonUp:
      return kMsgMButtonUp;
    case kMsgRButtonDblClk:
      return kMsgMButtonDblClk;
    default:
      return message;
  }
}

int32_t PointX(intptr_t lparam) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uintptr_t>(lparam) & 0xFFFF));
}

int32_t PointY(intptr_t lparam) {
  return static_cast<int16_t>(
      static_cast<uint16_t>((static_cast<uintptr_t>(lparam) >> 16) & 0xFFFF));
}

intptr_t MakePointParam(int32_t x, int32_t y) {
  const uint32_t packed = static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                          (static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16);
  return static_cast<intptr_t>(packed);
}

DrainEnd DrainMessageQueue(IMessagePump* pump, WindowHandle frame, uint32_t limit) {
  if (!pump) return DrainEnd::kEmpty;
  const uint32_t start = pump->GetMessageClock();
  for (uint32_t handled = 0;; ++handled) {
    WindowMessage next;
    if (!pump->PeekNext(&next)) return DrainEnd::kEmpty;
    // WM_QUIT is a thread message (no window): it ends the loop whoever it names.
    if (next.message == kMsgQuit) return DrainEnd::kCloseRequest;
    if (next.window == frame && (next.message == kMsgClose || next.message == kMsgDestroy))
      return DrainEnd::kCloseRequest;
    // Message times are tick counts that wrap; the difference says which came later.
    if (static_cast<int32_t>(next.time - start) > 0) return DrainEnd::kNewer;
    if (handled >= limit) return DrainEnd::kLimit;
    WindowMessage message;
    if (!pump->RemoveNext(next, &message)) continue;
    if (pump->FilterMessage(&message)) continue;
    pump->TranslateAndDispatch(message);
  }
}

bool CFrameInputFilter::Filter(WindowMessage* message) {
  if (!message) return false;

  if (message->message == kMsgKeyDown &&
      (static_cast<uintptr_t>(message->lParam) & kPreviousKeyState) != 0 &&
      !host_->IsKeyRepeatAllowed())
    return true;

  if (FilterMouse(message)) return true;

  if (host_->TranslateAccelerators(*message)) return true;

  if (IsKeyMessage(message->message) && message->wParam == kVkApps) return true;

  if (message->message == kMsgChar) {
    // Unsigned on purpose: a negative bound from the script is a huge one.
    const uint64_t code = message->wParam;
    if (code < host_->GetCharLowerBound() || code > host_->GetCharUpperBound()) return true;
  }

  message->message = RightToMiddleButton(message->message);

  if (host_->HasHolder() && host_->PreTranslate(*message)) return true;
  return false;
}

bool CFrameInputFilter::FilterMouse(WindowMessage* message) {
  const uint32_t arrived = message->message;
  if (!IsMouseFilterMessage(arrived)) return false;
  const bool timer = arrived == kMsgTimer;
  if (!timer && !host_->IsMouseInputEnabled()) return true;
  if (!host_->HasHolder()) return false;
  // A holder without a window has nowhere to send the mouse; leave the message alone.
  const WindowHandle plugin = host_->GetPluginWindow();
  if (!plugin) return false;
  const WindowHandle frame = host_->GetFrameHandle();

  if (timer) {
    // Only the frame's own timer: the plug-in window may run timers with any id.
    if (message->wParam == kHoverTimerId && message->window == frame) TrackHover(plugin, frame);
    return false;
  }

  if (message->window != plugin) {
    MoveIntoPluginWindow(message, plugin);
    message->window = plugin;
  }

  switch (arrived) {
    case kMsgMouseMove: {
      int32_t x = PointX(message->lParam);
      int32_t y = PointY(message->lParam);
      const bool inside = host_->ClientToScreenPoint(plugin, &x, &y) && IsInsidePlugin(x, y);
      if (inside) {
        host_->StartTimer(kHoverTimerId, kHoverTimerPeriod);
      } else {
        host_->StopTimer(kHoverTimerId);
        host_->PostToWindow(frame, kMsgMouseLeave, 0, 0);
      }
      return false;
    }
    case kMsgLButtonDown:
    case kMsgLButtonDblClk:
      // The second press of a double click is a press: its button-up must come back too.
      if (host_->GetMouseCapture() != frame) host_->CaptureMouse(frame);
      break;
    case kMsgLButtonUp:
      if (host_->GetMouseCapture() == frame) host_->ReleaseMouse();
      break;
    default:
      break;
  }

  // The code is the button as it arrived; the movie gets the middle button for the right one.
  const char* code = MouseEventCode(arrived);
  message->message = RightToMiddleButton(arrived);
  if (!code) return false;

  const std::string method = host_->GetFrameText(FrameText::kMouseEventMethod);
  if (method.empty()) return false;
  int32_t x = 0;
  int32_t y = 0;
  if (arrived != kMsgMouseHover && arrived != kMsgMouseLeave) {
    x = PointX(message->lParam);
    y = PointY(message->lParam);
  }
  const std::string argument =
      std::string(code) + " " + std::to_string(x) + " " + std::to_string(y);
  host_->CallMovieFunction(method.c_str(), argument.c_str());
  return false;
}

void CFrameInputFilter::TrackHover(WindowHandle plugin, WindowHandle frame) {
  int32_t x = 0;
  int32_t y = 0;
  if (host_->GetCursorScreenPos(&x, &y) && IsInsidePlugin(x, y)) {
    host_->PostToWindow(plugin, kMsgMouseHover, 0, 0);
    return;
  }
  if (host_->GetMouseCapture() == frame) host_->ReleaseMouse();
  host_->StopTimer(kHoverTimerId);
  host_->PostToWindow(frame, kMsgMouseLeave, 0, 0);
}

void CFrameInputFilter::MoveIntoPluginWindow(WindowMessage* message, WindowHandle plugin) {
  if (!HasClientPoint(message->message) || !message->window) return;
  int32_t x = PointX(message->lParam);
  int32_t y = PointY(message->lParam);
  int32_t origin_x = 0;
  int32_t origin_y = 0;
  if (!host_->ClientToScreenPoint(message->window, &x, &y) ||
      !host_->ClientToScreenPoint(plugin, &origin_x, &origin_y))
    return;
  message->lParam =
      MakePointParam(ClampToShort(int64_t{x} - origin_x), ClampToShort(int64_t{y} - origin_y));
}

bool CFrameInputFilter::IsInsidePlugin(int32_t screen_x, int32_t screen_y) {
  WindowRect rect;
  if (!host_->GetPluginScreenRect(&rect)) return false;
  return screen_x >= rect.left && screen_x < rect.right && screen_y >= rect.top &&
         screen_y < rect.bottom;
}

int32_t CFrameInputFilter::SetMouseInput(bool on, IMessagePump* pump) {
  if (setting_mouse_input_) return 0;
  CFlagGuard guard(&setting_mouse_input_);

  int32_t result = 0;
  if (on && !host_->IsMouseInputEnabled() && pump) {
    const DrainEnd end = DrainMessageQueue(pump, host_->GetFrameHandle(), kMaxDrainedMessages);
    if (end == DrainEnd::kCloseRequest) {
      result = 1;
    } else {
      SendCursorPosition(pump);
    }
  }
  host_->SetMouseInputEnabled(on);
  return result;
}

void CFrameInputFilter::SendCursorPosition(IMessagePump* pump) {
  if (!host_->HasHolder()) return;
  const WindowHandle plugin = host_->GetPluginWindow();
  if (!plugin) return;
  int32_t cursor_x = 0;
  int32_t cursor_y = 0;
  int32_t origin_x = 0;
  int32_t origin_y = 0;
  if (!host_->GetCursorScreenPos(&cursor_x, &cursor_y) ||
      !host_->ClientToScreenPoint(plugin, &origin_x, &origin_y))
    return;
  WindowMessage move;
  move.window = plugin;
  move.message = kMsgMouseMove;
  move.wParam = 0;
  move.lParam = MakePointParam(ClampToShort(int64_t{cursor_x} - origin_x),
                               ClampToShort(int64_t{cursor_y} - origin_y));
  move.time = pump->GetMessageClock();
  move.x = cursor_x;
  move.y = cursor_y;
  pump->TranslateAndDispatch(move);
}

}  // namespace vexa::player
