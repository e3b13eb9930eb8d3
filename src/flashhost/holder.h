// The Flash holder: the one plug-in instance of the process, its player window inside the main
// frame, movie loading, movie variables, and the result list through which command results go
// back into the movie.
//
// IFlashHolder is what the player, the script and the command handlers use; CFlashHolder is the
// implementation on top of the plug-in host (CPluginHost), which owns the loaded library, the
// function tables and the request queue. The holder adds:
// - the instance itself: CreateInstance calls NPP_New with the fixed embed arguments (quality,
//   size, name, type, src, FlashVars "player=vexapl") and keeps the plug-in's scriptable object;
// - the player window (class "PlayerWindowClass", platform/window.h), a child of the window it is
//   attached to, whose geometry is handed to NPP_SetWindow;
// - movie variables and loads into layers through the plug-in's JRI stubs;
// - the scripting bridge's state (flashhost/bridge.h): the notification sink, the result list and
//   the name of the movie's result callback.
//
// Results that no command asked for. The movie reads results when a command it sent through
// ExternalInterface returns: the bridge clears the list, serves the command and calls the result
// callback (AS30CALLBACK) with what the command added. Values added at any other time (a plug-in
// object's own timer, a volume change made outside the game, a script timer's <fscommand>) would
// wait for a call that clears them first. So the holder tells the two apart: the bridge brackets
// every command it hands to the sink, on all three paths, with EnterCommand/LeaveCommand; a result
// added while no command is being served goes to the result list as always and, besides, to the
// undelivered list. The next PreTranslate (the message loop), once the queue is served and when no
// command is being served, calls the result callback once with the undelivered values in the order
// they were added (DeliverResults). Without a callback name they are dropped from that list (they
// stay in the result list, as every result does); while there is no movie to call they wait. A
// callback the plug-in refuses is not retried. Values added during the delivery itself wait for
// the next PreTranslate.
//
// Life: construct; wire the host (SetJRIPeer with the process's JRI peer object, SetFileLoader,
// SetNotifySink); LoadPlugin; CreateInstance (or SetMovieSize/OpenMovie, which create it on
// demand); AttachToWindow(frame); then PreTranslate on every message of the main loop. At the end
// AttachToWindow(null) and ShutdownPlugin. Destruction never calls into the plug-in.
//
// Main window thread only; the plug-in calls back into the holder on the same thread, also from
// inside the holder's own calls into it, and every operation tolerates that.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "flashhost/notifysink.h"
#include "flashhost/npapi.h"
#include "flashhost/pluginhost.h"
#include "platform/oleauto.h"
#include "platform/window.h"
#include "script/smallstr.h"

// Implemented by the main frame: moves the frame's top-left corner to (x, y) on the screen,
// keeping its size and Z order.
class IFlashOwner {
 public:
  virtual HRESULT MoveOwnerTo(int32_t x, int32_t y) = 0;

 protected:
  ~IFlashOwner() = default;
};

// Every operation returns S_OK (0) on success and a negative status on failure.
class IFlashHolder {
 public:
  // Asks the plug-in (Java_ShockwaveFlash_LoadMovie_stub) to load `url` into `layer`; the alias is
  // not used. The load itself arrives later as a request the queue serves. A null URL does nothing
  // and succeeds; E_FAIL when no plug-in with that stub is loaded.
  virtual HRESULT LoadMovieIntoLayer(int32_t layer, const char* url, const char* alias) = 0;
  // Not supported: E_NOTIMPL.
  virtual HRESULT LoadMovieData(int32_t layer, const char* text, int32_t length,
                                const char* alias) = 0;
  // Creates the instance if needed, then delivers `url` (read through the file loader) as the main
  // movie. E_INVALIDARG for a null URL.
  virtual HRESULT OpenMovie(const char* url) = 0;
  // Appends a copy of `text` as a string to the result list; the name is not used. E_INVALIDARG for
  // null text (nothing is appended).
  virtual HRESULT AddResult(const wchar_t* name, const wchar_t* text) = 0;
  // As AddResult with narrow text in the ANSI code page.
  virtual HRESULT AddResultA(const char* name, const char* text) = 0;
  // As GetMovieVariableA with a wide name.
  virtual HRESULT GetMovieVariable(const wchar_t* name, CSmallStr* value) = 0;
  // Reads a movie variable through Java_ShockwaveFlash_GetVariable_stub into `value` (ANSI code
  // page). E_INVALIDARG for a null name or output; E_FAIL, leaving `value` untouched, when the
  // plug-in gives no value (no such variable, no plug-in, no stub).
  virtual HRESULT GetMovieVariableA(const char* name, CSmallStr* value) = 0;
  // A non-zero flag gives the player window the keyboard focus; zero does nothing.
  virtual HRESULT SetFocus(int32_t focus) = 0;
  // Moves the player window to the rectangle (in the frame's client coordinates) and tells the
  // plug-in. E_FAIL when NPP_SetWindow fails.
  virtual HRESULT SetWindowRect(int32_t left, int32_t top, int32_t right, int32_t bottom) = 0;
  // Attaches the instance to `parent`: creates the player window over the parent's client area the
  // first time (and gives it the focus), then NPP_SetWindow. A null or dead parent detaches: the
  // plug-in gets an empty window record and the player window is destroyed. E_FAIL when
  // NPP_SetWindow fails.
  virtual HRESULT AttachToWindow(vexa::platform::WindowHandle parent) = 0;
  // Stores the movie size the instance is created with; creates the instance if it does not exist
  // yet (an existing one keeps its size until CloseMovie).
  virtual HRESULT SetMovieSize(int32_t width, int32_t height) = 0;
  // When the instance exists: drops queued requests unanswered, destroys the instance and creates
  // it again (without a window until the next attach).
  virtual HRESULT CloseMovie() = 0;
  // Reserved: E_FAIL.
  virtual HRESULT Reserved12() = 0;
  // Offered every message of the main loop before it is dispatched. Serves the queue of requests
  // and FSCommands first, then delivers the results added outside commands (DeliverResults). A
  // system key message for the player window is dispatched twice, as itself and as the plain key
  // message, and reported handled (S_OK); anything else is left to the caller (E_FAIL). A null
  // message only serves the queue and delivers (E_FAIL).
  virtual HRESULT PreTranslate(const vexa::platform::WindowMessage* message) = 0;
  // The player window, or null. E_POINTER for a null output.
  virtual HRESULT GetWindow(vexa::platform::WindowHandle* window) = 0;
  // Reserved: E_NOTIMPL.
  virtual HRESULT Reserved15() = 0;
  // Accepted and ignored: the instance's FlashVars are fixed.
  virtual HRESULT SetFlashVars(const char* text) = 0;
  // Stores a value nothing reads.
  virtual HRESULT SetOption(int32_t value) = 0;
  // Calls the movie's ActionScript function `name` with `args` (strings, VT_INT and VT_UINT; other
  // types are left out) through the scriptable object's CallFunction. When `result` is given and
  // the plug-in returns a string, `result` receives it as a VT_BSTR (the caller clears it). E_FAIL
  // when there is no scriptable object or the plug-in refuses the call (`result` untouched then).
  virtual HRESULT CallMovieFunction(const wchar_t* name, const VARIANT* args, int32_t count,
                                    VARIANT* result) = 0;
  // Names the movie function that receives command results (null clears it).
  virtual HRESULT SetResultCallback(const wchar_t* name) = 0;

 protected:
  ~IFlashHolder() = default;
};

class CFlashHolder : public IFlashHolder, public CPluginHost {
 public:
  static constexpr int32_t kDefaultWidth = 800;
  static constexpr int32_t kDefaultHeight = 600;

  CFlashHolder();
  // Drops queued messages and the result lists. Does not call the plug-in.
  ~CFlashHolder() override;

  // ---- IFlashHolder
  HRESULT LoadMovieIntoLayer(int32_t layer, const char* url, const char* alias) override;
  HRESULT LoadMovieData(int32_t layer, const char* text, int32_t length,
                        const char* alias) override;
  HRESULT OpenMovie(const char* url) override;
  HRESULT AddResult(const wchar_t* name, const wchar_t* text) override;
  HRESULT AddResultA(const char* name, const char* text) override;
  HRESULT GetMovieVariable(const wchar_t* name, CSmallStr* value) override;
  HRESULT GetMovieVariableA(const char* name, CSmallStr* value) override;
  HRESULT SetFocus(int32_t focus) override;
  HRESULT SetWindowRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  HRESULT AttachToWindow(vexa::platform::WindowHandle parent) override;
  HRESULT SetMovieSize(int32_t width, int32_t height) override;
  HRESULT CloseMovie() override;
  HRESULT Reserved12() override;
  HRESULT PreTranslate(const vexa::platform::WindowMessage* message) override;
  HRESULT GetWindow(vexa::platform::WindowHandle* window) override;
  HRESULT Reserved15() override;
  HRESULT SetFlashVars(const char* text) override;
  HRESULT SetOption(int32_t value) override;
  HRESULT CallMovieFunction(const wchar_t* name, const VARIANT* args, int32_t count,
                            VARIANT* result) override;
  HRESULT SetResultCallback(const wchar_t* name) override;

  // ---- Instance

  // NPP_New with MIME type "application/x-shockwave-flash", NP_EMBED and the nine embed arguments,
  // then NPP_GetValue for the scriptable object. A failing NPP_New is only recorded
  // (GetLastStatus); the instance counts as created either way. Without a plug-in to call (before
  // LoadPlugin, or one without NPP_New) nothing is created, and OpenMovie or SetMovieSize will try
  // again. Does nothing while the instance exists.
  void CreateInstance();
  // The host's one "instance created" flag (CPluginHost::IsInstanceCreated).
  bool IsCreated() const { return IsInstanceCreated(); }
  // Result of the last NPP_New or NPP_SetWindow.
  NPError GetLastStatus() const { return lastStatus_; }
  int32_t GetMovieWidth() const { return width_; }
  int32_t GetMovieHeight() const { return height_; }
  // The record last handed to NPP_SetWindow.
  const NPWindow& GetWindowRecord() const { return window_; }
  // The plug-in's scriptable object (one reference held by the holder), or null.
  NPObject* GetScriptableObject() const { return scriptable_; }
  int32_t GetOption() const { return option_; }

  // ---- Scripting bridge state

  // Receives FSCommands. Not owned; null drops them.
  void SetNotifySink(IFlashPlayerNotifySink* sink) { sink_ = sink; }
  IFlashPlayerNotifySink* GetNotifySink() const { return sink_; }
  // The values queued for the movie, oldest first (VT_BSTR each).
  const std::vector<VARIANT>& GetResults() const { return results_; }
  void ClearResults();
  // The result callback's name (narrow); empty when none.
  const CSmallStr& GetResultCallback() const { return callbackName_; }

  // ---- Results outside commands (see the file comment)

  // Brackets the serving of one FSCommand by the sink; nests.
  void EnterCommand() { ++commandDepth_; }
  void LeaveCommand() {
    if (commandDepth_ > 0) --commandDepth_;
  }
  bool IsServingCommand() const { return commandDepth_ > 0; }
  // Results added while no command was being served and not yet delivered, oldest first.
  const std::vector<VARIANT>& GetUndeliveredResults() const { return undelivered_; }
  // Calls the result callback with the undelivered results (PreTranslate does this). S_OK when the
  // movie accepted the call; S_FALSE when there was nothing to deliver, no callback name (the
  // values are dropped) or a command is being served; E_UNEXPECTED, keeping them, while there is no
  // movie to call; E_FAIL when the movie refused the call (the values are dropped).
  HRESULT DeliverResults();

 protected:
  // ShutdownPlugin's detach: AttachToWindow(null) while the instance exists.
  void DetachWindow() override;
  // Releases the scriptable object, then destroys the instance (CloseMovie and ShutdownPlugin
  // alike).
  void DestroyInstance() override;

 private:
  HRESULT CallStringStub(JRINativeStubFn stub, const std::string& utf8Name, CSmallStr* value);
  void ReleaseScriptable();
  void SetWindowRecord(vexa::platform::WindowHandle window, const vexa::platform::WindowRect& rect);

  int32_t width_ = kDefaultWidth;
  int32_t height_ = kDefaultHeight;
  IFlashPlayerNotifySink* sink_ = nullptr;
  NPError lastStatus_ = NPERR_NO_ERROR;
  NPWindow window_;
  vexa::platform::WindowHandle playerWindow_ = nullptr;
  NPObject* scriptable_ = nullptr;
  int32_t option_ = 0;
  // Appends `text` as a string result, and to the undelivered list as well when no command is
  // being served. The one place both AddResult forms build the result value.
  HRESULT AppendResult(std::wstring_view text);

  CSmallStr callbackName_;
  std::vector<VARIANT> results_;
  std::vector<VARIANT> undelivered_;
  int commandDepth_ = 0;
};

// The process-wide holder, created on first use and destroyed at exit.
CFlashHolder& FlashHolder();
