#include "platform/shell.h"

#include <windows.h>
// windows.h first: shellapi.h and shlwapi.h build on its types.
#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/codepage.h"

namespace vexa::platform {

namespace {

// Wide text in the ANSI code page; false when a character has no exact ANSI form (a best-fit
// stand-in would name another file).
bool ExactAnsi(const std::wstring& wide, std::string* out) {
  if (wide.empty()) {
    out->clear();
    return true;
  }
  BOOL defaulted = FALSE;
  const int need =
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                          nullptr, 0, nullptr, &defaulted);
  if (need <= 0 || defaulted) return false;
  std::string text(static_cast<size_t>(need), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      &text[0], need, nullptr, &defaulted);
  if (defaulted) return false;
  *out = text;
  return true;
}

}  // namespace

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

bool ResolveShellPath(const std::string& path, std::string* resolved) {
  if (path.empty() || !resolved) return false;
  const std::wstring wide = AnsiToWide(path);
  // No access asked for: this only names the file. Backup semantics let folders open too; links
  // are followed, as the shell would follow them.
  HANDLE file = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Only files and folders on disk have a final name; consoles, pipes and other devices do not.
  const bool on_disk = GetFileType(file) == FILE_TYPE_DISK;
  std::vector<wchar_t> name(MAX_PATH + 1);
  DWORD length = 0;
  if (on_disk) {
    length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= name.size()) {
      name.resize(length + 1);
      length = GetFinalPathNameByHandleW(file, name.data(), static_cast<DWORD>(name.size()),
                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
  }
  CloseHandle(file);
  if (!on_disk || length == 0 || length >= name.size()) return false;
  std::wstring final_name(name.data(), length);
  // "\\?\C:\x" is a local path; "\\?\UNC\server\share\x" one on another machine.
  if (final_name.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
    final_name = L"\\\\" + final_name.substr(8);
  } else if (final_name.compare(0, 4, L"\\\\?\\") == 0) {
    final_name = final_name.substr(4);
  }
  return ExactAnsi(final_name, resolved);
}

bool IsShellDangerousType(const std::string& extension) {
  if (extension.empty()) return false;
  const std::string dotted = "." + LowerAscii(extension);
  char buffer[4096];
  const DWORD length = GetEnvironmentVariableA("PATHEXT", buffer, sizeof buffer);
  if (length > 0 && length < sizeof buffer) {
    const std::string list = LowerAscii(std::string(buffer, length));
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      if (list.compare(start, end - start, dotted) == 0) return true;
      start = end + 1;
    }
  }
  return AssocIsDangerous(AnsiToWide(dotted).c_str()) != FALSE;
}

}  // namespace vexa::platform
