#include "platform/decimal.h"

#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

using vexa::platform::DecimalRead;
using vexa::platform::DecimalSpace;
using vexa::platform::DecimalValue;
using vexa::platform::ReadDecimal;

struct DecimalCase {
  const char* name;
  std::string_view text;
  int32_t value;
  size_t end;
  bool digits;
};

constexpr DecimalCase kCases[] = {
    {"Empty", "", 0, 0, false},
    {"OnlySpace", " \t ", 0, 0, false},
    {"Plain", "42", 42, 2, true},
    {"Zero", "0", 0, 1, true},
    {"EverySpaceThenSign", " \t\n\v\f\r-17", -17, 9, true},
    {"PlusSign", "+5", 5, 2, true},
    {"SignAlone", "-", 0, 0, false},
    {"TwoSigns", "+-3", 0, 0, false},
    {"SpaceAfterSign", "- 3", 0, 0, false},
    {"TrailingText", "12abc", 12, 2, true},
    {"SecondNumberIgnored", "1 2", 1, 1, true},
    {"HexPrefixStopsAtX", "0x1F", 0, 1, true},
    {"Letters", "abc", 0, 0, false},
    {"LeadingZeros", "-000000000000000000000000012", -12, 28, true},
    {"Largest", "2147483647", INT32_MAX, 10, true},
    {"OnePastLargest", "2147483648", INT32_MAX, 10, true},
    {"Smallest", "-2147483648", INT32_MIN, 11, true},
    {"OnePastSmallest", "-2147483649", INT32_MIN, 11, true},
    {"FarPastLargest", "99999999999999999999999999", INT32_MAX, 26, true},
    {"FarPastSmallest", "-99999999999999999999999999x", INT32_MIN, 27, true},
    {"PastSixtyFourBits", "184467440737095516160", INT32_MAX, 21, true},
    {"NonAsciiSpaceNotSkipped",
     "\xA0"
     "5",
     0, 0, false},
    {"EmbeddedNulEnds",
     std::string_view("7\0"
                      "8",
                      3),
     7, 1, true},
};

class DecimalTest : public testing::TestWithParam<DecimalCase> {};

TEST_P(DecimalTest, ReadsNarrowText) {
  const DecimalCase& c = GetParam();
  const DecimalRead read = ReadDecimal(c.text);
  EXPECT_EQ(read.value, c.value);
  EXPECT_EQ(read.end, c.end);
  EXPECT_EQ(read.digits, c.digits);
  EXPECT_EQ(DecimalValue(c.text), c.value);
}

// The same text widened character by character reads the same way (FSCommand arguments arrive
// wide).
TEST_P(DecimalTest, ReadsWideText) {
  const DecimalCase& c = GetParam();
  std::wstring wide;
  for (char ch : c.text) wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(ch)));
  const DecimalRead read = ReadDecimal(std::wstring_view(wide));
  EXPECT_EQ(read.value, c.value);
  EXPECT_EQ(read.end, c.end);
  EXPECT_EQ(read.digits, c.digits);
  EXPECT_EQ(DecimalValue(std::wstring_view(wide)), c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, DecimalTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<DecimalCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(DecimalSpaceTest, WithoutSkippingSpaceLeadingSpaceMeansNoNumber) {
  EXPECT_FALSE(ReadDecimal(" 5", DecimalSpace::kNone).digits);
  EXPECT_FALSE(ReadDecimal(std::wstring_view(L"\t5"), DecimalSpace::kNone).digits);
  const DecimalRead read = ReadDecimal("-5 ", DecimalSpace::kNone);
  EXPECT_TRUE(read.digits);
  EXPECT_EQ(read.value, -5);
  EXPECT_EQ(read.end, 2u);
}

TEST(DecimalWideTest, OnlyAsciiDigitsAndSpaceCount) {
  // Full-width digit five, and an ideographic space before an ASCII digit.
  EXPECT_FALSE(ReadDecimal(std::wstring_view(L"\xFF15")).digits);
  EXPECT_FALSE(ReadDecimal(std::wstring_view(L"\x3000"
                                             L"5"))
                   .digits);
  // A wide character whose low byte is a digit is not a digit.
  EXPECT_FALSE(ReadDecimal(std::wstring_view(L"\x0135")).digits);
}

TEST(DecimalCStringTest, NullReadsAsEmpty) {
  EXPECT_EQ(DecimalValue(static_cast<const char*>(nullptr)), 0);
  EXPECT_EQ(DecimalValue(static_cast<const wchar_t*>(nullptr)), 0);
  EXPECT_EQ(DecimalValue("  -2147483649"), INT32_MIN);
  EXPECT_EQ(DecimalValue(L"  +2147483648"), INT32_MAX);
}

// Usable where a constant is needed.
static_assert(DecimalValue("  -12x") == -12);

}  // namespace
