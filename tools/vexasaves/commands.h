// The commands of vexasaves. Each returns the process exit status: 0 success, 1 failure or a
// folder with damaged files (messages on stderr), and writes its normal output to `out`.
#pragma once

#include <cstdio>
#include <string>

#include "exportfile.h"
#include "platform/filesystem.h"

struct SavesOptions {
  // Only this set / table / scope (print, export). Names compare ignoring ASCII case.
  std::string set;
  std::string table;
  std::string scope;
  bool onlySome() const { return !set.empty() || !table.empty() || !scope.empty(); }
  // restore: where the folder's previous contents go ("" for the default name beside the folder).
  std::string keep;
  // where: the names the player builds the folder from.
  std::string maker = "Quorva";
  std::string game = "GameBase";
  std::string saves;
  // The base folder instead of the user's application data (where; tests).
  std::string base;
};

// Prints the data folder the player uses for a game (nothing is created).
int WhereCommand(const SavesOptions& options, std::FILE* out);
// One line per file of the folder: what it is, how many items it holds, what is wrong with it.
int ListCommand(vexa::platform::IFileSystem* fs, const std::string& folder, std::FILE* out);
// Everything the folder holds, readable.
int PrintCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                 const SavesOptions& options, std::FILE* out);
// The folder's contents in the export format, to `file` ("-": `out`).
int ExportCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                  const std::string& file, const SavesOptions& options, std::FILE* out);
// Adds an export's contents to the folder (WriteMode::kMerge).
int ImportCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                  const std::string& file, std::FILE* out);
// Makes the folder hold exactly an export's contents (WriteMode::kReplace), after writing what it
// held before to a new export file. Refused while the folder has damaged or unreadable files.
int RestoreCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                   const std::string& file, const SavesOptions& options, std::FILE* out);

// Keeps only the set, table and scope the options name (all when they name none).
ExportContents FilterContents(const ExportContents& contents, const SavesOptions& options);
