// CConfigManager: the player's access to configuration values kept outside its own files, today the
// current user's registry (RegistryStoragePolicy). The virtual registry imports a game's values
// through it (storage/vregistry.h).
//
// Keys are paths below the policy's root (for the registry, HKEY_CURRENT_USER), such as
// "Software\\Quorva\\<game>". Names and texts are narrow text in the ANSI code page. A value's text
// is its data up to the first zero byte, whatever its type (a REG_DWORD of 0x00000031 reads as
// "1").
//
// Reads and enumerations open keys with read access only: a key the user may read but not change
// (a game installed by an administrator) still imports. Set opens the key for setting values only,
// and never creates a key.
//
// Threading: no state of its own; the registry serialises the calls. Any thread.
#pragma once

#include <cstdint>

#include "platform/oleauto.h"
#include "script/smallstr.h"

// Receives one value of an enumeration. A negative status stops the enumeration (the enumeration
// itself still succeeds).
typedef HRESULT (*ConfigValueCallback)(const char* name, const char* text, void* context);

// The operations of the configuration manager, in their slot order.
class IConfigManager {
 public:
  // The text of value `name` of `key`. S_OK; E_FAIL when the key cannot be opened or the value does
  // not exist (`text` unchanged); E_POINTER for null arguments.
  virtual HRESULT Get(const char* key, const char* name, CSmallStr* text) = 0;
  // Stores `text` as a string value (REG_SZ with its terminating zero). S_OK; E_FAIL when the key
  // does not exist or the write is refused; E_POINTER for null arguments.
  virtual HRESULT Set(const char* key, const char* name, const char* text) = 0;
  // Hands every value of `key` to `callback` (name, text, context) in the store's order. S_OK, also
  // when the callback stopped early; E_FAIL when the key cannot be opened; E_POINTER for a null key
  // or callback.
  virtual HRESULT Enumerate(const char* key, ConfigValueCallback callback, void* context) = 0;

 protected:
  ~IConfigManager() = default;
};

// Storage policy over the current user's registry (platform/registry.h).
class RegistryStoragePolicy {
 protected:
  HRESULT GetValue(const char* key, const char* name, CSmallStr* text);
  HRESULT SetValue(const char* key, const char* name, const char* text);
  HRESULT EnumerateValues(const char* key, ConfigValueCallback callback, void* context);
};

template <class StoragePolicy>
class CConfigManager : public IConfigManager, protected StoragePolicy {
 public:
  CConfigManager() = default;
  virtual ~CConfigManager() = default;

  HRESULT Get(const char* key, const char* name, CSmallStr* text) override {
    return StoragePolicy::GetValue(key, name, text);
  }
  HRESULT Set(const char* key, const char* name, const char* text) override {
    return StoragePolicy::SetValue(key, name, text);
  }
  HRESULT Enumerate(const char* key, ConfigValueCallback callback, void* context) override {
    return StoragePolicy::EnumerateValues(key, callback, context);
  }
};

// The process-wide configuration manager over the registry (created on first use, never
// destroyed).
CConfigManager<RegistryStoragePolicy>* ConfigManager();
