// libFuzzer target: the package reader (TGFileInfo) and the unpacker on a
// package image written to a temporary folder.
//
// Input layout: byte 0 holds flags, the rest is the package.
//   bit 0: the first volume is named setup.exe (else setup.bin); an agent copy
//          is asked for under the package's own agent name, as the stub does
//   bit 1: force prompt (answered with Cancel by the silent host)
//   bit 2: two volumes: bytes 1..4 give the length of volume 1, volume 2 follows it
//   bit 3: the first volume is named setup.exe.001
//   bit 4: the destination exists before the run, with files in it (kPlanted)
//
// After each run:
//  - no thread of the run is left (the worker that inflates ahead has ended);
//  - the work folder holds only the package file(s) and the destination, and
//    its parent only the work folder: nothing lands beside or above the
//    destination;
//  - nothing in the destination has a Windows device name ("CON", "nul.txt",
//    "COM1", ...), which would open a device on Windows;
//  - a file that was there before the run either is untouched or holds only
//    what the run wrote: nothing is appended to it. Its bytes are a random
//    marker drawn afresh for every run, so no input can learn and repeat them.
//
// With VARNEL_FUZZ_SEEDS=<dir> in the environment the program writes a seed
// corpus of real packages into <dir> and exits.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"
#include "util/PathText.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kFlagExe = 1, kFlagForcePrompt = 2, kFlagTwoVolumes = 4, kFlagExe001 = 8, kFlagPlanted = 16;

// Files in the destination before a kPlanted run: the names the seeds use.
const char* const kPlanted[] = {"Engine.exe", "a.txt", "c.txt", "v2.txt", "Agent.exe", "x", "sub/b.bin"};

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

[[noreturn]] void Fail(const char* what, const fs::path& path) {
  std::fprintf(stderr, "%s: %s\n", what, path.c_str());
  std::abort();
}

// Threads of this process (libFuzzer keeps a few of its own).
size_t ThreadCount() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/task")) ++n;
  return n;
}

// A joined thread may stay listed for a moment after the join returns (the
// kernel wakes the joiner before it removes the thread): the count is
// polled, for up to 10 s.
bool ThreadCountReturnsTo(size_t count) {
  for (int i = 0; i < 10000; ++i) {
    if (ThreadCount() <= count) return true;
    usleep(1000);
  }
  return false;
}

// A marker no input can predict: fresh random bytes for every run.
std::string RandomMarker() {
  static std::random_device device;
  std::string marker(24, '\0');
  for (char& c : marker) c = static_cast<char>(device());
  return marker;
}

void Plant(const fs::path& dest, const std::string& marker) {
  for (const char* name : kPlanted) {
    const fs::path path = dest / name;
    fs::create_directories(path.parent_path());
    WriteFileBytes(path, marker);
  }
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A planted file is untouched (the marker alone) or was truncated and
// rewritten (it does not start with the marker).
void CheckPlanted(const fs::path& dest, const std::string& marker) {
  for (const char* name : kPlanted) {
    const fs::path path = dest / name;
    if (!fs::is_regular_file(path)) Fail("A planted file is gone", path);
    const std::string bytes = ReadFileBytes(path);
    if (bytes.size() > marker.size() && bytes.compare(0, marker.size(), marker) == 0)
      Fail("Package bytes were appended to a file that was there before the run", path);
  }
}

void CheckNoDeviceNames(const fs::path& dest) {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(dest, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    if (IsWindowsDeviceName(it->path().filename().string())) Fail("A device name was created", it->path());
}

[[noreturn]] void Escaped(const fs::path& dir, const std::vector<std::string>& names) {
  std::fprintf(stderr, "Something was written outside the destination, in %s:\n", dir.c_str());
  for (const std::string& name : names) std::fprintf(stderr, "  %s\n", name.c_str());
  std::abort();
}

// VARNEL_FUZZ_TMP (set by run.sh, which removes it afterwards) or a folder
// of this process in the temp directory.
const fs::path& BaseDir() {
  static const fs::path base = [] {
    const char* given = std::getenv("VARNEL_FUZZ_TMP");
    fs::path p = given && *given ? fs::path(given)
                                 : fs::temp_directory_path() / ("varnel_fuzz_" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    return p;
  }();
  return base;
}

void ExerciseFileInfo(const std::string& path) {
  TGFileInfo info(path);
  (void)info.SpaceRequired(path);
  (void)info.InfoFileName();
  (void)info.OriginalFileName();
  (void)info.AgentFileName();
  (void)info.SecretToken(true);
  (void)info.DownloadToken(true);
  (void)info.DownloadURL();
  (void)info.BackgroundSetup();
  (void)info.AlwaysDownload();
}

// --- Seed corpus ---------------------------------------------------------

std::string Seed(uint8_t flags, const std::string& volume1, const std::string& volume2 = "") {
  std::string seed(1, static_cast<char>(flags));
  if (flags & kFlagTwoVolumes) {
    std::string length(4, '\0');
    PackFormat::PutU32(length, 0, static_cast<uint32_t>(volume1.size()));
    seed += length;
  }
  return seed + volume1 + volume2;
}

TPackageWriter SeedWriter() {
  TPackageWriter w;
  w.stubImage = std::string(512, '\0');
  w.stubImage[0] = 'M';
  w.stubImage[1] = 'Z';
  w.stubImage[256] = 'P';
  w.stubImage[257] = 'E';
  w.infoBlock = PackWrite::InfoBlock("http://example.com/", "Product.info", "Agent.exe", "bdcefghijk", false);
  return w;
}

std::vector<std::string> SeedCorpus() {
  std::vector<std::string> seeds;
  TPackageWriter plain = SeedWriter();
  plain.AddFile("Engine.exe*", 1248086749, "engine");
  plain.AddFile("a.txt", 0, "alpha alpha alpha alpha");
  plain.AddFile("a.txt", 0, "more");
  seeds.push_back(Seed(kFlagExe, plain.Build()));
  seeds.push_back(Seed(0, plain.Build() + std::string(64, '\x5A')));  // signature after the package

  TPackageWriter stored = SeedWriter();
  stored.level = 0;
  stored.downloadBlock = PackWrite::DownloadBlock("http://example.com/dl", "setup.exe", true, "bcd", "1000");
  stored.AddFile("|x*|", 0, "star in a later item");
  stored.AddFile("sub\\b.bin", 0, std::string("\0\1\2", 3));
  stored.AddRawBlock(std::string(4, '\0'));
  seeds.push_back(Seed(kFlagExe001, stored.Build()));

  TPackageWriter bare = SeedWriter();
  bare.stubImage.clear();
  bare.writeChecksum = false;
  bare.AddFile("c.txt", 0, std::string(300, 'c'));
  seeds.push_back(Seed(0, bare.Build()));

  TPackageWriter hostile = SeedWriter();
  hostile.AddFile("ok.txt", 0, "ok");
  hostile.AddFile("..\\up.txt", 0, "up");
  seeds.push_back(Seed(kFlagExe, hostile.Build()));

  TPackageWriter devices = SeedWriter();
  devices.AddFile("ok.txt", 0, "ok");
  devices.AddFile("sub\\COM1.txt", 0, "to a port");
  seeds.push_back(Seed(kFlagExe, devices.Build()));

  // Left-overs in the destination: every name of the package is there already.
  seeds.push_back(Seed(kFlagExe | kFlagPlanted, plain.Build()));
  seeds.push_back(Seed(kFlagExe001 | kFlagPlanted, stored.Build()));

  TPackageWriter spanned = SeedWriter();
  spanned.options = PackFormat::kOptMoreVolumes;
  spanned.AddFile("Engine.exe*", 0, "engine");
  const std::string second = PackWrite::VolumeImage(
      {PackWrite::EntryBlock(PackWrite::EntryText("v2.txt", 0, "two"), 6),
       PackWrite::EntryBlock(PackWrite::EntryText("v2.txt", 0, "three"), 0)},
      2, 0);
  seeds.push_back(Seed(kFlagTwoVolumes | kFlagExe, spanned.Build(), second));
  seeds.push_back(Seed(kFlagTwoVolumes | kFlagForcePrompt, spanned.Build(), second));
  seeds.push_back(Seed(0, spanned.Build()));  // volume 2 missing
  return seeds;
}

void WriteSeeds(const char* dir) {
  fs::create_directories(dir);
  const std::vector<std::string> seeds = SeedCorpus();
  for (size_t i = 0; i < seeds.size(); ++i) WriteFileBytes(fs::path(dir) / ("seed" + std::to_string(i)), seeds[i]);
  std::printf("%zu seeds written to %s\n", seeds.size(), dir);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (const char* dir = std::getenv("VARNEL_FUZZ_SEEDS")) {
    WriteSeeds(dir);
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t flags = data[0];
  std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string volume1 = rest, volume2;
  if (flags & kFlagTwoVolumes) {
    if (rest.size() < 4) return 0;
    const size_t length = std::min<size_t>(PackFormat::GetU32(rest, 0), rest.size() - 4);
    volume1 = rest.substr(4, length);
    volume2 = rest.substr(4 + length);
  }

  const fs::path work = BaseDir() / "run";
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string name = (flags & kFlagExe001) ? "setup.exe.001" : (flags & kFlagExe) ? "setup.exe" : "setup.bin";
  const fs::path setup = work / name;
  WriteFileBytes(setup, volume1);
  std::vector<std::string> expected = {"dest", name};
  if (flags & kFlagTwoVolumes) {
    const std::string second = PackFormat::VolumeName(setup.string(), 2);
    WriteFileBytes(second, volume2);
    expected.push_back(fs::path(second).filename().string());
  }
  std::sort(expected.begin(), expected.end());

  ExerciseFileInfo(setup.string());
  const fs::path dest = work / "dest";
  const std::string marker = RandomMarker();
  if (flags & kFlagPlanted) Plant(dest, marker);

  TUnpackRequest request;
  request.setupFile = setup.string();
  request.destination = dest.string();
  request.agentName = (flags & (kFlagExe | kFlagExe001)) ? TGFileInfo(setup.string()).AgentFileName() : "";
  request.forcePrompt = (flags & kFlagForcePrompt) != 0;
  int64_t steps = 0;
  request.progress = [&steps](int kind, int64_t) { steps += kind; };
  TSilentUnpackHost host;
  const size_t threads = ThreadCount();
  try {
    UnpackPackage(request, host);
  } catch (const EZLibError&) {
    // A damaged compressed entry: the expected way out.
  }
  // The worker that inflates ahead ends with the run, whatever ended it.
  if (!ThreadCountReturnsTo(threads)) Fail("a thread outlived the run", work);

  // The destination is created before any entry is written; it may be missing
  // only when the volume never got that far.
  if (!fs::exists(dest)) fs::create_directories(dest);
  CheckNoDeviceNames(dest);
  if (flags & kFlagPlanted) CheckPlanted(dest, marker);
  const std::vector<std::string> inWork = Names(work);
  if (inWork != expected) Escaped(work, inWork);
  const std::vector<std::string> inBase = Names(BaseDir());
  if (inBase != std::vector<std::string>{"run"}) Escaped(BaseDir(), inBase);
  fs::remove_all(work);
  return 0;
}
