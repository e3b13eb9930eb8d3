// Facts about the running process: its executable and its current directory.
#pragma once

#include <string>

namespace vexa::platform {

// Full path of the running executable in native form ("C:\\Games\\x\\player.exe",
// "/opt/x/player"). Empty when the OS does not tell.
std::string ExecutablePath();

// The folder of ExecutablePath() with its trailing separator ("C:\\Games\\x\\"). Empty when the
// executable path is unknown.
std::string ExecutableFolder();

// The process's current directory without a trailing separator (except for a root such as "C:\\"
// or "/"). Empty when it cannot be read.
std::string GetWorkingDirectory();

// Makes `path` (path rules of platform/files.h) the current directory. Returns false, leaving the
// current directory unchanged, when it is not an existing folder.
bool SetWorkingDirectory(const std::string& path);

}  // namespace vexa::platform
