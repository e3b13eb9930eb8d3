// The plug-in objects the PLUGIN_* commands create and call, as the command processor sees them.
//
// IPluginObjectSource is implemented over the game's plug-in libraries (the libraries next to the
// executable, each offering scriptable objects by name); IPluginInstance is one object of such a
// library. The processor only creates objects by name, keeps them, and invokes their members by
// name; it never unloads anything.
//
// Reference counting follows COM: a created object comes with one reference that the caller owns;
// AddRef takes another, Release drops one and destroys the object with the last. The processor
// keeps one reference per stored object and drops them all in ReleasePluginObjects, which the
// player calls before it unloads the libraries.
//
// Threading: the UI thread only, like every FSCommand. An object may send FSCommands or add
// results from inside InvokeByName; the processor holds its own reference across the call.
#pragma once

#include <cstdint>

#include "platform/oleauto.h"

class IPluginInstance {
 public:
  // Call kinds of InvokeByName.
  static constexpr int32_t kInvokeMethod = 1;
  static constexpr int32_t kInvokeGetProperty = 2;

  // The new reference count.
  virtual uint32_t AddRef() = 0;
  // The new reference count; the object is gone when it reaches 0.
  virtual uint32_t Release() = 0;
  // Calls the method (kind 1) or reads the property (kind 2) named `member` (zero-terminated,
  // only borrowed for the call). `args` lists the call's arguments as VT_BSTR values in reverse
  // order (the last argument is element 0) and has no named arguments; for a property read it is
  // empty (cArgs 0). The callee does not change or free `args`. `result` arrives initialised
  // (VT_EMPTY) and receives the value, which the caller clears. A negative status is a failure;
  // `result` is then ignored (and cleared by the caller).
  virtual HRESULT InvokeByName(const wchar_t* member, int32_t kind, DISPPARAMS* args,
                               VARIANT* result) = 0;

 protected:
  ~IPluginInstance() = default;
};

class IPluginObjectSource {
 public:
  // Creates an object of the plug-in named `name` (narrow, zero-terminated). On success *out
  // receives the object with one reference for the caller and the status is 0 or positive; on
  // failure (unknown name, a library that refuses) the status is negative and *out is null.
  virtual HRESULT CreatePluginObject(const char* name, IPluginInstance** out) = 0;

 protected:
  ~IPluginObjectSource() = default;
};
