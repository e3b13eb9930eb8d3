// Window rectangles for tests, written in one expression.
#pragma once

#include <cstdint>

#include "platform/window.h"

namespace vexa::testing {

inline vexa::platform::WindowRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  vexa::platform::WindowRect rect;
  rect.left = left;
  rect.top = top;
  rect.right = right;
  rect.bottom = bottom;
  return rect;
}

}  // namespace vexa::testing
