// Running another program and waiting for it (the author tools call makensis, osslsigncode and
// signtool this way).
#pragma once

#include <string>
#include <vector>

namespace vexa::platform {

// Runs `argv[0]` (a path, or a name looked up on the PATH) with the arguments `argv[1..]`, passed
// to it exactly (no shell: nothing is expanded or split), standard input empty, and waits for it.
// Standard output and standard error together go to *output when it is not null (else they are
// discarded). Strings are in the encoding of platform/files.h. Returns true when the program ran,
// with its exit status in *exit_code; false, with *error naming the reason, when it could not be
// started (not found, not executable).
bool RunProgram(const std::vector<std::string>& argv, int* exit_code, std::string* output,
                std::string* error);

// Whether `name` (no folder) is a program on the PATH, or `name` with a folder is an executable
// file.
bool FindProgram(const std::string& name, std::string* path);

}  // namespace vexa::platform
