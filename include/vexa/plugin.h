// VEXA Player plug-in libraries: the interfaces between the player and a game's native extensions.
//
// A plug-in library is a DLL placed next to the player's executable that exports one function,
// "GetClassObject". At start the player loads every DLL of its folder, calls that export with its
// host-control object and keeps the class object it returns. Later the movie creates objects by
// name (FSCommand PLUGIN_CREATE) and calls their methods and reads their properties
// (PLUGIN_METHOD, PLUGIN_PROPGET). See docs/authoring.md (section "Plug-in libraries") for a walk-through and the example in
// examples/plugin/.
//
// The objects follow COM conventions (IUnknown reference counting, QueryInterface, BSTR, VARIANT),
// but nothing is registered with the system and no COM run time is needed: plain C++ classes with
// the layouts below do. This header is a stable interface: slots are never reordered, and new
// operations only ever go into new interfaces.
//
// Binary conventions (all targets):
// - Every method uses STDMETHODCALLTYPE (__stdcall on 32-bit Windows; the only convention on
//   64-bit Windows), every interface derives from IUnknown, and no interface has a virtual
//   destructor (that would shift the slots).
// - The export is extern "C", STDMETHODCALLTYPE as well, and must be found by the exact name
//   "GetClassObject". 32-bit compilers decorate __stdcall names ("_GetClassObject@8"), so list the
//   export in a module-definition file (MinGW: "GetClassObject = GetClassObject@8" on i686, or
//   link with -Wl,--kill-at; MSVC: "EXPORTS GetClassObject").
// - Strings are UTF-16 (OLECHAR). Parameters typed LPCOLESTR are zero-terminated and only read
//   during the call; a BSTR may always be passed for them. BSTRs handed out are allocated with
//   SysAllocString and freed by the receiver with SysFreeString.
// - Status codes are HRESULTs: negative means failure.
// - Threading: the player calls plug-ins on its main window thread only, and the host-control
//   object expects to be called on that thread too.
//
// Builds for Windows include this header as it is. The player's own tests build plug-ins for
// other systems as well; they define VEXA_PLUGIN_COMPAT_TYPES and get the COM types from the
// player's portable layer instead of the Windows SDK.
#ifndef VEXA_PLUGIN_H_
#define VEXA_PLUGIN_H_

#if defined(VEXA_PLUGIN_COMPAT_TYPES)
#include "platform/comstream.h"
#include "platform/oleauto.h"
// Where one calling convention is all there is, the export only needs to be visible.
#define VEXA_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))
#else
#include <windows.h>
// After windows.h, which they need.
#include <objidl.h>
#include <oleauto.h>
// Windows: export the function through a module-definition file (see above).
#define VEXA_PLUGIN_EXPORT extern "C"
#endif

// The exact export name the player looks up.
#define VEXA_GET_CLASS_OBJECT_NAME "GetClassObject"

// Call kinds of IVEXAPluginObject::InvokeByName.
#define VEXA_INVOKE_METHOD 1
#define VEXA_INVOKE_PROPERTYGET 2

// {3C5DA1D6-56D9-44C2-94C5-9D9DC0415B96}
static const IID IID_IVEXAHostControl = {
    0x3C5DA1D6, 0x56D9, 0x44C2, {0x94, 0xC5, 0x9D, 0x9D, 0xC0, 0x41, 0x5B, 0x96}};

// {0C6176B7-59EB-4676-865A-5862F159D2D5}
static const IID IID_IVEXAPluginObject = {
    0x0C6176B7, 0x59EB, 0x4676, {0x86, 0x5A, 0x58, 0x62, 0xF1, 0x59, 0xD2, 0xD5}};

// The player's services for plug-ins, handed to GetClassObject. Its QueryInterface answers
// IID_IUnknown and IID_IVEXAHostControl. Keep a reference (AddRef) to use it after
// GetClassObject returns; it stays usable until the player unloads the libraries, and answers
// E_UNEXPECTED from then on.
struct IVEXAHostControl : public IUnknown {
  // Slot 3. Opens a file of the game for reading: `path` is looked up like any file the movie asks
  // for (inside data.pak first, by exact name or by name suffix, then beside the executable), with
  // '/' or '\\' as separator. On success *stream is a new memory stream holding a copy of the
  // whole file, positioned at 0, with one reference for the caller (writing to it changes only
  // the copy).
  // E_INVALIDARG: null path or stream; E_UNEXPECTED: the player is not running; E_ACCESSDENIED:
  // no such file (or it is empty); E_FAIL: the stream could not be made. *stream is null on
  // every failure.
  virtual HRESULT STDMETHODCALLTYPE OpenFileStream(LPCOLESTR path, IStream** stream) = 0;

  // Slot 4. The folder of the game (the executable's folder) with '/' separators and a trailing
  // '/', as a new BSTR. E_INVALIDARG for a null output; E_OUTOFMEMORY.
  virtual HRESULT STDMETHODCALLTYPE GetHostFolder(BSTR* folder) = 0;

  // Slot 5. Reads the movie variable `name` (e.g. L"_root.score") as a new BSTR.
  // E_INVALIDARG: null name or output; E_UNEXPECTED: the player is not running; otherwise the
  // player's failure status when the movie has no such variable. *value is null on failure.
  virtual HRESULT STDMETHODCALLTYPE ReadMovieVariable(LPCOLESTR name, BSTR* value) = 0;

  // Slot 6. Queues `value` for the movie, like a command result; `name` is a label the player does
  // not use. E_INVALIDARG: null name or value; E_UNEXPECTED: the player is not running.
  virtual HRESULT STDMETHODCALLTYPE WriteResult(LPCOLESTR name, LPCOLESTR value) = 0;

  // Slot 7. Reserved; answers E_FAIL (E_UNEXPECTED when the player is not running).
  virtual HRESULT STDMETHODCALLTYPE Reserved7(LONG a, LONG b, LONG c) = 0;

  // Slot 8. Reserved; sets *out to 0 when given and answers E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE Reserved8(LONG a, LONG b, LONG* out) = 0;
};

// What GetClassObject hands back. The player does not QueryInterface for it: the IUnknown returned
// must have this layout.
struct IVEXAClassObject : public IUnknown {
  // Slot 3. Reserved: the player never calls it. Return E_NOTIMPL.
  virtual HRESULT STDMETHODCALLTYPE Reserved3() = 0;

  // Slot 4. Creates an object named `name` (the text the movie gave to PLUGIN_CREATE, exactly,
  // case included). On success *object holds one reference to the new object, which must answer
  // QueryInterface for IID_IVEXAPluginObject. A name this library does not know: a failure status
  // (E_NOTIMPL is customary) and *object null; the player then asks the next library.
  virtual HRESULT STDMETHODCALLTYPE CreateObject(BSTR name, IUnknown** object) = 0;
};

// The scriptable object the movie uses.
struct IVEXAPluginObject : public IUnknown {
  // Slot 3. Calls the method (`kind` VEXA_INVOKE_METHOD) or reads the property
  // (VEXA_INVOKE_PROPERTYGET) named `member`.
  // `args` describes the arguments of a method call: rgvarg holds cArgs VT_BSTR values in reverse
  // order (rgvarg[cArgs - 1] is the first argument, rgvarg[0] the last), no named arguments. A
  // property read gets cArgs 0. `args` and its strings belong to the player.
  // `result` arrives VT_EMPTY; the player clears it afterwards and hands the movie its text:
  // VT_BSTR as it is, VT_EMPTY as "", VT_I2/VT_I4/VT_INT/VT_UI1 and VT_UI2/VT_UI4/VT_UINT in
  // decimal, VT_BOOL as "true"/"false", VT_R4 like printf "%f" and VT_R8 like "%e"
  // ("7.000000e+00"), anything else as "NOT_IMPL". Format fractional numbers yourself and return
  // them as VT_BSTR when the movie should see them plainly.
  // Failure (negative) tells the movie "NULL" (methods) or the empty string (properties).
  virtual HRESULT STDMETHODCALLTYPE InvokeByName(BSTR member, LONG kind, DISPPARAMS* args,
                                                 VARIANT* result) = 0;
};

// The export: receives the host control (not yet AddRef'd for the library), returns the library's
// class object with one reference in *classObject. A failure (or a null *classObject) makes the
// player unload the library again.
//   VEXA_PLUGIN_EXPORT HRESULT STDMETHODCALLTYPE GetClassObject(IVEXAHostControl* host,
//                                                               IUnknown** classObject);
typedef HRESULT(STDMETHODCALLTYPE* VEXAGetClassObjectProc)(IVEXAHostControl* host,
                                                           IUnknown** classObject);

#endif  // VEXA_PLUGIN_H_
