// varnel-pack token and scramble: the stored forms of secret tokens and of
// texts for the agent's INFORM file.
#include "Token.h"

#include <iostream>
#include <random>

#include "Cli.h"
#include "package/PackBuild.h"
#include "package/PackBuildText.h"
#include "package/PackWrite.h"
#include "util/FileIO.h"
#include "util/SysText.h"

namespace {

const char kTokenHelp[] =
    "usage: varnel-pack token [--seed N] [--code-page N] TEXT\n"
    "\n"
    "Prints the scrambled form of the secret token TEXT, as the package stores\n"
    "it and as an INFORM file carries it. The form differs on every run unless\n"
    "--seed is given; every form unscrambles to TEXT. TEXT is stored in the\n"
    "code page (default 1252), as build stores the package's token.\n";

uint32_t SeedFrom(const cli::TParsedArgs& args, bool& ok) {
  ok = true;
  auto seed = args.values.find("seed");
  if (seed == args.values.end()) return std::random_device{}();
  uint64_t value = 0;
  ok = cli::ParseUInt(seed->second, 0xFFFFFFFFu, value);
  return static_cast<uint32_t>(value);
}

}  // namespace

int RunToken(int argc, char** argv) {
  cli::TParsedArgs args;
  const std::string error = cli::ParseArgs(argc, argv, 2, {{"seed", true, 0}, {"code-page", true, 0}}, args);
  if (args.help) {
    std::cout << kTokenHelp;
    return 0;
  }
  if (!error.empty()) return cli::Fail(error);
  if (args.positional.size() != 1) return cli::Fail("token takes one text (see --help)");
  const std::string& token = args.positional[0];
  if (token.empty()) return cli::Fail("the token is empty");
  std::string problem = PackBuild::InfoItemProblem("secret token", token);
  if (!problem.empty()) return cli::Fail(problem);
  uint64_t codePage = PackText::kDefaultCodePage;
  if (args.values.count("code-page") &&
      (!cli::ParseUInt(args.values.at("code-page"), 65535, codePage) ||
       !PackText::IsSupportedCodePage(static_cast<int>(codePage))))
    return cli::Fail("--code-page takes one of " + PackText::SupportedCodePagesText());
  std::string stored;
  if (!PackText::ToCodePage(cli::HostToUtf8(token), static_cast<int>(codePage), PackText::kListSeparators, stored,
                            problem))
    return cli::Fail("the token cannot be stored: " + problem);
  bool seedOk = false;
  std::mt19937 rng(SeedFrom(args, seedOk));
  if (!seedOk) return cli::Fail("--seed takes a number from 0 to 4294967295");
  std::cout << PackWrite::ScrambleToken(stored, rng) << "\n";
  return 0;
}

namespace {

const char kScrambleHelp[] =
    "usage: varnel-pack scramble [--hex] [--seed N] [-o OUT] FILE\n"
    "\n"
    "Writes the text of FILE scrambled: \"Scrambled=01\", a key character and\n"
    "the scrambled bytes. This is the form in which the auto-update agent's\n"
    "INFORM reader accepts a text (it unscrambles it before reading the\n"
    "\"|\" fields). Written to OUT, or to stdout without -o.\n"
    "\n"
    "  -o, --output OUT  file to write (replaced whole, or not at all)\n"
    "  --hex             the result as hexadecimal digits (not for INFORM files)\n"
    "  --seed N          choose the key from N instead of at random\n";

// Writes the file whole or not at all; the reason of a failure, empty on success.
std::string WriteReplacing(const std::string& path, const std::string& bytes) {
  const std::string temp = path + ".vptmp";
  TFile file(temp, TFile::Mode::Create);
  const int64_t n = static_cast<int64_t>(bytes.size());
  const bool written = file.IsOpen() && file.Write(bytes.data(), n) == n;
  std::string reason = written ? "" : PackBuild::FailureReason(temp);
  file.Close();
  if (written && MoveFileReplacing(temp, path)) return "";
  if (reason.empty()) reason = PackBuild::FailureReason(path);
  RemoveFile(temp);
  return reason;
}

}  // namespace

int RunScramble(int argc, char** argv) {
  cli::TParsedArgs args;
  const std::string error =
      cli::ParseArgs(argc, argv, 2, {{"hex", false, 0}, {"seed", true, 0}, {"output", true, 'o'}}, args);
  if (args.help) {
    std::cout << kScrambleHelp;
    return 0;
  }
  if (!error.empty()) return cli::Fail(error);
  if (args.positional.size() != 1) return cli::Fail("scramble takes one file (see --help)");
  const std::string& path = args.positional[0];
  TFile in(path, TFile::Mode::Read);
  if (!in.IsOpen()) return cli::Fail("cannot read \"" + path + "\": " + PackBuild::FailureReason(path));
  in.Close();
  const std::string text = ReadWholeFile(path);
  if (text.empty()) return cli::Fail("\"" + path + "\" is empty");
  if (text.compare(0, std::string(kScrambleMarker).size(), kScrambleMarker) == 0)
    return cli::Fail("\"" + path + "\" is already scrambled");
  const bool hex = args.values.count("hex") && args.values.at("hex") == "1";
  std::string scrambled;
  if (args.values.count("seed")) {
    bool seedOk = false;
    std::mt19937 rng(SeedFrom(args, seedOk));
    if (!seedOk) return cli::Fail("--seed takes a number from 0 to 4294967295");
    scrambled = ScrambleTextWithKey(text, true, hex, 33 + static_cast<int>(rng() % 90));
  } else {
    scrambled = ScrambleText(text, true, hex);
  }
  auto output = args.values.find("output");
  if (output == args.values.end()) {
    cli::WriteStdoutBinary(scrambled);
    return 0;
  }
  const std::string reason = WriteReplacing(output->second, scrambled);
  if (!reason.empty()) return cli::Fail("cannot write \"" + output->second + "\": " + reason);
  return 0;
}
