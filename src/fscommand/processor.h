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
// silent or reported as result texts ("NULL", "unknown", "<empty/>", "empty", "error").
//
// Conventions every handler shares:
// - Separator: the character right after the code separates the parameters of the command; the
//   last parameter of a form is the rest of the command and may contain it. A command that lacks a
//   separator its form needs (also one that is exactly its code) is refused: nothing is called and
//   only the command's failure result, where it has one, is added. Nothing reads past the end.
// - Narrow text: parameters and arguments that reach the player, the stores, the script or a
//   plug-in library as narrow text are converted with the platform's ANSI conversion
//   (platform/codepage.h), the same one the holder uses to turn narrow results back into wide
//   text; it never cuts a text short at a character it cannot represent.
// - Numbers read like atoi: leading white space, an optional sign, decimal digits; anything after
//   them is ignored, no digits read as 0, and values beyond 32 bits saturate at INT32_MIN/MAX.
// - Flags in the argument: "on", "true" or "1" (ASCII case ignored) are true, anything else false.
//   SINPUT and SARKEYS take exactly "ON" or "OFF" (case ignored) and ignore anything else.
//
// The processor owns none of the objects it is wired to; the player sets them before the movie
// runs. A handler whose object is missing does nothing (or adds its failure result). The plug-in
// objects the PLUGIN_* commands create are the one thing it keeps: one reference each, until
// ReleasePluginObjects.
//
// Threading: the UI thread only; no locks. A handler may dispatch further commands (SINPUT pumps
// messages; CALL and EXEC run script that may send commands; a plug-in may send commands from
// inside a call), so the dispatch holds no list position across a handler call. A script function
// that sends CALL for itself ends at the script engine's nesting bound, which counts across such
// re-entry.
#pragma once

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

#include "flashhost/notifysink.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"

class CScriptEngine;
class IFileLoader;
class IFlashHolder;
class IFSCommandDilator;
class IPluginInstance;
class IPluginObjectSource;
class IVolumeService;
class IWallpaperService;

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
  // Releases the plug-in objects still held (ReleasePluginObjects).
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
  void SetPluginSource(IPluginObjectSource* source) { pluginSource_ = source; }
  void SetVolumeService(IVolumeService* volume) { volume_ = volume; }
  void SetWallpaperService(IWallpaperService* wallpaper) { wallpaper_ = wallpaper; }
  CScriptEngine* GetScriptContext() const { return script_; }
  IFSCommandDilator* GetDilator() const { return dilator_; }
  IFlashHolder* GetHolder() const { return holder_; }
  IFileLoader* GetFileLoader() const { return loader_; }
  IPluginObjectSource* GetPluginSource() const { return pluginSource_; }
  IVolumeService* GetVolumeService() const { return volume_; }
  IWallpaperService* GetWallpaperService() const { return wallpaper_; }

  // ---- Plug-in objects

  // Drops the reference held on every object PLUGIN_CREATE stored and empties the map. The player
  // calls it at shutdown, before the plug-in libraries are unloaded. Objects released here may
  // send commands from their destructors; what they create meanwhile is released too.
  void ReleasePluginObjects();
  // The instance names stored so far, in map order (byte-wise).
  std::vector<std::string> GetPluginInstanceNames() const;
  // The object stored under `name` (no reference taken), or null.
  IPluginInstance* FindPluginInstance(const char* name) const;

  // The codes in their current search order, head first.
  std::vector<const wchar_t*> GetCommandOrder() const;
  // The codes in the order the list starts with (the command table).
  static std::vector<const wchar_t*> GetCommandTable();

  // Milliseconds since start-up, the number in PLUGIN_CREATE's instance names. Tests replace it.
  using TickSource = uint32_t (*)();
  void SetTickSource(TickSource ticks);

 protected:
  // SEF's write: replaces the content of `path` (already resolved against the game folder) with
  // `bytes`, or appends them, without ever leaving a half-written file. False on failure; the file
  // then keeps what it held. Virtual so a fuzz target can keep the commands off the disk.
  virtual bool WriteCommandFile(const std::string& path, const std::string& bytes, bool append);

 private:
  static const Command kCommands[];

  // Adds narrow or wide text to the holder's result list under the result name `argument`.
  // Nothing without a holder.
  void AddResultA(const wchar_t* argument, const char* text);
  void AddResultW(const wchar_t* argument, const wchar_t* text);

  // ---- Handlers (see the command table in processor.cpp)
  HRESULT HandleSetPreferWide(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetPreferWide(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetKeepAspect(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetKeepAspect(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleReselectVariant(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleCall(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleEnumFunctions(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleExecute(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleQuit(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleMinimize(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleFullScreen(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleWindowed(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetFullScreen(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleScreenMode(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleMoviePlacement(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandlePluginCreate(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandlePluginMethod(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandlePluginPropGet(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetSharedKey(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleLoadSharedKey(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetUserKey(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleLoadUserKey(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleEnumSaves(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetSave(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetSave(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleRemoveSave(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetHighScores(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetHighScore(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleIsHighScore(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetHighScoreAt(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSaveFile(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleBaseDir(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleConvertUrl(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleMouseInput(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleKeyRepeat(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetCursor(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetCursor(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleReadyFlag(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleVolumeReportName(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetVolume(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetVolume(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleGetMute(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleSetMute(const CSmallWStr&, const wchar_t*, const wchar_t*);
  HRESULT HandleWallpaper(const CSmallWStr&, const wchar_t*, const wchar_t*);

  // PLUGIN_METHOD and PLUGIN_PROPGET: the object named by the movie variable `variable`, with a
  // reference for the caller, or null.
  IPluginInstance* AcquirePluginByVariable(const std::wstring& variable);

  CScriptEngine* script_ = nullptr;
  IFSCommandDilator* dilator_ = nullptr;
  IFlashHolder* holder_ = nullptr;
  IFileLoader* loader_ = nullptr;
  IPluginObjectSource* pluginSource_ = nullptr;
  IVolumeService* volume_ = nullptr;
  IWallpaperService* wallpaper_ = nullptr;
  TickSource ticks_ = nullptr;
  // Instance name (narrow, byte-wise order) to object; one reference held per entry.
  std::map<std::string, IPluginInstance*> plugins_;
  std::list<Command> commands_;
};
