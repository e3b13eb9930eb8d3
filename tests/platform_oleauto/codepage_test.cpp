// Code-page conversions. Runs in both builds; expectations that depend on the host's ANSI code page
// ask AnsiCodePage() which one is in force.
#include "platform/codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vexa::platform::AnsiCodePage;
using vexa::platform::AnsiToWide;
using vexa::platform::kCodePageUtf8;
using vexa::platform::Utf8ToWide;
using vexa::platform::WideToAnsi;
using vexa::platform::WideToUtf8;

const std::wstring kReplacement(1, static_cast<wchar_t>(0xFFFD));

TEST(Utf8, RoundTripsEveryPlane) {
  // A, e-acute, euro sign, and a character outside the Basic Multilingual Plane (a surrogate pair
  // in 2-byte wide text, one character in 4-byte wide text).
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
  const std::wstring wide = L"A\u00E9\u20AC\U0001F600";
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(WideToUtf8(wide), utf8);
}

TEST(Utf8, KeepsEmbeddedZerosAndEmptyText) {
  const std::string utf8("a\0b", 3);
  const std::wstring wide(L"a\0b", 3);
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(Utf8ToWide(""), L"");
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(Utf8, InvalidBytesBecomeReplacementCharacters) {
  // Whatever the number of replacements, the good text around a bad byte survives.
  const std::wstring w = Utf8ToWide(
      "ab\xFF"
      "cd");
  ASSERT_GE(w.size(), 5u);
  EXPECT_EQ(w.substr(0, 2), L"ab");
  EXPECT_EQ(w.substr(w.size() - 2), L"cd");
  EXPECT_NE(w.find(kReplacement), std::wstring::npos);

  const std::wstring truncated = Utf8ToWide("x\xE2\x82");
  ASSERT_GE(truncated.size(), 2u);
  EXPECT_EQ(truncated[0], L'x');
  EXPECT_NE(truncated.find(kReplacement), std::wstring::npos);
}

TEST(Utf8, UnpairedSurrogatesBecomeReplacementCharacters) {
  const wchar_t lone_high[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  EXPECT_EQ(WideToUtf8(lone_high),
            "a\xEF\xBF\xBD"
            "b");
  const wchar_t lone_low[] = {static_cast<wchar_t>(0xDC00), L'z', 0};
  EXPECT_EQ(WideToUtf8(lone_low),
            "\xEF\xBF\xBD"
            "z");
  const wchar_t high_at_end[] = {L'q', static_cast<wchar_t>(0xDBFF), 0};
  EXPECT_EQ(WideToUtf8(high_at_end), "q\xEF\xBF\xBD");
}

TEST(Utf8, SurrogatePairBecomesOneCharacter) {
  // Written as two code units on purpose: wide text that came from UTF-16 data.
  const wchar_t pair[] = {static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), 0};
  EXPECT_EQ(WideToUtf8(pair), "\xF0\x9F\x98\x80");
}

TEST(Ansi, AsciiIsTheSameInEveryCodePage) {
  EXPECT_EQ(AnsiToWide("Hello, 123!"), L"Hello, 123!");
  EXPECT_EQ(WideToAnsi(L"Hello, 123!"), "Hello, 123!");
  EXPECT_EQ(AnsiToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

TEST(Ansi, NonAsciiFollowsTheCodePage) {
  const std::wstring e_acute = L"\u00E9";
  if (AnsiCodePage() == kCodePageUtf8) {
    EXPECT_EQ(WideToAnsi(e_acute), "\xC3\xA9");
    EXPECT_EQ(AnsiToWide("\xC3\xA9"), e_acute);
    EXPECT_EQ(WideToAnsi(L"\u4E2D"), "\xE4\xB8\xAD");
  } else if (AnsiCodePage() == 1252) {
    EXPECT_EQ(WideToAnsi(e_acute), "\xE9");
    EXPECT_EQ(AnsiToWide("\xE9\x80"), L"\u00E9\u20AC");
    // Characters the code page lacks become its default character.
    EXPECT_EQ(WideToAnsi(L"\u4E2D"), "?");
  } else {
    GTEST_SKIP() << "no expectations for ANSI code page " << AnsiCodePage();
  }
  EXPECT_EQ(AnsiToWide(WideToAnsi(e_acute)), e_acute);
}

}  // namespace
