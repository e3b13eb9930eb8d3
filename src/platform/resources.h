// Access to the resources compiled into the running program.
#pragma once

#include <cstdint>
#include <string>

namespace vexa::platform {

// Looks up string `id` of the program's string table: first in the user's default language with its
// sub-language replaced by the default sub-language, then in US English (1033). Returns false, and
// leaves `out` unchanged, when no such string table block exists. Builds without resources (Linux)
// always return false.
bool LoadStringResource(uint32_t id, std::wstring* out);

}  // namespace vexa::platform
