#include "support/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace vexa::testing {

namespace fs = std::filesystem;

fs::path FsPath(const std::string& utf8) {
  std::string slashed = utf8;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  return fs::u8path(slashed);
}

Bytes ReadBytes(const std::string& utf8) {
  return ReadBytes(FsPath(utf8));
}

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const fs::path& path) {
  return ToText(ReadBytes(path));
}

void WriteBytes(const std::string& utf8, const Bytes& bytes) {
  WriteText(utf8, ToText(bytes));
}

void WriteText(const std::string& utf8, const std::string& content) {
  WriteText(FsPath(utf8), content);
}

void WriteText(const fs::path& path, const std::string& content) {
  std::error_code ignored;
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ignored);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(out.good()) << path;
}

bool FileExists(const std::string& utf8) {
  std::error_code ec;
  return fs::is_regular_file(FsPath(utf8), ec);
}

bool PathExists(const std::string& utf8) {
  std::error_code ec;
  return fs::exists(FsPath(utf8), ec);
}

std::vector<std::string> FolderNames(const std::string& utf8) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(FsPath(utf8), ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().u8string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace vexa::testing
