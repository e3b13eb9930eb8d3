// Path spelling shared by the POSIX implementations.
#pragma once

#include <string>

namespace vexa::platform::posix {

// The portable code spells paths the Windows way; POSIX only knows '/'.
inline std::string NativePath(const std::string& path) {
  std::string out = path;
  for (char& c : out) {
    if (c == '\\') c = '/';
  }
  return out;
}

}  // namespace vexa::platform::posix
