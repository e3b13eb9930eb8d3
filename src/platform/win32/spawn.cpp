#include "platform/spawn.h"

#include <windows.h>

#include "platform/codepage.h"

namespace vexa::platform {

namespace {

// One argument quoted so that the C runtime's command-line parser gives it back unchanged:
// backslashes are literal except before a quote, where they are doubled.
void AppendQuoted(const std::wstring& arg, std::wstring* line) {
  if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    *line += arg;
    return;
  }
  *line += L'"';
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      line->append(backslashes * 2 + 1, L'\\');
    } else {
      line->append(backslashes, L'\\');
    }
    backslashes = 0;
    *line += c;
  }
  line->append(backslashes * 2, L'\\');
  *line += L'"';
}

bool Exists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool FindProgram(const std::string& name, std::string* path) {
  if (name.empty()) return false;
  const std::wstring wide = AnsiToWide(name);
  if (name.find_first_of("/\\:") != std::string::npos) {
    if (Exists(wide)) {
      if (path) *path = name;
      return true;
    }
    if (Exists(wide + L".exe")) {
      if (path) *path = name + ".exe";
      return true;
    }
    return false;
  }
  wchar_t found[MAX_PATH * 4];
  const DWORD n = SearchPathW(nullptr, wide.c_str(), L".exe", MAX_PATH * 4, found, nullptr);
  if (n == 0 || n >= MAX_PATH * 4) return false;
  if (path) *path = WideToAnsi(found);
  return true;
}

bool RunProgram(const std::vector<std::string>& argv, int* exit_code, std::string* output,
                std::string* error) {
  if (argv.empty() || !exit_code) {
    if (error) *error = "no program to run";
    return false;
  }
  std::string program;
  if (!FindProgram(argv[0], &program)) {
    if (error) *error = "program not found: " + argv[0];
    return false;
  }
  std::wstring line;
  AppendQuoted(AnsiToWide(program), &line);
  for (size_t i = 1; i < argv.size(); ++i) {
    line += L' ';
    AppendQuoted(AnsiToWide(argv[i]), &line);
  }

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
    if (error) *error = "cannot make a pipe";
    return false;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_in = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_in;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  PROCESS_INFORMATION process = {};
  std::wstring mutable_line = line;
  const BOOL started = CreateProcessW(nullptr, &mutable_line[0], nullptr, nullptr, TRUE,
                                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  if (null_in != INVALID_HANDLE_VALUE) CloseHandle(null_in);
  if (!started) {
    CloseHandle(read_end);
    if (error)
      *error = "cannot start " + program + " (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &n, nullptr) && n > 0) {
    if (output) output->append(buffer, n);
  }
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  *exit_code = static_cast<int>(code);
  return true;
}

}  // namespace vexa::platform
