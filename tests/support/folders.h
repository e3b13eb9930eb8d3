// Folders for tests: a temporary folder removed with its content when the object goes, a game
// folder that lasts until the process ends (for packages the code under test keeps mapped), and a
// fixture giving each test a scratch folder of its own. Tests never touch the user's real data.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/archive.h"

namespace vexa::testing {

// A fresh folder below the system's temporary folder, named `prefix` plus random digits.
// Creation failures fail the test and leave the folder empty (ok() false).
class CTempFolder {
 public:
  explicit CTempFolder(const std::string& prefix = "vexa-test-");
  // Removes the folder and everything in it (read-only entries too).
  ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  bool ok() const { return !root_.empty(); }
  const std::filesystem::path& root() const { return root_; }
  // '/' separators and a trailing '/'.
  const std::string& path() const { return path_; }
  // A loose file (missing folders created).
  void Disk(const std::string& name, const std::string& content) const;
  // A sub-folder (and missing parents).
  void Folder(const std::string& name) const;
  // Removes the folder now; true when nothing is left behind.
  bool Remove();

 private:
  std::filesystem::path root_;
  std::string path_;
};

// A folder of its own for each game. Packages stay mapped until the process ends (and Windows does
// not delete a mapped file), so every game folder lies under one root removed at process exit.
class CGameFolder {
 public:
  CGameFolder();

  // '/' separators and a trailing '/'.
  const std::string& path() const { return path_; }
  // The folder with native separators and no trailing one.
  std::filesystem::path root() const;
  // data.pak with these (entry name, content) pairs (see PackageBytes).
  void Package(const PackageEntries& entries) const;
  // A loose file (missing folders created).
  void Disk(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// Gives each test a fresh folder of its own and checks that it is gone afterwards.
class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Native spelling of a path inside the scratch folder.
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  std::string Root() const { return root_.string(); }

  // Writes a fixture file without going through the code under test.
  void MakeFile(const std::string& name, const std::string& bytes) const;
  void MakeFolder(const std::string& name) const;

  std::filesystem::path root_;
};

}  // namespace vexa::testing
