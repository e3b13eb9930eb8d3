#pragma once

// ASCII case for names the system compares without case: file and folder names, package entries,
// URL schemes, set and table names. Only 'A'..'Z' and 'a'..'z' fold; every other byte (code page
// letters above 0x7F included) compares exactly, whatever the locale, so a name never matches
// differently on another machine.

#include <cstddef>
#include <string>
#include <string_view>

namespace vexa::platform {

constexpr char ToLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr wchar_t ToLowerAscii(wchar_t c) {
  return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// A copy of `text` with 'A'..'Z' made lower case.
inline std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = ToLowerAscii(c);
  return out;
}

// Whether `a` and `b` are the same text ignoring ASCII case.
constexpr bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
  }
  return true;
}

// Whether the wide `text` is `narrow` (each byte read as the character of that number), ignoring
// ASCII case: for matching command words that arrive as wide text.
constexpr bool EqualsNoCaseAscii(std::wstring_view text, std::string_view narrow) {
  if (text.size() != narrow.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t b = static_cast<wchar_t>(static_cast<unsigned char>(narrow[i]));
    if (ToLowerAscii(text[i]) != ToLowerAscii(b)) return false;
  }
  return true;
}

// Whether `text` begins with `prefix`, ignoring ASCII case.
constexpr bool StartsWithNoCaseAscii(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCaseAscii(text.substr(0, prefix.size()), prefix);
}

// Order ignoring ASCII case: the lowered bytes compared as unsigned, a proper prefix first.
// Negative, zero or positive like strcmp; zero exactly when EqualsNoCaseAscii.
constexpr int CompareNoCaseAscii(std::string_view a, std::string_view b) {
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) {
    const unsigned char x = static_cast<unsigned char>(ToLowerAscii(a[i]));
    const unsigned char y = static_cast<unsigned char>(ToLowerAscii(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

}  // namespace vexa::platform
