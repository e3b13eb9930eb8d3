#include "script/smallstr.h"

#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/resources.h"

namespace smallstr_detail {

std::string WideToLocale(const wchar_t* text) {
  std::string out;
  if (!text) return out;
  std::mbstate_t state{};
  char buffer[MB_LEN_MAX];
  for (const wchar_t* p = text; *p; ++p) {
    size_t n = std::wcrtomb(buffer, *p, &state);
    if (n == static_cast<size_t>(-1)) break;
    out.append(buffer, n);
  }
  return out;
}

std::wstring LocaleToWide(const char* text) {
  std::wstring out;
  if (!text) return out;
  std::mbstate_t state{};
  const char* p = text;
  size_t left = std::strlen(text);
  while (left > 0) {
    wchar_t wc = 0;
    size_t n = std::mbrtowc(&wc, p, left, &state);
    if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2)) break;
    if (n == 0) break;
    out.push_back(wc);
    p += n;
    left -= n;
  }
  return out;
}

std::u16string WideToUtf16Units(const wchar_t* text, size_t length) {
  std::u16string out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if (sizeof(wchar_t) == 2 || c < 0x10000) {
      out.push_back(static_cast<char16_t>(c));
    } else if (c <= 0x10FFFF) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(u'\xFFFD');
    }
  }
  return out;
}

std::wstring Utf16UnitsToWide(const char16_t* units, size_t length) {
  std::wstring out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    uint32_t c = units[i];
    if (sizeof(wchar_t) == 4 && c >= 0xD800 && c < 0xDC00 && i + 1 < length &&
        units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      ++i;
    }
    out.push_back(static_cast<wchar_t>(c));
  }
  return out;
}

bool LoadResourceText(uint32_t id, std::string* out) {
  std::wstring wide;
  if (!vexa::platform::LoadStringResource(id, &wide)) return false;
  *out = WideToLocale(wide.c_str());
  return true;
}

}  // namespace smallstr_detail
