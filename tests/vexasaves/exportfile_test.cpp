// The export format of vexasaves: quoting, parsing and its errors.
#include "exportfile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

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

// Editors on Windows save text with a byte-order mark (Notepad's "UTF-8" and "Unicode"); an export
// that went through one must still import. The format itself is ASCII, so every one of these holds
// the same export.
TEST(ExportFormat, AByteOrderMarkIsSkipped) {
  const std::string plain = "vexasaves 1\r\nset \"s\"\r\nsave 2 \"d%E9\" \"x\"\r\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char c : plain) {
    le += std::string{c, '\0'};
    be += std::string{'\0', c};
  }
  for (const std::string& text : {"\xEF\xBB\xBF" + plain, le, be}) {
    SCOPED_TRACE(QuoteText(text.substr(0, 4)));
    ExportContents back;
    std::string error;
    ASSERT_TRUE(ParseExport(text, &back, &error)) << error;
    ASSERT_EQ(back.sets.size(), 1u);
    ASSERT_EQ(back.sets[0].saves.size(), 1u);
    EXPECT_EQ(back.sets[0].saves[0].description, "d\xE9");
    EXPECT_EQ(back.sets[0].saves[0].data, "x");
  }
  // UTF-16 text must be whole and ASCII, as every export is.
  const std::pair<std::string, const char*> bad[] = {
      {le.substr(0, 7), "line 1: not a vexasaves export (UTF-16 text cut short)"},
      {std::string("\xFF\xFEv\0\xE9\0", 6),
       "line 1: not a vexasaves export (UTF-16 text that is not ASCII)"},
      {std::string("\xFE\xFF\x01v", 4),
       "line 1: not a vexasaves export (UTF-16 text that is not ASCII)"},
  };
  for (const auto& c : bad) {
    ExportContents back;
    std::string error;
    EXPECT_FALSE(ParseExport(c.first, &back, &error));
    EXPECT_EQ(error, c.second);
  }
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
        BadCase{"vexasaves 1\nsets \"x\"\n", "line 2: unknown item sets"},
        // A byte-order mark counts only at the very start.
        BadCase{"vexasaves 1\n\xEF\xBB\xBFset \"x\"\n", "line 2: unknown item \xEF\xBB\xBFset"}));

}  // namespace
