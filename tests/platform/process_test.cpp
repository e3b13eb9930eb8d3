#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/files.h"
#include "support/folders.h"

namespace vexa::platform {
namespace {

TEST(ProcessTest, ExecutablePathNamesThisProgram) {
  const std::string path = ExecutablePath();
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(path.empty());
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(PathExists(path)) << path;
  EXPECT_FALSE(IsDirectory(path)) << path;
  EXPECT_TRUE(IsDirectory(folder)) << folder;
  EXPECT_TRUE(folder.back() == '/' || folder.back() == '\\') << folder;
  ASSERT_EQ(path.compare(0, folder.size(), folder), 0) << path << " vs " << folder;
  const std::string name = path.substr(folder.size());
  EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
  EXPECT_EQ(name.rfind("platform_test", 0), 0u) << name;
}

class WorkingDirectoryTest : public vexa::testing::ScratchFolderTest {
 protected:
  void SetUp() override {
    ScratchFolderTest::SetUp();
    saved_ = std::filesystem::current_path();
  }
  void TearDown() override {
    // The scratch folder cannot be removed while it is the current directory on Windows.
    std::filesystem::current_path(saved_);
    ScratchFolderTest::TearDown();
  }
  std::filesystem::path saved_;
};

TEST_F(WorkingDirectoryTest, SetThenGetAndRelativePaths) {
  const std::string start = GetWorkingDirectory();
  ASSERT_FALSE(start.empty());
  EXPECT_TRUE(std::filesystem::equivalent(start, saved_)) << start;

  ASSERT_TRUE(SetWorkingDirectory(Root()));
  const std::string now = GetWorkingDirectory();
  EXPECT_TRUE(std::filesystem::equivalent(now, root_)) << now;
  // Relative names resolve against the new current directory.
  ASSERT_TRUE(WriteFileBytes("relative.bin", "r", 1));
  EXPECT_TRUE(std::filesystem::exists(root_ / "relative.bin"));
}

TEST_F(WorkingDirectoryTest, FailedChangeKeepsTheCurrentDirectory) {
  MakeFile("file.bin", "x");
  const std::string start = GetWorkingDirectory();
  EXPECT_FALSE(SetWorkingDirectory(Path("missing")));
  EXPECT_FALSE(SetWorkingDirectory(Path("file.bin")));
  EXPECT_EQ(GetWorkingDirectory(), start);
}

}  // namespace
}  // namespace vexa::platform
