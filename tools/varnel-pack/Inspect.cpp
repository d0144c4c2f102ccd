#include "Inspect.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "SetupFile.h"
#include "package/PackBuildText.h"
#include "package/UnPack.h"
#include "util/FileIO.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

using namespace PackFormat;

namespace {

std::string ChecksumStatus(uint32_t stored, uint32_t computed) {
  if (stored == kNoChecksum || computed == kNoChecksum) return "not computed";
  return stored == computed ? "matches" : "MISMATCH";
}

TEntryReport EntryOf(const TBlockInfo& block) {
  TEntryReport entry;
  entry.block = block;
  entry.name = SUB::GetItem(block.header, 0, "");
  const int64_t date = TextToInt64(SUB::GetItem(block.header, 1, ""), 0);
  entry.date = date < INT32_MIN || date > INT32_MAX ? 0 : static_cast<int32_t>(date);
  entry.engine = block.header.find('*') != std::string::npos;
  entry.dataSize = block.hasNul ? block.inflatedSize - static_cast<int64_t>(block.header.size()) - 1 : 0;
  return entry;
}

// Reads one volume; `blocksSoFar` counts the blocks of the run before it, as
// the unpacker does, to tell information blocks from entries.
void InspectVolume(TVolumeReport& v, int64_t& blocksSoFar, std::vector<std::string>& problems) {
  const std::string label =
      v.number == 1 ? "\"" + v.path + "\"" : "volume " + std::to_string(v.number) + " (\"" + v.path + "\")";
  v.present = FileExists(v.path);
  if (!v.present) {
    problems.push_back(label + " is missing");
    return;
  }
  {
    TFile file(v.path, TFile::Mode::Read);
    v.fileSize = file.Size();
  }
  ReadTrailer(v.path, v.trailer);
  v.package = v.trailer.HasMagic();
  if (!v.package) {
    problems.push_back(label + " holds no package (no trailer magic)");
    return;
  }
  v.packageEnd = PackageEndOf(v.path);
  v.computedChecksum = PackageChecksum(v.path, v.trailer.Length());
  v.checksumStatus = ChecksumStatus(v.trailer.Checksum(), v.computedChecksum);
  if (v.checksumStatus == "MISMATCH") problems.push_back(label + ": checksum mismatch");
  const int infoBlocks = static_cast<int>(std::max<int64_t>(0, v.trailer.InfoBlockCount() - blocksSoFar));
  WalkBlocks(v.path, infoBlocks, [&](const TBlockInfo& block) {
    ++blocksSoFar;
    if (!block.readable)
      problems.push_back(label + ": damaged block at offset " + std::to_string(block.offset) + ": " + block.error);
    if (block.isInfoBlock) {
      v.infoBlocks.push_back(block);
      return;
    }
    TEntryReport entry = EntryOf(block);
    const std::string file = entry.name.substr(0, entry.name.find('*'));
    if (block.readable && IsHostileEntryName(file))
      problems.push_back(label + ": entry \"" + entry.name + "\" would leave the destination");
    v.entries.push_back(std::move(entry));
  });
}

}  // namespace

std::string DosDateText(int32_t dosDateTime) {
  if (dosDateTime == 0) return "-";
  const uint32_t v = static_cast<uint32_t>(dosDateTime);
  const uint32_t date = v >> 16, time = v & 0xFFFF;
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return text;
}

TInspection InspectPackage(const std::string& path) {
  TInspection result;
  result.path = path;
  int64_t blocksSoFar = 0;
  for (int number = 1;; ++number) {
    TVolumeReport volume;
    volume.number = number;
    volume.path = number == 1 ? path : VolumeName(path, number);
    InspectVolume(volume, blocksSoFar, result.problems);
    const bool more = volume.package && (volume.trailer.Options() & kOptMoreVolumes) != 0;
    const bool present = volume.present;
    result.volumes.push_back(std::move(volume));
    if (!present) return result;
    if (!more) break;
  }
  for (int number = static_cast<int>(result.volumes.size()) + 1;; ++number) {
    const std::string extra = VolumeName(path, number);
    if (!FileExists(extra)) break;
    result.extraVolumes.push_back(extra);
  }
  return result;
}

int RunInspect(int argc, char** argv) {
  cli::TParsedArgs args;
  const std::string error = cli::ParseArgs(argc, argv, 2, {{"json", false, 0}, {"code-page", true, 0}}, args);
  if (args.help) {
    std::cout << "usage: varnel-pack inspect [--json] FILE\n"
                 "\n"
                 "Prints what the stub reads from the setup file FILE: trailer fields and\n"
                 "flags, the information blocks (token unscrambled), the checksum test,\n"
                 "and every volume found beside it with its entries (date, bytes in the\n"
                 "package, file size, compressed or stored, engine mark). Nothing is\n"
                 "written.\n"
                 "\n"
                 "  --json          the same as one JSON object\n"
                 "  --code-page N   code page of the names and texts (default: the one of\n"
                 "                  the first language's Charset, else 1252)\n"
                 "\n"
                 "Exit code 0 when the package reads cleanly; 1 when FILE cannot be read or\n"
                 "the package is damaged, incomplete or holds no package.\n";
    return 0;
  }
  if (!error.empty()) return cli::Fail(error);
  if (args.positional.size() != 1) return cli::Fail("inspect takes one file (see --help)");
  const std::string path = args.positional[0];
  const std::string problem = SetupFileProblem(path);
  if (!problem.empty()) return cli::Fail(problem);
  TInspection inspection = InspectPackage(path);
  inspection.codePage = PackageCodePage(TGFileInfo(path));
  if (args.values.count("code-page")) {
    uint64_t number = 0;
    if (!cli::ParseUInt(args.values.at("code-page"), 65535, number) ||
        !PackText::IsSupportedCodePage(static_cast<int>(number)))
      return cli::Fail("--code-page takes one of " + PackText::SupportedCodePagesText());
    inspection.codePage = static_cast<int>(number);
  }
  if (args.values.count("json") && args.values.at("json") == "1")
    PrintInspectionJson(inspection, std::cout);
  else
    PrintInspectionText(inspection, std::cout);
  if (inspection.problems.empty()) return 0;
  std::string message = inspection.problems.front();
  if (inspection.problems.size() > 1) message += " (and " + std::to_string(inspection.problems.size() - 1) + " more)";
  return cli::Fail(message);
}
