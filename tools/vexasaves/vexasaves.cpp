// vexasaves: lists, prints, exports, imports and restores what a game keeps in its data folder
// (save sets, high-score tables, registry values).
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vexasaves where --game NAME [--saves NAME] [--maker NAME] [--base FOLDER]\n"
    "  vexasaves list <folder>\n"
    "  vexasaves print <folder> [--set NAME] [--table NAME] [--scope NAME]\n"
    "  vexasaves export <folder> [<file>|-] [--set NAME] [--table NAME] [--scope NAME]\n"
    "  vexasaves import <folder> <file> [--game NAME]\n"
    "  vexasaves restore <folder> <file> [--keep <file>] [--game NAME]\n"
    "\n"
    "where   prints the data folder the player uses for a game (GAMESAVES, else GAMENAME);\n"
    "        --base FOLDER stands for the user's application-data folder.\n"
    "list    names every file of the folder, what it holds and what is wrong with it.\n"
    "print   shows every save, score and value (texts quoted, odd bytes as %XX).\n"
    "export  writes them as text that import and restore read back byte for byte, to a new\n"
    "        file (never over an existing one) or to standard output.\n"
    "import  adds an export: saves replace the same slot, values the same name, tables whole.\n"
    "restore makes the folder hold exactly an export; what it held goes to a new export file\n"
    "        first (--keep, else <folder>.before-restore-<n>.txt beside it).\n"
    "import and restore refuse while the game runs, as it would write its own saves back:\n"
    "close it first. The game is the one named like the folder (GAMENAME), or --game NAME\n"
    "for a game that sets GAMESAVES.\n"
    "Exit status: 0 done, 1 failed or found damaged files, 2 wrong usage.\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) WriteUtf8(stderr, "vexasaves: " + problem + "\n");
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  SavesCommandLine line;
  std::string problem;
  if (!ParseCommandLine(Utf8Arguments(argc, argv), &line, &problem)) return Usage(problem);
  const std::string& command = line.command;
  const SavesOptions& options = line.options;
  const std::vector<std::string>& args = line.args;
  if (command.empty()) return Usage("");
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }

  if (command == "where") {
    if (!args.empty()) return Usage("where takes only options");
    if (options.game.empty() && options.saves.empty()) return Usage(kWhereNeedsGame);
    return WhereCommand(options, stdout);
  }
  if (command == "list") {
    if (args.size() != 1) return Usage("list needs <folder>");
    return ListCommand(nullptr, args[0], stdout);
  }
  if (command == "print") {
    if (args.size() != 1) return Usage("print needs <folder>");
    return PrintCommand(nullptr, args[0], options, stdout);
  }
  if (command == "export") {
    if (args.size() != 1 && args.size() != 2) return Usage("export needs <folder> [<file>]");
    return ExportCommand(nullptr, args[0], args.size() == 2 ? args[1] : "-", options, stdout);
  }
  if (command == "import") {
    if (args.size() != 2) return Usage("import needs <folder> and <file>");
    return ImportCommand(nullptr, args[0], args[1], options, stdout);
  }
  if (command == "restore") {
    if (args.size() != 2) return Usage("restore needs <folder> and <file>");
    return RestoreCommand(nullptr, args[0], args[1], options, stdout);
  }
  return Usage("unknown command " + command);
}
