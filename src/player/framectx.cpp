#include "player/framectx.h"

#include <string>

#include "platform/clock.h"
#include "platform/codepage.h"

namespace vexa::player {

HRESULT FormatCurrentTime(CSmallWStr* text) {
  if (!text) return E_POINTER;
  std::string ansi;
  if (!vexa::platform::FormatLocalTimeNoSeconds(&ansi)) return E_FAIL;
  const std::wstring wide = vexa::platform::AnsiToWide(ansi);
  *text = CSmallWStr(wide.c_str(), static_cast<int>(wide.size()));
  return S_OK;
}

}  // namespace vexa::player
