// Access to the resources compiled into the running program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vexa::platform {

// Looks up string `id` of the program's string table: first in the user's default language with its
// sub-language replaced by the default sub-language, then in US English (1033). Returns false, and
// leaves `out` unchanged, when no such string table block exists. Builds without resources (Linux)
// always return false.
bool LoadStringResource(uint32_t id, std::wstring* out);

// A resource of the running program with a named type and a name, both ASCII ("VEXAPACKAGE",
// "DATA.PAK"); names compare ignoring ASCII case, as the Windows loader compares them. Any language
// is taken. On success *data points into the program's own image, valid for the life of the
// process, and *size holds its length. Returns false, leaving the outputs unchanged, when there is
// no such resource, for null arguments, and always in builds without resources (Linux).
bool FindProgramResource(const char* type, const char* name, const uint8_t** data, uint32_t* size);

// The names of every resource of the named type `type`, as the program stores them (resource
// compilers store names in upper case). Numbered resources are left out. Empty when there are none.
std::vector<std::string> ListProgramResources(const char* type);

}  // namespace vexa::platform
