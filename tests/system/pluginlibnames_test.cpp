// Which files of a game folder are taken for plug-in libraries: the name itself must end in
// ".dll". Windows also matches a search pattern against a file's 8.3 short name, so a listing of
// "*.dll" can bring "foo.dll_old" (short name FOO~1.DLL) along with the real libraries.
#include <gtest/gtest.h>

#include <string>

#include "support.h"
#include "system/pluginlibs.h"

namespace {

using system_test::kAlpha;
using system_test::kBeta;

TEST(PluginLibraryNameTest, OnlyNamesEndingInDllAreTaken) {
  const struct {
    const char* name;
    bool taken;
  } cases[] = {
      {"foo.dll", true},
      {"FOO.DLL", true},
      {"Foo.Dll", true},
      {".dll", true},  // the "*" of "*.dll" may stand for no characters
      {"foo.bar.dll", true},
      // What an 8.3 short name drags into a "*.dll" listing.
      {"foo.dll_old", false},
      {"foo.dllx", false},
      {"foo.dll.bak", false},
      {"foo.dll ", false},
      // Too short or a different extension.
      {"foo.dl", false},
      {"foodll", false},
      {"dll", false},
      {"", false},
      {"foo.exe", false},
      // Case is folded for ASCII letters only.
      {"foo.d\xCCl", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.taken, IsPluginLibraryName(c.name)) << '"' << c.name << '"';
  }
}

class PluginLibraryFolderTest : public system_test::PluginHostTest {
 protected:
  void SetUp() override { StartHost(); }
};

// Real plug-ins under names a short-name match would take: only the one really named *.dll loads.
// Natively the folder listing already leaves them out; on Windows this is what the filter is for.
TEST_F(PluginLibraryFolderTest, LibrariesRenamedAwayFromDllAreNotLoaded) {
  game_.Plugin(kAlpha, "alpha.dll_old");
  game_.Plugin(kAlpha, "alpha2.dllx");
  game_.Plugin(kBeta, "beta.dll");

  ASSERT_EQ(1u, LoadPluginLibraries(&list_, game_.path().c_str()));
  const std::string loaded = list_.GetRecords()[0].path;
  ASSERT_GE(loaded.size(), 8u);
  EXPECT_EQ("beta.dll", loaded.substr(loaded.size() - 8));
}

}  // namespace
