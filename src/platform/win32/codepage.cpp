#include "platform/codepage.h"

#include <windows.h>

#include <climits>

namespace vexa::platform {

namespace {

// The system functions take int lengths; longer texts are converted in pieces. A piece boundary
// must not split a character, so pieces end before a UTF-8 lead/continuation run or a high
// surrogate (for DBCS code pages, before a lead byte).
constexpr size_t kPiece = 1u << 26;

size_t NarrowPieceEnd(std::string_view text, size_t start, UINT cp) {
  size_t end = start + kPiece;
  if (end >= text.size()) return text.size();
  if (cp == CP_UTF8) {
    while (end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  } else {
    size_t k = start;
    while (k < end) k += IsDBCSLeadByteEx(cp, static_cast<BYTE>(text[k])) ? 2 : 1;
    if (k > end) end = k - 2;
  }
  return end > start ? end : start + kPiece;
}

size_t WidePieceEnd(std::wstring_view text, size_t start) {
  size_t end = start + kPiece;
  if (end >= text.size()) return text.size();
  if (text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
  return end;
}

std::wstring ToWide(std::string_view text, UINT cp) {
  std::wstring out;
  for (size_t start = 0; start < text.size();) {
    const size_t end = NarrowPieceEnd(text, start, cp);
    const int in_len = static_cast<int>(end - start);
    const int need = MultiByteToWideChar(cp, 0, text.data() + start, in_len, nullptr, 0);
    if (need > 0) {
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(need));
      MultiByteToWideChar(cp, 0, text.data() + start, in_len, &out[at], need);
    }
    start = end;
  }
  return out;
}

std::string ToNarrow(std::wstring_view text, UINT cp) {
  std::string out;
  for (size_t start = 0; start < text.size();) {
    const size_t end = WidePieceEnd(text, start);
    const int in_len = static_cast<int>(end - start);
    const int need =
        WideCharToMultiByte(cp, 0, text.data() + start, in_len, nullptr, 0, nullptr, nullptr);
    if (need > 0) {
      const size_t at = out.size();
      out.resize(at + static_cast<size_t>(need));
      WideCharToMultiByte(cp, 0, text.data() + start, in_len, &out[at], need, nullptr, nullptr);
    }
    start = end;
  }
  return out;
}

}  // namespace

uint32_t AnsiCodePage() {
  return GetACP();
}

std::wstring AnsiToWide(std::string_view text) {
  return ToWide(text, CP_ACP);
}

std::string WideToAnsi(std::wstring_view text) {
  return ToNarrow(text, CP_ACP);
}

std::wstring Utf8ToWide(std::string_view text) {
  return ToWide(text, CP_UTF8);
}

std::string WideToUtf8(std::wstring_view text) {
  return ToNarrow(text, CP_UTF8);
}

}  // namespace vexa::platform
