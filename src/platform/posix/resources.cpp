#include "platform/resources.h"

namespace vexa::platform {

// Native builds carry no Windows resources.
bool LoadStringResource(uint32_t, std::wstring*) {
  return false;
}

bool FindProgramResource(const char*, const char*, const uint8_t**, uint32_t*) {
  return false;
}

std::vector<std::string> ListProgramResources(const char*) {
  return {};
}

}  // namespace vexa::platform
