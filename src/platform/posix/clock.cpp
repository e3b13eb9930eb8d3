#include "platform/clock.h"

#include <time.h>

namespace vexa::platform {

uint32_t TickCount() {
  // CLOCK_BOOTTIME keeps counting during suspend, as the Windows tick count does.
  struct timespec now;
  if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) ::clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

}  // namespace vexa::platform
