#include "platform/resources.h"

namespace vexa::platform {

// Native builds carry no Windows resources.
bool LoadStringResource(uint32_t, std::wstring*) {
  return false;
}

}  // namespace vexa::platform
