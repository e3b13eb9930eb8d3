// The pure parts of the game settings: number and flag reading, the FSMODES list of movie variants,
// the check of names that become folder and mutex names, and the movie placement rule.
//
// Everything here is a function of its arguments (no state, no system calls), for the player and
// the frame to share and for tests to check case by case.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/window.h"
#include "script/smallstr.h"

namespace vexa::player {

// Sizes (movie and client area) the player accepts: 1 to kMaxDimension pixels. Larger values are
// no size a window can have and would overflow the layout arithmetic; they are ignored like
// non-positive ones.
inline constexpr int32_t kMaxDimension = 32767;
// Positions (window and movie) are limited to what a window coordinate can hold.
inline constexpr int32_t kMinCoordinate = -32768;
inline constexpr int32_t kMaxCoordinate = 32767;
// Longest game name or saves folder name: it becomes a folder name inside the user's data folder
// and, with a fixed suffix, a mutex name, both limited in length.
inline constexpr size_t kMaxFolderNameLength = 128;

inline bool IsValidDimension(int64_t value) {
  return value > 0 && value <= kMaxDimension;
}
int32_t ClampCoordinate(int64_t value);

// One movie variant of the FSMODES list, and the player's current variant.
struct ModeRecord {
  int32_t id = 0;            // carried, used by nothing
  int32_t wide = 0;          // 1 for a widescreen variant
  int32_t displayWidth = 0;  // carried into the current record, used by nothing
  int32_t displayHeight = 0;
  CSmallStr urlSuffix;  // appended to the movie URL
  int32_t movieWidth = 0;
  int32_t movieHeight = 0;
};

// Reads a decimal integer the way atoi does (leading white space, an optional sign, digits up to
// the first other character), but saturates at INT32_MIN / INT32_MAX instead of overflowing. Text
// without digits reads as 0; `found`, when given, tells whether there were digits.
int32_t ParseInteger(std::string_view text, bool* found = nullptr);

// Reads up to `count` integers separated by `separator` the way sscanf reads "%d,%d,..." (white
// space before each number is skipped; the separator must follow a number directly), saturating
// like ParseInteger. Returns how many numbers were read; values[i] is written for each of them.
int ScanIntegers(std::string_view text, char separator, int32_t* values, int count);

// A boolean setting: true for "on", "true" or "1" ignoring case, false for any other non-empty
// text, nothing for empty text (the setting keeps its value).
std::optional<bool> ParseFlag(std::string_view text);

// The FSMODES text: entries separated by ';', each "id x wide, displayW x displayH, suffix,
// movieW x movieH". wide is 1 when its number is greater than 0. An empty number reads as 0. The
// suffix is taken whole (a suffix with ',' in it keeps them: the first two fields and the last one
// are the pairs). Entries are skipped, not guessed at, when they have fewer than four fields, a
// pair without 'x', or a movie size that IsValidDimension refuses. Returns the entries in order.
std::vector<ModeRecord> ParseFSModes(std::string_view text);

// Whether a GAMENAME or GAMESAVES value may name a folder and a mutex: not empty, at most
// kMaxFolderNameLength bytes, no path separator or drive colon ('\\', '/', ':'), no character a
// Windows file name cannot hold ('<', '>', '"', '|', '?', '*', control characters), no ".." and no
// trailing '.' or space (Windows drops those, so "a." would be the folder "a"), and not a device
// name (platform/devicename.h: CON, PRN, AUX, NUL, CONIN$, CONOUT$, CLOCK$, COM and LPT with a
// digit 0-9 or a superscript 1-3, also with spaces and an extension after it).
bool IsSafeFolderName(std::string_view name);

// Where the movie sits in the client area.
struct MoviePlacement {
  bool resize = false;  // the movie fills the client area
  bool centre = true;   // the movie is centred in the client area
  int32_t x = 0;        // position when neither applies
  int32_t y = 0;
  int32_t width = 800;  // movie size
  int32_t height = 600;
};

// The plug-in window's rectangle in client coordinates for a client area of the given size:
// resize: the whole client area; else centre: the movie size centred (halves rounded toward minus
// infinity, so a movie larger than the client area gets a negative origin); else the movie size at
// (x, y). Results are computed without overflow and limited to the int32 range.
vexa::platform::WindowRect ComputeMovieRect(const MoviePlacement& placement, int32_t clientWidth,
                                            int32_t clientHeight);

}  // namespace vexa::player
