// The game's data folder, where the stores keep their files, and the checks on the names the movie
// gives the stores.
//
// Data folder = <application data> \ <maker> \ <game>, no trailing separator:
//   - application data: the user's roaming application-data folder (platform/userfolders.h);
//   - maker: the program's maker name (string 136, "Quorva"); the maker folder gets an access list
//     that lets everyone use it (kMakerFolderAccessList), because the default scope of the virtual
//     registry and the high scores are shared by every user of the machine;
//   - game: the GAMESAVES setting when it is not empty, else GAMENAME.
//
// Paths are UTF-8 (see platform/userfolders.h): names given in the ANSI code page (the maker, the
// game, file names from the movie) are converted when they are joined to the folder.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "storage/savestore.h"

namespace vexa::storage {

// Everyone (WD) may do anything (GA) in the maker folder; files and subfolders inherit it (OICI).
inline constexpr char kMakerFolderAccessList[] = "D:(A;OICI;GA;;;WD)";

// Appended to the game name to name the mutex a running game holds (its single-instance rule).
// Tools that change a game's data folder (vexasaves) look for it to refuse while the game runs.
inline constexpr char kInstanceMutexSuffix[] = "_C011AE3F-A1E3-44ee-9F06-2223CBC13383";

// The maker name before the program's string table was read.
inline constexpr char kDefaultMakerName[] = "ProviderBase";

// The longest table name: what a container entry name can hold.
inline constexpr size_t kMaxTableNameLength = 255;

// Whether a high-score table name from the movie may be used. A table is an entry of
// "bstscore.dat", never a file of its own, so the file-name rules of save sets (IsValidSetName in
// storage/saves.h) do not apply: "Mode: Hard", "Top 10...", "a\\b" or "CON" are good names.
// Refused is only what the container cannot keep as it was given, so that the table would be
// written under one name and looked for under another:
//   - the empty name and names longer than kMaxTableNameLength bytes (the entry's one length byte);
//   - '/', which the container reader turns into '\\';
//   - control characters (a zero byte would cut the name; the others no game means).
// Letter case is not kept apart: entry names compare ignoring ASCII case, so "Main" and "MAIN" are
// one table.
bool IsValidTableName(std::string_view name);

// The names a data folder is made of, narrow text in the ANSI code page.
struct DataFolderNames {
  std::string maker = kDefaultMakerName;
  std::string gameSaves;              // GAMESAVES; empty when the script set none
  std::string gameName = "GameBase";  // GAMENAME
};

// The game part of the folder: GAMESAVES when it is not empty, else GAMENAME.
std::string GameFolderName(const DataFolderNames& names);

// base \ maker \ game (the parts that are empty are left out), UTF-8, with no trailing separator.
// `base` is UTF-8; the names are converted from the ANSI code page. Empty when `base` is empty.
std::string ComposeDataFolder(const std::string& base, const DataFolderNames& names);

// The calls CDataFolder makes to the OS, so tests can watch and fail them. The default is the
// platform (SystemFolderOps()).
class IFolderOps {
 public:
  virtual ~IFolderOps() = default;
  virtual bool GetApplicationDataFolder(std::string* utf8) = 0;
  virtual bool FolderExists(const std::string& utf8) = 0;
  virtual bool CreateFolder(const std::string& utf8) = 0;
  virtual bool CreateFolderWithAccessList(const std::string& utf8, const char* sddl) = 0;
  virtual bool ApplyAccessList(const std::string& utf8, const char* sddl) = 0;
};

// The platform's folder calls (platform/userfolders.h). Process-wide, stateless.
IFolderOps& SystemFolderOps();

// Where the stores read and write: the names of the folder and the work of creating it.
//
// The settings change on the UI thread (the script sets GAMENAME and GAMESAVES) while the save
// writer builds paths on its own thread: every operation takes one consistent snapshot under the
// object's lock, so a path never mixes an old maker with a new game name.
//
// The maker folder's access list is applied once per folder and process (on the first path built
// in it, or when the folder had to be created again because it was deleted), not on every path.
class CDataFolder : public IDataFolderSource {
 public:
  // `ops`: the OS calls (null: SystemFolderOps()); not owned, must outlive this object.
  explicit CDataFolder(IFolderOps* ops = nullptr);
  CDataFolder(const CDataFolder&) = delete;
  CDataFolder& operator=(const CDataFolder&) = delete;

  // The maker part (ANSI). Empty text keeps the current name.
  void SetMakerName(const std::string& maker);
  // The game parts (ANSI), as the script set them.
  void SetGameNames(const std::string& gameSaves, const std::string& gameName);
  // A folder to use instead of the user's application data (UTF-8), for tests and tools; empty
  // goes back to the application data.
  void SetBaseFolder(const std::string& utf8);
  DataFolderNames GetNames() const;

  // The data folder as it would be, without creating anything. False when there is no base folder
  // (the OS names no application-data folder and none was set).
  bool ComputeDataFolder(std::string* utf8) const;

  // Builds the data folder, creates every missing level (base, maker, game; failures are ignored:
  // a folder that cannot be made shows up as a failed read or write of the file in it), gives the
  // maker folder its access list (see the class comment) and returns the path. False, with `utf8`
  // unchanged, when there is no base folder. Any thread.
  bool GetDataFolder(std::string* utf8) override;
  // The process's current folder (GetCurrentFolder), where seed copies of missing files are looked
  // for.
  bool GetSeedFolder(std::string* utf8) override;

 private:
  // The names and the base folder (the user's application data folder when none was set), taken
  // together. False when there is no base folder.
  bool TakeNamesAndBase(DataFolderNames* names, std::string* base) const;

  IFolderOps* ops_;
  mutable std::mutex lock_;
  DataFolderNames names_;
  std::string base_;
  // Maker folders whose access list was applied in this process.
  std::set<std::string> applied_;
};

// The process's current folder (UTF-8, no trailing separator), where the seed copies of data files
// are looked for. False when it cannot be read.
bool GetCurrentFolder(std::string* utf8);

}  // namespace vexa::storage
