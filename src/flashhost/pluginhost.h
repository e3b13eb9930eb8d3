// The plug-in host: the carried plug-in library, the two NPAPI tables exchanged with it, the one
// instance record, and the queue through which the plug-in's requests are answered.
//
// Life of a host (all on the main window thread):
//   1. construction fills the browser table;
//   2. wiring: SetJRIPeer (the peer doubles as the "host started" flag), SetFileLoader;
//   3. LoadPlugin writes the carried image to a fresh temporary file, loads it and exchanges the
//      tables (NP_GetEntryPoints, then NP_Initialize);
//   4. the instance is created through NppNew and fed through OpenMovieStream and the queue, which
//      ServeNotifications works off on every message the main loop offers;
//   5. ShutdownPlugin detaches the window, destroys the instance and releases the library;
//   6. at process exit DeletePluginFiles (registered with atexit) deletes the temporary files.
//
// Every call into the plug-in goes through the Npp* members or a CPluginCall: each stores the host
// in the instance's browser data (ndata) first, which is how the browser table finds the host
// again, and none calls a table entry the plug-in left empty. The player window (instance creation,
// window, movie loading) builds on this class by deriving from it.
//
// Re-entry. The plug-in calls back into the host from inside the host's calls, and what it calls
// may close the movie or shut the plug-in down. So:
// - the instance has a generation, changed by every NPP_New and NPP_Destroy; a delivery (stream,
//   notification, queued command) belongs to the generation it started with and stops at the first
//   call into the plug-in after which the instance is no longer that one;
// - the host counts the plug-in's frames on the stack (its own calls into the plug-in, and the
//   browser entries the plug-in is calling); ShutdownPlugin with plug-in code on the stack does
//   everything but release the library, which follows when the last of the host's calls into the
//   plug-in returns (or, when the plug-in called from a frame of its own, at the next
//   FinishPendingUnload from the message loop);
// - JRI strings the plug-in makes while the host is calling it are the call's own and are freed
//   when the outermost call returns (flashhost/jrienv.h).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "data/loader.h"
#include "flashhost/notify.h"
#include "flashhost/npapi.h"
#include "platform/library.h"
#include "platform/oleauto.h"

// LoadPlugin: no temporary file could be made.
inline constexpr HRESULT E_PLUGIN_NO_TEMP_FILE = static_cast<HRESULT>(0x80640005u);
// LoadPlugin: the plug-in could not be written out, does not load as a library, or lacks
// NP_GetEntryPoints or NP_Initialize.
inline constexpr HRESULT E_PLUGIN_LOAD_FAILED = static_cast<HRESULT>(0x80640001u);

// Prefix of the temporary plug-in files' names.
inline constexpr char kPluginFilePrefix[] = "vexa.fl";

// Opens pages the plug-in wants shown in a browser window. It is only ever handed what navigation
// allowed (flashhost/navigation.h): a web or mail address, or a document's resolved path.
class IUrlOpener {
 public:
  virtual void OpenUrl(const char* url) = 0;

 protected:
  ~IUrlOpener() = default;
};

class CPluginHost {
 public:
  CPluginHost();
  // Destroys queued messages without serving them. Does not call the plug-in and does not release
  // the library (DeletePluginFiles does at exit).
  virtual ~CPluginHost();
  CPluginHost(const CPluginHost&) = delete;
  CPluginHost& operator=(const CPluginHost&) = delete;

  // ---- Wiring (before LoadPlugin) ----

  // The instance's JRI peer object. Non-null marks the host as started: only then are queued
  // messages served and does ShutdownPlugin act. Not owned.
  void SetJRIPeer(void* peer) { jriPeer_ = peer; }
  void* GetJRIPeer() const { return jriPeer_; }
  // The loader the file streams read through. Not owned; null makes every file an empty stream.
  void SetFileLoader(IFileLoader* loader) { fileLoader_ = loader; }
  IFileLoader* GetFileLoader() const { return fileLoader_; }
  // Where allowed navigation goes; null (the default) is the desktop shell. Not owned.
  void SetUrlOpener(IUrlOpener* opener) { urlOpener_ = opener; }
  // Replaces the image LoadPlugin writes out (default: GetCarriedPluginImage). The bytes are not
  // copied and must stay valid until LoadPlugin returns. Null or size 0 means no image.
  void SetPluginImage(const uint8_t* data, uint32_t size);

  // ---- Loading ----

  // Writes the image to a new temporary file (prefix kPluginFilePrefix, read-only, hidden, system,
  // temporary), registers it for deletion at exit, loads it, resolves the exports and calls
  // NP_GetEntryPoints with the plug-in table and NP_Initialize with the (refilled) browser table,
  // whose results are not examined. Returns S_OK, E_PLUGIN_NO_TEMP_FILE or E_PLUGIN_LOAD_FAILED
  // (nothing stays loaded then; the file, if any, is deleted at exit).
  // When the library is already loaded this does nothing and returns S_OK: the plug-in is
  // initialised once per load. While an unload is pending (a shutdown from inside a plug-in call)
  // the still-mapped library is taken up again: the exports are resolved and the tables exchanged
  // anew, as on a fresh load.
  HRESULT LoadPlugin();

  // When the host was started (JRI peer set): detaches the window (DetachWindow), destroys the
  // instance (DestroyInstance), clears the peer, drops queued messages, zeroes both tables and the
  // exports, and releases the library. Without a peer it does nothing at all.
  // Called with plug-in code on the stack (a closing command from inside a plug-in call), the
  // browser table and the library stay until that code has returned (see the file comment);
  // IsPluginLoaded is false from here on either way.
  void ShutdownPlugin();

  // Loaded, and not shut down.
  bool IsPluginLoaded() const { return module_ != nullptr && !unloadPending_; }
  // The library's code is in memory (loaded, or shut down with the unload pending): what the
  // plug-in's objects need for their deallocate.
  bool IsLibraryMapped() const { return module_ != nullptr; }
  // A shutdown happened with plug-in code on the stack, and the library is still mapped.
  bool IsUnloadPending() const { return unloadPending_; }
  // Completes a pending unload when no plug-in code is on the stack any more; the message loop
  // calls this (through the holder's PreTranslate). Returns true when nothing is pending after it.
  bool FinishPendingUnload();
  // The temporary file of the current or last load (wide form); empty before the first.
  const std::wstring& GetPluginFileName() const { return pluginFile_; }

  // ---- Tables and exports ----

  NPPluginFuncs* GetPluginFuncs() { return &pluginFuncs_; }
  NPNetscapeFuncs* GetBrowserFuncs() { return &browserFuncs_; }
  // The exported JRI stubs "Java_ShockwaveFlash_LoadMovie_stub" and
  // "Java_ShockwaveFlash_GetVariable_stub"; null when not exported or not loaded.
  JRINativeStubFn GetLoadMovieStub() const { return loadMovieStub_; }
  JRINativeStubFn GetGetVariableStub() const { return getVariableStub_; }

  // ---- The instance ----

  // The one instance record. Its browser data is this host during (and after) every plug-in call.
  NPP GetInstance() { return &instance_; }
  // True from an NppNew that reached the plug-in (also when NPP_New reported a failure) until
  // NppDestroy. An NppNew without a plug-in (no NPP_New entry) creates nothing.
  bool IsInstanceCreated() const { return instanceCreated_; }
  // Changes with every NPP_New and NPP_Destroy: a delivery compares it before and after each call
  // into the plug-in to learn whether the instance it serves is still there.
  uint32_t GetInstanceGeneration() const { return instanceGeneration_; }
  // Stores this host in `instance`'s browser data, as before every call into the plug-in.
  void PrepareCall(NPP instance);

  // Brackets one call into the plug-in made outside the Npp* members (JRI stubs, calls on the
  // plug-in's objects): stores the host in the instance's browser data, opens a JRI local frame,
  // and holds back an unload requested meanwhile until the outermost such call has returned.
  // Main window thread only; the host must outlive it.
  class CPluginCall {
   public:
    CPluginCall(CPluginHost* host, NPP instance);
    ~CPluginCall();
    CPluginCall(const CPluginCall&) = delete;
    CPluginCall& operator=(const CPluginCall&) = delete;

   private:
    CPluginHost* host_;
  };
  // Brackets one browser-table entry while the plug-in is calling it: its code is below on the
  // stack, so a shutdown meanwhile must leave the library mapped. Leaving it never unloads: the
  // plug-in is still to return into.
  class CPluginCallback {
   public:
    explicit CPluginCallback(CPluginHost* host);
    ~CPluginCallback();
    CPluginCallback(const CPluginCallback&) = delete;
    CPluginCallback& operator=(const CPluginCallback&) = delete;

   private:
    CPluginHost* host_;
  };
  // Whether plug-in code is on the stack below the caller, as far as the host can tell (its own
  // calls into the plug-in and the browser entries being called).
  bool IsPluginOnStack() const { return pluginCalls_ + pluginCallbacks_ > 0; }

  // Calls of the plug-in table. An entry the plug-in left empty is not called: functions with an
  // NPError result return NPERR_INVALID_FUNCTABLE_ERROR, NppWriteReady 0 and NppWrite -1.
  NPError NppNew(NPMIMEType type, uint16_t mode, int16_t argc, char* argn[], char* argv[],
                 NPSavedData* saved);
  // NPP_Destroy with a place for the plug-in's saved data; what it leaves there (allocated with the
  // host's memalloc) is released with memfree, as the next instance starts without saved data.
  NPError NppDestroy();
  NPError NppSetWindow(NPWindow* window);
  NPError NppGetValue(NPPVariable variable, void* value);
  NPError NppNewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                       uint16_t* stype);
  int32_t NppWriteReady(NPP instance, NPStream* stream);
  int32_t NppWrite(NPP instance, NPStream* stream, int32_t offset, int32_t len, void* buffer);
  NPError NppDestroyStream(NPP instance, NPStream* stream, NPReason reason);
  void NppURLNotify(NPP instance, const char* url, NPReason reason, void* notifyData);

  // ---- Requests and notifications ----

  // The browser table's geturlnotify. With a non-empty target the URL is navigation: it is handed
  // to the shell (or the URL opener) when ResolveNavigationTarget allows it (web and mail
  // addresses, documents; never a program or script), and nothing is queued. Otherwise a
  // CURLNotifyMessage is queued: the page-address request
  // (kPageAddressRequest) is answered from memory with PseudoPageUrl() + kPageAddressTail as
  // "text/html", every other URL from the file loader. Returns NPERR_NO_ERROR, or
  // NPERR_INVALID_URL for a null URL.
  NPError GetURLNotify(NPP instance, const char* url, const char* target, void* notifyData);

  // Appends a message to the queue (null is ignored). The message belongs to the current instance
  // generation: if the instance is destroyed before it is served, it is dropped unserved.
  void QueueNotification(std::unique_ptr<CNotifyMessage> message);
  // Destroys every queued message without processing it.
  void DropNotifications();
  size_t GetPendingNotificationCount() const { return queue_.size(); }

  // One pass over the queue: processes and destroys, oldest first, the messages that were queued
  // when the pass began; messages queued meanwhile (a movie requesting again from its load
  // handler) wait for the next pass, so the message loop always gets control back. Messages of an
  // instance that no longer exists are dropped. Does nothing, leaving the queue as it is, while the
  // host is not started or the plug-in has no NPP_URLNotify, and when called again from inside a
  // message being processed (the outer pass carries on in order).
  void ServeNotifications();

  // Delivers `url` at once as a file stream to the instance, with no NPP_URLNotify afterwards.
  // E_INVALIDARG for a null URL, else S_OK (also for a file that could not be read: the plug-in
  // then gets an empty stream; and with no plug-in loaded, when nothing is called).
  HRESULT OpenMovieStream(const char* url);

 protected:
  // ShutdownPlugin's first step. The default hands the plug-in an all-zero NPWindow when the
  // instance was created; a host with a real window replaces this to also destroy it.
  virtual void DetachWindow();
  // ShutdownPlugin's second step, and the way every host destroys its instance: the default calls
  // NppDestroy when the instance exists. A host holding plug-in objects releases them first (in
  // one order wherever the instance is destroyed) and then calls this.
  virtual void DestroyInstance();

 private:
  struct CQueuedMessage {
    uint64_t serial;
    uint32_t generation;
    std::unique_ptr<CNotifyMessage> message;
  };

  HRESULT InitializeLoaded(vexa::platform::LibraryHandle module);
  void OpenOutside(const char* url);
  void ReleaseLibrary();
  void LeaveCall();

  void* jriPeer_ = nullptr;
  IFileLoader* fileLoader_ = nullptr;
  IUrlOpener* urlOpener_ = nullptr;
  const uint8_t* imageOverride_ = nullptr;
  uint32_t imageOverrideSize_ = 0;
  bool useImageOverride_ = false;

  vexa::platform::LibraryHandle module_ = nullptr;
  std::wstring pluginFile_;
  JRINativeStubFn loadMovieStub_ = nullptr;
  JRINativeStubFn getVariableStub_ = nullptr;
  NP_InitializeFunc npInitialize_ = nullptr;
  NP_GetEntryPointsFunc npGetEntryPoints_ = nullptr;
  NPPluginFuncs pluginFuncs_;
  NPNetscapeFuncs browserFuncs_;

  NPP_t instance_ = {nullptr, nullptr};
  bool instanceCreated_ = false;
  uint32_t instanceGeneration_ = 0;

  int pluginCalls_ = 0;
  int pluginCallbacks_ = 0;
  bool unloadPending_ = false;

  std::deque<CQueuedMessage> queue_;
  uint64_t nextSerial_ = 0;
  bool serving_ = false;
};

// The exit clean-up: for every temporary plug-in file this process wrote, releases the library if
// it is still loaded, clears the read-only attribute and deletes the file. Registered with atexit
// by the first LoadPlugin that writes a file; may be called earlier (tests). Files that cannot be
// deleted stay listed for the next call.
void DeletePluginFiles();
