// CFSCommandProcessor: receives every FSCommand (from the movie through the Flash holder, and from
// the script's <fscommand> through the player) and runs the handler of its code.
//
// Dispatch: the command is upper-cased (the C library's wide upper-casing) and compared with the
// codes of the command list from its head; the first code the upper-cased command begins with wins
// (so "quit" and "QUITGAME" both run Q). A command without a matching code is dropped without a
// trace. The matched pair moves to the head of the list before its handler runs, so the codes a
// game uses most are found first; no code is a prefix of another, so the order never changes which
// handler runs.
//
// Handlers get the upper-cased command (for matching only), the command as sent (parameters keep
// their case) and the argument (the result name of commands that produce a value, or the data of
// commands that store some). Results go back only through the holder's result list; failures are
// silent or reported as result texts.
//
// The processor owns none of the objects it is wired to; the player sets them before the movie
// runs. A handler whose object is missing does nothing.
//
// Threading: the UI thread only; no locks. A handler may dispatch further commands (the input
// commands pump messages), so the dispatch holds no list position across a handler call.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "flashhost/notifysink.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"

class CScriptEngine;
class IFileLoader;
class IFlashHolder;
class IFSCommandDilator;

class CFSCommandProcessor : public IFlashPlayerNotifySink {
 public:
  // (upper-cased command, command as sent, argument); none is null. The status is not used.
  using Handler = HRESULT (CFSCommandProcessor::*)(const CSmallWStr& upper, const wchar_t* command,
                                                   const wchar_t* argument);
  struct Command {
    const wchar_t* code;  // upper case, static storage
    Handler handler;
  };

  // Builds the command list in table order. Every pointer starts null.
  CFSCommandProcessor();
  virtual ~CFSCommandProcessor();

  CFSCommandProcessor(const CFSCommandProcessor&) = delete;
  CFSCommandProcessor& operator=(const CFSCommandProcessor&) = delete;

  // ---- IFlashPlayerNotifySink
  // Null texts are read as empty. Always S_OK: the status carries no meaning for the sender.
  HRESULT OnFSCommand(const wchar_t* command, const wchar_t* argument) override;
  HRESULT OnPlayerNotification(int32_t code, int32_t param1, int32_t param2, void* data) override;

  // ---- Wiring (not owned; null disables what needs it)
  void SetScriptContext(CScriptEngine* script) { script_ = script; }
  void SetDilator(IFSCommandDilator* dilator) { dilator_ = dilator; }
  void SetHolder(IFlashHolder* holder) { holder_ = holder; }
  void SetFileLoader(IFileLoader* loader) { loader_ = loader; }
  CScriptEngine* GetScriptContext() const { return script_; }
  IFSCommandDilator* GetDilator() const { return dilator_; }
  IFlashHolder* GetHolder() const { return holder_; }
  IFileLoader* GetFileLoader() const { return loader_; }

  // The codes in their current search order, head first.
  std::vector<const wchar_t*> GetCommandOrder() const;

 private:
  // The command table: codes in the order the list starts with. Adding a command is one line here
  // plus its handler.
  static const Command kCommands[];

  // Adds `text` to the holder's result list under the result name `argument` (converted with the
  // C library's wide-to-multibyte conversion). Nothing without a holder.
  void AddResultA(const wchar_t* argument, const char* text);

  // ---- Handlers
  HRESULT HandleQuit(const CSmallWStr& upper, const wchar_t* command, const wchar_t* argument);
  HRESULT HandleReadyFlag(const CSmallWStr& upper, const wchar_t* command, const wchar_t* argument);

  CScriptEngine* script_ = nullptr;
  IFSCommandDilator* dilator_ = nullptr;
  IFlashHolder* holder_ = nullptr;
  IFileLoader* loader_ = nullptr;
  std::list<Command> commands_;
};
