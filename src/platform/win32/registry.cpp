#include "platform/registry.h"

#include <windows.h>

#include <vector>

namespace vexa::platform {

namespace {

// Value names are at most 16383 characters.
constexpr DWORD kMaxValueName = 16384;

class CKey {
 public:
  CKey(const std::string& key, REGSAM access) {
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, access, &key_) != ERROR_SUCCESS) {
      key_ = nullptr;
    }
  }
  ~CKey() {
    if (key_) RegCloseKey(key_);
  }
  CKey(const CKey&) = delete;
  CKey& operator=(const CKey&) = delete;

  HKEY Get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

// Queries a value's type and data, growing the buffer as long as the registry says it is too
// small (the value may change between the calls).
bool QueryValue(HKEY key, const char* name, RegistryValue* out) {
  std::vector<uint8_t> data(100);
  for (int attempt = 0; attempt < 8; ++attempt) {
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(data.size());
    const LONG rc = RegQueryValueExA(key, name, nullptr, &type, data.data(), &size);
    if (rc == ERROR_MORE_DATA) {
      data.resize(size > data.size() ? size : data.size() * 2);
      continue;
    }
    if (rc != ERROR_SUCCESS) return false;
    data.resize(size);
    out->type = type;
    out->data = std::move(data);
    return true;
  }
  return false;
}

}  // namespace

bool ReadRegistryValue(const std::string& key, const std::string& name, RegistryValue* value) {
  CKey opened(key, KEY_QUERY_VALUE);
  if (!opened.Get()) return false;
  RegistryValue read;
  if (!QueryValue(opened.Get(), name.c_str(), &read)) return false;
  read.name = name;
  *value = std::move(read);
  return true;
}

bool WriteRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                        const void* data, size_t size, bool createKey) {
  if (size > 0 && !data) return false;
  if (size > MAXDWORD) return false;
  HKEY handle = nullptr;
  LONG rc;
  if (createKey) {
    rc = RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_SET_VALUE, nullptr, &handle, nullptr);
  } else {
    rc = RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle);
  }
  if (rc != ERROR_SUCCESS) return false;
  rc = RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE*>(data),
                      static_cast<DWORD>(size));
  RegCloseKey(handle);
  return rc == ERROR_SUCCESS;
}

bool EnumerateRegistryValues(const std::string& key,
                             const std::function<bool(const RegistryValue&)>& visit) {
  CKey opened(key, KEY_QUERY_VALUE);
  if (!opened.Get()) return false;
  DWORD count = 0;
  if (RegQueryInfoKeyA(opened.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return true;
  }
  std::vector<char> name(kMaxValueName, '\0');
  for (DWORD index = 0; index < count; ++index) {
    DWORD length = kMaxValueName;
    if (RegEnumValueA(opened.Get(), index, name.data(), &length, nullptr, nullptr, nullptr,
                      nullptr) != ERROR_SUCCESS) {
      continue;
    }
    RegistryValue value;
    if (!QueryValue(opened.Get(), name.data(), &value)) continue;
    value.name.assign(name.data(), length);
    if (!visit(value)) break;
  }
  return true;
}

bool DeleteRegistryKey(const std::string& key) {
  if (key.empty()) return false;
  const LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
    // RegDeleteTree empties the key; the key itself goes with RegDeleteKey.
    const LONG gone = RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    return gone == ERROR_SUCCESS || gone == ERROR_FILE_NOT_FOUND;
  }
  return false;
}

}  // namespace vexa::platform
