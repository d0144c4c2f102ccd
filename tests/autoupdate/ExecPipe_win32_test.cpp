// ExecPipe with real console programs: cmd, msg-sender and the dummy product.
#include "autoupdate/ExecPipe.h"

#include <gtest/gtest.h>

#include <string>

#include "DummyProduct.h"
#include "TestSupport.h"
#include "util/SysInfo.h"
#include "util/Win.h"

using dummy::TProduct;
using testsupport::TScratchDir;

namespace {

struct TCollected {
  std::string text;
  int calls = 0;
  bool stopAtFirst = false;
};

void Collect(const std::string& text, void* user, bool& stop) {
  auto& c = *static_cast<TCollected*>(user);
  c.text += text;
  ++c.calls;
  if (c.stopAtFirst) stop = true;
}

TEST(ExecPipeWin, CapturesOutputErrorsAndExitCodes) {
  struct Case {
    std::string parameters;
    bool ok;
    uint32_t exitCode;
    std::string output, errors;
  } cases[] = {
      {"/c echo hello", true, 0, "hello\r\n", ""},
      {"/c exit 3", false, 3, "", ""},
      {"/c echo oops 1>&2", true, 0, "", "oops \r\n"},
      {"/c echo out& echo err 1>&2& exit 7", false, 7, "out\r\n", "err \r\n"},
  };
  for (const auto& c : cases) {
    const TExecPipeResult r = ExecPipe("cmd", c.parameters, SW_HIDE);
    EXPECT_EQ(r.ok, c.ok) << c.parameters;
    EXPECT_EQ(r.exitCode, c.exitCode) << c.parameters;
    EXPECT_EQ(r.output, c.output) << c.parameters;
    EXPECT_EQ(r.errors, c.errors) << c.parameters;
  }
}

TEST(ExecPipeWin, OutputLargerThanOneReadArrivesWhole) {
  TCollected collected;
  const TExecPipeResult r =
      ExecPipe("cmd", "/c for /L %i in (1,1,4000) do @echo line %i", SW_HIDE, Collect, &collected);
  ASSERT_TRUE(r.ok);
  EXPECT_GT(r.output.size(), static_cast<size_t>(kExecPipeReadChunk));
  EXPECT_EQ(r.output.substr(0, 8), "line 1\r\n");
  EXPECT_EQ(r.output.substr(r.output.size() - 11), "line 4000\r\n");
  size_t lines = 0;
  for (char ch : r.output) lines += ch == '\n';
  EXPECT_EQ(lines, 4000u);
  EXPECT_EQ(collected.text, r.output);
  EXPECT_GE(collected.calls, 2);
}

TEST(ExecPipeWin, CallbackCanStopTheProgram) {
  TScratchDir dir;
  const std::string exe = dummy::CopyTool("dummy-product", dir, "bin", "talker.exe");
  ASSERT_FALSE(exe.empty());
  TCollected collected;
  collected.stopAtFirst = true;
  const int64_t start = MsCounter();
  const TExecPipeResult r =
      ExecPipe(exe, "/NoWindow=1 /Say=first /Life=30000", SW_HIDE, Collect, &collected);
  EXPECT_LT(MsCounter() - start, 15000);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.exitCode, 255u);
  EXPECT_EQ(r.output, "first");
  EXPECT_EQ(collected.text, "first");
}

TEST(ExecPipeWin, ProgramSeesTheEndOfItsInput) {
  TScratchDir dir;
  const std::string exe = dummy::CopyTool("dummy-product", dir, "bin", "reader.exe");
  ASSERT_FALSE(exe.empty());
  const int64_t start = MsCounter();
  const TExecPipeResult r = ExecPipe(exe, "/NoWindow=1 /ReadStdin=1", SW_HIDE);
  EXPECT_LT(MsCounter() - start, 15000);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.output, "stdin closed");
}

TEST(ExecPipeWin, OutputIsConvertedFromOemToAnsi) {
  if (::GetOEMCP() == ::GetACP()) GTEST_SKIP() << "OEM and ANSI code pages are the same";
  // 0x81 is a letter in the usual OEM code pages (u umlaut in 437 and 850).
  wchar_t wide = 0;
  ASSERT_EQ(::MultiByteToWideChar(CP_OEMCP, 0, "\x81", 1, &wide, 1), 1);
  char ansi[4] = {0};
  ASSERT_EQ(::WideCharToMultiByte(CP_ACP, 0, &wide, 1, ansi, sizeof(ansi), nullptr, nullptr), 1);
  ASSERT_NE(ansi[0], '\x81');

  TScratchDir dir;
  const std::string exe = dummy::CopyTool("dummy-product", dir, "bin", "oem.exe");
  const TExecPipeResult r = ExecPipe(exe, "/NoWindow=1 /SayHex=4181 /Life=0", SW_HIDE);
  EXPECT_EQ(r.output, std::string("A") + ansi[0]);
}

TEST(ExecPipeWin, CommandWithBlanksIsQuoted) {
  TScratchDir dir;
  const std::string sender = dummy::CopyTool("msg-sender", dir, "My Tools", "msg sender.exe");
  const std::string product = dummy::CopyTool("dummy-product", dir, "bin", "product.exe");
  ASSERT_FALSE(sender.empty()) << "build the msg-sender target first";
  ASSERT_FALSE(product.empty());
  TProduct running;
  ASSERT_TRUE(running.Start(product, "/Class=Varnel.Dummy.ExecPipe"));
  ASSERT_NE(dummy::WaitForWindow("Varnel.Dummy.ExecPipe"), nullptr);

  TExecPipeResult r =
      ExecPipe(sender, "/Class=Varnel.Dummy.ExecPipe /Msg=1025 /WParam=2 /LParam=40 /Send", SW_HIDE);
  EXPECT_TRUE(r.ok) << r.errors;
  EXPECT_EQ(r.output, "result=42\r\n");

  r = ExecPipe("\"" + sender + "\"", "/Class=Varnel.No.Such.Class /Msg=16", SW_HIDE);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.exitCode, 1u);
  EXPECT_EQ(r.output, "window not found\r\n");
}

TEST(ExecPipeWin, TooLongCommandLine) {
  TCollected collected;
  const TExecPipeResult r = ExecPipe("cmd", "/c echo " + std::string(40000, 'a'), SW_HIDE, Collect,
                                     &collected);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.exitCode, 21u);
  EXPECT_EQ(r.errors, "Command line is too long");
  EXPECT_EQ(r.output, "");
  EXPECT_EQ(collected.text, "Command line is too long\r\n");
}

TEST(ExecPipeWin, MissingProgram) {
  const std::string missing = "C:\\varnel-missing\\" + std::string(300, 'x') + ".exe";
  TCollected collected;
  const TExecPipeResult r = ExecPipe(missing, "/a", SW_HIDE, Collect, &collected);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.exitCode, 21u);
  const std::string tail = " --- " + missing.substr(0, 256);
  ASSERT_GT(r.errors.size(), tail.size());
  EXPECT_EQ(r.errors.substr(r.errors.size() - tail.size()), tail);
  EXPECT_EQ(collected.text, r.errors + "\r\n");

  const TExecPipeResult empty = ExecPipe("", "", SW_HIDE);
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.exitCode, 21u);
  EXPECT_EQ(empty.errors.substr(empty.errors.size() - 5), " --- ");
}

}  // namespace
