// A foreground setup run whose temp drive is really short of room (wine64):
// drive D: of the prefix is mapped to a 2 MiB tmpfs that
// scripts/with-small-drive.sh mounts (as root) and names in
// VARNEL_SMALL_DRIVE, the temp folder lies on D:, and a file named C:\TEMP
// keeps the alternative-drive search from moving the run to drive C. The
// package is larger than the drive: the temp-space question comes even with
// the notice flag off; Cancel ends the run, OK extracts until the drive is full.
#include "TempSpace_win32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "stub/ExitCodes.h"

using namespace tempspace;

namespace {

TEST_F(TempSpaceTest, CancelledQuestionOnAFullTempDriveExtractsNothing) {
  TPackageWriter w = Writer();
  w.AddFile("big.dat", 0, Incompressible(kBigSize));
  StartAndExpectQuestion(w);
  if (HasFatalFailure()) return;
  const double freeBefore = FreeBytesOfD();

  EXPECT_EQ(Press("Cancel"), 0u);
  ExpectEndWithoutEngine(ExitCodes::kCancelled, freeBefore);
}

// OK on a drive without room: the first failed write shows the one error box,
// the unpacker goes on, and the engine is never started beside a cut-short file.
TEST_F(TempSpaceTest, AcceptedQuestionOnAFullTempDriveReportsTheFailedWriteOnceAndStartsNothing) {
  struct TCase {
    const char* name;
    bool engineFirst;  // the engine entry before the big file: the engine is written
  };
  const TCase cases[] = {
      {"engine before the big file", true},
      {"engine after the big file: no room left for it", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    exe = dir.File("Setup" + std::to_string(&c - cases) + ".exe");  // a fresh working directory each run
    ::DeleteFileA(log.c_str());
    TPackageWriter w = Writer(c.engineFirst);
    w.AddFile("big.dat", 0, Incompressible(kBigSize));
    if (!c.engineFirst) w.AddFile("Engine.exe*/x", 0, EngineImage());
    const double freeBefore = FreeBytesOfD();
    StartAndExpectQuestion(w);
    if (HasFatalFailure()) return;
    EXPECT_EQ(Press("OK"), 0u);

    const std::string error = WaitForBoxText();
    EXPECT_NE(error.find(WorkDir() + "\\big.dat"), std::string::npos) << error;
    EXPECT_NE(error.find("Unable to save Extracted File!"), std::string::npos) << error;
    EXPECT_NE(error.find("Data Size: \t" + std::to_string(kBigSize) + " Bytes"), std::string::npos) << error;
    EXPECT_EQ(Press("OK"), 0u);

    ExpectEndWithoutEngine(ExitCodes::kExtractionFailed, freeBefore);
  }
}

}  // namespace
