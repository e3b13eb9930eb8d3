// The browser side of the plug-in interface: the NPNetscapeFuncs table the host hands to
// NP_Initialize.
//
// There is no browser and no network behind it. Entries the host has no use for answer inertly
// (documented per entry in browserfuncs.cpp); a few are left null, which NPAPI allows. URL requests
// are forwarded to the host found in the instance's browser data (CPluginHost::GetURLNotify). The
// scripting entries (getJavaEnv, getvalue for the window object, invoke, evaluate, getproperty) are
// forwarded to the process-wide IBrowserScripting, which the scripting bridge installs; without one
// they answer as a browser without scripting would.
//
// All entries are called by the plug-in on the main window thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flashhost/jri.h"
#include "flashhost/npapi.h"

class CPluginHost;

// Version the host reports in its table.
inline constexpr uint16_t kBrowserFuncsVersion = 22;

// What uagent answers.
inline constexpr char kBrowserUserAgent[] =
    "Mozilla/5.0 (Windows; U; Windows NT 6.1; en-US; rv:1.9.1.3) Gecko/20090824 Firefox/3.5.3";

// The scripting side of the browser, implemented by the scripting bridge. `host` is the host stored
// in the instance's browser data (null when the plug-in passes no instance or an instance the host
// never called with). Each operation has the contract of the NPAPI entry it serves; objects
// returned carry one reference for the plug-in.
class IBrowserScripting {
 public:
  // NPN_GetJavaEnv: the host's JRI environment, or null.
  virtual JRIEnv* GetJavaEnv() = 0;
  // NPN_GetValue(NPNVWindowNPObject): a new window object, or null when none can be made.
  virtual NPObject* CreateWindowObject(CPluginHost* host, NPP instance) = 0;
  virtual bool Invoke(CPluginHost* host, NPP instance, NPObject* object, NPIdentifier method,
                      const NPVariant* args, uint32_t argCount, NPVariant* result) = 0;
  virtual bool Evaluate(CPluginHost* host, NPP instance, NPObject* object, NPString* script,
                        NPVariant* result) = 0;
  virtual bool GetProperty(CPluginHost* host, NPP instance, NPObject* object, NPIdentifier name,
                           NPVariant* result) = 0;

 protected:
  ~IBrowserScripting() = default;
};

// Installs the scripting bridge for every host of the process (null removes it). Not owned; it must
// outlive every plug-in call made while it is installed.
void SetBrowserScripting(IBrowserScripting* scripting);
IBrowserScripting* GetBrowserScripting();

// Fills `funcs` completely: size sizeof(NPNetscapeFuncs) (172 on 32-bit Windows), version 22 and
// all 42 entries (null for the entries the host leaves empty). Null is ignored.
void FillBrowserFuncs(NPNetscapeFuncs* funcs);

// The host whose instance `instance` is: its browser data, or null for a null instance.
CPluginHost* HostOfInstance(NPP instance);

// The allocator of memory that crosses the interface (memalloc and memfree): blocks the plug-in
// gets from the host (identifier names) and blocks the host takes over from the plug-in (string
// results, saved data) all come from HostMemAlloc and go back through HostMemFree. Size 0 gives a
// valid block; null is ignored when freeing. Any thread.
void* HostMemAlloc(uint32_t size);
void HostMemFree(void* block);
// Blocks from HostMemAlloc not yet freed (what a test watches for leaks and mismatches).
size_t CountHostBlocks();
