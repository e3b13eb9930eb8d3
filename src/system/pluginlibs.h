// The plug-in libraries of a game: every DLL beside the executable that exports "GetClassObject"
// (include/vexa/plugin.h), loaded at start, asked for objects by name, unloaded at the end.
//
// CPluginLibraryList holds, in loading order, each library's module and class object (one
// reference each) and the host-control interface handed to every library (one reference). The
// player keeps one list for the run; the free functions below are the operations on it.
//
// Order of the end: the objects the libraries created must all be released before
// UnloadPluginLibraries, because their code goes away with the library.
//
// Main window thread only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/library.h"
#include "platform/oleauto.h"
#include "vexa/plugin.h"

class CPluginLibraryList {
 public:
  struct Record {
    vexa::platform::LibraryHandle module = nullptr;
    IVEXAClassObject* classObject = nullptr;  // one reference held by the list
    std::string path;                         // as it was loaded
  };

  CPluginLibraryList() = default;
  // Unloads whatever is still loaded and drops the host control.
  ~CPluginLibraryList();
  CPluginLibraryList(const CPluginLibraryList&) = delete;
  CPluginLibraryList& operator=(const CPluginLibraryList&) = delete;

  // The host control handed to the libraries loaded from now on; the list keeps a reference
  // (null drops it).
  void SetHostControl(IVEXAHostControl* host);
  IVEXAHostControl* GetHostControl() const { return host_; }

  const std::vector<Record>& GetRecords() const { return records_; }
  size_t GetCount() const { return records_.size(); }
  bool IsEmpty() const { return records_.empty(); }

 private:
  friend size_t LoadPluginLibraries(CPluginLibraryList* list, const char* folder);
  friend void UnloadPluginLibraries(CPluginLibraryList* list);

  std::vector<Record> records_;
  IVEXAHostControl* host_ = nullptr;
};

// Whether a file of the folder is taken for a plug-in library: its own name ends in ".dll", ASCII
// case ignored. A Windows "*.dll" search also answers names whose 8.3 short name matches
// ("foo.dll_old" as FOO~1.DLL); this is what keeps those out.
bool IsPluginLibraryName(std::string_view name);

// Loads the plug-in libraries of `folder` (either separator, trailing one optional; null or empty:
// the executable's folder) into `list`: every file whose name passes IsPluginLibraryName, in the
// order of their names compared ignoring ASCII case, so every file system gives the same order.
// Each is loaded by its full path with backslash separators, its dependencies taken from its own
// folder and the system folder, never the current one (platform/library.h); one that does not
// load is skipped;
// one without the "GetClassObject" export, or whose call fails or gives no class object, is
// unloaded again. A library already in the list is not added twice. Nothing is reported: the
// number of libraries added is returned. Without a host control in the list nothing is loaded.
size_t LoadPluginLibraries(CPluginLibraryList* list, const char* folder = nullptr);

// Creates the object `name` (ANSI text, passed to the libraries as a BSTR): the libraries are asked
// in list order, and the first whose class object creates it and whose object answers
// IID_IVEXAPluginObject supplies it. On S_OK *object holds one reference.
// E_INVALIDARG: null list, name or output; E_NOTIMPL: no library created it (*object null);
// E_OUTOFMEMORY.
HRESULT CreatePluginObject(CPluginLibraryList* list, const char* name, IVEXAPluginObject** object);

// Takes the records out of the list one by one from the first: releases the class object, then
// unloads the library. Harmless on an empty list. The host control stays set.
void UnloadPluginLibraries(CPluginLibraryList* list);
