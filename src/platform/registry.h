// Values of the current user's registry (HKEY_CURRENT_USER).
//
// Keys are paths below HKEY_CURRENT_USER with '\\' between levels ("Software\\Quorva\\Game");
// key and value names are narrow text in the ANSI code page and compare ignoring case, as the
// Windows registry does. Reads open keys with read access only, so they work where the user may
// read a key but not change it. Data is handed over raw: REG_SZ values as their ANSI bytes with
// whatever terminating zero they were stored with.
//
// POSIX builds have no registry. They get a stand-in with the same behaviour that lives in the
// process's memory (empty at start, gone at exit), so the code above it is tested natively; test
// set-up fills it through the write functions.
//
// All functions may be called from any thread. Nothing here throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vexa::platform {

// The registry value types the player meets (the Windows REG_* numbers).
inline constexpr uint32_t kRegistryString = 1;        // REG_SZ
inline constexpr uint32_t kRegistryExpandString = 2;  // REG_EXPAND_SZ
inline constexpr uint32_t kRegistryBinary = 3;        // REG_BINARY
inline constexpr uint32_t kRegistryDword = 4;         // REG_DWORD
inline constexpr uint32_t kRegistryMultiString = 7;   // REG_MULTI_SZ

// One value: its name, type and raw data.
struct RegistryValue {
  std::string name;
  uint32_t type = 0;
  std::vector<uint8_t> data;
};

// Reads value `name` of `key` (an empty name is the key's default value). Returns false, leaving
// the outputs unchanged, when the key cannot be opened for reading or the value does not exist.
bool ReadRegistryValue(const std::string& key, const std::string& name, RegistryValue* value);

// Writes value `name` of an existing `key` (opened for setting values only). With `createKey` the
// key and its parents are created first. False when the key does not exist (and is not to be
// created) or the write is refused.
bool WriteRegistryValue(const std::string& key, const std::string& name, uint32_t type,
                        const void* data, size_t size, bool createKey);

// Calls `visit` for every value of `key` in the registry's order, until it returns false. Values
// whose name or data cannot be read are skipped. False when the key cannot be opened for reading;
// true otherwise (also when `visit` stopped early).
bool EnumerateRegistryValues(const std::string& key,
                             const std::function<bool(const RegistryValue&)>& visit);

// Deletes `key` with all its subkeys and values. True when the key is gone afterwards (also when
// it did not exist). For tests that make keys of their own.
bool DeleteRegistryKey(const std::string& key);

}  // namespace vexa::platform
