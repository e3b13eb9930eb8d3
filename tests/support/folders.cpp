#include "support/folders.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <system_error>

#include "support/files.h"

namespace vexa::testing {

namespace fs = std::filesystem;

namespace {

// A new folder below the temporary folder; empty path when it cannot be made.
fs::path MakeUniqueFolder(const std::string& prefix) {
  std::random_device random;
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return fs::path();
  for (int attempt = 0; attempt < 16; ++attempt) {
    fs::path candidate =
        base / (prefix + std::to_string(random()) + "-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) return candidate;
  }
  return fs::path();
}

// Removes `root` and its content; read-only entries would make remove_all fail on Windows.
bool RemoveTree(const fs::path& root) {
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ignored;
    fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
  }
  fs::remove_all(root, ec);
  return !fs::exists(root, ec);
}

std::string Slashed(const fs::path& folder) {
  return folder.generic_string() + "/";
}

fs::path GameRoot() {
  static const fs::path root = [] {
    fs::path r = MakeUniqueFolder("vexa-games-");
    static std::string keep = r.string();
    std::atexit([] {
      if (!keep.empty()) RemoveTree(keep);
    });
    return r;
  }();
  return root;
}

}  // namespace

// ---- CTempFolder

CTempFolder::CTempFolder(const std::string& prefix) {
  root_ = MakeUniqueFolder(prefix);
  if (root_.empty()) {
    ADD_FAILURE() << "cannot create a temporary folder";
    return;
  }
  path_ = Slashed(root_);
}

CTempFolder::~CTempFolder() {
  Remove();
}

void CTempFolder::Disk(const std::string& name, const std::string& content) const {
  ASSERT_TRUE(ok());
  WriteText(path_ + name, content);
}

void CTempFolder::Folder(const std::string& name) const {
  std::error_code ec;
  fs::create_directories(FsPath(path_ + name), ec);
  ASSERT_FALSE(ec) << name << ": " << ec.message();
}

bool CTempFolder::Remove() {
  if (root_.empty()) return true;
  const bool gone = RemoveTree(root_);
  root_.clear();
  path_.clear();
  return gone;
}

// ---- CGameFolder

CGameFolder::CGameFolder() {
  static int counter = 0;
  const fs::path root = GameRoot();
  if (root.empty()) {
    ADD_FAILURE() << "cannot create the root of the game folders";
    return;
  }
  const fs::path folder = root / ("game" + std::to_string(++counter));
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) ADD_FAILURE() << folder << ": " << ec.message();
  path_ = Slashed(folder);
}

fs::path CGameFolder::root() const {
  return fs::path(path_).parent_path().make_preferred();
}

void CGameFolder::Package(const PackageEntries& entries) const {
  WriteText(path_ + "data.pak", PackageBytes(entries));
}

void CGameFolder::Disk(const std::string& name, const std::string& content) const {
  WriteText(path_ + name, content);
}

// ---- ScratchFolderTest

void ScratchFolderTest::SetUp() {
  root_ = MakeUniqueFolder("vexa-test-");
  ASSERT_FALSE(root_.empty()) << "cannot create a scratch folder";
}

void ScratchFolderTest::TearDown() {
  if (root_.empty()) return;
  EXPECT_TRUE(RemoveTree(root_)) << "scratch folder left behind: " << root_.string();
}

void ScratchFolderTest::MakeFile(const std::string& name, const std::string& bytes) const {
  std::ofstream out(root_ / name, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << name;
}

void ScratchFolderTest::MakeFolder(const std::string& name) const {
  ASSERT_TRUE(fs::create_directory(root_ / name)) << name;
}

}  // namespace vexa::testing
