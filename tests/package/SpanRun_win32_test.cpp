// Spanned packages end to end (wine64): the built stub extracting a package
// over three volumes, the disk prompt for a missing volume (answered OK and
// Cancel, and forced by the registry), a damaged later volume, and the
// copy-to-temp package that runs from its Y_ copy in the working directory.
// The test engine is the engine entry; ui-robot reads and answers the boxes.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "SetupRun_win32.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "util/FileIO.h"

// Named one by one: helpers of this file keep their own names.
using stubtest::AnyRunningNamed;
using stubtest::Exists;
using stubtest::KillAllNamed;
using stubtest::kStartMs;
using stubtest::StubImage;
using stubtest::TProc;
using stubtest::TTempEnv;
using stubtest::WaitUntil;
using stubtest::WindowText;
using testsupport::TScratchDir;
using setuprun::EngineImage;
using setuprun::FindBoxOf;
using setuprun::kBoxClass;
using setuprun::kRunMs;
using setuprun::LogFiles;
using setuprun::LogValue;
using setuprun::NamesIn;
using setuprun::TempPath;

namespace {

constexpr int kBoxMs = 45000;
constexpr DWORD kEngineExit = 7;
const char* const kSpanDiskKey = "Software\\Meridane\\Varnel\\SpanDisk";
const int32_t kDate = PackWrite::DosDateTime(2021, 6, 15, 10, 20, 30);

std::string Text(char c, size_t n) {
  std::string text;
  for (size_t i = 0; text.size() < n; ++i) text += c + std::to_string(i) + " ";
  return text.substr(0, n);
}

// One file entry; a name with "*" is the engine entry.
struct TEntry {
  std::string name;
  std::string data;
};
using TVolume = std::vector<TEntry>;

// The engine and two files in the first volume; a file in each further
// volume and one file whose two pieces lie in volumes 2 and 3.
std::vector<TVolume> ThreeVolumes() {
  return {{{"Engine.exe*/x", EngineImage()}, {"readme.txt", "read me"}, {"docs\\guide.txt", Text('g', 700)}},
          {{"data2.txt", Text('b', 3000)}, {"big.dat", Text('p', 1500)}},
          {{"big.dat", Text('q', 900)}, {"data3.txt", Text('c', 400)}}};
}

// "<name>|<size>|<date>" as the test engine logs the files beside it.
std::vector<std::string> ExpectedFileLines(const std::vector<TVolume>& volumes) {
  std::map<std::string, size_t> sizes;
  for (const TVolume& volume : volumes)
    for (const TEntry& e : volume) sizes[e.name.substr(0, e.name.find('*'))] += e.data.size();
  std::vector<std::string> lines;
  for (const auto& [name, size] : sizes)
    lines.push_back(name + "|" + std::to_string(size) + "|" + std::to_string(kDate));
  std::sort(lines.begin(), lines.end());
  return lines;
}

// The running process of this name, opened to read its exit code; invalid if none.
THandle OpenRunning(const std::string& exeName) {
  for (const testsupport::TProcessRow& row : testsupport::RunningProcesses())
    if (SameText(row.exeName, exeName))
      return THandle(::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, row.id));
  return THandle();
}

// The box's text control: its one child that is not a button.
HWND TextControlOf(HWND box) {
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {0};
    ::GetClassNameA(child, name, sizeof(name));
    if (!SameText(name, "Button")) return child;
  }
  return nullptr;
}

struct TBox {
  HWND window = nullptr;
  std::string caption;
  std::string text;
};

class SpanRunTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TScratchDir aside;  // where a volume waits while it is "not inserted"
  TTempEnv env{temp.Path()};
  std::string exe = dir.File("setup.exe");
  std::string log = dir.File("engine.log");
  TProc stub;
  bool forcePromptSet = false;

  void SetUp() override {
    ::SetEnvironmentVariableA("VARNEL_ENGINE_LOG", log.c_str());
    ::SetEnvironmentVariableA("VARNEL_ENGINE_EXIT", std::to_string(kEngineExit).c_str());
  }

  void TearDown() override {
    stub.Kill();
    for (const char* name : {"Engine.exe", "Y_setup.exe", "ui-robot.exe"}) KillAllNamed(name);
    ::SetEnvironmentVariableA("VARNEL_ENGINE_LOG", nullptr);
    ::SetEnvironmentVariableA("VARNEL_ENGINE_EXIT", nullptr);
    if (forcePromptSet) {
      TRegKey key;
      if (::RegOpenKeyExA(HKEY_CURRENT_USER, kSpanDiskKey, 0, KEY_SET_VALUE, key.Out()) == ERROR_SUCCESS)
        ::RegDeleteValueA(key.Get(), "ForcePrompt");
    }
  }

  void SetForcePrompt(const std::string& value) {
    TRegKey key;
    ASSERT_EQ(
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kSpanDiskKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Out(), nullptr),
        ERROR_SUCCESS);
    forcePromptSet = true;
    ASSERT_EQ(::RegSetValueExA(key.Get(), "ForcePrompt", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                               static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
  }

  static TPackageWriter FirstVolumeWriter(uint8_t options) {
    TPackageWriter w;
    w.stubImage = StubImage();
    w.options = options;
    w.languageBlock = PackWrite::LanguageBlock({{"English", {"Charset=0", "FontSize=8", "FontName=Tahoma"}}});
    w.infoBlock = PackWrite::InfoBlock("http://localhost/", "Foo.info", "Foo.AutoUpdate.exe", "", false);
    return w;
  }

  // Writes the volumes: `first` (stub image, information blocks, entries)
  // and first's ".002", ".003", ... (entries only). Returns their paths.
  static std::vector<std::string> WriteVolumes(const std::string& first, const std::vector<TVolume>& volumes,
                                               uint8_t options = 0, bool laterChecksums = true) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < volumes.size(); ++i) {
      const bool more = i + 1 < volumes.size();
      const uint8_t flags = static_cast<uint8_t>(options | (more ? PackFormat::kOptMoreVolumes : 0));
      std::string image;
      if (i == 0) {
        TPackageWriter w = FirstVolumeWriter(flags);
        for (const TEntry& e : volumes[i]) w.AddFile(e.name, kDate, e.data);
        image = w.Build();
      } else {
        std::vector<std::string> blocks;
        for (const TEntry& e : volumes[i])
          blocks.push_back(PackWrite::EntryBlock(PackWrite::EntryText(e.name, kDate, e.data), 6));
        image = PackWrite::VolumeImage(blocks, static_cast<uint32_t>(blocks.size()),
                                       more ? PackFormat::kOptMoreVolumes : 0, laterChecksums);
      }
      paths.push_back(i == 0 ? first : PackFormat::VolumeName(first, static_cast<int>(i + 1)));
      testsupport::WriteBytes(paths.back(), image);
    }
    return paths;
  }

  std::string WorkDir() const { return Stub::WorkingDirectoryName(TempPath(), FileDosDate(exe)); }

  // Waits for a visible box of the stub that shows its text; none when the
  // stub ends first.
  TBox WaitForBox() {
    TBox box;
    WaitUntil(
        [&] {
          box.window = FindBoxOf(stub.Id());
          if (!box.window) return !stub.Running();
          box.caption = WindowText(box.window);
          HWND text = TextControlOf(box.window);
          box.text = text ? WindowText(text) : "";
          return !box.text.empty();
        },
        kBoxMs);
    if (box.text.empty()) box.window = nullptr;
    return box;
  }

  // Runs ui-robot on the stub's box; its exit code.
  DWORD Robot(const std::string& args) const {
    TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"), "--class " + std::string(kBoxClass) + " --pid " +
                                                                           std::to_string(stub.Id()) + " --timeout " +
                                                                           std::to_string(kBoxMs) + " " + args);
    return robot.Wait(kRunMs);
  }

  // Waits for the stub's end; boxSeen tells whether it showed a box meanwhile.
  DWORD WaitWatchingForBoxes(bool& boxSeen) {
    boxSeen = false;
    WaitUntil(
        [&] {
          boxSeen = boxSeen || FindBoxOf(stub.Id(), false) != nullptr;
          return !stub.Running();
        },
        kRunMs);
    return stub.Wait(1000);
  }

  // Waits for the prompt for disk n and checks what it shows.
  void ExpectDiskPrompt(int n) {
    const TBox box = WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no prompt for disk " << n;
    EXPECT_EQ(box.caption, "Attention");
    // The caption heads the text of an owner-less box.
    EXPECT_EQ(box.text, "ATTENTION\r\n\r\nPlease insert DISK #" + std::to_string(n) + " and press OK to continue\r\n");
  }

  // Nothing of the run is left in the temp folder.
  void ExpectTempEmpty() {
    std::vector<std::string> left;
    WaitUntil([&] { return (left = NamesIn(temp.Path())).empty(); }, 10000);
    EXPECT_TRUE(left.empty()) << "left in the temp folder: " << left.front();
  }

  void ExpectAllFilesExtracted(const std::vector<TVolume>& volumes) {
    const std::string text = testsupport::ReadBytes(log);
    ASSERT_FALSE(text.empty()) << "the engine did not run";
    EXPECT_EQ(LogFiles(text, true), ExpectedFileLines(volumes));
    EXPECT_EQ(LogValue(text, "EngineDir"), WorkDir());
  }
};

TEST_F(SpanRunTest, AllVolumesPresentAreExtractedWithoutAPrompt) {
  const std::vector<TVolume> volumes = ThreeVolumes();
  WriteVolumes(exe, volumes);
  ASSERT_TRUE(Exists(dir.File("setup.exe.003")));

  ASSERT_TRUE(stub.Start(exe, "/hide"));
  bool boxSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen), kEngineExit);
  EXPECT_FALSE(boxSeen);
  ExpectAllFilesExtracted(volumes);
  EXPECT_FALSE(Exists(WorkDir())) << "working directory left behind";
  ExpectTempEmpty();
}

TEST_F(SpanRunTest, AMissingVolumeIsAskedForWithItsNumberInBoldUntilItIsThere) {
  const std::vector<TVolume> volumes = ThreeVolumes();
  const std::string third = WriteVolumes(exe, volumes).back();
  const std::string moved = aside.File("setup.exe.003");
  ASSERT_TRUE(::MoveFileA(third.c_str(), moved.c_str()));

  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ASSERT_NO_FATAL_FAILURE(ExpectDiskPrompt(3));
  struct {
    const char* text;
    DWORD code;  // ui-robot --bold: 0 bold, 4 not in the box, 5 not (all) bold
  } looks[] = {{"DISK #3", 0}, {"ATTENTION", 0}, {"DISK", 0}, {"Please insert", 5}, {"#3 and", 5}, {"DISK #2", 4}};
  for (const auto& look : looks) EXPECT_EQ(Robot(std::string("--bold \"") + look.text + "\""), look.code) << look.text;
  EXPECT_FALSE(Exists(log)) << "the engine started before the last volume";

  // OK without the disk: asked again.
  EXPECT_EQ(Robot("--press OK --wait-gone"), 0u);
  ASSERT_NO_FATAL_FAILURE(ExpectDiskPrompt(3));
  ASSERT_TRUE(::MoveFileA(moved.c_str(), third.c_str()));
  EXPECT_EQ(Robot("--press OK --wait-gone"), 0u);

  EXPECT_EQ(stub.Wait(kRunMs), kEngineExit);
  ExpectAllFilesExtracted(volumes);
  ExpectTempEmpty();
}

TEST_F(SpanRunTest, CancelAtTheDiskPromptEndsTheRunWithoutTheEngine) {
  // The engine entry lies in the first volume, which was extracted whole.
  const std::string third = WriteVolumes(exe, ThreeVolumes()).back();
  ASSERT_TRUE(::MoveFileA(third.c_str(), aside.File("setup.exe.003").c_str()));

  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ASSERT_NO_FATAL_FAILURE(ExpectDiskPrompt(3));
  EXPECT_EQ(Robot("--press Cancel --wait-gone"), 0u);
  EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kCancelled);
  EXPECT_FALSE(Exists(log)) << "the engine was started";
  ExpectTempEmpty();
}

TEST_F(SpanRunTest, ForcePromptAsksForEveryFurtherDiskEvenWhenItIsThere) {
  SetForcePrompt("1");
  const std::vector<TVolume> volumes = ThreeVolumes();
  WriteVolumes(exe, volumes);

  ASSERT_TRUE(stub.Start(exe, "/hide"));
  for (int disk : {2, 3}) {
    SCOPED_TRACE(disk);
    ASSERT_NO_FATAL_FAILURE(ExpectDiskPrompt(disk));
    EXPECT_EQ(Robot("--press OK --wait-gone"), 0u);
  }
  EXPECT_EQ(stub.Wait(kRunMs), kEngineExit);
  ExpectAllFilesExtracted(volumes);
  ExpectTempEmpty();
}

TEST_F(SpanRunTest, AnyOtherForcePromptValueAsksNothing) {
  SetForcePrompt("yes");
  const std::vector<TVolume> volumes = ThreeVolumes();
  WriteVolumes(exe, volumes);

  ASSERT_TRUE(stub.Start(exe, "/hide"));
  bool boxSeen = false;
  EXPECT_EQ(WaitWatchingForBoxes(boxSeen), kEngineExit);
  EXPECT_FALSE(boxSeen);
  ExpectAllFilesExtracted(volumes);
}

TEST_F(SpanRunTest, ADamagedLaterVolumeShowsBadCrcAndStartsNoEngine) {
  struct {
    const char* name;
    bool checksum;  // the volume's checksum finds the damage, else the entry's zlib check
  } cases[] = {{"volume checksum", true}, {"zlib check of the entry", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    exe = dir.File(std::string("setup") + (c.checksum ? "1" : "2") + ".exe");  // fresh names each round
    const std::string second = WriteVolumes(exe, ThreeVolumes(), 0, c.checksum)[1];
    std::string bytes = testsupport::ReadBytes(second);
    ASSERT_GT(static_cast<int32_t>(PackFormat::GetU32(bytes, 0)), 200) << "the first block is not compressed";
    ASSERT_LE(bytes.size(), 51200u) << "too large for the volume checksum";
    for (size_t i = 100; i < 104; ++i) bytes[i] = static_cast<char>(bytes[i] ^ 0x5A);  // inside the zlib stream
    testsupport::WriteBytes(second, bytes);

    ASSERT_TRUE(stub.Start(exe, "/hide"));
    const TBox box = WaitForBox();
    ASSERT_NE(box.window, nullptr) << "no error box";
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.text, "ERROR\r\n\r\nBad CRC!\r\nThis indicates that your setup file might be corrupted...\r\n");
    EXPECT_EQ(Robot("--press OK --wait-gone"), 0u);
    EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDamagedPackage);
    EXPECT_FALSE(Exists(log)) << "the engine was started";
    ExpectTempEmpty();
  }
}

TEST_F(SpanRunTest, ACopyToTempPackageRunsFromItsYCopyWhichCleansUpAfterItself) {
  // setup.exe only relaunches; the package begins in setup.exe.001.
  testsupport::WriteBytes(exe, FirstVolumeWriter(PackFormat::kOptCopyToTemp).Build());
  std::vector<TVolume> volumes = ThreeVolumes();
  volumes.pop_back();
  const std::vector<std::string> paths = WriteVolumes(exe + ".001", volumes, PackFormat::kOptCopyToTemp);
  ASSERT_EQ(paths[1], exe + ".002");
  const std::vector<std::string> originalPaths{exe, paths[0], paths[1]};
  std::vector<std::string> originals;
  for (const std::string& path : originalPaths) originals.push_back(testsupport::ReadBytes(path));
  const std::string work = WorkDir();

  ASSERT_TRUE(stub.Start(exe, "/hide /a=1"));
  EXPECT_EQ(stub.Wait(kRunMs), 0u);
  THandle copy;
  ASSERT_TRUE(WaitUntil([&] { return (copy = OpenRunning("Y_setup.exe")).Valid(); }, kStartMs)) << "no Y_ copy";
  ASSERT_TRUE(WaitUntil([&] { return ::WaitForSingleObject(copy.Get(), 0) == WAIT_OBJECT_0; }, kRunMs));
  DWORD code = 0;
  ::GetExitCodeProcess(copy.Get(), &code);
  EXPECT_EQ(code, kEngineExit);

  const std::string text = testsupport::ReadBytes(log);
  ASSERT_FALSE(text.empty()) << "the engine did not run";
  std::vector<std::string> files = LogFiles(text, true);
  const auto y = std::find_if(files.begin(), files.end(),
                              [](const std::string& line) { return line.rfind("Y_setup.exe|", 0) == 0; });
  ASSERT_NE(y, files.end()) << "the engine did not run beside the Y_ copy";
  files.erase(y);
  EXPECT_EQ(files, ExpectedFileLines(volumes));
  EXPECT_EQ(LogValue(text, "EngineDir"), work);

  const std::string commandLine = LogValue(text, "CommandLine");
  const size_t token = commandLine.find(" /TH_ID=_");
  ASSERT_NE(token, std::string::npos) << commandLine;
  EXPECT_EQ(commandLine.substr(0, token), work + "\\Engine.exe /hide /a=1 /OriginExe=\"" + exe + "\" /x");
  EXPECT_EQ(commandLine.find("/Span"), std::string::npos) << commandLine;

  // The Y_ copy deletes itself and the working directory through a batch file.
  EXPECT_TRUE(WaitUntil([&] { return !Exists(work); }, 60000)) << "working directory left behind";
  ExpectTempEmpty();
  EXPECT_FALSE(AnyRunningNamed("Y_setup.exe"));
  for (size_t i = 0; i < originalPaths.size(); ++i)
    EXPECT_TRUE(testsupport::ReadBytes(originalPaths[i]) == originals[i]) << originalPaths[i] << " was changed";
}

}  // namespace
