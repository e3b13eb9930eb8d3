// The commands of vexapak. Each returns the process exit status: 0 success, 1 failure (messages
// on stderr), and writes its normal output to `out`.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

struct PakOptions {
  // Entries are scrambled with this password (compressed packages only).
  std::string password;
  // Write a stored (uncompressed, unscrambled) package instead of a compressed one.
  bool store = false;
  // PackFolder leaves out the files for which this returns true (entry names, '\\' between
  // folders). Empty: every file is packed.
  std::function<bool(const std::string& name)> exclude;
};

// One file found below a folder: its path on disk, and its name relative to the folder with '\\'
// between folders (the package's entry name).
struct FolderFile {
  std::string path;
  std::string name;
};

// Every file below `folder`, each folder's names sorted. False, with *error naming the folder, for
// a folder that cannot be read or one nested deeper than 64 levels (a link loop).
bool CollectFolderFiles(const std::string& folder, std::vector<FolderFile>* files,
                        std::string* error);

// Packs every file below `folder` (recursively, names relative to it with '\\' between folders,
// sorted) into the package `out_path`.
int PackFolder(const std::string& folder, const std::string& out_path, const PakOptions& options);
// Lists the entries with their stored and unpacked sizes.
int ListPackage(const std::string& pak_path, std::FILE* out);
// Extracts every entry, or only `entry` when it is not empty, below `out_dir`.
int ExtractPackage(const std::string& pak_path, const std::string& out_dir,
                   const std::string& entry, const PakOptions& options);
// Writes one entry's bytes to `out`.
int CatEntry(const std::string& pak_path, const std::string& entry, const PakOptions& options,
             std::FILE* out);
// Decodes every entry; fails when any does not.
int VerifyPackage(const std::string& pak_path, const PakOptions& options, std::FILE* out);

// Splits an entry name at '/' and '\\' into the folder and file names to create below an output
// folder. Empty and "." parts are dropped. Returns false for names that would land outside the
// folder or that Windows would read as something else: a ".." part, a leading separator, a ':'
// (drive letters, alternate streams), or nothing left to name a file.
bool SplitEntryName(const std::string& name, std::vector<std::string>* parts);
