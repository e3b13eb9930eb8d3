// Handing documents and URLs to the desktop shell.
#pragma once

#include <string>

namespace vexa::platform {

// Asks the desktop shell to open `target` (a URL such as "http://..." or "file:///...", or a
// document path; ANSI code page) with its default action, the way a double click would, without
// waiting for the program it starts. The shell shows no error UI of its own.
// Returns true when the shell accepted the request. Any process handle the shell hands back is
// released before returning. An empty target gives false.
// POSIX builds have no desktop shell to rely on: nothing is opened and the result is false.
bool ShellOpen(const std::string& target);

// The file system's own absolute name for `path` (path rules of platform/files.h), which must name
// an existing file or folder: "." and ".." resolved, links (symbolic links, junctions) followed,
// and on Windows names read as the file system reads them (trailing dots and spaces dropped, short
// names expanded). This is what the shell would really open. False, with `resolved` untouched,
// when nothing exists there or the name cannot be told (on Windows also when it is not
// representable in the ANSI code page).
bool ResolveShellPath(const std::string& path, std::string* resolved);

// Whether the desktop shell itself counts files with this extension (without the dot, any case)
// as unsafe to open: on Windows the types listed in PATHEXT and those its file associations mark
// as dangerous. POSIX builds have no shell to ask and answer false.
bool IsShellDangerousType(const std::string& extension);

}  // namespace vexa::platform
