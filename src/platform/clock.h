// The system tick count and the local time of day.
#pragma once

#include <cstdint>
#include <string>

namespace vexa::platform {

// Milliseconds since the system started, wrapping to 0 after 2^32 - 1 (about 49.7 days), like the
// Windows tick count. Never goes backwards between wraps; its resolution may be coarser than 1 ms
// (10 to 16 ms on Windows). Callers measure intervals with unsigned subtraction, which stays
// correct across one wrap.
uint32_t TickCount();

// The current local time without seconds, as the user writes a time of day, in the ANSI code page
// (platform/codepage.h). Windows: the user's default locale format (GetTimeFormatW with
// TIME_NOSECONDS), so "14:05", "2:05 PM" or another local form. Elsewhere: "HH:MM" (24 hours, two
// digits each). False, leaving `text` untouched, when the time cannot be read or formatted or
// `text` is null.
bool FormatLocalTimeNoSeconds(std::string* text);

}  // namespace vexa::platform
