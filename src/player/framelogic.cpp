#include "player/framelogic.h"

#include <string>

namespace vexa::player {

using platform::WindowHandle;

namespace {

bool EqualsIgnoringAsciiCase(const std::string& text, const char* expected) {
  size_t i = 0;
  for (; expected[i] != 0; ++i) {
    if (i >= text.size()) return false;
    char a = text[i];
    char b = expected[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return i == text.size();
}

}  // namespace

bool CFrameLogic::IsQuitRequest(uintptr_t wparam, intptr_t lparam) {
  // A null frame would make every plain WM_CLOSE (both parameters 0) look like Quit.
  const WindowHandle frame = host_->GetFrameHandle();
  if (!frame) return false;
  const uintptr_t handle = reinterpret_cast<uintptr_t>(frame);
  return wparam == handle && static_cast<uintptr_t>(lparam) == handle;
}

bool CFrameLogic::MovieAgreesToClose() {
  if (!host_->HasHolder()) return false;
  const std::string name = host_->GetFrameText(FrameText::kGameCloseVar);
  if (name.empty()) return false;
  std::string value;
  return host_->GetMovieVariable(name.c_str(), &value) && EqualsIgnoringAsciiCase(value, "on");
}

CloseDecision CFrameLogic::OnClose(uintptr_t wparam, intptr_t lparam) {
  if (IsQuitRequest(wparam, lparam)) return CloseDecision::kClose;
  if (MovieAgreesToClose()) return CloseDecision::kClose;
  if (host_->HasHolder()) NotifyGameClose();
  return CloseDecision::kKeepOpen;
}

FrameReply CFrameLogic::OnSysCommand(uintptr_t wparam, intptr_t lparam, bool full_screen) {
  switch (static_cast<uint32_t>(wparam & 0xFFF0)) {
    case kScMove:
      return full_screen ? FrameReply::kHandled : FrameReply::kDefault;
    case kScClose:
      if (host_->HasHolder()) NotifyGameClose();
      return FrameReply::kHandled;
    case kScMouseMenu:
    case kScKeyMenu:
      if (full_screen || lparam == 0) return FrameReply::kHandled;
      NotifyFocus(false);
      return FrameReply::kDefault;
    case kScRestore:
      if (!full_screen) return FrameReply::kDefault;
      host_->RestoreAndActivate();
      return FrameReply::kHandled;
    case kScScreenSave:
      return full_screen ? FrameReply::kHandled : FrameReply::kDefault;
    default:
      return FrameReply::kDefault;
  }
}

FrameReply CFrameLogic::OnCommand(uintptr_t wparam, intptr_t lparam) {
  const uint32_t id = static_cast<uint32_t>(wparam & 0xFFFF);
  const uint32_t source = static_cast<uint32_t>((wparam >> 16) & 0xFFFF);
  if (source != 1) return FrameReply::kDefault;
  if (id == kCmdAltEnter) {
    if (host_->HasHolder())
      host_->PostToWindow(host_->GetPluginWindow(), kMsgKeyDown, kVkControl, 1);
    return FrameReply::kHandled;
  }
  if (id == kCmdCtrlEnter) return FrameReply::kHandled;
  return FrameReply::kDefault;
}

void CFrameLogic::OnSetFocus() {
  NotifyFocus(true);
}

void CFrameLogic::OnKillFocus(WindowHandle new_focus) {
  if (!host_->HasHolder()) return;
  if (new_focus && host_->IsWindowOfThisProcess(new_focus)) return;
  NotifyFocus(false);
}

void CFrameLogic::OnExitMenuLoop(bool full_screen) {
  if (!full_screen) NotifyFocus(true);
}

intptr_t CFrameLogic::OnQueryEndSession() {
  const WindowHandle plugin = host_->HasHolder() ? host_->GetPluginWindow() : nullptr;
  if (plugin) {
    NotifyGameClose();
    host_->SendToWindow(plugin, kMsgTimer, kEndSessionTimerId, 0);
  }
  return 1;
}

void CFrameLogic::NotifyGameClose() {
  if (!host_->HasHolder()) return;
  const std::string name = host_->GetFrameText(FrameText::kGameCloseVar);
  if (!name.empty()) host_->AddResult(name.c_str(), "on");
  const std::string method = host_->GetFrameText(FrameText::kGameCloseMethod);
  if (!method.empty()) host_->CallMovieFunction(method.c_str(), "on");
}

void CFrameLogic::NotifyFocus(bool gained) {
  if (!host_->HasHolder()) return;
  host_->SetHolderFocus(gained);
  const char* text = gained ? "set" : "kill";
  const std::string name = host_->GetFrameText(FrameText::kFocusVar);
  if (!name.empty()) host_->AddResult(name.c_str(), text);
  const std::string method = host_->GetFrameText(FrameText::kFocusMethod);
  if (!method.empty()) host_->CallMovieFunction(method.c_str(), text);
}

}  // namespace vexa::player
