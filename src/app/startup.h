// The outer frame of the process: start-up error boxes, the single-instance rule and the launch of
// the game's exit target. Windows only; UI thread only.
#pragma once

#include <windows.h>

#include <string>

#include "storage/datafolder.h"

namespace vexa::app {

// Class of the main window, also how a second copy finds the first one.
inline constexpr wchar_t kMainWindowClass[] = L"__VEXAPLAYERMAINWINDOWCLASS__";
using vexa::storage::kInstanceMutexSuffix;

// A string of the executable's string table (empty when it has none with that id).
std::wstring LoadResourceText(UINT id);

// A modal error box owned by `owner`: the text of string `id`, the caption of string 130, the
// error icon and the OK button.
void ShowStartupError(HWND owner, UINT id);

// The single-instance rule for the game `gameName` (ANSI): creates the named mutex (kept for the
// life of the process). False when another copy holds it: in another security context after
// message 135; in this one after bringing that copy's window (same class and caption as `self`)
// to the front, restoring it when minimised.
bool CheckSingleInstance(HWND self, const std::string& gameName);

// The target the shell opens when the process exits (GAMEURL); empty opens nothing.
void SetExitLaunchTarget(const std::string& target);
// Registers the exit handler that opens the target, then waits 3 s so the shell can take over.
void RegisterExitLaunch();

}  // namespace vexa::app
