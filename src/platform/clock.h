// The system tick count.
#pragma once

#include <cstdint>

namespace vexa::platform {

// Milliseconds since the system started, wrapping to 0 after 2^32 - 1 (about 49.7 days), like the
// Windows tick count. Never goes backwards between wraps; its resolution may be coarser than 1 ms
// (10 to 16 ms on Windows). Callers measure intervals with unsigned subtraction, which stays
// correct across one wrap.
uint32_t TickCount();

}  // namespace vexa::platform
