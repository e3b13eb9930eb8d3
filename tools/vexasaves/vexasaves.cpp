// vexasaves: lists, prints, exports, imports and restores what a game keeps in its data folder
// (save sets, high-score tables, registry values).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vexasaves where [--game NAME] [--saves NAME] [--maker NAME]\n"
    "  vexasaves list <folder>\n"
    "  vexasaves print <folder> [--set NAME] [--table NAME] [--scope NAME]\n"
    "  vexasaves export <folder> [<file>|-] [--set NAME] [--table NAME] [--scope NAME]\n"
    "  vexasaves import <folder> <file>\n"
    "  vexasaves restore <folder> <file> [--keep <file>]\n"
    "\n"
    "where   prints the data folder the player uses for a game (GAMESAVES, else GAMENAME).\n"
    "list    names every file of the folder, what it holds and what is wrong with it.\n"
    "print   shows every save, score and value (texts quoted, odd bytes as %XX).\n"
    "export  writes them as text that import and restore read back byte for byte.\n"
    "import  adds an export: saves replace the same slot, values the same name, tables whole.\n"
    "restore makes the folder hold exactly an export; what it held goes to a new export file\n"
    "        first (--keep, else <folder>.before-restore-<n>.txt beside it).\n"
    "Exit status: 0 done, 1 failed or found damaged files, 2 wrong usage.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "vexasaves: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

// "--name value" or "--name=value".
bool TakeOption(const std::vector<std::string>& argv, size_t* i, const char* name,
                std::string* value, bool* bad) {
  const std::string& a = argv[*i];
  const std::string prefix = std::string(name) + "=";
  if (a == name) {
    if (*i + 1 >= argv.size()) {
      *bad = true;
      return true;
    }
    *value = argv[++*i];
    return true;
  }
  if (a.compare(0, prefix.size(), prefix) == 0) {
    *value = a.substr(prefix.size());
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all = Utf8Arguments(argc, argv);
  if (all.empty()) return Usage(nullptr);
  const std::string command = all[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }

  SavesOptions options;
  std::vector<std::string> args;
  for (size_t i = 1; i < all.size(); ++i) {
    bool bad = false;
    if (TakeOption(all, &i, "--set", &options.set, &bad) ||
        TakeOption(all, &i, "--table", &options.table, &bad) ||
        TakeOption(all, &i, "--scope", &options.scope, &bad) ||
        TakeOption(all, &i, "--keep", &options.keep, &bad) ||
        TakeOption(all, &i, "--game", &options.game, &bad) ||
        TakeOption(all, &i, "--saves", &options.saves, &bad) ||
        TakeOption(all, &i, "--maker", &options.maker, &bad) ||
        TakeOption(all, &i, "--base", &options.base, &bad)) {
      if (bad) return Usage((all[i] + " needs a value").c_str());
      continue;
    }
    if (all[i] == "--") {
      for (++i; i < all.size(); ++i) args.push_back(all[i]);
    } else if (all[i].size() > 2 && all[i].compare(0, 2, "--") == 0) {
      return Usage(("unknown option " + all[i]).c_str());
    } else {
      args.push_back(all[i]);
    }
  }

  if (command == "where") {
    if (!args.empty()) return Usage("where takes only options");
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
    return ImportCommand(nullptr, args[0], args[1], stdout);
  }
  if (command == "restore") {
    if (args.size() != 2) return Usage("restore needs <folder> and <file>");
    return RestoreCommand(nullptr, args[0], args[1], options, stdout);
  }
  return Usage(("unknown command " + command).c_str());
}
