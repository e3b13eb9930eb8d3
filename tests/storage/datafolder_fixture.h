// A fresh temporary folder per test for the store tests (high scores, virtual registry, data
// folders), removed with everything in it at the end. Paths are UTF-8 with '\\' or '/' separators,
// as the stores build them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files.h"
#include "platform/userfolders.h"

namespace storetest {

inline std::filesystem::path FsPath(const std::string& utf8) {
  std::string slashed = utf8;
  for (char& c : slashed) {
    if (c == '\\') c = '/';
  }
  return std::filesystem::u8path(slashed);
}

inline bool FileExists(const std::string& utf8) {
  std::error_code ec;
  return std::filesystem::is_regular_file(FsPath(utf8), ec);
}

inline std::vector<std::string> FolderNames(const std::string& utf8) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(FsPath(utf8), ec)) {
    names.push_back(entry.path().filename().u8string());
  }
  return names;
}

class CTempFolder {
 public:
  CTempFolder() {
    std::string file;
    if (!vexa::platform::MakeTempFile("vexa-store", &file)) return;
    vexa::platform::RemoveFile(file);
    if (vexa::platform::CreateFolderUtf8(file)) path_ = file;
  }
  ~CTempFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    std::filesystem::remove_all(FsPath(path_), ec);
  }
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  bool Ok() const { return !path_.empty(); }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

}  // namespace storetest
