#include "util/OSInfo.h"

#include <gtest/gtest.h>

namespace {

struct TNameCase {
  uint32_t platform, major, minor, build;
  bool is64, server;
  const char* name;
  uint32_t flag;
};

TEST(OSNameFor, FollowsTheWholeTable) {
  const TNameCase cases[] = {
      {0, 3, 10, 0, false, false, "32S", 0},
      {1, 4, 0, 950, false, false, "95", 1},
      {1, 4, 10, 1998, false, false, "98", 2},
      {1, 4, 10, 3000, false, false, "ME", 4},
      {1, 4, 90, 3000, false, false, "ME", 4},
      {1, 5, 0, 0, false, false, "9x", 1},
      {2, 4, 0, 1381, false, false, "NT", 8},
      {2, 5, 0, 2195, false, false, "2000", 16},
      {2, 5, 1, 2600, false, false, "XP", 32},
      {2, 5, 2, 3790, false, false, "2003", 64},
      {2, 6, 0, 6002, false, false, "Vista", 128},
      {2, 6, 1, 7601, false, false, "7", 1024},
      {2, 6, 2, 9200, false, false, "8", 32768},
      {2, 6, 3, 9600, false, false, "8.1", 262144},
      {2, 10, 0, 19045, false, false, "10", 2097152},
      {2, 3, 51, 0, false, false, "NTx", 8},
      {2, 6, 4, 0, true, true, "NTx", 8},
      {2, 5, 1, 2600, true, false, "XP", 32},  // no 64-bit row for 5.1
      {2, 5, 2, 3790, true, false, "XP.64", 256},
      {2, 6, 0, 6002, true, false, "Vista.64", 512},
      {2, 6, 1, 7601, true, false, "7.64", 2048},
      {2, 6, 2, 9200, true, false, "8.64", 65536},
      {2, 6, 3, 9600, true, false, "8.1.64", 524288},
      {2, 10, 0, 19045, true, false, "10.64", 4194304},
      {2, 6, 0, 6002, true, true, "2008.64", 8192},
      {2, 6, 1, 7601, true, true, "2008R2.64", 16384},
      {2, 6, 2, 9200, true, true, "2012.64", 131072},
      {2, 6, 3, 9600, true, true, "2012R2.64", 1048576},
      {2, 10, 0, 17763, true, true, "10.64", 4194304},
      {2, 5, 2, 3790, true, true, "XP.64", 256},
      {2, 6, 0, 6002, false, true, "2008", 4096},
      {2, 6, 1, 7601, false, true, "7", 1024},
      {2, 5, 2, 3790, false, true, "2003", 64},
  };
  for (const TNameCase& c : cases) {
    TOSInfo info;
    info.platformId = c.platform;
    info.major = c.major;
    info.minor = c.minor;
    info.build = c.build;
    info.servicePack = "  Service Pack 1 ";
    const TOSName name = OSNameFor(info, c.is64, c.server);
    SCOPED_TRACE(std::to_string(c.platform) + " " + name.versionText + (c.is64 ? " 64" : "") +
                 (c.server ? " server" : ""));
    EXPECT_EQ(name.name, c.name);
    EXPECT_EQ(name.flag, c.flag);
    EXPECT_EQ(name.build, c.build);
    EXPECT_EQ(name.servicePack, "Service Pack 1");
  }
}

TEST(OSNameFor, VersionTextIsMajorDotMinor) {
  TOSInfo info;
  info.platformId = 2;
  info.major = 10;
  info.minor = 0;
  EXPECT_EQ(OSNameFor(info, false, false).versionText, "10.0");
  info.platformId = 1;
  info.major = 4;
  info.minor = 10;
  info.build = 3000;
  EXPECT_EQ(OSNameFor(info, false, false).versionText, "4.90");
}

TEST(IsWin8OrLaterFor, ComparesTheVersionAsANumber) {
  struct {
    uint32_t platform, major, minor;
    bool expected;
  } cases[] = {{2, 6, 1, false}, {2, 6, 2, true}, {2, 6, 3, true}, {2, 10, 0, true}, {1, 6, 2, false}, {2, 5, 2, false}};
  for (const auto& c : cases) {
    TOSInfo info;
    info.platformId = c.platform;
    info.major = c.major;
    info.minor = c.minor;
    EXPECT_EQ(IsWin8OrLaterFor(info), c.expected) << c.major << "." << c.minor;
  }
}

TEST(UsesKernelVersion, FromReportedSixThreeOn) {
  struct {
    uint32_t major, minor;
    bool expected;
  } cases[] = {{6, 3, true}, {6, 4, true}, {7, 3, true}, {6, 2, false}, {6, 1, false}, {5, 3, false}, {10, 0, false}};
  for (const auto& c : cases) {
    TOSInfo info;
    info.platformId = 2;
    info.major = c.major;
    info.minor = c.minor;
    EXPECT_EQ(UsesKernelVersion(info), c.expected) << c.major << "." << c.minor;
  }
}

TEST(WithProductVersion, TakesTheFirstThreeItems) {
  TOSInfo reported;
  reported.platformId = 2;
  reported.major = 6;
  reported.minor = 3;
  reported.build = 9600;
  const TOSInfo ten = WithProductVersion(reported, "10.0.19041.3636");
  EXPECT_EQ(ten.major, 10u);
  EXPECT_EQ(ten.minor, 0u);
  EXPECT_EQ(ten.build, 19041u);
  EXPECT_EQ(OSNameFor(ten, true, false).name, "10.64");
  const TOSInfo commas = WithProductVersion(reported, "6, 3, 9600, 17415");
  EXPECT_EQ(commas.major, 6u);
  EXPECT_EQ(commas.build, 9600u);
  // Without a readable product version the reported record stays.
  for (const char* bad : {"", "abc", "0.0.0.0"}) {
    const TOSInfo kept = WithProductVersion(reported, bad);
    EXPECT_EQ(kept.major, 6u) << bad;
    EXPECT_EQ(kept.minor, 3u) << bad;
    EXPECT_EQ(kept.build, 9600u) << bad;
  }
}

TEST(VersionTexts, FixedVersionAndShaping) {
  EXPECT_EQ(FixedVersionText(0x00010002, 0x00030004), "1.2.3.4");
  EXPECT_EQ(FixedVersionText(0xFFFF0000, 0x0000FFFF), "65535.0.0.65535");
  EXPECT_EQ(ShapeVersion("1.2.3.4", 1, 4), "1.2.3.4");
  EXPECT_EQ(ShapeVersion("1.2.3.4", 2, 3), "01.02.03");
  EXPECT_EQ(ShapeVersion("10.0.19041.1", 1, 2), "10.0");
  EXPECT_EQ(ShapeVersion("", 2, 3), "");
}

}  // namespace
