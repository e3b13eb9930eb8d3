#include "platform/clock.h"

#include <windows.h>

#include <string>

#include "platform/codepage.h"

namespace vexa::platform {

uint32_t TickCount() {
  return GetTickCount();
}

bool FormatLocalTimeNoSeconds(std::string* text) {
  if (!text) return false;
  // The locale decides the length (AM/PM designators can be long): ask for it first.
  const int needed =
      GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, nullptr, 0);
  if (needed <= 0) return false;
  std::wstring buffer(static_cast<size_t>(needed), L'\0');
  const int written =
      GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, nullptr, nullptr, &buffer[0], needed);
  if (written <= 0) return false;
  // The count includes the terminator.
  buffer.resize(static_cast<size_t>(written - 1));
  *text = WideToAnsi(buffer);
  return true;
}

}  // namespace vexa::platform
