// The built stub is in the layout the package reader expects, and a stub with
// a package appended reads its own package when started.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "util/Win.h"

using namespace PackFormat;
using testsupport::BuildPath;
using testsupport::TScratchDir;

namespace {

DWORD RunAndWait(const std::string& exe) {
  STARTUPINFOA si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  std::string command = "\"" + exe + "\"";
  if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 0xFFFFFFFF;
  THandle process(pi.hProcess), thread(pi.hThread);
  if (::WaitForSingleObject(process.Get(), 60000) != WAIT_OBJECT_0) return 0xFFFFFFFE;
  DWORD code = 0;
  ::GetExitCodeProcess(process.Get(), &code);
  return code;
}

}  // namespace

TEST(StubImage, HeadersAtOffset256AndPointerAreaFree) {
  const std::string stub = testsupport::ReadBytes(BuildPath("src/stub/VarnelStub.exe"));
  ASSERT_GT(stub.size(), 1024u);
  EXPECT_TRUE(IsPEImageBytes(stub));
  EXPECT_EQ(GetU32(stub, 0x3C), 256u);
  EXPECT_EQ(GetU32(stub, kEndPointerHigh), 0u);
  EXPECT_EQ(GetU32(stub, kEndPointerLow), 0u);
}

TEST(StubImage, PackedStubReadsItsOwnPackage) {
  TScratchDir dir;
  TPackageWriter w;
  w.stubImage = testsupport::ReadBytes(BuildPath("src/stub/VarnelStub.exe"));
  for (int i = 0; i < 5; ++i) w.AddFile("f" + std::to_string(i) + ".txt", 0, "data");
  const std::string exe = dir.File("setup.exe");
  testsupport::WriteBytes(exe, w.Build());
  EXPECT_EQ(RunAndWait(exe), 5u);

  // A signature-like tail after the package changes nothing.
  testsupport::WriteBytes(exe, w.Build() + std::string(4096, '\x11'));
  EXPECT_EQ(RunAndWait(exe), 5u);
}
