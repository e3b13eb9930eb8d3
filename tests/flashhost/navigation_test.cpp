// Navigation: what the shell is given when the movie asks for a page in a browser window, and what
// it is never given, however the URL is written.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "fakes.h"
#include "flashhost/navigation.h"
#include "flashhost/pluginhost.h"
#include "platform/shell.h"
#include "support/folders.h"

namespace {

// A game folder with documents, programs and scripts in it.
class NavigationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(game_.ok());
    game_.Folder("help");
    game_.Folder("docs");
    game_.Disk("help/page.html", "<p>help</p>");
    game_.Disk("readme.txt", "read me");
    game_.Disk("a b.txt", "spaced");
    game_.Disk("run.exe", "MZ");
    game_.Disk("tool.BAT", "@echo off");
    game_.Disk("script.js", "WScript.Echo(1)");
    game_.Disk("installer.msi", "x");
    game_.Disk("menu.lnk", "L");
    // A document name that leads to the program (where the file system has links).
    std::error_code error;
    std::filesystem::create_symlink(std::filesystem::path(game_.path() + "run.exe"),
                                    std::filesystem::path(game_.path() + "manual.html"), error);
    haveLink_ = !error;
  }

  // The working directory, without the trailing separator.
  std::string Base() const { return game_.path().substr(0, game_.path().size() - 1); }

  // The file system's name of `relative` in the game folder: what the shell is to be given.
  std::string Resolved(const std::string& relative) const {
    std::string resolved;
    EXPECT_TRUE(vexa::platform::ResolveShellPath(game_.path() + relative, &resolved)) << relative;
    return resolved;
  }

  // A file: URL of an absolute path in the game folder, in the usual three-slash form.
  std::string FileUrl(const std::string& relative) const {
    const std::string path = game_.path() + relative;
    return path[0] == '/' ? "file://" + path : "file:///" + path;
  }

  // The same with the host named, in mixed case.
  std::string LocalHostUrl(const std::string& relative) const {
    const std::string path = game_.path() + relative;
    return path[0] == '/' ? "File://LocalHost" + path : "File://LocalHost/" + path;
  }

  CNavigationTarget Resolve(const std::string& url) const {
    return ResolveNavigationTarget(url.c_str(), Base());
  }

  vexa::testing::CTempFolder game_;
  bool haveLink_ = false;
};

struct AllowedCase {
  std::string url;
  std::string file;  // relative to the game folder
};

TEST_F(NavigationTest, DocumentsAreHandedOverAsTheirResolvedPath) {
  const AllowedCase cases[] = {
      {"help/page.html", "help/page.html"},
      {"help\\page.html", "help/page.html"},
      {"./help/../help/page.html", "help/page.html"},
      {"help/page.html#intro", "help/page.html"},
      {"help/page.html?lang=en", "help/page.html"},
      {"help/page%2Ehtml", "help/page.html"},
      {"a%20b.txt", "a b.txt"},
      {"  readme.txt  ", "readme.txt"},
      {"docs/", "docs"},
      {"file:readme.txt", "readme.txt"},
      {"FILE:help/page.html", "help/page.html"},
      {FileUrl("help/page.html"), "help/page.html"},
      {LocalHostUrl("readme.txt"), "readme.txt"},
  };
  for (const AllowedCase& c : cases) {
    SCOPED_TRACE(c.url);
    const CNavigationTarget result = Resolve(c.url);
    ASSERT_TRUE(result.allowed) << result.refusal;
    EXPECT_EQ(Resolved(c.file), result.target);
  }
}

TEST_F(NavigationTest, ANameIsReadAsTheFileSystemReadsIt) {
  // Windows drops trailing dots and spaces from a name; where the file system does, navigation
  // opens the file it means, and elsewhere there is no such file.
  std::string meant;
  const bool dropped = vexa::platform::ResolveShellPath(game_.path() + "readme.txt. .", &meant);
  const CNavigationTarget result = Resolve("readme.txt. .");
  EXPECT_EQ(dropped, result.allowed) << result.refusal;
  if (dropped) {
    EXPECT_EQ(Resolved("readme.txt"), result.target);
  }
}

TEST_F(NavigationTest, WebAndMailAddressesGoOutAsOneArgument) {
  struct Case {
    const char* url;
    const char* target;
  };
  const Case cases[] = {
      {"http://example.com/a", "http://example.com/a"},
      {"HTTPS://Example.com/a?b=1#c", "HTTPS://Example.com/a?b=1#c"},
      {"  http://example.com/  ", "http://example.com/"},
      {"http://example.com/a b\"c", "http://example.com/a%20b%22c"},
      {"http://example.com/\x01x", "http://example.com/%01x"},
      {"mailto:someone@example.com?subject=Hi there",
       "mailto:someone@example.com?subject=Hi%20there"},
      {"MailTo:a@http:b", "MailTo:a@http:b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    const CNavigationTarget result = ResolveNavigationTarget(c.url, Base());
    ASSERT_TRUE(result.allowed) << result.refusal;
    EXPECT_EQ(c.target, result.target);
  }
}

TEST_F(NavigationTest, ProgramsAndScriptsAreNeverHandedOverHoweverWritten) {
  std::vector<std::string> urls = {
      // By extension, in any case, with what Windows drops from the end of a name.
      "run.exe",
      "RUN.EXE",
      "Run.ExE",
      "run.exe.",
      "run.exe ",
      "run.exe. . ",
      "tool.BAT",
      "tool.bat",
      "script.js",
      "installer.msi",
      "menu.lnk",
      "setup.scr",
      "x.hta",
      "x.ps1",
      "x.cmd",
      "x.vbs",
      "x.wsf",
      "x.jar",
      "x.url",
      "x.cpl",
      "x.reg",
      "x.chm",
      "x.com",
      // Escaped, in whole or in part, and with escaped separators.
      "run%2Eexe",
      "run%2eexe",
      "run.ex%65",
      "%72%75%6E%2E%65%78%65",
      "run.exe%20",
      "run.exe%2E",
      "help%2F..%2Frun.exe",
      "help%5C..%5Crun.exe",
      // Through other folders, with either separator.
      "help/../run.exe",
      "help\\..\\run.exe",
      "docs/../help/../run.exe",
      // Query and fragment do not hide the name.
      "run.exe?x=page.html",
      "run.exe#page.html",
      // file: forms.
      "file:run.exe",
      "FILE:RUN.EXE",
      "file:./run.exe",
      FileUrl("run.exe"),
      FileUrl("RUN.EXE."),
      FileUrl("help/../run.exe"),
      FileUrl("tool.BAT"),
      "file:///C:/game/run.exe",
      "file:///C|/game/run.exe",
      "file://C:/game/run.exe",
      "file:/C:/game/run.exe",
      "file://localhost/C:/game/run.exe",
      "file:C:\\game\\run.exe",
      "C:\\game\\run.exe",
      "C:/game/run.exe",
      // Streams and cut-off names.
      "readme.txt:run.exe",
      "readme.txt::$DATA",
      "run.exe%00.txt",
      "readme.txt%00",
  };
  if (haveLink_) urls.push_back("manual.html");
  for (const std::string& url : urls) {
    SCOPED_TRACE(url);
    const CNavigationTarget result = Resolve(url);
    EXPECT_FALSE(result.allowed) << result.target;
    EXPECT_FALSE(result.refusal.empty());
  }
}

TEST_F(NavigationTest, OtherSchemesAndOtherMachinesAreRefused) {
  const char* urls[] = {
      "javascript:alert('http://x')",
      "vbscript:msgbox(1)",
      "shell:startup",
      "ms-settings:",
      "search-ms:query=run",
      "about:blank",
      "data:text/html,<script>1</script>",
      "ftp://example.com/x.txt",
      "see-file:readme.txt",
      "http:example.com",
      "http:/example.com",
      "\\\\server\\share\\doc.html",
      "//server/share/doc.html",
      "%5C%5Cserver%5Cshare%5Cdoc.html",
      "file://server/share/doc.html",
      "file:////server/share/doc.html",
      "file:\\\\server\\share\\doc.html",
      "\\\\?\\C:\\game\\readme.txt",
      "\\\\.\\pipe\\name",
      "C:readme.txt",
      "missing.html",
      "help/page\x01.html",
      "help/page%0A.html",
  };
  for (const char* url : urls) {
    SCOPED_TRACE(url);
    const CNavigationTarget result = Resolve(url);
    EXPECT_FALSE(result.allowed) << result.target;
  }
  EXPECT_FALSE(ResolveNavigationTarget(nullptr, Base()).allowed);
}

TEST(ProgramFileNameTest, DecidesByTheNameTheShellWouldSee) {
  struct Case {
    const char* name;
    bool program;
  };
  const Case cases[] = {
      {"run.exe", true},   {"RUN.EXE", true},
      {"run.exe.", true},  {"run.exe . ", true},
      {".exe", true},      {"x.txt:y", true},
      {"x.html", false},   {"x.pdf", false},
      {"x.txt", false},    {"archive.tar.gz", false},
      {"x", false},        {"x.", false},
      {"exe", false},      {"", false},
      {"page.htm", false}, {"x.js", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.program, IsProgramFileName(c.name)) << c.name;
  }
}

// Through the browser table, from the working directory, as the movie's request arrives.
TEST_F(NavigationTest, RequestsWithATargetOpenOnlyWhatIsAllowed) {
  const std::string page = Resolved("help/page.html");
  CWorkingDirectoryChange cwd(Base());
  ASSERT_TRUE(cwd.ok());
  CPluginHost host;
  FakePlugin plugin;
  InstallFakePlugin(&host, &plugin);
  CRecordingOpener opener;
  host.SetUrlOpener(&opener);
  int peer = 0;
  host.SetJRIPeer(&peer);
  char mime[] = "application/x-shockwave-flash";
  ASSERT_EQ(NPERR_NO_ERROR, host.NppNew(mime, NP_EMBED, 0, nullptr, nullptr, nullptr));
  NPNetscapeFuncs* browser = host.GetBrowserFuncs();
  for (const char* url : {"help/page.html", "run.exe", "help%2F..%2Ftool.BAT", "http://x.test/"}) {
    EXPECT_EQ(NPERR_NO_ERROR, browser->geturlnotify(host.GetInstance(), url, "_blank", nullptr));
  }
  const std::vector<std::string> expected = {page, "http://x.test/"};
  EXPECT_EQ(expected, opener.opened);
  EXPECT_EQ(0u, host.GetPendingNotificationCount());
}

}  // namespace
