// Files written and read around the code under test, without going through it. Paths are UTF-8
// and may use '\\' or '/' separators, as the stores and the loader build them.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/bytes.h"

namespace vexa::testing {

// `utf8` as a filesystem path ('\\' read as '/').
std::filesystem::path FsPath(const std::string& utf8);

// The whole file; empty when it cannot be read.
Bytes ReadBytes(const std::string& utf8);
Bytes ReadBytes(const std::filesystem::path& path);
std::string ReadText(const std::filesystem::path& path);
// Writes the file whole (replacing it), creating missing folders; a failure fails the test.
void WriteBytes(const std::string& utf8, const Bytes& bytes);
void WriteText(const std::string& utf8, const std::string& content);
void WriteText(const std::filesystem::path& path, const std::string& content);

// True for a regular file.
bool FileExists(const std::string& utf8);
// True for anything at the path (file or folder).
bool PathExists(const std::string& utf8);
// The names in a folder, sorted; empty for a folder that does not exist.
std::vector<std::string> FolderNames(const std::string& utf8);

}  // namespace vexa::testing
