#include "platform/paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/process.h"

namespace {

// The same expectations on both OSes, spelled in the running OS's path form.
const bool kWindows = std::filesystem::path::preferred_separator == '\\';
const std::string kRoot = kWindows ? "C:\\" : "/";
const char kSep = kWindows ? '\\' : '/';

std::string Full(const std::string& path) {
  std::string full = "<refused>";
  vexa::platform::GetFullPath(path, &full);
  return full;
}

TEST(PlatformPaths, FullPathResolvesDotsByText) {
  const std::string cwd = vexa::platform::GetWorkingDirectory();
  ASSERT_FALSE(cwd.empty());
  const std::string cwdSep = cwd.back() == kSep ? cwd : cwd + kSep;
  EXPECT_EQ(Full("a/./b/../c"), cwdSep + "a" + kSep + "c");
  EXPECT_EQ(Full("a\\b\\"), cwdSep + "a" + kSep + "b");
  EXPECT_EQ(Full(kRoot + "x/../../y"), kRoot + "y");  // nothing above a root
  EXPECT_EQ(Full(kRoot + "x//y/."), kRoot + "x" + kSep + "y");
  EXPECT_EQ(Full(""), "<refused>");
}

TEST(PlatformPaths, NamesThatAreNoPlainPathOnWindows) {
  // Devices in any folder and with any extension, data streams, device namespaces. Elsewhere these
  // are ordinary names.
  for (const std::string name :
       {"con", "sub/CON.txt", "nul", "aux.swf", "a/com1.dat", "LPT9", "prn .x", "conout$",
        "file.txt:stream", "\\\\.\\pipe\\x", "\\\\?\\C:\\x", "//./c:/x"}) {
    EXPECT_EQ(Full(name) == "<refused>", kWindows) << name;
  }
  for (const std::string name : {"console.txt", "com10", "lpt", "nul_", "a.con"}) {
    EXPECT_NE(Full(name), "<refused>") << name;
  }
}

TEST(PlatformPaths, InsideFolderMeansBelowItAtASeparator) {
  const std::string a = kRoot + "games" + kSep + "a";
  struct Case {
    std::string path;
    std::string folder;
    bool inside;
  } cases[] = {
      {a + kSep + "x.swf", a, true},
      {a + kSep + "sub" + kSep + "x.swf", a, true},
      {a + "b" + kSep + "x.swf", a, false},  // a sibling whose name starts the same
      {a, a, false},                         // the folder itself
      {kRoot + "games", a, false},
      {kRoot + "x", kRoot, true},
      {"", a, false},
      {a + kSep + "x", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(vexa::platform::IsPathInFolder(c.path, c.folder), c.inside)
        << c.path << " in " << c.folder;
  }
  // Windows names ignore case; other file systems do not.
  EXPECT_EQ(vexa::platform::IsPathInFolder(kRoot + "GAMES" + kSep + "A" + kSep + "x", a), kWindows);
}

TEST(PlatformPaths, DiskPathFromUrlPath) {
  EXPECT_EQ(vexa::platform::DiskPathFromUrlPath("C:/Game/x.swf"),
            kWindows ? "C:/Game/x.swf" : "/C:/Game/x.swf");
  EXPECT_EQ(vexa::platform::DiskPathFromUrlPath("tmp/x"), kWindows ? "tmp/x" : "/tmp/x");
  EXPECT_EQ(vexa::platform::DiskPathFromUrlPath("/tmp/x"), "/tmp/x");
}

}  // namespace
