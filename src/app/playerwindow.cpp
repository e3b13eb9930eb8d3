#include "app/playerwindow.h"

#include <cstdint>

#include "flashhost/jrienv.h"
#include "platform/window.h"

namespace {

const wchar_t kMainWindowClass[] = L"__VEXAPLAYERMAINWINDOWCLASS__";
// WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX.
const DWORD kMainWindowStyle = 0x86CA0000;

const wchar_t kMovieMissing[] = L"Unable to initialize. Game reinstallation may be required!";
const wchar_t kHostFailed[] = L"Internal error. Please install the game again!";

bool RegisterMainClass() {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = DefWindowProcW;  // replaced per window once its object is known
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hIconSm = wc.hIcon;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOWFRAME + 1);
  wc.lpszClassName = kMainWindowClass;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

CPlayerWindow::CPlayerWindow(CFlashHolder* holder) : holder_(holder) {}

CPlayerWindow::~CPlayerWindow() {
  if (hwnd_) DestroyWindow(hwnd_);
}

HRESULT CPlayerWindow::Start(const PlayerSettings& settings, IFileLoader* loader,
                             IFlashPlayerNotifySink* sink) {
  caption_ = settings.caption;
  if (!holder_ || !RegisterMainClass()) return E_FAIL;

  // The client area is the movie, centred on the primary monitor's work area.
  RECT frame = {0, 0, settings.width, settings.height};
  AdjustWindowRectEx(&frame, kMainWindowStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + ((work.right - work.left) - width) / 2;
  const int y = work.top + ((work.bottom - work.top) - height) / 2;
  hwnd_ = CreateWindowExW(0, kMainWindowClass, caption_.c_str(), kMainWindowStyle, x, y, width,
                          height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (!hwnd_) return E_FAIL;
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));

  // A movie the game does not contain would only ever show an empty window.
  uint8_t* bytes = nullptr;
  int32_t size = 0;
  const HRESULT found =
      loader ? loader->Load(settings.movie.c_str(), &bytes, &size, nullptr, nullptr) : E_FAIL;
  delete[] bytes;
  if (FAILED(found)) {
    ShowStartupError(kMovieMissing);
    DestroyWindow(hwnd_);
    return E_FAIL;
  }

  holder_->SetJRIPeer(CJRIEnvironment::Instance().GetPeer());
  holder_->SetFileLoader(loader);
  holder_->SetNotifySink(sink);
  const HRESULT loaded = holder_->LoadPlugin();
  if (FAILED(loaded)) {
    ShowStartupError(kHostFailed);
    DestroyWindow(hwnd_);
    return loaded;
  }
  holder_->SetMovieSize(settings.width, settings.height);
  holder_->AttachToWindow(hwnd_);
  holder_->SetResultCallback(settings.resultCallback.c_str());
  holder_->OpenMovie(settings.movie.c_str());

  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  return S_OK;
}

int CPlayerWindow::RunMessageLoop() {
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    vexa::platform::WindowMessage message;
    message.window = msg.hwnd;
    message.message = msg.message;
    message.wParam = msg.wParam;
    message.lParam = msg.lParam;
    message.time = msg.time;
    message.x = msg.pt.x;
    message.y = msg.pt.y;
    if (holder_->PreTranslate(&message) == S_OK) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void CPlayerWindow::RequestClose() {
  if (hwnd_)
    PostMessageW(hwnd_, WM_CLOSE, reinterpret_cast<WPARAM>(hwnd_), reinterpret_cast<LPARAM>(hwnd_));
}

void CPlayerWindow::ShowStartupError(const wchar_t* text) {
  MessageBoxW(hwnd_, text, caption_.c_str(), MB_ICONERROR | MB_OK);
}

LRESULT CALLBACK CPlayerWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<CPlayerWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
  return self->OnMessage(message, wparam, lparam);
}

LRESULT CPlayerWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE: {
      const int width = LOWORD(lparam);
      const int height = HIWORD(lparam);
      if (holder_->IsCreated() && width > 0 && height > 0) {
        // The movie keeps its size, centred in the client area.
        const int movieWidth = holder_->GetMovieWidth();
        const int movieHeight = holder_->GetMovieHeight();
        const int x = (width - movieWidth) / 2;
        const int y = (height - movieHeight) / 2;
        holder_->SetWindowRect(x, y, x + movieWidth, y + movieHeight);
      }
      return 0;
    }
    case WM_SETFOCUS:
      holder_->SetFocus(1);
      return 0;
    case WM_DESTROY: {
      holder_->ShutdownPlugin();
      HWND hwnd = hwnd_;
      hwnd_ = nullptr;
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      PostQuitMessage(1);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd_, message, wparam, lparam);
  }
}
