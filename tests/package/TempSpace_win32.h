// Fixture of the setup runs whose temp drive is really short of room
// (wine64): drive D: of the prefix is mapped to a 2 MiB tmpfs that
// scripts/with-small-drive.sh mounts (as root) and names in
// VARNEL_SMALL_DRIVE, the temp folder lies on D:, and a file named C:\TEMP
// keeps the alternative-drive search from moving the run to drive C.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "SetupRun_win32.h"
#include "package/PackX.h"
#include "package/StubSetup.h"
#include "util/Files.h"
#include "util/Utils.h"

namespace tempspace {

using namespace stubtest;
using namespace setuprun;

inline constexpr int kBoxMs = 45000;
inline constexpr DWORD kEngineExit = 7;
inline constexpr size_t kBigSize = 3584 * 1024;  // well past the 2 MiB drive

// Data that zlib cannot shrink, the same on every run.
inline std::string Incompressible(size_t size) {
  std::string data(size, '\0');
  uint32_t x = 2463534242u;
  for (char& c : data) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return data;
}

inline bool IsFixed(char letter) {
  const std::string root = std::string(1, letter) + ":\\";
  return ::GetDriveTypeA(root.c_str()) == DRIVE_FIXED;
}

inline double FreeBytesOfD() {
  ULARGE_INTEGER free{}, total{}, totalFree{};
  if (!::GetDiskFreeSpaceExA("D:\\", &free, &total, &totalFree)) return -1;
  return static_cast<double>(free.QuadPart);
}

// Drive D: of the wine prefix mapped to the small drive while it lives.
// Why() is empty when the mapping stands, else why the test cannot run.
class TSmallDriveD : public TSmallDrive {
 public:
  TSmallDriveD() : TSmallDrive('D') {}
};

// A file named C:\TEMP while it lives: the probe of drive C then fails, so
// the alternative-drive search finds no drive other than the temp drive.
class TCTempBlocker {
 public:
  TCTempBlocker() {
    if (Exists("C:\\TEMP")) {
      why_ = "C:\\TEMP exists";
      return;
    }
    testsupport::WriteBytes("C:\\TEMP", "keeps drive C from serving as the alternative temp drive");
    made_ = Exists("C:\\TEMP");
    if (!made_) why_ = "C:\\TEMP could not be made";
  }
  ~TCTempBlocker() {
    const DWORD attributes = ::GetFileAttributesA("C:\\TEMP");
    if (made_ && attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
      ::DeleteFileA("C:\\TEMP");
  }
  TCTempBlocker(const TCTempBlocker&) = delete;
  TCTempBlocker& operator=(const TCTempBlocker&) = delete;

  const std::string& Why() const { return why_; }
  // Still a file, as made.
  bool Intact() const {
    const DWORD attributes = ::GetFileAttributesA("C:\\TEMP");
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

 private:
  bool made_ = false;
  std::string why_;
};

// Text of the box's text control (its one child that is not a button).
inline std::string BoxText(HWND box) {
  for (HWND child = ::GetWindow(box, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {0};
    ::GetClassNameA(child, name, sizeof(name));
    if (!SameText(name, "Button")) return WindowText(child);
  }
  return "";
}

class TempSpaceTest : public SetupRunTest {
 protected:
  std::optional<TSmallDriveD> drive;
  std::optional<TCTempBlocker> cTemp;
  std::string smallTemp = "D:\\varnel-temp-" + std::to_string(::GetCurrentProcessId());
  std::optional<TTempEnv> smallTempEnv;

  void SetUp() override {
    SetupRunTest::SetUp();
    if (IsFixed('E')) GTEST_SKIP() << "E: is a fixed drive: it could take the run";
    drive.emplace();
    if (!drive->Why().empty()) GTEST_SKIP() << drive->Why();
    // Wine reports the tmpfs as a fixed disk, so the search probes D: too and
    // finds it the temp drive: no alternative.
    EXPECT_TRUE(IsFixed('D'));
    cTemp.emplace();
    if (!cTemp->Why().empty()) GTEST_SKIP() << cTemp->Why();
    ASSERT_TRUE(::CreateDirectoryA(smallTemp.c_str(), nullptr)) << smallTemp;
    smallTempEnv.emplace(smallTemp);
    SetEngineEnv({{"VARNEL_ENGINE_EXIT", std::to_string(kEngineExit)}});
  }

  void TearDown() override {
    SetupRunTest::TearDown();
    KillAllNamed("ui-robot.exe");
    smallTempEnv.reset();
    if (Exists(smallTemp)) Files::DeleteTree(smallTemp);
  }

  // Waits for the stub's box and returns its text; empty if none came.
  std::string WaitForBoxText() {
    std::string text;
    WaitUntil(
        [&] {
          HWND box = FindBoxOf(stub.Id());
          if (!box) return !stub.Running();
          text = BoxText(box);
          return !text.empty();
        },
        kBoxMs);
    return text;
  }

  // Answers the stub's box with ui-robot; its exit code.
  DWORD Press(const std::string& caption) {
    TProc robot(testsupport::BuildPath("tools/ui-robot/ui-robot.exe"),
                "--class " + std::string(kBoxClass) + " --pid " + std::to_string(stub.Id()) + " --timeout " +
                    std::to_string(kBoxMs) + " --press " + caption + " --wait-gone");
    return robot.Wait(kRunMs);
  }

  // Waits for the stub's end, counting the boxes it shows meanwhile.
  DWORD WaitCountingBoxes(int& boxes) {
    boxes = 0;
    HWND last = nullptr;
    WaitUntil(
        [&] {
          HWND box = FindBoxOf(stub.Id());
          if (box && box != last) ++boxes;
          last = box;
          return !stub.Running();
        },
        kRunMs);
    return stub.Wait(1000);
  }

  // The temp folder on D: is empty again, the probe folder D:\TEMP is gone,
  // and the drive has all its room back.
  // The stub ends with code after the last answered box, shows no further
  // box, started no engine and left nothing on D: or in C:.
  void ExpectEndWithoutEngine(DWORD code, double freeBefore) {
    int boxes = 0;
    EXPECT_EQ(WaitCountingBoxes(boxes), code);
    EXPECT_EQ(boxes, 0) << "a further box";
    EXPECT_FALSE(Exists(log)) << "the engine was started";
    ExpectNothingLeft(freeBefore);
    EXPECT_TRUE(cTemp->Intact());
  }

  void ExpectNothingLeft(double freeBefore) {
    EXPECT_EQ(NamesIn(smallTemp), std::vector<std::string>{}) << "left in the temp folder";
    EXPECT_EQ(NamesIn("D:"), std::vector<std::string>{smallTemp.substr(3)});
    EXPECT_EQ(FreeBytesOfD(), freeBefore);
  }

  // The question as the box shows it: caption heading the text, <P> as a line break, <T> as a tab.
  static std::string ExpectedQuestion(double required, double available) {
    return "CONFIRM\r\n\r\nLimited Free Space on your Temp Drive! (D:)\r\n\r\n"
           "Estimated space required on your Temp drive is: \t  " +
           StubSetup::MegabyteText(required) + " MB\r\nFree space available on your Temp drive is: \t  " +
           StubSetup::MegabyteText(available) + " MB\r\n\r\nContinue with Setup?\r\n\r\n";
  }

  // Starts the package of w in the foreground and checks the question it asks.
  void StartAndExpectQuestion(const TPackageWriter& w) {
    ASSERT_EQ(w.options & PackFormat::kOptTempDriveNotice, 0) << "the notice flag would ask anyway";
    Write(w);
    const double required = TGFileInfo(exe).SpaceRequired(smallTemp);
    const double available = FreeBytesOfD();
    ASSERT_GT(available, 0);
    ASSERT_GE(required, available) << "the package fits on the small drive";
    uint64_t files = 0;
    for (uint64_t size : w.FileSizes()) files += size;
    EXPECT_GE(required, static_cast<double>(files));

    ASSERT_TRUE(stub.Start(exe, ""));
    const std::string text = WaitForBoxText();
    ASSERT_FALSE(text.empty()) << "no temp-space question";
    EXPECT_EQ(text, ExpectedQuestion(required, available));
  }
};

}  // namespace tempspace
