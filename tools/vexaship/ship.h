// vexaship: from a game folder to a shipped game.
//
// The game folder holds what goes into data.pak (init.xml at its root, movies, images ...), plus:
//   - plug-in libraries: the *.dll files at the folder's top level, copied beside the executable;
//   - Addons\ folder: add-on packages (*.vxa, copied) and add-on folders (each packed into
//   <name>.vxa).
// The output folder gets:
//   <out>/<Name>/                   the game: <Name>.exe, data.pak, plug-in libraries,
//   Addons\ folder <out>/<Name>-<version>.zip      with --zip: that folder as a zip archive
//   <out>/<Name>-<version>-setup.exe  with --installer: an installer built by makensis
#pragma once

#include <string>
#include <vector>

namespace vexa::ship {

struct ShipOptions {
  std::string game_folder;
  std::string out_folder;
  std::string plugin;         // the NPAPI plug-in DLL the game's executable carries
  std::string arch = "i686";  // i686 or x86_64
  std::string runtime;        // the runtime player to copy; empty: the kit's, found beside vexaship
  std::string exe_name;       // without ".exe"; empty: from the product name
  std::string icon;           // .ico; empty: the player's icon stays
  std::string version = "1.0.0.0";
  std::string product, company, description, copyright;
  std::string saves_folder;  // the game's folder in the player's data folder; empty: from init.xml
  bool single_file = false;
  bool installer = false;
  bool zip = false;
  std::string sign_certificate;    // .pfx
  std::string sign_password_file;  // its password, first line of the file
  std::string makensis;            // empty: "makensis" on the PATH
};

// Parses the command line (argv without the program name). False, with *error saying what is
// wrong, for a usage error.
bool ParseShipArguments(const std::vector<std::string>& args, ShipOptions* options,
                        std::string* error);

// The usage text.
const char* ShipUsage();

// Ships the game. Messages go to stderr ("vexaship: error: ...", "vexaship: warning: ..."),
// progress to stdout. Returns the process exit status: 0 shipped, 1 failed (nothing half-written is
// left in the game's output folder), 2 usage.
int Ship(const ShipOptions& options);

// Where the kit keeps the runtime player for `arch`, relative to the folder of the running
// vexaship: tried in order "../../runtime/<arch>/vexa_player.exe" (the kit's bin/<os>/ folders)
// and "runtime/<arch>/vexa_player.exe".
std::vector<std::string> DefaultRuntimeCandidates(const std::string& tool_folder,
                                                  const std::string& arch);

// Checks of a game folder before shipping. Errors stop the shipping; warnings do not.
struct GameCheck {
  std::vector<std::string> errors;
  std::vector<std::string> warnings;
  std::string game_name;   // GAMENAME when init.xml assigns a plain text to it
  std::string game_saves;  // GAMESAVES likewise
};

// Reads init.xml of `game_folder` and checks that it parses and that each <movie> it names is a
// file of the game (files: the names that go into data.pak, '\\' between folders).
void CheckGame(const std::string& init_xml_text, const std::vector<std::string>& files,
               GameCheck* check);

// Whether `name` (a path below the game folder, '\\' between folders) is a development file that
// is left out of the shipped game, and why (a warning text), or empty.
std::string DevelopmentFileReason(const std::string& name);

}  // namespace vexa::ship
