// The per-user places the player keeps its data in: the application-data folder, folders created
// with an access list, the current folder and the user's name.
//
// Paths here are UTF-8 on every OS, so a user profile whose name the ANSI code page cannot spell
// (a Cyrillic user name on a Western system) still works: Windows converts them to UTF-16 and calls
// the wide file and shell functions. '/' and '\\' both separate folders, as in platform/files.h.
// Nothing here throws.
#pragma once

#include <string>

namespace vexa::platform {

// The user's roaming application-data folder, without a trailing separator (Windows:
// CSIDL_APPDATA, falling back to the APPDATA environment variable; POSIX: $XDG_DATA_HOME, else
// $HOME/.local/share). Returns false, leaving `utf8` unchanged, when the OS names none.
bool GetApplicationDataFolder(std::string* utf8);

// True when `utf8` names an existing folder.
bool FolderExistsUtf8(const std::string& utf8);

// Creates one folder (the parent must exist). True when the folder exists afterwards, including
// when it existed before.
bool CreateFolderUtf8(const std::string& utf8);

// Creates one folder whose access list is the discretionary list of the SDDL text `sddl` (for
// example "D:(A;OICI;GA;;;WD)"). When the SDDL cannot be converted the folder is created with the
// default rights. True when the folder exists afterwards. POSIX has no access lists: this is
// CreateFolderUtf8 there.
bool CreateFolderWithAccessList(const std::string& utf8, const char* sddl);

// Sets the discretionary access list of an existing file or folder to the one of `sddl` (only the
// DACL changes; owner and inherited entries are the OS's business). False when the SDDL does not
// convert, the path does not exist or the change is refused (not the owner). POSIX: true when the
// path exists, without a change (see HasAccessLists()).
bool ApplyAccessList(const std::string& utf8, const char* sddl);

// The access list of a file or folder as SDDL text (DACL only), for tests and diagnostics. False on
// POSIX and when the list cannot be read.
bool GetAccessList(const std::string& utf8, std::string* sddl);

// True when ApplyAccessList and CreateFolderWithAccessList really set access lists (Windows).
bool HasAccessLists();

// The process's current folder without a trailing separator (except for a root), UTF-8. False,
// leaving `utf8` unchanged, when it cannot be read.
bool GetCurrentFolderUtf8(std::string* utf8);

// The name of the user running the process, narrow text in the ANSI code page (Windows
// GetUserNameA; POSIX the login name of the effective user). False, leaving `name` unchanged, when
// the OS does not tell.
bool GetCurrentUserName(std::string* name);

}  // namespace vexa::platform
