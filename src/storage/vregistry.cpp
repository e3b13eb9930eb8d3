#include "storage/vregistry.h"

#include "storage/primitives.h"

HRESULT CVirtualRegistryManager::Decode(IByteStream* stream) {
  values_.clear();
  uint32_t count = 0;
  if (FAILED(ReadCount(stream, &count))) return E_FAIL;
  for (uint32_t i = 0; i < count; ++i) {
    CSmallStr name;
    CSmallStr value;
    HRESULT hr = ReadString(stream, &name);
    if (SUCCEEDED(hr)) hr = ReadString(stream, &value);
    if (FAILED(hr)) return hr;
    values_[name.str()] = value.str();
  }
  return S_OK;
}

HRESULT CVirtualRegistryManager::Encode(IByteStream* stream) const {
  HRESULT hr = WriteCount(stream, static_cast<uint32_t>(values_.size()));
  for (auto it = values_.begin(); it != values_.end() && SUCCEEDED(hr); ++it) {
    hr = WriteString(stream, CSmallStr(it->first));
    if (SUCCEEDED(hr)) hr = WriteString(stream, CSmallStr(it->second));
  }
  return hr;
}

std::string RegistryImportKey(const std::string& maker, const std::string& gameName) {
  return "Software\\" + maker + "\\" + gameName;
}
