#include "data/loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "script/xml.h"
#include "storage/archiver.h"
#include "support/archive.h"
#include "support/files.h"
#include "support/folders.h"

namespace {

namespace fs = std::filesystem;

const std::string P = kPseudoUrlPrefix;
const bool kWindowsPaths = fs::path::preferred_separator == '\\';

std::string Slashes(std::string s, char from, char to) {
  for (char& c : s)
    if (c == from) c = to;
  return s;
}

// The pseudo URL of an absolute disk path, with '#' for the drive colon.
std::string DiskUrl(const fs::path& path) {
  return P + "HDD_ABSOLUTE_PATH/end_of_story/" +
         Slashes(Slashes(path.string(), '\\', '/'), ':', '#');
}

struct Entry {
  std::string name;
  std::string content;
  const char* password = kPackageDefaultPassword;
};

struct Loaded {
  HRESULT hr = E_UNEXPECTED;
  std::string bytes;
  bool dataNull = true;
  int32_t size = -1;
};

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = dir_ / "game";
    fs::create_directories(base_);
    loader_ = std::make_unique<CFileLoader>(base_.string().c_str());
  }

  static void WriteFile(const fs::path& path, const std::string& content) {
    vexa::testing::WriteText(path, content);
  }

  static void WritePackage(const fs::path& path, const std::vector<Entry>& entries) {
    std::vector<vexa::testing::PackEntry> packed;
    for (const Entry& e : entries) {
      packed.push_back({e.name, vexa::testing::ToBytes(e.content), e.password});
    }
    WriteFile(path, vexa::testing::ToText(vexa::testing::Pack(packed)));
  }

  // Runs one read with outputs that hold garbage first, so a read that forgets to set them shows.
  template <class F>
  static Loaded Call(F&& read) {
    Loaded r;
    uint8_t sentinel = 0;
    uint8_t* data = &sentinel;
    int32_t size = -1;
    r.hr = read(&data, &size);
    r.dataNull = data == nullptr;
    r.size = size;
    if (data && data != &sentinel) {
      if (size >= 0) r.bytes.assign(reinterpret_cast<const char*>(data), size);
      delete[] data;
    }
    return r;
  }

  Loaded Load(const std::string& path, CSmallStr* baseUrl = nullptr,
              const char* package = nullptr) {
    return Call([&](uint8_t** d, int32_t* s) {
      return loader_->Load(path.c_str(), d, s, baseUrl, package);
    });
  }
  Loaded FromPackage(const std::string& path, const char* package, const char* password,
                     CSmallStr* baseUrl = nullptr) {
    return Call([&](uint8_t** d, int32_t* s) {
      return loader_->LoadFromPackage(package, password, path.c_str(), d, s, baseUrl);
    });
  }
  Loaded FromDisk(const std::string& path, CSmallStr* baseUrl = nullptr) {
    return Call([&](uint8_t** d, int32_t* s) {
      return loader_->LoadFromDisk(path.c_str(), d, s, baseUrl);
    });
  }

  // The disk base URL the loader gives for a folder inside the base folder.
  std::string DiskBase(const std::string& subfolder) const {
    return P + "HDD_ABSOLUTE_PATH/end_of_story\\" +
           Slashes(loader_->GetBaseFolder().str() + subfolder, '/', '\\');
  }

  static void ExpectFailed(const Loaded& r, const std::string& what) {
    EXPECT_TRUE(FAILED(r.hr)) << what;
    EXPECT_TRUE(r.dataNull) << what;
    EXPECT_EQ(r.size, 0) << what;
  }

  // A folder per test: the package cache remembers packages by path, and keeps them mapped until
  // the process ends (Windows refuses to delete a mapped file), so the folders go at exit.
  vexa::testing::CGameFolder folder_;
  const fs::path dir_ = folder_.root();
  fs::path base_;
  std::unique_ptr<CFileLoader> loader_;
};

// --- Package lookups
// ------------------------------------------------------------------------------

TEST_F(LoaderTest, ExactLookupIgnoresCaseAndGivesTheFolderUrl) {
  WritePackage(base_ / "data.pak", {{"readme.txt", "root readme"},
                                    {"movies/intro.swf", "INTRO"},
                                    {"Scripts\\Main.xml", "<main/>"}});
  CSmallStr baseUrl("caller's");
  Loaded r = Load("Movies/Intro.SWF", &baseUrl);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.bytes, "INTRO");
  EXPECT_EQ(baseUrl.str(), P + "data.pak/end_of_story\\movies\\");

  r = Load("scripts\\main.xml", &baseUrl);
  EXPECT_EQ(r.bytes, "<main/>");
  EXPECT_EQ(baseUrl.str(), P + "data.pak/end_of_story\\scripts\\");

  // A root entry: nothing after the marker's backslash.
  r = Load("README.TXT", &baseUrl);
  EXPECT_EQ(r.bytes, "root readme");
  EXPECT_EQ(baseUrl.str(), P + "data.pak/end_of_story\\");

  // The same entries through pseudo URLs, in either separator spelling.
  r = Load(P + "data.pak/end_of_story/movies/intro.swf", &baseUrl);
  EXPECT_EQ(r.bytes, "INTRO");
  r = Load("http:\\\\game.invalid\\data.pak\\end_of_story\\movies\\intro.swf");
  EXPECT_EQ(r.bytes, "INTRO");
}

TEST_F(LoaderTest, SuffixLookupFindsEntriesByTheEndOfTheirNames) {
  WritePackage(base_ / "data.pak", {{"one/x.txt", "first x"},
                                    {"two/x.txt", "second x"},
                                    {"movies/intro.swf", "INTRO"},
                                    {"game.swf", "GAME"},
                                    {"logo.png", "LOGO"},
                                    {"a/readme.txt", "nested readme"},
                                    {"readme.txt", "root readme"}});
  struct Case {
    const char* request;
    const char* content;  // null: not found
    const char* baseUrl;  // null: the caller's value stays
  } cases[] = {
      // A request shorter than the entry: the entry's leading folder becomes the base.
      {"intro.swf", "INTRO", "data.pak/end_of_story\\movies\\"},
      {"x.txt", "first x", "data.pak/end_of_story\\one\\"},  // directory order decides
      // A request longer than the entry: the entry is a tail of it, the base stays.
      {"a/b/logo.png", "LOGO", nullptr},
      {"deep/movies/INTRO.swf", "INTRO", nullptr},
      // Neither is a tail of the other.
      {"a/b/intro.swf", nullptr, nullptr},
      {"intro.swf2", nullptr, nullptr},
      // Folder boundaries do not count; a one-character lead is no folder.
      {"ame.swf", "GAME", nullptr},
      // An exact match wins over an earlier entry that agrees by suffix.
      {"readme.txt", "root readme", "data.pak/end_of_story\\"},
  };
  for (const Case& c : cases) {
    CSmallStr baseUrl("caller's");
    Loaded r = Load(c.request, &baseUrl);
    if (!c.content) {
      ExpectFailed(r, c.request);
    } else {
      EXPECT_EQ(r.hr, S_OK) << c.request;
      EXPECT_EQ(r.bytes, c.content) << c.request;
    }
    EXPECT_EQ(baseUrl.str(), c.baseUrl ? P + c.baseUrl : "caller's") << c.request;
  }
}

TEST_F(LoaderTest, PackageNamedByUrlOrArgumentIsOpenedInTheBaseFolder) {
  WritePackage(base_ / "data.pak", {{"addon.xml", "from data.pak"}});
  WritePackage(base_ / "Addons" / "extra.vxa", {{"addon.xml", "<addon/>"}, {"img/a.png", "PNG"}});

  CSmallStr baseUrl;
  Loaded r = Load(P + "Addons/extra.vxa/end_of_story/img/a.png", &baseUrl);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.bytes, "PNG");
  EXPECT_EQ(baseUrl.str(), P + "Addons/extra.vxa/end_of_story\\img\\");

  r = Load("addon.xml", &baseUrl, "Addons\\extra.vxa");
  EXPECT_EQ(r.bytes, "<addon/>");
  EXPECT_EQ(baseUrl.str(), P + "Addons\\extra.vxa/end_of_story\\");

  // A pseudo URL's package wins over the argument; no package at all means data.pak.
  r = Load(P + "data.pak/end_of_story/addon.xml", nullptr, "Addons\\extra.vxa");
  EXPECT_EQ(r.bytes, "from data.pak");
  r = Load("addon.xml");
  EXPECT_EQ(r.bytes, "from data.pak");
}

TEST_F(LoaderTest, PasswordsDecideWhetherAnEntryDecodes) {
  WritePackage(base_ / "secret.pak", {{"s/a.txt", "scrambled", "own password"},
                                      {"b.txt", "default", kPackageDefaultPassword},
                                      {"plain.txt", "not scrambled", ""}});
  EXPECT_EQ(FromPackage("s/a.txt", "secret.pak", "own password").bytes, "scrambled");
  EXPECT_EQ(FromPackage("b.txt", "secret.pak", nullptr).bytes, "default");  // null: default
  EXPECT_EQ(FromPackage("plain.txt", "secret.pak", "").bytes, "not scrambled");
  ExpectFailed(FromPackage("s/a.txt", "secret.pak", nullptr), "wrong password");
  ExpectFailed(FromPackage("s/a.txt", "secret.pak", "own passworD"), "wrong password");
}

TEST_F(LoaderTest, FirstSuffixMatchThatDoesNotDecodeEndsTheLookup) {
  WritePackage(base_ / "data.pak",
               {{"bad/x.txt", "wrong password", "other"}, {"good/x.txt", "fine"}});
  CSmallStr baseUrl("caller's");
  Loaded r = FromPackage("x.txt", nullptr, nullptr, &baseUrl);
  EXPECT_EQ(r.hr, E_FAIL);
  EXPECT_TRUE(r.dataNull);
  // The base URL is only reported for a file that was read.
  EXPECT_EQ(baseUrl.str(), "caller's");
  EXPECT_EQ(Load("good/x.txt").bytes, "fine");
}

TEST_F(LoaderTest, EmptyFilesReadAsEmptyBlocks) {
  WritePackage(base_ / "data.pak", {{"empty.txt", ""}});
  WriteFile(base_ / "empty_on_disk.txt", "");
  for (const char* name : {"empty.txt", "empty_on_disk.txt"}) {
    Loaded r = Load(name);
    EXPECT_EQ(r.hr, S_OK) << name;
    EXPECT_FALSE(r.dataNull) << name;
    EXPECT_EQ(r.size, 0) << name;
  }
}

// --- Disk fallback
// --------------------------------------------------------------------------------

TEST_F(LoaderTest, DiskFallbackReadsFromTheBaseFolderWithAFolderUrl) {
  WritePackage(base_ / "data.pak", {{"other.txt", "x"}});
  WriteFile(base_ / "loose" / "file.txt", "on disk");
  CSmallStr baseUrl("caller's");
  Loaded r = Load("loose/file.txt", &baseUrl);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.bytes, "on disk");
  EXPECT_EQ(baseUrl.str(), DiskBase("loose"));

  // "." and ".." that stay inside the base folder are fine.
  r = Load("loose/../loose/./file.txt");
  EXPECT_EQ(r.bytes, "on disk");
}

TEST_F(LoaderTest, DiskUrlWithDriveMarkerIsReadFromThatPath) {
  // On Windows the temporary folder has a drive colon already; elsewhere give the path one.
  fs::path folder = base_;
  if (base_.string().find(':') == std::string::npos) folder /= "D:";
  const fs::path file = folder / "Game" / "x.swf";
  WriteFile(file, "SWF");
  const std::string url = DiskUrl(file);
  ASSERT_NE(url.find('#'), std::string::npos);

  CSmallStr baseUrl;
  Loaded r = FromDisk(url, &baseUrl);
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.bytes, "SWF");
  // The base URL keeps the marker: it is the folder of the name that was opened.
  const std::string wantFolder = Slashes(url.substr(url.find("/end_of_story/") + 14), '/', '\\');
  EXPECT_EQ(baseUrl.str(),
            P + "HDD_ABSOLUTE_PATH/end_of_story\\" + wantFolder.substr(0, wantFolder.rfind('\\')));

  // Through Load the package named after the marker is tried first and fails; the file is inside
  // the base folder, so the disk read is allowed.
  EXPECT_EQ(Load(url).bytes, "SWF");
}

TEST_F(LoaderTest, ContentRequestsCannotLeaveTheBaseFolder) {
  WriteFile(dir_ / "secret.txt", "secret");
  WriteFile(dir_ / "game2" / "secret.txt", "sibling secret");
  WritePackage(dir_ / "outside.pak", {{"x.txt", "outside package"}});
  WriteFile(base_ / "sub" / "inside.txt", "inside");

  const std::string cases[] = {
      "../secret.txt",
      "..\\secret.txt",
      "sub/../../secret.txt",
      "sub\\..\\..\\secret.txt",
      "../game2/secret.txt",  // a folder whose name only starts like the base folder's
      (dir_ / "secret.txt").string(),
      P + "../outside.pak/end_of_story/x.txt",
  };
  for (const std::string& request : cases) ExpectFailed(Load(request), request);
  // Neither the base folder nor the current directory may be left: refused, not just missing.
  EXPECT_EQ(Load("../secret.txt").hr, E_ACCESSDENIED);
  ExpectFailed(FromPackage("x.txt", "../outside.pak", nullptr), "package outside");
  ExpectFailed(FromPackage("x.txt", (dir_ / "outside.pak").string().c_str(), nullptr),
               "absolute package outside");

  EXPECT_EQ(Load("sub/inside.txt").bytes, "inside");
  // The host's own reads of full paths it chose are not confined.
  EXPECT_EQ(FromDisk((dir_ / "secret.txt").string()).bytes, "secret");
  EXPECT_EQ(FromDisk(DiskUrl(dir_ / "secret.txt")).bytes, "secret");
}

TEST_F(LoaderTest, TheExplicitAbsolutePathFormNamesAFileWhereverItIs) {
  // A game that writes the disk-path form of a pseudo URL names that file on purpose (games keep
  // files beside the game folder this way): Load reads it, wherever it is. Only that form is
  // exempt; relative escapes stay refused (the test above).
  WriteFile(dir_ / "beside.txt", "beside the game");
  EXPECT_EQ(Load(DiskUrl(dir_ / "beside.txt")).bytes, "beside the game");
  EXPECT_EQ(Load(P + "HDD_ABSOLUTE_PATH/end_of_story/" +
                 Slashes(Slashes((base_ / ".." / "beside.txt").string(), '\\', '/'), ':', '#'))
                .bytes,
            "beside the game");
  // The marker counts only as the package part of a pseudo URL; without the prefix it is an
  // ordinary relative name inside the base folder.
  const std::string bare = "HDD_ABSOLUTE_PATH/end_of_story/" +
                           Slashes(Slashes((dir_ / "beside.txt").string(), '\\', '/'), ':', '#');
  ExpectFailed(Load(bare), bare);
}

TEST_F(LoaderTest, CurrentDirectoryIsOnlyASecondTry) {
  const std::string saved = vexa::platform::GetWorkingDirectory();
  ASSERT_FALSE(saved.empty());
  WriteFile(dir_ / "cwd" / "only_in_cwd.txt", "cwd file");
  WriteFile(dir_ / "cwd" / "both.txt", "cwd copy");
  WriteFile(base_ / "both.txt", "base copy");
  ASSERT_TRUE(vexa::platform::SetWorkingDirectory((dir_ / "cwd").string()));

  Loaded both = Load("both.txt");
  Loaded confined = Load("only_in_cwd.txt");
  CSmallStr baseUrl("caller's");
  Loaded direct = FromDisk("only_in_cwd.txt", &baseUrl);
  ASSERT_TRUE(vexa::platform::SetWorkingDirectory(saved));

  EXPECT_EQ(both.bytes, "base copy");
  EXPECT_EQ(confined.hr, E_FAIL);  // missing in the base folder; the current one is off limits
  EXPECT_TRUE(confined.dataNull);
  EXPECT_EQ(direct.hr, S_OK);
  EXPECT_EQ(direct.bytes, "cwd file");
  EXPECT_EQ(baseUrl.str(), "caller's");  // a name without folders gives no base URL
}

TEST_F(LoaderTest, HostileAndDegenerateRequestsFail) {
  WritePackage(base_ / "data.pak", {{"first.txt", "FIRST"}});
  WriteFile(base_ / "file.txt", "file");
  const std::string cases[] = {
      "",  // would agree with every entry name by suffix
      P,
      P + "data.pak/end_of_story/",
      P + "data.pak/end_of_story",
      P + "/end_of_story/first.txt",  // empty package name
      "nope.txt",
      "file.txt:stream",
      "con",
      "NUL.txt",
      "sub/aux.swf",
      ".",
      "sub/..",
  };
  for (const std::string& request : cases) {
    CSmallStr baseUrl("caller's");
    Loaded r = Load(request, &baseUrl);
    ExpectFailed(r, request);
    EXPECT_EQ(baseUrl.str(), "caller's") << request;
  }

  const std::string overlong = std::string(kMaxLoaderPathLength + 1, 'a');
  EXPECT_EQ(Load(overlong).hr, E_INVALIDARG);
  EXPECT_EQ(FromDisk(overlong).hr, E_INVALIDARG);
  EXPECT_EQ(FromPackage("x", overlong.c_str(), nullptr).hr, E_INVALIDARG);

  uint8_t* data = nullptr;
  int32_t size = 0;
  EXPECT_EQ(loader_->Load(nullptr, &data, &size, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(loader_->LoadFromDisk(nullptr, &data, &size, nullptr), E_INVALIDARG);
  EXPECT_EQ(loader_->LoadFromPackage(nullptr, nullptr, nullptr, &data, &size, nullptr),
            E_INVALIDARG);
  EXPECT_EQ(loader_->Load("file.txt", nullptr, &size, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(loader_->Load("file.txt", &data, nullptr, nullptr, nullptr), E_INVALIDARG);
  EXPECT_EQ(data, nullptr);
}

TEST_F(LoaderTest, MissingPackageAndMissingFileFail) {
  CSmallStr baseUrl("caller's");
  Loaded r = FromPackage("x.txt", "missing.pak", nullptr, &baseUrl);
  EXPECT_EQ(r.hr, E_FAIL);
  ExpectFailed(r, "missing package");
  r = Load("x.txt", &baseUrl, "missing.pak");
  EXPECT_EQ(r.hr, E_FAIL);
  ExpectFailed(r, "missing everywhere");
  EXPECT_EQ(baseUrl.str(), "caller's");
  // A file that is not a package is refused by the package reader; the disk still answers.
  WriteFile(base_ / "data.pak", "not a package");
  WriteFile(base_ / "x.txt", "disk");
  EXPECT_EQ(Load("x.txt").bytes, "disk");
}

// --- Shared operations
// ----------------------------------------------------------------------------

TEST(LoaderFolders, ExecutableFolderAndDefaultBase) {
  const CSmallStr folder = GetExecutableFolder();
  ASSERT_FALSE(folder.IsEmpty());
  EXPECT_EQ(folder[folder.GetLength() - 1], '/');
  EXPECT_EQ(folder.Find('\\'), -1);
  EXPECT_EQ(folder.str(), Slashes(vexa::platform::ExecutableFolder(), '\\', '/'));
  EXPECT_EQ(MakeExecutablePath("data.pak").str(), folder.str() + "data.pak");
  EXPECT_EQ(MakeExecutablePath(nullptr).str(), folder.str());
  EXPECT_EQ(CFileLoader().GetBaseFolder().str(), folder.str());
  EXPECT_EQ(CFileLoader("").GetBaseFolder().str(), folder.str());
  EXPECT_EQ(CFileLoader("C:\\x\\y").GetBaseFolder().str(), "C:/x/y/");
  EXPECT_EQ(CFileLoader("/x/").MakeBasePath("a\\b").str(), "/x/a\\b");
}

TEST_F(LoaderTest, ReadWholeFileReadsPlainFilesOnly) {
  std::string content(100000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  WriteFile(base_ / "bin.dat", content);
  Loaded r = Call([&](uint8_t** d, int32_t* s) {
    return ReadWholeFile((base_ / "bin.dat").string().c_str(), d, s);
  });
  EXPECT_EQ(r.hr, S_OK);
  EXPECT_EQ(r.bytes, content);

  const std::string refused[] = {(base_ / "missing").string(), base_.string(),
                                 kWindowsPaths ? "NUL" : "/dev/zero"};
  for (const std::string& name : refused) {
    r = Call([&](uint8_t** d, int32_t* s) { return ReadWholeFile(name.c_str(), d, s); });
    EXPECT_EQ(r.hr, E_FAIL) << name;
    ExpectFailed(r, name);
  }
}

// --- XML documents
// --------------------------------------------------------------------------------

std::string Attr(const CXMLElement* e, const char* name) {
  CSmallStr value("<missing>");
  e->GetAttribute(name, value);
  return value.str();
}

TEST_F(LoaderTest, XmlDocumentsCarryTheirFolderAndResolvedUrls) {
  WritePackage(base_ / "data.pak", {{"scripts/main.xml",
                                     "<root url=\"a.xml\">"
                                     "<item URL=\"../b.xml\" other=\"c.xml\"/>"
                                     "<pinned url=\"" +
                                         P +
                                         "x.pak/end_of_story/y.xml\"/>"
                                         "<ifdef name=\"X\"><inner url=\"c.xml\"/></ifdef>"
                                         "</root>"}});
  CXMLParser parser;
  ASSERT_EQ(LoadXMLDocument(loader_.get(), "scripts/main.xml", &parser, nullptr), S_OK);
  const CXMLElement* root = parser.GetRoot();
  const std::string base = "http:\\\\game.invalid\\data.pak\\end_of_story\\scripts\\";
  EXPECT_EQ(Attr(root, "__base__"), base);
  EXPECT_EQ(Attr(root, "url"), P + "data.pak/end_of_story/scripts/a.xml");

  const CXMLElement* item = root->GetChild(0);
  EXPECT_EQ(Attr(item, "__base__"), base);
  EXPECT_EQ(Attr(item, "URL"), P + "data.pak/end_of_story/b.xml");
  EXPECT_EQ(Attr(item, "other"), "c.xml");
  EXPECT_EQ(Attr(root->GetChild(1), "url"), P + "x.pak/end_of_story/y.xml");

  // The walk does not enter ifdef blocks.
  const CXMLElement* ifdef = root->GetChild(2);
  EXPECT_EQ(Attr(ifdef, "__base__"), "<missing>");
  EXPECT_EQ(Attr(ifdef->GetChild(0), "__base__"), "<missing>");
  EXPECT_EQ(Attr(ifdef->GetChild(0), "url"), "c.xml");

  // The base is internal: written documents do not show it.
  CSmallStr xml;
  root->ToXML(xml, 0, true, true);
  EXPECT_EQ(xml.Find("__base__"), -1) << xml.c_str();
  EXPECT_NE(xml.Find("scripts/a.xml"), -1) << xml.c_str();

  // What the resolved URLs name can be read again.
  ExpectFailed(Load(Attr(root, "url")), "a.xml does not exist: nothing else is read instead");
  CXMLParser again;
  EXPECT_EQ(LoadXMLDocument(loader_.get(), Attr(root, "url").c_str(), &again, nullptr), E_FAIL);
}

TEST_F(LoaderTest, XmlDocumentsFromDiskResolveTheirIncludesOnDisk) {
  WriteFile(base_ / "init.xml", "<game><include url=\"inc/part.xml\"/></game>");
  WriteFile(base_ / "inc" / "part.xml", "<part><data url=\"../d.xml\"/></part>");
  CXMLParser parser;
  ASSERT_EQ(LoadXMLDocument(loader_.get(), "init.xml", &parser, nullptr), S_OK);
  const std::string includeUrl = Attr(parser.GetRoot()->GetChild(0), "url");
  EXPECT_EQ(includeUrl.rfind(P + "HDD_ABSOLUTE_PATH/end_of_story/", 0), 0u) << includeUrl;
  EXPECT_EQ(Attr(parser.GetRoot(), "__base__"), Slashes(DiskBase(""), '/', '\\'));

  CXMLParser part;
  ASSERT_EQ(LoadXMLDocument(loader_.get(), includeUrl.c_str(), &part, nullptr), S_OK);
  EXPECT_EQ(part.GetRoot()->GetName().str(), "part");
  EXPECT_EQ(Attr(part.GetRoot(), "__base__"), Slashes(DiskBase("inc"), '/', '\\') + "\\");
  const std::string dataUrl = Attr(part.GetRoot()->GetChild(0), "url");
  WriteFile(base_ / "d.xml", "<d/>");
  EXPECT_EQ(Load(dataUrl).bytes, "<d/>") << dataUrl;
}

TEST_F(LoaderTest, AddOnDocumentsResolveIntoTheirPackage) {
  WritePackage(base_ / "Addons" / "extra.vxa",
               {{"addon.xml", "<addon version=\"1\"><image url=\"img/a.png\"/></addon>"},
                {"img/a.png", "PNG"}});
  CXMLParser parser;
  ASSERT_EQ(LoadXMLDocument(loader_.get(), "addon.xml", &parser, "Addons\\extra.vxa"), S_OK);
  EXPECT_EQ(Attr(parser.GetRoot(), "__base__"),
            "http:\\\\game.invalid\\Addons\\extra.vxa\\end_of_story\\");
  const std::string url = Attr(parser.GetRoot()->GetChild(0), "url");
  EXPECT_EQ(url, P + "Addons/extra.vxa/end_of_story/img/a.png");
  EXPECT_EQ(Load(url).bytes, "PNG");
}

TEST_F(LoaderTest, XmlDocumentFailures) {
  WriteFile(base_ / "text.xml", "no markup at all");
  WriteFile(base_ / "broken.xml", "<root attr=\"x\"");
  CXMLParser parser;
  EXPECT_EQ(LoadXMLDocument(loader_.get(), "missing.xml", &parser, nullptr), E_FAIL);
  EXPECT_EQ(LoadXMLDocument(loader_.get(), "text.xml", &parser, nullptr), E_FAIL);
  EXPECT_EQ(LoadXMLDocument(loader_.get(), "broken.xml", &parser, nullptr), E_FAIL);
  // Even a failed parse leaves an annotated root behind.
  EXPECT_EQ(Attr(parser.GetRoot(), "__base__"), Slashes(DiskBase(""), '/', '\\'));
  EXPECT_EQ(LoadXMLDocument(nullptr, "text.xml", &parser, nullptr), E_FAIL);
  EXPECT_EQ(LoadXMLDocument(loader_.get(), "text.xml", nullptr, nullptr), E_FAIL);
}

}  // namespace
