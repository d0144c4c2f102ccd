// The unpacker on the Win32 file backend: same files, dates as Windows sees
// them, and no handle left on the volume after a damaged entry.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"
#include "util/Win.h"

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

// Last-write date of a file as a packed DOS date-time in local time.
int32_t WindowsDosDate(const std::string& path) {
  THandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  FILETIME written, local;
  WORD date = 0, time = 0;
  if (!file || !::GetFileTime(file.Get(), nullptr, nullptr, &written) ||
      !::FileTimeToLocalFileTime(&written, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return static_cast<int32_t>(static_cast<uint32_t>(date) << 16 | time);
}

}  // namespace

TEST(UnPackWin32, ExtractsFilesWithTheirDates) {
  TScratchDir dir;
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  const int32_t dates[] = {1248086749, PackWrite::DosDateTime(2003, 12, 31, 23, 59, 58),
                           PackWrite::DosDateTime(2024, 7, 1, 0, 0, 0)};
  w.AddFile("Engine.exe*", dates[0], "engine");
  w.AddFile("sub#a.txt", dates[1], std::string(100000, 'a'));
  w.AddFile("b.bin", dates[2], std::string("\0b\0", 3));
  const std::string setup = dir.File("setup.exe");
  WriteBytes(setup, w.Build());
  const std::string out = dir.File("out");
  TRecordingHost host;
  const TUnpackResult r = UnpackPackage(MakeRequest(setup, out), host);

  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  EXPECT_EQ(ListNames(out), (std::vector<std::string>{"Engine.exe", "b.bin", "sub#a.txt"}));
  EXPECT_EQ(ReadBytes(out + "\\sub#a.txt"), std::string(100000, 'a'));
  EXPECT_EQ(ReadBytes(out + "\\b.bin"), std::string("\0b\0", 3));
  EXPECT_EQ(WindowsDosDate(out + "\\Engine.exe"), dates[0]);
  EXPECT_EQ(WindowsDosDate(out + "\\sub#a.txt"), dates[1]);
  EXPECT_EQ(WindowsDosDate(out + "\\b.bin"), dates[2]);
  EXPECT_TRUE(host.errors.empty());
}

TEST(UnPackWin32, VolumeIsClosedWhenADamagedEntryRaises) {
  TScratchDir dir;
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  w.writeChecksum = false;
  std::string block = PackWrite::EntryBlock(PackWrite::EntryText("a.txt", 0, std::string(3000, 'x')), 6);
  block[block.size() - 1] ^= 0x40;
  w.AddRawBlock(block);
  const std::string setup = dir.File("setup.exe");
  WriteBytes(setup, w.Build());
  TRecordingHost host;
  EXPECT_THROW(UnpackPackage(MakeRequest(setup, dir.File("out")), host), EZLibError);
  // An open handle (shared for reading and writing only) would block the deletion.
  EXPECT_TRUE(::DeleteFileA(setup.c_str()));
}
