// The diagnostic log for game authors: what the player did not do and why (script statements that
// failed, bounds that stopped a script, commands without a table entry, files the movie asked for
// that are not in the game). Off by default; turned on by the environment variable
// VEXA_DIAGNOSTICS naming a file, or by a file named "vexa-diagnostics.log" next to the executable
// (create it empty to start logging into it). Lines are appended as "category: text".
//
// When the log is off a call costs one test of a cached flag: callers that build their text first
// should ask DiagnosticsEnabled() before doing so. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace vexa::platform {

inline constexpr char kDiagnosticsVariable[] = "VEXA_DIAGNOSTICS";
inline constexpr char kDiagnosticsFileName[] = "vexa-diagnostics.log";

// Whether the log is on (decided once, at the first call).
bool DiagnosticsEnabled();

// Appends one line when the log is on. Line breaks in `text` are written as spaces.
void WriteDiagnostic(std::string_view category, std::string_view text);

// The log's file, empty when the log is off.
std::string DiagnosticsPath();

// For tests: decide again (reads the variable and looks for the file once more).
void ResetDiagnosticsForTesting();

}  // namespace vexa::platform
