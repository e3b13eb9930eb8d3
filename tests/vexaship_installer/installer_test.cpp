// The definitions vexaship writes for installer.nsi: how texts are escaped for NSIS, which values
// are refused, the file-list macros, and (where makensis is installed) a real compilation.
#include "installer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using vexa::ship::InstallerScriptTemplate;
using vexa::ship::InstallerSpec;
using vexa::ship::MakeInstallerDefinitions;

InstallerSpec Sample() {
  InstallerSpec spec;
  spec.product = "My Game";
  spec.company = "Quorva";
  spec.version = "1.2.3.4";
  spec.copyright = "(c) Quorva";
  spec.description = "A game";
  spec.exe_name = "MyGame.exe";
  spec.install_name = "My Game";
  spec.uninstall_id = "QuorvaMyGame";
  spec.saves_folder = "Quorva\\MyGame";
  spec.settings_key = "Software\\Quorva\\MyGame";
  spec.source_dir = "/build/ship/My Game";
  spec.files = {"MyGame.exe", "data.pak"};
  spec.icon_path = "/build/ship/game.ico";
  spec.out_file = "/build/ship/setup.exe";
  return spec;
}

std::string Definitions(const InstallerSpec& spec) {
  std::string text;
  std::string error;
  EXPECT_TRUE(MakeInstallerDefinitions(spec, &text, &error)) << error;
  return text;
}

// The line of `text` that starts with `start`, without it; "<missing>" when there is none.
std::string LineAfter(const std::string& text, const std::string& start) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, start.size(), start) == 0) return line.substr(start.size());
  }
  return "<missing>";
}

// The body of macro `name` in `text`; "<missing>" when it is not defined.
std::string MacroBody(const std::string& text, const std::string& name) {
  const std::string open = "!macro " + name + "\n";
  const size_t begin = text.find(open);
  if (begin == std::string::npos) return "<missing>";
  const size_t end = text.find("!macroend\n", begin);
  return text.substr(begin + open.size(), end - begin - open.size());
}

// ---- Escaping -----------------------------------------------------------------------------------

struct EscapeCase {
  const char* name;
  const char* product;
  const char* runtime;  // the VEXA_PRODUCT define (read by the installer as it runs)
  const char* literal;  // the ProductName version key (used by makensis as it is)
};

void PrintTo(const EscapeCase& c, std::ostream* os) {
  *os << c.name;
}

class EscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeTest, ProductNameInDefineAndVersionInfo) {
  InstallerSpec spec = Sample();
  spec.product = GetParam().product;
  const std::string text = Definitions(spec);
  EXPECT_EQ(LineAfter(text, "!define VEXA_PRODUCT "), GetParam().runtime);
  EXPECT_EQ(LineAfter(text, "  VIAddVersionKey /LANG=${LANG_ENGLISH} ProductName "),
            GetParam().literal);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EscapeTest,
    ::testing::Values(
        EscapeCase{"Plain", "My Game", R"("My Game")", R"("My Game")"},
        EscapeCase{"QuotesAndDollar", R"(Tom's "Game" $100)", R"("Tom's $\"Game$\" $$100")",
                   R"("Tom's $\"Game$\" $100")"},
        // "${" must not reach the preprocessor in any number of expansions.
        EscapeCase{"DefineReference", "${NSISDIR} x", R"("$$$(VEXA_LBRACE)NSISDIR} x")",
                   R"("$${U+7B}NSISDIR} x")"},
        EscapeCase{"DollarsBeforeBrace", "$${a}", R"("$$$$$(VEXA_LBRACE)a}")", R"("$$${U+7B}a}")"},
        EscapeCase{"VariableAndLanguageString", "$INSTDIR $(^Name)", R"-("$$INSTDIR $$(^Name)")-",
                   R"-("$INSTDIR $(^Name)")-"},
        EscapeCase{"DollarBackslashInside", R"($\n and $\r)", R"("$$\n and $$\r")",
                   R"("$\n and $\r")"},
        EscapeCase{"BackslashBeforeQuote", R"(a\"b)", R"("a\$\"b")", R"("a\$\"b")"},
        EscapeCase{"OtherQuotes", "it's `fine`", R"("it's `fine`")", R"("it's `fine`")"},
        EscapeCase{"CommentCharacters", "A; B # C", R"("A; B # C")", R"("A; B # C")"},
        EscapeCase{"Utf8", "Caf\xC3\xA9 \xE6\xBC\xA2", "\"Caf\xC3\xA9 \xE6\xBC\xA2\"",
                   "\"Caf\xC3\xA9 \xE6\xBC\xA2\""}),
    [](const ::testing::TestParamInfo<EscapeCase>& info) { return info.param.name; });

TEST(InstallerDefinitionsTest, AmpersandsAreDoubledOnlyForDialogLabels) {
  InstallerSpec spec = Sample();
  spec.product = "Salt & Pepper";
  const std::string text = Definitions(spec);
  EXPECT_EQ(LineAfter(text, "!define VEXA_PRODUCT "), R"("Salt & Pepper")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_PRODUCT_AMP "), R"("Salt && Pepper")");
}

TEST(InstallerDefinitionsTest, EveryTextIsEscaped) {
  InstallerSpec spec = Sample();
  spec.company = R"(Q "Co" $)";
  spec.copyright = R"((c) "Q" $1)";
  spec.description = R"("Best" ${game})";
  spec.install_name = "Folder $x";
  spec.uninstall_id = "Id \"1\" $";
  spec.exe_name = "My$Game.exe";
  spec.files = {"My$Game.exe"};
  spec.saves_folder = "Q$\\G{1}";
  spec.settings_key = "Software\\Q\"\\${G}";
  const std::string text = Definitions(spec);
  EXPECT_EQ(LineAfter(text, "!define VEXA_COMPANY "), R"("Q $\"Co$\" $$")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_DESCRIPTION "), R"("$\"Best$\" $$$(VEXA_LBRACE)game}")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_INSTALL_NAME "), R"("Folder $$x")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_UNINSTALL_ID "), R"("Id $\"1$\" $$")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_EXE "), R"("My$$Game.exe")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_SAVES_FOLDER "), R"("Q$$\G{1}")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_SETTINGS_KEY "), R"("Software\Q$\"\$$$(VEXA_LBRACE)G}")");
  EXPECT_EQ(LineAfter(text, "  VIAddVersionKey /LANG=${LANG_ENGLISH} CompanyName "),
            R"("Q $\"Co$\" $")");
  EXPECT_EQ(LineAfter(text, "  VIAddVersionKey /LANG=${LANG_ENGLISH} LegalCopyright "),
            R"("(c) $\"Q$\" $1")");
  EXPECT_EQ(LineAfter(text, "  VIAddVersionKey /LANG=${LANG_ENGLISH} Comments "),
            R"("$\"Best$\" $${U+7B}game}")");
}

TEST(InstallerDefinitionsTest, BuildPathsAreUsedAsTheyAre) {
  InstallerSpec spec = Sample();
  spec.source_dir = "/home/me/it's $HOME/\"q\"";
  spec.icon_path = "/home/me/$icon \"1\".ico";
  spec.out_file = "/home/me/out $x/setup.exe";
  spec.files = {"MyGame.exe", "a${b}.txt"};
  const std::string text = Definitions(spec);
  EXPECT_EQ(LineAfter(text, "!define VEXA_ICON "), R"("/home/me/$icon $\"1$\".ico")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_OUTFILE "), R"("/home/me/out $x/setup.exe")");
  EXPECT_EQ(MacroBody(text, "VEXA_INSTALL_FILES"),
            "  SetOutPath \"$INSTDIR\"\n"
            "  File \"/home/me/it's $HOME/$\\\"q$\\\"/MyGame.exe\"\n"
            "  File \"/home/me/it's $HOME/$\\\"q$\\\"/a$${U+7B}b}.txt\"\n");
}

TEST(InstallerDefinitionsTest, OptionalDefinesFollowTheValues) {
  InstallerSpec spec = Sample();
  std::string text = Definitions(spec);
  EXPECT_EQ(text.find("!define VEXA_X64"), std::string::npos);
  EXPECT_NE(text.find("!define VEXA_ICON "), std::string::npos);
  EXPECT_NE(text.find("!define VEXA_SAVES_FOLDER "), std::string::npos);

  spec.x64 = true;
  spec.icon_path.clear();
  spec.copyright.clear();
  spec.description.clear();
  text = Definitions(spec);
  EXPECT_NE(text.find("!define VEXA_X64\n"), std::string::npos);
  EXPECT_EQ(text.find("VEXA_ICON"), std::string::npos);
  // makensis warns about an empty version key, so an empty text leaves its key out.
  EXPECT_EQ(text.find("LegalCopyright"), std::string::npos);
  EXPECT_EQ(text.find("Comments"), std::string::npos);
  EXPECT_EQ(LineAfter(text, "  VIAddVersionKey /LANG=${LANG_ENGLISH} FileDescription "),
            R"("My Game Setup")");
}

// ---- Names made from the product ----------------------------------------------------------------

struct NameCase {
  const char* name;
  const char* product;
  const char* shortcut;
};

void PrintTo(const NameCase& c, std::ostream* os) {
  *os << c.name;
}

class ShortcutNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ShortcutNameTest, ProductBecomesAFileName) {
  InstallerSpec spec = Sample();
  spec.product = GetParam().product;
  spec.install_name.clear();
  spec.uninstall_id.clear();
  const std::string text = Definitions(spec);
  const std::string expected = std::string("\"") + GetParam().shortcut + "\"";
  EXPECT_EQ(LineAfter(text, "!define VEXA_SHORTCUT_NAME "), expected);
  // Both left empty: the folder and the Apps & features key are named like the shortcut.
  EXPECT_EQ(LineAfter(text, "!define VEXA_INSTALL_NAME "), expected);
  EXPECT_EQ(LineAfter(text, "!define VEXA_UNINSTALL_ID "), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Products, ShortcutNameTest,
    ::testing::Values(NameCase{"Plain", "My Game", "My Game"},
                      NameCase{"Quotes", R"(Tom's "Game")", "Tom's 'Game'"},
                      NameCase{"ColonAndSlash", "Game: Part 1/2", "Game - Part 1-2"},
                      NameCase{"Dropped", "What? <Really> *now*|", "What Really now-"},
                      NameCase{"TrailingDots", "Wait...", "Wait"},
                      NameCase{"Device", "CON", "MyGame"},
                      NameCase{"NothingLeft", "???", "MyGame"}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return info.param.name; });

TEST(InstallerDefinitionsTest, GivenInstallNameAndIdAreKept) {
  const std::string text = Definitions(Sample());
  EXPECT_EQ(LineAfter(text, "!define VEXA_SHORTCUT_NAME "), R"("My Game")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_INSTALL_NAME "), R"("My Game")");
  EXPECT_EQ(LineAfter(text, "!define VEXA_UNINSTALL_ID "), R"("QuorvaMyGame")");
}

// ---- Refused values -----------------------------------------------------------------------------

struct RefusedCase {
  const char* name;
  void (*change)(InstallerSpec*);
  const char* error_part;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
  *os << c.name;
}

class RefusedTest : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedTest, RefusedWithAOneLineReason) {
  InstallerSpec spec = Sample();
  GetParam().change(&spec);
  std::string text = "untouched";
  std::string error;
  EXPECT_FALSE(MakeInstallerDefinitions(spec, &text, &error));
  EXPECT_EQ(text, "untouched");
  EXPECT_NE(error.find(GetParam().error_part), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedTest,
    ::testing::Values(
        RefusedCase{"EmptyProduct", [](InstallerSpec* s) { s->product.clear(); },
                    "product name is empty"},
        RefusedCase{"NewlineInProduct", [](InstallerSpec* s) { s->product = "A\nB"; },
                    "product name \"A\\x0AB\" holds a control character"},
        RefusedCase{"NulInCompany", [](InstallerSpec* s) { s->company = std::string("A\0B", 3); },
                    "company \"A\\x00B\" holds a control character"},
        RefusedCase{"TabInCopyright", [](InstallerSpec* s) { s->copyright = "(c)\t1"; },
                    "copyright"},
        RefusedCase{"CarriageReturnInFile", [](InstallerSpec* s) { s->files.push_back("a\r.txt"); },
                    "control character"},
        RefusedCase{"NotUtf8", [](InstallerSpec* s) { s->description = "caf\xE9"; },
                    "is not UTF-8"},
        RefusedCase{"Surrogate", [](InstallerSpec* s) { s->product = "x\xED\xA0\x80"; },
                    "is not UTF-8"},
        RefusedCase{"DollarBackslashAtEnd", [](InstallerSpec* s) { s->product = "Cash$\\"; },
                    "escaped quote"},
        RefusedCase{"DollarBackslashQuote",
                    [](InstallerSpec* s) { s->description = "say $\\\"hi\""; }, "escaped quote"},
        RefusedCase{"DollarBackslashInPath",
                    [](InstallerSpec* s) { s->source_dir = "/src/a$\\'b"; }, "escaped quote"},
        RefusedCase{"ThreePartVersion", [](InstallerSpec* s) { s->version = "1.2.3"; },
                    "version \"1.2.3\""},
        RefusedCase{"VersionTooBig", [](InstallerSpec* s) { s->version = "1.2.3.65536"; },
                    "0..65535"},
        RefusedCase{"VersionNotNumbers", [](InstallerSpec* s) { s->version = "1.2.3.b"; },
                    "version"},
        RefusedCase{"EmptyExe", [](InstallerSpec* s) { s->exe_name.clear(); }, "exe name is empty"},
        RefusedCase{"ExeInAFolder",
                    [](InstallerSpec* s) {
                      s->exe_name = "bin/MyGame.exe";
                      s->files.push_back("bin/MyGame.exe");
                    },
                    "not a file of the top folder"},
        RefusedCase{"ExeNotListed", [](InstallerSpec* s) { s->files = {"data.pak"}; },
                    "not among the files"},
        RefusedCase{"ExeNotAnExe", [](InstallerSpec* s) { s->exe_name = "data.pak"; },
                    "does not end in .exe"},
        RefusedCase{"NoFiles", [](InstallerSpec* s) { s->files.clear(); }, "no files"},
        RefusedCase{"FileClimbsOut", [](InstallerSpec* s) { s->files.push_back("../x.dll"); },
                    "climbs out"},
        RefusedCase{"FileClimbsOutLater",
                    [](InstallerSpec* s) { s->files.push_back("Addons\\..\\..\\x.dll"); },
                    "climbs out"},
        RefusedCase{"AbsoluteFile", [](InstallerSpec* s) { s->files.push_back("/etc/passwd"); },
                    "is not relative"},
        RefusedCase{"DriveInFile", [](InstallerSpec* s) { s->files.push_back("C:/x.dll"); },
                    "holds ':'"},
        RefusedCase{"EmptyFolderName", [](InstallerSpec* s) { s->files.push_back("a//b"); },
                    "empty folder name"},
        RefusedCase{"DotFolder", [](InstallerSpec* s) { s->files.push_back("a/./b"); },
                    "\".\" folder"},
        RefusedCase{"TrailingSeparator", [](InstallerSpec* s) { s->files.push_back("Addons/"); },
                    "empty folder name"},
        RefusedCase{"Wildcard", [](InstallerSpec* s) { s->files.push_back("Addons/*.vxa"); },
                    "holds '*'"},
        RefusedCase{"DeviceName", [](InstallerSpec* s) { s->files.push_back("Addons/nul.txt"); },
                    "device"},
        RefusedCase{"TrailingDot", [](InstallerSpec* s) { s->files.push_back("readme."); },
                    "ending in a dot"},
        RefusedCase{"ListedTwiceInOtherCase",
                    [](InstallerSpec* s) { s->files.push_back("DATA.PAK"); }, "listed twice"},
        RefusedCase{"ListedTwiceWithOtherSeparator",
                    [](InstallerSpec* s) {
                      s->files = {"MyGame.exe", "a/b.txt", "a\\b.txt"};
                    },
                    "listed twice"},
        RefusedCase{"FileIsAlsoAFolder",
                    [](InstallerSpec* s) {
                      s->files = {"MyGame.exe", "Addons", "addons/x"};
                    },
                    "also the name of a folder"},
        RefusedCase{"InstallNameWithSlash",
                    [](InstallerSpec* s) { s->install_name = "Quorva/My Game"; }, "holds '/'"},
        RefusedCase{"UninstallIdWithBackslash",
                    [](InstallerSpec* s) { s->uninstall_id = "Quorva\\Game"; }, "sub-key"},
        RefusedCase{"SavesOneLevel", [](InstallerSpec* s) { s->saves_folder = "Quorva"; },
                    "at least 2 levels"},
        RefusedCase{"SavesClimbOut",
                    [](InstallerSpec* s) { s->saves_folder = "Quorva\\..\\..\\Windows"; },
                    "climbs out"},
        RefusedCase{"SavesAbsolute", [](InstallerSpec* s) { s->saves_folder = "\\Quorva\\MyGame"; },
                    "not relative"},
        RefusedCase{"SettingsOneLevel", [](InstallerSpec* s) { s->settings_key = "Software"; },
                    "at least 2 levels"},
        RefusedCase{"SettingsEmptyLevel",
                    [](InstallerSpec* s) { s->settings_key = "Software\\\\Quorva"; },
                    "empty key name"},
        RefusedCase{"EmptySourceFolder", [](InstallerSpec* s) { s->source_dir.clear(); },
                    "source folder is empty"},
        RefusedCase{"WildcardInSourceFolder",
                    [](InstallerSpec* s) { s->source_dir = "/src/game?"; }, "wildcard"},
        RefusedCase{"EmptyOutput", [](InstallerSpec* s) { s->out_file.clear(); },
                    "output file is empty"},
        RefusedCase{"SymbolInIcon",
                    [](InstallerSpec* s) { s->icon_path = "/src/${NSISDIR}/i.ico"; },
                    "icon \"/src/${NSISDIR}/i.ico\" holds \"${\""},
        RefusedCase{"SymbolInOutput", [](InstallerSpec* s) { s->out_file = "/out/${x}/setup.exe"; },
                    "output file"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return info.param.name; });

// ---- File lists ---------------------------------------------------------------------------------

InstallerSpec NestedFiles(const std::string& source_dir) {
  InstallerSpec spec = Sample();
  spec.source_dir = source_dir;
  // A folder that holds only a folder (Music), one named in two spellings (Addons), '\\' and '/'.
  spec.files = {"MyGame.exe",          "Addons/x.vxa",         "data.pak",
                "Music\\Theme\\a.mp3", "addons\\Deep\\y$.txt", "ADDONS/z.vxa"};
  return spec;
}

const char kUninstallNested[] =
    "  Delete \"$INSTDIR\\MyGame.exe\"\n"
    "  Delete \"$INSTDIR\\Addons\\x.vxa\"\n"
    "  Delete \"$INSTDIR\\data.pak\"\n"
    "  Delete \"$INSTDIR\\Music\\Theme\\a.mp3\"\n"
    "  Delete \"$INSTDIR\\Addons\\Deep\\y$$.txt\"\n"
    "  Delete \"$INSTDIR\\Addons\\z.vxa\"\n"
    "  RMDir \"$INSTDIR\\Addons\\Deep\"\n"
    "  RMDir \"$INSTDIR\\Music\\Theme\"\n"
    "  RMDir \"$INSTDIR\\Addons\"\n"
    "  RMDir \"$INSTDIR\\Music\"\n";

TEST(InstallerFilesTest, NestedFoldersOnALinuxBuildMachine) {
  const std::string text = Definitions(NestedFiles("/build/ship/it's/"));
  // One SetOutPath per folder (the top folder first), File with the full source path.
  EXPECT_EQ(MacroBody(text, "VEXA_INSTALL_FILES"),
            "  SetOutPath \"$INSTDIR\"\n"
            "  File \"/build/ship/it's/MyGame.exe\"\n"
            "  File \"/build/ship/it's/data.pak\"\n"
            "  SetOutPath \"$INSTDIR\\Addons\"\n"
            "  File \"/build/ship/it's/Addons/x.vxa\"\n"
            "  File \"/build/ship/it's/ADDONS/z.vxa\"\n"
            "  SetOutPath \"$INSTDIR\\Music\\Theme\"\n"
            "  File \"/build/ship/it's/Music/Theme/a.mp3\"\n"
            "  SetOutPath \"$INSTDIR\\Addons\\Deep\"\n"
            "  File \"/build/ship/it's/addons/Deep/y$.txt\"\n");
  // Each file, then each folder deepest first, never "RMDir /r".
  EXPECT_EQ(MacroBody(text, "VEXA_UNINSTALL_FILES"), kUninstallNested);
}

TEST(InstallerFilesTest, NestedFoldersOnAWindowsBuildMachine) {
  const std::string text = Definitions(NestedFiles("C:\\Build\\Ship $1\\"));
  EXPECT_EQ(MacroBody(text, "VEXA_INSTALL_FILES"),
            "  SetOutPath \"$INSTDIR\"\n"
            "  File \"C:\\Build\\Ship $1\\MyGame.exe\"\n"
            "  File \"C:\\Build\\Ship $1\\data.pak\"\n"
            "  SetOutPath \"$INSTDIR\\Addons\"\n"
            "  File \"C:\\Build\\Ship $1\\Addons\\x.vxa\"\n"
            "  File \"C:\\Build\\Ship $1\\ADDONS\\z.vxa\"\n"
            "  SetOutPath \"$INSTDIR\\Music\\Theme\"\n"
            "  File \"C:\\Build\\Ship $1\\Music\\Theme\\a.mp3\"\n"
            "  SetOutPath \"$INSTDIR\\Addons\\Deep\"\n"
            "  File \"C:\\Build\\Ship $1\\addons\\Deep\\y$.txt\"\n");
  EXPECT_EQ(MacroBody(text, "VEXA_UNINSTALL_FILES"), kUninstallNested);
}

// ---- Saves --------------------------------------------------------------------------------------

TEST(InstallerSavesTest, DeletesTheGamesFolderAndKeyThenEmptyParents) {
  InstallerSpec spec = Sample();
  spec.saves_folder = "Quorva/Games/My$Game";
  spec.settings_key = "Software\\Quorva\\Games\\MyGame";
  const std::string text = Definitions(spec);
  EXPECT_EQ(LineAfter(text, "!define VEXA_SAVES_FOLDER "), R"("Quorva\Games\My$$Game")");
  // Never a parent with /r, never the first level of the key ("Software").
  EXPECT_EQ(MacroBody(text, "VEXA_DELETE_SAVES"),
            "  RMDir /r \"$APPDATA\\Quorva\\Games\\My$$Game\"\n"
            "  RMDir \"$APPDATA\\Quorva\\Games\"\n"
            "  RMDir \"$APPDATA\\Quorva\"\n"
            "  DeleteRegKey HKCU \"Software\\Quorva\\Games\\MyGame\"\n"
            "  DeleteRegKey /ifempty HKCU \"Software\\Quorva\\Games\"\n"
            "  DeleteRegKey /ifempty HKCU \"Software\\Quorva\"\n");
}

TEST(InstallerSavesTest, NoSavesFolderOffersNothing) {
  InstallerSpec spec = Sample();
  spec.saves_folder.clear();
  const std::string text = Definitions(spec);
  EXPECT_EQ(text.find("VEXA_SAVES_FOLDER"), std::string::npos);
  EXPECT_EQ(MacroBody(text, "VEXA_DELETE_SAVES"), "<missing>");
  EXPECT_EQ(text.find("$APPDATA"), std::string::npos);
  EXPECT_EQ(text.find("DeleteRegKey"), std::string::npos);
}

TEST(InstallerSavesTest, SavesWithoutSettingsKeyDeleteOnlyTheFolder) {
  InstallerSpec spec = Sample();
  spec.settings_key.clear();
  const std::string text = Definitions(spec);
  EXPECT_EQ(MacroBody(text, "VEXA_DELETE_SAVES"),
            "  RMDir /r \"$APPDATA\\Quorva\\MyGame\"\n"
            "  RMDir \"$APPDATA\\Quorva\"\n");
}

// ---- The script ---------------------------------------------------------------------------------

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(InstallerScriptTest, TheToolCarriesTheScriptOfTheSourceTree) {
  const std::filesystem::path script =
      std::filesystem::path(VEXA_TEST_DATA) / ".." / ".." / "tools" / "vexaship" / "installer.nsi";
  const std::string on_disk = ReadFile(script);
  ASSERT_FALSE(on_disk.empty()) << script;
  EXPECT_EQ(InstallerScriptTemplate(), on_disk);
}

// ---- makensis -----------------------------------------------------------------------------------

// A fresh folder below the temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    std::random_device random;
    root_ = std::filesystem::temp_directory_path() /
            ("vexaship-installer-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(root_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  const std::filesystem::path& root() const { return root_; }

 private:
  std::filesystem::path root_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  ASSERT_TRUE(out.good()) << path;
}

// A 16x16 32-bit icon: makensis reads the icon's directory and image header.
std::string SmallIcon() {
  const uint32_t pixels = 16 * 16 * 4;
  const uint32_t mask = 16 * 4;  // 1 bit a pixel, rows padded to 4 bytes
  // clang-format off
  const std::pair<uint32_t, int> fields[] = {
      {0, 2}, {1, 2}, {1, 2},                     // directory: an icon file with one image
      {16, 1}, {16, 1}, {0, 1}, {0, 1},           // 16x16, no palette
      {1, 2}, {32, 2},                            // planes, bits per pixel
      {40 + pixels + mask, 4}, {6 + 16, 4},       // the image's size and offset
      {40, 4}, {16, 4}, {32, 4}, {1, 2},          // BITMAPINFOHEADER: the height counts the mask
      {32, 2}, {0, 4}, {pixels + mask, 4},        // bits, no compression, the image's bytes
      {0, 4}, {0, 4}, {0, 4}, {0, 4}};
  // clang-format on
  std::string ico;
  for (const auto& [value, bytes] : fields) {
    for (int i = 0; i < bytes; ++i) ico += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
  ico += std::string(pixels, '\x7F');
  ico += std::string(mask, '\0');
  return ico;
}

// UTF-16LE of UTF-8 text of the Basic Multilingual Plane.
std::string Utf16(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    const size_t more = lead < 0x80 ? 0 : lead < 0xE0 ? 1 : 2;
    uint32_t code = more == 0 ? lead : more == 1 ? lead & 0x1F : lead & 0x0F;
    for (size_t k = 1; k <= more; ++k) {
      code = code << 6 | (static_cast<uint8_t>(utf8[i + k]) & 0x3F);
    }
    out += static_cast<char>(code & 0xFF);
    out += static_cast<char>(code >> 8);
    i += more + 1;
  }
  return out;
}

// The machine field of a PE file's header.
uint16_t PeMachine(const std::string& exe) {
  if (exe.size() < 64 || exe.compare(0, 2, "MZ") != 0) return 0;
  const auto byte = [&](size_t at) { return static_cast<uint32_t>(static_cast<uint8_t>(exe[at])); };
  const uint32_t pe = byte(60) | byte(61) << 8 | byte(62) << 16 | byte(63) << 24;
  if (exe.size() < pe + 6 || exe.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return 0;
  return static_cast<uint16_t>(byte(pe + 4) | byte(pe + 5) << 8);
}

TEST(InstallerMakensisTest, CompilesAGameWithHostileNames) {
  TempFolder temp;
  const std::filesystem::path version_log = temp.root() / "version.txt";
  if (std::system(("makensis -VERSION > \"" + version_log.string() + "\" 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "makensis does not run here (Debian: apt-get install nsis; a Windows build "
                    "under Wine cannot start the Linux one)";
  }

  // Names makensis's own syntax would trip on, in the build folder's path and the game's texts.
  const std::filesystem::path source = temp.root() / "it's $HOME & {x}";
  WriteFile(source / "My$Game.exe", "MZ not really a program");
  WriteFile(source / "data.pak", std::string(5000, 'p'));
  WriteFile(source / "Addons" / "x.vxa", "addon");
  WriteFile(source / "Addons" / "deep ${x}" / "y.txt", "deep");
  WriteFile(temp.root() / "game.ico", SmallIcon());

  const std::string product = "Tom's \"Game\" $100 & ${NSISDIR} 50% Caf\xC3\xA9 \xCE\xA9";
  for (const bool x64 : {true, false}) {
    SCOPED_TRACE(x64 ? "64-bit game" : "32-bit game");
    const std::filesystem::path work = temp.root() / (x64 ? "work64" : "work32");
    InstallerSpec spec;
    spec.product = product;
    spec.company = "Quorva \"Q\" $1";
    spec.version = "1.2.3.4";
    spec.copyright = "(c) Quorva";
    spec.exe_name = "My$Game.exe";
    spec.saves_folder = "Quorva\\My$Game";
    spec.settings_key = "Software\\Quorva\\${x}";
    spec.x64 = x64;
    spec.source_dir = source.generic_string();
    spec.files = {"My$Game.exe", "data.pak", "Addons/x.vxa", "Addons\\deep ${x}\\y.txt"};
    spec.icon_path = (temp.root() / "game.ico").generic_string();
    spec.out_file = (work / "setup.exe").generic_string();
    std::string definitions;
    std::string error;
    ASSERT_TRUE(MakeInstallerDefinitions(spec, &definitions, &error)) << error;
    WriteFile(work / "game.nsh", definitions);
    WriteFile(work / "installer.nsi", InstallerScriptTemplate());

    // -WX: a warning (an unknown variable made of a text, say) fails the build.
    const std::filesystem::path log = work / "makensis.log";
    const std::string command = "makensis -V2 -WX \"" + (work / "installer.nsi").string() +
                                "\" > \"" + log.string() + "\" 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFile(log);

    const std::string setup = ReadFile(work / "setup.exe");
    EXPECT_EQ(PeMachine(setup), x64 ? 0x8664 : 0x014C);
    // The version resource is stored as it is: the texts must come out unescaped.
    EXPECT_NE(setup.find(Utf16(product)), std::string::npos);
    EXPECT_NE(setup.find(Utf16(product + " Setup")), std::string::npos);
    EXPECT_NE(setup.find(Utf16("Quorva \"Q\" $1")), std::string::npos);
  }
}

}  // namespace
