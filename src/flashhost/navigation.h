// Navigation: what the host hands the desktop shell when the movie asks for a page in a browser
// window (a URL request with a target).
//
// The movie's URL is untrusted text, and the shell runs whatever it is given: a program, a script,
// a shortcut to either. So only two kinds of target are handed over:
// - web and mail addresses (schemes http:, https:, mailto:, in any case), as written, with spaces,
//   double quotes and control characters percent-encoded so that they stay one argument;
// - local documents: file: URLs (file:///C:/x, file://localhost/x, file:/x, file:x, file:///C|/x)
//   and plain paths, relative ones against the current directory. Query and fragment are cut,
//   %-escapes decoded once, backslashes read as separators; the file must exist, and neither its
//   name as written nor the name the file system resolves it to (links followed, trailing dots and
//   spaces dropped as Windows drops them) may be a program, script, shortcut or installer type.
//   The shell is given the resolved plain path, never a URL, so that it does not decode escapes a
//   second time.
// Everything else is refused: other schemes (javascript:, shell:, ms-settings:, ...), paths on
// other machines (\\server\share, file://server/...), device paths, alternate data streams, an
// escaped zero byte.
#pragma once

#include <string>

// The outcome of ResolveNavigationTarget.
struct CNavigationTarget {
  bool allowed = false;
  // What the shell is to open: the web or mail address, or the resolved path of the document.
  std::string target;
  // Why not, in a few words, when refused.
  std::string refusal;
};

// Decides what the shell may open for `url` (null reads as empty). Relative paths are resolved
// against `workingDirectory`. Reads the file system (existence, links); never opens anything.
CNavigationTarget ResolveNavigationTarget(const char* url, const std::string& workingDirectory);

// Whether a file name (the last component of a path; trailing dots and spaces ignored, case
// ignored) has the extension of something the shell would run rather than show: programs,
// scripts, shortcuts, installers, control panel and management items, registry files, and
// whatever the platform itself counts as dangerous.
bool IsProgramFileName(const std::string& name);
