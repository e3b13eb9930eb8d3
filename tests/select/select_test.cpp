// Data selection: the path language, the random choice, the <element> statement with its base
// folder rules, and the document cache.
#include "script/select.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "interp/script_fixture.h"
#include "script/engine.h"

namespace {

using script_test::CScriptedRandom;
using script_test::ScriptTest;
using script_test::Variant;
using script_test::Xml;
using Strings = std::vector<std::string>;

const std::string kPackageUrl = std::string(kPseudoUrlPrefix) + "data.pak/end_of_story/";

// levels with ten level children (ids 1..10, each with two name children), other elements between.
std::string LevelsDocument() {
  std::string doc = "<?xml version='1.0'?>\n<levels count=\"10\">\n";
  for (int i = 1; i <= 10; ++i) {
    doc += "  <level id=\"" + std::to_string(i) + "\"><name>L" + std::to_string(i) +
           "</name><name>second</name></level>\n";
    if (i == 3) doc += "  <bonus id=\"b\"/>\n";
  }
  return doc + "</levels>\n";
}

// The id attributes of an element's children, space-separated.
std::string Ids(const CXMLElement* element) {
  std::string ids;
  for (const CXMLElement* child : element->GetChildren()) {
    CSmallStr id;
    child->GetAttribute("id", id);
    if (!ids.empty()) ids += ' ';
    ids += id.str();
  }
  return ids;
}

// Counts reads per path and can refuse chosen paths, over the real loader.
class CCountingLoader : public IFileLoader {
 public:
  IFileLoader* inner = nullptr;
  std::map<std::string, int> reads;
  std::set<std::string> refused;  // substrings of paths to refuse

  HRESULT Load(const char* path, uint8_t** data, int32_t* size, CSmallStr* baseUrl,
               const char* packageName) override {
    ++reads[path];
    for (const std::string& r : refused) {
      if (std::string(path).find(r) != std::string::npos) {
        *data = nullptr;
        *size = 0;
        return E_FAIL;
      }
    }
    return inner->Load(path, data, size, baseUrl, packageName);
  }
  HRESULT LoadFromPackage(const char* packageName, const char* password, const char* path,
                          uint8_t** data, int32_t* size, CSmallStr* baseUrl) override {
    return inner->LoadFromPackage(packageName, password, path, data, size, baseUrl);
  }
  HRESULT LoadFromDisk(const char* path, uint8_t** data, int32_t* size,
                       CSmallStr* baseUrl) override {
    return inner->LoadFromDisk(path, data, size, baseUrl);
  }
  int ReadsOf(const std::string& suffix) const {
    int n = 0;
    for (const auto& r : reads)
      if (r.first.size() >= suffix.size() &&
          r.first.compare(r.first.size() - suffix.size(), suffix.size(), suffix) == 0)
        n += r.second;
    return n;
  }
};

class SelectTest : public ScriptTest {
 protected:
  void SetUp() override {
    ScriptTest::SetUp();
    counting_.inner = loader_.get();
    engine_.SetFileLoader(&counting_);
  }

  // Selects from data/levels.xml through the Select operation; "<failed>" for a failure status.
  std::string SelectIds(const char* path) {
    CXMLParser* doc = engine_.GetDocument((kPackageUrl + "data/levels.xml").c_str());
    if (!doc) return "<no document>";
    std::unique_ptr<CXMLElement> out(doc->GetRoot()->Clone(false));
    HRESULT hr = engine_.Select(doc->GetRoot(), path, nullptr, out.get());
    if (FAILED(hr)) return "<failed>";
    return Ids(out.get());
  }

  CCountingLoader counting_;
};

class SelectPathTest : public SelectTest {
 protected:
  void SetUp() override {
    SelectTest::SetUp();
    Package({{"init.xml", "<game><var name='N' expr='4'/><var name='two' expr='2'/></game>"},
             {"data/levels.xml", LevelsDocument()}});
    ASSERT_EQ(Start(), S_OK);
  }
};

TEST_F(SelectPathTest, StepsAndPredicates) {
  struct Case {
    const char* path;
    const char* ids;
  };
  const Case cases[] = {
      {"levels/level", "1"},  // a step without predicate takes the first match only
      {"/level", "1"},        // an empty head accepts any root name
      {"levels/level[position()<=3]", "1 2 3"},
      {"levels/level[position()&lt;=3]", "1 2 3"},
      {"levels/level[position() &gt; 8]", "9 10"},  // decoded, spaces removed
      {"levels/level[position()=N]", "4"},          // script variables
      {"levels/level[position()=(N+two)]", "6"},
      {"levels/level[1]", "1 2 3 4 5 6 7 8 9 10"},  // a predicate that always holds
      {"levels/level[0]", ""},
      {"levels/level[]", "1"},
      {"levels/bonus", "b"},
      {"levels/nothing", ""},
      {"levels/", ""},
      {"levels/level[position()=random(0)]", ""},
      // Malformed paths and failing predicates.
      {"other/level", "<failed>"},
      {"levels", "<failed>"},
      {"levels/level[x", "<failed>"},
      {"levels/level[position()=missing]", "<failed>"},
      {"levels/level[position()=random(3]", "<failed>"},
  };
  for (const Case& c : cases) EXPECT_EQ(SelectIds(c.path), c.ids) << c.path;
}

TEST_F(SelectPathTest, FurtherStepsSelectInsideEachSelectedElement) {
  CXMLParser* doc = engine_.GetDocument((kPackageUrl + "data/levels.xml").c_str());
  ASSERT_NE(doc, nullptr);
  std::unique_ptr<CXMLElement> out(new CXMLElement);
  ASSERT_EQ(
      engine_.Select(doc->GetRoot(), "levels/level[position()&gt;=9]/name", nullptr, out.get()),
      S_OK);
  // The head names the out element; each level holds its first name child (copied without text).
  EXPECT_EQ(Xml(out.get()),
            "<levels>\n"
            "\t<level id=\"9\" >\n"
            "\t\t<name/>\n"
            "\t</level>\n"
            "\t<level id=\"10\" >\n"
            "\t\t<name/>\n"
            "\t</level>\n"
            "</levels>");
  // A failure further down fails the whole selection.
  std::unique_ptr<CXMLElement> failed(new CXMLElement);
  EXPECT_EQ(engine_.Select(doc->GetRoot(), "levels/level/name[bad=1]", nullptr, failed.get()),
            E_FAIL);
  EXPECT_EQ(engine_.Select(nullptr, "a/b", nullptr, failed.get()), E_POINTER);
  EXPECT_EQ(engine_.Select(doc->GetRoot(), nullptr, nullptr, failed.get()), E_POINTER);
}

TEST_F(SelectPathTest, RandomChoicePicksDistinctPositionsInDocumentOrder) {
  // Draws: |3*1|%10+1 = 4, |7*1|%10+1 = 8, 4 again (drawn again), |-1*1|%10+1 = 2.
  CScriptedRandom random({3, 1, 7, 1, 3, 1, -1, 1});
  engine_.SetRandomSource(&random);
  EXPECT_EQ(SelectIds("levels/level[position()=random(3)]"), "2 4 8");
  ASSERT_EQ(random.seeds.size(), 1u);  // seeded once per selection

  // The predicate that is only the pick holds for every candidate: the first three.
  CScriptedRandom again({3, 1, 7, 1, 1, 1});
  engine_.SetRandomSource(&again);
  EXPECT_EQ(SelectIds("levels/level[random(3)]"), "1 2 3");

  // More picks than candidates: every candidate, in order.
  engine_.SetRandomSource(nullptr);
  EXPECT_EQ(SelectIds("levels/level[position()=random(20)]"), "1 2 3 4 5 6 7 8 9 10");
  // A count past the 32-bit range saturates (2^32 + 1 wrapped would pick one); a negative one picks
  // nothing.
  EXPECT_EQ(SelectIds("levels/level[position()=random(4294967297)]"), "1 2 3 4 5 6 7 8 9 10");
  EXPECT_EQ(SelectIds("levels/level[position()=random(-2)]"), "");
  // Without a number N stays 1.
  const std::string one = SelectIds("levels/level[position()=random()]");
  EXPECT_EQ(one.find(' '), std::string::npos) << one;
  EXPECT_FALSE(one.empty());
}

TEST(DrawDistinctPositionsTest, FollowsTheProductRuleAndNeverStalls) {
  CScriptedRandom random({3, 1, 7, 1, 3, 1, -1, 1});
  EXPECT_EQ(DrawDistinctPositions(&random, 3, 10), (std::vector<int32_t>{2, 4, 8}));
  // A generator stuck on one number yields one position; the rest are the smallest free ones.
  CScriptedRandom stuck({5});
  EXPECT_EQ(DrawDistinctPositions(&stuck, 4, 6), (std::vector<int32_t>{1, 2, 3, 4}));
  CScriptedRandom any({1});
  EXPECT_EQ(DrawDistinctPositions(&any, 9, 3), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_TRUE(DrawDistinctPositions(&any, 0, 3).empty());
  EXPECT_TRUE(DrawDistinctPositions(&any, 2, 0).empty());
  EXPECT_TRUE(DrawDistinctPositions(nullptr, 2, 3).empty());
}

TEST(ScriptRandomTest, IsTheClassicRuntimeSequence) {
  CScriptRandom random;
  random.Seed(1);
  EXPECT_EQ(random.Next(), 41);
  EXPECT_EQ(random.Next(), 18467);
  EXPECT_EQ(random.Next(), 6334);
  random.Seed(1);
  EXPECT_EQ(random.Next(), 41);
}

// --- The element statement ---

class ElementTest : public SelectTest {};

TEST_F(ElementTest, TheStatementBecomesACopyOfTheRootHoldingTheSelection) {
  Package({{"init.xml", R"xml(<game>
  <element select="levels/level[position()=2]/name" url="data/levels.xml"/>
  <element select="other/level" url="data/levels.xml"/>
  <element select="levels/level" url="data/missing.xml"/>
  <element select="" url="data/levels.xml"/>
  <element select="levels/level[x" url="data/levels.xml"/>
</game>)xml"},
           {"data/levels.xml", LevelsDocument()}});
  ASSERT_EQ(Start(), S_OK);
  const CXMLElement* root = engine_.GetScriptRoot();
  EXPECT_EQ(Xml(root->GetChild(0)),
            "<levels count=\"10\" >\n"
            "\t<level id=\"2\" >\n"
            "\t\t<name/>\n"
            "\t</level>\n"
            "</levels>");
  // Failed selections and unreadable documents leave the statement as it was.
  for (size_t i = 1; i < root->GetChildCount(); ++i) {
    EXPECT_EQ(root->GetChild(i)->GetName().str(), "element") << i;
    EXPECT_EQ(root->GetChild(i)->GetChildCount(), 0u) << i;
  }
}

TEST_F(ElementTest, SetBuildsOneTextFromSeveralDocuments) {
  Package(
      {{"init.xml", R"xml(<game>
  <var name="lang" expr="2"/>
  <set var="data">
    <element select="levels/level[position()&lt;=2]" url="data/levels.xml"/>
    <element select="texts/text[position()=lang]" url="data/texts.xml"/>
  </set>
</game>)xml"},
       {"data/levels.xml", LevelsDocument()},
       {"data/texts.xml", "<texts><text lang='de'>Hallo</text><text lang='en'>Hi</text></texts>"}});
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(host_.Of("movievalue"), Strings{"data='<set>\n"
                                            "\t<levels count=\"10\" >\n"
                                            "\t\t<level id=\"1\" />\n"
                                            "\t\t<level id=\"2\" />\n"
                                            "\t</levels>\n"
                                            "\t<texts>\n"
                                            "\t\t<text lang=\"en\" />\n"
                                            "\t</texts>\n"
                                            "</set>'"});
}

TEST_F(ElementTest, DocumentsAreReadOnceAndFailedReadsAreRetried) {
  Package({{"init.xml", R"xml(<game>
  <function name="levels"><set var="l"><element select="levels/level" url="data/levels.xml"/></set></function>
  <function name="late"><set var="t"><element select="texts/text" url="data/texts.xml"/></set></function>
  <call name="levels"/>
  <call name="levels"/>
</game>)xml"},
           {"data/levels.xml", LevelsDocument()},
           {"data/texts.xml", "<texts><text id='t'/></texts>"}});
  counting_.refused.insert("texts.xml");
  ASSERT_EQ(Start(), S_OK);
  EXPECT_EQ(counting_.ReadsOf("data/levels.xml"), 1);
  EXPECT_EQ(host_.Of("movievalue").size(), 2u);

  host_.calls.clear();
  engine_.RunScriptFunction("late");
  EXPECT_EQ(counting_.ReadsOf("data/texts.xml"), 1);
  ASSERT_EQ(host_.Of("movievalue").size(), 1u);
  EXPECT_EQ(host_.Of("movievalue")[0].find("<text"), std::string::npos);  // nothing selected

  counting_.refused.clear();
  host_.calls.clear();
  engine_.RunScriptFunction("late");
  EXPECT_EQ(counting_.ReadsOf("data/texts.xml"), 2);
  ASSERT_EQ(host_.Of("movievalue").size(), 1u);
  EXPECT_NE(host_.Of("movievalue")[0].find("<text id=\"t\" />"), std::string::npos);
}

TEST_F(ElementTest, StatementsWithoutABaseFolderUseDBBASE) {
  // levels.xml exists twice: at the package root and in data/. Statements read from a file name
  // their document relative to their file; the others (opened ifdef blocks, EXEC text) relative to
  // DBBASE, or as written when it is not declared.
  const std::string rootLevels = "<levels><level id='root'/></levels>";
  Package({{"init.xml", R"xml(<game>
  <define name="DATA" value="1"/>
  <var name="DBBASE" expr="')xml" +
                            kPackageUrl + R"xml(data/'"/>
  <ifdef name="DATA"><set var="fromIfdef"><element select="levels/level" url="levels.xml"/></set></ifdef>
  <set var="fromFile"><element select="levels/level" url="levels.xml"/></set>
</game>)xml"},
           {"levels.xml", rootLevels},
           {"data/levels.xml", LevelsDocument()}});
  ASSERT_EQ(Start(), S_OK);
  const Strings values = host_.Of("movievalue");
  ASSERT_EQ(values.size(), 2u);
  EXPECT_NE(values[0].find("<level id=\"1\" />"), std::string::npos) << values[0];
  EXPECT_NE(values[1].find("<level id=\"root\" />"), std::string::npos) << values[1];

  host_.calls.clear();
  Exec("<exec><set var='exec'><element select='levels/level' url='levels.xml'/></set></exec>");
  ASSERT_EQ(host_.Of("movievalue").size(), 1u);
  EXPECT_NE(host_.Of("movievalue")[0].find("<level id=\"1\" />"), std::string::npos);
}

TEST_F(ElementTest, WithoutDBBASETheUrlIsTakenAsWritten) {
  Package({{"init.xml", "<game/>"},
           {"levels.xml", "<levels><level id='root'/></levels>"},
           {"data/levels.xml", LevelsDocument()}});
  ASSERT_EQ(Start(), S_OK);
  Exec("<exec><set var='exec'><element select='levels/level' url='levels.xml'/></set></exec>");
  ASSERT_EQ(host_.Of("movievalue").size(), 1u);
  EXPECT_NE(host_.Of("movievalue")[0].find("<level id=\"root\" />"), std::string::npos);
}

TEST_F(ElementTest, PredicatesSeeTheStatementsScopeAndMayCallFunctions) {
  Package({{"init.xml", R"xml(<game>
  <var name="calls" expr="0"/>
  <function name="count"><assign name="calls" expr="calls + 1"/></function>
  <function name="pick">
    <var name="wanted" expr="3"/>
    <set var="picked"><element select="levels/level[count() + position()=wanted]" url="data/levels.xml"/></set>
  </function>
  <call name="pick"/>
</game>)xml"},
           {"data/levels.xml", LevelsDocument()}});
  ASSERT_EQ(Start(), S_OK);
  ASSERT_EQ(host_.Of("movievalue").size(), 1u);
  EXPECT_NE(host_.Of("movievalue")[0].find("<level id=\"3\" />"), std::string::npos);
  EXPECT_EQ(Global("calls"), "10");  // the predicate ran once per level
}

}  // namespace
