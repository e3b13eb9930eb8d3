// Text helpers whose mistakes would show as wrong values in scenes or in the browser's texts.
#include "standin/text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace vexa::standin {
namespace {

TEST(TextTest, ParseIntIsStrict) {
  struct Case {
    const char* text;
    bool ok;
    int64_t value;
  } cases[] = {
      {"0", true, 0},
      {"-12", true, -12},
      {"+7", true, 7},
      {"9223372036854775807", true, INT64_MAX},
      {"-9223372036854775808", true, INT64_MIN},
      {"9223372036854775808", false, 0},
      {"99999999999999999999999", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"1.5", false, 0},
      {" 1", false, 0},
      {"1x", false, 0},
  };
  for (const Case& c : cases) {
    int64_t value = 0;
    EXPECT_EQ(ParseInt(c.text, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}

TEST(TextTest, NumbersIgnoreTheLocale) {
  // A host may switch the C locale to one with a decimal comma.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  double value = 0;
  EXPECT_TRUE(ParseNumber("2.5", &value));
  EXPECT_DOUBLE_EQ(value, 2.5);
  EXPECT_EQ(FormatNumber(0.25), "0.25");
  std::setlocale(LC_NUMERIC, saved.c_str());

  EXPECT_TRUE(ParseNumber("-.5", &value));
  EXPECT_DOUBLE_EQ(value, -0.5);
  EXPECT_TRUE(ParseNumber("3.", &value));
  EXPECT_FALSE(ParseNumber(".", &value));
  EXPECT_FALSE(ParseNumber("1e5", &value));
  EXPECT_FALSE(ParseNumber("", &value));
  EXPECT_EQ(FormatNumber(42), "42");
  EXPECT_EQ(FormatNumber(-3), "-3");
  EXPECT_EQ(FormatNumber(1e20), "1e+20");
}

TEST(TextTest, Colours) {
  uint32_t rgb = 0;
  EXPECT_TRUE(ParseColor("#1A2b3C", &rgb));
  EXPECT_EQ(rgb, 0x1A2B3Cu);
  EXPECT_TRUE(ParseColor("#f80", &rgb));
  EXPECT_EQ(rgb, 0xFF8800u);
  EXPECT_TRUE(ParseColor("Navy", &rgb));
  EXPECT_EQ(rgb, 0x000080u);
  EXPECT_FALSE(ParseColor("#12345", &rgb));
  EXPECT_FALSE(ParseColor("#ggg", &rgb));
  EXPECT_FALSE(ParseColor("123456", &rgb));
}

TEST(TextTest, EscapesRoundTrip) {
  EXPECT_EQ(XmlUnescape(XmlEscape("<a href='x'>&\"</a>")), "<a href='x'>&\"</a>");
  EXPECT_EQ(XmlUnescape("&#128512;&#xE9;&#0;&#xD800;&#99999999;"),
            "\xF0\x9F\x98\x80\xC3\xA9&#0;&#xD800;&#99999999;");
  EXPECT_EQ(ScriptStringLiteral("a\"b\\c\n\t\x01"), "\"a\\\"b\\\\c\\n\\t\\x01\"");
  EXPECT_EQ(UrlDecode("a+b%20c%2"), "a b c%2");
  EXPECT_EQ(UrlDecode("%zz%4"), "%zz%4");
}

}  // namespace
}  // namespace vexa::standin
