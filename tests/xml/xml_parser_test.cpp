#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "script/xml.h"
#include "xml/xml_test_util.h"

using xmltest::Dump;
using xmltest::ParentsConsistent;

namespace {

struct ParseCase {
  const char* label;
  const char* text;
  const char* tree;  // Dump of the root after a successful parse
};

const ParseCase kParseCases[] = {
    {"simple", "<a x=\"1\" y='2'>hi<b/></a>", "a[x=1;y=2]{hi}(b)"},
    {"declaration_bom_and_comments_before_root",
     "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- head -->\n<!--two--><root "
     "k=\"v\"/>",
     "root[k=v]"},
    {"end_tag_name_is_not_checked", "<a><b/></c><d/>", "a(b)"},
    {"gt_inside_second_value_ends_the_tag", "<a x=\"1\" y=\"2>3\">rest</a>", "a[x=1]{3\">rest}"},
    {"line_break_after_name_joins_the_name", "<a\nx=\"1\">t</a>", "a\nx=\"1\"{t}"},
    {"tab_after_name_joins_the_name", "<a\tx=\"1\"/>", "a\tx=\"1\""},
    {"text_after_empty_tag_with_attributes", "<r><b x=\"1\"/>hello<c/></r>", "r(b[x=1]{hello},c)"},
    {"text_after_empty_tag_with_space", "<r><b />hello<c/></r>", "r(b{hello},c)"},
    {"text_after_bare_empty_tag_is_dropped", "<r><b/>hello<c/></r>", "r(b,c)"},
    {"entity_references_stay_as_written", "<a v=\"&lt;&amp;&#65;\">&gt;</a>",
     "a[v=&lt;&amp;&#65;]{&gt;}"},
    {"doctype_is_an_element", "<!DOCTYPE game SYSTEM \"g.dtd\"><root/>", "!DOCTYPE(root)"},
    {"cdata_is_an_element", "<r><![CDATA[a<b]]></r>", "r(![CDATA[a<b]])"},
    {"text_is_trimmed", "<a> \t\r\n hi  there \n<b/>tail</a>", "a{hi  there}(b)"},
    {"only_text_after_start_tag_is_kept", "<a>x<b/>y<c/>z</a>", "a{x}(b,c)"},
    {"white_space_text_is_no_text", "<a>  \n <b/></a>", "a(b)"},
    {"attribute_names_are_trimmed", "<a   x  =\"1\"\n\ty='2' />", "a[x=1;y=2]"},
    {"repeated_name_keeps_first", "<a x=\"1\" x=\"2\"/>", "a[x=1]"},
    {"repeated_name_without_space_replaces", "<a x=\"1\"x=\"2\"/>", "a[x=2]"},
    {"values_hold_equals_and_other_quote", "<a x=\"k='v'=w\" y='say \"hi\"'/>",
     "a[x=k='v'=w;y=say \"hi\"]"},
    {"empty_value", "<a x=\"\"/>", "a[x=]"},
    {"missing_quote_stops_attributes", "<a x=\"1\" y=2 z>t</a>", "a[x=1]{t}"},
    {"unterminated_quote_stops_attributes", "<a x=\"1\" y=\"2>t</a>", "a[x=1]{t}"},
    {"unquoted_value_takes_next_quoted_text", "<a y=2 z=\"3\"/>", "a[y=3]"},
    {"words_before_a_name_join_the_name", "<a selected x=\"1\"/>", "a[selected x=1]"},
    {"unclosed_elements_nest", "<a><b><c>", "a(b(c))"},
    {"siblings_and_nesting", "<r><a><b/></a><c x=\"1\"></c></r>", "r(a(b),c[x=1])"},
    {"comments_and_instructions_between_children",
     "<r><!-- x <y/> --><a/><?pi <z/> ?><b/><!----></r>", "r(a,b)"},
    {"anything_after_root_is_ignored", "<a/><b/>junk", "a"},
    {"text_before_root_is_skipped", "garbage > here <a/>", "a"},
    {"space_after_lt_gives_empty_name", "< k=\"1\"/>", "[k=1]"},
    {"slash_before_space_is_a_bare_empty_tag", "<a/ x=\"1\"><b/>", "a"},
    {"end_tag_inside_child_closes_innermost", "<r><a><b></x><c/></y><d/></r>", "r(a(b,c),d)"},
};

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, BuildsTree) {
  const ParseCase& c = GetParam();
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument(c.text), 1);
  EXPECT_EQ(Dump(*parser.GetRoot()), c.tree);
  EXPECT_EQ(parser.GetRoot()->GetParent(), nullptr);
  EXPECT_TRUE(ParentsConsistent(*parser.GetRoot()));
}

INSTANTIATE_TEST_SUITE_P(Xml, ParseTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.label); });

struct FailCase {
  const char* label;
  const char* text;
};

const FailCase kFailCases[] = {
    {"empty", ""},
    {"no_tag", "plain text only"},
    {"end_tag_first", "</a><b/>"},
    {"end_tag_after_comment", "<!-- c --></a>"},
    {"lone_lt", "<"},
    {"name_runs_to_the_end", "<abc"},
    {"start_tag_without_gt", "<a x='1'"},
    {"unterminated_comment", "<!-- open <a/>"},
    {"comment_closer_inside_opener_does_not_count", "<!-->"},
    {"unterminated_instruction", "<?xml version='1.0' <a/>"},
    {"instruction_closer_inside_opener_does_not_count", "<?>"},
};

class ParseFailTest : public ::testing::TestWithParam<FailCase> {};

TEST_P(ParseFailTest, ReturnsZero) {
  CXMLParser parser;
  EXPECT_EQ(parser.ParseDocument(GetParam().text), 0);
  EXPECT_EQ(parser.GetRoot()->GetChildCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Xml, ParseFailTest, ::testing::ValuesIn(kFailCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(XmlParser, NullTextFails) {
  CXMLParser parser;
  EXPECT_EQ(parser.ParseDocument(nullptr), 0);
}

TEST(XmlParser, NewDocumentReplacesEverythingOfThePrevious) {
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument("<a t=\"1\">old text<b/></a>"), 1);
  ASSERT_EQ(parser.ParseDocument("<c/>"), 1);
  EXPECT_EQ(Dump(*parser.GetRoot()), "c");

  ASSERT_EQ(parser.ParseDocument("<a t=\"1\">old text<b/></a>"), 1);
  EXPECT_EQ(parser.ParseDocument("no document"), 0);
  EXPECT_EQ(Dump(*parser.GetRoot()), "");
}

TEST(XmlParser, StartTagWithoutEndKeepsWhatWasReadOfTheRoot) {
  // The root is the parser's own element: a failure after its name was read leaves the name.
  CXMLParser parser;
  EXPECT_EQ(parser.ParseDocument("<a x='1'"), 0);
  EXPECT_EQ(Dump(*parser.GetRoot()), "a");
}

TEST(XmlParser, ChildWithoutTagEndEndsTheParentQuietly) {
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument("<r><a/><b x='1'"), 1);
  EXPECT_EQ(Dump(*parser.GetRoot()), "r(a)");
}

TEST(XmlParser, AcceptsNamesAndValuesLongerThanAnyFixedBuffer) {
  const std::string tag(5000, 'n');
  const std::string attr(5000, 'k');
  const std::string value(5000, 'v');
  const std::string text(5000, 't');
  const std::string doc =
      "<" + tag + " " + attr + "=\"" + value + "\">" + text + "<" + tag + "/></" + tag + ">";
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument(doc.c_str()), 1);
  const CXMLElement* root = parser.GetRoot();
  EXPECT_EQ(root->GetName().str(), tag);
  CSmallStr got;
  ASSERT_EQ(root->GetAttribute(attr.c_str(), got), 1);
  EXPECT_EQ(got.str(), value);
  EXPECT_EQ(root->GetText().str(), text);
  ASSERT_EQ(root->GetChildCount(), 1u);
  EXPECT_EQ(root->GetChild(0)->GetName().str(), tag);
}

// Nesting
// ------------------------------------------------------------------------------------------

std::string Nested(int levels, bool closed) {
  std::string doc;
  for (int i = 0; i < levels; ++i) doc += "<a>";
  if (closed) {
    for (int i = 0; i < levels; ++i) doc += "</a>";
  }
  return doc;
}

int ChainDepth(const CXMLElement* e) {
  int depth = 1;
  while (e->GetChildCount() == 1) {
    e = e->GetChild(0);
    ++depth;
  }
  return depth;
}

TEST(XmlParser, NestingUpToTheLimitParses) {
  for (bool closed : {false, true}) {
    CXMLParser parser;
    std::string doc = Nested(CXMLParser::kMaxNestingDepth, closed);
    ASSERT_EQ(parser.ParseDocument(doc.c_str()), 1) << closed;
    EXPECT_EQ(ChainDepth(parser.GetRoot()), CXMLParser::kMaxNestingDepth);
  }
  CXMLParser parser;
  std::string doc = Nested(CXMLParser::kMaxNestingDepth - 1, false) + "<b x='1'/>";
  ASSERT_EQ(parser.ParseDocument(doc.c_str()), 1);
  EXPECT_EQ(ChainDepth(parser.GetRoot()), CXMLParser::kMaxNestingDepth);
}

TEST(XmlParser, NestingBeyondTheLimitFailsAndLeavesNothing) {
  struct DeepCase {
    const char* label;
    std::string doc;
  };
  const DeepCase cases[] = {
      {"one_level_too_many", Nested(CXMLParser::kMaxNestingDepth + 1, true)},
      {"bare_empty_tag_one_too_deep", Nested(CXMLParser::kMaxNestingDepth, false) + "<b/>"},
      {"hostile_unclosed", Nested(100000, false)},
      {"hostile_closed", Nested(100000, true)},
      {"hostile_after_siblings", "<r><x/><y>t</y>" + Nested(100000, false)},
  };
  for (const DeepCase& c : cases) {
    CXMLParser parser;
    ASSERT_EQ(parser.ParseDocument("<old k='v'>text<child/></old>"), 1);
    EXPECT_EQ(parser.ParseDocument(c.doc.c_str()), 0) << c.label;
    EXPECT_EQ(Dump(*parser.GetRoot()), "") << c.label;
    // The parser stays usable after refusing a document.
    EXPECT_EQ(parser.ParseDocument("<r><a/></r>"), 1) << c.label;
    EXPECT_EQ(Dump(*parser.GetRoot()), "r(a)") << c.label;
  }
}

TEST(XmlParser, SiblingsAreNotNesting) {
  std::string doc = "<r>";
  for (int i = 0; i < 100000; ++i) doc += "<a x='1'>t</a>";
  doc += "</r>";
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument(doc.c_str()), 1);
  EXPECT_EQ(parser.GetRoot()->GetChildCount(), 100000u);
}

// The single steps
// ------------------------------------------------------------------------------------

TEST(XmlParser, ParseElementCursorPositions) {
  struct CursorCase {
    const char* label;
    const char* text;
    int result;
    const char* rest;  // the text at the cursor afterwards
  };
  const CursorCase cases[] = {
      {"bare_empty_tag", "<a/>rest", 1, "rest"},
      {"empty_tag_with_attributes", "<a x='1'/>rest", 1, "rest"},
      // An element with content leaves the cursor on its own end tag's slash.
      {"element_with_end_tag", "<a x='1'>t</a>rest", 1, "/a>rest"},
      {"end_tag", "  <!-- c --></x><y/>", 0, "/x><y/>"},
      {"nothing", "just text", 0, "just text"},
      {"tag_without_end", "<a x='1'", 0, "<a x='1'"},
  };
  for (const CursorCase& c : cases) {
    CXMLParser parser;
    CXMLElement parent;
    const char* cursor = c.text;
    EXPECT_EQ(parser.ParseElement(&cursor, &parent), c.result) << c.label;
    EXPECT_STREQ(cursor, c.rest) << c.label;
    EXPECT_EQ(parent.GetChildCount(), static_cast<size_t>(c.result)) << c.label;
    if (c.result) {
      EXPECT_EQ(parent.GetChild(0)->GetParent(), &parent) << c.label;
    }
  }
}

TEST(XmlParser, ParseAttributesStaysInsideTheGivenRange) {
  struct AttrCase {
    const char* label;
    const char* text;
    size_t end;  // offset of the range end
    int result;
    const char* attrs;
  };
  const AttrCase cases[] = {
      {"all", " a=\"1\" b='2'", 12, 1, "[a=1;b=2]"},
      {"equals_at_end", " a=\"1\" b='2'", 8, 1, "[a=1]"},
      {"opening_quote_at_end", " a=\"1\" b='2'", 9, 0, "[a=1]"},
      {"closing_quote_at_end", " a=\"1\" b='2'", 11, 0, "[a=1]"},
      {"empty_range", "a='1'", 0, 1, ""},
  };
  for (const AttrCase& c : cases) {
    CXMLParser parser;
    CXMLElement e;
    EXPECT_EQ(parser.ParseAttributes(c.text, &e, c.text + c.end), c.result) << c.label;
    EXPECT_EQ(Dump(e), c.attrs) << c.label;
  }
  CXMLParser parser;
  EXPECT_EQ(parser.ParseAttributes("a='1'", nullptr, nullptr), 0);
}

}  // namespace
