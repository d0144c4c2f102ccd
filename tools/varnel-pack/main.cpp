// varnel-pack: the command-line tool for setup packages.
#include <cstring>
#include <iostream>
#include <string>

#include "BuildCommand.h"
#include "Cli.h"
#include "Extract.h"
#include "Inspect.h"
#include "Keys.h"
#include "Sample.h"
#include "Token.h"

namespace {

const char kUsage[] =
    "usage: varnel-pack <command> [options]\n"
    "\n"
    "commands:\n"
    "  build [settings] FILE|FOLDER...  write a setup executable (and its volumes)\n"
    "  inspect [--json] FILE            print what the stub reads from a setup file\n"
    "  extract FILE DIR                 extract a setup file with the stub's unpacker\n"
    "  token TEXT                       print the scrambled form of a secret token\n"
    "  scramble FILE                    write a file's text in the INFORM scrambled form\n"
    "  sample --stub STUB OUT           write a small sample setup executable\n"
    "  keygen PRIVATE PUBLIC            write an ECDSA P-256 key pair for signed updates\n"
    "  sign FILE --key PRIVATE          write FILE.sig, the signature of FILE\n"
    "  verify FILE --pub PUBLIC         check FILE.sig against FILE and the public key\n"
    "\n"
    "  --version                        print the version of varnel-pack\n"
    "\n"
    "Run 'varnel-pack <command> --help' for a command's options. Exit codes:\n"
    "0 success; 1 failure (one message on stderr); 2 no command given.\n";

const char kSampleHelp[] =
    "usage: varnel-pack sample --stub STUB OUT\n"
    "\n"
    "Writes a small setup executable with sample files and an engine entry.\n";

int RunSample(int argc, char** argv) {
  for (int i = 2; i < argc; ++i)
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::cout << kSampleHelp;
      return 0;
    }
  if (argc != 5 || std::strcmp(argv[2], "--stub") != 0) return cli::Fail("sample needs --stub STUB OUT");
  const std::string error = WriteSamplePackage(argv[3], argv[4]);
  return error.empty() ? 0 : cli::Fail(error);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << kUsage;
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kUsage;
    return 0;
  }
  if (command == "--version" || command == "version") {
    std::cout << "varnel-pack " << VARNEL_VERSION << " (package trailer format 1, 74 bytes)\n";
    return 0;
  }
  if (command == "build") return RunBuild(argc, argv);
  if (command == "inspect") return RunInspect(argc, argv);
  if (command == "extract") return RunExtract(argc, argv);
  if (command == "token") return RunToken(argc, argv);
  if (command == "scramble") return RunScramble(argc, argv);
  if (command == "sample") return RunSample(argc, argv);
  if (command == "keygen") return RunKeygen(argc, argv);
  if (command == "sign") return RunSign(argc, argv);
  if (command == "verify") return RunVerify(argc, argv);
  return cli::Fail("unknown command '" + command + "' (see --help)");
}
