// Add-on packages: extending a game's script without touching its data.pak.
//
// Every "*.vxa" in the folder "Addons" beside the executable (the game folder the file loader reads
// from) is a package in the data.pak format, read with the default package password. Its entry
// "addon.xml" is a script document whose top-level elements are appended to the game's script
// root after init.xml has been read and before it runs: add-ons contribute functions, handlers and
// settings the way the game's own script does. When several functions share a name the last one in
// the script runs, so an add-on's function overrides init.xml's, and among add-ons the one merged
// later wins.
//
// LoadAddons:
//  1. lists "Addons\\*.vxa" in the game folder, in the order of the names compared ignoring ASCII
//     case (then byte-wise), so every file system gives the same order;
//  2. for each, reads the entry named exactly "addon.xml" (ASCII case ignored, as every entry name)
//     from that package only: no entry that merely ends in "addon.xml", no file on disk. The
//     document's elements get the package's pseudo base URL ("Addons\\<name>" as package name), so
//     its includes and the URLs in its statements name files inside the add-on;
//     a package that does not open (a folder named like one, a damaged file), lacks the entry or
//     does not parse is skipped;
//  3. orders the documents by the root element's "version" attribute ("*" when it has none),
//     compared byte by byte as unsigned bytes ("1.10" < "1.2" < "9"; "*" before digits and
//     letters); of two add-ons with the same version only the one listed first is used;
//  4. in that order, preprocesses each document (includes and definitions, through the
//     IAddonPreprocessor: the script engine) and, when that succeeds, appends a deep copy of each
//     of its root's children, in document order, to the script root.
// Nothing is reported to the user; a bad add-on never stops the others or the start.
//
// The data library does not run scripts: the preprocessing comes from above through the interface,
// keeping every dependency pointing one way (data <- script <- player).
//
// Threading: the UI thread, once at start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/oleauto.h"
#include "script/smallstr.h"

class CXMLElement;

// The folder of the add-on packages, inside the game folder.
inline constexpr char kAddonFolder[] = "Addons";
// Search pattern appended to the folder (it begins with the separator).
inline constexpr char kAddonPattern[] = "\\*.vxa";
// The script document of an add-on.
inline constexpr char kAddonDocument[] = "addon.xml";
// Attribute of the document's root that orders the add-ons, and the version used without it.
inline constexpr char kAddonVersionAttribute[] = "version";
inline constexpr char kAddonDefaultVersion[] = "*";

// Lists file-system entries.
class FileEnumerator {
 public:
  virtual ~FileEnumerator() = default;
  // Appends the name (without folder) of every matching entry to `names`. Returns 0 when at least
  // one entry matched, -1 when none did or the folder cannot be read (`names` unchanged then).
  virtual int32_t Enumerate(std::vector<CSmallStr>* names) = 0;
};

// Entries matching a Windows-style pattern: a folder path followed by a name pattern with '*' and
// '?' ("C:/Game/Addons\\*.vxa"); letters match ignoring ASCII case. Folders whose names match are
// listed like files. Names come in the order the file system gives them.
class CFileEnumerator : public FileEnumerator {
 public:
  explicit CFileEnumerator(const char* pattern) : pattern_(pattern ? pattern : "") {}
  int32_t Enumerate(std::vector<CSmallStr>* names) override;

 private:
  CSmallStr pattern_;
};

// Prepares an add-on document before its elements join the script: the script engine's
// Preprocess (includes, then definitions). `documentUrl` is the pseudo URL of the document itself
// (an include of it is a cycle). A failure status keeps the document out of the script.
class IAddonPreprocessor {
 public:
  virtual HRESULT PreprocessAddon(CXMLElement* root, const char* documentUrl) = 0;

 protected:
  ~IAddonPreprocessor() = default;
};

// What LoadAddons did, for the diagnostic log and tests.
struct AddonReport {
  // Every name the search found, in the order they were taken.
  std::vector<std::string> found;
  // The packages whose elements were appended, in merge order ("name version").
  std::vector<std::string> merged;
  // The packages left out, with the reason ("name: reason").
  std::vector<std::string> skipped;
};

// Merges the add-ons of `gameFolder` ('/' or '\\' separators, trailing one optional; null or
// empty: the executable's folder) into `scriptRoot` (see the file comment). Returns true when the
// search found at least one add-on file (whether or not any could be used), false when none was
// found or `scriptRoot` or `preprocessor` is null. `report`, when given, receives what happened.
bool LoadAddons(const char* gameFolder, CXMLElement* scriptRoot, IAddonPreprocessor* preprocessor,
                AddonReport* report = nullptr);
