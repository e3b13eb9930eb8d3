// vexapak: command-line access to game packages.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "console.h"
#include "data/package.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  vexapak pack <folder> <out.pak> [--password P] [--store]\n"
    "  vexapak list <pak>\n"
    "  vexapak extract <pak> <outdir> [entry] [--password P]\n"
    "  vexapak cat <pak> <entry> [--password P]\n"
    "  vexapak verify <pak> [--password P]\n"
    "\n"
    "Packages are compressed and scrambled with the default game password unless --password\n"
    "(\"\" for none) or --store (no compression, no password) is given. Entry names compare\n"
    "ignoring case; either '/' or '\\' separates folders.\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "vexapak: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage(nullptr);
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }

  PakOptions options;
  options.password = kPackageDefaultPassword;
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--password") == 0) {
      if (i + 1 >= argc) return Usage("--password needs a value");
      options.password = argv[++i];
    } else if (std::strncmp(a, "--password=", 11) == 0) {
      options.password = a + 11;
    } else if (std::strcmp(a, "--store") == 0) {
      options.store = true;
    } else if (std::strcmp(a, "--") == 0) {
      for (++i; i < argc; ++i) args.emplace_back(argv[i]);
    } else if (a[0] == '-' && a[1] == '-') {
      return Usage((std::string("unknown option ") + a).c_str());
    } else {
      args.emplace_back(a);
    }
  }
  if (options.store && command != "pack") return Usage("--store only applies to pack");

  if (command == "pack") {
    if (args.size() != 2) return Usage("pack needs <folder> and <out.pak>");
    return PackFolder(args[0], args[1], options);
  }
  if (command == "list") {
    if (args.size() != 1) return Usage("list needs <pak>");
    return ListPackage(args[0], stdout);
  }
  if (command == "extract") {
    if (args.size() != 2 && args.size() != 3) return Usage("extract needs <pak> <outdir> [entry]");
    return ExtractPackage(args[0], args[1], args.size() == 3 ? args[2] : std::string(), options);
  }
  if (command == "cat") {
    if (args.size() != 2) return Usage("cat needs <pak> and <entry>");
    if (!SetStdoutBinary()) {
      std::fprintf(stderr, "vexapak: cannot switch standard output to binary mode\n");
      return 1;
    }
    return CatEntry(args[0], args[1], options, stdout);
  }
  if (command == "verify") {
    if (args.size() != 1) return Usage("verify needs <pak>");
    return VerifyPackage(args[0], options, stdout);
  }
  return Usage((std::string("unknown command ") + command).c_str());
}
