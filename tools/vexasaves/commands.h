// The commands of vexasaves. Each returns the process exit status: 0 success, 1 failure or a
// folder with damaged files (messages on stderr), and writes its normal output to `out`.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "console.h"
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
  std::string game;  // GAMENAME; where needs it or `saves`
  std::string saves;
  // The base folder instead of the user's application data (where; tests).
  std::string base;
  // Whether a copy of the player runs the game of this GAMENAME (import, restore); tests put their
  // own check here.
  std::function<bool(const std::string& gameName)> gameRunning = IsGameRunning;
};

// What the command line asks for. Names (set, table, scope, game, saves, maker) are narrow text in
// the player's code page, as the stores keep them; folders and files (the arguments, keep, base)
// are UTF-8 paths.
struct SavesCommandLine {
  std::string command;
  SavesOptions options;
  std::vector<std::string> args;
};

// Reads the UTF-8 arguments after the program name ("--name value" or "--name=value"; "--" ends
// the options). False with `problem` for an unknown option or one without its value.
bool ParseCommandLine(const std::vector<std::string>& utf8, SavesCommandLine* line,
                      std::string* problem);

inline constexpr char kWhereNeedsGame[] =
    "where needs the game's name: --game GAMENAME (and --saves GAMESAVES when the game sets one)";

// Prints the data folder the player uses for a game (nothing is created). Fails when the options
// name no game (neither `game` nor `saves`).
int WhereCommand(const SavesOptions& options, std::FILE* out);
// One line per file of the folder: what it is, how many items it holds, what is wrong with it.
int ListCommand(vexa::platform::IFileSystem* fs, const std::string& folder, std::FILE* out);
// Everything the folder holds, readable.
int PrintCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                 const SavesOptions& options, std::FILE* out);
// The folder's contents in the export format, to `file` ("-": `out`). An existing `file` is never
// replaced.
int ExportCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                  const std::string& file, const SavesOptions& options, std::FILE* out);
// Import and restore are refused while a game that uses the folder runs: the one named like the
// folder (GAMENAME) and the one options.game names (for a game that sets GAMESAVES).
//
// Adds an export's contents to the folder (WriteMode::kMerge).
int ImportCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                  const std::string& file, const SavesOptions& options, std::FILE* out);
// Makes the folder hold exactly an export's contents (WriteMode::kReplace), after writing what it
// held before to a new export file. Refused while the folder has damaged or unreadable files.
int RestoreCommand(vexa::platform::IFileSystem* fs, const std::string& folder,
                   const std::string& file, const SavesOptions& options, std::FILE* out);

// Keeps only the set, table and scope the options name (all when they name none).
ExportContents FilterContents(const ExportContents& contents, const SavesOptions& options);
