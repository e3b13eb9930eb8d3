#include "app/basicsink.h"

#include <cstdio>
#include <cstdlib>
#include <cwctype>

#include "platform/codepage.h"

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* code) {
  return text.compare(0, std::wcslen(code), code) == 0;
}

}  // namespace

CBasicCommandSink::CBasicCommandSink(CPlayerWindow* window) : window_(window) {}

HRESULT CBasicCommandSink::OnFSCommand(const wchar_t* command, const wchar_t* argument) {
  if (!command) command = L"";
  if (!argument) argument = L"";
  WriteLog(Escape(command) + L"\t" + Escape(argument));

  std::wstring code(command);
  for (wchar_t& c : code) c = static_cast<wchar_t>(std::towupper(c));
  CFlashHolder* holder = window_->GetHolder();
  if (StartsWith(code, L"LS")) {
    holder->AddResult(argument, L"1");
  } else if (StartsWith(code, L"Q")) {
    window_->RequestClose();
  }
  return S_OK;
}

void CBasicCommandSink::WriteLog(const std::wstring& line) {
  const wchar_t* path = _wgetenv(L"VEXA_FSCOMMAND_LOG");
  if (!path || !*path) return;
  FILE* file = _wfopen(path, L"ab");
  if (!file) return;
  const std::string bytes = vexa::platform::WideToUtf8(line) + "\n";
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::wstring CBasicCommandSink::Escape(const wchar_t* text) {
  std::wstring out;
  for (const wchar_t* p = text; p && *p; ++p) {
    switch (*p) {
      case L'\\':
        out += L"\\\\";
        break;
      case L'\t':
        out += L"\\t";
        break;
      case L'\n':
        out += L"\\n";
        break;
      case L'\r':
        out += L"\\r";
        break;
      default:
        out += *p;
    }
  }
  return out;
}
