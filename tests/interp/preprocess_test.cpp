// Preprocessing of the script: includes, definitions and ifdef blocks, including the inputs that
// would otherwise never finish (include cycles, self-referencing definitions).
#include "script/engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp/script_fixture.h"

namespace {

using script_test::ScriptTest;
using script_test::Xml;
using Strings = std::vector<std::string>;

const std::string kPackageUrl = std::string(kPseudoUrlPrefix) + "data.pak/end_of_story/";

// Names of an element's children, in order.
Strings ChildNames(const CXMLElement* element) {
  Strings names;
  for (const CXMLElement* child : element->GetChildren()) names.push_back(child->GetName().str());
  return names;
}

std::string Attribute(const CXMLElement* element, const char* name) {
  CSmallStr value;
  return element->GetAttribute(name, value) ? value.str() : "<absent>";
}

class PreprocessTest : public ScriptTest {};

TEST_F(PreprocessTest, IncludesAreReplacedByTheIncludedContentRecursively) {
  Package({{"init.xml", R"xml(<game>
  <include url="scripts/common.xml"/>
  <include url="missing.xml"/>
  <set var="after" expr="fromCommon + fromMore"/>
  <function name="f"><include url="scripts/fn.xml"/></function>
</game>)xml"},
           {"scripts/common.xml", R"xml(<common ignored="root">
  <var name="fromCommon" expr="1"/>
  <include url="more.xml"/>
</common>)xml"},
           {"scripts/more.xml", "<more><var name='fromMore' expr='2'/></more>"},
           {"scripts/fn.xml", "<fn><set var='inFunction' expr='3'/></fn>"}});
  ASSERT_EQ(Start(), S_OK);
  const CXMLElement* root = engine_.GetScriptRoot();
  EXPECT_EQ(ChildNames(root), (Strings{"var", "var", "include", "set", "function"}));
  // Included elements keep the folder of their own file; their urls were resolved against it.
  EXPECT_EQ(Attribute(root->GetChild(0), "__base__"),
            "http:\\\\game.invalid\\data.pak\\end_of_story\\scripts\\");
  // The include that could not be read stays, inert.
  EXPECT_EQ(Attribute(root->GetChild(2), "url"), kPackageUrl + "missing.xml");
  EXPECT_EQ(ChildNames(root->GetChild(4)), Strings{"set"});

  EXPECT_EQ(host_.Of("movievalue"), Strings{"after=3"});
  host_.calls.clear();
  engine_.RunScriptFunction("f");
  EXPECT_EQ(host_.Of("movievalue"), Strings{"inFunction=3"});
}

TEST_F(PreprocessTest, IncludeCyclesAreLeftInertAfterOneExpansion) {
  Package({{"init.xml", R"xml(<game>
  <include url="init.xml"/>
  <include url="INIT.XML"/>
  <include url="a.xml"/>
  <include url="self.xml"/>
</game>)xml"},
           {"a.xml", "<a><var name='a' expr='1'/><include url='b.xml'/></a>"},
           {"b.xml", "<b><var name='b' expr='2'/><include url='a.xml'/></b>"},
           {"self.xml", "<s><var name='s' expr='3'/><include url='self.xml'/></s>"}});
  ASSERT_EQ(Start(), S_OK);
  const CXMLElement* root = engine_.GetScriptRoot();
  // init.xml including itself (in any spelling) is a cycle at once; a -> b -> a and self -> self
  // expand each file once and leave the closing include in place.
  EXPECT_EQ(ChildNames(root),
            (Strings{"include", "include", "var", "var", "include", "var", "include"}));
  EXPECT_EQ(Attribute(root->GetChild(4), "url"), kPackageUrl + "a.xml");
  EXPECT_EQ(Attribute(root->GetChild(6), "url"), kPackageUrl + "self.xml");
  EXPECT_EQ(Global("a"), "1");
  EXPECT_EQ(Global("b"), "2");
  EXPECT_EQ(Global("s"), "3");
}

TEST_F(PreprocessTest, TheSameFileMayBeIncludedSeveralTimesSideBySide) {
  Package({{"init.xml", R"xml(<game>
  <var name="n" expr="0"/>
  <include url="step.xml"/>
  <function name="f"><include url="step.xml"/></function>
  <include url="step.xml"/>
</game>)xml"},
           {"step.xml", "<s><assign name='n' expr='n + 1'/></s>"}});
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global("n"), "2");
  engine_.RunScriptFunction("f");
  EXPECT_EQ(Global("n"), "3");
}

// A chain of `length` files below init.xml, each defining v<i> and including the next.
std::vector<std::pair<std::string, std::string>> IncludeChain(int length) {
  std::vector<std::pair<std::string, std::string>> files{
      {"init.xml", "<game><include url='f0.xml'/></game>"}};
  for (int i = 0; i < length; ++i) {
    const std::string next =
        i + 1 < length ? "<include url='f" + std::to_string(i + 1) + ".xml'/>" : "";
    files.push_back({"f" + std::to_string(i) + ".xml", "<f><var name='v" + std::to_string(i) +
                                                           "' expr='" + std::to_string(i) + "'/>" +
                                                           next + "</f>"});
  }
  return files;
}

TEST_F(PreprocessTest, IncludeChainsWithinTheDepthBoundExpandWhole) {
  // init.xml itself is the first file of the chain.
  const int length = CScriptEngine::kMaxIncludeDepth - 1;
  Package(IncludeChain(length));
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global(("v" + std::to_string(length - 1)).c_str()), std::to_string(length - 1));
}

TEST_F(PreprocessTest, IncludeChainsDeeperThanTheBoundFailTheScript) {
  // One file more and the script is not run half expanded: LoadScript fails (the player then
  // shows its start-up error) and no script root is set.
  Package(IncludeChain(CScriptEngine::kMaxIncludeDepth));
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
  EXPECT_EQ(engine_.GetScriptRoot(), nullptr);
}

TEST_F(PreprocessTest, RunawayIncludesFailTheScript) {
  // Each file includes the next four times: 4^12 leaves without a bound, within the depth bound.
  Files files{{"init.xml", "<game><include url='d0.xml'/></game>"}};
  for (int i = 0; i < 12; ++i) {
    const std::string include = "<include url='d" + std::to_string(i + 1) + ".xml'/>";
    files.push_back({"d" + std::to_string(i) + ".xml",
                     "<d>" + include + include + include + include + "</d>"});
  }
  files.push_back({"d12.xml", "<d><leaf/></d>"});
  Package(files);
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
  EXPECT_EQ(engine_.GetScriptRoot(), nullptr);
}

TEST_F(PreprocessTest, IncludesInsertingTooManyElementsFailTheScript) {
  // Few includes, but together more elements than the bound allows.
  std::string big = "<d>";
  for (int i = 0; i < 25000; ++i) big += "<x/>";
  big += "</d>";
  std::string init = "<game>";
  const size_t copies = CScriptEngine::kMaxIncludedElements / 25000 + 1;
  for (size_t i = 0; i < copies; ++i) init += "<include url='big.xml'/>";
  Package({{"init.xml", init + "</game>"}, {"big.xml", big}});
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
  EXPECT_EQ(engine_.GetScriptRoot(), nullptr);
}

TEST_F(PreprocessTest, NestedIncludesCountEachElementOnce) {
  // A chain of 15 files of 13,000 elements each: 195,000 elements inserted in all, within the bound,
  // however deep they sit (counting the nested ones again at every level would refuse this).
  Files chain{{"init.xml", "<game><include url='c0.xml'/></game>"}};
  const int length = CScriptEngine::kMaxIncludeDepth - 1;
  for (int f = 0; f < length; ++f) {
    std::string body = "<c><var name='last' expr='" + std::to_string(f) + "'/>";
    for (int i = 0; i < 12998; ++i) body += "<x/>";
    if (f + 1 < length) body += "<include url='c" + std::to_string(f + 1) + ".xml'/>";
    chain.push_back({"c" + std::to_string(f) + ".xml", body + "</c>"});
  }
  Package(chain);
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global("last"), std::to_string(length - 1));
}

TEST_F(PreprocessTest, IncludeLimitsCanBeLowered) {
  // Four includes of three elements each; limits just below what that needs fail the script.
  Files files{{"init.xml", "<game><include url='a.xml'/><include url='a.xml'/>"
                           "<include url='a.xml'/><include url='a.xml'/></game>"},
              {"a.xml", "<a><x/><y/><z/></a>"}};
  Package(files);
  engine_.SetIncludeLimits(12, 4);
  EXPECT_EQ(engine_.LoadScript(), S_OK);
  engine_.SetIncludeLimits(11, 4);
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
  engine_.SetIncludeLimits(12, 3);
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
}

TEST_F(PreprocessTest, WideScriptsOfOrdinarySizeExpandInFull) {
  // 10 included files of 2,000 statements each.
  Files wide{{"init.xml", "<game><var name='n' expr='0'/>"}};
  for (int f = 0; f < 10; ++f) {
    wide[0].second += "<include url='w" + std::to_string(f) + ".xml'/>";
    std::string body = "<w>";
    for (int i = 0; i < 2000; ++i) body += "<assign name='n' expr='n + 1'/>";
    wide.push_back({"w" + std::to_string(f) + ".xml", body + "</w>"});
  }
  wide[0].second += "</game>";
  Package(wide);
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global("n"), "20000");
}

TEST_F(PreprocessTest, DefinitionsSubstituteTokensAndOpenIfdefBlocks) {
  Package({{"init.xml", R"xml(<game>
  <define name="LEVEL" value="3"/>
  <define name="HERO" value="'hero'"/>
  <define name="" value="ignored"/>
  <define name="EMPTY"/>
  <var name="next" expr="#LEVEL# + 1"/>
  <var name="blank" expr="'[#EMPTY#]'"/>
  <function name="f"><set var="who" expr="#HERO#"/></function>
  <ifdef name="LEVEL"><var name="opened" expr="#LEVEL#"/></ifdef>
  <ifdef name="NOPE"><var name="closed" expr="1"/><call name="f"/></ifdef>
  <ifdef><var name="unnamed" expr="1"/></ifdef>
  <text>#LEVEL#</text>
</game>)xml"}});
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global("next"), "4");
  EXPECT_EQ(Global("blank"), "'[]'");
  EXPECT_EQ(Global("opened"), "3");
  EXPECT_EQ(Global("closed"), "<none>");
  EXPECT_EQ(Global("unnamed"), "<none>");
  EXPECT_TRUE(host_.calls.empty());  // the closed block's call never ran
  engine_.RunScriptFunction("f");
  EXPECT_EQ(host_.Of("movievalue"), Strings{"who='hero'"});
  // The unopened blocks stay as they were, token included; element text is not substituted.
  const CXMLElement* root = engine_.GetScriptRoot();
  EXPECT_EQ(ChildNames(root), (Strings{"define", "define", "define", "define", "var", "var",
                                       "function", "var", "ifdef", "ifdef", "text"}));
  EXPECT_EQ(Attribute(root->GetChild(8), "name"), "NOPE");
}

TEST_F(PreprocessTest, DefinitionsApplyInOrderToLaterValuesAndToBlocksTheyOpen) {
  Package({{"init.xml", R"xml(<game>
  <define name="A" value="1"/>
  <ifdef name="B"><var name="x" expr="'#A#' + #B# + #C#"/></ifdef>
  <define name="B" value="2"/>
  <define name="C" value="#A#0"/>
  <include url="#FILE#"/>
  <define name="FILE" value="other.xml"/>
</game>)xml"},
           {"other.xml", "<o><var name='included' expr='1'/></o>"}});
  ASSERT_EQ(Start(), S_OK);
  // A was applied before B opened the block, so the block keeps #A#; C's value had become "10".
  EXPECT_EQ(Global("x"), "'#A#210'");
  // Includes are expanded before definitions apply: this one stayed unread.
  EXPECT_EQ(Global("included"), "<none>");
}

TEST_F(PreprocessTest, NestedAndRepeatedIfdefBlocksAllOpen) {
  Package({{"init.xml", R"xml(<game>
  <define name="A" value="5"/>
  <ifdef name="A">
    <ifdef name="A"><var name="deep" expr="#A#"/></ifdef>
    <var name="mid" expr="#A# + 1"/>
  </ifdef>
  <function name="f"><ifdef name="A"><set var="fromFunction" expr="#A#"/></ifdef></function>
  <ifdef name="A"><var name="second" expr="#A# + 2"/></ifdef>
</game>)xml"}});
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global("deep"), "5");
  EXPECT_EQ(Global("mid"), "6");
  EXPECT_EQ(Global("second"), "7");
  engine_.RunScriptFunction("f");
  EXPECT_EQ(host_.Of("movievalue"), Strings{"fromFunction=5"});
}

TEST_F(PreprocessTest, SelfReferencingDefinitionsSubstituteOnce) {
  Package({{"init.xml", R"xml(<game>
  <define name="X" value="a#X#"/>
  <define name="P" value="#Q#"/>
  <define name="Q" value="#P#"/>
  <var name="x" expr="'#X#|#X#'"/>
  <var name="p" expr="'#P#'"/>
  <define name="H" value="#"/>
  <var name="h" expr="'x#H#H##'"/>
  <var name="z" expr="'#Z#'"/>
  <ifdef name="Z"/>
  <define name="Z" value="#Z##Z#"/>
</game>)xml"}});
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(Global("x"), "'a#X#|a#X#'");
  EXPECT_EQ(Global("p"), "'#Q#'");
  // A replacement can complete a new token with the text around it; that one is replaced too,
  // as CSmallStr::ReplaceAll does: x#H#H## -> x#H## -> x##.
  CSmallStr same("'x#H#H##'");
  same.ReplaceAll("#H#", "#");
  EXPECT_EQ(same.str(), "'x##'");
  EXPECT_EQ(Global("h"), "'x##'");
  // Opening the ifdef restarts the walk; z, walked before that, is not substituted a second time.
  EXPECT_EQ(Global("z"), "'#Z##Z#'");
}

TEST_F(PreprocessTest, ChainsOfDefinitionsCannotGrowValuesWithoutBound) {
  // D0 -> two D1 tokens -> four D2 tokens ...: 2^29 tokens at the end without a bound.
  std::string script = "<game><var name='v' expr='#D0#'/>";
  for (int i = 0; i < 30; ++i) {
    script += "<define name='D" + std::to_string(i) + "' value='#D" + std::to_string(i + 1) +
              "##D" + std::to_string(i + 1) + "#'/>";
  }
  script += "</game>";
  Package({{"init.xml", script}});
  // The value would keep its unsubstituted tokens: the script is refused instead of run so.
  EXPECT_EQ(engine_.LoadScript(), E_FAIL);
  EXPECT_EQ(engine_.GetScriptRoot(), nullptr);

  // Preprocess on its own says so as well, and the values stay within the bound.
  CXMLParser parser;
  ASSERT_EQ(parser.ParseDocument(script.c_str()), 1);
  EXPECT_EQ(engine_.Preprocess(parser.GetRoot()), E_FAIL);
  CSmallStr expr;
  ASSERT_TRUE(parser.GetRoot()->GetChild(0)->GetAttribute("expr", expr));
  EXPECT_LE(expr.GetLength(), CScriptEngine::kMaxDefinedValueLength);
}

TEST_F(PreprocessTest, PreprocessWorksOnAnyTreeAndRefusesNull) {
  Package({{"part.xml", "<p><var name='fromPart' expr='#N#'/></p>"}});
  CXMLParser addon;
  ASSERT_EQ(addon.ParseDocument("<addon><define name='N' value='7'/><include url='part.xml'/>"
                                "<include url='addon.xml'/><ifdef name='N'><x v='#N#'/></ifdef>"
                                "</addon>"),
            1);
  // The document's own URL marks an include of itself as a cycle.
  ASSERT_EQ(engine_.Preprocess(addon.GetRoot(), "addon.xml"), S_OK);
  EXPECT_EQ(Xml(addon.GetRoot()),
            "<addon>\n"
            "\t<define name=\"N\"  value=\"7\" />\n"
            "\t<var expr=\"7\"  name=\"fromPart\" />\n"
            "\t<include url=\"addon.xml\" />\n"
            "\t<x v=\"7\" />\n"
            "</addon>");
  EXPECT_EQ(engine_.Preprocess(nullptr), E_POINTER);
  EXPECT_EQ(engine_.ProcessIncludes(nullptr), E_POINTER);
}

}  // namespace
