// Fixture of the end-to-end setup runs (wine64): the built stub with a
// package around it and the test engine as its engine entry, a private temp
// folder, and readers of the engine's key=value log.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../stub/StubRun_win32.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "util/FileIO.h"

namespace setuprun {

constexpr int kRunMs = 60000;

using stubtest::NamesIn;
using stubtest::TempPath;

inline const std::string& EngineImage() {
  static const std::string image =
      testsupport::ReadBytes(testsupport::BuildPath("tools/test-engine/test-engine.exe"));
  return image;
}

// Value of the first "key=" line of a key=value log.
inline std::string LogValue(const std::string& log, const std::string& key) {
  size_t p = log.find(key + "=");
  if (p == std::string::npos) return "";
  p += key.size() + 1;
  return log.substr(p, log.find_first_of("\r\n", p) - p);
}

// The "File=" lines of the log: name, or name|size|dosdate when whole.
inline std::vector<std::string> LogFiles(const std::string& log, bool whole = false) {
  std::vector<std::string> files;
  for (size_t p = log.find("File="); p != std::string::npos; p = log.find("File=", p + 1)) {
    const size_t end = log.find(whole ? '\r' : '|', p);
    files.push_back(log.substr(p + 5, end - p - 5));
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The engine token of a logged command line ("_" + digits), or empty.
inline std::string TokenOf(const std::string& commandLine) {
  const size_t id = commandLine.find("/TH_ID=");
  if (id == std::string::npos) return "";
  const size_t start = id + 7;
  return commandLine.substr(start, commandLine.find(' ', start) - start);
}

inline const char* const kBoxClass = "VxMsgBox";

// The first top-level window of process pid that `match` takes, or null.
inline HWND FindTopOf(DWORD pid, const std::function<bool(HWND)>& match) {
  struct TSearch {
    DWORD pid;
    const std::function<bool(HWND)>& match;
    HWND found = nullptr;
  } search{pid, match};
  ::EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* s = reinterpret_cast<TSearch*>(param);
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner != s->pid || !s->match(window)) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

inline std::string ClassOf(HWND window) {
  char name[64] = {0};
  ::GetClassNameA(window, name, sizeof(name));
  return name;
}

// The message box of process pid (a visible one unless told otherwise).
inline HWND FindBoxOf(DWORD pid, bool visibleOnly = true) {
  return FindTopOf(pid, [&](HWND window) {
    return ClassOf(window) == kBoxClass && (!visibleOnly || ::IsWindowVisible(window));
  });
}

struct TEnv {
  const char* name;
  std::string value;
};

inline const char* const kEngineVariables[] = {
    "VARNEL_ENGINE_LOG",           "VARNEL_ENGINE_EXIT",  "VARNEL_ENGINE_REMOVEATOM", "VARNEL_ENGINE_DIALOG",
    "VARNEL_ENGINE_DIALOGPROCESS", "VARNEL_ENGINE_SLEEP", "VARNEL_ENGINE_KEEP"};

class SetupRunTest : public ::testing::Test {
 protected:
  testsupport::TScratchDir dir;
  testsupport::TScratchDir temp;
  stubtest::TTempEnv env{temp.Path()};
  std::string exe = dir.File("Setup.exe");
  std::string log = dir.File("engine.log");
  stubtest::TProc stub;

  void SetUp() override { SetEngineEnv({{"VARNEL_ENGINE_LOG", log}}); }

  void TearDown() override {
    stub.Kill();
    stubtest::KillAllNamed("Engine.exe");
    for (const char* name : kEngineVariables) ::SetEnvironmentVariableA(name, nullptr);
  }

  static void SetEngineEnv(const std::vector<TEnv>& vars) {
    for (const TEnv& v : vars) ::SetEnvironmentVariableA(v.name, v.value.c_str());
  }

  static std::string InfoBlock(bool background) {
    return PackWrite::InfoBlock("http://localhost/", "Foo.info", "Foo.AutoUpdate.exe", "", background);
  }

  // Package: two files and, unless told otherwise, the test engine with "/x".
  TPackageWriter Writer(bool withEngine = true, const std::string& engineBytes = EngineImage()) {
    TPackageWriter w;
    w.stubImage = stubtest::StubImage();
    w.languageBlock = PackWrite::LanguageBlock({{"English", {"Charset=0", "FontSize=8", "FontName=Tahoma"}}});
    w.infoBlock = InfoBlock(false);
    w.AddFile("readme.txt", 0, "read me");
    w.AddFile("notes.txt", 0, "some notes of the product");
    if (withEngine) w.AddFile("Engine.exe*/x", 0, engineBytes);
    return w;
  }

  void Write(const TPackageWriter& w) { testsupport::WriteBytes(exe, w.Build()); }

  std::string WorkDir() const { return Stub::WorkingDirectoryName(TempPath(), FileDosDate(exe)); }

  DWORD Run(const std::string& args) {
    EXPECT_TRUE(stub.Start(exe, args));
    return stub.Wait(kRunMs);
  }

  // Runs the setup hidden, answers its one error box ("Bad CRC!") and checks
  // that it ended as a damaged package: no engine, no working folder.
  void ExpectDamagedRun() {
    const std::string workDir = WorkDir();
    ASSERT_TRUE(stub.Start(exe, "/hide"));
    stubtest::TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
                          "--class VxMsgBox --timeout 45000 --press OK --wait-gone");
    EXPECT_EQ(robot.Wait(kRunMs), 0u) << "no error box to answer";
    EXPECT_EQ(stub.Wait(kRunMs), ExitCodes::kDamagedPackage);
    EXPECT_FALSE(stubtest::Exists(log)) << "the engine was started";
    EXPECT_FALSE(stubtest::Exists(workDir));
  }

  // Names in the test's temp folder (the stub's temp folder unless changed).
  std::vector<std::string> TempContents() const { return NamesIn(temp.Path()); }
};

}  // namespace setuprun
