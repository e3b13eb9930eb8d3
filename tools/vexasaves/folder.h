// What vexasaves knows about a data folder: reading every file the stores keep there (save sets,
// "bstscore.dat", "localrgs.dat") into an ExportContents with a report of each file, and writing
// contents back through the stores' own file layer (atomic writes, damaged files copied aside,
// unreadable files never written over).
//
// Paths are UTF-8 (platform/filesystem.h). Set names, table names and values are the stores' narrow
// text (the ANSI code page of the player's machine).
#pragma once

#include <string>
#include <vector>

#include "exportfile.h"
#include "platform/filesystem.h"

// One file of the folder and what reading it found.
struct FolderFile {
  enum class Kind {
    kSaveSet,      // a save set (its name in `name`)
    kHighScores,   // "bstscore.dat"
    kRegistry,     // "localrgs.dat"
    kDamagedCopy,  // "<file>.damaged-<n>": the player kept a damaged file's bytes here
    kTemporary,    // a temporary file left by a write that was interrupted
    kOther,        // not a save set (a problem only when it starts like a file of the player's)
  };
  Kind kind = Kind::kOther;
  std::string fileName;  // UTF-8, without the folder
  std::string name;      // the set's name (kSaveSet)
  int items = 0;         // saves, tables or scopes read
  // Empty when the file read completely; otherwise what is wrong ("damaged: ...",
  // "cannot be read").
  std::string problem;
};

struct FolderReport {
  std::vector<FolderFile> files;
  // True when any file of the player's could not be read completely.
  bool HasProblems() const;
};

// Reads every store file of `folder`. False (with `error`) when the folder cannot be listed.
// Damaged files do not fail the read: what could be read is in `contents`, the rest is in the
// report.
bool ReadDataFolder(vexa::platform::IFileSystem* fs, const std::string& folder,
                    ExportContents* contents, FolderReport* report, std::string* error);

// How WriteDataFolder treats what the folder already holds.
enum class WriteMode {
  // Adds to it: saves replace the save in the same slot of the same set, values the value of the
  // same name in the same scope, and tables the table of the same name (whole).
  kMerge,
  // Replaces it: afterwards the folder holds exactly `contents` (sets, tables and scopes that are
  // not in it are removed).
  kReplace,
};

// Writes `contents` into `folder` (created when missing). Returns false at the first failure with
// `error` saying which item failed and why; what was written before stays written. Names that the
// player would refuse (IsValidSetName, IsValidTableName) fail the whole write before anything is
// written.
bool WriteDataFolder(vexa::platform::IFileSystem* fs, const std::string& folder,
                     const ExportContents& contents, WriteMode mode, std::string* error);
