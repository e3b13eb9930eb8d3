#include "platform/ascii.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "platform/devicename.h"

namespace {

using vexa::platform::CompareNoCaseAscii;
using vexa::platform::EqualsNoCaseAscii;
using vexa::platform::IsDeviceName;
using vexa::platform::LowerAscii;
using vexa::platform::StartsWithNoCaseAscii;
using vexa::platform::ToLowerAscii;

TEST(AsciiCaseTest, OnlyAsciiLettersFold) {
  EXPECT_EQ(LowerAscii("Save_1.DAT"), "save_1.dat");
  // '@' and '[' sit just outside 'A'..'Z'; code page letters (E acute, A grave in 1252) stay.
  EXPECT_EQ(LowerAscii("@[`{\xC9\xC0"), "@[`{\xC9\xC0");
  EXPECT_EQ(LowerAscii(std::string_view("A\0B", 3)), std::string("a\0b", 3));
  EXPECT_EQ(ToLowerAscii(L'Q'), L'q');
  EXPECT_EQ(ToLowerAscii(L'\x00C9'), L'\x00C9');
  // A wide character whose low byte is an upper-case letter is not one.
  EXPECT_EQ(ToLowerAscii(L'\x0141'), L'\x0141');
}

TEST(AsciiCaseTest, EqualityIgnoresAsciiCaseOnly) {
  EXPECT_TRUE(EqualsNoCaseAscii("BSTSCORE.DAT", "bstscore.dat"));
  EXPECT_TRUE(EqualsNoCaseAscii("", ""));
  EXPECT_FALSE(EqualsNoCaseAscii("abc", "abcd"));
  EXPECT_FALSE(EqualsNoCaseAscii("\xC9t\xC9", "\xE9t\xE9"));
  EXPECT_FALSE(EqualsNoCaseAscii("a@", "a`"));
}

TEST(AsciiCaseTest, WideTextAgainstNarrowWord) {
  EXPECT_TRUE(EqualsNoCaseAscii(std::wstring_view(L"On"), "on"));
  EXPECT_TRUE(EqualsNoCaseAscii(std::wstring_view(L"TRUE"), "true"));
  EXPECT_FALSE(EqualsNoCaseAscii(std::wstring_view(L"on "), "on"));
  EXPECT_FALSE(EqualsNoCaseAscii(std::wstring_view(L""), "on"));
  // U+014F has the low byte of 'O': only the whole character counts.
  EXPECT_FALSE(EqualsNoCaseAscii(std::wstring_view(L"\x014Fn"), "on"));
  // A narrow byte above 0x7F stands for the character of that number, compared exactly.
  EXPECT_TRUE(EqualsNoCaseAscii(std::wstring_view(L"\x00E9"), "\xE9"));
  EXPECT_FALSE(EqualsNoCaseAscii(std::wstring_view(L"\x00C9"), "\xE9"));
}

TEST(AsciiCaseTest, PrefixIgnoresAsciiCase) {
  EXPECT_TRUE(StartsWithNoCaseAscii("VEXA://pak/x", "vexa://"));
  EXPECT_TRUE(StartsWithNoCaseAscii("abc", ""));
  EXPECT_FALSE(StartsWithNoCaseAscii("ve", "vexa"));
  EXPECT_FALSE(StartsWithNoCaseAscii("vexb://", "vexa"));
}

TEST(AsciiCaseTest, OrderComparesLoweredBytesUnsigned) {
  struct Case {
    std::string_view a, b;
    int sign;
  };
  const Case cases[] = {
      {"abc", "ABC", 0},
      {"Apple", "banana", -1},
      {"apple", "BANANA", -1},
      {"ab", "abc", -1},
      {"abc", "AB", 1},
      // '_' (0x5F) sorts after 'Z' but before 'a': folding decides which side it falls on.
      {"_", "a", -1},
      {"_", "A", -1},
      // Bytes above 0x7F sort after ASCII, not before as a signed char would.
      {"\xE9", "z", 1},
  };
  for (const Case& c : cases) {
    const int got = CompareNoCaseAscii(c.a, c.b);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.a << " vs " << c.b;
    const int back = CompareNoCaseAscii(c.b, c.a);
    EXPECT_EQ((back > 0) - (back < 0), -c.sign) << c.b << " vs " << c.a;
  }
}

TEST(DeviceNameTest, NamesThatOpenADevice) {
  for (std::string_view name :
       {"CON", "con", "Prn", "AUX", "nul", "CONIN$", "conout$", "CLOCK$", "COM1", "com0", "LPT9",
        "nul.txt", "NUL ", "LPT9 .log", "con.tar.gz", "COM\xB9", "lpt\xB2", "com\xB3.x"}) {
    EXPECT_TRUE(IsDeviceName(name)) << name;
  }
}

TEST(DeviceNameTest, NamesThatAreFiles) {
  for (std::string_view name : {"", "CONSOLE", "con1", "COM", "COM10", "LPTX", "COM\xB4", " con",
                                "nul_", "xnul.txt", "my con", ".con", "CONIN", "clock"}) {
    EXPECT_FALSE(IsDeviceName(name)) << name;
  }
}

static_assert(vexa::platform::IsDeviceName("Nul.dat"));

}  // namespace
