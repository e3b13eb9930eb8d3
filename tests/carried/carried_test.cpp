#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "data/addons.h"
#include "data/carried.h"
#include "data/loader.h"
#include "platform/resources.h"
#include "script/xml.h"
#include "support/archive.h"
#include "support/files.h"
#include "support/folders.h"

namespace {

namespace fs = std::filesystem;

// Set by the build: Windows programs carry resources (carried_test.rc), native ones none.
constexpr bool kBuildHasResources = VEXA_TEST_HAS_RESOURCES;
using vexa::testing::PackageBytes;

// The carried packages of the test: carried name -> bytes.
std::map<std::string, std::string>& Carried() {
  static std::map<std::string, std::string> carried;
  return carried;
}

bool FindFake(const char* name, const uint8_t** data, uint32_t* size) {
  auto it = Carried().find(name);
  if (it == Carried().end()) return false;
  *data = reinterpret_cast<const uint8_t*>(it->second.data());
  *size = static_cast<uint32_t>(it->second.size());
  return true;
}

std::vector<std::string> ListFake() {
  std::vector<std::string> names;
  for (const auto& item : Carried()) names.push_back(item.first);
  return names;
}

const CarriedPackageSource kFake = {FindFake, ListFake};

// The prefix of every file the tests write beside the program.
constexpr char kPrefix[] = "carried-test-";

// Packages stay cached (and, on Windows, open) for the life of the process under their path, so
// every test names its own; a run cannot delete what it opened, so the next run does.
std::string UniqueName(const std::string& stem) {
  static std::random_device device;
  return kPrefix + stem + "-" + std::to_string(device()) + ".pak";
}

// Removes what earlier runs left beside the program (none of it is open in this process yet).
void RemoveEarlierRunsFiles() {
  static bool done = false;
  if (done) return;
  done = true;
  const fs::path folder(GetExecutableFolder().str());
  for (const fs::path& dir : {folder, folder / "Addons"}) {
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
      if (it->path().filename().string().rfind(kPrefix, 0) == 0) {
        std::error_code ignored;
        fs::remove(it->path(), ignored);
      }
    }
  }
}

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

std::string LoadText(CFileLoader* loader, const char* path, const std::string& package) {
  uint8_t* data = nullptr;
  int32_t size = 0;
  if (FAILED(loader->LoadFromPackage(package.c_str(), nullptr, path, &data, &size, nullptr)))
    return "<failed>";
  std::string text(reinterpret_cast<char*>(data), static_cast<size_t>(size));
  delete[] data;
  return text;
}

class CarriedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveEarlierRunsFiles();
    Carried().clear();
    SetCarriedPackageSource(&kFake);
  }
  void TearDown() override {
    SetCarriedPackageSource(nullptr);
    // Windows refuses while the package cache holds the file open: the next run removes it.
    std::error_code ignored;
    for (const fs::path& file : written_) fs::remove(file, ignored);
  }
  // A file in the executable's folder, removed after the test.
  void WriteBesideProgram(const std::string& name, const std::string& bytes) {
    const fs::path path = fs::path(GetExecutableFolder().str()) / name;
    vexa::testing::WriteText(path.string(), bytes);
    written_.push_back(path);
  }
  std::vector<fs::path> written_;
};

TEST_F(CarriedTest, NamesAreRelativeToTheProgramFolderInUpperCase) {
  const std::string folder = GetExecutableFolder().str();
  ASSERT_FALSE(folder.empty());
  struct Case {
    std::string path;
    std::string expected;
  } cases[] = {
      {folder + "data.pak", "DATA.PAK"},
      {folder + "Addons\\demo.vxa", "ADDONS\\DEMO.VXA"},
      {folder + "Addons/Demo.VXA", "ADDONS\\DEMO.VXA"},
      {folder + "..\\data.pak", ""},  // climbs out
      {folder + "Addons\\..\\..\\x.pak", ""},
      {folder + "data.pak:stream", ""},  // an alternate data stream
      {folder, ""},                      // the folder itself
      {"/elsewhere/data.pak", ""},
      {"data.pak", ""},  // not a full path
  };
  for (const Case& c : cases) EXPECT_EQ(c.expected, CarriedPackageName(c.path.c_str())) << c.path;
  EXPECT_EQ("", CarriedPackageName(nullptr));
}

TEST_F(CarriedTest, ACarriedPackageServesWhenNoFileLiesBesideTheProgram) {
  const std::string name = UniqueName("carried");
  Carried()[Upper(name)] = PackageBytes({{"init.xml", "<init carried=\"1\"/>"}});
  CFileLoader loader;  // the program's folder
  EXPECT_EQ("<init carried=\"1\"/>", LoadText(&loader, "init.xml", name));
  // Another folder never sees the program's carried packages.
  vexa::testing::CTempFolder other;
  CFileLoader elsewhere(other.path().c_str());
  EXPECT_EQ("<failed>", LoadText(&elsewhere, "init.xml", name));
}

TEST_F(CarriedTest, APackageOnDiskWinsOverTheCarriedOne) {
  const std::string name = UniqueName("both");
  Carried()[Upper(name)] = PackageBytes({{"init.xml", "carried"}});
  WriteBesideProgram(name, PackageBytes({{"init.xml", "on disk"}}));
  CFileLoader loader;
  EXPECT_EQ("on disk", LoadText(&loader, "init.xml", name));
}

TEST_F(CarriedTest, DamagedCarriedBytesFailLikeADamagedFile) {
  const std::string name = UniqueName("damaged");
  std::string bytes = PackageBytes({{"init.xml", "<init/>"}});
  Carried()[Upper(name)] = bytes.substr(0, 3);
  CFileLoader loader;
  EXPECT_EQ("<failed>", LoadText(&loader, "init.xml", name));
}

// Records the add-on documents it is asked to prepare.
class CRecorder : public IAddonPreprocessor {
 public:
  std::vector<std::string> urls;
  HRESULT PreprocessAddon(CXMLElement*, const char* documentUrl) override {
    urls.emplace_back(documentUrl);
    return S_OK;
  }
};

TEST_F(CarriedTest, CarriedAddonsMergeAndOneOnDiskTakesTheirPlace) {
  const std::string stem = UniqueName("addon");
  const std::string carried_only = stem + "-a.vxa";
  const std::string both = stem + "-b.vxa";
  Carried()["ADDONS\\" + Upper(carried_only)] =
      PackageBytes({{"addon.xml", "<addon version=\"" + stem +
                                      "-1\"><function name=\"a\" from=\"carried\"/></addon>"}});
  Carried()["ADDONS\\" + Upper(both)] =
      PackageBytes({{"addon.xml", "<addon version=\"" + stem +
                                      "-2\"><function name=\"b\" from=\"carried\"/></addon>"}});
  Carried()["ADDONS\\NESTED\\X.VXA"] = "not listed: below a sub-folder";
  Carried()["ELSEWHERE.VXA"] = "not listed: not in Addons";
  WriteBesideProgram(
      "Addons/" + both,
      PackageBytes({{"addon.xml", "<addon version=\"" + stem +
                                      "-2\"><function name=\"b\" from=\"disk\"/></addon>"}}));

  CXMLParser script;
  ASSERT_EQ(1, script.ParseDocument("<init/>"));
  CRecorder recorder;
  AddonReport report;
  ASSERT_TRUE(LoadAddons(nullptr, script.GetRoot(), &recorder, &report));
  // Only this test's add-ons count: another test binary may share the folder.
  const auto found = [&](const std::string& name) {
    for (const std::string& item : report.found)
      if (Upper(item) == Upper(name)) return true;
    return false;
  };
  EXPECT_TRUE(found(carried_only));
  EXPECT_TRUE(found(both));
  for (const std::string& skipped : report.skipped)
    EXPECT_EQ(std::string::npos, skipped.find(stem)) << skipped;
  std::map<std::string, std::string> from;
  for (const CXMLElement* child : script.GetRoot()->GetChildren()) {
    CSmallStr name, origin;
    if (child->GetAttribute("name", name) && child->GetAttribute("from", origin))
      from[name.str()] = origin.str();
  }
  EXPECT_EQ("carried", from["a"]);
  EXPECT_EQ("disk", from["b"]);
}

TEST(CarriedResourceTest, TheProgramsOwnResourcesAreReadWhereTheBuildHasThem) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  const bool found =
      vexa::platform::FindProgramResource(kCarriedPackageType, "probe.txt", &data, &size);
  const std::vector<std::string> names = vexa::platform::ListProgramResources(kCarriedPackageType);
  if (!kBuildHasResources) {
    EXPECT_FALSE(found);
    EXPECT_TRUE(names.empty());
    return;
  }
  ASSERT_TRUE(found);
  EXPECT_EQ("carried probe", std::string(reinterpret_cast<const char*>(data), size).substr(0, 13));
  EXPECT_EQ(std::vector<std::string>{"PROBE.TXT"}, names);
  EXPECT_FALSE(vexa::platform::FindProgramResource(kCarriedPackageType, "missing", &data, &size));
}

}  // namespace
