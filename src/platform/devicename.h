#pragma once

// Names Windows opens as a device in every folder instead of a file. A name the game supplies (a
// save set, a data folder, a path segment) must never be one of them.

#include <string_view>

#include "platform/ascii.h"

namespace vexa::platform {

// True when `name` (one path segment, in the ANSI code page) opens a device: CON, PRN, AUX, NUL,
// CONIN$, CONOUT$, CLOCK$, or COM / LPT followed by a digit or by one of the superscript digits
// 1, 2, 3 of code page 1252, ignoring ASCII case. Windows reads only the part before the first
// dot, without its trailing spaces, so "nul.txt" and "COM1 .log" are devices too.
constexpr bool IsDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"con", "prn", "aux", "nul", "conin$", "conout$", "clock$"}) {
    if (EqualsNoCaseAscii(base, device)) return true;
  }
  if (base.size() == 4 &&
      (StartsWithNoCaseAscii(base, "com") || StartsWithNoCaseAscii(base, "lpt"))) {
    const unsigned char d = static_cast<unsigned char>(base[3]);
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
  }
  return false;
}

}  // namespace vexa::platform
