#include "fakes.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/process.h"

namespace {

FakePlugin* PluginOf(NPP instance) {
  return static_cast<FakePlugin*>(instance->pdata);
}

void Check(NPP instance) {
  FakePlugin* plugin = PluginOf(instance);
  if (instance->ndata != plugin->host) plugin->ndataAlwaysHost = false;
}

void RunOnce(std::function<void()>* hook) {
  if (!*hook) return;
  std::function<void()> run;
  run.swap(*hook);
  run();
}

std::string StreamText(const NPStream* stream) {
  return std::string("url=") + (stream->url ? stream->url : "(null)") +
         " end=" + std::to_string(stream->end) +
         " notify=" + std::to_string(reinterpret_cast<uintptr_t>(stream->notifyData));
}

NPError VEXA_CDECL FakeNew(NPMIMEType type, NPP instance, uint16_t mode, int16_t argc, char**,
                           char**, NPSavedData*) {
  Check(instance);
  PluginOf(instance)->log.push_back(std::string("New mime=") + (type ? type : "(null)") + " mode=" +
                                    std::to_string(mode) + " argc=" + std::to_string(argc));
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL FakeDestroy(NPP instance, NPSavedData** save) {
  Check(instance);
  FakePlugin* plugin = PluginOf(instance);
  plugin->log.push_back("Destroy");
  plugin->destroyGotSavePlace = save != nullptr;
  if (save && plugin->leaveSavedData) {
    // As NPAPI asks: both the record and its buffer from the browser's allocator.
    NPNetscapeFuncs* browser = plugin->host->GetBrowserFuncs();
    auto* saved = static_cast<NPSavedData*>(browser->memalloc(sizeof(NPSavedData)));
    saved->len = static_cast<int32_t>(plugin->savedBytes);
    saved->buf = browser->memalloc(plugin->savedBytes);
    *save = saved;
  }
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL FakeSetWindow(NPP instance, NPWindow* window) {
  Check(instance);
  PluginOf(instance)->log.push_back(std::string("SetWindow window=") +
                                    (window && window->window ? "set" : "null") +
                                    " width=" + std::to_string(window ? window->width : 0));
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL FakeNewStream(NPP instance, NPMIMEType type, NPStream* stream, NPBool seekable,
                                 uint16_t* stype) {
  Check(instance);
  FakePlugin* plugin = PluginOf(instance);
  plugin->log.push_back(std::string("NewStream mime=") + type +
                        " seekable=" + std::to_string(seekable) + " " + StreamText(stream) +
                        " lastmodified=" + std::to_string(stream->lastmodified) +
                        " headers=" + (stream->headers ? "set" : "null"));
  plugin->streamStart = plugin->received.size();
  *stype = plugin->askStreamType;
  RunOnce(&plugin->onNewStream);
  return NPERR_NO_ERROR;
}

int32_t VEXA_CDECL FakeWriteReady(NPP instance, NPStream*) {
  Check(instance);
  PluginOf(instance)->log.push_back("WriteReady");
  return 0x7FFFFFFF;
}

int32_t VEXA_CDECL FakeWrite(NPP instance, NPStream* stream, int32_t offset, int32_t len,
                             void* buffer) {
  Check(instance);
  FakePlugin* plugin = PluginOf(instance);
  int32_t take = len;
  if (!plugin->acceptPlan.empty()) {
    const size_t i = plugin->writeCalls < plugin->acceptPlan.size() ? plugin->writeCalls
                                                                    : plugin->acceptPlan.size() - 1;
    take = plugin->acceptPlan[i];
  }
  ++plugin->writeCalls;
  plugin->log.push_back("Write offset=" + std::to_string(offset) + " len=" + std::to_string(len) +
                        " end=" + std::to_string(stream->end));
  if (take > 0) {
    const int32_t copy = take < len ? take : len;
    // What arrives at this offset must continue what was taken so far.
    if (plugin->streamStart + static_cast<size_t>(offset) == plugin->received.size()) {
      plugin->received.append(static_cast<const char*>(buffer), static_cast<size_t>(copy));
    } else {
      plugin->received.append("<gap>");
    }
  }
  RunOnce(&plugin->onWrite);
  return take;
}

NPError VEXA_CDECL FakeDestroyStream(NPP instance, NPStream* stream, NPReason reason) {
  Check(instance);
  FakePlugin* plugin = PluginOf(instance);
  plugin->log.push_back("DestroyStream reason=" + std::to_string(reason) + " " +
                        StreamText(stream));
  RunOnce(&plugin->onDestroyStream);
  return NPERR_NO_ERROR;
}

void VEXA_CDECL FakeURLNotify(NPP instance, const char* url, NPReason reason, void* notifyData) {
  Check(instance);
  FakePlugin* plugin = PluginOf(instance);
  plugin->log.push_back(std::string("URLNotify url=") + url + " reason=" + std::to_string(reason) +
                        " notify=" + std::to_string(reinterpret_cast<uintptr_t>(notifyData)));
  std::vector<std::string> again;
  again.swap(plugin->requestOnNotify);
  for (const std::string& next : again) {
    plugin->host->GetBrowserFuncs()->geturlnotify(instance, next.c_str(), nullptr, nullptr);
  }
}

NPError VEXA_CDECL FakeGetValue(NPP instance, NPPVariable variable, void*) {
  Check(instance);
  PluginOf(instance)->log.push_back("GetValue " + std::to_string(variable));
  return NPERR_GENERIC_ERROR;
}

}  // namespace

void InstallFakePlugin(CPluginHost* host, FakePlugin* plugin) {
  plugin->host = host;
  host->GetInstance()->pdata = plugin;
  NPPluginFuncs* funcs = host->GetPluginFuncs();
  std::memset(funcs, 0, sizeof *funcs);
  funcs->size = sizeof *funcs;
  funcs->newp = FakeNew;
  funcs->destroy = FakeDestroy;
  funcs->setwindow = FakeSetWindow;
  funcs->newstream = FakeNewStream;
  funcs->destroystream = FakeDestroyStream;
  funcs->writeready = FakeWriteReady;
  funcs->write = FakeWrite;
  funcs->urlnotify = FakeURLNotify;
  funcs->getvalue = FakeGetValue;
}

HRESULT CFakeLoader::Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
                          const char* packageName) {
  *data = nullptr;
  *size = 0;
  loads.push_back(path ? path : "(null)");
  packageNames.push_back(packageName ? packageName : "(null)");
  if (baseUrl) *baseUrl = "http://game.invalid/data.pak/end_of_story\\";
  auto it = files.find(path ? path : "");
  if (it == files.end()) return E_FAIL;
  *data = new uint8_t[it->second.size()];
  std::memcpy(*data, it->second.data(), it->second.size());
  *size = static_cast<int32_t>(it->second.size());
  return S_OK;
}

HRESULT CFakeLoader::LoadFromPackage(const char*, const char*, const char*, uint8_t** data,
                                     int32_t* size, CSmallStr*) {
  ++otherCalls;
  *data = nullptr;
  *size = 0;
  return E_FAIL;
}

HRESULT CFakeLoader::LoadFromDisk(const char*, uint8_t** data, int32_t* size, CSmallStr*) {
  ++otherCalls;
  *data = nullptr;
  *size = 0;
  return E_FAIL;
}

CWorkingDirectoryChange::CWorkingDirectoryChange(const std::string& folder)
    : before_(vexa::platform::GetWorkingDirectory()),
      ok_(vexa::platform::SetWorkingDirectory(folder)) {}

CWorkingDirectoryChange::~CWorkingDirectoryChange() {
  if (ok_) vexa::platform::SetWorkingDirectory(before_);
}
