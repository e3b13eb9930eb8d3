// The stand-in in a real window: subclassing the browser's window, painting, mouse and keyboard
// messages and thread timers. Needs a display; skipped where no window can be created.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "flashhost/jri.h"
#include "flashhost/npapi.h"
#include "standin/fake_browser.h"
#include "standin/testlib.h"

namespace standin_test {
namespace {

const char kScene[] =
    "background #102030\n"
    "rect box 10 10 30 20 #FF0000\n"
    "button b 50 50 60 30 B\n"
    "after 20 t\n"
    "on click b\n  fscommand invoke CLICK $1\nend\n"
    "on key a\n  set key $1\nend\n"
    "on timer t\n  set timer fired\nend\n";

class StandinWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(library_.Open(PluginLibraryPath(), &error)) << error;
    auto get_entry_points =
        reinterpret_cast<NP_GetEntryPointsFunc>(library_.Symbol("NP_GetEntryPoints"));
    auto initialize = reinterpret_cast<NP_InitializeFunc>(library_.Symbol("NP_Initialize"));
    shutdown_ = reinterpret_cast<NP_ShutdownFunc>(library_.Symbol("NP_Shutdown"));
    get_variable_ =
        reinterpret_cast<JRINativeStubFn>(library_.Symbol("Java_ShockwaveFlash_GetVariable_stub"));
    ASSERT_TRUE(get_entry_points && initialize && shutdown_ && get_variable_);
    ASSERT_EQ(get_entry_points(&fake_.plugin), NPERR_NO_ERROR);
    ASSERT_EQ(initialize(&fake_.funcs), NPERR_NO_ERROR);

    WNDCLASSW wc{};
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VexaStandinTestWindow";
    RegisterClassW(&wc);
    hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 200, 150, nullptr, nullptr,
                            wc.hInstance, nullptr);
    if (!hwnd_) GTEST_SKIP() << "no window can be created here (no display)";
    original_proc_ = GetWindowLongPtrW(hwnd_, GWLP_WNDPROC);
  }

  void TearDown() override {
    if (hwnd_) DestroyWindow(hwnd_);
    if (shutdown_) shutdown_();
    library_.Close();
  }

  std::string Var(const char* name) {
    JRIStackItem args[2] = {};
    args[0].p = fake_.peer();
    args[1].p = fake_.MakeString(name);
    get_variable_(args, fake_.env());
    return args[0].p ? CFakeBrowser::StringText(args[0].p) : std::string("<unset>");
  }

  NPError Attach(HWND hwnd) {
    NPWindow window{};
    window.window = hwnd;
    window.width = hwnd ? 200 : 0;
    window.height = hwnd ? 150 : 0;
    window.type = hwnd ? NPWindowTypeWindow : static_cast<NPWindowType>(0);
    return fake_.plugin.setwindow(&fake_.npp, &window);
  }

  CFakeBrowser fake_;
  CLibrary library_;
  NP_ShutdownFunc shutdown_ = nullptr;
  JRINativeStubFn get_variable_ = nullptr;
  HWND hwnd_ = nullptr;
  LONG_PTR original_proc_ = 0;
};

TEST_F(StandinWindowTest, PaintsAndAnswersTheWindowsMessages) {
  ASSERT_EQ(fake_.NewInstance(), NPERR_NO_ERROR);
  ASSERT_EQ(Attach(hwnd_), NPERR_NO_ERROR);
  EXPECT_NE(GetWindowLongPtrW(hwnd_, GWLP_WNDPROC), original_proc_);
  EXPECT_EQ(Attach(hwnd_), NPERR_NO_ERROR);  // the same window again: no second subclass
  fake_.Deliver("movie.scene", "application/x-shockwave-flash", kScene, nullptr, false);

  // Painting, read back through WM_PRINTCLIENT into a bitmap of our own.
  HDC screen = GetDC(hwnd_);
  HDC mem = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, 200, 150);
  HGDIOBJ old = SelectObject(mem, bitmap);
  SendMessageW(hwnd_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(mem), PRF_CLIENT);
  EXPECT_EQ(GetPixel(mem, 15, 15), RGB(0xFF, 0x00, 0x00));
  EXPECT_EQ(GetPixel(mem, 150, 5), RGB(0x10, 0x20, 0x30));
  EXPECT_EQ(GetPixel(mem, 80, 56), RGB(0xD4, 0xD0, 0xC8));  // button face
  SelectObject(mem, old);
  DeleteObject(bitmap);
  DeleteDC(mem);
  ReleaseDC(hwnd_, screen);

  SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(55, 60));
  ASSERT_EQ(fake_.fscommands.size(), 1u);
  EXPECT_EQ(fake_.fscommands[0], (FsCall{"invoke", "CLICK", "55"}));
  SendMessageW(hwnd_, WM_KEYDOWN, 'A', 0);
  EXPECT_EQ(Var("key"), "65");

  // The timer is a thread timer served by the ordinary message loop.
  const DWORD start = GetTickCount();
  while (Var("timer") != "fired" && GetTickCount() - start < 3000) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(5);
  }
  EXPECT_EQ(Var("timer"), "fired");

  // Detaching gives the window back as it was.
  ASSERT_EQ(Attach(nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(GetWindowLongPtrW(hwnd_, GWLP_WNDPROC), original_proc_);
  SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(55, 60));
  EXPECT_EQ(fake_.fscommands.size(), 1u);
}

// Six quick clicks on a window of a class with double clicks arrive as three presses and three
// double clicks: the movie gets six clicks.
TEST_F(StandinWindowTest, EveryPressOfADoubleClickIsAClick) {
  ASSERT_EQ(fake_.NewInstance(), NPERR_NO_ERROR);
  ASSERT_EQ(Attach(hwnd_), NPERR_NO_ERROR);
  fake_.Deliver("movie.scene", "application/x-shockwave-flash", kScene, nullptr, false);
  for (int pair = 0; pair < 3; ++pair) {
    SendMessageW(hwnd_, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(55, 60));
    SendMessageW(hwnd_, WM_LBUTTONUP, 0, MAKELPARAM(55, 60));
    SendMessageW(hwnd_, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(56, 61));
    SendMessageW(hwnd_, WM_LBUTTONUP, 0, MAKELPARAM(56, 61));
  }
  ASSERT_EQ(fake_.fscommands.size(), 6u);
  EXPECT_EQ(fake_.fscommands[1], (FsCall{"invoke", "CLICK", "56"}));
  // Other buttons' double clicks are no left clicks.
  SendMessageW(hwnd_, WM_RBUTTONDBLCLK, MK_RBUTTON, MAKELPARAM(55, 60));
  SendMessageW(hwnd_, WM_MBUTTONDBLCLK, MK_MBUTTON, MAKELPARAM(55, 60));
  EXPECT_EQ(fake_.fscommands.size(), 6u);
  ASSERT_EQ(Attach(nullptr), NPERR_NO_ERROR);
}

TEST_F(StandinWindowTest, DestroyReleasesTheWindowAndRefusesBadHandles) {
  ASSERT_EQ(fake_.NewInstance(), NPERR_NO_ERROR);
  EXPECT_NE(Attach(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x7654))), NPERR_NO_ERROR);
  ASSERT_EQ(Attach(hwnd_), NPERR_NO_ERROR);
  ASSERT_EQ(fake_.plugin.destroy(&fake_.npp, nullptr), NPERR_NO_ERROR);
  EXPECT_EQ(GetWindowLongPtrW(hwnd_, GWLP_WNDPROC), original_proc_);
}

}  // namespace
}  // namespace standin_test
