// A fixture that gives each test a fresh folder of its own and removes it afterwards.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace vexa::testing {

class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    std::random_device random;
    root_ = fs::temp_directory_path() /
            ("vexa-test-" + std::to_string(random()) + "-" + std::to_string(random()));
    ASSERT_TRUE(fs::create_directory(root_)) << root_.string();
  }

  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    // Read-only entries would make remove_all fail on Windows.
    for (fs::recursive_directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code ignored;
      fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
    }
    fs::remove_all(root_, ec);
    EXPECT_FALSE(fs::exists(root_)) << "scratch folder left behind: " << root_.string();
  }

  // Native spelling of a path inside the scratch folder.
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  std::string Root() const { return root_.string(); }

  // Writes a fixture file without going through the code under test.
  void MakeFile(const std::string& name, const std::string& bytes) const {
    std::ofstream out(root_ / name, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << name;
  }

  void MakeFolder(const std::string& name) const {
    ASSERT_TRUE(std::filesystem::create_directory(root_ / name)) << name;
  }

  std::filesystem::path root_;
};

}  // namespace vexa::testing
