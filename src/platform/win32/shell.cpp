#include "platform/shell.h"

#include <windows.h>
// windows.h first: shellapi.h builds on its types.
#include <shellapi.h>

namespace vexa::platform {

bool ShellOpen(const std::string& target) {
  if (target.empty()) return false;
  SHELLEXECUTEINFOA info = {};
  info.cbSize = sizeof info;
  // DDEWAIT: the request may be served by DDE after this call returns, so let the shell finish
  // the conversation first. NOCLOSEPROCESS only to close the handle ourselves (below).
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_FLAG_NO_UI;
  info.hwnd = GetDesktopWindow();
  info.lpVerb = nullptr;
  info.lpFile = target.c_str();
  info.nShow = SW_SHOWNORMAL;
  const BOOL ok = ShellExecuteExA(&info);
  if (info.hProcess) CloseHandle(info.hProcess);
  return ok != FALSE;
}

}  // namespace vexa::platform
