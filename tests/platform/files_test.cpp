#include "platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <thread>

#include "support/folders.h"

namespace vexa::platform {
namespace {

using FilesTest = vexa::testing::ScratchFolderTest;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + size) & 0xFF);
  return bytes;
}

TEST_F(FilesTest, MappedFileShowsTheWholeFile) {
  // Empty files cannot be mapped by the OS; sizes around a page boundary and a large file.
  for (size_t size : {size_t{0}, size_t{1}, size_t{4096}, size_t{4097}, size_t{(1 << 20) + 3}}) {
    SCOPED_TRACE(size);
    std::string bytes = Pattern(size);
    MakeFile("m.bin", bytes);
    CMappedFile file;
    ASSERT_TRUE(file.Open(Path("m.bin")));
    EXPECT_TRUE(file.IsOpen());
    ASSERT_NE(file.Data(), nullptr);
    ASSERT_EQ(file.Size(), size);
    EXPECT_EQ(std::memcmp(file.Data(), bytes.data(), size), 0);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
  }
}

TEST_F(FilesTest, MappedFileRefusesMissingFilesAndFolders) {
  MakeFile("good.bin", "abc");
  MakeFolder("folder");
  for (const char* name : {"missing.bin", "folder"}) {
    SCOPED_TRACE(name);
    CMappedFile file;
    ASSERT_TRUE(file.Open(Path("good.bin")));
    // A failed Open leaves nothing mapped, also not what was mapped before.
    EXPECT_FALSE(file.Open(Path(name)));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Data(), nullptr);
    EXPECT_EQ(file.Size(), 0u);
  }
}

TEST_F(FilesTest, MappedFileMovesOwnership) {
  MakeFile("a.bin", "first");
  MakeFile("b.bin", "second!");
  CMappedFile a;
  ASSERT_TRUE(a.Open(Path("a.bin")));
  CMappedFile b(std::move(a));
  EXPECT_FALSE(a.IsOpen());
  ASSERT_EQ(b.Size(), 5u);
  EXPECT_EQ(std::memcmp(b.Data(), "first", 5), 0);

  CMappedFile c;
  ASSERT_TRUE(c.Open(Path("b.bin")));
  c = std::move(b);  // releases b.bin's view
  EXPECT_FALSE(b.IsOpen());
  ASSERT_EQ(c.Size(), 5u);
  EXPECT_EQ(std::memcmp(c.Data(), "first", 5), 0);
  c.Close();
  // Nothing holds the files any more: both can be deleted.
  EXPECT_TRUE(RemoveFile(Path("a.bin")));
  EXPECT_TRUE(RemoveFile(Path("b.bin")));
}

TEST_F(FilesTest, MappedFileCanStillBeReadByOthers) {
  MakeFile("shared.bin", "shared bytes");
  CMappedFile file;
  ASSERT_TRUE(file.Open(Path("shared.bin")));
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadFileBytes(Path("shared.bin"), &bytes));
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "shared bytes");
  CMappedFile second;
  EXPECT_TRUE(second.Open(Path("shared.bin")));
}

TEST_F(FilesTest, ReadFileBytesReturnsExactBytes) {
  const std::string cases[] = {"", std::string("a\0b\r\n\x1a\xff", 7), Pattern(300000)};
  for (const std::string& bytes : cases) {
    SCOPED_TRACE(bytes.size());
    MakeFile("r.bin", bytes);
    std::vector<uint8_t> out = {1, 2, 3};
    ASSERT_TRUE(ReadFileBytes(Path("r.bin"), &out));
    EXPECT_EQ(std::string(out.begin(), out.end()), bytes);
  }
}

TEST_F(FilesTest, ReadFileBytesFailsWithEmptyOutput) {
  MakeFolder("folder");
  for (const char* name : {"missing.bin", "folder"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_FALSE(ReadFileBytes(Path(name), &out));
    EXPECT_TRUE(out.empty());
  }
}

TEST_F(FilesTest, WriteFileBytesCreatesAndTruncates) {
  const std::string path = Path("w.bin");
  ASSERT_TRUE(WriteFileBytes(path, "longer content", 14));
  ASSERT_TRUE(WriteFileBytes(path, "short", 5));
  std::vector<uint8_t> out;
  ASSERT_TRUE(ReadFileBytes(path, &out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "short");
  ASSERT_TRUE(WriteFileBytes(path, nullptr, 0));
  ASSERT_TRUE(ReadFileBytes(path, &out));
  EXPECT_TRUE(out.empty());
}

TEST_F(FilesTest, WriteFileBytesFailsWithoutFolder) {
  EXPECT_FALSE(WriteFileBytes(Path("no-such-folder/w.bin"), "x", 1));
  MakeFolder("folder");
  EXPECT_FALSE(WriteFileBytes(Path("folder"), "x", 1));
}

TEST_F(FilesTest, WriteFileBytesOverwritesHiddenFileAndKeepsItHidden) {
  const std::string path = Path("hidden.bin");
  MakeFile("hidden.bin", "old");
  ASSERT_TRUE(SetFileHidden(path, true));
  ASSERT_TRUE(WriteFileBytes(path, "new", 3));
  std::vector<uint8_t> out;
  ASSERT_TRUE(ReadFileBytes(path, &out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "new");
  FileFlags flags;
  ASSERT_TRUE(GetFileFlags(path, &flags));
  EXPECT_EQ(flags.hidden, HasHiddenAttribute());
}

TEST_F(FilesTest, PathKinds) {
  MakeFile("file.bin", "x");
  MakeFolder("folder");
  struct Case {
    std::string path;
    bool exists;
    bool directory;
  } cases[] = {
      {Path("file.bin"), true, false},
      {Path("folder"), true, true},
      {Path("missing"), false, false},
      {Path("missing/file.bin"), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(PathExists(c.path), c.exists);
    EXPECT_EQ(IsDirectory(c.path), c.directory);
  }
}

TEST_F(FilesTest, BackslashSeparatesFoldersEverywhere) {
  MakeFolder("sub");
  MakeFile("sub/x.bin", "abc");
  const std::string path = Root() + "\\sub\\x.bin";
  EXPECT_TRUE(PathExists(path));
  EXPECT_TRUE(IsDirectory(Root() + "\\sub"));
  std::vector<uint8_t> out;
  ASSERT_TRUE(ReadFileBytes(path, &out));
  EXPECT_EQ(out.size(), 3u);
  CMappedFile file;
  EXPECT_TRUE(file.Open(path));
}

TEST_F(FilesTest, ReadOnlyFlagRoundTrips) {
  const std::string path = Path("ro.bin");
  MakeFile("ro.bin", "x");
  FileFlags flags;
  ASSERT_TRUE(GetFileFlags(path, &flags));
  EXPECT_FALSE(flags.read_only);
  ASSERT_TRUE(SetFileReadOnly(path, true));
  ASSERT_TRUE(GetFileFlags(path, &flags));
  EXPECT_TRUE(flags.read_only);
  // Setting it twice is not an error.
  EXPECT_TRUE(SetFileReadOnly(path, true));
  ASSERT_TRUE(SetFileReadOnly(path, false));
  ASSERT_TRUE(GetFileFlags(path, &flags));
  EXPECT_FALSE(flags.read_only);
  EXPECT_TRUE(WriteFileBytes(path, "y", 1));
}

TEST_F(FilesTest, HiddenFlagFollowsThePlatform) {
  const std::string path = Path("h.bin");
  MakeFile("h.bin", "x");
  ASSERT_TRUE(SetFileHidden(path, true));
  FileFlags flags;
  ASSERT_TRUE(GetFileFlags(path, &flags));
  EXPECT_EQ(flags.hidden, HasHiddenAttribute());
  EXPECT_FALSE(flags.read_only);
  // The two attributes are independent.
  ASSERT_TRUE(SetFileReadOnly(path, true));
  ASSERT_TRUE(SetFileHidden(path, false));
  ASSERT_TRUE(GetFileFlags(path, &flags));
  EXPECT_FALSE(flags.hidden);
  EXPECT_TRUE(flags.read_only);
}

TEST_F(FilesTest, DotFilesCountAsHiddenWithoutAttribute) {
  if (HasHiddenAttribute()) GTEST_SKIP() << "the OS keeps a real hidden attribute";
  MakeFile(".dot", "x");
  FileFlags flags;
  ASSERT_TRUE(GetFileFlags(Path(".dot"), &flags));
  EXPECT_TRUE(flags.hidden);
}

TEST_F(FilesTest, AttributeCallsOnMissingPathFail) {
  const std::string path = Path("missing.bin");
  FileFlags flags;
  flags.read_only = true;
  flags.hidden = true;
  EXPECT_FALSE(GetFileFlags(path, &flags));
  EXPECT_TRUE(flags.read_only);  // unchanged
  EXPECT_TRUE(flags.hidden);
  EXPECT_FALSE(SetFileReadOnly(path, true));
  EXPECT_FALSE(SetFileHidden(path, true));
  EXPECT_FALSE(PathExists(path));
}

TEST_F(FilesTest, RemoveFileDeletesReadOnlyAndHiddenFiles) {
  struct Case {
    const char* name;
    bool read_only;
    bool hidden;
  } cases[] = {{"plain.bin", false, false}, {"ro.bin", true, false}, {"rh.bin", true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MakeFile(c.name, "x");
    ASSERT_TRUE(SetFileReadOnly(Path(c.name), c.read_only));
    ASSERT_TRUE(SetFileHidden(Path(c.name), c.hidden));
    EXPECT_TRUE(RemoveFile(Path(c.name)));
    EXPECT_FALSE(PathExists(Path(c.name)));
  }
}

TEST_F(FilesTest, RemoveFileRefusesMissingFilesAndFolders) {
  MakeFolder("folder");
  EXPECT_FALSE(RemoveFile(Path("missing.bin")));
  EXPECT_FALSE(RemoveFile(Path("folder")));
  EXPECT_TRUE(IsDirectory(Path("folder")));
}

TEST_F(FilesTest, CreateFolder) {
  MakeFile("file.bin", "x");
  EXPECT_TRUE(CreateFolder(Path("new")));
  EXPECT_TRUE(IsDirectory(Path("new")));
  EXPECT_TRUE(CreateFolder(Path("new")));  // already there
  EXPECT_FALSE(CreateFolder(Path("file.bin")));
  EXPECT_FALSE(CreateFolder(Path("missing/new")));
  EXPECT_FALSE(PathExists(Path("missing")));
}

TEST(TempFilesTest, TempFolderIsAnExistingFolderWithSeparator) {
  std::string folder = TempFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(folder.back() == '/' || folder.back() == '\\') << folder;
  EXPECT_TRUE(IsDirectory(folder)) << folder;
}

TEST(TempFilesTest, MakeTempFileCreatesDistinctEmptyFiles) {
  const std::string prefix = "vexa.fl";
  const std::string folder = TempFolder();
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    std::string name;
    ASSERT_TRUE(MakeTempFile(prefix, &name));
    EXPECT_EQ(name.compare(0, folder.size() + prefix.size(), folder + prefix), 0) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
    std::vector<uint8_t> bytes = {1};
    EXPECT_TRUE(ReadFileBytes(name, &bytes)) << name;
    EXPECT_TRUE(bytes.empty());
    EXPECT_TRUE(names.insert(name).second) << "name given twice: " << name;
  }
  for (const std::string& name : names) EXPECT_TRUE(RemoveFile(name)) << name;
}

TEST(TempFilesTest, MakeTempFileIsUniqueAcrossThreads) {
  constexpr int kThreads = 4;
  constexpr int kPerThread = 25;
  std::vector<std::string> names[kThreads];
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&names, t] {
      for (int i = 0; i < kPerThread; ++i) {
        std::string name;
        if (MakeTempFile("vexa.mt", &name)) names[t].push_back(name);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::set<std::string> all;
  for (const auto& list : names) {
    EXPECT_EQ(list.size(), static_cast<size_t>(kPerThread));
    all.insert(list.begin(), list.end());
  }
  EXPECT_EQ(all.size(), static_cast<size_t>(kThreads * kPerThread));
  for (const std::string& name : all) EXPECT_TRUE(RemoveFile(name)) << name;
}

class FindFilesTest : public vexa::testing::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    MakeFile("a.vxa", "");
    MakeFile("B.VXA", "");
    MakeFile("c.txt", "");
    MakeFile("noext", "");
    MakeFolder("e.vxa");
  }

  std::vector<std::string> Find(const std::string& name_pattern) {
    std::vector<std::string> names;
    EXPECT_TRUE(FindFiles(Root() + "/" + name_pattern, &names)) << name_pattern;
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(FindFilesTest, MatchesLikeAWindowsSearch) {
  using Names = std::vector<std::string>;
  struct Case {
    const char* pattern;
    Names expected;
  } cases[] = {
      {"*.vxa", {"B.VXA", "a.vxa", "e.vxa"}},  // any case, folders too
      {"*.VXA", {"B.VXA", "a.vxa", "e.vxa"}},
      {"?.txt", {"c.txt"}},
      {"c.txt", {"c.txt"}},
      {"*", {"B.VXA", "a.vxa", "c.txt", "e.vxa", "noext"}},  // never "." or ".."
      {"*.*", {"B.VXA", "a.vxa", "c.txt", "e.vxa", "noext"}},
      {"*.dll", {}},
      {"c?txt", {"c.txt"}},
      {"a*a", {"a.vxa"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(Find(c.pattern), c.expected);
  }
}

TEST_F(FindFilesTest, AppendsToTheListAndAcceptsBackslashes) {
  std::vector<std::string> names = {"kept"};
  ASSERT_TRUE(FindFiles(Root() + "\\*.txt", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"kept", "c.txt"}));
}

TEST_F(FindFilesTest, MissingFolderFailsAndLeavesTheList) {
  std::vector<std::string> names = {"kept"};
  EXPECT_FALSE(FindFiles(Path("missing") + "/*.vxa", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"kept"}));
}

}  // namespace
}  // namespace vexa::platform
