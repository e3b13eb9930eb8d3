#include "storage/vregistry.h"

#include <cstring>

#include "platform/userfolders.h"
#include "storage/config.h"
#include "storage/primitives.h"
#include "storage/saves.h"

using vexa::storage::JoinPath;

namespace {

bool WithinLimits(const std::string& name, const std::string& value) {
  return name.size() <= kMaxRegistryNameLength && value.size() <= kMaxRegistryValueLength;
}

HRESULT StoreImported(const char* name, const char* text, void* context) {
  auto* values = static_cast<CVirtualRegistryManager*>(context);
  const std::string key(name);
  const std::string value(text);
  if (!WithinLimits(key, value)) return S_OK;
  if (values->Values().size() >= kMaxRegistryValues && !values->Values().count(key)) return E_ABORT;
  values->Values()[key] = value;
  return S_OK;
}

}  // namespace

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

// ---- CVirtualRegistry

CVirtualRegistry::CVirtualRegistry(vexa::storage::IDataFolderSource* folders,
                                   vexa::platform::IFileSystem* fs, IConfigManager* config)
    : folders_(folders), fs_(fs), config_(config ? config : ConfigManager()) {}

void CVirtualRegistry::SetUserName(const char* name) {
  userNameKnown_ = name != nullptr;
  userName_ = name ? name : "";
}

std::string CVirtualRegistry::GetUserScopeName() {
  if (!userNameKnown_) {
    // The user cannot change while the process runs: ask once.
    userName_.clear();
    vexa::platform::GetCurrentUserName(&userName_);
    userNameKnown_ = true;
  }
  return userName_;
}

std::string CVirtualRegistry::ScopeEntry(bool shared) {
  return shared ? std::string(kSharedScopeEntry) : GetUserScopeName();
}

bool CVirtualRegistry::FilePath(std::string* path) {
  std::string folder;
  if (!folders_ || !folders_->GetDataFolder(&folder) || folder.empty()) return false;
  *path = JoinPath(folder, kRegistryFileName);
  return true;
}

void CVirtualRegistry::Import(CVirtualRegistryManager* values) {
  values->Values().clear();
  const std::string key = importKey_ ? importKey_() : std::string();
  // A missing key imports nothing.
  if (!key.empty()) config_->Enumerate(key.c_str(), StoreImported, values);
}

HRESULT CVirtualRegistry::Load(bool shared, CVirtualRegistryManager* values, bool* imported,
                               std::string* path, CProtectedContainer* file) {
  *imported = false;
  values->Values().clear();
  if (!FilePath(path)) return E_FAIL;
  CMemoryStream entry;
  const HRESULT hr =
      ReadProtectedEntry(fs_, *path, ScopeEntry(shared).c_str(), kRegistryPassword, file, &entry);
  if (SUCCEEDED(hr)) {
    // An entry that ends early keeps the pairs before the damage; the file is copied aside before
    // it is rewritten without the rest.
    if (FAILED(values->Decode(&entry))) file->MarkDamaged();
    return S_OK;
  }
  if (hr == VEXA_E_FILE_UNREADABLE || hr == E_OUTOFMEMORY || hr == E_POINTER) return hr;
  // No file, no entry for this scope, or an entry that does not decode: import.
  Import(values);
  *imported = true;
  return S_OK;
}

HRESULT CVirtualRegistry::Store(const std::string& path, const std::string& entry,
                                const CVirtualRegistryManager& values, CProtectedContainer* file) {
  CMemoryStream stream;
  const HRESULT hr = values.Encode(&stream);
  if (FAILED(hr)) return hr;
  return ReplaceProtectedEntry(fs_, &stream, path, entry.c_str(), kRegistryPassword, file);
}

HRESULT CVirtualRegistry::WriteValue(const char* name, const char* value, bool shared) {
  if (!name || !value) return E_INVALIDARG;
  const std::string key(name);
  const std::string text(value);
  if (!WithinLimits(key, text)) return VEXA_E_STORE_LIMIT;
  CVirtualRegistryManager values;
  CProtectedContainer file;
  std::string path;
  bool imported = false;
  const HRESULT hr = Load(shared, &values, &imported, &path, &file);
  if (FAILED(hr)) return hr;
  if (values.Values().size() >= kMaxRegistryValues && !values.Values().count(key)) {
    // The import is still worth keeping.
    if (imported) Store(path, ScopeEntry(shared), values, &file);
    return VEXA_E_STORE_LIMIT;
  }
  values.Values()[key] = text;
  return Store(path, ScopeEntry(shared), values, &file);
}

HRESULT CVirtualRegistry::ReadValue(const char* name, CSmallStr* value, bool shared) {
  if (!value) return E_INVALIDARG;
  *value = CSmallStr();
  if (!name) return E_INVALIDARG;
  CVirtualRegistryManager values;
  CProtectedContainer file;
  std::string path;
  bool imported = false;
  const HRESULT hr = Load(shared, &values, &imported, &path, &file);
  if (FAILED(hr)) return hr;
  // The import is written once; if that fails the answer still comes from it, and the next
  // operation on the scope tries again. A damaged file is left to the next change: a read never
  // copies it aside.
  if (imported && !file.IsDamaged()) Store(path, ScopeEntry(shared), values, &file);
  const auto found = values.Values().find(name);
  if (found == values.Values().end()) return E_FAIL;
  *value = CSmallStr(found->second);
  return S_OK;
}

HRESULT CVirtualRegistry::ListScopes(std::vector<std::string>* entries) {
  if (!entries) return E_POINTER;
  entries->clear();
  std::string path;
  if (!FilePath(&path)) return E_FAIL;
  return ListProtectedEntries(fs_, path, entries);
}

HRESULT CVirtualRegistry::ReadScope(const std::string& entry, CVirtualRegistryManager* values) {
  if (!values) return E_POINTER;
  values->Values().clear();
  std::string path;
  if (!FilePath(&path)) return E_FAIL;
  CProtectedContainer file;
  CMemoryStream stream;
  const HRESULT hr =
      ReadProtectedEntry(fs_, path, entry.c_str(), kRegistryPassword, &file, &stream);
  if (FAILED(hr)) return hr;
  return values->Decode(&stream);
}

HRESULT CVirtualRegistry::WriteScope(const std::string& entry,
                                     const CVirtualRegistryManager& values) {
  if (values.Values().size() > kMaxRegistryValues) return VEXA_E_STORE_LIMIT;
  for (const auto& pair : values.Values()) {
    if (!WithinLimits(pair.first, pair.second)) return VEXA_E_STORE_LIMIT;
  }
  std::string path;
  if (!FilePath(&path)) return E_FAIL;
  // Reading first tells the layer what the file holds: an entry that does not decode (or ends
  // early) makes it copy the file aside before replacing the entry.
  CProtectedContainer file;
  CMemoryStream current;
  const HRESULT hr =
      ReadProtectedEntry(fs_, path, entry.c_str(), kRegistryPassword, &file, &current);
  if (hr == VEXA_E_FILE_UNREADABLE || hr == E_OUTOFMEMORY) return hr;
  CVirtualRegistryManager old;
  if (SUCCEEDED(hr) && FAILED(old.Decode(&current))) file.MarkDamaged();
  return Store(path, entry, values, &file);
}
