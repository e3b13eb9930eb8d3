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

}  // namespace vexa::platform
