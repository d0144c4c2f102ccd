// Process lookup and shutdown against real copies of the dummy product.
#include <gtest/gtest.h>

#include <string>

#include "DummyProduct.h"
#include "TestSupport.h"
#include "autoupdate/Process.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/VxSUB.h"
#include "util/Win.h"

using dummy::TProduct;
using testsupport::TScratchDir;

namespace {

class ProcessWin : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    windowClass_ = std::string("Varnel.Dummy.") + info->name();
    exe_ = dummy::CopyTool("dummy-product", dir_, "My Product", "dummy product.exe");
    ASSERT_FALSE(exe_.empty()) << "build the dummy-product target first";
  }

  // Starts the product and waits for its frame window.
  HWND Start(TProduct& product, const std::string& args) {
    const std::string all = "/Class=" + windowClass_ + " /ExitFile=" + ExitFile() + " " + args;
    if (!product.Start(exe_, all)) return nullptr;
    return dummy::WaitForWindow(windowClass_);
  }

  std::string ExitFile() const { return dir_.File("exit.txt"); }
  std::string ExitText() const { return testsupport::ReadBytes(ExitFile()); }
  std::string ShortExe() const {
    char buffer[MAX_PATH * 2] = {0};
    const DWORD n = ::GetShortPathNameA(exe_.c_str(), buffer, sizeof(buffer));
    return std::string(buffer, n);
  }

  TScratchDir dir_;
  std::string exe_;
  std::string windowClass_;
};

DWORD WindowProcess(HWND w) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(w, &pid);
  return pid;
}

TEST_F(ProcessWin, FindMainWindowPicksTheVisibleTitledFrame) {
  TProduct product;
  HWND frame = Start(product, "/Extras=1");
  ASSERT_NE(frame, nullptr);
  // The competing windows exist and belong to the same process.
  HWND dialog = dummy::WaitForWindow(windowClass_ + "_Dlg");  // created after the frame
  HWND tool = ::FindWindowA((windowClass_ + "_Tool").c_str(), nullptr);
  ASSERT_NE(tool, nullptr);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(WindowProcess(tool), product.Id());
  EXPECT_EQ(::GetWindow(dialog, GW_OWNER), frame);

  EXPECT_EQ(FindMainWindow(exe_), reinterpret_cast<TWindowHandle>(frame));
  EXPECT_EQ(FindMainWindow("\"" + exe_ + "\""), reinterpret_cast<TWindowHandle>(frame));
}

TEST_F(ProcessWin, LookupsFindTheRunningCopy) {
  TProduct product;
  ASSERT_NE(Start(product, ""), nullptr);
  const std::string shortExe = ShortExe();
  ASSERT_FALSE(shortExe.empty());
  ASSERT_NE(shortExe, exe_);  // the folder and name have blanks: the short form differs

  for (const std::string& path : {exe_, "\"" + exe_ + "\"", "  " + exe_ + "  ",
                                  LowerCase(exe_), shortExe, std::string("DUMMY PRODUCT.EXE")})
    EXPECT_TRUE(IsProcessRunning(path)) << path;

  EXPECT_EQ(FindProcessId(exe_, true), product.Id());
  EXPECT_EQ(FindProcessId(UpperCase(exe_), true), product.Id());
  EXPECT_EQ(FindProcessId(shortExe, true), product.Id());
  EXPECT_EQ(FindProcessId("dummy product.exe", false), product.Id());
  EXPECT_EQ(FindProcessId("dummy product.exe", true), 0u);

  EXPECT_EQ(SUB::GetValue(ProcessList(false), "dummy product.exe"), std::to_string(product.Id()));
  EXPECT_EQ(SUB::GetValue(ProcessList(true), exe_), std::to_string(product.Id()));
}

TEST_F(ProcessWin, MissingProgramAndBadInput) {
  const std::string missing = dir_.File("My Product\\not there.exe");
  EXPECT_FALSE(IsProcessRunning(missing));
  EXPECT_FALSE(IsProcessRunning(""));
  EXPECT_FALSE(IsProcessRunning("\"\""));
  EXPECT_EQ(FindProcessId(missing, false), 0u);
  EXPECT_EQ(FindProcessId("", false), 0u);
  EXPECT_EQ(FindMainWindow(missing), 0u);
  EXPECT_EQ(FindMainWindow(""), 0u);
  EXPECT_FALSE(PostProcessMessage(missing, WM_CLOSE, 0, 0));
  EXPECT_FALSE(CloseProcess(missing, 5000));
  EXPECT_FALSE(QuitProcess(missing));
  EXPECT_FALSE(TerminateProcessByPath(missing));
  EXPECT_FALSE(TerminateProcessByPath(""));

  const int64_t start = MsCounter();
  WaitForProcessEnd(missing, 5000);
  WaitWhileWindow("Varnel.No.Such.Class", "");
  WaitWhileWindow("", "");
  EXPECT_LT(MsCounter() - start, 2000);
}

// A program of the same file name in another folder is another program: it
// is neither counted, nor waited for, nor posted to, nor ended.
TEST_F(ProcessWin, AProgramOfTheSameNameElsewhereIsNotTouched) {
  const std::string elsewhere = dummy::CopyTool("dummy-product", dir_, "Other Folder", "dummy product.exe");
  ASSERT_FALSE(elsewhere.empty());
  TProduct other;
  ASSERT_TRUE(other.Start(elsewhere, "/Class=" + windowClass_ + " /ExitFile=" + ExitFile()));
  ASSERT_NE(dummy::WaitForWindow(windowClass_), nullptr);

  EXPECT_FALSE(IsProcessRunning(exe_));
  EXPECT_EQ(FindProcessId(exe_, false), 0u);
  EXPECT_EQ(FindProcessId(exe_, true), 0u);
  EXPECT_EQ(FindMainWindow(exe_), 0u);
  EXPECT_FALSE(PostProcessMessage(exe_, WM_CLOSE, 0, 0));
  EXPECT_FALSE(CloseProcess(exe_, 0));
  EXPECT_FALSE(QuitProcess(exe_));
  EXPECT_FALSE(TerminateProcessByPath(exe_));
  const int64_t start = MsCounter();
  WaitForProcessEnd(exe_, 10000);
  EXPECT_TRUE(WaitForProcessExit(exe_, 10000));
  EXPECT_LT(MsCounter() - start, 3000);
  EXPECT_FALSE(other.Ended(500));
  EXPECT_EQ(ExitText(), "");

  // The program itself is reached by its own path, and waited for by its handle.
  EXPECT_TRUE(IsProcessRunning(elsewhere));
  EXPECT_FALSE(WaitForProcessExit(elsewhere, 300));
  EXPECT_TRUE(TerminateProcessByPath(elsewhere));
  EXPECT_TRUE(WaitForProcessExit(elsewhere, 10000));
  EXPECT_TRUE(other.Ended(0));
}

TEST_F(ProcessWin, WindowlessProgramIsRunningButHasNoMainWindow) {
  TProduct product;
  ASSERT_TRUE(product.Start(exe_, "/NoWindow=1"));
  ::Sleep(300);
  EXPECT_TRUE(IsProcessRunning(exe_));
  EXPECT_EQ(FindMainWindow(exe_), 0u);
  EXPECT_FALSE(CloseProcess(exe_, 0));
  EXPECT_TRUE(TerminateProcessByPath(exe_));
  EXPECT_TRUE(product.Ended(5000));
  EXPECT_EQ(product.ExitCode(), 0u);
}

enum class Method { Close, Quit, Terminate };

TEST_F(ProcessWin, ShutdownMethods) {
  struct Case {
    const char* what;
    std::string args;
    Method method;
    bool ends;
    std::string exitText;
  } cases[] = {
      {"close", "", Method::Close, true, "reason=close\r\nwParam=15\r\nlParam=255\r\n"},
      {"quit", "", Method::Quit, true, "reason=quit\r\nwParam=15\r\nlParam=255\r\n"},
      {"terminate", "", Method::Terminate, true, ""},
      {"close ignored", "/OnClose=ignore", Method::Close, false, ""},
      {"quit ignored", "/OnQuit=ignore", Method::Quit, false, ""},
      {"terminate ignores nothing", "/OnClose=ignore /OnQuit=ignore", Method::Terminate, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::DeleteFileA(ExitFile().c_str());
    TProduct product;
    ASSERT_NE(Start(product, c.args), nullptr);
    switch (c.method) {
      case Method::Close: EXPECT_TRUE(CloseProcess(exe_, 0)); break;
      case Method::Quit: EXPECT_TRUE(QuitProcess(exe_)); break;
      case Method::Terminate: EXPECT_TRUE(TerminateProcessByPath(exe_)); break;
    }
    WaitForProcessEnd(exe_, c.ends ? 10000 : 1500);
    EXPECT_EQ(product.Ended(0), c.ends);
    EXPECT_EQ(IsProcessRunning(exe_), !c.ends);
    if (c.ends) {
      EXPECT_EQ(product.ExitCode(), 0u);
    }
    EXPECT_EQ(ExitText(), c.exitText);
    if (!c.ends) {
      // Still answering: a later close (or termination) ends it.
      EXPECT_TRUE(TerminateProcessByPath(exe_));
      EXPECT_TRUE(product.Ended(5000));
    }
  }
}

TEST_F(ProcessWin, CloseWithWaitReturnsOnceTheProductHasEnded) {
  TProduct product;
  ASSERT_NE(Start(product, ""), nullptr);
  const int64_t start = MsCounter();
  EXPECT_TRUE(CloseProcess(exe_, 20000));
  EXPECT_LT(MsCounter() - start, 10000);
  EXPECT_TRUE(product.Ended(0));
}

TEST_F(ProcessWin, WaitForProcessEndZeroMeansOneSecond) {
  TProduct product;
  ASSERT_NE(Start(product, "/OnClose=ignore"), nullptr);
  const int64_t start = MsCounter();
  WaitForProcessEnd(exe_, 0);
  const int64_t elapsed = MsCounter() - start;
  EXPECT_GE(elapsed, 1000);
  EXPECT_LT(elapsed, 4000);
  EXPECT_FALSE(product.Ended(0));
}

TEST_F(ProcessWin, TerminateReachesTwoCopiesOneAfterTheOther) {
  TProduct first, second;
  ASSERT_TRUE(first.Start(exe_, "/NoWindow=1"));
  ASSERT_TRUE(second.Start(exe_, "/NoWindow=1"));
  ::Sleep(300);
  EXPECT_TRUE(TerminateProcessByPath(exe_));
  ::Sleep(300);
  EXPECT_NE(first.Ended(0), second.Ended(0));
  EXPECT_TRUE(IsProcessRunning(exe_));
  EXPECT_TRUE(TerminateProcessByPath(exe_));
  EXPECT_TRUE(first.Ended(5000));
  EXPECT_TRUE(second.Ended(5000));
  WaitForProcessEnd(exe_, 5000);
  EXPECT_FALSE(IsProcessRunning(exe_));
}

TEST_F(ProcessWin, WaitWhileWindowReturnsWhenTheWindowIsGone) {
  TProduct product;
  ASSERT_NE(Start(product, "/Title=Short Lived /Life=1500"), nullptr);
  const int64_t start = MsCounter();
  WaitWhileWindow(windowClass_, "Short Lived");
  const int64_t elapsed = MsCounter() - start;
  EXPECT_EQ(::FindWindowA(windowClass_.c_str(), nullptr), nullptr);
  EXPECT_GE(elapsed, 500);
  EXPECT_LT(elapsed, 10000);
  EXPECT_TRUE(product.Ended(5000));
  EXPECT_EQ(ExitText(), "reason=life\r\nwParam=0\r\nlParam=0\r\n");
}

}  // namespace
