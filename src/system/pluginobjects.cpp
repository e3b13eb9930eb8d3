#include "system/pluginobjects.h"

#include <algorithm>
#include <atomic>
#include <new>

#include "system/pluginlibs.h"

// One library object as an IPluginInstance.
class CPluginObjectInstance final : public IPluginInstance {
 public:
  CPluginObjectInstance(CPluginObjectSource* source, IVEXAPluginObject* object)
      : source_(source), object_(object) {}

  uint32_t AddRef() override { return ++refs_; }

  uint32_t Release() override {
    const uint32_t left = --refs_;
    if (left == 0) {
      Detach();
      delete this;
    }
    return left;
  }

  HRESULT InvokeByName(const wchar_t* member, int32_t kind, DISPPARAMS* args,
                       VARIANT* result) override {
    if (!member) return E_INVALIDARG;
    if (!object_) return E_UNEXPECTED;
    BSTR name = SysAllocString(member);
    if (!name) return E_OUTOFMEMORY;
    // The library may release the last other reference from inside the call (a command it sends
    // back); this one keeps the wrapper and its object alive until the call returns.
    AddRef();
    IVEXAPluginObject* object = object_;
    object->AddRef();
    const HRESULT hr = object->InvokeByName(name, static_cast<LONG>(kind), args, result);
    object->Release();
    SysFreeString(name);
    Release();
    return hr;
  }

  // Drops the library object and leaves the source's list; the wrapper itself stays.
  void Detach() {
    if (source_) source_->Forget(this);
    source_ = nullptr;
    if (object_) {
      IVEXAPluginObject* object = object_;
      object_ = nullptr;
      object->Release();
    }
  }

 private:
  ~CPluginObjectInstance() = default;

  std::atomic<uint32_t> refs_{1};
  CPluginObjectSource* source_;
  IVEXAPluginObject* object_;
};

CPluginObjectSource::~CPluginObjectSource() {
  ReleaseObjects();
}

HRESULT CPluginObjectSource::CreatePluginObject(const char* name, IPluginInstance** out) {
  if (!name || !out) return E_INVALIDARG;
  *out = nullptr;
  if (!libraries_) return E_UNEXPECTED;
  IVEXAPluginObject* object = nullptr;
  const HRESULT hr = ::CreatePluginObject(libraries_, name, &object);
  if (FAILED(hr)) return hr;
  auto* instance = new (std::nothrow) CPluginObjectInstance(this, object);
  if (!instance) {
    object->Release();
    return E_OUTOFMEMORY;
  }
  live_.push_back(instance);
  *out = instance;
  return S_OK;
}

void CPluginObjectSource::ReleaseObjects() {
  // Detach removes each from the list; a library object's destructor may even create or drop
  // other wrappers meanwhile, so take them one at a time from the end.
  while (!live_.empty()) live_.back()->Detach();
}

void CPluginObjectSource::Forget(CPluginObjectInstance* instance) {
  live_.erase(std::remove(live_.begin(), live_.end(), instance), live_.end());
}
