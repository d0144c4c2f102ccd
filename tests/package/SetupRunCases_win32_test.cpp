// More setup runs end to end (wine64): a temp folder that cannot be created
// (the alternative drive), the stub's and the engine's windows in background
// and foreground runs, the agent copy beside the engine, and a setup
// executable with an Authenticode signature after its package.
#include "SetupRun_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "package/PackX.h"
#include "stub/ExitCodes.h"

using namespace stubtest;
using namespace setuprun;

namespace {

// The Unix path of a Windows path when running under wine, else empty.
std::string UnixPathOf(const std::string& path) {
  using TGetUnixName = char*(CDECL*)(LPCWSTR);
  const FARPROC proc = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  if (!proc) return "";
  const auto getUnixName = reinterpret_cast<TGetUnixName>(reinterpret_cast<void*>(proc));
  const std::wstring wide(path.begin(), path.end());  // the test's paths are ASCII
  char* name = getUnixName(wide.c_str());
  if (!name) return "";
  std::string result = name;
  ::HeapFree(::GetProcessHeap(), 0, name);
  return result;
}

// The same folder seen through drive Z: (the Unix root under wine), or empty.
std::string ZDriveView(const std::string& path) {
  std::string view = UnixPathOf(path);
  if (view.empty() || view[0] != '/') return "";
  for (char& c : view)
    if (c == '/') c = '\\';
  view = "Z:" + view;
  return ::GetFileAttributesA(view.c_str()) == INVALID_FILE_ATTRIBUTES ? "" : view;
}

bool IsFixedDrive(char letter) {
  const std::string root = std::string(1, letter) + ":\\";
  return ::GetDriveTypeA(root.c_str()) == DRIVE_FIXED;
}

// Folders that an alternative temp folder of drive C could have left.
std::vector<std::string> AlternativeDirsOnC() {
  std::vector<std::string> names;
  for (const char* pattern : {"C:\\TEMP_*", "C:\\TEMP\\TEMP*"}) {
    WIN32_FIND_DATAA fd;
    TFindHandle find(::FindFirstFileA(pattern, &fd));
    if (!find.Valid()) continue;
    do names.push_back(fd.cFileName);
    while (::FindNextFileA(find.Get(), &fd));
  }
  return names;
}

bool IsAlternativeDir(const std::string& dir, const std::string& root) {
  if (dir.compare(0, root.size(), root) != 0) return false;
  const std::string number = dir.substr(root.size());
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
  const long value = std::stol(number);
  return value >= 10000 && value <= 100000;
}

// What the stub process showed while it ran.
struct TWindowWatch {
  int samplesWhileEngine = 0;
  bool shownBeforeEngine = false;  // the stub window, before the engine started
  bool shownWhileEngine = false;   // the stub window, after the engine started
  std::vector<std::string> others;  // any other visible window of the stub (a message box)
};

// Samples the stub's visible top-level windows until it ends (at most kRunMs).
// The engine counts as running once its log exists and the stub has had a
// moment to hide its window.
TWindowWatch WatchStub(const TProc& stub, const std::string& mainClass, const std::string& log) {
  TWindowWatch watch;
  DWORD engineSeen = 0;
  const DWORD start = ::GetTickCount();
  while (stub.Running() && ::GetTickCount() - start < static_cast<DWORD>(kRunMs)) {
    const DWORD now = ::GetTickCount();
    if (engineSeen == 0 && Exists(log)) engineSeen = now;
    const bool engineRuns = engineSeen != 0 && now - engineSeen > 300;
    if (engineRuns) ++watch.samplesWhileEngine;
    for (const std::string& windowClass : VisibleTopWindowsOf(stub.Id())) {
      if (SameText(windowClass, mainClass))
        (engineRuns ? watch.shownWhileEngine : watch.shownBeforeEngine) = true;
      else if (watch.others.empty() || watch.others.back() != windowClass)
        watch.others.push_back(windowClass);
    }
    WaitUntil([] { return false; }, 25);
  }
  return watch;
}

class SetupRunCasesTest : public SetupRunTest {};

TEST_F(SetupRunCasesTest, TempFolderThatCannotBeCreatedMovesTheRunToAnotherDrive) {
  if (IsFixedDrive('D') || IsFixedDrive('E')) GTEST_SKIP() << "D: or E: is a fixed drive: drive C may not win";
  testsupport::WriteBytes(temp.File("blocker"), "a file where the temp folder should be");
  const std::string tempOnZ = ZDriveView(temp.Path());
  if (tempOnZ.empty()) GTEST_SKIP() << "no Z: view of the temp folder (not under wine)";
  enum class TCTemp { Absent, Present, Any };
  struct TCase {
    const char* name;
    std::string tempFolder;  // below a file: cannot be created
    TCTemp cTemp;
    const char* args;
    uint8_t options;
    const char* root;  // of the alternative folder; nullptr: none usable
    DWORD code;
  };
  const TCase cases[] = {
      {"temp on Z:, no C:\\TEMP", tempOnZ + "\\blocker\\sub", TCTemp::Absent, "/hide", 0, "C:\\TEMP_", 7},
      {"temp on Z:, C:\\TEMP exists", tempOnZ + "\\blocker\\sub", TCTemp::Present, "/hide", 0, "C:\\TEMP\\TEMP_", 7},
      // Foreground with the notice flag: still no question, the run ends at once.
      {"temp on C:, the only fixed drive", temp.File("blocker") + "\\sub", TCTemp::Any, "",
       PackFormat::kOptTempDriveNotice, nullptr, ExitCodes::kExtractionFailed},
  };
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "7"}});
  TDebugViewer viewer(dir.File("debug.txt"));
  struct TMadeCTemp {
    bool made = false;
    ~TMadeCTemp() {
      if (made) ::RemoveDirectoryA("C:\\TEMP");
    }
  } cTempGuard;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    const bool cTempExists = Exists("C:\\TEMP");
    if (c.cTemp == TCTemp::Absent && cTempExists) {
      std::printf("case \"%s\" left out: C:\\TEMP exists\n", c.name);
      continue;
    }
    if (c.cTemp == TCTemp::Present && !cTempExists) {
      ASSERT_TRUE(::CreateDirectoryA("C:\\TEMP", nullptr));
      cTempGuard.made = true;
    }
    ::DeleteFileA(log.c_str());
    TPackageWriter w = Writer();
    w.options = c.options;
    Write(w);
    const std::vector<std::string> before = AlternativeDirsOnC();
    const size_t seen = viewer.Text().size();
    TTempEnv unusableTemp(c.tempFolder);

    ASSERT_TRUE(stub.Start(exe, c.args));
    const TWindowWatch watch = WatchStub(stub, exe, log);
    EXPECT_EQ(stub.Wait(5000), c.code);
    EXPECT_EQ(watch.others, std::vector<std::string>{}) << "a message box was shown";

    const std::string text = testsupport::ReadBytes(log);
    if (c.root) {
      const std::string engineDir = LogValue(text, "EngineDir");
      EXPECT_TRUE(IsAlternativeDir(engineDir, c.root)) << engineDir;
      EXPECT_EQ(LogValue(text, "CommandLine").rfind(engineDir + "\\Engine.exe /hide /x /TH_ID=_", 0), 0u) << text;
      EXPECT_EQ(LogFiles(text), (std::vector<std::string>{"Engine.exe", "notes.txt", "readme.txt"}));
      EXPECT_FALSE(Exists(engineDir)) << "alternative folder left behind";
    } else {
      EXPECT_TRUE(text.empty()) << "the engine was started: " << text;
      EXPECT_FALSE(watch.shownBeforeEngine) << "the stub window was shown";
      EXPECT_TRUE(viewer.WaitFor("Working directory could not be created", 5000, seen));
    }
    EXPECT_EQ(AlternativeDirsOnC(), before);
    EXPECT_EQ(TempContents(), std::vector<std::string>{"blocker"});
  }
  if (cTempGuard.made) {
    EXPECT_TRUE(::RemoveDirectoryA("C:\\TEMP")) << "C:\\TEMP is not empty";
    cTempGuard.made = false;
  }
}

TEST_F(SetupRunCasesTest, BackgroundRunsShowNoWindowAndStartTheEngineHidden) {
  struct TCase {
    const char* name;
    const char* args;
    bool backgroundFlag;
    uint8_t options;
    int engineShow;
    bool stubShown;
  };
  const TCase cases[] = {
      {"/hide", "/hide", false, PackFormat::kOptTempDriveNotice, SW_HIDE, false},
      {"background flag", "", true, PackFormat::kOptTempDriveNotice, SW_HIDE, false},
      {"foreground", "", false, 0, SW_SHOWNORMAL, true},
  };
  SetEngineEnv({{"VARNEL_ENGINE_SLEEP", "1500"}});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    ::DeleteFileA(log.c_str());
    TPackageWriter w = Writer();
    w.options = c.options;
    w.infoBlock = InfoBlock(c.backgroundFlag);
    Write(w);

    ASSERT_TRUE(stub.Start(exe, c.args));
    const TWindowWatch watch = WatchStub(stub, exe, log);
    EXPECT_EQ(stub.Wait(5000), 0u);
    EXPECT_EQ(LogValue(testsupport::ReadBytes(log), "ShowWindow"), std::to_string(c.engineShow));
    EXPECT_EQ(watch.others, std::vector<std::string>{}) << "a message box was shown";
    EXPECT_EQ(watch.shownBeforeEngine, c.stubShown);
    EXPECT_GT(watch.samplesWhileEngine, 0);
    EXPECT_FALSE(watch.shownWhileEngine) << "the stub window stayed visible while the engine ran";
  }
}

TEST_F(SetupRunCasesTest, AgentCopyBesideTheEngineIsThePackageWithoutEntries) {
  const std::string kept = dir.File("kept");
  SetEngineEnv({{"VARNEL_ENGINE_KEEP", kept}});
  TPackageWriter w = Writer();
  w.carriesAgent = true;
  Write(w);
  ASSERT_EQ(Run("/hide"), 0u);

  const std::string setup = testsupport::ReadBytes(exe);
  const std::string copyPath = kept + "\\Foo.AutoUpdate.exe";
  const std::string copy = testsupport::ReadBytes(copyPath);
  ASSERT_FALSE(copy.empty()) << "no agent copy beside the engine";

  // The stub image and the two information blocks, then the trailer as stored.
  TPackTrailer trailer;
  ReadTrailer(exe, trailer);
  size_t firstEntry = trailer.DataStart();
  for (int block = 0; block < 2; ++block) {
    const int32_t length = static_cast<int32_t>(PackFormat::GetU32(setup, firstEntry));
    firstEntry += 4 + static_cast<size_t>(length < 0 ? -static_cast<int64_t>(length) : length);
  }
  std::string expected = setup.substr(0, firstEntry);
  for (size_t i = PackFormat::kEndPointerLow; i < PackFormat::kEndPointerLow + 4; ++i) expected[i] = '\0';
  trailer.bytes[PackFormat::kOffAgentPackage] = 1;
  expected += trailer.AsText();
  EXPECT_EQ(copy.size(), expected.size());
  EXPECT_TRUE(copy == expected) << "the agent copy differs from the stub with its information blocks";

  const TGFileInfo setupInfo(exe), agent(copyPath);
  EXPECT_TRUE(agent.IsAgentPackage());
  EXPECT_EQ(agent.Trailer().Length(), static_cast<uint32_t>(PackFormat::kTrailerSize));
  EXPECT_EQ(agent.LanguageBlock(), setupInfo.LanguageBlock());
  EXPECT_EQ(agent.PackageInfoBlock(), setupInfo.PackageInfoBlock());
  EXPECT_EQ(FileDosDate(copyPath), FileDosDate(exe));
  const std::string line =
      "Foo.AutoUpdate.exe|" + std::to_string(copy.size()) + "|" + std::to_string(FileDosDate(exe));
  const std::vector<std::string> files = LogFiles(testsupport::ReadBytes(log), true);
  EXPECT_NE(std::find(files.begin(), files.end(), line), files.end()) << "not in the working directory: " << line;
}

// Signs `in` into `out` with a throwaway certificate, running the Unix tools
// through wine. Empty on success, else why not.
std::string SignWithUnixTools(const std::string& in, const std::string& out, const std::string& work) {
  const std::string unixIn = UnixPathOf(in), unixOut = UnixPathOf(out), unixWork = UnixPathOf(work);
  if (unixIn.empty() || unixOut.empty() || unixWork.empty()) return "skip: not under wine";
  const std::string status = work + "\\status";
  const std::string script =
      "PATH=/usr/local/bin:/usr/bin:/bin; cd " + unixWork +
      " || exit; if command -v osslsigncode >/dev/null 2>&1 && command -v openssl >/dev/null 2>&1; then"
      " if openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 -subj /CN=VarnelTest"
      " >/dev/null 2>&1 && osslsigncode sign -certs cert.pem -key key.pem -in " + unixIn + " -out " + unixOut +
      " >/dev/null 2>&1; then echo ok; else echo failed; fi; else echo missing; fi >status.tmp; mv status.tmp status";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info{};
  std::string line = "/bin/sh -c \"" + script + "\"";
  if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return "skip: wine cannot start /bin/sh";
  if (info.hProcess) ::CloseHandle(info.hProcess);
  if (info.hThread) ::CloseHandle(info.hThread);
  // A Unix child gives wine no exit code to wait for: the status file is moved in at its end.
  if (!WaitForFileText(status, "\n", kRunMs)) return "no status from the signing script";
  const std::string result = testsupport::ReadBytes(status);
  if (result == "missing\n") return "skip: osslsigncode or openssl not installed";
  return result == "ok\n" ? "" : "signing failed";
}

TEST_F(SetupRunCasesTest, SignedSetupRunsLikeTheUnsignedOne) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "9"}});
  Write(Writer());
  const std::string unsignedExe = exe, signedExe = dir.File("Signed.exe");
  const std::string why = SignWithUnixTools(unsignedExe, signedExe, dir.Path());
  if (why.rfind("skip: ", 0) == 0) GTEST_SKIP() << why.substr(6);
  ASSERT_EQ(why, "");
  ASSERT_GT(testsupport::ReadBytes(signedExe).size(), testsupport::ReadBytes(unsignedExe).size() + 500)
      << "no signature after the package";

  struct TRun {
    DWORD code;
    std::string workDir, log;
  };
  std::vector<TRun> runs;
  TDebugViewer viewer(dir.File("debug.txt"));  // tells why, should a run fail
  for (const std::string& setup : {unsignedExe, signedExe}) {
    SCOPED_TRACE(setup);
    exe = setup;
    ::DeleteFileA(log.c_str());
    const std::string workDir = WorkDir();
    runs.push_back({Run("/hide"), workDir, testsupport::ReadBytes(log)});
    EXPECT_FALSE(Exists(workDir));
  }
  for (const TRun& run : runs) {
    EXPECT_EQ(run.code, 9u) << viewer.Text();
    const std::string commandLine = LogValue(run.log, "CommandLine");
    EXPECT_EQ(commandLine.substr(0, commandLine.find(" /OriginExe=")),
              run.workDir + "\\Engine.exe /hide /x /TH_ID=" + TokenOf(commandLine));
  }
  std::vector<std::string> sizes[2];
  for (int i = 0; i < 2; ++i)
    for (const std::string& file : LogFiles(runs[i].log, true)) sizes[i].push_back(file.substr(0, file.rfind('|')));
  EXPECT_EQ(sizes[1], sizes[0]) << "the signed setup extracted other files";
  EXPECT_EQ(sizes[0].size(), 3u);
}

}  // namespace
