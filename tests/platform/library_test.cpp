#include "platform/library.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/process.h"
#include "support/folders.h"

namespace vexa::platform {
namespace {

using AddFunction = int (*)(int, int);

// The test library is built next to this executable.
std::string TestLibraryPath() {
  return ExecutableFolder() + VEXA_TESTLIB_NAME;
}

TEST(LibraryTest, LoadsFindsExportsAndUnloads) {
  const std::string path = TestLibraryPath();
  ASSERT_TRUE(PathExists(path)) << path;
  EXPECT_EQ(FindLoadedLibrary(path), nullptr);

  LibraryHandle library = OpenLibrary(path);
  ASSERT_NE(library, nullptr) << path;
  EXPECT_EQ(FindLoadedLibrary(path), library);

  auto add = reinterpret_cast<AddFunction>(FindLibrarySymbol(library, "VexaTestLibAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(2, 3), 5);
  auto* answer = static_cast<int*>(FindLibrarySymbol(library, "vexa_testlib_answer"));
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(*answer, 42);
  EXPECT_EQ(FindLibrarySymbol(library, "NoSuchExport"), nullptr);

  CloseLibrary(library);
  EXPECT_EQ(FindLoadedLibrary(path), nullptr);
}

TEST(LibraryTest, EveryOpenNeedsItsOwnClose) {
  const std::string path = TestLibraryPath();
  LibraryHandle first = OpenLibrary(path);
  ASSERT_NE(first, nullptr);
  // Dependencies beside the library: same module, second reference.
  LibraryHandle second = OpenLibrary(path, true);
  ASSERT_EQ(second, first);
  CloseLibrary(first);
  auto add = reinterpret_cast<AddFunction>(FindLibrarySymbol(second, "VexaTestLibAdd"));
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add(40, 2), 42);
  CloseLibrary(second);
  EXPECT_EQ(FindLoadedLibrary(path), nullptr);
}

TEST(LibraryTest, NullHandleIsHarmless) {
  EXPECT_EQ(FindLibrarySymbol(nullptr, "VexaTestLibAdd"), nullptr);
  CloseLibrary(nullptr);
}

using LibraryFailureTest = vexa::testing::ScratchFolderTest;

TEST_F(LibraryFailureTest, MissingOrBrokenFilesDoNotLoad) {
  MakeFile("text.dll", "this is not a library");
  MakeFile("truncated.dll", std::string("MZ\x90\0\x03\0\0\0", 8));
  for (const char* name : {"missing.dll", "text.dll", "truncated.dll"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(OpenLibrary(Path(name)), nullptr);
    EXPECT_EQ(OpenLibrary(Path(name), true), nullptr);
    EXPECT_EQ(FindLoadedLibrary(Path(name)), nullptr);
  }
}

}  // namespace
}  // namespace vexa::platform
