// Headless windows: records with a parent, a class name and a rectangle, so the host's window logic
// behaves as on Windows without a window system. Top-level rectangles are in screen coordinates,
// child rectangles in their parent's client coordinates; the client area is the whole window.
#include "platform/window.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/headless_window.h"

namespace vexa::platform {

namespace {

struct HeadlessWindow {
  HeadlessWindow* parent = nullptr;
  std::string className;
  std::string caption;
  WindowRect rect;
  bool visible = false;
};

struct HeadlessState {
  // Keyed by address, which is also the handle.
  std::map<HeadlessWindow*, std::unique_ptr<HeadlessWindow>> windows;
  HeadlessWindow* focus = nullptr;
  std::vector<WindowMessage> dispatched;
};

HeadlessState& State() {
  static HeadlessState state;
  return state;
}

HeadlessWindow* Find(WindowHandle window) {
  auto& windows = State().windows;
  auto it = windows.find(static_cast<HeadlessWindow*>(window));
  return it == windows.end() ? nullptr : it->second.get();
}

WindowHandle Add(HeadlessWindow* parent, const char* className, const char* caption,
                 const WindowRect& rect, bool visible) {
  auto window = std::make_unique<HeadlessWindow>();
  window->parent = parent;
  window->className = className;
  window->caption = caption ? caption : "";
  window->rect = rect;
  window->visible = visible;
  HeadlessWindow* handle = window.get();
  State().windows.emplace(handle, std::move(window));
  return handle;
}

// The origin of `window`'s client area on the screen.
void ScreenOrigin(const HeadlessWindow* window, int32_t* x, int32_t* y) {
  *x = 0;
  *y = 0;
  for (; window; window = window->parent) {
    *x += window->rect.left;
    *y += window->rect.top;
  }
}

}  // namespace

WindowHandle CreatePlayerWindow(WindowHandle parent, const WindowRect& rect) {
  HeadlessWindow* owner = Find(parent);
  if (!owner) return nullptr;
  return Add(owner, kPlayerWindowClassName, nullptr, rect, true);
}

WindowHandle CreateHostWindow(const char* caption, const WindowRect& rect, bool visible) {
  return Add(nullptr, "VexaHostWindowClass", caption, rect, visible);
}

void DestroyHostWindow(WindowHandle window) {
  HeadlessWindow* target = Find(window);
  if (!target) return;
  HeadlessState& state = State();
  // Children first, as a window system destroys them with their parent.
  std::vector<HeadlessWindow*> children;
  for (const auto& entry : state.windows) {
    if (entry.second->parent == target) children.push_back(entry.first);
  }
  for (HeadlessWindow* child : children) DestroyHostWindow(child);
  if (state.focus == target) state.focus = nullptr;
  state.windows.erase(target);
}

bool IsLiveWindow(WindowHandle window) {
  return window && Find(window) != nullptr;
}

bool GetWindowClientRect(WindowHandle window, WindowRect* rect) {
  const HeadlessWindow* target = Find(window);
  if (!rect || !target) return false;
  WindowRect client;
  client.right = std::max(0, target->rect.right - target->rect.left);
  client.bottom = std::max(0, target->rect.bottom - target->rect.top);
  *rect = client;
  return true;
}

bool GetWindowScreenRect(WindowHandle window, WindowRect* rect) {
  const HeadlessWindow* target = Find(window);
  if (!rect || !target) return false;
  int32_t x = 0;
  int32_t y = 0;
  ScreenOrigin(target->parent, &x, &y);
  rect->left = target->rect.left + x;
  rect->top = target->rect.top + y;
  rect->right = target->rect.right + x;
  rect->bottom = target->rect.bottom + y;
  return true;
}

bool GetClientScreenRect(WindowHandle window, WindowRect* rect) {
  return GetWindowScreenRect(window, rect);
}

bool GetChildWindowRect(WindowHandle window, WindowRect* rect) {
  const HeadlessWindow* target = Find(window);
  if (!rect || !target || !target->parent) return false;
  *rect = target->rect;
  return true;
}

bool MoveChildWindow(WindowHandle window, const WindowRect& rect, bool) {
  HeadlessWindow* target = Find(window);
  if (!target) return false;
  target->rect = rect;
  return true;
}

int CountChildWindows(WindowHandle parent) {
  const HeadlessWindow* owner = Find(parent);
  if (!owner) return 0;
  int count = 0;
  for (const auto& entry : State().windows) {
    if (entry.second->parent == owner) ++count;
  }
  return count;
}

std::string GetWindowClassName(WindowHandle window) {
  const HeadlessWindow* target = Find(window);
  return target ? target->className : std::string();
}

bool SetKeyboardFocus(WindowHandle window) {
  HeadlessWindow* target = Find(window);
  if (!target) return false;
  State().focus = target;
  return true;
}

WindowHandle GetKeyboardFocus() {
  return State().focus;
}

void TranslateAndDispatch(const WindowMessage& message) {
  State().dispatched.push_back(message);
}

std::vector<WindowMessage> TakeDispatchedMessages() {
  std::vector<WindowMessage> taken;
  taken.swap(State().dispatched);
  return taken;
}

size_t LiveWindowCount() {
  return State().windows.size();
}

}  // namespace vexa::platform
