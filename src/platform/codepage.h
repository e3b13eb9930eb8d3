// Conversions between the host's narrow text and wide text.
//
// Wide text is wchar_t: UTF-16 on Windows (2-byte wchar_t), UTF-32 elsewhere (4-byte wchar_t).
// Narrow text is either UTF-8 or in the "ANSI" code page of the host:
// - Windows: the ANSI code page of the system (CP_ACP, e.g. 1252), converted by the system.
// - Other systems: the ANSI code page is taken to be UTF-8 (code page 65001), which is what their
//   locales use and what keeps every character; AnsiCodePage() reports it.
//
// Every function takes explicit lengths, so embedded zero characters are converted like any other,
// and none of them fails: malformed input is replaced, never rejected.
// - Malformed UTF-8 (stray continuation bytes, truncated or overlong sequences, encoded surrogates,
//   values above U+10FFFF) becomes U+FFFD, one per maximal ill-formed subpart (the Unicode
//   recommendation; Windows may differ in how many U+FFFD it emits for the same bytes).
// - Wide text with unpaired surrogates (or, with 4-byte wchar_t, values above U+10FFFF) becomes
//   U+FFFD in UTF-8. A high/low surrogate pair is combined into one character in either width.
// - Characters the ANSI code page cannot represent become the code page's default character ('?').
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vexa::platform {

constexpr uint32_t kCodePageUtf8 = 65001;

// The code page AnsiToWide and WideToAnsi use.
uint32_t AnsiCodePage();

std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

}  // namespace vexa::platform
