#include "storage/config.h"

#include <string>

#include "platform/registry.h"

namespace {

// The data up to the first zero byte, whatever the value's type.
CSmallStr TextOf(const vexa::platform::RegistryValue& value) {
  size_t length = 0;
  while (length < value.data.size() && value.data[length] != 0) ++length;
  return CSmallStr(reinterpret_cast<const char*>(value.data.data()), static_cast<int>(length));
}

}  // namespace

HRESULT RegistryStoragePolicy::GetValue(const char* key, const char* name, CSmallStr* text) {
  if (!key || !name || !text) return E_POINTER;
  vexa::platform::RegistryValue value;
  if (!vexa::platform::ReadRegistryValue(key, name, &value)) return E_FAIL;
  *text = TextOf(value);
  return S_OK;
}

HRESULT RegistryStoragePolicy::SetValue(const char* key, const char* name, const char* text) {
  if (!key || !name || !text) return E_POINTER;
  const std::string data(text, std::char_traits<char>::length(text) + 1);
  return vexa::platform::WriteRegistryValue(key, name, vexa::platform::kRegistryString, data.data(),
                                            data.size(), false)
             ? S_OK
             : E_FAIL;
}

HRESULT RegistryStoragePolicy::EnumerateValues(const char* key, ConfigValueCallback callback,
                                               void* context) {
  if (!key || !callback) return E_POINTER;
  const bool opened =
      vexa::platform::EnumerateRegistryValues(key, [&](const vexa::platform::RegistryValue& value) {
        const CSmallStr text = TextOf(value);
        return callback(value.name.c_str(), text.c_str(), context) >= 0;
      });
  return opened ? S_OK : E_FAIL;
}

CConfigManager<RegistryStoragePolicy>* ConfigManager() {
  static auto* manager = new CConfigManager<RegistryStoragePolicy>();
  return manager;
}
