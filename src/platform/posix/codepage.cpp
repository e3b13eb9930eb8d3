#include "platform/codepage.h"

namespace vexa::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendWide(std::wstring* out, char32_t cp) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out->push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
      out->push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
      return;
    }
  }
  out->push_back(static_cast<wchar_t>(cp));
}

void AppendUtf8(std::string* out, char32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

}  // namespace

uint32_t AnsiCodePage() {
  return kCodePageUtf8;
}

std::wstring Utf8ToWide(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      out.push_back(static_cast<wchar_t>(b));
      ++i;
      continue;
    }
    // Length of the sequence and the allowed range of its second byte (which is what rules out
    // overlong forms, surrogates and values above U+10FFFF).
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    char32_t cp = 0;
    if (b >= 0xC2 && b <= 0xDF) {
      len = 2, cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3, cp = b & 0x0F;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4, cp = b & 0x07;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.push_back(static_cast<wchar_t>(kReplacement));
      ++i;
      continue;
    }
    size_t k = 1;
    for (; k < len; ++k) {
      if (i + k >= n) break;
      const unsigned char c = s[i + k];
      const unsigned char min = k == 1 ? lo : 0x80;
      const unsigned char max = k == 1 ? hi : 0xBF;
      if (c < min || c > max) break;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (k == len) {
      AppendWide(&out, cp);
    } else {
      // The valid prefix read so far is one ill-formed subpart; the byte that broke it starts over.
      out.push_back(static_cast<wchar_t>(kReplacement));
    }
    i += k;
  }
  return out;
}

std::string WideToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  const size_t n = text.size();
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = static_cast<char32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) cp &= 0xFFFF;
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
      const char32_t next =
          static_cast<char32_t>(text[i + 1]) & (sizeof(wchar_t) == 2 ? 0xFFFF : ~0u);
      if (next >= 0xDC00 && next <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      }
    }
    if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
    AppendUtf8(&out, cp);
  }
  return out;
}

std::wstring AnsiToWide(std::string_view text) {
  return Utf8ToWide(text);
}

std::string WideToAnsi(std::wstring_view text) {
  return WideToUtf8(text);
}

}  // namespace vexa::platform
