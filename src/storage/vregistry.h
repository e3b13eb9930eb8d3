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
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/oleauto.h"
#include "script/smallstr.h"
#include "script/stream.h"
#include "storage/protectedfile.h"
#include "storage/savestore.h"

class IConfigManager;

inline constexpr char kSharedScopeEntry[] = ".DEFAULT";

// Generous limits on what the movie (or the import) may store. A write past one gets
// VEXA_E_STORE_LIMIT and changes nothing; an imported value past one is left out.
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
// Promises beyond the format:
// - Writes go through the protected-file layer: atomic, the other scope carried over as stored, a
//   damaged file copied aside before its first rewrite, a file that cannot be read never written
//   over (its commands fail with VEXA_E_FILE_UNREADABLE: LK/LUK answer "unknown", nothing is
//   imported or written).
// - The import reads the registry with read access only, and a read answers from the imported
//   values even when writing them failed (the next operation imports and writes again).
//
// Threading: the command (UI) thread only (tools use it on their one thread).
class CVirtualRegistry {
 public:
  // Gives the import key (RegistryImportKey) at the time of an import; empty for no import.
  using ImportKeySource = std::function<std::string()>;

  // `folders` (required), `fs` (null: the native file system) and `config` (null: ConfigManager())
  // are not owned and must outlive the store. Without an import key source nothing is imported.
  CVirtualRegistry(vexa::storage::IDataFolderSource* folders,
                   vexa::platform::IFileSystem* fs = nullptr, IConfigManager* config = nullptr);

  void SetImportKeySource(ImportKeySource source) { importKey_ = std::move(source); }
  // The user scope's entry name; by default (or after a null name) the name of the user running
  // the process, "" when the OS does not tell.
  void SetUserName(const char* name);
  std::string GetUserScopeName();

  // SK / SUK. S_OK; E_INVALIDARG for a null name or value; VEXA_E_STORE_LIMIT for a name, value or
  // count past the limits (nothing written); VEXA_E_FILE_UNREADABLE; E_FAIL without a data folder;
  // otherwise the rewrite's failure. A scope that has to be imported first is written once, with
  // the imported values and the new one.
  HRESULT WriteValue(const char* name, const char* value, bool shared);

  // LK / LUK. S_OK with the value; E_FAIL with `value` emptied when the name is absent;
  // E_INVALIDARG for a null `value`, or a null name (`value` emptied); VEXA_E_FILE_UNREADABLE and
  // E_FAIL without a data folder (`value` emptied). Names are case-sensitive.
  HRESULT ReadValue(const char* name, CSmallStr* value, bool shared);

  // ---- For tools (vexasaves) and tests: scopes by entry name, never importing

  // The entry names in the file, in file order. S_OK (none for a missing file);
  // VEXA_E_FILE_UNREADABLE; E_FAIL for a file that is not a container or no data folder.
  HRESULT ListScopes(std::vector<std::string>* entries);
  // Reads one scope. S_OK; E_ACCESSDENIED (no file); E_FAIL (no such entry, or damaged content:
  // `values` holds what could be read); VEXA_E_FILE_UNREADABLE.
  HRESULT ReadScope(const std::string& entry, CVirtualRegistryManager* values);
  // Replaces one scope, carrying the others over. S_OK, VEXA_E_STORE_LIMIT, or the rewrite's
  // failure.
  HRESULT WriteScope(const std::string& entry, const CVirtualRegistryManager& values);

 private:
  bool FilePath(std::string* path);
  std::string ScopeEntry(bool shared);
  // Reads the scope's entry into `values`. S_OK when it was read (`*imported` false); when there is
  // no readable entry, the import is in `values`, `*imported` is true and the status is S_OK too.
  // VEXA_E_FILE_UNREADABLE, E_OUTOFMEMORY or E_FAIL (no data folder) stop the operation.
  HRESULT Load(bool shared, CVirtualRegistryManager* values, bool* imported, std::string* path,
               CProtectedContainer* file);
  void Import(CVirtualRegistryManager* values);
  HRESULT Store(const std::string& path, const std::string& entry,
                const CVirtualRegistryManager& values, CProtectedContainer* file);

  vexa::storage::IDataFolderSource* folders_;
  vexa::platform::IFileSystem* fs_;
  IConfigManager* config_;
  ImportKeySource importKey_;
  bool userNameKnown_ = false;
  std::string userName_;
};
