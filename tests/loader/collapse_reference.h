// The parent-reference collapse of ResolveRelativePath written out literally: find the first "../",
// stop when there is none or it starts the text, cut the segment before it, rescan from the start.
// Quadratic, so only for checking the one-pass implementation on short texts.
#pragma once

#include <string>

inline std::string LiteralCollapse(std::string s) {
  for (;;) {
    size_t i = s.find("../");
    if (i == std::string::npos || i == 0) return s;
    std::string before = s.substr(0, i - 1);
    size_t slash = before.rfind('/');
    if (slash == std::string::npos) {
      s = s.substr(i + 3);
    } else {
      s = s.substr(0, slash) + s.substr(i + 2);
    }
  }
}
