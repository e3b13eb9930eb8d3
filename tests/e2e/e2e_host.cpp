// A test build of the player: the real main frame, holder, plug-in, command processor and loop, with
// a probe in front of the command processor that writes every command to the command log
// (VEXA_FSCOMMAND_LOG, one UTF-8 line "command<TAB>argument" for a command of the movie,
// "script<TAB>command<TAB>argument" for one of the script's <fscommand> elements) and answers a
// few commands of the end-to-end movies before handing everything on to the processor:
//   ECHO text   adds the text as a result
//   TWO         adds two results, one with characters that need escaping
//   VAR name    reads the movie variable, logs "variable<TAB>name<TAB>value" and adds the value
//   RECT        logs "client<TAB>left<TAB>top<TAB>right<TAB>bottom": the player window on screen,
//               "frame<TAB>..." with the main window's client area (client coordinates) and
//               "framescreen<TAB>..." with that area on screen
//   CAPTION     logs "caption<TAB>text" with the main window's caption (UTF-8)
//   POLL        closes the window (as the close box does) once the file named by VEXA_E2E_STOP
//               exists
// The last log line is "exit<TAB>code" once the message loop has ended.
#include <objbase.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/mainframe.h"
#include "app/startup.h"
#include "flashhost/holder.h"
#include "flashhost/notifysink.h"
#include "platform/codepage.h"
#include "platform/window.h"

namespace {

std::wstring Escape(const wchar_t* text) {
  std::wstring out;
  for (const wchar_t* p = text ? text : L""; *p; ++p) {
    switch (*p) {
      case L'\\': out += L"\\\\"; break;
      case L'\t': out += L"\\t"; break;
      case L'\n': out += L"\\n"; break;
      case L'\r': out += L"\\r"; break;
      default: out += *p;
    }
  }
  return out;
}

void WriteLog(const std::wstring& line) {
  const wchar_t* path = _wgetenv(L"VEXA_FSCOMMAND_LOG");
  if (!path || !*path) return;
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string utf8 = vexa::platform::WideToUtf8(line + L"\n");
  DWORD written = 0;
  WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  CloseHandle(file);
}

std::wstring RectText(const RECT& r) {
  return std::to_wstring(r.left) + L"\t" + std::to_wstring(r.top) + L"\t" +
         std::to_wstring(r.right) + L"\t" + std::to_wstring(r.bottom);
}

class CEndToEndFrame;

class CCommandProbe : public IFlashPlayerNotifySink {
 public:
  explicit CCommandProbe(CEndToEndFrame* frame) : frame_(frame) {}
  HRESULT OnFSCommand(const wchar_t* command, const wchar_t* argument) override {
    return Handle(command, argument, false);
  }
  // `fromScript`: the command comes from an <fscommand> element, not from the movie.
  HRESULT Handle(const wchar_t* command, const wchar_t* argument, bool fromScript);
  HRESULT OnPlayerNotification(int32_t, int32_t, int32_t, void*) override { return E_NOTIMPL; }

 private:
  CEndToEndFrame* frame_;
};

class CEndToEndFrame : public CMainFrame {
 public:
  CEndToEndFrame() : probe_(this) {}

  // The script's <fscommand> goes past the holder's sink: the probe sees it here.
  HRESULT SendFSCommand(const wchar_t* command, const wchar_t* args) override {
    return probe_.Handle(command, args, true);
  }

 protected:
  IFlashPlayerNotifySink* GetCommandSink() override { return &probe_; }

 private:
  CCommandProbe probe_;
};

HRESULT CCommandProbe::Handle(const wchar_t* command, const wchar_t* argument, bool fromScript) {
  const std::wstring code = command ? command : L"";
  const wchar_t* text = argument ? argument : L"";
  WriteLog((fromScript ? L"script\t" : L"") + Escape(code.c_str()) + L"\t" + Escape(text));
  IFlashHolder* holder = frame_->GetFlashHolder();
  if (holder) {
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
        RECT r = {rect.left, rect.top, rect.right, rect.bottom};
        WriteLog(L"client\t" + RectText(r));
      }
      RECT client;
      if (GetClientRect(frame_->GetHandle(), &client)) {
        WriteLog(L"frame\t" + RectText(client));
        MapWindowPoints(frame_->GetHandle(), nullptr, reinterpret_cast<POINT*>(&client), 2);
        WriteLog(L"framescreen\t" + RectText(client));
      }
    } else if (code == L"CAPTION") {
      wchar_t caption[512] = {};
      GetWindowTextW(frame_->GetHandle(), caption, 512);
      WriteLog(std::wstring(L"caption\t") + caption);
    } else if (code == L"POLL") {
      const wchar_t* stop = _wgetenv(L"VEXA_E2E_STOP");
      if (stop && *stop && GetFileAttributesW(stop) != INVALID_FILE_ATTRIBUTES) {
        PostMessageW(frame_->GetHandle(), WM_CLOSE, 0, 0);
      }
    }
  }
  return frame_->GetCommandProcessor().OnFSCommand(command, argument);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vexa::app::RegisterExitLaunch();
  const HRESULT com = CoInitialize(nullptr);
  int code = -1;
  {
    static CEndToEndFrame frame;
    code = frame.Run();
  }
  WriteLog(L"exit\t" + std::to_wstring(code));
  if (SUCCEEDED(com)) CoUninitialize();
  return 0;
}
