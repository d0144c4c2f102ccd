// The control messages of a running X_ agent (the real stub under wine):
// commands sent and posted, with msg-sender and from this process, a new
// listener's two answers, and the stop countdown.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "../stub/StubRun_win32.h"
#include "DummyProduct.h"
#include "autoupdate/ExecPipe.h"
#include "stub/Stub.h"
#include "util/SysText.h"

using namespace stubtest;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

UINT g_listenerMessage = 0;
std::vector<std::pair<HWND, std::pair<WPARAM, LPARAM>>> g_heard;

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (g_listenerMessage != 0 && message == g_listenerMessage) {
    g_heard.push_back({window, {wParam, lParam}});
    return 0;
  }
  return ::DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeListener(const char* className) {
  WNDCLASSA c{};
  c.lpfnWndProc = ListenerProc;
  c.hInstance = ::GetModuleHandleA(nullptr);
  c.lpszClassName = className;
  ::RegisterClassA(&c);
  return ::CreateWindowExA(0, className, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                           ::GetModuleHandleA(nullptr), nullptr);
}

class AgentControlRun : public ::testing::Test {
 protected:
  TScratchDir dir;
  TScratchDir temp;
  TTempEnv env{temp.Path()};
  std::string folder, x, xClass;
  TProc agent;
  HWND window = nullptr;

  // An X_ agent beside "Foo.original" and "Foo.info" (the INFO name of the
  // test package). Its first check lies 100000 ticks away, so no probe of
  // the update cycle touches the files while the commands work on them.
  void StartAgent(const std::string& base) {
    folder = dir.File("My Product");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    WriteBytes(folder + "\\Foo.original",
               "[OriginalSetup]\r\nVersionOriginal=101\r\nProbeSecondsInterval=-1\r\nReAskSecondsInterval=86400\r\n"
               "ProbeSecondsLast=" + std::to_string(ClockSecondsOf(TDateTimeParts{2026, 12, 5, 22, 15, 3})) +
                   "\r\nReAskSecondsLast=-7\r\n");
    WriteBytes(folder + "\\Foo.info", "[NewSetup]\r\nVersionNew=102\r\n");
    TPackageRecipe recipe;
    recipe.agent = true;
    recipe.agentFile = base + ".AutoUpdate.exe";
    x = WritePackage(folder + "\\X_" + recipe.agentFile, recipe);
    xClass = ".AutoUpdate.X_" + base + ".AutoUpdate";
    ASSERT_TRUE(agent.Start(x, "/SleepX=100000"));
    window = WaitForWindow(xClass);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override { agent.Kill(); }

  // The result of a sent command as the sender sees it (32 bits, signed).
  int32_t Send(WPARAM command, LPARAM value) const {
    DWORD_PTR result = 0;
    EXPECT_NE(::SendMessageTimeoutA(window, Stub::wm_AgentMsg, command, value, SMTO_NORMAL, 10000, &result), 0);
    return static_cast<int32_t>(static_cast<uint32_t>(result));
  }
  std::string Original() const { return ReadBytes(folder + "\\Foo.original"); }
};

}  // namespace

TEST_F(AgentControlRun, SentCommandsReadAndWriteTheSettingsFiles) {
  StartAgent("CtlA");
  const std::pair<std::pair<WPARAM, LPARAM>, int32_t> reads[] = {
      {{4, 0}, 101},
      {{5, 0}, 102},
      {{7, 0}, 0},
      {{8, 0}, -1},
      {{9, 0}, 86400},
      {{10, 0}, static_cast<int32_t>(ClockSecondsOf(TDateTimeParts{2026, 12, 5, 22, 15, 3}))},
      {{11, 0}, -7},
      {{6, 0}, 0},
      {{99, 5}, 0},
  };
  for (const auto& [message, result] : reads) EXPECT_EQ(Send(message.first, message.second), result) << message.first;

  EXPECT_EQ(Send(12, 600), 0);
  EXPECT_EQ(Send(13, -1), 0);
  EXPECT_EQ(Send(14, 86399), 0);
  EXPECT_EQ(Send(15, 0x7FFFFFFF), 0);
  const std::string text = Original();
  for (const char* line : {"ProbeSecondsInterval=600", "ReAskSecondsInterval=-1", "ProbeSecondsLast=86399",
                           "__ProbeSecondsLast=30-DEC-1899 23:59:59", "ReAskSecondsLast=2147483647",
                           "__ReAskSecondsLast=", "VersionOriginal=101"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(Send(8, 0), 600);
  EXPECT_EQ(Send(11, 0), 0x7FFFFFFF);

  // A settings file that another process holds takes no write, and the
  // command says so.
  HANDLE held = ::CreateFileA((folder + "\\Foo.original").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Send(12, 5), -1);
  ::CloseHandle(held);
  EXPECT_EQ(Send(8, 0), 600);
  EXPECT_TRUE(agent.Running());
}

TEST_F(AgentControlRun, MsgSenderSeesTheResultOnlyWhenItSends) {
  const std::string sender = dummy::CopyTool("msg-sender", dir, "tools", "msg-sender.exe");
  ASSERT_FALSE(sender.empty()) << "build the msg-sender target first";
  StartAgent("CtlB");
  const std::string target = "/Class=" + xClass + " /Msg=" + std::to_string(Stub::wm_AgentMsg);
  TExecPipeResult r = ExecPipe(sender, target + " /WParam=4 /Send", SW_HIDE);
  EXPECT_EQ(r.output, "result=101\r\n");
  // Posted: the command runs, the sender learns nothing of it.
  r = ExecPipe(sender, target + " /WParam=12 /LParam=42", SW_HIDE);
  EXPECT_EQ(r.output, "posted\r\n");
  EXPECT_TRUE(WaitUntil([&] { return Original().find("ProbeSecondsInterval=42") != std::string::npos; }, 10000));
  r = ExecPipe(sender, target + " /WParam=8 /Send", SW_HIDE);
  EXPECT_EQ(r.output, "result=42\r\n");
}

TEST_F(AgentControlRun, ANewListenerHearsTheAgentsWindowAndItsMessageNumber) {
  StartAgent("CtlC");
  g_listenerMessage = ::RegisterWindowMessageA("Varnel.Test.AgentListener");
  HWND first = MakeListener("VarnelTestAgentListener1");
  HWND second = MakeListener("VarnelTestAgentListener2");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  using THeard = std::vector<std::pair<HWND, std::pair<WPARAM, LPARAM>>>;
  const LPARAM agentWindow = reinterpret_cast<LPARAM>(window);
  for (HWND listener : {first, second}) {
    g_heard.clear();
    ::PostMessageA(window, Stub::wm_LocalMsg, reinterpret_cast<WPARAM>(listener), g_listenerMessage);
    EXPECT_TRUE(WaitUntil([] { return g_heard.size() >= 2; }, 10000));
    WaitUntil([] { return false; }, 300);  // nothing more arrives
    EXPECT_EQ(g_heard, (THeard{{listener, {50, agentWindow}}, {listener, {51, Stub::wm_AgentMsg}}}));
  }
  // A listener of 0 or one that is gone hears nothing and harms nothing.
  g_heard.clear();
  ::PostMessageA(window, Stub::wm_LocalMsg, 0, g_listenerMessage);
  ::DestroyWindow(first);
  ::PostMessageA(window, Stub::wm_LocalMsg, reinterpret_cast<WPARAM>(first), g_listenerMessage);
  EXPECT_EQ(Send(4, 0), 101);
  WaitUntil([] { return false; }, 300);
  EXPECT_TRUE(g_heard.empty());
  ::DestroyWindow(second);
}

TEST_F(AgentControlRun, AStopCountdownEndsTheAgent) {
  StartAgent("CtlD");
  EXPECT_EQ(Send(30, -1), 0);  // no end
  EXPECT_FALSE(WaitUntil([&] { return !agent.Running(); }, 2500));
  EXPECT_EQ(Send(30, 1), 0);  // the second tick from now ends the run
  EXPECT_NE(agent.Wait(kStartMs), kNotEnded);
  EXPECT_EQ(FindTop(xClass), nullptr);
}

TEST_F(AgentControlRun, ThePlainAgentsStopSwitchEndsTheRunningCopy) {
  StartAgent("CtlE");
  // The plain agent beside its running X_ copy only forwards its switches.
  const std::string plain = folder + "\\CtlE.AutoUpdate.exe";
  ASSERT_TRUE(::CopyFileA(x.c_str(), plain.c_str(), FALSE));
  TProc forwarder;
  ASSERT_TRUE(forwarder.Start(plain, "/STOP=1"));
  EXPECT_NE(forwarder.Wait(kStartMs), kNotEnded);
  EXPECT_NE(agent.Wait(kStartMs), kNotEnded);
  EXPECT_EQ(FindTop(xClass), nullptr);
}
