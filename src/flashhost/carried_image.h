// The plug-in library the executable carries inside itself.
//
// A program finds it in one of two places, in this order:
//  - the resource "NPAPI" of the type "VEXAPLUGIN" (data/carried.h): the player program carries its
//    plug-in this way, so that vexaship can replace it in a copy of the executable;
//  - the section below, which test programs and native builds use.
//
// The build places the plug-in file, byte for byte, between two 16-byte markers in a section of the
// executable named ".vexapl" (src/flashhost/CMakeLists.txt: vexa_carry_plugin). Each marker is the
// 32-bit little-endian value 0x12345678 followed by 12 zero bytes; the image is exactly what lies
// between them, so its length is (end marker address) - (start marker address) - 16.
//
// Every executable that links vexa_flashhost carries one image: the library vexa_plugin_image
// supplies the configured plug-in (VEXA_PLUGIN_DLL, by default the project's stand-in) unless the
// executable carries its own through vexa_carry_plugin.
#pragma once

#include <cstdint>

inline constexpr uint32_t kCarriedImageMarkerValue = 0x12345678;
inline constexpr uint32_t kCarriedImageMarkerSize = 16;

// The carried plug-in file. The bytes are part of the executable's own image and stay valid for the
// life of the process. Returns false, leaving the outputs untouched, when the image is empty or a
// marker does not hold the expected bytes (a build that carries no plug-in). Null outputs give
// false.
bool GetCarriedPluginImage(const uint8_t** data, uint32_t* size);
