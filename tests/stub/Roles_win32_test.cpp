// The four roles of the stub, run as real processes (wine64): single
// instance per window class, the plain agent with its X_ copy and the
// forwarded control switches, the temp-copy relaunch, and bad input.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "StubRun_win32.h"
#include "stub/ExitCodes.h"
#include "stub/Stub.h"
#include "util/FileIO.h"

using namespace stubtest;
using testsupport::TScratchDir;

namespace {

// A hidden top-level window of a class of our choice, in this process.
class TClassWindow {
 public:
  explicit TClassWindow(const std::string& className, WNDPROC proc = ::DefWindowProcA) : name_(className) {
    WNDCLASSA c{};
    c.lpfnWndProc = proc;
    c.hInstance = ::GetModuleHandleA(nullptr);
    c.lpszClassName = name_.c_str();
    ::RegisterClassA(&c);
    window_ = ::CreateWindowExA(0, name_.c_str(), "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                ::GetModuleHandleA(nullptr), nullptr);
  }
  ~TClassWindow() { Destroy(); }
  TClassWindow(const TClassWindow&) = delete;
  TClassWindow& operator=(const TClassWindow&) = delete;
  HWND Get() const { return window_; }
  void Destroy() {
    if (window_) ::DestroyWindow(window_);
    window_ = nullptr;
    ::UnregisterClassA(name_.c_str(), ::GetModuleHandleA(nullptr));
  }

 private:
  std::string name_;
  HWND window_ = nullptr;
};

// The listener of the agent's notifications: a window in this process that
// records what arrives with its registered message.
UINT g_listenerMessage = 0;
std::vector<std::pair<WPARAM, LPARAM>> g_heard;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_listenerMessage != 0 && message == g_listenerMessage) {
    g_heard.emplace_back(wParam, lParam);
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

class RolesTest : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TTempEnv env{temp.Path()};
  std::vector<std::string> strays;  // names of copies the stub starts itself

  void TearDown() override {
    for (const std::string& name : strays) KillAllNamed(name);
  }

  // An agent package "<base>.AutoUpdate.exe" with the trace log, in a folder with a blank.
  struct TAgent {
    std::string folder, plain, x, xClass, log;
  };
  TAgent MakeAgent(const std::string& base) {
    TAgent a;
    a.folder = dir.File("My Product");
    ::CreateDirectoryA(a.folder.c_str(), nullptr);
    const std::string name = base + ".AutoUpdate.exe";
    TPackageRecipe recipe;
    recipe.agent = true;
    recipe.agentFile = name;
    recipe.options = PackFormat::kOptAgentTraceLog;
    a.plain = WritePackage(a.folder + "\\" + name, recipe);
    a.x = a.folder + "\\X_" + name;
    a.xClass = ".AutoUpdate.X_" + base + ".AutoUpdate";
    a.log = a.folder + "\\X_" + base + ".AutoUpdate.log";
    strays.push_back("X_" + name);
    strays.push_back(name);
    return a;
  }

  static std::string XLine(const std::string& text) { return " X " + text; }
  static std::string PlainLine(const std::string& text) { return "   " + text; }
};

std::string Msg(const char* name, const std::string& w, const std::string& l) {
  return std::string("Control message ") + name + " (wParam=" + w + ", lParam=" + l + ")";
}

}  // namespace

TEST_F(RolesTest, ASecondStartOfTheSameSetupDoesNothingAndEndsWithZero) {
  const std::string exe = WritePackage(dir.File("setup.exe"), TPackageRecipe{});
  const std::string work = WorkingDirOf(exe);
  ASSERT_TRUE(::CreateDirectoryA(work.c_str(), nullptr));
  testsupport::WriteBytes(work + "\\marker.txt", "x");

  {
    TClassWindow first(exe);  // the window of a first instance
    ASSERT_NE(first.Get(), nullptr);
    TProc second(exe, "");
    EXPECT_EQ(second.Wait(kStartMs), 0u);
    EXPECT_TRUE(Exists(work + "\\marker.txt"));
  }

  // Alone, the setup runs; without an engine entry it ends at once and takes
  // its working directory along.
  TProc alone(exe, "");
  EXPECT_EQ(alone.Wait(kStartMs), ExitCodes::kEngineNotStarted);
  EXPECT_FALSE(Exists(work));
}

TEST_F(RolesTest, AnAgentPackageUnderAnotherNameRunsItsWindowOnceAndKeepsItsFile) {
  const std::string exe = WritePackage(dir.File("RoleB.exe"), TPackageRecipe{true});
  TProc first(exe, "");
  HWND window = WaitForWindow(".AutoUpdate.RoleB");
  ASSERT_NE(window, nullptr);

  TProc second(exe, "");
  EXPECT_EQ(second.Wait(kStartMs), 0u);
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(FindTop(".AutoUpdate.RoleB"), window);

  ::PostMessageA(window, WM_CLOSE, 0, 0);
  ::PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(first.Wait(kStartMs), 0u);
  WaitUntil([] { return false; }, 2000);
  EXPECT_TRUE(Exists(exe));
  EXPECT_FALSE(Exists(dir.File("X_RoleB.exe")));
}

TEST_F(RolesTest, APackageThatIsNoAgentPackageNeverTakesAnAgentRole) {
  for (const char* name : {"Foo.AutoUpdate.exe", "X_Foo.AutoUpdate.exe"}) {
    TPackageRecipe recipe;
    recipe.agentFile = "Foo.AutoUpdate.exe";
    recipe.options = PackFormat::kOptAgentTraceLog;
    const std::string exe = WritePackage(dir.File(name), recipe);
    strays.push_back(std::string("X_") + name);
    TProc stub(exe, "/TEST=1 /STOP=0");
    EXPECT_EQ(stub.Wait(kStartMs), ExitCodes::kEngineNotStarted) << name;  // a setup run
    WaitUntil([] { return false; }, 2000);
    EXPECT_TRUE(Exists(exe)) << name;  // an X_ agent would delete itself
    EXPECT_FALSE(Exists(dir.File(std::string("X_") + name))) << name;
    EXPECT_FALSE(Exists(dir.File("X_Foo.AutoUpdate.log"))) << name;  // no trace log for a setup
    ::DeleteFileA(exe.c_str());
  }
}

TEST_F(RolesTest, ThePlainAgentMakesAndStartsAHiddenXCopyThatDeletesItselfAtTheEnd) {
  TDebugViewer viewer(dir.File("debug.txt"));
  const TAgent a = MakeAgent("RoleC");
  // An unquoted "...\My Product\X_..." would start this program instead.
  testsupport::WriteBytes(dir.File("My.exe"), StubImage());
  strays.push_back("My.exe");
  TProc plain(a.plain, "");
  EXPECT_EQ(plain.Wait(kStartMs), 0u);
  HWND x = WaitForWindow(a.xClass);
  ASSERT_NE(x, nullptr);
  EXPECT_FALSE(::IsWindowVisible(x));
  EXPECT_TRUE(Exists(a.x));
  EXPECT_EQ(FindTop(".AutoUpdate.RoleC.AutoUpdate"), nullptr);  // the plain agent shows no window

  const std::string pid = std::to_string(plain.Id());
  EXPECT_TRUE(viewer.WaitFor(pid + " CreateAndRun_X_Exe-1 \r\n"));
  EXPECT_TRUE(viewer.WaitFor(pid + " CreateAndRun_X_Exe-2\r\n"));
  // The copy is started by its quoted path (the folder has a blank).
  EXPECT_TRUE(viewer.WaitFor(" ==== STUB START ====> \"" + a.x + "\"<\r\n")) << viewer.Text();
  // Written before the copy runs: no other process appends to the log yet.
  const std::string log = testsupport::ReadBytes(a.log);
  for (const char* line : {"ThisIs_Plain_AutoUpdate_Exe=TRUE", "X_ExeIsRunning=FALSE", "CreateAndRun_X_Exe() --- Start",
                           "Wait 0 SEC", "Create X_ File "})
    EXPECT_NE(log.find(PlainLine(line)), std::string::npos) << line;
  EXPECT_NE(log.find(PlainLine("WinExec: " + a.x + "\r\n")), std::string::npos);

  ::PostMessageA(x, WM_CLOSE, 0, 0);
  ::PostMessageA(x, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return FindTop(a.xClass) == nullptr; }, kStartMs));
  EXPECT_TRUE(WaitForFileText(a.log, XLine("DeleteMySelf")));
  EXPECT_TRUE(WaitUntil([&] { return !Exists(a.x); }, 60000));
  EXPECT_TRUE(Exists(a.plain));
}

TEST_F(RolesTest, AReadOnlyAgentReplacesAReadOnlyXCopyAndItsCopyDeletesItself) {
  const TAgent a = MakeAgent("RoleJ");
  testsupport::WriteBytes(a.x, "an old X_ copy");
  ASSERT_TRUE(::SetFileAttributesA(a.x.c_str(), FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(::SetFileAttributesA(a.plain.c_str(), FILE_ATTRIBUTE_READONLY));
  TProc plain(a.plain, "");
  EXPECT_EQ(plain.Wait(kStartMs), 0u);
  HWND x = WaitForWindow(a.xClass);
  ASSERT_NE(x, nullptr);
  EXPECT_TRUE(testsupport::ReadBytes(a.x) == testsupport::ReadBytes(a.plain)) << "the old copy was not replaced";
  EXPECT_EQ(::GetFileAttributesA(a.x.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  ::PostMessageA(x, WM_CLOSE, 0, 0);
  ::PostMessageA(x, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !Exists(a.x); }, 60000)) << "the X_ copy did not delete itself";
  ::SetFileAttributesA(a.plain.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(RolesTest, WithTheXCopyRunningThePlainAgentOnlyForwardsTheSwitches) {
  TDebugViewer viewer(dir.File("debug.txt"));
  const TAgent a = MakeAgent("RoleD");
  ASSERT_TRUE(::CopyFileA(a.plain.c_str(), a.x.c_str(), FALSE));
  TProc x(a.x, "");
  HWND xWindow = WaitForWindow(a.xClass);
  ASSERT_NE(xWindow, nullptr);

  TProc plain(a.plain, "/STOP=100 /WM_MSG=abc /TEST=1");
  EXPECT_EQ(plain.Wait(kStartMs), 0u);
  const std::string xPid = std::to_string(x.Id()) + " ";
  ASSERT_TRUE(viewer.WaitFor(xPid + Msg("wm_AgentMsg", "31", "1")));
  WaitUntil([] { return false; }, 1500);
  const std::string seen = viewer.Text();
  EXPECT_NE(seen.find(xPid + Msg("wm_ShutDown", "100", "0")), std::string::npos);
  EXPECT_NE(seen.find(xPid + Msg("wm_LocalMsg", "0", "0")), std::string::npos);
  // The copy was running: no stop countdown of 2, and no new copy.
  EXPECT_EQ(seen.find(Msg("wm_ShutDown", "2", "0")), std::string::npos);
  const std::string pid = std::to_string(plain.Id());
  EXPECT_NE(seen.find(pid + " CreateAndRun_X_Exe-1 \r\n"), std::string::npos);
  EXPECT_EQ(seen.find(pid + " CreateAndRun_X_Exe-2"), std::string::npos);
  EXPECT_TRUE(x.Running());
  EXPECT_EQ(FindTop(a.xClass), xWindow);
  // Written before the first message reached the copy.
  const std::string log = testsupport::ReadBytes(a.log);
  EXPECT_NE(log.find(PlainLine("X_ExeIsRunning=TRUE")), std::string::npos);
  EXPECT_NE(log.find(PlainLine("PostProcessMessage(wm_ShutDown) to: " + a.x + "\r\n")), std::string::npos);
}

TEST_F(RolesTest, ATestRequestToAFreshCopyAddsAStopCountdownOnlyForAValueAboveZero) {
  TDebugViewer viewer(dir.File("debug.txt"));
  struct {
    const char* base;
    const char* value;
    bool stops;
  } cases[] = {{"RoleE1", "1", true}, {"RoleE0", "0", false}};
  for (auto c : cases) {
    const TAgent a = MakeAgent(c.base);
    const size_t from = viewer.Text().size();
    TProc plain(a.plain, std::string("/TEST=") + c.value);
    EXPECT_EQ(plain.Wait(kStartMs), 0u) << c.value;
    ASSERT_TRUE(viewer.WaitFor(Msg("wm_AgentMsg", "31", c.value), kStartMs, from)) << c.value;
    const bool stopped = WaitUntil([&] { return FindTop(a.xClass) == nullptr; }, c.stops ? kStartMs : 4000);
    EXPECT_EQ(stopped, c.stops) << c.value;
    EXPECT_EQ(viewer.Text().find(Msg("wm_ShutDown", "2", "0"), from) != std::string::npos, c.stops) << c.value;
    KillAllNamed("X_" + std::string(c.base) + ".AutoUpdate.exe");
  }
}

TEST_F(RolesTest, TheListenerHearsTheEndOfTheWindowAndAListenerThatIsGoneDoesNoHarm) {
  TDebugViewer viewer(dir.File("debug.txt"));
  g_listenerMessage = ::RegisterWindowMessageA("Varnel.Test.Listener");
  TClassWindow listener("VarnelTestListener", ListenerProc);
  ASSERT_NE(listener.Get(), nullptr);
  TClassWindow gone("VarnelTestGone");
  const std::string goneHandle = std::to_string(reinterpret_cast<uintptr_t>(gone.Get()));
  gone.Destroy();

  struct {
    std::string handle;
    bool heard;
  } cases[] = {{std::to_string(reinterpret_cast<uintptr_t>(listener.Get())), true}, {goneHandle, false}};
  const TAgent a = MakeAgent("RoleF");
  for (const auto& c : cases) {
    g_heard.clear();
    ASSERT_TRUE(::CopyFileA(a.plain.c_str(), a.x.c_str(), FALSE));
    TProc x(a.x, "");
    HWND xWindow = WaitForWindow(a.xClass);
    ASSERT_NE(xWindow, nullptr);
    const std::string message = std::to_string(g_listenerMessage);
    TProc plain(a.plain, "/WM_MSG=" + c.handle + ":" + message);
    EXPECT_EQ(plain.Wait(kStartMs), 0u);
    ASSERT_TRUE(viewer.WaitFor(std::to_string(x.Id()) + " " + Msg("wm_LocalMsg", c.handle, message)));
    ::PostMessageA(xWindow, WM_CLOSE, 0, 0);
    ::PostMessageA(xWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(x.Wait(kStartMs), 0u);
    WaitUntil([] { return g_heard.size() >= 3; }, c.heard ? 5000 : 1000);
    if (c.heard) {
      // The two answers to the new listener, then the end of the window.
      ASSERT_EQ(g_heard.size(), 3u);
      EXPECT_EQ(g_heard[0], (std::pair<WPARAM, LPARAM>(50, reinterpret_cast<LPARAM>(xWindow))));
      EXPECT_EQ(g_heard[1], (std::pair<WPARAM, LPARAM>(51, Stub::wm_AgentMsg)));
      EXPECT_EQ(g_heard[2].first, 43u);
      EXPECT_EQ(g_heard[2].second, 0);
    } else {
      EXPECT_TRUE(g_heard.empty());
    }
    // The copy deletes itself; the next round starts from a fresh file.
    EXPECT_TRUE(WaitUntil([&] { return !Exists(a.x); }, 60000));
  }
}

TEST_F(RolesTest, ANewCopyOverTheRunningOneNeitherHangsNorStartsASecondWindow) {
  TDebugViewer viewer(dir.File("debug.txt"));
  const TAgent a = MakeAgent("RoleG");
  ASSERT_TRUE(::CopyFileA(a.plain.c_str(), a.x.c_str(), FALSE));
  TProc x(a.x, "");
  HWND xWindow = WaitForWindow(a.xClass);
  ASSERT_NE(xWindow, nullptr);

  TProc plain(a.plain, "/_ZZ=99");
  EXPECT_EQ(plain.Wait(kStartMs), 0u);
  EXPECT_TRUE(viewer.WaitFor(std::to_string(plain.Id()) + " CreateAndRun_X_Exe-2\r\n"));
  // Whatever the copy did, the started file finds the window and ends.
  EXPECT_TRUE(WaitUntil([&] { return CountOf(viewer.Text(), " ==== STUB END ====> \"" + a.x + "\"<") == 1; },
                        kStartMs));
  EXPECT_TRUE(x.Running());
  EXPECT_EQ(FindTop(a.xClass), xWindow);
  EXPECT_EQ(::FindWindowExA(nullptr, xWindow, a.xClass.c_str(), nullptr), nullptr);
}

TEST_F(RolesTest, SwitchValuesThatAreNoNumbersAreIgnored) {
  TDebugViewer viewer(dir.File("debug.txt"));
  const TAgent a = MakeAgent("RoleH");
  ASSERT_TRUE(::CopyFileA(a.plain.c_str(), a.x.c_str(), FALSE));
  TProc x(a.x, "/SleepX=abc");
  HWND xWindow = WaitForWindow(a.xClass);
  ASSERT_NE(xWindow, nullptr);

  TProc plain(a.plain, "/STOP=abc /TEST=x1 /WAIT=zz /SpanCdLvl=w /WM_MSG=12");
  EXPECT_EQ(plain.Wait(kStartMs), 0u);
  ASSERT_TRUE(viewer.WaitFor(Msg("wm_LocalMsg", "12", "0")));
  WaitUntil([] { return false; }, 1500);
  EXPECT_EQ(viewer.Text().find("Control message wm_ShutDown"), std::string::npos);
  EXPECT_EQ(viewer.Text().find("Control message wm_AgentMsg"), std::string::npos);
  EXPECT_TRUE(x.Running());
}

TEST_F(RolesTest, AMissingOrDamagedOwnPackageRunsAsASetupThatEndsWithItsCode) {
  std::string damagedInfo = PackageBytes(TPackageRecipe{});
  const size_t trailer = damagedInfo.size() - PackFormat::kTrailerSize;
  const uint32_t dataStart = PackFormat::GetU32(damagedInfo, trailer + PackFormat::kOffDataStart);
  PackFormat::PutU32(damagedInfo, dataStart, 0x7FFFFFF0u);  // first block far too long
  std::string truncated = PackageBytes(TPackageRecipe{true});  // the agent flag is lost with the trailer
  truncated.resize(truncated.size() - 40);  // trailer cut

  struct {
    const char* name;
    std::string bytes;
    DWORD code;
  } cases[] = {{"bare.exe", StubImage(), ExitCodes::kDamagedPackage},  // no package: a damaged setup
               {"damaged.exe", damagedInfo, ExitCodes::kDamagedPackage},
               {"cut.exe", truncated, ExitCodes::kDamagedPackage}};
  for (const auto& c : cases) {
    const std::string exe = dir.File(c.name);
    testsupport::WriteBytes(exe, c.bytes);
    TBoxAnswerer answerer;
    TProc stub(exe, "/STOP=1 /WM_MSG=1:2");
    EXPECT_EQ(stub.Wait(kStartMs), c.code) << c.name;
  }
}

TEST_F(RolesTest, ACopyToTempPackageRelaunchesItsYCopyWhichRemovesItselfAndItsFolder) {
  TDebugViewer viewer(dir.File("debug.txt"));
  // A temp folder with a blank; an unquoted "...\Temp Dir\SETUP_n\Y_setup.exe"
  // would start Temp.exe instead.
  const std::string blankTemp = temp.File("Temp Dir");
  ASSERT_TRUE(::CreateDirectoryA(blankTemp.c_str(), nullptr));
  testsupport::WriteBytes(temp.File("Temp.exe"), StubImage());
  strays.push_back("Temp.exe");
  TTempEnv blankEnv(blankTemp);
  TPackageRecipe recipe;
  recipe.options = PackFormat::kOptCopyToTemp;
  const std::string exe = WritePackage(dir.File("setup.exe"), recipe);
  const std::string work = WorkingDirOf(exe);
  const std::string y = work + "\\Y_setup.exe";
  strays.push_back("Y_setup.exe");

  // The Y copy finds no "setup.exe.001" volume: a "Bad CRC!" box.
  TBoxAnswerer answerer;
  TProc stub(exe, "/a=1");
  EXPECT_EQ(stub.Wait(kStartMs), 0u);
  const std::string command =
      "\"" + y + "\" /a=1 /SpanCdLvl=2 /SpanDiskFName1=\"" + exe + ".001\" /OriginExe=\"" + exe + "\"";
  EXPECT_TRUE(viewer.WaitFor(" ==== STUB START ====> " + command + "<\r\n")) << viewer.Text();
  EXPECT_TRUE(WaitUntil([&] { return !Exists(work); }, 60000));
  EXPECT_TRUE(Exists(exe));
}

namespace {

// The threads of a process, suspended while this lives.
class TFrozen {
 public:
  explicit TFrozen(DWORD processId) {
    THandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL ok = snapshot ? ::Thread32First(snapshot.Get(), &entry) : FALSE; ok;
         ok = ::Thread32Next(snapshot.Get(), &entry)) {
      if (entry.th32OwnerProcessID != processId) continue;
      THandle thread(::OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID));
      if (thread && ::SuspendThread(thread.Get()) != static_cast<DWORD>(-1)) threads_.push_back(std::move(thread));
    }
  }
  ~TFrozen() { Thaw(); }
  TFrozen(const TFrozen&) = delete;
  TFrozen& operator=(const TFrozen&) = delete;
  bool Any() const { return !threads_.empty(); }
  void Thaw() {
    for (const THandle& thread : threads_) ::ResumeThread(thread.Get());
    threads_.clear();
  }

 private:
  std::vector<THandle> threads_;
};

}  // namespace

TEST_F(RolesTest, APlainAgentStartedWhileTheXCopyIsEndingWaitsForItsEnd) {
  TDebugViewer viewer(dir.File("debug.txt"));
  const TAgent a = MakeAgent("RoleI");
  // The X_ copy is caught between the end of its loop and its own end (a
  // short moment: tried a few times).
  for (int attempt = 1; attempt <= 5; ++attempt) {
    SCOPED_TRACE(attempt);
    ASSERT_TRUE(::CopyFileA(a.plain.c_str(), a.x.c_str(), FALSE));
    TProc x(a.x, "");
    HWND xWindow = WaitForWindow(a.xClass);
    ASSERT_NE(xWindow, nullptr);
    // A stop countdown of 0: the next tick ends the loop by the quit
    // message, the way an agent ends its run by itself.
    ::PostMessageA(xWindow, Stub::wm_ShutDown, 0, 0);
    // Caught once its trace says that its self-deletion begins.
    const DWORD start = ::GetTickCount();
    const int logged = CountOf(testsupport::ReadBytes(a.log), XLine("DeleteMySelf"));
    while (CountOf(testsupport::ReadBytes(a.log), XLine("DeleteMySelf")) == logged &&
           ::GetTickCount() - start < static_cast<DWORD>(kStartMs))
      ::Sleep(0);
    TFrozen frozen(x.Id());
    if (!frozen.Any() || !x.Running()) {
      frozen.Thaw();
      x.Wait(kStartMs);
      WaitUntil([&] { return !Exists(a.x); }, 60000);
      continue;
    }

    const size_t from = viewer.Text().size();
    TProc plain(a.plain, "/TEST=0");
    const std::string pid = std::to_string(plain.Id());
    ASSERT_TRUE(viewer.WaitFor(pid + " CreateAndRun_X_Exe: waiting for the ending X_ copy", kStartMs, from))
        << viewer.Text().substr(from);
    // No new copy while the old one has not ended.
    EXPECT_FALSE(WaitUntil([&] { return FindTop(a.xClass) != nullptr || !plain.Running(); }, 2000));

    frozen.Thaw();
    EXPECT_EQ(x.Wait(kStartMs), 0u);
    EXPECT_EQ(plain.Wait(kStartMs), 0u);
    HWND fresh = WaitForWindow(a.xClass);
    ASSERT_NE(fresh, nullptr) << "no new X_ copy";
    DWORD freshId = 0;
    ::GetWindowThreadProcessId(fresh, &freshId);
    // The request reached the new copy, and the old copy's self-deletion did
    // not take the new file.
    EXPECT_TRUE(viewer.WaitFor(std::to_string(freshId) + " " + Msg("wm_AgentMsg", "31", "0"), kStartMs, from));
    WaitUntil([] { return false; }, 3000);
    EXPECT_TRUE(Exists(a.x));
    EXPECT_EQ(FindTop(a.xClass), fresh);
    ::PostMessageA(fresh, WM_CLOSE, 0, 0);
    ::PostMessageA(fresh, WM_CLOSE, 0, 0);
    return;
  }
  GTEST_SKIP() << "the X_ copy always ended before it could be held";
}
