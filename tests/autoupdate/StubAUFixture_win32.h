// Fixture of the in-process tests of the update cycle: an agent package in
// a scratch folder as the running stub's own package, its .original file
// beside it, an INFO folder and an update folder on disk. Boxes are answered
// by a handler and recorded; the trace lines are captured; a passed probe
// is recorded instead of installed. Header-only.
#pragma once

#include "autoupdate/StubAU.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "autoupdate/AUSettings.h"
#include "package/PackBuild.h"
#include "package/PackX.h"
#include "stub/StubState.h"
#include "stub/VxDebug.h"
#include "ui/VxMsgBox.h"
#include "util/FileIO.h"
#include "util/SysText.h"
#include "util/Win.h"

namespace stubau {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

inline constexpr char kToken[] = "Prod-2026";
inline constexpr char kInfoName[] = "Prod.AutoUpdate.info";
inline constexpr char kRegKey[] = "Software\\Meridane\\Varnel\\AutoUpdate";

struct TBox {
  std::string caption;
  std::string text;
};

inline std::vector<TBox> g_boxes;
inline int g_answer = MsgBox::kIdYes;
inline std::vector<int> g_accepted;  // autoInform of each accepted release

inline void RecordAccepted(bool autoInform) { g_accepted.push_back(autoInform ? 1 : 0); }

inline void ClearTestModeValues() { ::RegDeleteKeyA(HKEY_CURRENT_USER, kRegKey); }

inline void SetTestModeValues(const std::string& mode, const std::string& date, const std::string& url) {
  HKEY key = nullptr;
  ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, kRegKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr), 0);
  auto put = [&](const char* name, const std::string& v) {
    ::RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), static_cast<DWORD>(v.size() + 1));
  };
  put("TestMode", mode);
  put("TestModeDate", date);
  put("TestModeURL", url);
  ::RegCloseKey(key);
}

class StubAUTest : public ::testing::Test {
 protected:
  TScratchDir scratch;
  std::string agentDir;
  std::string infoDir;
  std::string updateDir;
  std::string agentPath;
  VxDebug::TTraceCapture* trace = nullptr;

  void SetUp() override {
    agentDir = scratch.File("agent");
    infoDir = scratch.File("info");
    updateDir = scratch.File("update");
    for (const std::string& d : {agentDir, infoDir, updateDir}) ::CreateDirectoryA(d.c_str(), nullptr);
    WriteBytes(scratch.File("stub.exe"), testsupport::FakeStubImage(1024));
    agentPath = agentDir + "\\Prod.exe";
    BuildAgent(agentPath, kToken, infoDir);
    Stub::StartState(agentPath, "\"" + agentPath + "\"", ::GetCurrentProcessId());
    AU::ResetPlace();
    Stub::AgentRun() = Stub::TAgentRun{};
    Stub::SetListener(0, 0);
    ClearTestModeValues();
    g_boxes.clear();
    g_answer = MsgBox::kIdYes;
    g_accepted.clear();
    MsgBox::SetMsgBoxHandler([](const MsgBox::TRequest& r) {
      g_boxes.push_back({r.caption, r.text});
      return g_answer;
    });
    AU::SetAcceptedReleaseHandler(RecordAccepted);
    trace = new VxDebug::TTraceCapture();
    WriteOriginal("VersionOriginal=100\r\nStamp=7\r\nReAskSecondsInterval=86400\r\nProgramName=Prod\r\n");
  }

  void TearDown() override {
    delete trace;
    MsgBox::SetMsgBoxHandler(nullptr);
    AU::SetAcceptedReleaseHandler(nullptr);
    ClearTestModeValues();
    Stub::AgentRun() = Stub::TAgentRun{};
    Stub::SetListener(0, 0);
    Stub::EndState();
  }

  void BuildAgent(const std::string& output, const std::string& token, const std::string& infoFolder) {
    PackBuild::TBuildOptions o;
    o.stubPath = scratch.File("stub.exe");
    o.output = output;
    o.agentPackage = true;
    o.info.infoFolderURL = infoFolder;
    o.info.infoFile = kInfoName;
    o.info.agentFile = "Prod.exe";
    o.info.token = token;
    o.seed = 5;
    PackBuild::TBuildReport report;
    ASSERT_EQ(PackBuild::BuildPackage(o, report), "");
  }

  void WriteOriginal(const std::string& originalSetup, const std::string& more = "") {
    WriteBytes(agentDir + "\\Prod.original", "[OriginalSetup]\r\n" + originalSetup + more);
  }
  // An INFO file offering Setup.exe of `size` bytes in the update folder.
  void WriteInfo(const std::string& newSetup, const std::string& more = "") {
    WriteBytes(infoDir + "\\" + kInfoName, "[NewSetup]\r\nDownloadURL_UPDATE=" + updateDir +
                                               "\r\nNameOfUpdateFile=Setup.exe\r\n" + newSetup + more);
  }
  void WriteUpdate(size_t size) { WriteBytes(updateDir + "\\Setup.exe", std::string(size, 'u')); }
  std::string OfferOf(int64_t size) { return "SizeOfUpdateFile=" + std::to_string(size) + "\r\n"; }

  bool Traced(const std::string& part) const {
    const auto& lines = trace->Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.find(part) != std::string::npos; });
  }
  std::string Original(const char* key) const {
    char buffer[256] = {};
    ::GetPrivateProfileStringA("OriginalSetup", key, "", buffer, sizeof(buffer), (agentDir + "\\Prod.original").c_str());
    return buffer;
  }
};

}  // namespace stubau
