#include "flashhost/pluginhost.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "flashhost/browserfuncs.h"
#include "flashhost/carried_image.h"
#include "flashhost/jrienv.h"
#include "flashhost/navigation.h"
#include "flashhost/netscapestream.h"
#include "platform/codepage.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/hiddenfile.h"
#include "platform/process.h"
#include "platform/shell.h"

namespace {

// Temporary plug-in files written by this process, oldest first, kept for the exit clean-up. Never
// destroyed, so it is still there whenever the atexit handler runs.
std::vector<std::wstring>& PluginFiles() {
  static auto* files = new std::vector<std::wstring>();
  return *files;
}

void RememberPluginFile(const std::wstring& name) {
  static bool registered = false;
  PluginFiles().push_back(name);
  if (!registered) registered = std::atexit(DeletePluginFiles) == 0;
}

template <class TFunction>
TFunction FindExport(vexa::platform::LibraryHandle module, const char* name) {
  return reinterpret_cast<TFunction>(vexa::platform::FindLibrarySymbol(module, name));
}

}  // namespace

void DeletePluginFiles() {
  std::vector<std::wstring>& files = PluginFiles();
  std::vector<std::wstring> kept;
  for (const std::wstring& file : files) {
    const std::string name = vexa::platform::WideToAnsi(file);
    // A library nobody shut down is still mapped from the file, which keeps it from being deleted.
    if (vexa::platform::LibraryHandle loaded = vexa::platform::FindLoadedLibrary(name)) {
      vexa::platform::CloseLibrary(loaded);
    }
    if (vexa::platform::PathExists(name) && !vexa::platform::RemoveFile(name)) kept.push_back(file);
  }
  files.swap(kept);
}

CPluginHost::CPluginHost() {
  std::memset(&pluginFuncs_, 0, sizeof pluginFuncs_);
  FillBrowserFuncs(&browserFuncs_);
}

CPluginHost::~CPluginHost() {
  DropNotifications();
}

void CPluginHost::SetPluginImage(const uint8_t* data, uint32_t size) {
  imageOverride_ = data;
  imageOverrideSize_ = data ? size : 0;
  useImageOverride_ = true;
}

HRESULT CPluginHost::LoadPlugin() {
  if (module_ && !unloadPending_) return S_OK;
  if (unloadPending_ && !FinishPendingUnload()) {
    // Still mapped, with its code on the stack: take it up again rather than load a second copy.
    unloadPending_ = false;
    return InitializeLoaded(module_);
  }

  const uint8_t* image = nullptr;
  uint32_t imageSize = 0;
  if (useImageOverride_) {
    image = imageOverride_;
    imageSize = imageOverrideSize_;
  } else if (!GetCarriedPluginImage(&image, &imageSize)) {
    image = nullptr;
    imageSize = 0;
  }

  // The file is created exclusively under a fresh name, so two players never share one.
  std::string fileName;
  if (!vexa::platform::MakeTempFile(kPluginFilePrefix, &fileName)) return E_PLUGIN_NO_TEMP_FILE;
  pluginFile_ = vexa::platform::AnsiToWide(fileName);
  RememberPluginFile(pluginFile_);

  // A short write would load as a truncated library at best; refuse it here instead.
  if (!image || imageSize == 0 || !vexa::platform::WriteHiddenFile(fileName, image, imageSize)) {
    return E_PLUGIN_LOAD_FAILED;
  }

  vexa::platform::LibraryHandle module = vexa::platform::OpenLibrary(fileName, true);
  if (!module) return E_PLUGIN_LOAD_FAILED;
  const HRESULT hr = InitializeLoaded(module);
  if (FAILED(hr)) vexa::platform::CloseLibrary(module);
  return hr;
}

HRESULT CPluginHost::InitializeLoaded(vexa::platform::LibraryHandle module) {
  npGetEntryPoints_ = FindExport<NP_GetEntryPointsFunc>(module, "NP_GetEntryPoints");
  npInitialize_ = FindExport<NP_InitializeFunc>(module, "NP_Initialize");
  if (!npGetEntryPoints_ || !npInitialize_) {
    npGetEntryPoints_ = nullptr;
    npInitialize_ = nullptr;
    return E_PLUGIN_LOAD_FAILED;
  }
  module_ = module;
  loadMovieStub_ = FindExport<JRINativeStubFn>(module, "Java_ShockwaveFlash_LoadMovie_stub");
  getVariableStub_ = FindExport<JRINativeStubFn>(module, "Java_ShockwaveFlash_GetVariable_stub");

  std::memset(&pluginFuncs_, 0, sizeof pluginFuncs_);
  pluginFuncs_.size = sizeof pluginFuncs_;
  FillBrowserFuncs(&browserFuncs_);
  // Neither result is examined: a plug-in that fails here leaves table entries empty, and empty
  // entries are never called.
  npGetEntryPoints_(&pluginFuncs_);
  npInitialize_(&browserFuncs_);
  return S_OK;
}

void CPluginHost::ShutdownPlugin() {
  if (!jriPeer_) return;
  DetachWindow();
  DestroyInstance();
  jriPeer_ = nullptr;
  // Requests of the destroyed instance must not reach a later one: their notify data belongs to it.
  DropNotifications();
  // Nothing calls into the plug-in from here on: every call checks its table entry or export.
  std::memset(&pluginFuncs_, 0, sizeof pluginFuncs_);
  loadMovieStub_ = nullptr;
  getVariableStub_ = nullptr;
  npInitialize_ = nullptr;
  npGetEntryPoints_ = nullptr;
  instanceCreated_ = false;
  if (!module_) {
    std::memset(&browserFuncs_, 0, sizeof browserFuncs_);
    return;
  }
  // Plug-in code still on the stack returns into the library and may still read the browser
  // table through a pointer it kept: both stay until it has unwound.
  unloadPending_ = true;
  FinishPendingUnload();
}

bool CPluginHost::FinishPendingUnload() {
  if (!unloadPending_) return true;
  if (IsPluginOnStack()) return false;
  ReleaseLibrary();
  return true;
}

void CPluginHost::ReleaseLibrary() {
  std::memset(&browserFuncs_, 0, sizeof browserFuncs_);
  unloadPending_ = false;
  vexa::platform::LibraryHandle module = module_;
  module_ = nullptr;
  if (module) vexa::platform::CloseLibrary(module);
}

void CPluginHost::DetachWindow() {
  if (!instanceCreated_) return;
  NPWindow none;
  std::memset(&none, 0, sizeof none);
  NppSetWindow(&none);
}

void CPluginHost::DestroyInstance() {
  if (instanceCreated_) NppDestroy();
}

void CPluginHost::PrepareCall(NPP instance) {
  if (instance) instance->ndata = this;
}

CPluginHost::CPluginCall::CPluginCall(CPluginHost* host, NPP instance) : host_(host) {
  ++host_->pluginCalls_;
  CJRIEnvironment::Instance().EnterLocalFrame();
  host_->PrepareCall(instance);
}

CPluginHost::CPluginCall::~CPluginCall() {
  CJRIEnvironment::Instance().LeaveLocalFrame();
  host_->LeaveCall();
}

void CPluginHost::LeaveCall() {
  --pluginCalls_;
  // The outermost of the host's own calls has returned. Unless the plug-in itself called the host
  // that made it (a callback still open below), no plug-in code is left on the stack.
  if (unloadPending_) FinishPendingUnload();
}

CPluginHost::CPluginCallback::CPluginCallback(CPluginHost* host) : host_(host) {
  if (host_) ++host_->pluginCallbacks_;
}

CPluginHost::CPluginCallback::~CPluginCallback() {
  if (host_) --host_->pluginCallbacks_;
}

NPError CPluginHost::NppNew(NPMIMEType type, uint16_t mode, int16_t argc, char* argn[],
                            char* argv[], NPSavedData* saved) {
  if (!pluginFuncs_.newp) return NPERR_INVALID_FUNCTABLE_ERROR;
  // Anything the new instance asks for from inside NPP_New belongs to it already.
  ++instanceGeneration_;
  instanceCreated_ = true;
  CPluginCall call(this, &instance_);
  return pluginFuncs_.newp(type, &instance_, mode, argc, argn, argv, saved);
}

NPError CPluginHost::NppDestroy() {
  // Deliveries under way see the change at their next check, even one made from inside this call.
  // Without the entry the instance is just as gone for the host.
  ++instanceGeneration_;
  instanceCreated_ = false;
  if (!pluginFuncs_.destroy) return NPERR_INVALID_FUNCTABLE_ERROR;
  NPSavedData* saved = nullptr;
  NPError result;
  {
    CPluginCall call(this, &instance_);
    result = pluginFuncs_.destroy(&instance_, &saved);
  }
  // No later instance is handed saved data, so it is released now, with the allocator the plug-in
  // had to use for it.
  if (saved) {
    HostMemFree(saved->buf);
    HostMemFree(saved);
  }
  return result;
}

NPError CPluginHost::NppSetWindow(NPWindow* window) {
  if (!pluginFuncs_.setwindow) return NPERR_INVALID_FUNCTABLE_ERROR;
  CPluginCall call(this, &instance_);
  return pluginFuncs_.setwindow(&instance_, window);
}

NPError CPluginHost::NppGetValue(NPPVariable variable, void* value) {
  if (!pluginFuncs_.getvalue) return NPERR_INVALID_FUNCTABLE_ERROR;
  CPluginCall call(this, &instance_);
  return pluginFuncs_.getvalue(&instance_, variable, value);
}

NPError CPluginHost::NppNewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                                  uint16_t* stype) {
  if (!pluginFuncs_.newstream) return NPERR_INVALID_FUNCTABLE_ERROR;
  CPluginCall call(this, instance);
  return pluginFuncs_.newstream(instance, type, stream, seekable, stype);
}

int32_t CPluginHost::NppWriteReady(NPP instance, NPStream* stream) {
  if (!pluginFuncs_.writeready) return 0;
  CPluginCall call(this, instance);
  return pluginFuncs_.writeready(instance, stream);
}

int32_t CPluginHost::NppWrite(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                              void* buffer) {
  if (!pluginFuncs_.write) return -1;
  CPluginCall call(this, instance);
  return pluginFuncs_.write(instance, stream, offset, len, buffer);
}

NPError CPluginHost::NppDestroyStream(NPP instance, NPStream* stream, NPReason reason) {
  if (!pluginFuncs_.destroystream) return NPERR_INVALID_FUNCTABLE_ERROR;
  CPluginCall call(this, instance);
  return pluginFuncs_.destroystream(instance, stream, reason);
}

void CPluginHost::NppURLNotify(NPP instance, const char* url, NPReason reason, void* notifyData) {
  if (!pluginFuncs_.urlnotify) return;
  CPluginCall call(this, instance);
  pluginFuncs_.urlnotify(instance, url, reason, notifyData);
}

NPError CPluginHost::GetURLNotify(NPP instance, const char* url, const char* target,
                                  void* notifyData) {
  if (!url) return NPERR_INVALID_URL;
  if (target && *target) {
    OpenOutside(url);
    return NPERR_NO_ERROR;
  }
  std::unique_ptr<INetscapeStream> stream;
  if (std::strcmp(url, kPageAddressRequest) == 0) {
    CSmallStr page(PseudoPageUrl());
    page += kPageAddressTail;
    CSmartBuffer content;
    content.Assign(page.c_str(), page.GetLength());
    stream = std::make_unique<CNetscapeStream<CMemoryStorage>>(instance, "text/html", url,
                                                               notifyData, content);
  } else {
    stream = std::make_unique<CNetscapeStream<CFileStorage>>(instance, kFlashMimeType, url,
                                                             notifyData, fileLoader_);
  }
  QueueNotification(
      std::make_unique<CURLNotifyMessage>(std::move(stream), instance, url, notifyData));
  return NPERR_NO_ERROR;
}

void CPluginHost::OpenOutside(const char* url) {
  const CNavigationTarget navigation =
      ResolveNavigationTarget(url, vexa::platform::GetWorkingDirectory());
  if (!navigation.allowed) {
    vexa::platform::WriteDiagnostic("navigation",
                                    std::string("the movie asked to open '") + url +
                                        "', which was refused: " + navigation.refusal);
    return;
  }
  if (urlOpener_) {
    urlOpener_->OpenUrl(navigation.target.c_str());
  } else {
    vexa::platform::ShellOpen(navigation.target);
  }
}

void CPluginHost::QueueNotification(std::unique_ptr<CNotifyMessage> message) {
  if (!message) return;
  CQueuedMessage entry;
  entry.serial = nextSerial_++;
  entry.generation = instanceGeneration_;
  entry.message = std::move(message);
  queue_.push_back(std::move(entry));
}

void CPluginHost::DropNotifications() {
  // Destroying a message must not see it still queued (its destructor may be anything).
  std::deque<CQueuedMessage> dropped;
  dropped.swap(queue_);
}

void CPluginHost::ServeNotifications() {
  if (serving_) return;
  serving_ = true;
  // Only what was queued before the pass: a movie that asks again from inside the answer waits for
  // the next pass, and the message loop gets its turn in between.
  const uint64_t passEnd = nextSerial_;
  // The plug-in may shut the host down, close the movie or queue more from inside any message:
  // check every time.
  while (jriPeer_ && pluginFuncs_.urlnotify && !queue_.empty() && queue_.front().serial < passEnd) {
    CQueuedMessage entry = std::move(queue_.front());
    queue_.pop_front();
    // Its instance is gone: the notify data and the command mean nothing to the current one.
    if (entry.generation != instanceGeneration_) continue;
    entry.message->Process(this);
  }
  serving_ = false;
}

HRESULT CPluginHost::OpenMovieStream(const char* url) {
  if (!url) return E_INVALIDARG;
  CNetscapeStream<CFileStorage> stream(&instance_, kFlashMimeType, url, nullptr, fileLoader_);
  stream.Deliver(this);
  return S_OK;
}
