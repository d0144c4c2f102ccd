// Setup runs end to end (wine64) against what another local user, or an
// unlucky download, can put in the way: a temp folder with a blank and a
// program at the cut-off name, an engine whose exit code reads as still
// active, a left-over or unaddable completion atom, a planted .original that
// names files that are no shortcuts, and a setup cut before its trailer.
#include "SetupRun_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package/StubSetup.h"
#include "stub/ExitCodes.h"

using namespace stubtest;
using namespace setuprun;

namespace {

// The stub started suspended, so that a test can prepare what depends on the
// id of its main thread (the engine token) before it runs.
class TSuspendedStub {
 public:
  TSuspendedStub(const std::string& exe, const std::string& args) {
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::string line = "\"" + exe + "\" " + args;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
                          &startup, &info))
      return;
    process_.Reset(info.hProcess);
    thread_.Reset(info.hThread);
    threadId_ = info.dwThreadId;
  }
  ~TSuspendedStub() {
    if (process_ && ::WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(process_.Get(), 99);
      ::WaitForSingleObject(process_.Get(), 10000);
    }
  }
  TSuspendedStub(const TSuspendedStub&) = delete;
  TSuspendedStub& operator=(const TSuspendedStub&) = delete;

  bool Started() const { return static_cast<bool>(process_); }
  std::string EngineToken() const { return StubSetup::EngineToken(threadId_); }
  void Resume() { ::ResumeThread(thread_.Get()); }
  DWORD Wait(int ms) {
    if (!WaitUntil([this] { return ::WaitForSingleObject(process_.Get(), 0) == WAIT_OBJECT_0; }, ms)) return kNotEnded;
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
  }

 private:
  THandle process_, thread_;
  DWORD threadId_ = 0;
};

// Fills the global atom table while it lives (as far as it lets itself be
// filled); the atoms are removed again at the end.
class TFullAtomTable {
 public:
  TFullAtomTable() {
    for (int i = 0; i < 0x10000; ++i) {
      const std::string name = "VarnelTestFiller" + std::to_string(i);
      const ATOM atom = ::GlobalAddAtomA(name.c_str());
      if (atom == 0) {
        full_ = true;
        break;
      }
      atoms_.push_back(atom);
    }
  }
  ~TFullAtomTable() {
    for (ATOM atom : atoms_) ::GlobalDeleteAtom(atom);
  }
  TFullAtomTable(const TFullAtomTable&) = delete;
  TFullAtomTable& operator=(const TFullAtomTable&) = delete;
  bool Full() const { return full_; }

 private:
  std::vector<ATOM> atoms_;
  bool full_ = false;
};

class SetupGuardsTest : public SetupRunTest {
 protected:
  std::string startLink = dir.File("start.lnk");
  std::string checkLink = dir.File("check.lnk");

  // The agent's settings beside the setup name the two links, and the update
  // information asks to remove both once the engine has completed.
  void WriteShortcutSettings(const std::string& start, const std::string& check) {
    testsupport::WriteBytes(dir.File("Foo.original"),
                            "[UnInstall]\r\nStartUpLink=" + start + "\r\nCheckforNewUpdateLink=" + check + "\r\n");
    testsupport::WriteBytes(dir.File("Foo.info"),
                            "[NewSetup]\r\nRemoveStartUpShortcut=1\r\nRemoveCheckForNewUpdateShortcut=1\r\n");
  }
};

// A temp folder "My Temp" with a program "My.exe" beside it: an unquoted
// command line started without an application name would run My.exe. The
// engine's command line still starts with its path, unquoted.
TEST_F(SetupGuardsTest, TempFolderWithABlankStartsTheEngineNotTheProgramAtTheCutOff) {
  const std::string blankTemp = temp.File("My Temp");
  ASSERT_TRUE(::CreateDirectoryA(blankTemp.c_str(), nullptr));
  testsupport::WriteBytes(temp.File("My.exe"), EngineImage());  // logs like the engine, from another folder
  TTempEnv blankEnv(blankTemp);
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "5"}});
  Write(Writer());

  EXPECT_EQ(Run("/hide"), 5u);
  const std::string text = testsupport::ReadBytes(log);
  EXPECT_EQ(CountOf(text, "CommandLine="), 1) << text;
  const std::string engineDir = LogValue(text, "EngineDir");
  EXPECT_EQ(engineDir.rfind(blankTemp + "\\", 0), 0u) << "started: " << engineDir;
  const std::string commandLine = LogValue(text, "CommandLine");
  EXPECT_EQ(commandLine.rfind(engineDir + "\\Engine.exe /hide /x /TH_ID=_", 0), 0u) << commandLine;
}

// 259 is the value that GetExitCodeProcess gives for a running process.
TEST_F(SetupGuardsTest, EngineThatExitsWith259EndsTheRunWithIt) {
  SetEngineEnv({{"VARNEL_ENGINE_EXIT", "259"}});
  Write(Writer());
  const std::string workDir = WorkDir();
  EXPECT_EQ(Run("/hide"), 259u);
  EXPECT_FALSE(Exists(workDir));
}

// An atom of the stub's name left by an earlier run (added twice, never
// deleted) would still be found after the engine removed its own reference.
TEST_F(SetupGuardsTest, LeftOverAtomOfTheSameNameIsDeletedBeforeTheEngineStarts) {
  WriteShortcutSettings(startLink, checkLink);
  testsupport::WriteBytes(startLink, "link");
  testsupport::WriteBytes(checkLink, "link");
  SetEngineEnv({{"VARNEL_ENGINE_REMOVEATOM", "1"}});
  Write(Writer());

  TSuspendedStub stub(exe, "/hide");
  ASSERT_TRUE(stub.Started());
  const std::string atomName = StubSetup::CompletionAtomName(stub.EngineToken());
  ::GlobalAddAtomA(atomName.c_str());
  ::GlobalAddAtomA(atomName.c_str());
  stub.Resume();
  EXPECT_EQ(stub.Wait(kRunMs), 0u);
  EXPECT_NE(LogValue(testsupport::ReadBytes(log), "CommandLine"), "") << "the engine did not run";
  EXPECT_FALSE(Exists(startLink)) << "the run did not count as completed";
  EXPECT_FALSE(Exists(checkLink));
  EXPECT_EQ(::GlobalFindAtomA(atomName.c_str()), 0) << "the atom outlived the run";
}

// With no atom added there is nothing the engine could remove: the engine
// runs, but the run never counts as completed. The table fills once the stub
// has its window (window classes and debug lines need atoms too) and is freed
// once the engine has written its log.
TEST_F(SetupGuardsTest, AtomThatCannotBeAddedNeverCountsAsCompleted) {
  WriteShortcutSettings(startLink, checkLink);
  testsupport::WriteBytes(startLink, "link");
  testsupport::WriteBytes(checkLink, "link");
  SetEngineEnv({{"VARNEL_ENGINE_REMOVEATOM", "1"}, {"VARNEL_ENGINE_EXIT", "4"}});
  Write(Writer());
  ASSERT_TRUE(stub.Start(exe, "/hide"));
  ASSERT_NE(WaitForWindow(exe, kRunMs), nullptr) << "the stub window did not come";
  {
    TFullAtomTable full;
    ASSERT_TRUE(full.Full()) << "the global atom table did not fill up";
    ASSERT_FALSE(Exists(log)) << "the engine started before the table was full";
    ASSERT_TRUE(WaitForFileText(log, "CommandLine=", kRunMs)) << "the engine did not run";
  }
  EXPECT_EQ(stub.Wait(kRunMs), 4u);
  EXPECT_TRUE(Exists(startLink)) << "shortcuts removed after a run that could not complete";
  EXPECT_TRUE(Exists(checkLink));
}

// A .original beside the setup (anyone may put one into a Downloads folder)
// names what is to be deleted after a completed run: only shortcut files go.
TEST_F(SetupGuardsTest, ShortcutRemovalDeletesOnlyShortcutFiles) {
  const std::string document = dir.File("thesis.docx");
  const std::string folder = dir.File("Pictures.lnk");
  struct TCase {
    const char* name;
    std::string start, check;
    bool startKept, checkKept;
  };
  const TCase cases[] = {
      {"a document and a folder", document, folder, true, true},
      {"a shortcut and a document", startLink, document, false, true},
  };
  SetEngineEnv({{"VARNEL_ENGINE_REMOVEATOM", "1"}});
  Write(Writer());
  TDebugViewer viewer(dir.File("debug.txt"));
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::WriteBytes(document, "years of work");
    testsupport::WriteBytes(startLink, "link");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    testsupport::WriteBytes(folder + "\\holiday.jpg", "picture");
    WriteShortcutSettings(c.start, c.check);
    const size_t seen = viewer.Text().size();

    EXPECT_EQ(Run("/hide"), 0u);
    EXPECT_EQ(Exists(c.start), c.startKept);
    EXPECT_EQ(Exists(c.check), c.checkKept);
    EXPECT_TRUE(Exists(document)) << "an ordinary file was deleted";
    EXPECT_TRUE(Exists(folder + "\\holiday.jpg")) << "the folder lost its contents";
    EXPECT_TRUE(viewer.WaitFor("Shortcut removal refused, not a shortcut file: " + document, 5000, seen));
  }
}

// A download cut short, or a setup file damaged at its end: no package
// trailer behind the stub. It is a damaged package like a bad checksum.
TEST_F(SetupGuardsTest, SetupCutBeforeItsTrailerShowsBadCrcAndEndsWithTwo) {
  const std::string whole = Writer().Build();
  for (size_t cut : {size_t{40}, size_t{1000}}) {  // the trailer, the end of the last entry
    SCOPED_TRACE(cut);
    exe = dir.File("Cut" + std::to_string(cut) + ".exe");  // a fresh file each run
    testsupport::WriteBytes(exe, whole.substr(0, whole.size() - cut));
    ExpectDamagedRun();
    EXPECT_EQ(TempContents(), std::vector<std::string>{}) << "left in the temp folder";
  }
}

}  // namespace
