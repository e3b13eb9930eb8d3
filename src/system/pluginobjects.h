// CPluginObjectSource: the plug-in libraries as the command processor sees them
// (IPluginObjectSource, fscommand/pluginsource.h).
//
// Each object it hands out is a small wrapper (IPluginInstance) around one reference to a
// library's IVEXAPluginObject. The source keeps track of the wrappers still alive so that
// ReleaseObjects can drop every library object before the libraries are unloaded, whoever still
// holds a wrapper: a wrapper that outlives it answers E_UNEXPECTED instead of calling into a
// library that is gone.
//
// Main window thread only.
#pragma once

#include <cstddef>
#include <vector>

#include "fscommand/pluginsource.h"
#include "platform/oleauto.h"

class CPluginLibraryList;
class CPluginObjectInstance;

class CPluginObjectSource final : public IPluginObjectSource {
 public:
  // `libraries` is not owned; null (or SetLibraries(null)) makes every creation fail.
  explicit CPluginObjectSource(CPluginLibraryList* libraries = nullptr) : libraries_(libraries) {}
  // Releases the library objects of the wrappers still alive (ReleaseObjects).
  ~CPluginObjectSource();
  CPluginObjectSource(const CPluginObjectSource&) = delete;
  CPluginObjectSource& operator=(const CPluginObjectSource&) = delete;

  void SetLibraries(CPluginLibraryList* libraries) { libraries_ = libraries; }

  // CreatePluginObject of the library list. E_INVALIDARG for a null name or output, E_UNEXPECTED
  // without a list, E_NOTIMPL when no library creates the object; *out null on failure.
  HRESULT CreatePluginObject(const char* name, IPluginInstance** out) override;

  // Releases the library object of every wrapper still alive; the wrappers stay valid (their
  // owners release them as usual) but answer E_UNEXPECTED from now on. Call before the libraries
  // are unloaded.
  void ReleaseObjects();

  // Wrappers alive that still hold a library object.
  size_t GetLiveObjectCount() const { return live_.size(); }

 private:
  friend class CPluginObjectInstance;
  void Forget(CPluginObjectInstance* instance);

  CPluginLibraryList* libraries_;
  std::vector<CPluginObjectInstance*> live_;
};
