// varnel-pack: the command-line tool for setup packages.
#include <cstring>
#include <iostream>
#include <string>

#include "Inspect.h"
#include "Sample.h"

namespace {

const char kUsage[] =
    "usage: varnel-pack <command> [options]\n"
    "\n"
    "commands:\n"
    "  inspect FILE                 print what the stub reads from a setup file\n"
    "  sample --stub STUB OUT       write a small sample setup executable\n"
    "\n"
    "Run 'varnel-pack <command> --help' for a command's options.\n";

bool WantsHelp(int argc, char** argv) {
  for (int i = 2; i < argc; ++i)
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return true;
  return false;
}

int Fail(const std::string& message) {
  std::cerr << "varnel-pack: " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h")) {
    std::cout << kUsage;
    return argc < 2 ? 2 : 0;
  }
  const std::string command = argv[1];
  if (command == "inspect") {
    if (WantsHelp(argc, argv)) {
      std::cout << "usage: varnel-pack inspect FILE\n\nPrints the trailer, flags and information blocks of FILE.\n";
      return 0;
    }
    if (argc != 3) return Fail("inspect takes one file");
    PrintPackageInfo(argv[2], std::cout);
    return 0;
  }
  if (command == "sample") {
    if (WantsHelp(argc, argv)) {
      std::cout << "usage: varnel-pack sample --stub STUB OUT\n\nWrites a small setup executable with sample files.\n";
      return 0;
    }
    if (argc != 5 || std::strcmp(argv[2], "--stub") != 0) return Fail("sample needs --stub STUB OUT");
    std::string error = WriteSamplePackage(argv[3], argv[4]);
    return error.empty() ? 0 : Fail(error);
  }
  return Fail("unknown command '" + command + "' (see --help)");
}
