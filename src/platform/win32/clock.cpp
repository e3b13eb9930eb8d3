#include "platform/clock.h"

#include <windows.h>

namespace vexa::platform {

uint32_t TickCount() {
  return GetTickCount();
}

}  // namespace vexa::platform
