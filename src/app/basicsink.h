// The FSCommands the player answers before the command processor exists, and a diagnostic log.
//
// Commands are matched as the processor will match them: upper-cased, by code prefix.
//   LS  the ready flag: adds "1" to the result list.
//   Q   quits: the window closes.
// Everything else is ignored.
//
// When the environment variable VEXA_FSCOMMAND_LOG names a file, every command received is appended
// to it as one UTF-8 line "command<TAB>argument", with backslash, tab, line feed and carriage
// return written as \\, \t, \n and \r.
#pragma once

#include <string>

#include "app/playerwindow.h"
#include "flashhost/notifysink.h"

class CBasicCommandSink : public IFlashPlayerNotifySink {
 public:
  // `window` is not owned and must outlive the sink.
  explicit CBasicCommandSink(CPlayerWindow* window);
  virtual ~CBasicCommandSink() = default;

  HRESULT OnFSCommand(const wchar_t* command, const wchar_t* argument) override;
  HRESULT OnPlayerNotification(int32_t, int32_t, int32_t, void*) override { return E_NOTIMPL; }

 protected:
  // Appends one line to the log, when there is one.
  void WriteLog(const std::wstring& line);
  // Escapes a text for one log line.
  static std::wstring Escape(const wchar_t* text);

  CPlayerWindow* window_;
};
