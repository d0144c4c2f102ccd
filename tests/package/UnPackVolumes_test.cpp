// Unpacking a package spanned over several volumes: volume names, disk
// prompts, the progress sequence and checks per volume.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "package/UnPack.h"
#include "util/FileIO.h"

using namespace PackFormat;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

// Volume 1: Engine.exe, v1.txt twice. Volume 2: three entries (a later volume
// has no information blocks). Volume 3: v3.txt and more of v1.txt.
std::vector<std::string> ThreeVolumes() {
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  w.options = kOptMoreVolumes;
  w.AddFile("Engine.exe*", 0, "engine");
  w.AddFile("v1.txt", 0, "one,");
  w.AddFile("v1.txt", 0, "two,");
  return {w.Build(),
          PackWrite::VolumeImage({Entry("v2a.txt", "a"), Entry("v2b.txt", "b"), Entry("v2c.txt", "c")}, 3,
                                 kOptMoreVolumes),
          PackWrite::VolumeImage({Entry("v3.txt", "3"), Entry("v1.txt", "three")}, 2, 0)};
}

struct TVolumeFixture : ::testing::Test {
  TScratchDir dir;
  std::string out = dir.File("out");
  TRecordingHost host;
  TProgressLog progress;

  // Writes the volumes under firstName (and .002, .003 ...), skipping those in `missing`.
  std::string WriteVolumes(const std::vector<std::string>& images, const std::string& firstName = "setup.exe",
                           std::vector<int> missing = {}) {
    const std::string first = dir.File(firstName);
    for (size_t i = 0; i < images.size(); ++i) {
      const int number = static_cast<int>(i) + 1;
      if (std::find(missing.begin(), missing.end(), number) != missing.end()) continue;
      WriteBytes(number == 1 ? first : VolumeName(first, number), images[i]);
    }
    return first;
  }
  TUnpackResult Run(const std::string& first, bool forcePrompt = false) {
    TUnpackRequest request = MakeRequest(first, out, &progress);
    request.forcePrompt = forcePrompt;
    return UnpackPackage(request, host);
  }
};

const std::vector<std::string> kAllFiles = {"Engine.exe", "v1.txt", "v2a.txt", "v2b.txt", "v2c.txt", "v3.txt"};

}  // namespace

struct TVolumeNames : TVolumeFixture, ::testing::WithParamInterface<const char*> {};

// setup.exe spanned and setup.exe.001 both continue with setup.exe.002.
TEST_P(TVolumeNames, AllVolumesPresentNeedNoPrompt) {
  const std::string first = WriteVolumes(ThreeVolumes(), GetParam());
  ASSERT_TRUE(FileExists(dir.File("setup.exe.002")));
  const TUnpackResult r = Run(first);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  EXPECT_EQ(ListNames(out), kAllFiles);
  EXPECT_EQ(ReadBytes(Join(out, "v1.txt")), "one,two,three");
  EXPECT_TRUE(host.prompts.empty());
  EXPECT_TRUE(host.ejects.empty());
  EXPECT_EQ(host.autoPlayRegistrations, 2);
}

INSTANTIATE_TEST_SUITE_P(FirstVolume, TVolumeNames, ::testing::Values("setup.exe", "setup.exe.001"));

TEST_F(TVolumeFixture, ProgressSequence) {
  Run(WriteVolumes(ThreeVolumes()));
  const TProgressLog expected = {
      {0, 0}, {0, 3},                  // entry, then the first volume's entry count
      {1, 1}, {1, 1},                  // Engine.exe, v1.txt (its second part is no new file)
      {1, 1},                          // change to volume 2
      {1, 1}, {1, 1}, {1, 1},          // v2a, v2b, v2c
      {1, 1},                          // change to volume 3
      {1, 1}};                         // v3.txt; v1.txt exists already
  EXPECT_EQ(progress, expected);
}

TEST_F(TVolumeFixture, ForcePromptAsksForEveryVolume) {
  const std::string first = WriteVolumes(ThreeVolumes());
  TUnpackRequest request = MakeRequest(first, out);
  request.forcePrompt = true;
  request.diskPrompt = "Disk <DISK_NUM> of 3 (<DISK_NUM>)";
  request.caption = "Achtung";
  request.buttons = "|&Ja|&Abbrechen|";
  request.charset = 238;
  const TUnpackResult r = UnpackPackage(request, host);
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  ASSERT_EQ(host.prompts.size(), 2u);
  EXPECT_EQ(host.prompts[0].text, "Disk 2 of 3 (2)");
  EXPECT_EQ(host.prompts[1].text, "Disk 3 of 3 (3)");
  EXPECT_EQ(host.prompts[0].caption, "Achtung");
  EXPECT_EQ(host.prompts[0].buttons, "|&Ja|&Abbrechen|");
  EXPECT_EQ(host.prompts[0].charset, 238);
  EXPECT_EQ(host.ejects, (std::vector<std::string>{VolumeName(first, 2), VolumeName(first, 3)}));
  EXPECT_EQ(ListNames(out), kAllFiles);
}

TEST_F(TVolumeFixture, DefaultPromptNamesTheDisk) {
  const std::string first = WriteVolumes(ThreeVolumes());
  Run(first, true);
  ASSERT_EQ(host.prompts.size(), 2u);
  EXPECT_EQ(host.prompts[0].text, "Please insert <B>DISK #2</B> and press OK to continue");
}

TEST_F(TVolumeFixture, MissingVolumeIsAskedForUntilCancel) {
  const std::string first = WriteVolumes(ThreeVolumes(), "setup.exe", {2});
  host.answer = [](int n) { return n < 2; };  // OK, OK, Cancel
  const TUnpackResult r = Run(first);
  EXPECT_EQ(host.prompts.size(), 3u);
  EXPECT_TRUE(r.engineEntry.empty());
  EXPECT_EQ(host.ejects, std::vector<std::string>{VolumeName(first, 2)});
  EXPECT_EQ(host.waits, (std::vector<int>{500, 500, 500, 500}));  // after each prompt, then at the end
  EXPECT_EQ(ListNames(out), (std::vector<std::string>{"Engine.exe", "v1.txt"}));
}

TEST_F(TVolumeFixture, VolumeInsertedAtThePromptIsRead) {
  const std::vector<std::string> images = ThreeVolumes();
  const std::string first = WriteVolumes(images, "setup.exe", {2});
  host.answer = [&](int) {
    WriteBytes(VolumeName(first, 2), images[1]);
    return true;
  };
  const TUnpackResult r = Run(first);
  EXPECT_EQ(host.prompts.size(), 1u);
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  EXPECT_EQ(ListNames(out), kAllFiles);
}

TEST_F(TVolumeFixture, LaterVolumeWithBadChecksumEndsTheRun) {
  std::vector<std::string> images = ThreeVolumes();
  images[1][10] ^= 1;
  const TUnpackResult r = Run(WriteVolumes(images));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ListNames(out), (std::vector<std::string>{"Engine.exe", "v1.txt"}));
}

TEST_F(TVolumeFixture, VolumeWithoutMagicIsPassedOverButItsFlagsCount) {
  std::vector<std::string> images = ThreeVolumes();
  PutU32(images[1], images[1].size() - kTrailerSize + kOffMagic, 0);
  const TUnpackResult r = Run(WriteVolumes(images));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ListNames(out), (std::vector<std::string>{"Engine.exe", "v1.txt", "v3.txt"}));
}
