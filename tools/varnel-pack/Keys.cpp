// varnel-pack keygen, sign and verify.
#include "Keys.h"

#include <fstream>
#include <iostream>
#include <sstream>

#include "Cli.h"
#include "package/Signature.h"

namespace {

const char kKeygenHelp[] =
    "usage: varnel-pack keygen PRIVATE PUBLIC\n"
    "\n"
    "Writes a new ECDSA P-256 key pair: PRIVATE (PEM, keep it secret, it signs\n"
    "updates) and PUBLIC (one line of base64, for build --update-key and verify).\n"
    "Existing files are not overwritten.\n";
const char kSignHelp[] =
    "usage: varnel-pack sign FILE --key PRIVATE\n"
    "\n"
    "Writes FILE.sig: the signature of the SHA-256 of FILE. Upload it beside FILE.\n";
const char kVerifyHelp[] =
    "usage: varnel-pack verify FILE --pub PUBLIC [--sig SIGFILE]\n"
    "\n"
    "Checks FILE.sig (or SIGFILE) against FILE and the public key, as the stub does.\n";

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

// The parsed arguments, or the exit code in `code`.
bool Parse(int argc, char** argv, const std::vector<cli::TOptionDef>& defs, const char* help, size_t positional,
           cli::TParsedArgs& args, int& code) {
  const std::string error = cli::ParseArgs(argc, argv, 2, defs, args);
  if (!error.empty()) {
    code = cli::Fail(error);
    return false;
  }
  if (args.help) {
    std::cout << help;
    code = 0;
    return false;
  }
  if (args.positional.size() != positional) {
    code = cli::Fail(std::string("wrong arguments (see --help)"));
    return false;
  }
  return true;
}

}  // namespace

int RunKeygen(int argc, char** argv) {
  cli::TParsedArgs args;
  int code = 0;
  if (!Parse(argc, argv, {}, kKeygenHelp, 2, args, code)) return code;
  for (const auto& path : args.positional)
    if (Exists(path)) return cli::Fail(path + " exists; not overwritten");
  const std::string error = GenerateKeyPair(args.positional[0], args.positional[1]);
  return error.empty() ? 0 : cli::Fail(error);
}

int RunSign(int argc, char** argv) {
  cli::TParsedArgs args;
  int code = 0;
  if (!Parse(argc, argv, {{"key", true}}, kSignHelp, 1, args, code)) return code;
  if (!args.values.count("key")) return cli::Fail("sign needs --key PRIVATE");
  const std::string& file = args.positional[0];
  const std::string error = SignFile(file, args.values["key"], file + ".sig");
  return error.empty() ? 0 : cli::Fail(error);
}

int RunVerify(int argc, char** argv) {
  cli::TParsedArgs args;
  int code = 0;
  if (!Parse(argc, argv, {{"pub", true}, {"sig", true}}, kVerifyHelp, 1, args, code)) return code;
  if (!args.values.count("pub")) return cli::Fail("verify needs --pub PUBLIC");
  std::ifstream in(args.values["pub"], std::ios::binary);
  if (!in) return cli::Fail("cannot read " + args.values["pub"]);
  std::ostringstream key;
  key << in.rdbuf();
  const std::string& file = args.positional[0];
  const std::string sig = args.values.count("sig") ? args.values["sig"] : file + ".sig";
  const std::string error = Signature::VerifyFile(file, sig, key.str());
  if (!error.empty()) return cli::Fail(file + ": " + error);
  std::cout << file << ": signature good\n";
  return 0;
}
