// The virtual registry: small named settings a game keeps (options, progress flags), string values
// by name in two scopes, stored in "localrgs.dat" in the data folder, one container entry per scope
// scrambled with kRegistryPassword:
//   shared scope (SK, LK):  entry ".DEFAULT", common to every user of the machine;
//   user scope (SUK, LUK):  entry named after the Windows user running the game.
// Names are case-sensitive ("Level" and "level" are two values); entry names are not.
//
// Entry content: count (4 bytes), then each pair in name order (byte-wise): name, value (strings,
// storage/primitives.h).
//
// The first time a scope is used and has no entry, its values are imported from the current user's
// registry key "Software\\<maker>\\<GAMENAME>" (read access only) and written as the scope's entry.
// Nothing is cached: each operation reads the file and each change rewrites it.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "script/stream.h"

class IConfigManager;
class IProtectedFileStore;

namespace vexa::storage {
class CDataFolder;
}

inline constexpr char kRegistryPassword[] = "moltrevu";
inline constexpr char kSharedScopeEntry[] = ".DEFAULT";

// Generous limits on what the movie (or the import) may store; a write past one gets the failure
// result and changes nothing, an imported value past one is left out.
inline constexpr size_t kMaxRegistryNameLength = 4096;
inline constexpr size_t kMaxRegistryValueLength = 1024 * 1024;
inline constexpr size_t kMaxRegistryValues = 10000;

// The values of one scope in memory, ordered by byte-wise comparison of the names.
class CVirtualRegistryManager {
 public:
  CVirtualRegistryManager() = default;
  CVirtualRegistryManager(const CVirtualRegistryManager&) = default;
  CVirtualRegistryManager& operator=(const CVirtualRegistryManager&) = default;
  virtual ~CVirtualRegistryManager() = default;

  const std::map<std::string, std::string>& Values() const { return values_; }
  std::map<std::string, std::string>& Values() { return values_; }

  // Reads a scope entry. Pairs are added as they arrive (a huge count allocates nothing up front);
  // a repeated name keeps its last value. S_OK when every announced pair was read; E_FAIL (empty
  // map) when the count cannot be read; otherwise the failing read's status with the pairs read
  // before it kept.
  HRESULT Decode(IByteStream* stream);
  // Writes the count and every pair in name order. S_OK or the stream's failure.
  HRESULT Encode(IByteStream* stream) const;

 private:
  std::map<std::string, std::string> values_;
};

// The registry key a game's values are imported from: "Software\\" maker "\\" game name.
std::string RegistryImportKey(const std::string& maker, const std::string& gameName);

// The virtual-registry store behind SK, LK, SUK and LUK.
//
// Threading: the command (UI) thread only.
class CVirtualRegistry {
 public:
  // `files`: the protected-file layer; `folder`: where "localrgs.dat" lives (its maker and game
  // names also name the import key); `config`: the registry the import reads (null:
  // ConfigManager()). None is owned.
  CVirtualRegistry(IProtectedFileStore* files, vexa::storage::CDataFolder* folder,
                   IConfigManager* config = nullptr);

  // The user scope's entry name (null: the name of the user running the process, "" when the OS
  // does not tell). For tests and tools.
  void SetUserName(const char* name);
  std::string GetUserScopeName() const;

  // SK / SUK. S_OK; E_INVALIDARG for a null name or value, or one past the limits (nothing
  // written); otherwise the failure of the import or of the rewrite.
  HRESULT WriteValue(const char* name, const char* value, bool shared);

  // LK / LUK. S_OK with the value; E_FAIL with `value` emptied when the name is absent; E_POINTER
  // for a null `value`; E_INVALIDARG for a null name (`value` emptied). When the scope had to be
  // imported and the import could not be written, the answer still comes from the imported values.
  HRESULT ReadValue(const char* name, CSmallStr* value, bool shared);

  // Loads a scope as the operations do, importing when it has no entry (for tools and tests).
  // The status of loading: S_OK, or the failure of writing an import (the values are still there).
  HRESULT LoadScope(bool shared, CVirtualRegistryManager* values);

 private:
  std::string ScopeEntry(bool shared) const;
  HRESULT Load(bool shared, CVirtualRegistryManager* values, bool* writable);
  HRESULT Import(CVirtualRegistryManager* values);

  IProtectedFileStore* files_;
  vexa::storage::CDataFolder* folder_;
  IConfigManager* config_;
  bool userNameSet_ = false;
  std::string userName_;
};
