// varnel-pack extract: the stub's own unpacker with a silent host.
#include "Extract.h"

#include <iostream>

#include "Cli.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"
#include "stub/VxDebug.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/Utils.h"

using namespace PackFormat;

namespace {

const char kHelp[] =
    "usage: varnel-pack extract [options] FILE DIR\n"
    "\n"
    "Extracts the setup file FILE (and the volumes beside it) into DIR with the\n"
    "stub's own unpacker: same checksum tests, same entry handling, file dates\n"
    "set. Nobody is asked anything: a missing volume is an error. DIR must be\n"
    "empty or not exist yet (the unpacker appends to existing files).\n"
    "\n"
    "  --with-agent     also write the auto-update agent copy, as the stub does\n"
    "                   for a package that carries one\n"
    "  -v, --verbose    print the engine entry and the unpacker's trace\n"
    "  --no-progress    no progress bar (it only shows on a terminal)\n";

// The volume that the chain of "another volume follows" flags needs and that is not there.
std::string MissingVolume(const std::string& setupFile) {
  TPackTrailer record;
  ReadTrailer(setupFile, record);
  for (int number = 2; (record.Options() & kOptMoreVolumes) != 0; ++number) {
    const std::string volume = VolumeName(setupFile, number);
    if (!FileExists(volume)) return volume;
    record = TPackTrailer{};
    ReadTrailer(volume, record);
  }
  return "";
}

// The markup of the unpacker's messages as plain text.
std::string PlainText(const std::string& markup) {
  std::string text = ReplaceTextCI(ReplaceTextCI(markup, "<P>", " "), "<T>", " ");
  text = ReplaceTextCI(ReplaceTextCI(text, "<B>", ""), "</B>", "");
  return Trim(ReplaceRepeated(ReplaceChar(text, '\n', ' '), "  ", " "));
}

}  // namespace

int RunExtract(int argc, char** argv) {
  cli::TParsedArgs args;
  const std::string error = cli::ParseArgs(
      argc, argv, 2, {{"with-agent", false, 0}, {"verbose", false, 'v'}, {"no-progress", false, 0}}, args);
  if (args.help) {
    std::cout << kHelp;
    return 0;
  }
  if (!error.empty()) return cli::Fail(error);
  if (args.positional.size() != 2) return cli::Fail("extract takes a setup file and a folder (see --help)");
  const std::string file = args.positional[0], dir = args.positional[1];
  auto flag = [&args](const char* name) { return args.values.count(name) && args.values.at(name) == "1"; };

  if (!FileExists(file)) return cli::Fail("cannot read \"" + file + "\"");
  TGFileInfo info(file);
  if (!info.Trailer().HasMagic()) return cli::Fail("\"" + file + "\" holds no package");
  const std::string missing = MissingVolume(file);
  if (!missing.empty()) return cli::Fail("volume \"" + missing + "\" is missing");
  if (FileExists(dir)) return cli::Fail("\"" + dir + "\" is a file");
  if (DirExists(dir) && !Files::platform::ListDir(dir).empty()) return cli::Fail("\"" + dir + "\" is not empty");

  std::vector<std::string> trace;
  VxDebug::TTraceSink previous =
      VxDebug::SetTraceSink([&trace](const std::string& line) { trace.push_back(line); });
  cli::TProgressBar bar(!flag("no-progress") && !flag("verbose") && cli::StderrIsTerminal(), "extracting");
  int64_t range = 0, position = 0;
  TUnpackRequest request;
  request.setupFile = file;
  request.destination = dir;
  if (flag("with-agent")) request.agentName = info.AgentFileName();
  request.progress = [&](int kind, int64_t count) {
    if (kind == 0) {
      range = count;
      position = 0;
    } else {
      ++position;
    }
    bar.Update(static_cast<uint64_t>(std::min(position, range)), static_cast<uint64_t>(range));
  };
  TSilentUnpackHost host;
  TUnpackResult result;
  std::string failure;
  try {
    result = UnpackPackage(request, host);
  } catch (const EZLibError& e) {
    failure = std::string("damaged entry: ") + e.what();
  }
  bar.Finish();
  VxDebug::SetTraceSink(previous);
  if (flag("verbose")) {
    for (const std::string& line : trace)
      if (!line.empty()) std::cout << "trace: " << line << "\n";
    std::cout << "engine entry: " << result.engineEntry << "\n";
  }
  if (failure.empty() && !host.Errors().empty()) failure = PlainText(host.Errors());
  if (failure.empty() && !result.ok) {
    failure = "the package is damaged (checksum test failed)";
    for (const std::string& line : trace)
      if (StartsWith("Damaged", line) || StartsWith("Entry refused", line)) failure = line;
  }
  if (!failure.empty()) return cli::Fail(failure);
  return 0;
}
