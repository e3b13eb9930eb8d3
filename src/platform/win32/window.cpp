#include "platform/window.h"

#include <windows.h>

#include <string>

#include "platform/codepage.h"

namespace vexa::platform {

namespace {

const wchar_t kPlayerClass[] = L"PlayerWindowClass";
const wchar_t kHostClass[] = L"VexaHostWindowClass";

HWND AsHwnd(WindowHandle window) {
  return static_cast<HWND>(window);
}

WindowRect FromRect(const RECT& r) {
  WindowRect rect;
  rect.left = r.left;
  rect.top = r.top;
  rect.right = r.right;
  rect.bottom = r.bottom;
  return rect;
}

// The player window's own handling. The plug-in subclasses the window while it is attached and
// paints it; without a plug-in the window only has to stay quiet. Painting still validates the
// area: a WM_PAINT left unvalidated would come back at once, for ever.
LRESULT CALLBACK PlayerWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE:
    case WM_DESTROY:
    case WM_SIZE:
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (BeginPaint(hwnd, &paint)) EndPaint(hwnd, &paint);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

void RegisterPlayerClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &PlayerWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = kPlayerClass;
  // Fails with ERROR_CLASS_ALREADY_EXISTS from the second window on; the class is the same.
  RegisterClassExW(&wc);
}

void RegisterHostClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kHostClass;
  RegisterClassExW(&wc);
}

}  // namespace

WindowHandle CreatePlayerWindow(WindowHandle parent, const WindowRect& rect) {
  if (!IsLiveWindow(parent)) return nullptr;
  RegisterPlayerClass();
  return CreateWindowExW(0, kPlayerClass, nullptr, WS_CHILD | WS_VISIBLE, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, AsHwnd(parent), nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

WindowHandle CreateHostWindow(const char* caption, const WindowRect& rect, bool visible) {
  RegisterHostClass();
  const std::wstring title = Utf8ToWide(caption ? caption : "");
  DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  if (visible) style |= WS_VISIBLE;
  return CreateWindowExW(0, kHostClass, title.c_str(), style, rect.left, rect.top,
                         rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

void DestroyHostWindow(WindowHandle window) {
  if (IsLiveWindow(window)) DestroyWindow(AsHwnd(window));
}

bool IsLiveWindow(WindowHandle window) {
  return window && IsWindow(AsHwnd(window));
}

bool GetWindowClientRect(WindowHandle window, WindowRect* rect) {
  RECT r;
  if (!rect || !IsLiveWindow(window) || !GetClientRect(AsHwnd(window), &r)) return false;
  *rect = FromRect(r);
  return true;
}

bool GetWindowScreenRect(WindowHandle window, WindowRect* rect) {
  RECT r;
  if (!rect || !IsLiveWindow(window) || !GetWindowRect(AsHwnd(window), &r)) return false;
  *rect = FromRect(r);
  return true;
}

bool GetClientScreenRect(WindowHandle window, WindowRect* rect) {
  RECT r;
  if (!rect || !IsLiveWindow(window) || !GetClientRect(AsHwnd(window), &r)) return false;
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  MapWindowPoints(AsHwnd(window), nullptr, corners, 2);
  rect->left = corners[0].x;
  rect->top = corners[0].y;
  rect->right = corners[1].x;
  rect->bottom = corners[1].y;
  return true;
}

bool GetChildWindowRect(WindowHandle window, WindowRect* rect) {
  if (!rect || !IsLiveWindow(window)) return false;
  HWND parent = GetParent(AsHwnd(window));
  RECT r;
  if (!parent || !GetWindowRect(AsHwnd(window), &r)) return false;
  POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
  MapWindowPoints(nullptr, parent, corners, 2);
  rect->left = corners[0].x;
  rect->top = corners[0].y;
  rect->right = corners[1].x;
  rect->bottom = corners[1].y;
  return true;
}

bool MoveChildWindow(WindowHandle window, const WindowRect& rect, bool repaint) {
  if (!IsLiveWindow(window)) return false;
  return MoveWindow(AsHwnd(window), rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, repaint ? TRUE : FALSE) != FALSE;
}

int CountChildWindows(WindowHandle parent) {
  if (!IsLiveWindow(parent)) return 0;
  int count = 0;
  for (HWND child = GetWindow(AsHwnd(parent), GW_CHILD); child;
       child = GetWindow(child, GW_HWNDNEXT)) {
    ++count;
  }
  return count;
}

std::string GetWindowClassName(WindowHandle window) {
  if (!IsLiveWindow(window)) return std::string();
  wchar_t name[256];
  const int length = GetClassNameW(AsHwnd(window), name, 256);
  if (length <= 0) return std::string();
  return WideToUtf8(std::wstring_view(name, static_cast<size_t>(length)));
}

bool SetKeyboardFocus(WindowHandle window) {
  if (!IsLiveWindow(window)) return false;
  SetFocus(AsHwnd(window));
  return true;
}

WindowHandle GetKeyboardFocus() {
  return GetFocus();
}

void TranslateAndDispatch(const WindowMessage& message) {
  MSG msg = {};
  msg.hwnd = AsHwnd(message.window);
  msg.message = message.message;
  msg.wParam = static_cast<WPARAM>(message.wParam);
  msg.lParam = static_cast<LPARAM>(message.lParam);
  msg.time = message.time;
  msg.pt.x = message.x;
  msg.pt.y = message.y;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

}  // namespace vexa::platform
