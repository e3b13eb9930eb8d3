#include "flashhost/carried_image.h"

#include <cstring>

#include "data/carried.h"
#include "platform/resources.h"

// Defined by the generated source of vexa_carry_plugin under these exact symbol names; the asm
// labels keep them free of the target's C name decoration (a leading underscore on 32-bit Windows).
extern "C" const uint8_t g_carriedImageStart[] __asm__("vexa_carried_image_start");
extern "C" const uint8_t g_carriedImageEnd[] __asm__("vexa_carried_image_end");

namespace {

bool IsMarker(const uint8_t* bytes) {
  uint8_t expected[kCarriedImageMarkerSize] = {};
  expected[0] = static_cast<uint8_t>(kCarriedImageMarkerValue);
  expected[1] = static_cast<uint8_t>(kCarriedImageMarkerValue >> 8);
  expected[2] = static_cast<uint8_t>(kCarriedImageMarkerValue >> 16);
  expected[3] = static_cast<uint8_t>(kCarriedImageMarkerValue >> 24);
  return std::memcmp(bytes, expected, sizeof expected) == 0;
}

}  // namespace

bool GetCarriedPluginImage(const uint8_t** data, uint32_t* size) {
  if (!data || !size) return false;
  // A shipped game's executable names its plug-in as a resource (vexaship replaces it there).
  const uint8_t* resource = nullptr;
  uint32_t resource_size = 0;
  if (vexa::platform::FindProgramResource(kCarriedPluginType, kCarriedPluginName, &resource,
                                          &resource_size) &&
      resource_size > 0) {
    *data = resource;
    *size = resource_size;
    return true;
  }
  const uintptr_t start = reinterpret_cast<uintptr_t>(g_carriedImageStart);
  const uintptr_t end = reinterpret_cast<uintptr_t>(g_carriedImageEnd);
  if (end <= start + kCarriedImageMarkerSize) return false;
  if (!IsMarker(g_carriedImageStart) || !IsMarker(g_carriedImageEnd)) return false;
  const uintptr_t length = end - start - kCarriedImageMarkerSize;
  if (length > UINT32_MAX) return false;
  *data = g_carriedImageStart + kCarriedImageMarkerSize;
  *size = static_cast<uint32_t>(length);
  return true;
}
