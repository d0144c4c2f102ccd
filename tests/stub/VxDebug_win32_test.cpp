// The debug channel end to end (under wine64): the standard text output of
// this process (DebugOut) is the debug device, and the debug viewer tool
// receives what it delivers.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "stub/VxDebug.h"
#include "util/DebugOut.h"
#include "util/FileIO.h"
#include "util/Win.h"

namespace {

using testsupport::TScratchDir;

bool WaitUntil(const std::function<bool()>& done, int ms) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (done()) return true;
    ::Sleep(50);
  }
  return done();
}

HWND ViewerWindow() { return ::FindWindowA(VxDebug::kViewerClass, nullptr); }

// The debug viewer tool. With pieces its file shows each received message
// as "<length>:<text>\n"; without, the texts as they came.
class TViewer {
 public:
  explicit TViewer(const std::string& output, bool pieces = true) {
    const std::string exe = testsupport::BuildPath("tools/debug-viewer/debug-viewer.exe");
    std::string command = "\"" + exe + "\"" + (pieces ? " /pieces" : "") + " \"" + output + "\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return;
    ::CloseHandle(process.hThread);
    process_.Reset(process.hProcess);
    WaitUntil([] { return ViewerWindow() != nullptr; }, 20000);
  }

  ~TViewer() {
    if (HWND window = ViewerWindow()) ::PostMessageA(window, WM_CLOSE, 0, 0);
    if (process_ && ::WaitForSingleObject(process_.Get(), 10000) != WAIT_OBJECT_0)
      ::TerminateProcess(process_.Get(), 1);
    WaitUntil([] { return ViewerWindow() == nullptr; }, 10000);
  }

  bool Running() const { return process_.Valid() && ViewerWindow() != nullptr; }

 private:
  THandle process_;
};

std::vector<std::string> ReadPieces(const std::string& path) {
  const std::string data = testsupport::ReadBytes(path);
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t colon = data.find(':', pos);
    if (colon == std::string::npos) break;
    size_t length = std::stoul(data.substr(pos, colon - pos));
    if (colon + 1 + length > data.size()) break;
    pieces.push_back(data.substr(colon + 1, length));
    pos = colon + 1 + length + 1;  // the text and its LF
  }
  return pieces;
}

TEST(DebugChannel, IsInstalledBeforeTheProgramStarts) {
  EXPECT_TRUE(VxDebug::DebugChannelInstalled());
  DebugOut::TDevice* const device = VxDebug::DebugDevice();
  ASSERT_NE(device, nullptr);
  EXPECT_EQ(DebugOut::Device(), device);
  VxDebug::InstallDebugChannel();  // a second call changes nothing
  EXPECT_EQ(DebugOut::Device(), device);
}

TEST(DebugChannel, ALongLineReachesTheViewerInThreePieces) {
  VxDebug::InstallDebugChannel();
  TScratchDir dir;
  const std::string output = dir.File("viewer.txt");
  TViewer viewer(output);
  ASSERT_TRUE(viewer.Running());

  std::string line;
  for (int i = 0; i < 300; ++i) line += static_cast<char>('A' + i % 26);
  DebugOut::Line(line);

  std::vector<std::string> pieces;
  WaitUntil([&] { return (pieces = ReadPieces(output)).size() >= 3; }, 5000);
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[0], line.substr(0, 128));
  EXPECT_EQ(pieces[1], line.substr(128, 128));
  EXPECT_EQ(pieces[2], line.substr(256) + "\r\n");
  EXPECT_EQ(pieces[2].size(), 44u + 2u);
  // The atoms are gone once each send returned.
  EXPECT_EQ(::GlobalFindAtomA(pieces[0].c_str()), 0);
  EXPECT_EQ(::GlobalFindAtomA(pieces[2].c_str()), 0);
}

TEST(DebugChannel, WithoutAViewerTheTextIsDroppedAndNothingBreaks) {
  VxDebug::InstallDebugChannel();
  ASSERT_TRUE(WaitUntil([] { return ViewerWindow() == nullptr; }, 10000));
  const DWORD started = ::GetTickCount();
  for (int i = 0; i < 20; ++i) DebugOut::Line("nobody listens " + std::to_string(i) + std::string(200, '.'));
  DebugOut::Write("unfinished");
  DebugOut::Flush();
  EXPECT_LT(::GetTickCount() - started, 5000u);

  // A viewer started later sees only what is written from then on.
  TScratchDir dir;
  const std::string output = dir.File("viewer.txt");
  TViewer viewer(output);
  ASSERT_TRUE(viewer.Running());
  DebugOut::Line("after");
  DebugOut::Write("partial");
  DebugOut::Flush();
  std::vector<std::string> pieces;
  WaitUntil([&] { return (pieces = ReadPieces(output)).size() >= 2; }, 5000);
  EXPECT_EQ(pieces, (std::vector<std::string>{"after\r\n", "partial"}));
}

TEST(DebugChannel, TheViewerFileHoldsTheDebugLinesAsWritten) {
  VxDebug::InstallDebugChannel();
  TScratchDir dir;
  const std::string output = dir.File("debug lines.txt");
  TViewer viewer(output, false);
  ASSERT_TRUE(viewer.Running());
  const std::string expected = "first line\r\n" + std::string(200, 'x') + "\r\nthird\r\n";
  VxDebug::DebugLine("first line");
  DebugOut::Write(std::string(200, 'x'));
  DebugOut::Write("\nthird");
  DebugOut::Line("");
  std::string text;
  WaitUntil([&] { return (text = testsupport::ReadBytes(output)).size() >= expected.size(); }, 5000);
  EXPECT_EQ(text, expected);
}

}  // namespace
