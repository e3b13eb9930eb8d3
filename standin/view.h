// The stand-in's presentation: what it shows in the window the browser gives it, and the input and
// timer events that window delivers. Implemented per OS (win32/view.cpp paints with GDI into the
// browser's window; posix/view.cpp has no window system and keeps nothing, the transcript shows the
// display list instead).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "standin/movie.h"

namespace vexa::standin {

struct ViewContent {
  uint32_t background = 0xFFFFFF;
  std::vector<DisplayItem> items;  // drawing order
};

// Implemented by the plug-in instance. Calls arrive on the window's thread, from the window's
// message handling; the sink may be re-entered by the browser while it handles one.
class IViewSink {
 public:
  virtual ~IViewSink() = default;
  virtual void OnViewClick(int x, int y) = 0;
  virtual void OnViewKey(uint32_t key_code) = 0;
  virtual void OnViewTimer() = 0;
  virtual ViewContent GetViewContent() = 0;
};

class IView {
 public:
  virtual ~IView() = default;
  // Starts presenting in the native window (an HWND on Windows). Attaching to the window already
  // attached only repaints. False when the handle is not a usable window.
  virtual bool Attach(void* native_window) = 0;
  // Stops presenting and gives the window back unchanged. Safe to call when not attached.
  virtual void Detach() = 0;
  virtual void Invalidate() = 0;
  // One OnViewTimer after `delay_ms`, replacing any pending one. Works with or without a window.
  virtual void ScheduleTimer(uint32_t delay_ms) = 0;
  virtual void CancelTimer() = 0;
};

// The sink must outlive the view.
std::unique_ptr<IView> CreateView(IViewSink* sink);

}  // namespace vexa::standin
