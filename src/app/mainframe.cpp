#include "app/mainframe.h"

#include <windowsx.h>

#include <cstring>
#include <vector>

#include "app/resource.h"
#include "app/startup.h"
#include "flashhost/holder.h"
#include "platform/codepage.h"
#include "player/iconfile.h"
#include "script/value.h"

namespace {

// WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX.
constexpr DWORD kMainWindowStyle = 0x86CA0000;
// The caption travels as UTF-8 and is shown from a buffer of this many UTF-16 units.
constexpr int kCaptionBuffer = 1024;

std::string& ProviderNameStorage() {
  static auto* name = new std::string("ProviderBase");
  return *name;
}

vexa::platform::WindowMessage ToMessage(const MSG& msg) {
  vexa::platform::WindowMessage message;
  message.window = msg.hwnd;
  message.message = msg.message;
  message.wParam = msg.wParam;
  message.lParam = msg.lParam;
  message.time = msg.time;
  message.x = msg.pt.x;
  message.y = msg.pt.y;
  return message;
}

MSG ToMsg(const vexa::platform::WindowMessage& message) {
  MSG msg = {};
  msg.hwnd = static_cast<HWND>(message.window);
  msg.message = message.message;
  msg.wParam = message.wParam;
  msg.lParam = message.lParam;
  msg.time = message.time;
  msg.pt.x = message.x;
  msg.pt.y = message.y;
  return msg;
}

std::wstring CaptionText(const char* text, int maxUnits) {
  if (!text || !*text) return std::wstring();
  std::vector<wchar_t> buffer(static_cast<size_t>(maxUnits), L'\0');
  int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, buffer.data(), maxUnits);
  if (length == 0 && GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    // Too long for the buffer: keep what fits.
    const int full = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::vector<wchar_t> all(static_cast<size_t>(full > 0 ? full : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text, -1, all.data(), full);
    return std::wstring(all.data(), all.data() + (maxUnits - 1));
  }
  return std::wstring(buffer.data());
}

}  // namespace

const std::string& ProviderName() {
  return ProviderNameStorage();
}

CMainFrame::CMainFrame()
    : filter_(this), logic_(this), timers_(this), display_(&displaySystem_, this) {}

CMainFrame::~CMainFrame() {
  if (icon_) DestroyIcon(icon_);
}

// ---------------------------------------------------------------------------------------------
// Creation, message loop and clean-up

bool CMainFrame::Create() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof wc;
  wc.style = CS_OWNDC;
  wc.lpfnWndProc = &WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  wc.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                             GetSystemMetrics(SM_CXSMICON),
                                             GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOWFRAME + 1);
  wc.lpszClassName = vexa::app::kMainWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return false;

  std::wstring title = vexa::app::LoadResourceText(IDS_TITLE);
  if (title.size() > 255) title.resize(255);
  // WM_NCCREATE ties the window to this object, so the frame sees WM_CREATE itself.
  HWND hwnd = CreateWindowExW(0, vexa::app::kMainWindowClass, title.c_str(), kMainWindowStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                              nullptr, instance, this);
  if (!hwnd) {
    hwnd_ = nullptr;
    return false;
  }
  accelerators_ = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
  return true;
}

int CMainFrame::Run() {
  int exitCode = 0;
  if (Create()) {
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    MSG msg = {};
    for (;;) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0 || got == -1) break;
      vexa::platform::WindowMessage message = ToMessage(msg);
      if (!FilterMessage(&message)) {
        const MSG filtered = ToMsg(message);
        TranslateMessage(&filtered);
        DispatchMessageW(&filtered);
      }
      MSG next;
      if (!PeekMessageW(&next, nullptr, 0, 0, PM_NOREMOVE)) OnIdle();
    }
    exitCode = static_cast<int>(msg.wParam);
  }
  if (hwnd_ && IsWindow(hwnd_)) DestroyWindow(hwnd_);
  // Whatever is still pending (saves) reaches the disk before anything is torn down.
  FlushPendingWork();
  vexa::app::SetExitLaunchTarget(GetGameUrl().c_str());
  return exitCode;
}

bool CMainFrame::OnCreate() {
  ProviderNameStorage() = [] {
    const std::wstring name = vexa::app::LoadResourceText(IDS_PROVIDER);
    std::string narrow;
    for (wchar_t c : name) narrow += static_cast<char>(c < 0x80 ? c : '?');
    return narrow;
  }();
  display_.SetWindow(hwnd_);
  // A run killed while it had the display switched left a marker: the desktop comes back before
  // anything is measured or laid out on it.
  display_.RestoreAfterEarlierRun();
  display_.DetectDisplays();
  display_.ClearResume();
  if (FAILED(InitPlayer(hwnd_))) return false;
  display_.RestoreRememberedDisplay();
  return vexa::app::CheckSingleInstance(hwnd_, GetGameName().c_str());
}

void CMainFrame::ReturnFocusToMovie() {
  // A window minimised while active keeps the keyboard focus on itself, and restoring or
  // activating it again sends no new WM_SETFOCUS: the movie would never get the keys again (the
  // watchdog minimises and restores the game in full screen).
  if (hwnd_ && GetFocus() == hwnd_ && !IsIconic(hwnd_) && GetActiveWindow() == hwnd_) {
    logic_.OnSetFocus();
  }
}

void CMainFrame::OnIdle() {
  // In full screen neither the screen saver nor power saving may start while playing.
  if (display_.IsFullScreen() && !IsIconic(hwnd_)) {
    SetThreadExecutionState(ES_SYSTEM_REQUIRED | ES_DISPLAY_REQUIRED);
  }
}

LRESULT CALLBACK CMainFrame::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<CMainFrame*>(create->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = hwnd;
  }
  auto* self = reinterpret_cast<CMainFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->hwnd_ = nullptr;
    self->display_.SetWindow(nullptr);
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  return self->OnMessage(message, wparam, lparam);
}

LRESULT CMainFrame::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND hwnd = hwnd_;
  switch (message) {
    case WM_CREATE:
      return OnCreate() ? 0 : -1;
    case WM_CLOSE:
      if (logic_.OnClose(wparam, lparam) == vexa::player::CloseDecision::kClose) {
        // The monitor is remembered and the desktop mode given back before the window goes.
        display_.OnClose();
        return DefWindowProcW(hwnd, message, wparam, lparam);
      }
      return 0;
    case WM_DESTROY:
      // Destroyed without a close (the message loop ended first): the desktop mode still comes
      // back, and no watchdog tick reaches a window that is gone.
      displaySystem_.StopWatchdog();
      display_.RestoreDesktop();
      timers_.KillAll();
      KillTimer(hwnd, vexa::player::kHoverTimerId);
      if (IsStarted()) ShutdownPlayer();
      PostQuitMessage(1);
      return 0;
    case WM_SIZE:
      if (IsStarted()) PlaceMovie(LOWORD(lparam), HIWORD(lparam));
      display_.OnSize(wparam == SIZE_MINIMIZED);
      if (wparam == SIZE_RESTORED) ReturnFocusToMovie();
      return 0;
    case WM_SETFOCUS:
      logic_.OnSetFocus();
      return 0;
    case WM_KILLFOCUS:
      logic_.OnKillFocus(reinterpret_cast<HWND>(wparam));
      return 0;
    case WM_ACTIVATE:
      // NotifyFocus keeps the keyboard focus in the plug-in window, so when another program takes
      // over, that window gets the WM_KILLFOCUS and the frame never does. Windowed, the movie is
      // told here instead (the window being activated decides, as for WM_KILLFOCUS); while the
      // frame holds the focus itself its own WM_KILLFOCUS follows and tells it.
      if (display_.IsFullScreen()) {
        // Full screen: a deactivation tells the movie, and either way the watchdog looks at who
        // has the foreground now.
        const bool active = LOWORD(wparam) != WA_INACTIVE;
        if (!active) logic_.NotifyFocus(false);
        display_.OnActivate(active, HIWORD(wparam) != 0);
      } else if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && focus != hwnd && IsChild(hwnd, focus)) {
          logic_.OnKillFocus(reinterpret_cast<HWND>(lparam));
        }
      }
      if (LOWORD(wparam) != WA_INACTIVE && !HIWORD(wparam)) {
        const LRESULT result = DefWindowProcW(hwnd, message, wparam, lparam);
        ReturnFocusToMovie();
        return result;
      }
      break;
    case WM_ACTIVATEAPP:
      display_.OnActivateApp(wparam != 0);
      return 0;
    case WM_POWERBROADCAST:
      display_.OnPowerBroadcast(static_cast<uint32_t>(wparam));
      break;
    case WM_DISPLAYCHANGE:
      display_.OnDisplayChange();
      return 0;
    case WM_TIMER:
      timers_.Fire(static_cast<uint32_t>(wparam));
      return 0;
    case WM_COMMAND:
      if (logic_.OnCommand(wparam, lparam) == vexa::player::FrameReply::kHandled) return 0;
      break;
    case WM_SYSCOMMAND:
      if (logic_.OnSysCommand(wparam, lparam, display_.IsFullScreen()) ==
          vexa::player::FrameReply::kHandled) {
        return 0;
      }
      break;
    case WM_EXITMENULOOP:
      logic_.OnExitMenuLoop(display_.IsFullScreen());
      break;
    case WM_QUERYENDSESSION:
      return logic_.OnQueryEndSession();
    case WM_ENDSESSION:
      // The session ends without the window being destroyed: the desktop gets its mode back and
      // what is pending must be on disk now.
      if (wparam) {
        display_.RestoreDesktop();
        FlushPendingWork();
      }
      return 0;
    case WM_WINDOWPOSCHANGING: {
      auto* pos = reinterpret_cast<WINDOWPOS*>(lparam);
      const int32_t width = display_.GetOuterWidth();
      const int32_t height = display_.GetOuterHeight();
      if (width > 0 && height > 0 && pos && !(pos->flags & SWP_NOSIZE)) {
        pos->cx = width;
        pos->cy = height;
      }
      return 0;
    }
    case WM_SETTEXT: {
      // The caption is UTF-8 (CAPTION); the window shows it as UTF-16.
      const std::wstring text = CaptionText(reinterpret_cast<const char*>(lparam), kCaptionBuffer);
      return DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

// ---------------------------------------------------------------------------------------------
// Operations of the script and the command handlers

HRESULT CMainFrame::AddTimeout(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) {
  if (!expression) return E_POINTER;
  return timers_.Add(vexa::player::CScriptTimers::kOneShot, milliseconds, expression->c_str())
             ? S_OK
             : E_FAIL;
}

HRESULT CMainFrame::AddInterval(int32_t milliseconds, std::unique_ptr<CSmallStr> expression) {
  if (!expression) return E_POINTER;
  return timers_.Add(vexa::player::CScriptTimers::kRepeating, milliseconds, expression->c_str())
             ? S_OK
             : E_FAIL;
}

HRESULT CMainFrame::LayoutWindow() {
  return display_.LayoutWindow();
}

HRESULT CMainFrame::SelectMovieVariant() {
  return display_.SelectMovieVariant();
}

HRESULT CMainFrame::Quit() {
  OnQuit();
  if (!hwnd_) return E_UNEXPECTED;
  PostMessageW(hwnd_, WM_CLOSE, reinterpret_cast<WPARAM>(hwnd_), reinterpret_cast<LPARAM>(hwnd_));
  return S_OK;
}

HRESULT CMainFrame::Minimize() {
  if (!hwnd_) return E_UNEXPECTED;
  PostMessageW(hwnd_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  return S_OK;
}

HRESULT CMainFrame::SetMouseInput(int32_t on) {
  return filter_.SetMouseInput(on != 0, this);
}

HRESULT CMainFrame::SetKeyRepeat(int32_t on) {
  keyRepeat_ = on != 0;
  return S_OK;
}

HRESULT CMainFrame::SetCursorPosition(int32_t* x, int32_t* y) {
  if (!x || !y) return E_POINTER;
  HWND plugin = static_cast<HWND>(GetPluginWindow());
  if (!plugin) return E_FAIL;
  RECT rect;
  GetWindowRect(plugin, &rect);
  const BOOL moved = SetCursorPos(*x, *y);
  POINT point = {};
  GetCursorPos(&point);
  *x = point.x - rect.left;
  *y = point.y - rect.top;
  return moved ? S_OK : E_FAIL;
}

HRESULT CMainFrame::GetCursorPosition(int32_t* x, int32_t* y) {
  if (!x || !y) return E_POINTER;
  POINT point = {};
  GetCursorPos(&point);
  *x = point.x;
  *y = point.y;
  return S_OK;
}

HRESULT CMainFrame::CreateFolderPath(const char* path, int32_t pathNamesFile) {
  if (!path) return E_POINTER;
  std::string folders = path;
  if (pathNamesFile) {
    char full[MAX_PATH] = {};
    const DWORD length = GetFullPathNameA(path, MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    folders = full;
    const size_t last = folders.find_last_of("\\/");
    folders = last == std::string::npos ? std::string() : folders.substr(0, last + 1);
  }
  for (size_t i = 0; i < folders.size(); ++i) {
    if (folders[i] != '\\' && folders[i] != '/') continue;
    const std::string folder = folders.substr(0, i);
    // Drive roots and empty leading parts ("\\server", "C:") are there already.
    if (folder.empty() || folder.back() == ':' || folder == "\\") continue;
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
      const DWORD attributes = GetFileAttributesA(folder.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return E_FAIL;
      }
    }
  }
  return S_OK;
}

HRESULT CMainFrame::SetFullScreen(int32_t on) {
  return display_.SetFullScreen(on != 0);
}

HRESULT CMainFrame::GetFullScreen(int32_t* on) {
  if (!on) return E_POINTER;
  *on = display_.IsFullScreen() ? 1 : 0;
  return S_OK;
}

HRESULT CMainFrame::GetMaxDisplayMode(int32_t* width, int32_t* height, int32_t* bitsPerPixel) {
  return display_.GetMaxDisplayMode(width, height, bitsPerPixel);
}

HRESULT CMainFrame::SetPreferWide(int32_t on) {
  return display_.SetPreferWide(on != 0);
}

HRESULT CMainFrame::GetPreferWide(int32_t* on) {
  return display_.GetPreferWide(on);
}

HRESULT CMainFrame::SetKeepAspect(int32_t on) {
  return display_.SetKeepAspect(on != 0);
}

HRESULT CMainFrame::GetKeepAspect(int32_t* on) {
  return display_.GetKeepAspect(on);
}

void CMainFrame::ShowStartupError(int id) {
  vexa::app::ShowStartupError(hwnd_, static_cast<UINT>(id));
}

void CMainFrame::ApplyCaption(const std::string& utf8) {
  // WM_SETTEXT to this window carries UTF-8 (see OnMessage).
  if (hwnd_) SendMessageW(hwnd_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(utf8.c_str()));
}

void CMainFrame::ApplyIcon(const uint8_t* bytes, size_t size) {
  if (!hwnd_ || !bytes) return;
  vexa::player::CIconFile file;
  vexa::player::IconImage image;
  const int cx = GetSystemMetrics(SM_CXICON);
  const int cy = GetSystemMetrics(SM_CYICON);
  if (!file.Parse(bytes, size) || !file.ChooseImage(cx, cy, &image)) return;
  // The image bytes were checked to lie inside the file.
  HICON icon = CreateIconFromResourceEx(const_cast<PBYTE>(bytes + image.offset), image.size, TRUE,
                                        0x00030000, cx, cy, LR_DEFAULTCOLOR);
  if (!icon) return;
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  if (icon_) DestroyIcon(icon_);
  icon_ = icon;
}

// ---------------------------------------------------------------------------------------------
// IFrameHost

bool CMainFrame::HasHolder() {
  return GetFlashHolder() != nullptr;
}

vexa::platform::WindowHandle CMainFrame::GetPluginWindow() {
  IFlashHolder* holder = GetFlashHolder();
  vexa::platform::WindowHandle window = nullptr;
  if (!holder || holder->GetWindow(&window) != S_OK) return nullptr;
  return window && IsWindow(static_cast<HWND>(window)) ? window : nullptr;
}

bool CMainFrame::GetPluginScreenRect(vexa::platform::WindowRect* rect) {
  HWND plugin = static_cast<HWND>(GetPluginWindow());
  RECT r;
  if (!rect || !plugin || !GetWindowRect(plugin, &r)) return false;
  rect->left = r.left;
  rect->top = r.top;
  rect->right = r.right;
  rect->bottom = r.bottom;
  return true;
}

bool CMainFrame::ClientToScreenPoint(vexa::platform::WindowHandle window, int32_t* x, int32_t* y) {
  HWND hwnd = static_cast<HWND>(window);
  if (!hwnd || !IsWindow(hwnd) || !x || !y) return false;
  POINT point = {*x, *y};
  if (!ClientToScreen(hwnd, &point)) return false;
  *x = point.x;
  *y = point.y;
  return true;
}

bool CMainFrame::GetCursorScreenPos(int32_t* x, int32_t* y) {
  POINT point;
  if (!x || !y || !GetCursorPos(&point)) return false;
  *x = point.x;
  *y = point.y;
  return true;
}

vexa::platform::WindowHandle CMainFrame::GetMouseCapture() {
  return GetCapture();
}

void CMainFrame::CaptureMouse(vexa::platform::WindowHandle window) {
  SetCapture(static_cast<HWND>(window));
}

void CMainFrame::ReleaseMouse() {
  ReleaseCapture();
}

bool CMainFrame::StartTimer(uint32_t id, uint32_t milliseconds) {
  return hwnd_ && SetTimer(hwnd_, id, milliseconds, nullptr) != 0;
}

void CMainFrame::StopTimer(uint32_t id) {
  if (hwnd_) KillTimer(hwnd_, id);
}

void CMainFrame::PostToWindow(vexa::platform::WindowHandle window, uint32_t message,
                              uintptr_t wparam, intptr_t lparam) {
  if (window) PostMessageW(static_cast<HWND>(window), message, wparam, lparam);
}

void CMainFrame::SendToWindow(vexa::platform::WindowHandle window, uint32_t message,
                              uintptr_t wparam, intptr_t lparam) {
  if (window) SendMessageW(static_cast<HWND>(window), message, wparam, lparam);
}

bool CMainFrame::TranslateAccelerators(const vexa::platform::WindowMessage& message) {
  if (!accelerators_ || !hwnd_) return false;
  MSG msg = ToMsg(message);
  return TranslateAcceleratorW(hwnd_, accelerators_, &msg) != 0;
}

bool CMainFrame::IsWindowOfThisProcess(vexa::platform::WindowHandle window) {
  if (!window) return false;
  DWORD process = 0;
  GetWindowThreadProcessId(static_cast<HWND>(window), &process);
  return process == GetCurrentProcessId();
}

void CMainFrame::RestoreAndActivate() {
  if (!hwnd_) return;
  ShowWindow(hwnd_, SW_RESTORE);
  SetActiveWindow(hwnd_);
  SetForegroundWindow(hwnd_);
}

bool CMainFrame::PreTranslate(const vexa::platform::WindowMessage& message) {
  IFlashHolder* holder = GetFlashHolder();
  return holder && holder->PreTranslate(&message) == S_OK;
}

void CMainFrame::CallMovieFunction(const char* method, const char* argument) {
  IFlashHolder* holder = GetFlashHolder();
  if (!holder || !method || !*method) return;
  const std::wstring name = vexa::platform::AnsiToWide(method);
  const std::wstring text = vexa::platform::AnsiToWide(argument ? argument : "");
  VARIANT arg;
  VariantInit(&arg);
  arg.vt = VT_BSTR;
  arg.bstrVal = SysAllocStringLen(text.c_str(), static_cast<UINT>(text.size()));
  holder->CallMovieFunction(name.c_str(), &arg, 1, nullptr);
  VariantClear(&arg);
}

bool CMainFrame::GetMovieVariable(const char* name, std::string* value) {
  IFlashHolder* holder = GetFlashHolder();
  CSmallStr text;
  if (!holder || !name || !value || holder->GetMovieVariableA(name, &text) != S_OK) return false;
  value->assign(text.c_str(), static_cast<size_t>(text.GetLength()));
  return true;
}

void CMainFrame::AddResult(const char* name, const char* text) {
  IFlashHolder* holder = GetFlashHolder();
  if (holder) holder->AddResultA(name ? name : "", text ? text : "");
}

void CMainFrame::SetHolderFocus(bool gained) {
  IFlashHolder* holder = GetFlashHolder();
  if (holder) holder->SetFocus(gained ? 1 : 0);
}

uint32_t CMainFrame::GetCharLowerBound() {
  return static_cast<uint32_t>(GetKeyboardFilterLower());
}

uint32_t CMainFrame::GetCharUpperBound() {
  return static_cast<uint32_t>(GetKeyboardFilterUpper());
}

std::string CMainFrame::GetFrameText(vexa::player::FrameText which) {
  using vexa::player::FrameText;
  const CSmallStr* text = nullptr;
  switch (which) {
    case FrameText::kGameCloseVar:
      text = &GetCloseVariable();
      break;
    case FrameText::kGameCloseMethod:
      text = &GetCloseMethod();
      break;
    case FrameText::kFocusVar:
      text = &GetFocusVariable();
      break;
    case FrameText::kFocusMethod:
      text = &GetFocusMethod();
      break;
    case FrameText::kMouseEventMethod:
      text = &GetMouseEventMethod();
      break;
  }
  return text ? std::string(text->c_str(), static_cast<size_t>(text->GetLength())) : std::string();
}

void CMainFrame::EvaluateScript(const char* expression) {
  VARIANT value;
  VariantInit(&value);
  GetScriptEngine().Evaluate(expression, nullptr, &value);
  VariantClear(&value);
}

// ---------------------------------------------------------------------------------------------
// IMessagePump

bool CMainFrame::PeekNext(vexa::platform::WindowMessage* message) {
  MSG msg;
  if (!message || !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) return false;
  *message = ToMessage(msg);
  return true;
}

bool CMainFrame::RemoveNext(const vexa::platform::WindowMessage& peeked,
                            vexa::platform::WindowMessage* removed) {
  MSG msg;
  if (!removed || !PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  *removed = ToMessage(msg);
  return true;
}

bool CMainFrame::FilterMessage(vexa::platform::WindowMessage* message) {
  return filter_.Filter(message);
}

void CMainFrame::TranslateAndDispatch(const vexa::platform::WindowMessage& message) {
  const MSG msg = ToMsg(message);
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

uint32_t CMainFrame::GetMessageClock() {
  return GetTickCount();
}

// ---------------------------------------------------------------------------------------------
// IDisplayClient

vexa::player::WindowLayoutSettings CMainFrame::GetLayoutSettings() {
  vexa::player::WindowLayoutSettings settings;
  settings.clientWidth = GetClientWidth();
  settings.clientHeight = GetClientHeight();
  settings.caption = HasCaption();
  settings.centred = IsWindowCentered();
  settings.x = GetWindowX();
  settings.y = GetWindowY();
  return settings;
}

const std::vector<vexa::player::ModeRecord>& CMainFrame::GetDisplayVariants() {
  return GetMovieVariants();
}

vexa::player::ModeRecord CMainFrame::GetDisplayCurrentVariant() {
  return GetCurrentVariant();
}

void CMainFrame::UseDisplayVariant(const vexa::player::ModeRecord& entry) {
  UseMovieVariant(entry);
}

HRESULT CMainFrame::ReadPreference(const char* set, CSmallStr* data) {
  return GetSave(set, 0, data);
}

HRESULT CMainFrame::WritePreference(const char* set, const char* description, const char* data) {
  return SetSave(set, 0, description, data);
}
