// The user's desktop as the wallpaper service needs it: the documents folder and the desktop
// wallpaper setting.
//
// Paths are UTF-8 on every OS (Windows converts them to UTF-16 and calls the wide functions, so a
// profile folder the ANSI code page cannot spell works); '/' and '\\' both separate folders.
// Nothing here throws.
#pragma once

#include <string>

namespace vexa::platform {

// The user's documents folder without a trailing separator, created when it does not exist yet.
// Windows: the shell's personal folder (CSIDL_PERSONAL with CSIDL_FLAG_CREATE). POSIX:
// $XDG_DOCUMENTS_DIR when absolute, else $HOME/Documents (created when missing). False, leaving
// `utf8` unchanged, when the OS names none or it cannot be created.
bool GetDocumentsFolder(std::string* utf8);

// Makes the image file `utf8` the desktop wallpaper, stored in the user profile and announced to
// the running programs (Windows: SystemParametersInfoW(SPI_SETDESKWALLPAPER) with
// SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE). An empty path removes the wallpaper. True only when
// the system accepted it. POSIX builds have no desktop to set: false.
bool SetDesktopWallpaper(const std::string& utf8);

}  // namespace vexa::platform
