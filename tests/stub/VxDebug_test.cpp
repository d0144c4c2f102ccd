// Debug device buffer and trace log (portable parts).
#include "stub/VxDebug.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "util/FileIO.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;

struct TCollector {
  std::vector<std::string> pieces;
  VxDebug::TDebugBuffer buffer{[this](const std::string& text) { pieces.push_back(text); }};
};

// --- debug buffer ---

TEST(DebugBuffer, ALongLineArrivesIn128CharacterPiecesAndTheRestWithTheLineEnd) {
  TCollector c;
  const std::string line(300, 'a');
  c.buffer.Write(line + "\n");
  ASSERT_EQ(c.pieces.size(), 3u);
  EXPECT_EQ(c.pieces[0], std::string(128, 'a'));
  EXPECT_EQ(c.pieces[1], std::string(128, 'a'));
  EXPECT_EQ(c.pieces[2], std::string(44, 'a') + "\r\n");
}

TEST(DebugBuffer, LineEndsDeliverAndBecomeCrLf) {
  struct Case {
    std::string written;
    std::vector<std::string> pieces;
  } cases[] = {
      {"one\ntwo\n", {"one\r\n", "two\r\n"}},
      {"one\r\n", {"one\r\n"}},
      {"\n", {"\r\n"}},
      {"cr\ronly", {}},  // no line end yet: stays in the buffer
      {"", {}},
  };
  for (const auto& k : cases) {
    TCollector c;
    c.buffer.Write(k.written);
    EXPECT_EQ(c.pieces, k.pieces) << k.written;
  }
}

TEST(DebugBuffer, FlushDeliversPartialTextOnceAndNothingWhenEmpty) {
  TCollector c;
  c.buffer.Flush();
  EXPECT_TRUE(c.pieces.empty());
  c.buffer.Write("partial");
  c.buffer.Flush();
  c.buffer.Flush();
  EXPECT_EQ(c.pieces, (std::vector<std::string>{"partial"}));
}

TEST(DebugBuffer, ACrLfSplitAtTheBufferEdgeIsNotDoubled) {
  TCollector c;
  c.buffer.Write(std::string(127, 'x') + "\r\n");
  ASSERT_EQ(c.pieces.size(), 2u);
  EXPECT_EQ(c.pieces[0], std::string(127, 'x') + "\r");
  EXPECT_EQ(c.pieces[1], "\n");
}

TEST(DebugBuffer, TextWrittenDuringADeliveryStartsANewPiece) {
  std::vector<std::string> pieces;
  VxDebug::TDebugBuffer* self = nullptr;
  VxDebug::TDebugBuffer buffer([&](const std::string& text) {
    pieces.push_back(text);
    if (pieces.size() == 1) self->Write("inner\n");
  });
  self = &buffer;
  buffer.Write("outer\n");
  EXPECT_EQ(pieces, (std::vector<std::string>{"outer\r\n", "inner\r\n"}));
}

TEST(NormalizeLineEnds, EveryKindOfLineEndBecomesCrLf) {
  EXPECT_EQ(VxDebug::NormalizeLineEnds("a\r\nb\rc\nd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(VxDebug::NormalizeLineEnds("\n\r\r\n"), "\r\n\r\n\r\n");
  EXPECT_EQ(VxDebug::NormalizeLineEnds(""), "");
}

// --- trace line format ---

TEST(TraceFormat, StampAndLine) {
  EXPECT_EQ(VxDebug::TraceStamp(2026, 12, 5, 7, 3, 9), "05/12/26 07:03:09");
  EXPECT_EQ(VxDebug::TraceStamp(2001, 1, 31, 23, 59, 58, ".", "."), "31.01.01 23.59.58");
  const std::string stamp = "05/12/26 07:03:09";
  EXPECT_EQ(VxDebug::TraceLine(stamp, 42, "   ", "msg"), stamp + "    42   msg");
  EXPECT_EQ(VxDebug::TraceLine(stamp, 42, " X ", "msg"), stamp + "    42 X msg");
  EXPECT_EQ(VxDebug::TraceLine(stamp, 1234567, "   ", ""), stamp + " 1234567   ");  // never cut
}

TEST(TraceFormat, LogPathBesideTheExecutable) {
  struct Case {
    std::string exe, log;
  } cases[] = {
      {"C:\\Prog\\Foo.AutoUpdate.exe", "C:\\Prog\\X_Foo.AutoUpdate.log"},
      {"C:\\Prog\\X_Foo.AutoUpdate.exe", "C:\\Prog\\X_Foo.AutoUpdate.log"},
      {"C:\\Prog\\x_foo.exe", "C:\\Prog\\X_x_foo.log"},  // the X_ test is case-sensitive
      {"C:\\My Prog\\agent", "C:\\My Prog\\X_agent.log"},
      {"/opt/prog/agent.exe", "/opt/prog/X_agent.log"},
      {"agent.exe", "X_agent.log"},
  };
  for (const auto& c : cases) EXPECT_EQ(VxDebug::TraceLogPath(c.exe), c.log) << c.exe;
}

// --- trace decisions from the package ---

class TraceLog : public ::testing::Test {
 protected:
  ~TraceLog() override {
    VxDebug::SetTraceEnabled(false);
    VxDebug::SetTracePrefix("   ");
  }

  // A package named Foo.exe on disk; the agent file name is "Foo.exe".
  TGFileInfo Package(bool agent, bool traceFlag) {
    TPackageWriter writer;
    writer.infoBlock = PackWrite::InfoBlock("http://example.com/upd", "Foo.info", "Foo.exe", "", false);
    writer.agentPackage = agent;
    writer.options = traceFlag ? PackFormat::kOptAgentTraceLog : 0;
    writer.AddFile("readme.txt", 0, "hello");
    const std::string path = dir_.File("package.bin");
    testsupport::WriteBytes(path, writer.Build());
    return TGFileInfo(path);
  }

  TScratchDir dir_;
};

const std::regex kLinePattern(R"(\d\d.\d\d.\d\d \d\d.\d\d.\d\d [ \d]{4}\d+)");

TEST_F(TraceLog, TheXAgentWritesItsLinesWithTheXPrefix) {
  TGFileInfo info = Package(true, true);
  VxDebug::StartTrace(info, dir_.File("X_Foo.exe"));
  EXPECT_TRUE(VxDebug::TraceEnabled());
  EXPECT_EQ(VxDebug::TracePrefix(), " X ");
  VxDebug::Trace("=== START ===");
  VxDebug::Trace("");
  const std::string log = ReadBytes(dir_.File("X_Foo.log"));
  std::smatch m;
  ASSERT_TRUE(std::regex_search(log, m, std::regex(R"(^(.{17}) ( *\d+) X === START ===\r\n(.{17}) ( *\d+) X \r\n$)")))
      << log;
  EXPECT_TRUE(std::regex_match(m[1].str() + " " + m[2].str(), kLinePattern)) << log;
  EXPECT_GE(m[2].length(), 5);
}

TEST_F(TraceLog, ThePlainAgentWritesTheSameFileWithThreeBlanks) {
  TGFileInfo info = Package(true, true);
  VxDebug::StartTrace(info, dir_.File("foo.EXE"));  // file names compare in any case
  EXPECT_EQ(VxDebug::TracePrefix(), "   ");
  EXPECT_EQ(VxDebug::TraceLogFile(), dir_.File("X_foo.log"));
  VxDebug::Trace("plain");
  const std::string log = ReadBytes(dir_.File("X_foo.log"));
  EXPECT_TRUE(std::regex_match(log, std::regex(R"(.{17} +\d+   plain\r\n)"))) << log;
}

TEST_F(TraceLog, OnlyAnAgentPackageWithTheTraceFlagWritesALog) {
  struct Case {
    bool agent, traceFlag;
  } cases[] = {{false, true}, {false, false}, {true, false}};
  for (const auto& c : cases) {
    TGFileInfo info = Package(c.agent, c.traceFlag);
    VxDebug::StartTrace(info, dir_.File("X_Foo.exe"));
    EXPECT_FALSE(VxDebug::TraceEnabled());
    VxDebug::Trace("should not appear");
    EXPECT_FALSE(FileExists(dir_.File("X_Foo.log"))) << c.agent << c.traceFlag;
  }
}

TEST_F(TraceLog, ASetupPackageNeverTakesTheXPrefix) {
  TGFileInfo info = Package(false, true);
  VxDebug::StartTrace(info, dir_.File("X_Foo.exe"));
  EXPECT_EQ(VxDebug::TracePrefix(), "   ");
}

TEST_F(TraceLog, TheSinkSeesEveryMessageWhetherOrNotTheLogIsOn) {
  VxDebug::SetTraceEnabled(false);
  {
    VxDebug::TTraceCapture outer;
    {
      VxDebug::TTraceCapture inner;
      VxDebug::Trace("a");
      EXPECT_EQ(inner.Lines(), (std::vector<std::string>{"a"}));
    }
    VxDebug::Trace("b");
    EXPECT_EQ(outer.Lines(), (std::vector<std::string>{"b"}));
  }
  VxDebug::Trace("nobody listens");
}

}  // namespace
