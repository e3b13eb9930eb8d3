// Add-on packages: which files count, where addon.xml comes from, the version order and the
// duplicates rule, bad add-ons beside good ones, the current directory, and the merge into a real
// script engine (includes and definitions inside the add-on, functions that override).
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/addons.h"
#include "data/loader.h"
#include "data/pseudourl.h"
#include "platform/process.h"
#include "player/addons.h"
#include "script/engine.h"
#include "script/xml.h"
#include "support/archive.h"
#include "support/files.h"
#include "support/folders.h"

namespace {

namespace fs = std::filesystem;
using Entries = vexa::testing::PackageEntries;
using vexa::testing::PackageBytes;
using vexa::testing::WriteText;

// An add-on document contributing one function named "f" whose tag says where it came from.
std::string AddonXml(const std::string& tag, const char* version) {
  std::string root = "<addon";
  if (version) root += std::string(" version=\"") + version + "\"";
  return root + "><function name=\"f\" tag=\"" + tag + "\"/></addon>";
}

// Records what it is asked to prepare; fails for documents whose URL contains `failFor`.
class CRecordingPreprocessor : public IAddonPreprocessor {
 public:
  std::vector<std::string> urls;
  std::string failFor;
  HRESULT PreprocessAddon(CXMLElement*, const char* documentUrl) override {
    urls.emplace_back(documentUrl ? documentUrl : "<null>");
    if (!failFor.empty() && urls.back().find(failFor) != std::string::npos) return E_FAIL;
    return S_OK;
  }
};

class AddonsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Packages stay mapped until the process ends, so every test gets a game folder of its own.
    folder_ = game_.root();
    ASSERT_EQ(1, script_.ParseDocument("<init><function name=\"f\" tag=\"init\"/></init>"));
  }

  void Addon(const std::string& name, const Entries& entries) {
    WriteText((folder_ / "Addons" / name).string(), PackageBytes(entries));
  }
  void Addon(const std::string& name, const std::string& tag, const char* version) {
    Addon(name, Entries{{"addon.xml", AddonXml(tag, version)}});
  }

  bool Load(AddonReport* report = nullptr) {
    return LoadAddons(folder_.string().c_str(), script_.GetRoot(), &preprocessor_, report);
  }

  // The tags of the root's "f" functions, in document order.
  std::vector<std::string> Tags() const {
    std::vector<std::string> tags;
    for (const CXMLElement* child : script_.GetRoot()->GetChildren()) {
      CSmallStr tag;
      if (child->GetAttribute("tag", tag)) tags.push_back(tag.str());
    }
    return tags;
  }

  vexa::testing::CGameFolder game_;
  fs::path folder_;  // native separators, no trailing one
  CXMLParser script_;
  CRecordingPreprocessor preprocessor_;
};

TEST_F(AddonsTest, VersionsOrderTheAddonsByteByByte) {
  struct Version {
    const char* file;
    const char* version;  // null: no attribute
  };
  // Listed by file name the order would be a, b, c, ...; the versions decide instead.
  const Version versions[] = {{"a.vxa", "9"},     {"b.vxa", "1.2"}, {"c.vxa", "1.10"},
                              {"d.vxa", nullptr}, {"e.vxa", "A"},   {"f.vxa", "a"},
                              {"g.vxa", "1.2.1"}, {"h.vxa", ""}};
  for (const Version& v : versions) Addon(v.file, v.file, v.version);
  AddonReport report;
  ASSERT_TRUE(Load(&report));
  // "" < "*" (0x2A) < "1.10" < "1.2" < "1.2.1" < "9" < "A" < "a".
  EXPECT_EQ((std::vector<std::string>{"init", "h.vxa", "d.vxa", "c.vxa", "b.vxa", "g.vxa", "a.vxa",
                                      "e.vxa", "f.vxa"}),
            Tags());
  EXPECT_EQ((std::vector<std::string>{"h.vxa ", "d.vxa *", "c.vxa 1.10", "b.vxa 1.2", "g.vxa 1.2.1",
                                      "a.vxa 9", "e.vxa A", "f.vxa a"}),
            report.merged);
  EXPECT_TRUE(report.skipped.empty());
}

TEST_F(AddonsTest, OfTwoAddonsWithOneVersionTheFirstListedIsUsed) {
  // Created in the opposite order of their names: the order of the names decides, whatever order
  // the file system lists them in.
  Addon("zeta.vxa", "zeta", "2");
  Addon("Alpha.vxa", "Alpha", "2");
  Addon("beta.vxa", "beta", "1");
  Addon("gamma.vxa", "gamma", nullptr);
  Addon("delta.vxa", "delta", "*");  // "*" written out is the same version as none
  AddonReport report;
  ASSERT_TRUE(Load(&report));
  EXPECT_EQ((std::vector<std::string>{"init", "delta", "beta", "Alpha"}), Tags());
  EXPECT_EQ(
      (std::vector<std::string>{"Alpha.vxa", "beta.vxa", "delta.vxa", "gamma.vxa", "zeta.vxa"}),
      report.found);
  EXPECT_EQ(2u, report.skipped.size());
}

TEST_F(AddonsTest, BadAddonsAreSkippedAndTheGoodOnesStillLoad) {
  fs::create_directories(folder_ / "Addons" / "folder.vxa");  // a folder named like an add-on
  WriteText((folder_ / "Addons" / "garbage.vxa").string(), "this is not a package at all");
  const std::string good = PackageBytes({{"addon.xml", AddonXml("good", "5")}});
  WriteText((folder_ / "Addons" / "cut.vxa").string(), good.substr(0, good.size() / 2));
  WriteText((folder_ / "Addons" / "empty.vxa").string(), "");
  Addon("noxml.vxa", Entries{{"other.xml", AddonXml("other", "1")}});
  Addon("broken.vxa", Entries{{"addon.xml", "</addon><addon version=\"2\"/>"}});
  Addon("suffix.vxa", Entries{{"myaddon.xml", AddonXml("myaddon", "3")}});
  Addon("nested.vxa", Entries{{"sub/addon.xml", AddonXml("nested", "4")}});
  WriteText((folder_ / "Addons" / "good.vxa").string(), good);
  WriteText((folder_ / "Addons" / "readme.txt").string(), "not an add-on");

  AddonReport report;
  ASSERT_TRUE(Load(&report));
  EXPECT_EQ((std::vector<std::string>{"init", "good"}), Tags());
  EXPECT_EQ(9u, report.found.size());  // readme.txt is not listed
  EXPECT_EQ(8u, report.skipped.size());
  EXPECT_EQ(std::vector<std::string>{"good.vxa 5"}, report.merged);
}

TEST_F(AddonsTest, AddonXmlComesFromThePackageOnly) {
  // A stray addon.xml beside the executable and in the add-on folder is no add-on document.
  WriteText((folder_ / "addon.xml").string(), AddonXml("disk", "1"));
  WriteText((folder_ / "Addons" / "addon.xml").string(), AddonXml("disk", "1"));
  Addon("empty.vxa", Entries{{"readme.txt", "nothing here"}});
  AddonReport report;
  EXPECT_TRUE(Load(&report));
  EXPECT_EQ(std::vector<std::string>{"init"}, Tags());
  EXPECT_TRUE(report.merged.empty());
}

TEST_F(AddonsTest, NothingFoundLeavesTheScriptAlone) {
  EXPECT_FALSE(Load());  // no Addons folder
  fs::create_directories(folder_ / "Addons");
  WriteText((folder_ / "Addons" / "x.vxa.txt").string(), "not matching");
  EXPECT_FALSE(Load());
  EXPECT_EQ(std::vector<std::string>{"init"}, Tags());
  EXPECT_TRUE(preprocessor_.urls.empty());
  EXPECT_FALSE(LoadAddons(folder_.string().c_str(), nullptr, &preprocessor_));
  EXPECT_FALSE(LoadAddons(folder_.string().c_str(), script_.GetRoot(), nullptr));
}

TEST_F(AddonsTest, ADocumentThatCannotBePreparedContributesNothing) {
  Addon("one.vxa", "one", "1");
  Addon("two-bad.vxa", "two", "2");
  Addon("three.vxa", "three", "3");
  preprocessor_.failFor = "two-bad";
  ASSERT_TRUE(Load());
  EXPECT_EQ((std::vector<std::string>{"init", "one", "three"}), Tags());
  // Each document is prepared under its own pseudo URL inside its package.
  EXPECT_EQ((std::vector<std::string>{
                std::string(kPseudoUrlPrefix) + "Addons/one.vxa/end_of_story/addon.xml",
                std::string(kPseudoUrlPrefix) + "Addons/two-bad.vxa/end_of_story/addon.xml",
                std::string(kPseudoUrlPrefix) + "Addons/three.vxa/end_of_story/addon.xml"}),
            preprocessor_.urls);
}

TEST_F(AddonsTest, TheAddonFolderIsTheOneBesideTheGameNotTheCurrentDirectory) {
  const fs::path elsewhere = folder_ / "elsewhere";
  fs::create_directories(elsewhere);
  WriteText((elsewhere / "Addons" / "stranger.vxa").string(),
            PackageBytes({{"addon.xml", AddonXml("cwd", "1")}}));
  Addon("own.vxa", "own", "2");
  const std::string before = vexa::platform::GetWorkingDirectory();
  ASSERT_TRUE(vexa::platform::SetWorkingDirectory(elsewhere.string()));
  AddonReport report;
  const bool found = Load(&report);
  ASSERT_TRUE(vexa::platform::SetWorkingDirectory(before));
  EXPECT_TRUE(found);
  EXPECT_EQ((std::vector<std::string>{"init", "own"}), Tags());
  EXPECT_EQ(std::vector<std::string>{"own.vxa"}, report.found);
}

TEST_F(AddonsTest, ElementsCarryTheirPackageSoTheirUrlsNameFilesInsideIt) {
  Addon("extra.vxa", Entries{{"addon.xml",
                              "<addon version=\"1\"><load url=\"art/panel.scene\" "
                              "layer=\"3\"/></addon>"},
                             {"art/panel.scene", "text t 0 0 \"from the add-on\""}});
  ASSERT_TRUE(Load());
  ASSERT_EQ(2u, script_.GetRoot()->GetChildCount());
  const CXMLElement* load = script_.GetRoot()->GetChild(1);
  EXPECT_EQ(script_.GetRoot(), load->GetParent());
  CSmallStr url;
  ASSERT_TRUE(load->GetAttribute("url", url));
  EXPECT_EQ(std::string(kPseudoUrlPrefix) + "Addons/extra.vxa/end_of_story/art/panel.scene",
            url.str());
  // The game's file loader reads that URL from the add-on package.
  CFileLoader loader(folder_.string().c_str());
  uint8_t* data = nullptr;
  int32_t size = 0;
  ASSERT_EQ(S_OK, loader.Load(url.c_str(), &data, &size, nullptr, nullptr));
  EXPECT_EQ("text t 0 0 \"from the add-on\"",
            std::string(reinterpret_cast<const char*>(data), static_cast<size_t>(size)));
  delete[] data;
}

// ---- With the script engine

class AddonEngineTest : public AddonsTest {
 protected:
  void SetUp() override {
    AddonsTest::SetUp();
    loader_ = std::make_unique<CFileLoader>(folder_.string().c_str());
    engine_.SetFileLoader(loader_.get());
  }
  void Game(const std::string& initXml) {
    WriteText((folder_ / "data.pak").string(), PackageBytes({{"init.xml", initXml}}));
    ASSERT_EQ(S_OK, engine_.LoadScript());
  }
  std::string Variable(const char* name) {
    VARIANT value;
    VariantInit(&value);
    if (FAILED(engine_.LookupVariable(name, &value))) return "<none>";
    std::string text;
    if (value.vt == VT_BSTR) {
      for (const wchar_t* p = value.bstrVal; p && *p; ++p) text += static_cast<char>(*p);
    } else if (value.vt == VT_I4) {
      text = std::to_string(value.lVal);
    } else {
      text = "<vt " + std::to_string(value.vt) + ">";
    }
    VariantClear(&value);
    return text;
  }

  std::unique_ptr<CFileLoader> loader_;
  CScriptEngine engine_;
};

TEST_F(AddonEngineTest, IncludesAndDefinitionsOfTheAddonAreExpandedInsideItsPackage) {
  Game("<init><var name=\"who\" expr=\"'init'\"/></init>");
  Addon("tools.vxa",
        Entries{{"addon.xml",
                 "<addon version=\"1\"><define name=\"GREETING\" value=\"hello\"/>"
                 "<include url=\"lib/more.xml\"/>"
                 "<function name=\"greet\"><assign name=\"who\" expr=\"'#GREETING#'\"/>"
                 "</function></addon>"},
                {"lib/more.xml",
                 "<more><function name=\"fromInclude\"><assign name=\"who\" "
                 "expr=\"'included #GREETING#'\"/></function></more>"}});
  ASSERT_TRUE(MergeAddons(&engine_, folder_.string().c_str()));
  engine_.Execute(engine_.GetScriptRoot(), nullptr);
  EXPECT_EQ(S_OK, engine_.RunScriptFunction("greet"));
  EXPECT_EQ("hello", Variable("who"));
  EXPECT_EQ(S_OK, engine_.RunScriptFunction("fromInclude"));
  EXPECT_EQ("included hello", Variable("who"));
}

TEST_F(AddonEngineTest, AnAddonFunctionOverridesTheGamesAndTheHigherVersionWins) {
  Game(
      "<init><var name=\"who\" expr=\"''\"/>"
      "<function name=\"greet\"><assign name=\"who\" expr=\"'init'\"/></function></init>");
  auto greeter = [](const std::string& who, const char* version) {
    return Entries{{"addon.xml", std::string("<addon version=\"") + version +
                                     "\"><function name=\"greet\"><assign name=\"who\" expr=\"'" +
                                     who + "'\"/></function></addon>"}};
  };
  Addon("a-new.vxa", greeter("version 2", "2"));
  Addon("b-old.vxa", greeter("version 1", "1"));
  ASSERT_TRUE(MergeAddons(&engine_, folder_.string().c_str()));
  engine_.Execute(engine_.GetScriptRoot(), nullptr);
  ASSERT_EQ(S_OK, engine_.RunScriptFunction("greet"));
  EXPECT_EQ("version 2", Variable("who"));
}

TEST_F(AddonEngineTest, AnAddonWhosePreparationHitsABoundIsLeftOut) {
  Game("<init/>");
  // A definition whose value doubles at every step grows past the bound.
  std::string defines;
  std::string value = "x";
  for (int i = 0; i < 20; ++i) {
    defines += "<define name=\"D" + std::to_string(i) + "\" value=\"" + value + "\"/>";
    value = "#D" + std::to_string(i) + "##D" + std::to_string(i) + "#";
  }
  Addon("huge.vxa",
        Entries{{"addon.xml", "<addon version=\"1\">" + defines + "<function name=\"huge\" v=\"" +
                                  value + "\"/></addon>"}});
  Addon("small.vxa", Entries{{"addon.xml",
                              "<addon version=\"2\"><function name=\"small\"/>"
                              "</addon>"}});
  AddonReport report;
  ASSERT_TRUE(MergeAddons(&engine_, folder_.string().c_str(), &report));
  EXPECT_EQ(std::vector<std::string>{"small.vxa 2"}, report.merged);
  std::vector<std::string> functions;
  for (const CXMLElement* child : engine_.GetScriptRoot()->GetChildren()) {
    CSmallStr name;
    if (child->GetAttribute("name", name)) functions.push_back(name.str());
  }
  EXPECT_EQ(std::vector<std::string>{"small"}, functions);
}

}  // namespace
