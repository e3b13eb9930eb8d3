// Choices of the non-Windows conversions: the ANSI code page is UTF-8, wide text is UTF-32, and
// malformed UTF-8 is replaced one maximal ill-formed subpart at a time.
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"

namespace {

using vexa::platform::AnsiCodePage;
using vexa::platform::AnsiToWide;
using vexa::platform::Utf8ToWide;
using vexa::platform::WideToAnsi;
using vexa::platform::WideToUtf8;

constexpr wchar_t R = static_cast<wchar_t>(0xFFFD);

TEST(PosixCodePage, AnsiIsUtf8) {
  EXPECT_EQ(AnsiCodePage(), 65001u);
  EXPECT_EQ(AnsiToWide("\xE2\x82\xAC"), L"\u20AC");
  EXPECT_EQ(WideToAnsi(L"\u20AC"), "\xE2\x82\xAC");
}

TEST(PosixCodePage, OneReplacementPerIllFormedSubpart) {
  struct Case {
    const char* bytes;
    std::wstring wide;
  };
  const Case cases[] = {
      {"\x80", {R}},                       // stray continuation byte
      {"\xBF\x80", {R, R}},                // each stray byte on its own
      {"\xC0\xAF", {R, R}},                // overlong lead bytes are never valid
      {"\xE0\x80\xAF", {R, R, R}},         // overlong three-byte form
      {"\xED\xA0\x80", {R, R, R}},         // an encoded surrogate
      {"\xF4\x90\x80\x80", {R, R, R, R}},  // above U+10FFFF
      {"\xF5\x80", {R, R}},                // lead byte that cannot start anything
      {"\xE2\x82", {R}},                   // truncated at the end: one subpart
      {"\xE2\x82"
       "A",
       {R, L'A'}},  // truncated before a new character
      {"\xF0\x9F\x98"
       "\xF0\x9F\x98\x80",
       {R, static_cast<wchar_t>(0x1F600)}},
      {"a\xFF"
       "b",
       {L'a', R, L'b'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Utf8ToWide(c.bytes), c.wide);
  }
}

TEST(PosixCodePage, WideTextIsUtf32) {
  EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80"), std::wstring(1, static_cast<wchar_t>(0x1F600)));
  EXPECT_EQ(Utf8ToWide("\xF4\x8F\xBF\xBF"), std::wstring(1, static_cast<wchar_t>(0x10FFFF)));
  // Values no Unicode character has cannot be written as UTF-8.
  const wchar_t beyond[] = {static_cast<wchar_t>(0x110000), L'x', 0};
  EXPECT_EQ(WideToUtf8(beyond), "\xEF\xBF\xBDx");
}

}  // namespace
