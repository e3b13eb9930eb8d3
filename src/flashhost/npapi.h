// The NPAPI surface shared by the player (browser side) and a plug-in library: basic types, the
// instance, stream and window records, the scripting (npruntime) types, and the two function tables
// exchanged at load time.
//
// Layout is what matters here: the other side of every structure may be foreign code built by
// another compiler, so on targets with 4-byte pointers the sizes and offsets of 32-bit Windows are
// asserted below. The window record has the Windows form (no windowing-system info), which is the
// only form this project uses on every target.
//
// Conventions across the interface:
// - NP_GetEntryPoints, NP_Initialize and NP_Shutdown are VEXA_STDCALL; every table entry and every
//   NPClass callback is cdecl (VEXA_CDECL).
// - Memory that crosses the interface (strings in result variants, identifier texts) is allocated
// and
//   freed with the browser's memalloc/memfree entries.
// - Objects returned by createobject, retainobject, invoke and getproperty carry one reference that
// the
//   receiver must release.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flashhost/jri.h"
#include "platform/callconv.h"

// ---------------------------------------------------------------------------------------------
// Basic types and constants

typedef unsigned char NPBool;
typedef int16_t NPError;
typedef int16_t NPReason;
typedef char* NPMIMEType;
typedef char NPUTF8;
typedef void* NPIdentifier;
typedef void* NPRegion;

constexpr uint16_t NP_VERSION_MAJOR = 0;
constexpr uint16_t NP_VERSION_MINOR = 22;

constexpr NPError NPERR_NO_ERROR = 0;
constexpr NPError NPERR_GENERIC_ERROR = 1;
constexpr NPError NPERR_INVALID_INSTANCE_ERROR = 2;
constexpr NPError NPERR_INVALID_FUNCTABLE_ERROR = 3;
constexpr NPError NPERR_MODULE_LOAD_FAILED_ERROR = 4;
constexpr NPError NPERR_OUT_OF_MEMORY_ERROR = 5;
constexpr NPError NPERR_INVALID_PLUGIN_ERROR = 6;
constexpr NPError NPERR_INVALID_PLUGIN_DIR_ERROR = 7;
constexpr NPError NPERR_INCOMPATIBLE_VERSION_ERROR = 8;
constexpr NPError NPERR_INVALID_PARAM = 9;
constexpr NPError NPERR_INVALID_URL = 10;
constexpr NPError NPERR_FILE_NOT_FOUND = 11;
constexpr NPError NPERR_NO_DATA = 12;
constexpr NPError NPERR_STREAM_NOT_SEEKABLE = 13;

constexpr NPReason NPRES_DONE = 0;
constexpr NPReason NPRES_NETWORK_ERR = 1;
constexpr NPReason NPRES_USER_BREAK = 2;

// Instance modes passed to NPP_New.
constexpr uint16_t NP_EMBED = 1;
constexpr uint16_t NP_FULL = 2;

// Stream types a plug-in may ask for in NPP_NewStream.
constexpr uint16_t NP_NORMAL = 1;
constexpr uint16_t NP_SEEK = 2;
constexpr uint16_t NP_ASFILE = 3;
constexpr uint16_t NP_ASFILEONLY = 4;

constexpr int32_t NP_MAXREADY = 0x7FFFFFFF;

// Variables the browser asks the plug-in for (NPP_GetValue) or the plug-in sets (NPN_SetValue).
enum NPPVariable {
  NPPVpluginNameString = 1,
  NPPVpluginDescriptionString = 2,
  NPPVpluginWindowBool = 3,
  NPPVpluginTransparentBool = 4,
  NPPVjavaClass = 5,
  NPPVpluginWindowSize = 6,
  NPPVpluginTimerInterval = 7,
  NPPVpluginScriptableInstance = 10,
  NPPVpluginScriptableIID = 11,
  NPPVjavascriptPushCallerBool = 12,
  NPPVpluginKeepLibraryInMemory = 13,
  NPPVpluginNeedsXEmbed = 14,
  NPPVpluginScriptableNPObject = 15,
  NPPVformValue = 16,
  NPPVpluginUrlRequestsDisplayedBool = 17,
  NPPVpluginWantsAllNetworkStreams = 18,
};

// Variables the plug-in asks the browser for (NPN_GetValue) or the browser sets (NPP_SetValue).
enum NPNVariable {
  NPNVxDisplay = 1,
  NPNVxtAppContext = 2,
  NPNVnetscapeWindow = 3,
  NPNVjavascriptEnabledBool = 4,
  NPNVasdEnabledBool = 5,
  NPNVisOfflineBool = 6,
  NPNVserviceManager = 10,
  NPNVDOMElement = 11,
  NPNVDOMWindow = 12,
  NPNVToolkit = 13,
  NPNVSupportsXEmbedBool = 14,
  NPNVWindowNPObject = 15,
  NPNVPluginElementNPObject = 16,
  NPNVSupportsWindowless = 17,
  NPNVprivateModeBool = 18,
};

enum NPWindowType {
  NPWindowTypeWindow = 1,
  NPWindowTypeDrawable = 2,
};

// ---------------------------------------------------------------------------------------------
// Records

// One plug-in instance. `pdata` belongs to the plug-in, `ndata` to the browser.
struct NPP_t {
  void* pdata;
  void* ndata;
};
typedef NPP_t* NPP;

// A stream from browser to plug-in. `pdata` belongs to the plug-in, `ndata` to the browser; `url`
// and `headers` stay valid until NPP_DestroyStream returns. `end` is the total length (0 if
// unknown) and `notifyData` what the plug-in passed with its request.
struct NPStream {
  void* pdata;
  void* ndata;
  const char* url;
  uint32_t end;
  uint32_t lastmodified;
  void* notifyData;
  const char* headers;
};

struct NPByteRange {
  int32_t offset;
  uint32_t length;
  NPByteRange* next;
};

struct NPSavedData {
  int32_t len;
  void* buf;
};

struct NPRect {
  uint16_t top;
  uint16_t left;
  uint16_t bottom;
  uint16_t right;
};

// The plug-in's window. `window` is the native window handle (an HWND on Windows); x and y place it
// in its parent, `clipRect` is the visible part in the parent's coordinates. An all-zero record
// means the plug-in has no window.
struct NPWindow {
  void* window;
  int32_t x;
  int32_t y;
  uint32_t width;
  uint32_t height;
  NPRect clipRect;
  NPWindowType type;
};

struct NPFullPrint {
  NPBool pluginPrinted;
  NPBool printOne;
  void* platformPrint;
};

struct NPEmbedPrint {
  NPWindow window;
  void* platformPrint;
};

struct NPPrint {
  uint16_t mode;
  union {
    NPFullPrint fullPrint;
    NPEmbedPrint embedPrint;
  } print;
};

// An event for NPP_HandleEvent in the Windows form: a window message number and its two parameters.
struct NPEvent {
  uint16_t event;
  uintptr_t wParam;
  intptr_t lParam;
};

// ---------------------------------------------------------------------------------------------
// Scripting (npruntime)

// A UTF-8 text with its length in bytes; not necessarily terminated.
struct NPString {
  const NPUTF8* UTF8Characters;
  uint32_t UTF8Length;
};

enum NPVariantType {
  NPVariantType_Void = 0,
  NPVariantType_Null = 1,
  NPVariantType_Bool = 2,
  NPVariantType_Int32 = 3,
  NPVariantType_Double = 4,
  NPVariantType_String = 5,
  NPVariantType_Object = 6,
};

struct NPObject;
struct NPClass;

// The value is 8-byte aligned as on Windows, whatever the target's own rule for doubles.
struct NPVariant {
  NPVariantType type;
  union alignas(8) {
    bool boolValue;
    int32_t intValue;
    double doubleValue;
    NPString stringValue;
    NPObject* objectValue;
  } value;
};

typedef NPObject*(VEXA_CDECL* NPAllocateFunctionPtr)(NPP npp, NPClass* aClass);
typedef void(VEXA_CDECL* NPDeallocateFunctionPtr)(NPObject* npobj);
typedef void(VEXA_CDECL* NPInvalidateFunctionPtr)(NPObject* npobj);
typedef bool(VEXA_CDECL* NPHasMethodFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool(VEXA_CDECL* NPInvokeFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                              const NPVariant* args, uint32_t argCount,
                                              NPVariant* result);
typedef bool(VEXA_CDECL* NPInvokeDefaultFunctionPtr)(NPObject* npobj, const NPVariant* args,
                                                     uint32_t argCount, NPVariant* result);
typedef bool(VEXA_CDECL* NPHasPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool(VEXA_CDECL* NPGetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                                   NPVariant* result);
typedef bool(VEXA_CDECL* NPSetPropertyFunctionPtr)(NPObject* npobj, NPIdentifier name,
                                                   const NPVariant* value);
typedef bool(VEXA_CDECL* NPRemovePropertyFunctionPtr)(NPObject* npobj, NPIdentifier name);
typedef bool(VEXA_CDECL* NPEnumerationFunctionPtr)(NPObject* npobj, NPIdentifier** value,
                                                   uint32_t* count);
typedef bool(VEXA_CDECL* NPConstructFunctionPtr)(NPObject* npobj, const NPVariant* args,
                                                 uint32_t argCount, NPVariant* result);

// Version 1 ends after removeProperty, version 2 adds enumerate, version 3 adds construct.
constexpr uint32_t NP_CLASS_STRUCT_VERSION = 3;

struct NPClass {
  uint32_t structVersion;
  NPAllocateFunctionPtr allocate;
  NPDeallocateFunctionPtr deallocate;
  NPInvalidateFunctionPtr invalidate;
  NPHasMethodFunctionPtr hasMethod;
  NPInvokeFunctionPtr invoke;
  NPInvokeDefaultFunctionPtr invokeDefault;
  NPHasPropertyFunctionPtr hasProperty;
  NPGetPropertyFunctionPtr getProperty;
  NPSetPropertyFunctionPtr setProperty;
  NPRemovePropertyFunctionPtr removeProperty;
  NPEnumerationFunctionPtr enumerate;
  NPConstructFunctionPtr construct;
};

// The common head of every scripting object; the implementer's data follows it.
struct NPObject {
  NPClass* _class;
  uint32_t referenceCount;
};

// ---------------------------------------------------------------------------------------------
// Plug-in side entries (NPP_*), in table order

typedef NPError(VEXA_CDECL* NPP_NewProcPtr)(NPMIMEType pluginType, NPP instance, uint16_t mode,
                                            int16_t argc, char* argn[], char* argv[],
                                            NPSavedData* saved);
typedef NPError(VEXA_CDECL* NPP_DestroyProcPtr)(NPP instance, NPSavedData** save);
typedef NPError(VEXA_CDECL* NPP_SetWindowProcPtr)(NPP instance, NPWindow* window);
typedef NPError(VEXA_CDECL* NPP_NewStreamProcPtr)(NPP instance, NPMIMEType type, NPStream* stream,
                                                  NPBool seekable, uint16_t* stype);
typedef NPError(VEXA_CDECL* NPP_DestroyStreamProcPtr)(NPP instance, NPStream* stream,
                                                      NPReason reason);
typedef void(VEXA_CDECL* NPP_StreamAsFileProcPtr)(NPP instance, NPStream* stream,
                                                  const char* fname);
typedef int32_t(VEXA_CDECL* NPP_WriteReadyProcPtr)(NPP instance, NPStream* stream);
typedef int32_t(VEXA_CDECL* NPP_WriteProcPtr)(NPP instance, NPStream* stream, int32_t offset,
                                              int32_t len, void* buffer);
typedef void(VEXA_CDECL* NPP_PrintProcPtr)(NPP instance, NPPrint* platformPrint);
typedef int16_t(VEXA_CDECL* NPP_HandleEventProcPtr)(NPP instance, void* event);
typedef void(VEXA_CDECL* NPP_URLNotifyProcPtr)(NPP instance, const char* url, NPReason reason,
                                               void* notifyData);
typedef NPError(VEXA_CDECL* NPP_GetValueProcPtr)(NPP instance, NPPVariable variable, void* value);
typedef NPError(VEXA_CDECL* NPP_SetValueProcPtr)(NPP instance, NPNVariable variable, void* value);

// Filled by the plug-in in NP_GetEntryPoints. `javaClass` is a data pointer, not a function.
struct NPPluginFuncs {
  uint16_t size;
  uint16_t version;
  NPP_NewProcPtr newp;
  NPP_DestroyProcPtr destroy;
  NPP_SetWindowProcPtr setwindow;
  NPP_NewStreamProcPtr newstream;
  NPP_DestroyStreamProcPtr destroystream;
  NPP_StreamAsFileProcPtr asfile;
  NPP_WriteReadyProcPtr writeready;
  NPP_WriteProcPtr write;
  NPP_PrintProcPtr print;
  NPP_HandleEventProcPtr event;
  NPP_URLNotifyProcPtr urlnotify;
  void* javaClass;
  NPP_GetValueProcPtr getvalue;
  NPP_SetValueProcPtr setvalue;
};

// ---------------------------------------------------------------------------------------------
// Browser side entries (NPN_*), in table order

typedef NPError(VEXA_CDECL* NPN_GetURLProcPtr)(NPP instance, const char* url, const char* window);
typedef NPError(VEXA_CDECL* NPN_PostURLProcPtr)(NPP instance, const char* url, const char* window,
                                                uint32_t len, const char* buf, NPBool file);
typedef NPError(VEXA_CDECL* NPN_RequestReadProcPtr)(NPStream* stream, NPByteRange* rangeList);
typedef NPError(VEXA_CDECL* NPN_NewStreamProcPtr)(NPP instance, NPMIMEType type, const char* window,
                                                  NPStream** stream);
typedef int32_t(VEXA_CDECL* NPN_WriteProcPtr)(NPP instance, NPStream* stream, int32_t len,
                                              void* buffer);
typedef NPError(VEXA_CDECL* NPN_DestroyStreamProcPtr)(NPP instance, NPStream* stream,
                                                      NPReason reason);
typedef void(VEXA_CDECL* NPN_StatusProcPtr)(NPP instance, const char* message);
typedef const char*(VEXA_CDECL* NPN_UserAgentProcPtr)(NPP instance);
typedef void*(VEXA_CDECL* NPN_MemAllocProcPtr)(uint32_t size);
typedef void(VEXA_CDECL* NPN_MemFreeProcPtr)(void* ptr);
typedef uint32_t(VEXA_CDECL* NPN_MemFlushProcPtr)(uint32_t size);
typedef void(VEXA_CDECL* NPN_ReloadPluginsProcPtr)(NPBool reloadPages);
typedef JRIEnv*(VEXA_CDECL* NPN_GetJavaEnvProcPtr)(void);
typedef jref(VEXA_CDECL* NPN_GetJavaPeerProcPtr)(NPP instance);
typedef NPError(VEXA_CDECL* NPN_GetURLNotifyProcPtr)(NPP instance, const char* url,
                                                     const char* window, void* notifyData);
typedef NPError(VEXA_CDECL* NPN_PostURLNotifyProcPtr)(NPP instance, const char* url,
                                                      const char* window, uint32_t len,
                                                      const char* buf, NPBool file,
                                                      void* notifyData);
typedef NPError(VEXA_CDECL* NPN_GetValueProcPtr)(NPP instance, NPNVariable variable, void* value);
typedef NPError(VEXA_CDECL* NPN_SetValueProcPtr)(NPP instance, NPPVariable variable, void* value);
typedef void(VEXA_CDECL* NPN_InvalidateRectProcPtr)(NPP instance, NPRect* rect);
typedef void(VEXA_CDECL* NPN_InvalidateRegionProcPtr)(NPP instance, NPRegion region);
typedef void(VEXA_CDECL* NPN_ForceRedrawProcPtr)(NPP instance);
typedef NPIdentifier(VEXA_CDECL* NPN_GetStringIdentifierProcPtr)(const NPUTF8* name);
typedef void(VEXA_CDECL* NPN_GetStringIdentifiersProcPtr)(const NPUTF8** names, int32_t nameCount,
                                                          NPIdentifier* identifiers);
typedef NPIdentifier(VEXA_CDECL* NPN_GetIntIdentifierProcPtr)(int32_t intid);
typedef bool(VEXA_CDECL* NPN_IdentifierIsStringProcPtr)(NPIdentifier identifier);
// The text is allocated with memalloc; the caller frees it with memfree.
typedef NPUTF8*(VEXA_CDECL* NPN_UTF8FromIdentifierProcPtr)(NPIdentifier identifier);
typedef int32_t(VEXA_CDECL* NPN_IntFromIdentifierProcPtr)(NPIdentifier identifier);
typedef NPObject*(VEXA_CDECL* NPN_CreateObjectProcPtr)(NPP npp, NPClass* aClass);
typedef NPObject*(VEXA_CDECL* NPN_RetainObjectProcPtr)(NPObject* obj);
typedef void(VEXA_CDECL* NPN_ReleaseObjectProcPtr)(NPObject* obj);
typedef bool(VEXA_CDECL* NPN_InvokeProcPtr)(NPP npp, NPObject* obj, NPIdentifier methodName,
                                            const NPVariant* args, uint32_t argCount,
                                            NPVariant* result);
typedef bool(VEXA_CDECL* NPN_InvokeDefaultProcPtr)(NPP npp, NPObject* obj, const NPVariant* args,
                                                   uint32_t argCount, NPVariant* result);
typedef bool(VEXA_CDECL* NPN_EvaluateProcPtr)(NPP npp, NPObject* obj, NPString* script,
                                              NPVariant* result);
typedef bool(VEXA_CDECL* NPN_GetPropertyProcPtr)(NPP npp, NPObject* obj, NPIdentifier propertyName,
                                                 NPVariant* result);
typedef bool(VEXA_CDECL* NPN_SetPropertyProcPtr)(NPP npp, NPObject* obj, NPIdentifier propertyName,
                                                 const NPVariant* value);
typedef bool(VEXA_CDECL* NPN_RemovePropertyProcPtr)(NPP npp, NPObject* obj,
                                                    NPIdentifier propertyName);
typedef bool(VEXA_CDECL* NPN_HasPropertyProcPtr)(NPP npp, NPObject* obj, NPIdentifier propertyName);
typedef bool(VEXA_CDECL* NPN_HasMethodProcPtr)(NPP npp, NPObject* obj, NPIdentifier methodName);
typedef void(VEXA_CDECL* NPN_ReleaseVariantValueProcPtr)(NPVariant* variant);
typedef void(VEXA_CDECL* NPN_SetExceptionProcPtr)(NPObject* obj, const NPUTF8* message);
typedef void(VEXA_CDECL* NPN_PushPopupsEnabledStateProcPtr)(NPP npp, NPBool enabled);
typedef void(VEXA_CDECL* NPN_PopPopupsEnabledStateProcPtr)(NPP npp);

// Filled by the browser and handed to NP_Initialize. An entry may be null: callers check before
// use.
struct NPNetscapeFuncs {
  uint16_t size;
  uint16_t version;
  NPN_GetURLProcPtr geturl;
  NPN_PostURLProcPtr posturl;
  NPN_RequestReadProcPtr requestread;
  NPN_NewStreamProcPtr newstream;
  NPN_WriteProcPtr write;
  NPN_DestroyStreamProcPtr destroystream;
  NPN_StatusProcPtr status;
  NPN_UserAgentProcPtr uagent;
  NPN_MemAllocProcPtr memalloc;
  NPN_MemFreeProcPtr memfree;
  NPN_MemFlushProcPtr memflush;
  NPN_ReloadPluginsProcPtr reloadplugins;
  NPN_GetJavaEnvProcPtr getJavaEnv;
  NPN_GetJavaPeerProcPtr getJavaPeer;
  NPN_GetURLNotifyProcPtr geturlnotify;
  NPN_PostURLNotifyProcPtr posturlnotify;
  NPN_GetValueProcPtr getvalue;
  NPN_SetValueProcPtr setvalue;
  NPN_InvalidateRectProcPtr invalidaterect;
  NPN_InvalidateRegionProcPtr invalidateregion;
  NPN_ForceRedrawProcPtr forceredraw;
  NPN_GetStringIdentifierProcPtr getstringidentifier;
  NPN_GetStringIdentifiersProcPtr getstringidentifiers;
  NPN_GetIntIdentifierProcPtr getintidentifier;
  NPN_IdentifierIsStringProcPtr identifierisstring;
  NPN_UTF8FromIdentifierProcPtr utf8fromidentifier;
  NPN_IntFromIdentifierProcPtr intfromidentifier;
  NPN_CreateObjectProcPtr createobject;
  NPN_RetainObjectProcPtr retainobject;
  NPN_ReleaseObjectProcPtr releaseobject;
  NPN_InvokeProcPtr invoke;
  NPN_InvokeDefaultProcPtr invokeDefault;
  NPN_EvaluateProcPtr evaluate;
  NPN_GetPropertyProcPtr getproperty;
  NPN_SetPropertyProcPtr setproperty;
  NPN_RemovePropertyProcPtr removeproperty;
  NPN_HasPropertyProcPtr hasproperty;
  NPN_HasMethodProcPtr hasmethod;
  NPN_ReleaseVariantValueProcPtr releasevariantvalue;
  NPN_SetExceptionProcPtr setexception;
  NPN_PushPopupsEnabledStateProcPtr pushpopupsenabledstate;
  NPN_PopPopupsEnabledStateProcPtr poppopupsenabledstate;
};

// ---------------------------------------------------------------------------------------------
// Library entry points, resolved by name after loading

typedef NPError(VEXA_STDCALL* NP_GetEntryPointsFunc)(NPPluginFuncs* pluginFuncs);
typedef NPError(VEXA_STDCALL* NP_InitializeFunc)(NPNetscapeFuncs* browserFuncs);
typedef NPError(VEXA_STDCALL* NP_ShutdownFunc)(void);

// ---------------------------------------------------------------------------------------------
// Layouts of the published interface, for 32-bit and 64-bit targets

namespace npapi_layout {
// The plug-in is foreign code built against the published layouts: every structure that crosses the
// interface is checked for both word sizes. `L(a, b)` is a on 32-bit targets and b on 64-bit ones
// (Windows x64 and LP64 systems agree here: 32-bit integers, 64-bit pointers, natural alignment).
constexpr bool k64 = sizeof(void*) == 8;
static_assert(sizeof(void*) == 4 || k64, "32-bit or 64-bit pointers");
constexpr size_t L(size_t bits32, size_t bits64) { return k64 ? bits64 : bits32; }
}  // namespace npapi_layout

static_assert(sizeof(NPP_t) == npapi_layout::L(8, 16), "NPP_t");
static_assert(sizeof(NPStream) == npapi_layout::L(28, 48), "NPStream");
static_assert(offsetof(NPStream, notifyData) == npapi_layout::L(20, 32), "NPStream.notifyData");
static_assert(sizeof(NPByteRange) == npapi_layout::L(12, 16), "NPByteRange");
static_assert(sizeof(NPSavedData) == npapi_layout::L(8, 16), "NPSavedData");
static_assert(sizeof(NPRect) == 8, "NPRect");
static_assert(sizeof(NPWindow) == npapi_layout::L(32, 40), "NPWindow");
static_assert(offsetof(NPWindow, clipRect) == npapi_layout::L(20, 24), "NPWindow.clipRect");
static_assert(offsetof(NPWindow, type) == npapi_layout::L(28, 32), "NPWindow.type");
static_assert(sizeof(NPPrint) == npapi_layout::L(40, 56), "NPPrint");
static_assert(sizeof(NPEvent) == npapi_layout::L(12, 24), "NPEvent");
static_assert(sizeof(NPString) == npapi_layout::L(8, 16), "NPString");
static_assert(sizeof(NPVariant) == npapi_layout::L(16, 24), "NPVariant");
static_assert(offsetof(NPVariant, value) == 8, "NPVariant.value");
static_assert(sizeof(NPObject) == npapi_layout::L(8, 16), "NPObject");
static_assert(sizeof(NPClass) == npapi_layout::L(52, 104), "NPClass version 3");
static_assert(offsetof(NPClass, enumerate) == npapi_layout::L(44, 88), "NPClass version 2 end");
static_assert(sizeof(NPPluginFuncs) == npapi_layout::L(60, 120), "NPPluginFuncs");
static_assert(offsetof(NPPluginFuncs, urlnotify) == npapi_layout::L(44, 88),
              "NPPluginFuncs.urlnotify");
static_assert(offsetof(NPPluginFuncs, getvalue) == npapi_layout::L(52, 104),
              "NPPluginFuncs.getvalue");
// The browser table: a 32-bit header (size, version) padded to a word, then 42 function words.
static_assert(sizeof(NPNetscapeFuncs) == npapi_layout::L(172, 344), "NPNetscapeFuncs");
static_assert(offsetof(NPNetscapeFuncs, getJavaEnv) == sizeof(void*) * (1 + 12),
              "NPNetscapeFuncs.getJavaEnv");
static_assert(offsetof(NPNetscapeFuncs, getstringidentifier) == sizeof(void*) * (1 + 21),
              "NPNetscapeFuncs.getstringidentifier");
static_assert(offsetof(NPNetscapeFuncs, invoke) == sizeof(void*) * (1 + 30),
              "NPNetscapeFuncs.invoke");
static_assert(offsetof(NPNetscapeFuncs, releasevariantvalue) == sizeof(void*) * (1 + 38),
              "NPNetscapeFuncs.releasevariantvalue");
