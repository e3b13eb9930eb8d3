// The installer part of vexaship: the definitions file (game.nsh) that the fixed NSIS script
// installer.nsi includes, and that script's text, so that `makensis installer.nsi` turns a shipped
// game folder into setup.exe.
//
// The script installs per user (%LOCALAPPDATA%\Programs\<install name>) or for all users (Program
// Files), makes a Start-menu shortcut, an optional desktop shortcut and the "Apps & features"
// entry, and writes an uninstaller that removes exactly the files listed here (a user's own files
// in the install folder stay) and, when asked, the player's saves and settings of the game.
//
// Nothing here touches the file system or the OS: callers write the two texts into one folder and
// run makensis. All texts are UTF-8; game.nsh is included with /CHARSET=UTF8.
#pragma once

#include <string>
#include <vector>

namespace vexa::ship {

struct InstallerSpec {
  std::string product;      // shown everywhere (window titles, Apps & features, shortcut)
  std::string company;      // Publisher and CompanyName; may be empty
  std::string version;      // "a.b.c.d", each part 0..65535
  std::string copyright;    // LegalCopyright; may be empty
  std::string description;  // Comments of setup.exe and of the Apps & features entry; may be empty
  std::string exe_name;     // "MyGame.exe": a file of `files` in the top folder
  // Folder name under Programs / Program Files. Empty: the product name, minus the characters a
  // file name cannot hold.
  std::string install_name;
  // Registry key name below ...\CurrentVersion\Uninstall (no '\\'). Empty: the install name.
  std::string uninstall_id;
  // Relative to %APPDATA%, at least two levels ("Quorva\\MyGame"): one level would name a maker's
  // whole folder, and the uninstaller deletes this folder with everything in it. Empty: the
  // uninstaller offers no deletion of saves.
  std::string saves_folder;
  // Relative to HKCU, at least two levels ("Software\\Quorva\\MyGame"), deleted with the saves.
  // May be empty.
  std::string settings_key;
  bool x64 = false;  // a 64-bit game: Program Files (64-bit), a 64-bit setup.exe
  // The folder whose files are installed, as makensis on the build machine reads it: a Unix path
  // on Linux, a Windows path on Windows (whose '\\' then also joins the file names to it).
  std::string source_dir;
  // Every file to install, relative to source_dir, '/' or '\\' between folders.
  std::vector<std::string> files;
  std::string icon_path;  // .ico for setup.exe and the uninstaller; empty: NSIS's own icon
  std::string out_file;   // setup.exe to write
};

// The text of game.nsh for `spec`. Returns false with a one-line *error (and *text unchanged) for
// values NSIS or Windows could not take: a control character (newline, NUL, ...) or bytes that are
// not UTF-8 in any text; an empty product, exe name, version, source folder, file list or output
// file; a version that is not four numbers; a file name that climbs out of the source folder
// (".."), is absolute, is listed twice (Windows compares names without case) or holds a character
// Windows refuses in file names; an exe that is not a file of the top folder; "$\" before a quote
// or at the end of a text (NSIS would read an escaped quote); "${" in the icon or output path.
bool MakeInstallerDefinitions(const InstallerSpec& spec, std::string* text, std::string* error);

// The text of installer.nsi, compiled into the tool so a shipped kit needs no file beside it.
// Write it next to game.nsh.
const char* InstallerScriptTemplate();

}  // namespace vexa::ship
