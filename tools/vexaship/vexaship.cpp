// vexaship: one command from a game folder to a shipped game (see ship.h).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ship.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::fputs(vexa::ship::ShipUsage(), stderr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    std::fputs(vexa::ship::ShipUsage(), stdout);
    return 0;
  }
  vexa::ship::ShipOptions options;
  std::string error;
  if (!vexa::ship::ParseShipArguments(args, &options, &error)) {
    std::fprintf(stderr, "vexaship: %s\n\n%s", error.c_str(), vexa::ship::ShipUsage());
    return 2;
  }
  return vexa::ship::Ship(options);
}
