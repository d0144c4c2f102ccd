#include "package/PackX.h"

#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "util/FileIO.h"

using namespace PackFormat;
using testsupport::FakeStubImage;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

TPackageWriter SampleWriter() {
  TPackageWriter w;
  w.stubImage = FakeStubImage(2048);
  std::mt19937 rng(7);
  w.infoBlock = PackWrite::InfoBlock("http://example.com/upd/", "dir\\Foo.Bar.info", "Agent.exe",
                                     PackWrite::ScrambleToken("secret-42", rng), true);
  w.options = kOptTempDriveNotice | kOptActivityBar;
  w.carriesAgent = true;
  w.AddFile("Engine.exe*", 1248086749, "engine bytes");
  w.AddFile("a.txt", 1248086749, std::string(5000, 'a'));
  return w;
}

// Replaces the 74-byte trailer at the end of `image` by one of `length` bytes:
// the record's first min(74, length) - 4 bytes, filler, then the length word.
std::string WithTrailerLength(const std::string& image, uint32_t length) {
  std::string body = image.substr(0, image.size() - kTrailerSize);
  std::string record = image.substr(image.size() - kTrailerSize, kTrailerSize - 4);
  std::string trailer = record.substr(0, std::min<uint32_t>(length, 74) - 4);
  trailer.resize(length - 4, '\xEE');
  PutU32(trailer, trailer.size(), length);
  return body + trailer;
}

}  // namespace

TEST(PackX, ReadsWhatTheWriterWrote) {
  TScratchDir dir;
  TPackageWriter w = SampleWriter();
  std::string image = w.Build();
  WriteBytes(dir.File("setup.exe"), image);

  TGFileInfo info(dir.File("setup.exe"));
  const TPackTrailer& t = info.Trailer();
  ASSERT_TRUE(t.HasMagic());
  EXPECT_EQ(t.InfoBlockCount(), 2);
  EXPECT_EQ(t.EntryCount(), 2u);
  EXPECT_EQ(t.Length(), 74u);
  EXPECT_EQ(ReadPackageEndOfImage(image), static_cast<int64_t>(image.size()));
  // After construction the data start points at the first file entry.
  const size_t firstEntry = 2048 + 8 + w.languageBlock.size() + w.infoBlock.size();
  EXPECT_EQ(t.DataStart(), firstEntry);
  EXPECT_EQ(info.LanguageBlock(), PackWrite::DefaultLanguageBlock());
  EXPECT_EQ(info.InfoFolderURL(), "http://example.com/upd/");
  EXPECT_EQ(info.InfoFileName(), "Foo.Bar.info");
  EXPECT_EQ(info.OriginalFileName(), "Foo.original");
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
  EXPECT_EQ(info.SecretToken(true), "secret-42");
  EXPECT_NE(info.SecretToken(false), "secret-42");
  EXPECT_TRUE(info.BackgroundSetup());
  EXPECT_TRUE(info.TempDriveNotice());
  EXPECT_FALSE(info.MoreVolumes());
  EXPECT_FALSE(info.CopyToTemp());
  EXPECT_TRUE(info.ShowActivityBar());
  EXPECT_FALSE(info.AgentTraceLog());
  EXPECT_TRUE(info.CarriesAgent());
  EXPECT_FALSE(info.IsAgentPackage());
  EXPECT_FALSE(info.DownloadSetup());
  EXPECT_EQ(info.DownloadURL(), "");
  EXPECT_EQ(PackageChecksum(dir.File("setup.exe"), t.Length()), t.Checksum());
}

TEST(PackX, EveryTrailerFlagMapsToItsAccessor) {
  TScratchDir dir;
  struct Case {
    uint8_t options, download, ask, carries, agent;
  } cases[] = {{kOptMoreVolumes, 0, 0, 0, 0}, {kOptCopyToTemp, 1, 0, 0, 0}, {kOptAgentTraceLog, 0, 1, 0, 1},
               {0x1F, 1, 1, 1, 1}};
  for (const Case& c : cases) {
    TPackageWriter w;
    w.options = c.options;
    w.downloadSetup = c.download;
    w.askBeforeDownload = c.ask;
    w.carriesAgent = c.carries;
    w.agentPackage = c.agent;
    WriteBytes(dir.File("p.bin"), w.Build());
    TGFileInfo info(dir.File("p.bin"));
    EXPECT_EQ(info.TempDriveNotice(), (c.options & 1) != 0);
    EXPECT_EQ(info.MoreVolumes(), (c.options & 2) != 0);
    EXPECT_EQ(info.CopyToTemp(), (c.options & 4) != 0);
    EXPECT_EQ(info.ShowActivityBar(), (c.options & 8) != 0);
    EXPECT_EQ(info.AgentTraceLog(), (c.options & 16) != 0);
    EXPECT_EQ(info.DownloadSetup(), c.download != 0);
    EXPECT_EQ(info.AskBeforeDownload(), c.ask != 0);
    EXPECT_EQ(info.CarriesAgent(), c.carries != 0);
    EXPECT_EQ(info.IsAgentPackage(), c.agent != 0);
  }
}

TEST(PackX, DownloadBlockIsReadWithThreeInformationBlocks) {
  TScratchDir dir;
  TPackageWriter w = SampleWriter();
  std::mt19937 rng(3);
  w.downloadBlock = PackWrite::DownloadBlock("http://dl.example.com/files", "Full Setup.exe", true,
                                             PackWrite::ScrambleToken("dl-token", rng), "73400320");
  WriteBytes(dir.File("setup.exe"), w.Build());
  TGFileInfo info(dir.File("setup.exe"));
  EXPECT_EQ(info.Trailer().InfoBlockCount(), 3);
  EXPECT_EQ(info.DownloadURL(), "http://dl.example.com/files");
  EXPECT_EQ(info.DownloadFileName(), "Full Setup.exe");
  EXPECT_TRUE(info.AlwaysDownload());
  EXPECT_EQ(info.DownloadToken(true), "dl-token");
  EXPECT_EQ(info.DownloadSize(), "73400320");
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
}

TEST(PackX, InformationBlockCountZeroReadsAsTwo) {
  TScratchDir dir;
  std::string image = SampleWriter().Build();
  image[image.size() - kTrailerSize + kOffInfoBlockCount] = 0;
  WriteBytes(dir.File("setup.exe"), image);
  TGFileInfo info(dir.File("setup.exe"));
  EXPECT_EQ(info.Trailer().InfoBlockCount(), 2);
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
  EXPECT_EQ(info.DownloadBlock(), "");
}

TEST(PackX, SignatureAfterThePackageIsIgnoredThroughTheEndPointer) {
  TScratchDir dir;
  std::string image = SampleWriter().Build();
  std::string signature(3000, '\x5A');
  PutU32(signature, signature.size() - 4, 12345);  // would be a bogus trailer length
  WriteBytes(dir.File("signed.exe"), image + signature);
  TGFileInfo info(dir.File("signed.exe"));
  EXPECT_TRUE(info.Trailer().HasMagic());
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
}

TEST(PackX, PEImageWithoutEndPointerIsReadFromItsPhysicalEnd) {
  TScratchDir dir;
  TPackageWriter w = SampleWriter();
  w.setEndPointer = false;
  std::string image = w.Build();
  EXPECT_EQ(ReadPackageEndOfImage(image), 0);
  WriteBytes(dir.File("setup.exe"), image);
  TGFileInfo info(dir.File("setup.exe"));
  EXPECT_TRUE(info.Trailer().HasMagic());
  EXPECT_EQ(info.SecretToken(true), "secret-42");
}

TEST(PackX, ShortTrailerFillsOnlyLeadingFields) {
  TScratchDir dir;
  TPackageWriter w = SampleWriter();
  w.stubImage.clear();  // a bare package: no end pointer
  WriteBytes(dir.File("old.bin"), WithTrailerLength(w.Build(), 60));
  TGFileInfo info(dir.File("old.bin"));
  const TPackTrailer& t = info.Trailer();
  EXPECT_TRUE(t.HasMagic());
  EXPECT_EQ(t.Length(), 60u);
  EXPECT_EQ(t.EntryCount(), 2u);
  EXPECT_NE(t.SpaceEntry(6), 0u);  // bytes 52..55 are inside the short record
  EXPECT_EQ(t.SpaceEntry(7), 0u);  // bytes 56.. are not
  EXPECT_EQ(t.Options(), 0);
  EXPECT_FALSE(info.CarriesAgent());
  EXPECT_EQ(info.AgentFileName(), "Agent.exe");
}

TEST(PackX, LongTrailerReadsOnlySeventyBytes) {
  TScratchDir dir;
  TPackageWriter w = SampleWriter();
  w.stubImage.clear();
  WriteBytes(dir.File("new.bin"), WithTrailerLength(w.Build(), 90));
  TGFileInfo info(dir.File("new.bin"));
  EXPECT_TRUE(info.Trailer().HasMagic());
  EXPECT_EQ(info.Trailer().Length(), 74u);
  EXPECT_TRUE(info.CarriesAgent());
  EXPECT_TRUE(info.ShowActivityBar());
}

TEST(PackX, MissingAndForeignFilesGiveDefaults) {
  TScratchDir dir;
  TGFileInfo missing(dir.File("nothing.exe"));
  for (uint8_t b : missing.Trailer().bytes) EXPECT_EQ(b, 0);
  EXPECT_EQ(missing.AgentFileName(), "");
  EXPECT_EQ(missing.LanguageBlock(), "");

  std::string foreign(4096, 'x');
  WriteBytes(dir.File("foreign.exe"), foreign);
  TGFileInfo info(dir.File("foreign.exe"));
  EXPECT_FALSE(info.Trailer().HasMagic());
  EXPECT_EQ(info.LanguageBlock(), "");
  EXPECT_EQ(info.PackageInfoBlock(), "");
  EXPECT_FALSE(IsPEImage(dir.File("foreign.exe")));
  EXPECT_FALSE(IsPEImage(dir.File("nothing.exe")));
}

// A file with no package (a bare stub, a foreign program) whose last word
// happens to point at bytes with option bits set reads with every flag off.
TEST(PackX, BytesWithoutTheMagicAreNoFlags) {
  TScratchDir dir;
  std::string image(4096, '\xFF');
  PutU32(image, image.size() - 4, 200);  // a "trailer" of 200 bytes of 0xFF
  WriteBytes(dir.File("bare.exe"), image);
  TGFileInfo info(dir.File("bare.exe"));
  EXPECT_FALSE(info.Trailer().HasMagic());
  for (uint8_t b : info.Trailer().bytes) EXPECT_EQ(b, 0);
  EXPECT_FALSE(info.CopyToTemp());
  EXPECT_FALSE(info.IsAgentPackage());
  EXPECT_FALSE(info.DownloadSetup());
  EXPECT_FALSE(info.CarriesAgent());
}

TEST(PackX, HostileLengthsNeverReadOutOfRange) {
  TScratchDir dir;
  const std::string good = SampleWriter().Build();
  const size_t trailer = good.size() - kTrailerSize;
  struct Case {
    const char* what;
    std::string image;
  };
  std::vector<Case> cases;
  auto withWord = [&](size_t offset, uint32_t v) {
    std::string s = good;
    PutU32(s, offset, v);
    return s;
  };
  cases.push_back({"trailer length 0", withWord(good.size() - 4, 0)});
  cases.push_back({"trailer length negative", withWord(good.size() - 4, 0xFFFFFFF0u)});
  cases.push_back({"trailer length beyond the file", withWord(good.size() - 4, 0x7FFFFFFFu)});
  cases.push_back({"end pointer beyond the file", withWord(kEndPointerLow, 0x7FFFFFF0u)});
  cases.push_back({"end pointer high word", withWord(kEndPointerHigh, 0x10)});
  cases.push_back({"end pointer below 4", withWord(kEndPointerLow, 2)});
  cases.push_back({"data start beyond the file", withWord(trailer + kOffDataStart, 0x7FFFFFFFu)});
  cases.push_back({"block length beyond the end", withWord(2048, 0x7FFFFFF0u)});
  cases.push_back({"negative block length", withWord(2048, 0x80000000u)});
  cases.push_back({"truncated", good.substr(0, good.size() - 30)});
  cases.push_back({"tiny", "MZ"});
  cases.push_back({"empty", ""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(dir.File("bad.exe"), c.image);
    TGFileInfo info(dir.File("bad.exe"));
    EXPECT_LE(info.LanguageBlock().size(), good.size());
    EXPECT_LE(info.Trailer().Length(), 74u);
    PackageChecksum(dir.File("bad.exe"), info.Trailer().Length());
  }
}

TEST(PackX, ChecksumDetectsAChangedByteAndSkipsLargeFiles) {
  TScratchDir dir;
  TPackageWriter w = SampleWriter();
  std::string image = w.Build();
  const uint32_t stored = PackFormat::GetU32(image, image.size() - kTrailerSize + kOffChecksum);
  ASSERT_NE(stored, kNoChecksum);
  ASSERT_GT(image.size(), 2100u);
  image[2100] ^= 0x40;
  WriteBytes(dir.File("bad.exe"), image);
  EXPECT_NE(PackageChecksum(dir.File("bad.exe"), 74), stored);

  TPackageWriter big;
  big.level = 0;
  big.AddFile("big.bin", 0, std::string(60000, 'b'));
  std::string bigImage = big.Build();
  EXPECT_EQ(PackFormat::GetU32(bigImage, bigImage.size() - kTrailerSize + kOffChecksum), kNoChecksum);
  WriteBytes(dir.File("big.bin"), bigImage);
  EXPECT_EQ(PackageChecksum(dir.File("big.bin"), 74), kNoChecksum);
}

TEST(PackX, TokenRoundTripsThroughScrambler) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> len(0, 40), ch(1, 255);
  for (int i = 0; i < 500; ++i) {
    std::string token;
    for (int n = len(rng); n > 0; --n) token += static_cast<char>(ch(rng));
    std::string stored = PackWrite::ScrambleToken(token, rng);
    EXPECT_EQ(UnscrambleToken(stored), token) << "token #" << i;
    EXPECT_EQ(stored.find('|'), std::string::npos);
  }
}

TEST(PackX, DamagedTokenGivesARandomNumber) {
  std::mt19937 rng(99);
  const std::string stored = PackWrite::ScrambleToken("product-token", rng);
  std::string damaged = stored;
  damaged[6] = damaged[6] == 'b' ? 'c' : 'b';
  const std::string inputs[] = {damaged, "", "bbbbbbbb", "zz", "hello world", "ccddeeff"};
  for (const std::string& s : inputs) {
    std::string r = UnscrambleToken(s);
    EXPECT_NE(r, "product-token");
    EXPECT_FALSE(r.empty());
    EXPECT_EQ(r.find_first_not_of("0123456789"), std::string::npos) << r;
    EXPECT_LT(std::stoi(r), 99999);
  }
}

// Two damaged tokens unscrambled within one clock tick read as the same
// random text; a comparison must still never accept them.
TEST(PackX, TokensMatchOnlyWhenBothAreWholeAndEqual) {
  std::mt19937 rng(5);
  const std::string product = PackWrite::ScrambleToken("product-token", rng);
  const std::string productAgain = PackWrite::ScrambleToken("product-token", rng);  // other padding
  const std::string other = PackWrite::ScrambleToken("other-token", rng);
  const std::string empty = PackWrite::ScrambleToken("", rng);
  std::string damaged = product;
  damaged[6] = damaged[6] == 'b' ? 'c' : 'b';
  const struct {
    std::string a, b;
    bool match;
  } cases[] = {
      {product, product, true},   {product, productAgain, true}, {product, other, false},
      {damaged, damaged, false},  {damaged, product, false},     {product, damaged, false},
      {"", "", false},            {empty, empty, false},         {"zz", "zz", false},
      {"bbbbbbbb", "bbbbbbbb", false},
  };
  for (const auto& c : cases) EXPECT_EQ(TokensMatch(c.a, c.b), c.match) << c.a << " / " << c.b;
  EXPECT_EQ(TryUnscrambleToken(product), std::optional<std::string>("product-token"));
  EXPECT_EQ(TryUnscrambleToken(damaged), std::nullopt);
  EXPECT_EQ(TryUnscrambleToken(empty), std::optional<std::string>(""));
}

TEST(PackX, DownloadTokensOfTwoPackagesMatchOnlyWhenWhole) {
  TScratchDir dir;
  std::mt19937 rng(11);
  auto write = [&dir, &rng](const std::string& name, const std::string& stored) {
    TPackageWriter w;
    w.stubImage = FakeStubImage(1024);
    w.downloadBlock = PackWrite::DownloadBlock("http://example.com/dl", "setup.exe", false, stored, "1000");
    WriteBytes(dir.File(name), w.Build());
    return TGFileInfo(dir.File(name));
  };
  const std::string token = PackWrite::ScrambleToken("DL", rng);
  std::string damaged = token;
  damaged[4] = damaged[4] == 'b' ? 'c' : 'b';
  const TGFileInfo a = write("a.exe", token), b = write("b.exe", PackWrite::ScrambleToken("DL", rng));
  const TGFileInfo broken1 = write("c.exe", damaged), broken2 = write("d.exe", damaged);
  EXPECT_TRUE(a.DownloadTokenMatches(b));
  EXPECT_FALSE(a.DownloadTokenMatches(broken1));
  EXPECT_FALSE(broken1.DownloadTokenMatches(broken2));
}

TEST(PackX, SpaceTableIndexFollowsClusterSize) {
  struct {
    int64_t cluster;
    int index;
  } cases[] = {{0, 0}, {256, 0}, {511, 0}, {512, 1}, {1024, 2}, {4096, 4}, {8191, 4}, {65536, 8}, {1 << 20, 8}};
  for (auto c : cases) EXPECT_EQ(SpaceTableIndex(c.cluster), c.index) << c.cluster;
}

TEST(PackX, SpaceRequiredUsesTheDrivesClusterSize) {
  TScratchDir dir;
  TPackageWriter w;
  w.AddFile("one.bin", 0, std::string(1000, '1'));
  w.AddFile("two.bin", 0, std::string(5000, '2'));
  WriteBytes(dir.File("p.bin"), w.Build());
  TGFileInfo info(dir.File("p.bin"));
  EXPECT_EQ(info.Trailer().SpaceEntry(0), 6000u);
  EXPECT_EQ(info.Trailer().SpaceEntry(1), 1024u + 5120u);
  EXPECT_EQ(info.Trailer().SpaceEntry(4), 4096u + 8192u);
  EXPECT_EQ(info.Trailer().SpaceEntry(8), 2u * 65536u);
  const double expected = info.Trailer().SpaceEntry(SpaceTableIndex(DriveClusterSize(dir.File("p.bin"))));
  EXPECT_EQ(info.SpaceRequired(dir.File("p.bin")), expected);
  EXPECT_GT(DriveClusterSize(dir.File("p.bin")), 0);
}

TEST(PackX, VolumeNames) {
  EXPECT_EQ(VolumeName("setup.exe", 2), "setup.exe.002");
  EXPECT_EQ(VolumeName("setup.exe.001", 2), "setup.exe.002");
  EXPECT_EQ(VolumeName("D:\\x\\setup.exe.001", 12), "D:\\x\\setup.exe.012");
  EXPECT_EQ(VolumeName("setup.exe", 1000), "setup.exe.1000");
}
