// varnel-pack extract: the stub's own unpacker with a silent host.
#include "Extract.h"

#include <iostream>

#include "Cli.h"
#include "SetupFile.h"
#include "package/PackBuild.h"
#include "package/PackBuildText.h"
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
    "empty or not exist yet (the unpacker appends to existing files); missing\n"
    "folders are created. When extraction fails, a DIR that extract created is\n"
    "removed again; in an existing DIR the message says what was left.\n"
    "Names come back from the package's code page as UTF-8 (off Windows).\n"
    "\n"
    "  --with-agent       also write the auto-update agent copy, as the stub does\n"
    "                     for a package that carries one\n"
    "  --code-page N      code page of the names (default: the one of the first\n"
    "                     language's Charset, else 1252)\n"
    "  -v, --verbose      print the engine entry, the unpacker's trace and a summary\n"
    "  --no-progress      no progress bar (it only shows on a terminal)\n";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Join(const std::string& dir, const std::string& name) {
#ifdef _WIN32
  return dir + "\\" + name;
#else
  return dir + "/" + name;
#endif
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

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

struct TTally {
  uint64_t files = 0;
  uint64_t bytes = 0;
};

TTally Count(const std::string& dir) {
  TTally tally;
  for (const auto& entry : Files::platform::ListDir(dir)) {
    const std::string path = Join(dir, entry.name);
    if (entry.isDir && !entry.isLink) {
      const TTally below = Count(path);
      tally.files += below.files;
      tally.bytes += below.bytes;
    } else if (!entry.isDir) {
      ++tally.files;
      tally.bytes += static_cast<uint64_t>(std::max<int64_t>(0, Files::FileSizeByName(path)));
    }
  }
  return tally;
}

// Gives the extracted names their UTF-8 form (children before their folder).
void RenameToUtf8(const std::string& dir, int codePage, std::vector<std::string>& warnings) {
  for (const auto& entry : Files::platform::ListDir(dir)) {
    const std::string path = Join(dir, entry.name);
    if (entry.isDir && !entry.isLink) RenameToUtf8(path, codePage, warnings);
    const std::string shown = Shown(entry.name, codePage);
    if (shown == entry.name) continue;
    const std::string target = Join(dir, shown);
    if (FileExists(target) || DirExists(target) || !MoveFileReplacing(path, target))
      warnings.push_back("kept the name " + Quoted(path) + ": cannot rename it to " + Quoted(target));
  }
}

// The destination folder: made when missing, removed again after a failure.
class TDestination {
 public:
  explicit TDestination(std::string dir) : dir_(std::move(dir)) {}

  std::string Prepare() {
    if (FileExists(dir_)) return "cannot extract into " + Quoted(dir_) + ": it is a file";
    if (DirExists(dir_)) {
      if (!Files::platform::ListDir(dir_).empty()) return Quoted(dir_) + " is not empty";
      return "";
    }
    std::vector<std::string> missing;
    std::string f = dir_;
    for (; !DirExists(f); f = ParentOf(f)) {
      if (FileExists(f)) return "cannot create " + Quoted(dir_) + ": " + Quoted(f) + " is a file";
      missing.push_back(f);
      if (ParentOf(f) == f) break;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
      if (!Files::platform::MakeDir(*it) && !DirExists(*it)) {
        const std::string reason = PackBuild::FailureReason(*it);
        Undo();
        return "cannot create " + Quoted(*it) + ": " + reason;
      }
      created_.push_back(*it);
    }
    return "";
  }

  // What a failed run leaves, for the end of its message.
  std::string AfterFailure() {
    if (!created_.empty()) {
      Undo();
      return DirExists(dir_) ? "; " + Quoted(dir_) + " could not be removed" : "; nothing is left of it";
    }
    const TTally left = Count(dir_);
    if (left.files == 0) return "";
    return "; " + cli::CountText(left.files, "file", "files") + " written before the failure " +
           (left.files == 1 ? "is" : "are") + " left in " + Quoted(dir_);
  }

 private:
  void Undo() {
    if (!created_.empty()) Files::DeleteTree(created_.back());
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) Files::platform::RemoveDir(*it);
    created_.clear();
  }

  std::string dir_;
  std::vector<std::string> created_;  // outermost first
};

}  // namespace

int RunExtract(int argc, char** argv) {
  const int64_t started = cli::NowMs();
  cli::TParsedArgs args;
  const std::string error = cli::ParseArgs(
      argc, argv, 2,
      {{"with-agent", false, 0}, {"code-page", true, 0}, {"verbose", false, 'v'}, {"no-progress", false, 0}}, args);
  if (args.help) {
    std::cout << kHelp;
    return 0;
  }
  if (!error.empty()) return cli::Fail(error);
  if (args.positional.size() != 2) return cli::Fail("extract takes a setup file and a folder (see --help)");
  const std::string file = args.positional[0], dir = args.positional[1];
  auto flag = [&args](const char* name) { return args.values.count(name) && args.values.at(name) == "1"; };

  const std::string problem = SetupFileProblem(file);
  if (!problem.empty()) return cli::Fail(problem);
  TGFileInfo info(file);
  if (!info.Trailer().HasMagic()) return cli::Fail(Quoted(file) + " holds no package");
  const std::string missing = MissingVolume(file);
  if (!missing.empty()) return cli::Fail("volume " + Quoted(missing) + " is missing");
  int codePage = PackageCodePage(info);
  if (args.values.count("code-page")) {
    uint64_t number = 0;
    if (!cli::ParseUInt(args.values.at("code-page"), 65535, number) ||
        !PackText::IsSupportedCodePage(static_cast<int>(number)))
      return cli::Fail("--code-page takes one of " + PackText::SupportedCodePagesText());
    codePage = static_cast<int>(number);
  }
  TDestination destination(dir);
  const std::string unusable = destination.Prepare();
  if (!unusable.empty()) return cli::Fail(unusable);

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
    std::cout << "engine entry: " << Shown(result.engineEntry, codePage) << "\n";
  }
  if (failure.empty() && !host.Errors().empty()) failure = PlainText(host.Errors());
  if (failure.empty() && !result.ok) {
    failure = "the package is damaged (checksum test failed)";
    for (const std::string& line : trace)
      if (StartsWith("Damaged", line) || StartsWith("Entry refused", line)) failure = line;
  }
  if (!failure.empty()) return cli::Fail(failure + destination.AfterFailure());
#ifndef _WIN32
  std::vector<std::string> warnings;
  RenameToUtf8(dir, codePage, warnings);
  for (const std::string& warning : warnings) cli::Warn(warning);
#endif
  if (flag("verbose") || cli::StdoutIsTerminal()) {
    const TTally tally = Count(dir);
    std::cout << "extracted " << cli::CountText(tally.files, "file", "files") << ", "
              << cli::CountText(tally.bytes, "byte", "bytes") << " into " << dir << ", "
              << cli::SecondsText(cli::NowMs() - started) << "\n";
  }
  return 0;
}
