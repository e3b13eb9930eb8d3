#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "script/xml.h"
#include "xml/xml_test_util.h"

using xmltest::Dump;
using xmltest::ParentsConsistent;

namespace {

// A parsed document whose root is handed out as a deep clone, so tests own it and its children have
// real parents.
std::unique_ptr<CXMLElement> Tree(const char* text) {
  CXMLParser parser;
  EXPECT_EQ(parser.ParseDocument(text), 1) << text;
  return std::unique_ptr<CXMLElement>(parser.GetRoot()->Clone(true));
}

CXMLElement* Find(CXMLElement* root, const char* name) {
  auto found = root->GetChildrenByName(name);
  return found.empty() ? nullptr : found.front();
}

// Attributes
// ---------------------------------------------------------------------------------------

TEST(XmlElement, GetAttributeIsExactAndLeavesOutputAloneWhenMissing) {
  auto e = Tree("<a key=\"v\" Key=\"W\"/>");
  CSmallStr out("unchanged");
  EXPECT_EQ(e->GetAttribute("key", out), 1);
  EXPECT_STREQ(out.c_str(), "v");
  EXPECT_EQ(e->GetAttribute("Key", out), 1);
  EXPECT_STREQ(out.c_str(), "W");

  out = "unchanged";
  for (const char* missing : {"KEY", " key", "ke", ""}) {
    EXPECT_EQ(e->GetAttribute(missing, out), 0) << missing;
    EXPECT_STREQ(out.c_str(), "unchanged");
  }
  EXPECT_EQ(e->GetAttribute(nullptr, out), 0);
  EXPECT_STREQ(out.c_str(), "unchanged");
}

TEST(XmlElement, SetAttribute) {
  CXMLElement e;
  e.SetAttribute("  name \t", "v1", 0);  // inserted trimmed
  e.SetAttribute("__base__", "pak\\", 1);
  e.SetAttribute("__base__", "other\\", 0);  // replacing keeps the hidden flag
  e.SetAttribute(" name", "ignored", 0);     // trimmed insert meets the existing entry
  e.SetAttribute("name", "v2", 0);           // exact name replaces
  e.SetAttribute("empty", nullptr, 0);
  e.SetAttribute(nullptr, "x", 0);
  EXPECT_EQ(Dump(e), "[__base__*=other\\;empty=;name=v2]");
}

TEST(XmlElement, AttributesAreOrderedByUnsignedBytes) {
  CXMLElement e;
  for (const char* name : {"b", "\xC3\xA9", "B", "a", "ab", "_"}) e.SetAttribute(name, "", 0);
  std::vector<std::string> names;
  for (const auto& entry : e.GetAttributes()) names.push_back(entry.first.str());
  EXPECT_EQ(names, (std::vector<std::string>{"B", "_", "a", "ab", "b", "\xC3\xA9"}));
}

TEST(XmlElement, GetChildrenByNameMatchesBytesInOrder) {
  auto r = Tree("<r><a i=\"1\"/><A/><b/><a i=\"2\"/><a  /><ab/></r>");
  auto found = r->GetChildrenByName("a");
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0], r->GetChild(0));
  EXPECT_EQ(found[1], r->GetChild(3));
  EXPECT_EQ(found[2], r->GetChild(4));
  EXPECT_EQ(r->GetChildrenByName("A").size(), 1u);
  EXPECT_TRUE(r->GetChildrenByName("c").empty());
  EXPECT_TRUE(r->GetChildrenByName(nullptr).empty());
  EXPECT_EQ(r->GetChildCount(), 6u);  // the list does not take children away
}

// Clone
// -------------------------------------------------------------------------------------------------

TEST(XmlElement, ShallowCloneCopiesNameAttributesAndParentOnly) {
  auto r = Tree("<r><a x=\"1\">text<b/></a></r>");
  CXMLElement* a = r->GetChild(0);
  a->SetAttribute("__base__", "dir\\", 1);
  std::unique_ptr<CXMLElement> c(a->Clone(false));
  EXPECT_EQ(c->GetParent(), r.get());
  EXPECT_EQ(Dump(*c), "a[__base__*=dir\\;x=1]");
  EXPECT_EQ(r->GetChildCount(), 1u);  // the parent does not list the clone
}

TEST(XmlElement, DeepCloneDropsTextAndReparents) {
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument("<r k=\"v\">rt<a x=\"1\">at<b>bt</b></a><c/></r>"), 1);
  const CXMLElement* original = parser.GetRoot();
  std::unique_ptr<CXMLElement> c(original->Clone(true));
  EXPECT_EQ(Dump(*c), "r[k=v](a[x=1](b),c)");
  EXPECT_EQ(c->GetParent(), nullptr);
  EXPECT_TRUE(ParentsConsistent(*c));
  EXPECT_NE(c->GetChild(0), original->GetChild(0));
  EXPECT_EQ(Dump(*original), "r[k=v]{rt}(a[x=1]{at}(b{bt}),c)");
}

TEST(XmlElement, CloneOfElementWithTextWritesAnEmptyElementTag) {
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument("<a x=\"1\">text</a>"), 1);
  const CXMLElement* e = parser.GetRoot();
  CSmallStr original, clone;
  e->ToXML(original, 0, true, true);
  std::unique_ptr<CXMLElement> c(e->Clone(true));
  c->ToXML(clone, 0, true, true);
  EXPECT_STREQ(original.c_str(), "<a x=\"1\" >text\n</a>");
  EXPECT_STREQ(clone.c_str(), "<a x=\"1\" />");
}

// ToXML
// -------------------------------------------------------------------------------------------------

struct ToXmlCase {
  const char* label;
  const char* doc;
  int indent;
  bool with_tag;
  bool with_attributes;
  const char* before;  // what `out` holds already
  const char* expected;
};

const ToXmlCase kToXmlCases[] = {
    {"bare", "<a/>", 0, true, true, "", "<a/>"},
    {"attribute_has_trailing_space", "<a x=\"1\"/>", 0, true, true, "", "<a x=\"1\" />"},
    {"attributes_sorted_text_and_children", "<r b=\"2\" a=\"1\">t<c/><d k=\"v\">u</d></r>", 0, true,
     true, "", "<r a=\"1\"  b=\"2\" >t\n\t<c/>\n\t<d k=\"v\" >u\n\t</d>\n</r>"},
    {"indent", "<r b=\"2\" a=\"1\">t<c/><d k=\"v\">u</d></r>", 1, true, true, "",
     "\t<r a=\"1\"  b=\"2\" >t\n\t\t<c/>\n\t\t<d k=\"v\" >u\n\t\t</d>\n\t</r>"},
    {"negative_indent_counts_as_zero", "<r><c/></r>", -3, true, true, "", "<r>\n\t<c/>\n</r>"},
    {"without_own_attributes_children_keep_theirs", "<set var=\"x\"><a v=\"1\"/></set>", 0, true,
     false, "", "<set>\n\t<a v=\"1\" />\n</set>"},
    {"without_own_attributes_and_nothing_inside", "<set var=\"x\"/>", 0, true, false, "", "<set/>"},
    {"without_tag", "<r x=\"1\">t<a/><b/></r>", 0, false, true, "", "\t<a/>\n\t<b/>\n"},
    {"without_tag_nothing_inside", "<r>t</r>", 0, false, true, "", "\n"},
    {"without_tag_after_text", "<r><a/></r>", 0, false, true, "X", "X\n\t<a/>\n"},
    {"appends_after_line_feed", "<a/>", 0, true, true, "X", "X\n<a/>"},
    {"values_and_text_unescaped", "<a v=\"&lt;\" w='say \"hi\"'>x &amp; y<b/></a>", 0, true, true,
     "", "<a v=\"&lt;\"  w=\"say \"hi\"\" >x &amp; y\n\t<b/>\n</a>"},
    {"nested_levels", "<a><b><c/></b></a>", 0, true, true, "",
     "<a>\n\t<b>\n\t\t<c/>\n\t</b>\n</a>"},
};

class ToXmlTest : public ::testing::TestWithParam<ToXmlCase> {};

TEST_P(ToXmlTest, WritesExactly) {
  const ToXmlCase& c = GetParam();
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument(c.doc), 1);
  CSmallStr out(c.before);
  parser.GetRoot()->ToXML(out, c.indent, c.with_tag, c.with_attributes);
  EXPECT_EQ(out.str(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Xml, ToXmlTest, ::testing::ValuesIn(kToXmlCases),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(XmlElement, ToXMLLeavesOutHiddenAttributes) {
  auto r = Tree("<r><a x=\"1\"/><b/></r>");
  r->SetAttribute("__base__", "pak\\", 1);
  r->GetChild(0)->SetAttribute("__base__", "pak\\", 1);
  r->GetChild(1)->SetAttribute("__base__", "pak\\", 1);
  CSmallStr out;
  r->ToXML(out, 0, true, true);
  EXPECT_EQ(out.str(), "<r>\n\t<a x=\"1\" />\n\t<b/>\n</r>");
}

TEST(XmlElement, ToXMLOutputParsesBackToTheSameTree) {
  const char* doc =
      "<script><var name=\"lives\" expr=\"3\"/><function name=\"start\" type=\"init\">"
      "<if expr1=\"lives\" op=\"&gt;\" expr2=\"0\"><fscommand "
      "name=\"'go'\"/></if></function></script>";
  CXMLParser first;
  ASSERT_EQ(first.ParseDocument(doc), 1);
  CSmallStr xml;
  first.GetRoot()->ToXML(xml, 0, true, true);
  CXMLParser second;
  ASSERT_EQ(second.ParseDocument(xml.c_str()), 1);
  EXPECT_EQ(Dump(*second.GetRoot()), Dump(*first.GetRoot()));
}

// Tree rewriting
// --------------------------------------------------------------------------------------

TEST(XmlElement, ReplaceContentTakesNameAttributesAndClonedChildren) {
  auto r = Tree("<r><element select=\"s\" url=\"u\">keep<old/></element></r>");
  CXMLElement* e = r->GetChild(0);
  e->SetText("keep");
  auto source = Tree("<levels n=\"2\"><level i=\"1\">x<name/></level><level i=\"2\"/></levels>");

  e->ReplaceContent(*source);
  EXPECT_EQ(Dump(*r), "r(levels[n=2]{keep}(level[i=1](name),level[i=2]))");
  EXPECT_EQ(e->GetParent(), r.get());
  EXPECT_TRUE(ParentsConsistent(*r));
  EXPECT_NE(e->GetChild(0), source->GetChild(0));
  EXPECT_EQ(Dump(*source), "levels[n=2](level[i=1](name),level[i=2])");
}

TEST(XmlElement, ReplaceContentFromItselfOrADescendant) {
  auto self = Tree("<a x=\"1\"><b><c/></b><d/></a>");
  self->ReplaceContent(*self);
  EXPECT_EQ(Dump(*self), "a[x=1](b(c),d)");
  EXPECT_TRUE(ParentsConsistent(*self));

  auto outer = Tree("<a x=\"1\"><b y=\"2\"><c/><e/></b><d/></a>");
  outer->ReplaceContent(*outer->GetChild(0));
  EXPECT_EQ(Dump(*outer), "b[y=2](c,e)");
  EXPECT_TRUE(ParentsConsistent(*outer));
}

TEST(XmlElement, ReplaceInParentInsertsClonesWhereTheElementStood) {
  auto r = Tree("<r><a/><include url=\"x.xml\"/><b/></r>");
  auto included = Tree("<doc v=\"1\"><x k=\"1\"><y/></x><z/></doc>");
  CXMLElement* include = Find(r.get(), "include");
  ASSERT_NE(include, nullptr);
  EXPECT_EQ(include->ReplaceInParent(*included), 1);
  EXPECT_EQ(Dump(*r), "r(a,x[k=1](y),z,b)");
  EXPECT_TRUE(ParentsConsistent(*r));
  EXPECT_EQ(Dump(*included), "doc[v=1](x[k=1](y),z)");

  auto empty = Tree("<empty/>");
  EXPECT_EQ(Find(r.get(), "a")->ReplaceInParent(*empty), 1);
  EXPECT_EQ(Dump(*r), "r(x[k=1](y),z,b)");
}

TEST(XmlElement, ReplaceInParentWithTheParentAsSource) {
  auto r = Tree("<r><a/><b/></r>");
  EXPECT_EQ(r->GetChild(1)->ReplaceInParent(*r), 1);
  EXPECT_EQ(Dump(*r), "r(a,a,b)");
  EXPECT_TRUE(ParentsConsistent(*r));
}

TEST(XmlElement, ReplaceInParentTakingMovesTheSourceChildren) {
  auto r = Tree("<r><a/><include url=\"x.xml\"/><b/></r>");
  auto included = Tree("<doc v=\"1\"><x k=\"1\"><y/></x><z/></doc>");
  CXMLElement* x = Find(included.get(), "x");
  EXPECT_EQ(Find(r.get(), "include")->ReplaceInParentTaking(included.get()), 1);
  EXPECT_EQ(Dump(*r), "r(a,x[k=1](y),z,b)");
  EXPECT_TRUE(ParentsConsistent(*r));
  // The very elements moved: nothing was copied, the source is left empty.
  EXPECT_EQ(r->GetChild(1), x);
  EXPECT_EQ(Dump(*included), "doc[v=1]");
}

// Sources inside this element's own tree cannot give their children away: they are copied.
TEST(XmlElement, ReplaceInParentTakingCopiesFromItsOwnTree) {
  auto r = Tree("<r><a/><b><c/></b></r>");
  EXPECT_EQ(r->GetChild(1)->ReplaceInParentTaking(r.get()), 1);
  EXPECT_EQ(Dump(*r), "r(a,a,b(c))");
  EXPECT_TRUE(ParentsConsistent(*r));

  auto s = Tree("<r><a/><b><c><d/></c></b></r>");
  CXMLElement* b = s->GetChild(1);
  EXPECT_EQ(b->ReplaceInParentTaking(b->GetChild(0)), 1);
  EXPECT_EQ(Dump(*s), "r(a,d)");
  EXPECT_TRUE(ParentsConsistent(*s));

  auto t = Tree("<r><a/></r>");
  EXPECT_EQ(t->GetChild(0)->ReplaceInParentTaking(nullptr), 0);
  EXPECT_EQ(Dump(*t), "r(a)");
}

TEST(XmlElement, ReplaceInParentAndUnwrapNeedAListingParent) {
  auto source = Tree("<s><x/></s>");
  CXMLElement lone;
  EXPECT_EQ(lone.ReplaceInParent(*source), 0);
  EXPECT_EQ(lone.Unwrap(), 0);

  // A clone keeps its original's parent pointer, but that parent does not own it.
  auto r = Tree("<r><a><c/></a></r>");
  std::unique_ptr<CXMLElement> clone(r->GetChild(0)->Clone(true));
  ASSERT_EQ(clone->GetParent(), r.get());
  EXPECT_EQ(clone->ReplaceInParent(*source), 0);
  EXPECT_EQ(clone->Unwrap(), 0);
  EXPECT_EQ(Dump(*r), "r(a(c))");
  EXPECT_EQ(Dump(*clone), "a(c)");
}

TEST(XmlElement, UnwrapMovesTheChildrenThemselves) {
  auto r = Tree("<r><a/><ifdef name=\"X\"><c/><d><e/></d></ifdef><b/></r>");
  CXMLElement* ifdef = r->GetChild(1);
  CXMLElement* c = ifdef->GetChild(0);
  CXMLElement* d = ifdef->GetChild(1);
  EXPECT_EQ(ifdef->Unwrap(), 1);
  EXPECT_EQ(Dump(*r), "r(a,c,d(e),b)");
  EXPECT_EQ(r->GetChild(1), c);
  EXPECT_EQ(r->GetChild(2), d);
  EXPECT_TRUE(ParentsConsistent(*r));

  EXPECT_EQ(Find(r.get(), "d")->Unwrap(), 1);
  EXPECT_EQ(Dump(*r), "r(a,c,e,b)");
  EXPECT_EQ(Find(r.get(), "e")->Unwrap(), 1);  // no children: just removed
  EXPECT_EQ(Dump(*r), "r(a,c,b)");
}

TEST(XmlElement, ChildListOperations) {
  CXMLElement r;
  r.SetName("r");
  auto* a = new CXMLElement;
  a->SetName("a");
  auto* b = new CXMLElement;
  b->SetName("b");
  auto* c = new CXMLElement;
  c->SetName("c");
  r.AppendChild(a);
  r.InsertChild(0, b);
  r.InsertChild(99, c);
  r.AppendChild(nullptr);
  EXPECT_EQ(Dump(r), "r(b,a,c)");
  EXPECT_TRUE(ParentsConsistent(r));

  std::unique_ptr<CXMLElement> detached(r.DetachChild(a));
  ASSERT_EQ(detached.get(), a);
  EXPECT_EQ(a->GetParent(), nullptr);
  EXPECT_EQ(r.DetachChild(a), nullptr);
  EXPECT_EQ(r.GetChild(5), nullptr);

  r.DeleteChildren();
  EXPECT_EQ(Dump(r), "r");
}

// Depth
// --------------------------------------------------------------------------------------------------

// A chain of `depth` elements built through the interface (no parser limit applies).
std::unique_ptr<CXMLElement> Chain(int depth) {
  std::unique_ptr<CXMLElement> root(new CXMLElement);
  root->SetName("n");
  CXMLElement* tip = root.get();
  for (int i = 1; i < depth; ++i) {
    auto* next = new CXMLElement;
    next->SetName("n");
    next->SetAttribute("i", "1", 0);
    tip->AppendChild(next);
    tip = next;
  }
  return root;
}

// Depth of a chain, and whether every parent pointer is right, without recursion.
int CheckedChainDepth(const CXMLElement* e) {
  int depth = 1;
  while (e->GetChildCount() == 1) {
    if (e->GetChild(0)->GetParent() != e) return -1;
    e = e->GetChild(0);
    ++depth;
  }
  return depth;
}

constexpr int kHostileDepth = 100000;

TEST(XmlElement, VeryDeepTreesAreClonedAndDestroyedWithoutRecursion) {
  auto chain = Chain(kHostileDepth);
  std::unique_ptr<CXMLElement> clone(chain->Clone(true));
  EXPECT_EQ(CheckedChainDepth(clone.get()), kHostileDepth);

  CXMLElement target;
  target.ReplaceContent(*chain);
  EXPECT_EQ(CheckedChainDepth(&target), kHostileDepth);

  auto holder = Tree("<r><a/><inc/><b/></r>");
  ASSERT_EQ(holder->GetChild(1)->ReplaceInParent(*chain), 1);
  ASSERT_EQ(holder->GetChildCount(), 3u);
  EXPECT_EQ(CheckedChainDepth(holder->GetChild(1)), kHostileDepth - 1);

  clone->DeleteChildren();
  EXPECT_EQ(clone->GetChildCount(), 0u);
  // chain, target and holder are destroyed at scope exit, each a chain of ~100,000.
}

TEST(XmlElement, DeepTreeToXML) {
  // Output grows with the square of the depth (indentation), so a moderately deep chain is enough
  // to check the walk level by level.
  const int depth = 3000;
  auto chain = Chain(depth);
  CSmallStr out;
  chain->ToXML(out, 0, true, true);

  std::string expected = "<n>";
  for (int level = 1; level < depth - 1; ++level) {
    expected += "\n" + std::string(static_cast<size_t>(level), '\t') + "<n i=\"1\" >";
  }
  expected += "\n" + std::string(static_cast<size_t>(depth - 1), '\t') + "<n i=\"1\" />";
  for (int level = depth - 2; level >= 1; --level) {
    expected += "\n" + std::string(static_cast<size_t>(level), '\t') + "</n>";
  }
  expected += "\n</n>";
  EXPECT_EQ(out.GetLength(), static_cast<int>(expected.size()));
  EXPECT_TRUE(out.str() == expected);
}

}  // namespace
