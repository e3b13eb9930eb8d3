// The export format of vexasaves: quoting, parsing and its errors.
#include "exportfile.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ExportQuoting, EveryByteSurvivesAndOnlyPrintableAsciiStaysReadable) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  const std::string quoted = QuoteText(all);
  for (char c : quoted.substr(1, quoted.size() - 2)) {
    EXPECT_TRUE(c >= 0x20 && c <= 0x7E && c != '"') << static_cast<int>(c);
  }
  std::string back;
  ASSERT_TRUE(UnquoteText(quoted, &back));
  EXPECT_EQ(back, all);
  EXPECT_EQ(QuoteText("a \"b\" 100%"), "\"a %22b%22 100%25\"");
  EXPECT_EQ(QuoteText(""), "\"\"");
}

TEST(ExportQuoting, MalformedFieldsAreRefused) {
  std::string out = "kept";
  for (const char* field :
       {"", "\"", "abc", "\"abc", "abc\"", "\"a\"b\"", "\"%\"", "\"%4\"", "\"%4G\"", "\"%G4\""}) {
    EXPECT_FALSE(UnquoteText(field, &out)) << field;
  }
  EXPECT_EQ(out, "kept");
  ASSERT_TRUE(UnquoteText("\"%41%62\"", &out));
  EXPECT_EQ(out, "Ab");
}

TEST(ExportFormat, RoundTrip) {
  ExportContents contents;
  contents.sets.push_back({"saves", {{1, "Level 1", "data"}, {-3, "", "\n\t\x01\xFF"}}});
  contents.sets.push_back({"empty", {}});
  contents.tables.push_back({"Main", {"100", "", "3 5"}});
  contents.scopes.push_back({".DEFAULT", {{"a", "1"}, {"", ""}}});
  const std::string text = WriteExport(contents);
  ExportContents back;
  std::string error;
  ASSERT_TRUE(ParseExport(text, &back, &error)) << error;
  EXPECT_EQ(WriteExport(back), text);
  ASSERT_EQ(back.sets.size(), 2u);
  EXPECT_EQ(back.sets[0].saves[1].slot, -3);
  EXPECT_EQ(back.sets[0].saves[1].data, "\n\t\x01\xFF");
  EXPECT_EQ(back.scopes[0].values.at(""), "");
}

TEST(ExportFormat, WindowsLineEndingsCommentsAndBlankLinesAreFine) {
  ExportContents back;
  std::string error;
  ASSERT_TRUE(ParseExport(
      "# made by hand\r\n\r\nvexasaves 1\r\nset \"s\"\r\nsave 2 \"d\" \"x\"\r\n", &back, &error))
      << error;
  ASSERT_EQ(back.sets.size(), 1u);
  EXPECT_EQ(back.sets[0].saves[0].data, "x");
}

struct BadCase {
  const char* text;
  const char* error;
};

class ExportErrorTest : public ::testing::TestWithParam<BadCase> {};

TEST_P(ExportErrorTest, NamesTheLineAndTheProblem) {
  ExportContents contents;
  std::string error;
  EXPECT_FALSE(ParseExport(GetParam().text, &contents, &error));
  EXPECT_EQ(error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExportErrorTest,
    ::testing::Values(
        BadCase{"", "line 1: not a vexasaves export (empty)"},
        BadCase{"vexasaves 2\n",
                "line 1: not a vexasaves export (the first line must be "
                "\"vexasaves 1\")"},
        BadCase{"vexasaves 1\nsave 1 \"a\" \"b\"\n", "line 2: save outside a set"},
        BadCase{"vexasaves 1\nscore \"1\"\n", "line 2: score outside a table"},
        BadCase{"vexasaves 1\nvalue \"a\" \"b\"\n", "line 2: value outside a scope"},
        BadCase{"vexasaves 1\nset \"s\"\nsave x \"a\" \"b\"\n", "line 3: bad slot number x"},
        BadCase{"vexasaves 1\nset \"s\"\nsave 2147483648 \"a\" \"b\"\n",
                "line 3: bad slot number 2147483648"},
        BadCase{"vexasaves 1\nset \"s\"\nsave 1 \"a\"\n",
                "line 3: save needs a slot, a description and data"},
        BadCase{"vexasaves 1\nset \"s\nx\"\n", "line 2: a quote is not closed"},
        BadCase{"vexasaves 1\nset s\n", "line 2: bad quoted text s"},
        BadCase{"vexasaves 1\nset \"a\" \"b\"\n", "line 2: set needs one name"},
        BadCase{"vexasaves 1\nscope \"x\"\nvalue \"a\"\n", "line 3: value needs a name and a text"},
        BadCase{"vexasaves 1\nsets \"x\"\n", "line 2: unknown item sets"}));

}  // namespace
