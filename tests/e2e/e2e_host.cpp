// A test build of the player: the real window, holder, plug-in and loop, with a sink that answers
// the end-to-end movie's commands and writes what it did to the command log (VEXA_FSCOMMAND_LOG).
//
// Commands, on top of the player's own (LS, Q):
//   ECHO text   adds the text as a result
//   TWO         adds two results, one with characters that need escaping
//   VAR name    reads the movie variable, logs "variable<TAB>name<TAB>value" and adds the value
//   RECT        logs "client<TAB>left<TAB>top<TAB>right<TAB>bottom": the player window on screen
//   POLL        closes the window once the file named by VEXA_E2E_STOP exists
// The last log line is "exit<TAB>code" once the message loop has ended.
#include <objbase.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/basicsink.h"
#include "app/playerwindow.h"
#include "data/loader.h"
#include "flashhost/holder.h"
#include "platform/window.h"

namespace {

class CEndToEndSink : public CBasicCommandSink {
 public:
  using CBasicCommandSink::CBasicCommandSink;
  using CBasicCommandSink::WriteLog;

  HRESULT OnFSCommand(const wchar_t* command, const wchar_t* argument) override {
    CBasicCommandSink::OnFSCommand(command, argument);
    const std::wstring code = command ? command : L"";
    const wchar_t* text = argument ? argument : L"";
    CFlashHolder* holder = window_->GetHolder();
    if (code == L"ECHO") {
      holder->AddResult(L"echo", text);
    } else if (code == L"TWO") {
      holder->AddResultA("two", "first");
      holder->AddResultA("two", "sec<ond");
    } else if (code == L"VAR") {
      CSmallStr value;
      if (holder->GetMovieVariable(text, &value) == S_OK) {
        const std::wstring wide(value.c_str(), value.c_str() + value.GetLength());
        WriteLog(L"variable\t" + Escape(text) + L"\t" + Escape(wide.c_str()));
        holder->AddResultA("var", value.c_str());
      } else {
        WriteLog(L"variable\t" + Escape(text) + L"\t(none)");
      }
    } else if (code == L"RECT") {
      vexa::platform::WindowHandle player = nullptr;
      vexa::platform::WindowRect rect;
      if (holder->GetWindow(&player) == S_OK &&
          vexa::platform::GetClientScreenRect(player, &rect)) {
        WriteLog(L"client\t" + std::to_wstring(rect.left) + L"\t" + std::to_wstring(rect.top) +
                 L"\t" + std::to_wstring(rect.right) + L"\t" + std::to_wstring(rect.bottom));
      }
    } else if (code == L"POLL") {
      const wchar_t* stop = _wgetenv(L"VEXA_E2E_STOP");
      if (stop && *stop && GetFileAttributesW(stop) != INVALID_FILE_ATTRIBUTES) {
        window_->RequestClose();
      }
    }
    return S_OK;
  }
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const HRESULT com = CoInitialize(nullptr);
  {
    CFileLoader loader;
    CPlayerWindow window(&FlashHolder());
    CEndToEndSink sink(&window);
    PlayerSettings settings;
    settings.caption = L"VEXA end-to-end";
    int code = -1;
    if (SUCCEEDED(window.Start(settings, &loader, &sink))) code = window.RunMessageLoop();
    sink.WriteLog(L"exit\t" + std::to_wstring(code));
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
