#include "platform/clock.h"

#include <time.h>

#include <string>

namespace vexa::platform {

uint32_t TickCount() {
  // CLOCK_BOOTTIME keeps counting during suspend, as the Windows tick count does.
  struct timespec now;
  if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) ::clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

bool FormatLocalTimeNoSeconds(std::string* text) {
  if (!text) return false;
  const time_t now = ::time(nullptr);
  struct tm local;
  if (now == static_cast<time_t>(-1) || !::localtime_r(&now, &local)) return false;
  char buffer[16];
  const size_t length = ::strftime(buffer, sizeof buffer, "%H:%M", &local);
  if (length == 0) return false;
  text->assign(buffer, length);
  return true;
}

}  // namespace vexa::platform
