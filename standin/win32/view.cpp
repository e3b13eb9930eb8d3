// Presentation in the browser's window: the window is subclassed (not covered by a child) so that
// it keeps the keyboard focus the browser gives it and its key messages reach the movie. Painting
// is GDI into an off-screen bitmap; timers are thread timers so they run with or without a window.
#include "standin/view.h"

#include <windows.h>
#include <windowsx.h>

#include <map>
#include <string>

#include "standin/transcript.h"

namespace vexa::standin {

namespace {

const wchar_t kViewProp[] = L"VexaStandinView";

std::wstring Utf8ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size() > 0x7FFFFFF ? 0x7FFFFFF : text.size());
  const int wide = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &out[0], wide);
  return out;
}

COLORREF ToColorRef(uint32_t rgb) {
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

class CWin32View;

std::map<UINT_PTR, CWin32View*>& TimerOwners() {
  static std::map<UINT_PTR, CWin32View*> owners;
  return owners;
}

class CWin32View final : public IView {
 public:
  explicit CWin32View(IViewSink* sink) : sink_(sink) {}
  ~CWin32View() override {
    CancelTimer();
    Detach();
  }

  bool Attach(void* native_window) override {
    HWND hwnd = static_cast<HWND>(native_window);
    if (!hwnd || !IsWindow(hwnd)) return false;
    if (hwnd == hwnd_) {
      InvalidateRect(hwnd_, nullptr, FALSE);
      return true;
    }
    Detach();
    // A window that another view still holds is refused rather than subclassed twice.
    if (GetPropW(hwnd, kViewProp)) return false;
    if (!SetPropW(hwnd, kViewProp, this)) return false;
    old_proc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc)));
    if (!old_proc_) {
      RemovePropW(hwnd, kViewProp);
      return false;
    }
    hwnd_ = hwnd;
    InvalidateRect(hwnd_, nullptr, FALSE);
    return true;
  }

  void Detach() override {
    if (!hwnd_) return;
    if (IsWindow(hwnd_)) {
      if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd_, GWLP_WNDPROC)) == &WindowProc) {
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old_proc_));
      }
      RemovePropW(hwnd_, kViewProp);
      InvalidateRect(hwnd_, nullptr, TRUE);
    }
    hwnd_ = nullptr;
    old_proc_ = nullptr;
  }

  void Invalidate() override {
    if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
  }

  void ScheduleTimer(uint32_t delay_ms) override {
    CancelTimer();
    const UINT_PTR id =
        SetTimer(nullptr, 0, delay_ms == 0 ? USER_TIMER_MINIMUM : delay_ms, &TimerProc);
    if (!id) return;
    timer_ = id;
    TimerOwners()[id] = this;
  }

  void CancelTimer() override {
    if (!timer_) return;
    KillTimer(nullptr, timer_);
    TimerOwners().erase(timer_);
    timer_ = 0;
  }

 private:
  // "in Window.mouse message=NAME wparam=N x=X y=Y" (key and character messages: code=N).
  static void TraceInput(UINT message, const char* name, WPARAM wparam, LPARAM lparam) {
    const char* word = "other";
    switch (message) {
      case WM_LBUTTONUP: word = "lbuttonup"; break;
      case WM_LBUTTONDBLCLK: word = "lbuttondblclk"; break;
      case WM_RBUTTONDOWN: word = "rbuttondown"; break;
      case WM_RBUTTONUP: word = "rbuttonup"; break;
      case WM_RBUTTONDBLCLK: word = "rbuttondblclk"; break;
      case WM_MBUTTONDOWN: word = "mbuttondown"; break;
      case WM_MBUTTONUP: word = "mbuttonup"; break;
      case WM_MBUTTONDBLCLK: word = "mbuttondblclk"; break;
      case WM_MOUSEMOVE: word = "mousemove"; break;
      case WM_MOUSEHOVER: word = "mousehover"; break;
      case WM_MOUSELEAVE: word = "mouseleave"; break;
      case WM_KEYUP: word = "keyup"; break;
      case WM_CHAR: word = "char"; break;
      default: break;
    }
    CTranscriptLine line("in", name);
    line.Word("message", word);
    if (message == WM_KEYUP || message == WM_CHAR) {
      line.Int("code", static_cast<int64_t>(wparam));
    } else {
      line.Int("wparam", static_cast<int64_t>(wparam))
          .Int("x", GET_X_LPARAM(lparam))
          .Int("y", GET_Y_LPARAM(lparam));
    }
    line.Write();
  }

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* view = static_cast<CWin32View*>(GetPropW(hwnd, kViewProp));
    if (!view) return DefWindowProcW(hwnd, message, wparam, lparam);
    const WNDPROC old_proc = view->old_proc_;
    // After a sink call the view may be gone (the movie can make the browser destroy the
    // instance), so those cases return at once.
    switch (message) {
      case WM_PAINT:
        view->Paint();
        return 0;
      case WM_PRINTCLIENT:
        view->PaintInto(reinterpret_cast<HDC>(wparam));
        return 0;
      case WM_ERASEBKGND:
        return 1;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONDBLCLK:
        // A window class with double clicks turns the second press of a double click into
        // WM_LBUTTONDBLCLK: for the movie it is a press like any other, so a quick second click
        // is a click.
        SetFocus(hwnd);
        view->sink_->OnViewClick(GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam));
        return 0;
      case WM_KEYDOWN:
        view->sink_->OnViewKey(static_cast<uint32_t>(wparam));
        return 0;
      case WM_LBUTTONUP:
      case WM_RBUTTONDOWN:
      case WM_RBUTTONUP:
      case WM_RBUTTONDBLCLK:
      case WM_MBUTTONDOWN:
      case WM_MBUTTONUP:
      case WM_MBUTTONDBLCLK:
      case WM_MOUSEMOVE:
      case WM_MOUSEHOVER:
      case WM_MOUSELEAVE:
        // Input the movie has no handler for; the transcript shows what reached it.
        TraceInput(message, "Window.mouse", wparam, lparam);
        return 0;
      case WM_KEYUP:
        TraceInput(message, "Window.keyup", wparam, lparam);
        return 0;
      case WM_CHAR:
        TraceInput(message, "Window.char", wparam, lparam);
        return 0;
      case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
      case WM_NCDESTROY:
        view->Detach();
        return CallWindowProcW(old_proc, hwnd, message, wparam, lparam);
      default:
        return CallWindowProcW(old_proc, hwnd, message, wparam, lparam);
    }
  }

  static void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
    auto it = TimerOwners().find(id);
    if (it == TimerOwners().end()) {
      KillTimer(nullptr, id);
      return;
    }
    CWin32View* view = it->second;
    view->CancelTimer();
    view->sink_->OnViewTimer();
  }

  void Paint() {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    if (!dc) return;
    PaintInto(dc);
    EndPaint(hwnd_, &ps);
  }

  // Draws the whole client area into `dc` through an off-screen bitmap (no flicker).
  void PaintInto(HDC dc) {
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = client.right > 0 ? client.right : 1;
    const int height = client.bottom > 0 ? client.bottom : 1;
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = mem ? CreateCompatibleBitmap(dc, width, height) : nullptr;
    if (!mem || !bitmap) {
      if (bitmap) DeleteObject(bitmap);
      if (mem) DeleteDC(mem);
      return;
    }
    HGDIOBJ old_bitmap = SelectObject(mem, bitmap);
    const ViewContent content = sink_->GetViewContent();
    HBRUSH background = CreateSolidBrush(ToColorRef(content.background));
    FillRect(mem, &client, background);
    DeleteObject(background);
    SetBkMode(mem, TRANSPARENT);
    for (const DisplayItem& item : content.items) DrawItem(mem, client, item);
    BitBlt(dc, 0, 0, width, height, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(mem);
  }

  static void DrawItem(HDC dc, const RECT& client, const DisplayItem& item) {
    switch (item.kind) {
      case DisplayItem::Kind::kRect: {
        RECT rect{item.x, item.y, item.x + item.w, item.y + item.h};
        HBRUSH brush = CreateSolidBrush(ToColorRef(item.color));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
        break;
      }
      case DisplayItem::Kind::kText: {
        std::wstring text = Utf8ToWide(item.text);
        RECT rect{item.x, item.y, client.right, client.bottom};
        PaintText(dc, text, rect, item.size, ToColorRef(item.color),
                  DT_LEFT | DT_TOP | DT_NOPREFIX | DT_EXPANDTABS | DT_NOCLIP);
        break;
      }
      case DisplayItem::Kind::kButton: {
        RECT rect{item.x, item.y, item.x + item.w, item.y + item.h};
        HBRUSH brush = CreateSolidBrush(ToColorRef(item.color));
        FillRect(dc, &rect, brush);
        DeleteObject(brush);
        DrawEdge(dc, &rect, EDGE_RAISED, BF_RECT);
        std::wstring label = Utf8ToWide(item.text);
        PaintText(dc, label, rect, 14, RGB(0, 0, 0),
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        break;
      }
    }
  }

  static void PaintText(HDC dc, const std::wstring& text, RECT rect, int size, COLORREF color,
                        UINT format) {
    HFONT font = CreateFontW(-size, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"Arial");
    HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
    SetTextColor(dc, color);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format);
    if (old_font) SelectObject(dc, old_font);
    if (font) DeleteObject(font);
  }

  IViewSink* sink_;
  HWND hwnd_ = nullptr;
  WNDPROC old_proc_ = nullptr;
  UINT_PTR timer_ = 0;
};

}  // namespace

std::unique_ptr<IView> CreateView(IViewSink* sink) {
  return std::make_unique<CWin32View>(sink);
}

}  // namespace vexa::standin
