// Files a shipped executable carries inside itself.
//
// vexaship can put the game's packages into the executable ("single file" games). They are
// resources of the named type "VEXAPACKAGE", each named by the package's path relative to the game
// folder, in upper case with '\\' between folders: "DATA.PAK", "ADDONS\\DEMO.VXA". The plug-in
// library the player hosts is the resource "NPAPI" of the type "VEXAPLUGIN" (flashhost/
// carried_image.h).
//
// Order: a package file on disk in the executable's folder always wins; a carried package stands
// in only for a file that is not there (or cannot be read). So an author can still put a newer
// data.pak or another add-on beside a single-file game.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

inline constexpr char kCarriedPackageType[] = "VEXAPACKAGE";
inline constexpr char kCarriedPluginType[] = "VEXAPLUGIN";
inline constexpr char kCarriedPluginName[] = "NPAPI";

// Where carried packages come from: the program's resources by default. Tests install their own.
struct CarriedPackageSource {
  bool (*find)(const char* name, const uint8_t** data, uint32_t* size);
  std::vector<std::string> (*list)();
};

// Replaces the source (null restores the program's resources). Not thread-safe: call it before
// any package is opened.
void SetCarriedPackageSource(const CarriedPackageSource* source);

// The carried name of the package file `fullPath`: its path relative to the executable's folder,
// ASCII upper case, '\\' between folders. Empty when the path is not inside the executable's folder
// or climbs out of it.
std::string CarriedPackageName(const char* fullPath);

// The carried package `name` (as CarriedPackageName gives it). On success *data and *size describe
// bytes that stay valid for the life of the process.
bool FindCarriedPackage(const std::string& name, const uint8_t** data, uint32_t* size);

// The file names of the add-on packages carried below "ADDONS\\" ("DEMO.VXA"), in no particular
// order.
std::vector<std::string> ListCarriedAddons();
