#include "flashhost/browserfuncs.h"

#include <atomic>
#include <cstring>
#include <new>

#include "flashhost/pluginhost.h"

namespace {

IBrowserScripting* g_scripting = nullptr;

// ---- Network entries: there is no network, and only geturlnotify is served. ----

NPError VEXA_CDECL GetURL(NPP, const char*, const char*) {
  return NPERR_NO_DATA;
}

NPError VEXA_CDECL PostURL(NPP, const char*, const char*, uint32_t, const char*, NPBool) {
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL RequestRead(NPStream*, NPByteRange*) {
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL NewStream(NPP, NPMIMEType, const char*, NPStream**) {
  return NPERR_NO_ERROR;
}

int32_t VEXA_CDECL Write(NPP, NPStream*, int32_t, void*) {
  return 0;
}

NPError VEXA_CDECL DestroyStream(NPP, NPStream*, NPReason) {
  return NPERR_NO_ERROR;
}

void VEXA_CDECL Status(NPP, const char*) {}

const char* VEXA_CDECL UserAgent(NPP) {
  return kBrowserUserAgent;
}

// ---- Memory: the host's allocator, so blocks cross the interface in both directions. ----

void* VEXA_CDECL MemAlloc(uint32_t size) {
  return HostMemAlloc(size);
}

void VEXA_CDECL MemFree(void* block) {
  HostMemFree(block);
}

void VEXA_CDECL ReloadPlugins(NPBool) {}

// ---- Java ----

JRIEnv* VEXA_CDECL GetJavaEnv() {
  return g_scripting ? g_scripting->GetJavaEnv() : nullptr;
}

jref VEXA_CDECL GetJavaPeer(NPP instance) {
  return instance ? instance->ndata : nullptr;
}

NPError VEXA_CDECL GetURLNotify(NPP instance, const char* url, const char* target,
                                void* notifyData) {
  CPluginHost* host = HostOfInstance(instance);
  if (!host) return NPERR_INVALID_INSTANCE_ERROR;
  CPluginHost::CPluginCallback callback(host);
  return host->GetURLNotify(instance, url, target, notifyData);
}

NPError VEXA_CDECL PostURLNotify(NPP, const char*, const char*, uint32_t, const char*, NPBool,
                                 void*) {
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL GetValue(NPP instance, NPNVariable variable, void* value) {
  if (variable != NPNVWindowNPObject) return NPERR_NO_ERROR;
  if (!value) return NPERR_INVALID_PARAM;
  if (!g_scripting) return NPERR_GENERIC_ERROR;
  CPluginHost::CPluginCallback callback(HostOfInstance(instance));
  NPObject* window = g_scripting->CreateWindowObject(HostOfInstance(instance), instance);
  if (!window) return NPERR_GENERIC_ERROR;
  *static_cast<NPObject**>(value) = window;
  return NPERR_NO_ERROR;
}

NPError VEXA_CDECL SetValue(NPP, NPPVariable, void*) {
  return NPERR_NO_ERROR;
}

// ---- Identifiers: an identifier is the plug-in's own name string. ----

NPIdentifier VEXA_CDECL GetStringIdentifier(const NPUTF8* name) {
  return const_cast<NPUTF8*>(name);
}

NPUTF8* VEXA_CDECL UTF8FromIdentifier(NPIdentifier identifier) {
  if (!identifier) return nullptr;
  const char* name = static_cast<const char*>(identifier);
  const size_t length = std::strlen(name);
  if (length >= UINT32_MAX) return nullptr;
  // The plug-in frees the copy with memfree, so it comes from memalloc.
  auto* copy = static_cast<char*>(HostMemAlloc(static_cast<uint32_t>(length + 1)));
  if (copy) std::memcpy(copy, name, length + 1);
  return copy;
}

int32_t VEXA_CDECL IntFromIdentifier(NPIdentifier) {
  return 0;
}

// ---- Objects ----

NPObject* VEXA_CDECL CreateObject(NPP instance, NPClass* objectClass) {
  if (!instance || !objectClass || !objectClass->allocate) return nullptr;
  // The class's allocate sets the class pointer and the reference count itself.
  return objectClass->allocate(instance, objectClass);
}

NPObject* VEXA_CDECL RetainObject(NPObject* object) {
  if (object) ++object->referenceCount;
  return object;
}

void VEXA_CDECL ReleaseObject(NPObject* object) {
  // A release beyond the last reference is ignored rather than wrapping the count round.
  if (!object || object->referenceCount == 0) return;
  if (--object->referenceCount != 0) return;
  if (object->_class && object->_class->deallocate) object->_class->deallocate(object);
}

bool VEXA_CDECL Invoke(NPP instance, NPObject* object, NPIdentifier method, const NPVariant* args,
                       uint32_t argCount, NPVariant* result) {
  if (!g_scripting) return false;
  CPluginHost::CPluginCallback callback(HostOfInstance(instance));
  return g_scripting->Invoke(HostOfInstance(instance), instance, object, method, args, argCount,
                             result);
}

bool VEXA_CDECL InvokeDefault(NPP, NPObject*, const NPVariant*, uint32_t, NPVariant*) {
  return false;
}

bool VEXA_CDECL Evaluate(NPP instance, NPObject* object, NPString* script, NPVariant* result) {
  if (!g_scripting) return false;
  CPluginHost::CPluginCallback callback(HostOfInstance(instance));
  return g_scripting->Evaluate(HostOfInstance(instance), instance, object, script, result);
}

bool VEXA_CDECL GetProperty(NPP instance, NPObject* object, NPIdentifier name, NPVariant* result) {
  if (!g_scripting) return false;
  CPluginHost::CPluginCallback callback(HostOfInstance(instance));
  return g_scripting->GetProperty(HostOfInstance(instance), instance, object, name, result);
}

bool VEXA_CDECL SetProperty(NPP, NPObject*, NPIdentifier, const NPVariant*) {
  return false;
}

bool VEXA_CDECL RemoveProperty(NPP, NPObject*, NPIdentifier) {
  return false;
}

bool VEXA_CDECL HasProperty(NPP, NPObject*, NPIdentifier) {
  return false;
}

bool VEXA_CDECL HasMethod(NPP, NPObject*, NPIdentifier) {
  return false;
}

void VEXA_CDECL ReleaseVariantValue(NPVariant* variant) {
  // Strings the host hands out point to constant text: only objects hold something to release.
  if (variant && variant->type == NPVariantType_Object) ReleaseObject(variant->value.objectValue);
}

void VEXA_CDECL SetException(NPObject*, const NPUTF8*) {}

void VEXA_CDECL PushPopupsEnabledState(NPP, NPBool) {}

void VEXA_CDECL PopPopupsEnabledState(NPP) {}

std::atomic<size_t> g_hostBlocks{0};

}  // namespace

void* HostMemAlloc(uint32_t size) {
  void* block = new (std::nothrow) uint8_t[size ? size : 1];
  if (block) ++g_hostBlocks;
  return block;
}

void HostMemFree(void* block) {
  if (!block) return;
  --g_hostBlocks;
  delete[] static_cast<uint8_t*>(block);
}

size_t CountHostBlocks() {
  return g_hostBlocks.load();
}

void SetBrowserScripting(IBrowserScripting* scripting) {
  g_scripting = scripting;
}

IBrowserScripting* GetBrowserScripting() {
  return g_scripting;
}

CPluginHost* HostOfInstance(NPP instance) {
  return instance ? static_cast<CPluginHost*>(instance->ndata) : nullptr;
}

void FillBrowserFuncs(NPNetscapeFuncs* funcs) {
  if (!funcs) return;
  std::memset(funcs, 0, sizeof *funcs);
  funcs->size = sizeof *funcs;
  funcs->version = kBrowserFuncsVersion;
  funcs->geturl = GetURL;
  funcs->posturl = PostURL;
  funcs->requestread = RequestRead;
  funcs->newstream = NewStream;
  funcs->write = Write;
  funcs->destroystream = DestroyStream;
  funcs->status = Status;
  funcs->uagent = UserAgent;
  funcs->memalloc = MemAlloc;
  funcs->memfree = MemFree;
  funcs->memflush = nullptr;
  funcs->reloadplugins = ReloadPlugins;
  funcs->getJavaEnv = GetJavaEnv;
  funcs->getJavaPeer = GetJavaPeer;
  funcs->geturlnotify = GetURLNotify;
  funcs->posturlnotify = PostURLNotify;
  funcs->getvalue = GetValue;
  funcs->setvalue = SetValue;
  funcs->invalidaterect = nullptr;
  funcs->invalidateregion = nullptr;
  funcs->forceredraw = nullptr;
  funcs->getstringidentifier = GetStringIdentifier;
  funcs->getstringidentifiers = nullptr;
  funcs->getintidentifier = nullptr;
  funcs->identifierisstring = nullptr;
  funcs->utf8fromidentifier = UTF8FromIdentifier;
  funcs->intfromidentifier = IntFromIdentifier;
  funcs->createobject = CreateObject;
  funcs->retainobject = RetainObject;
  funcs->releaseobject = ReleaseObject;
  funcs->invoke = Invoke;
  funcs->invokeDefault = InvokeDefault;
  funcs->evaluate = Evaluate;
  funcs->getproperty = GetProperty;
  funcs->setproperty = SetProperty;
  funcs->removeproperty = RemoveProperty;
  funcs->hasproperty = HasProperty;
  funcs->hasmethod = HasMethod;
  funcs->releasevariantvalue = ReleaseVariantValue;
  funcs->setexception = SetException;
  funcs->pushpopupsenabledstate = PushPopupsEnabledState;
  funcs->poppopupsenabledstate = PopPopupsEnabledState;
}
