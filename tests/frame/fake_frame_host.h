// A frame host without a window system: three fake windows at fixed places on a fake screen, the
// settings as plain fields, and every call the logic makes written to a log as one line of text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "player/framehost.h"

namespace frame_test {

using vexa::platform::WindowHandle;
using vexa::platform::WindowMessage;
using vexa::platform::WindowRect;

// The frame's client area starts at screen (100, 50); the plug-in window sits at (20, 10) in it,
// 640 x 480, so it covers screen x 120..759, y 60..539. Another window of the process is at (0, 0).
inline WindowHandle const kFrame = reinterpret_cast<WindowHandle>(0x1000);
inline WindowHandle const kPlugin = reinterpret_cast<WindowHandle>(0x2000);
inline WindowHandle const kOther = reinterpret_cast<WindowHandle>(0x3000);
inline WindowHandle const kForeign = reinterpret_cast<WindowHandle>(0x4000);

inline std::string Hex(uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

inline std::string Name(WindowHandle window) {
  if (window == nullptr) return "null";
  if (window == kFrame) return "frame";
  if (window == kPlugin) return "plugin";
  if (window == kOther) return "other";
  if (window == kForeign) return "foreign";
  return Hex(reinterpret_cast<uintptr_t>(window));
}

class CFakeFrameHost : public vexa::player::IFrameHost {
 public:
  // ---- State the tests set
  bool holder = true;
  bool plugin_window = true;
  bool mouse_input = true;
  bool key_repeat = true;
  uint32_t lower = 32;
  uint32_t upper = 126;
  std::map<vexa::player::FrameText, std::string> texts;
  int32_t cursor_x = 300;
  int32_t cursor_y = 300;
  WindowHandle capture = nullptr;
  // Key codes of WM_KEYDOWN messages the accelerator table translates.
  std::vector<uintptr_t> accelerator_keys;
  bool pretranslate_result = false;
  // The movie variables GetMovieVariable can read.
  std::map<std::string, std::string> movie_variables;
  // Runs inside CallMovieFunction, after logging (re-entry tests).
  std::function<void()> on_call;

  std::vector<std::string> log;

  std::vector<std::string> TakeLog() {
    std::vector<std::string> taken;
    taken.swap(log);
    return taken;
  }

  // ---- IFrameHost
  bool HasHolder() override { return holder; }
  WindowHandle GetFrameHandle() override { return kFrame; }
  WindowHandle GetPluginWindow() override { return holder && plugin_window ? kPlugin : nullptr; }
  bool GetPluginScreenRect(WindowRect* rect) override {
    if (!GetPluginWindow()) return false;
    rect->left = 120;
    rect->top = 60;
    rect->right = 760;
    rect->bottom = 540;
    return true;
  }
  bool ClientToScreenPoint(WindowHandle window, int32_t* x, int32_t* y) override {
    int32_t ox = 0;
    int32_t oy = 0;
    if (window == kFrame) {
      ox = 100;
      oy = 50;
    } else if (window == kPlugin && GetPluginWindow()) {
      ox = 120;
      oy = 60;
    } else if (window == kOther) {
      ox = 0;
      oy = 0;
    } else {
      return false;
    }
    *x += ox;
    *y += oy;
    return true;
  }
  bool GetCursorScreenPos(int32_t* x, int32_t* y) override {
    *x = cursor_x;
    *y = cursor_y;
    return true;
  }
  WindowHandle GetMouseCapture() override { return capture; }
  void CaptureMouse(WindowHandle window) override {
    log.push_back("capture " + Name(window));
    capture = window;
  }
  void ReleaseMouse() override {
    log.push_back("release");
    capture = nullptr;
  }
  bool StartTimer(uint32_t id, uint32_t milliseconds) override {
    log.push_back("start " + std::to_string(id) + " " + std::to_string(milliseconds));
    return true;
  }
  void StopTimer(uint32_t id) override { log.push_back("stop " + std::to_string(id)); }
  void PostToWindow(WindowHandle window, uint32_t message, uintptr_t wparam,
                    intptr_t lparam) override {
    log.push_back("post " + Name(window) + " " + Hex(message) + " " + std::to_string(wparam) + " " +
                  std::to_string(lparam));
  }
  void SendToWindow(WindowHandle window, uint32_t message, uintptr_t wparam,
                    intptr_t lparam) override {
    log.push_back("send " + Name(window) + " " + Hex(message) + " " + std::to_string(wparam) + " " +
                  std::to_string(lparam));
  }
  bool TranslateAccelerators(const WindowMessage& message) override {
    for (uintptr_t key : accelerator_keys) {
      if (message.message == 0x0100 && message.wParam == key) {
        log.push_back("accelerator " + std::to_string(key));
        return true;
      }
    }
    return false;
  }
  bool IsWindowOfThisProcess(WindowHandle window) override {
    return window == kFrame || window == kPlugin || window == kOther;
  }
  void RestoreAndActivate() override { log.push_back("restore"); }
  bool PreTranslate(const WindowMessage& message) override {
    log.push_back("pretranslate " + Name(message.window) + " " + Hex(message.message));
    return pretranslate_result;
  }
  void CallMovieFunction(const char* method, const char* argument) override {
    log.push_back(std::string("call ") + method + " " + argument);
    if (on_call) on_call();
  }
  bool GetMovieVariable(const char* name, std::string* value) override {
    log.push_back(std::string("read ") + name);
    auto it = movie_variables.find(name);
    if (it == movie_variables.end()) return false;
    *value = it->second;
    return true;
  }
  void AddResult(const char* name, const char* text) override {
    log.push_back(std::string("result ") + name + " " + text);
  }
  void SetHolderFocus(bool gained) override {
    log.push_back(std::string("focus ") + (gained ? "1" : "0"));
  }
  bool IsMouseInputEnabled() override { return mouse_input; }
  void SetMouseInputEnabled(bool on) override {
    log.push_back(std::string("mouse input ") + (on ? "on" : "off"));
    mouse_input = on;
  }
  bool IsKeyRepeatAllowed() override { return key_repeat; }
  uint32_t GetCharLowerBound() override { return lower; }
  uint32_t GetCharUpperBound() override { return upper; }
  std::string GetFrameText(vexa::player::FrameText which) override {
    auto it = texts.find(which);
    return it == texts.end() ? std::string() : it->second;
  }
};

}  // namespace frame_test
