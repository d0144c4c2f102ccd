// The agent's settings against real files through the private-profile API
// and real registry values.
#include "autoupdate/AUSettings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "stub/StubState.h"
#include "util/SysText.h"
#include "util/Win.h"

using namespace AU;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

constexpr char kInfoName[] = "Prod.Net.AutoUpdate.info";

class AUSettingsWin : public ::testing::Test {
 protected:
  void SetUp() override {
    Stub::AgentRun() = Stub::TAgentRun{};
    SetPlace(TPlace{dir_.Path() + "\\", kInfoName});
  }
  void TearDown() override {
    ResetPlace();
    Stub::AgentRun() = Stub::TAgentRun{};
  }
  std::string Original() const { return dir_.File("Prod.original"); }
  std::string Info() const { return dir_.File(kInfoName); }
  void WriteOriginal(const std::string& text) const { WriteBytes(Original(), text); }
  void WriteInfo(const std::string& text) const { WriteBytes(Info(), text); }

  TScratchDir dir_;
};

int64_t Clock(int y, int mo, int d, int h, int mi, int s) { return ClockSecondsOf(TDateTimeParts{y, mo, d, h, mi, s}); }

template <typename F>
int64_t TimeMs(F f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_F(AUSettingsWin, FilesLieInTheAgentFolder) {
  EXPECT_EQ(InfoFilePath(), Info());
  EXPECT_EQ(OriginalFilePath(), Original());
  WriteInfo("[NewSetup]\r\nNameOfUpdateFile=..\\..\\elsewhere\\Update.exe\r\n"
            "[AutoInform]\r\nNameOfInformFile=http://updates.example/Inform.txt\r\n");
  EXPECT_EQ(UpdateFilePath(), dir_.File("Update.exe"));
  EXPECT_EQ(InformFilePath(), dir_.File("Inform.txt"));
  WriteInfo("[NewSetup]\r\nNameOfUpdateFile=CON\r\n[AutoInform]\r\nNameOfInformFile=\r\n");
  EXPECT_EQ(UpdateFilePath(), "");
  EXPECT_EQ(InformFilePath(), "");
}

TEST_F(AUSettingsWin, MissingFilesReadAsDefaults) {
  EXPECT_EQ(ProbeSecondsInterval(), 0);
  EXPECT_EQ(ProbeSecondsLast(), 0);
  EXPECT_EQ(VersionOriginal(), 0);
  EXPECT_EQ(ProgramNameOriginal(), "");
  EXPECT_EQ(AutoInformW(), 360);
  EXPECT_EQ(AutoInformH(), 360);
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
  EXPECT_FALSE(IsAutoInform());
  const TMsgBoxLook look = MsgBoxLook();
  EXPECT_EQ(look.btnText, kDefaultBtnText);
  EXPECT_EQ(look.error, "Error");
  EXPECT_EQ(look.fontName, "Tahoma");
  EXPECT_EQ(look.fontSize, 8);
  EXPECT_EQ(look.charSet, 0);
  EXPECT_EQ(MessageText("s3"), "File Download Aborted!");
  EXPECT_EQ(MessageText("s22"), "");
  EXPECT_EQ(MessageText("s2", "fallback"), "fallback");
}

TEST_F(AUSettingsWin, StoredValuesByKind) {
  struct Case {
    const char* line;
    const TKey* key;
    const char* expected;  // text, integer as decimal, or flag as "1"/"0"
  } cases[] = {
      {"ProbeSecondsInterval=3600", &Keys::ProbeSecondsInterval, "3600"},
      {"ProbeSecondsInterval=-1", &Keys::ProbeSecondsInterval, "-1"},
      {"ProbeSecondsInterval=every hour", &Keys::ProbeSecondsInterval, "0"},
      {"ProbeSecondsInterval=99999999999999999999999", &Keys::ProbeSecondsInterval, "0"},
      {"ProbeSecondsInterval=", &Keys::ProbeSecondsInterval, "0"},
      {"ProbeSecondsLast=9223372036854775807", &Keys::ProbeSecondsLast, "9223372036854775807"},
      {"VersionOriginal=  105  ", &Keys::VersionOriginal, "105"},
      {"VersionOriginal=1.05", &Keys::VersionOriginal, "0"},
      {"FontSize=huge", &Keys::FontSize, "8"},
      {"FontName=", &Keys::FontName, "Tahoma"},
      {"BtnText=|OK|Abbrechen|Ja|Nein|", &Keys::BtnText, "|OK|Abbrechen|Ja|Nein|"},
      {"ValidVersions=100, 101", &Keys::ValidVersions, "100, 101"},
      {"RequestConfirmationBeforeDownload=1", &Keys::RequestConfirmationBeforeDownload, "1"},
      {"RequestConfirmationBeforeDownload=true", &Keys::RequestConfirmationBeforeDownload, "0"},
      {"RequestConfirmationBeforeDownload=yes", &Keys::RequestConfirmationBeforeDownload, "0"},
      {"RequestConfirmationBeforeDownload=\" 1\"", &Keys::RequestConfirmationBeforeDownload, "0"},
      {"RequestConfirmationBeforeDownload=01", &Keys::RequestConfirmationBeforeDownload, "0"},
      {"RemoveStartUpShortcut=1", &Keys::RemoveStartUpShortcut, "1"},
      {"AutoInform=1", &Keys::AutoInformMode, "1"},
      {"AutoInform=one", &Keys::AutoInformMode, "0"},
      {"AutoInformW=-5", &Keys::AutoInformW, "-5"},
  };
  for (const Case& c : cases) {
    const std::string text = "[" + std::string(c.key->section) + "]\r\n" + c.line + "\r\n";
    WriteBytes(FilePathOf(c.key->file), text);
    std::string got;
    switch (c.key->kind) {
      case TKind::Text: got = ReadText(*c.key); break;
      case TKind::Flag: got = ReadFlag(*c.key) ? "1" : "0"; break;
      default: got = std::to_string(ReadInteger(*c.key)); break;
    }
    EXPECT_EQ(got, c.expected) << c.line;
  }
}

TEST_F(AUSettingsWin, MissingSectionsAndJunkFilesGiveDefaults) {
  const std::string files[] = {
      "[General]\r\nAutoInform=1\r\n",
      "no section at all\r\nVersionOriginal=7\r\n",
      std::string("\0\0\xFF\xFE junk [ ] = =\r\n", 18),
      "[OriginalSetup\r\nVersionOriginal=7\r\n",
  };
  for (const std::string& text : files) {
    WriteOriginal(text);
    WriteInfo(text);
    EXPECT_EQ(VersionOriginal(), 0);
    EXPECT_EQ(VersionNew(), 0);
    EXPECT_EQ(NameOfUpdateFile(), "");
    EXPECT_EQ(MsgBoxLook().confirm, "Confirm");
    EXPECT_FALSE(InformFinish());
  }
}

TEST_F(AUSettingsWin, WritesGoStraightToTheFileAndReadsSeeEveryChange) {
  WriteOriginal("[OriginalSetup]\r\nVersionOriginal=100\r\nProgramName=Acme\r\n[MsgBox]\r\nFontSize=10\r\n");
  const int64_t when = Clock(2026, 12, 5, 22, 15, 3);
  EXPECT_TRUE(WriteProbeSecondsLast(when));
  EXPECT_TRUE(WriteReAskSecondsLast(when + 60));
  EXPECT_TRUE(WriteProbeSecondsInterval(-1));
  EXPECT_TRUE(WriteReAskSecondsInterval(86400));
  EXPECT_TRUE(WriteStampOriginal(42));
  EXPECT_TRUE(WriteVersionOriginal(101));
  EXPECT_EQ(ProbeSecondsLast(), when);
  EXPECT_EQ(ReAskSecondsLast(), when + 60);
  EXPECT_EQ(ProbeSecondsInterval(), -1);
  EXPECT_EQ(ReAskSecondsInterval(), 86400);
  EXPECT_EQ(StampOriginal(), 42);
  EXPECT_EQ(VersionOriginal(), 101);
  EXPECT_EQ(ReadText(Keys::ProbeSecondsLastText), "05-DEC-2026 22:15:03");
  EXPECT_EQ(ReadText(Keys::ReAskSecondsLastText), "05-DEC-2026 22:16:03");
  const std::string text = ReadBytes(Original());
  EXPECT_NE(text.find("ProbeSecondsLast=" + std::to_string(when)), std::string::npos);
  EXPECT_NE(text.find("__ProbeSecondsLast=05-DEC-2026 22:15:03"), std::string::npos);
  // The other keys stay.
  EXPECT_EQ(ProgramNameOriginal(), "Acme");
  EXPECT_EQ(MsgBoxLook().fontSize, 10);

  // A file replaced by someone else is read anew at once.
  WriteOriginal("[OriginalSetup]\r\nVersionOriginal=200\r\n");
  EXPECT_EQ(VersionOriginal(), 200);
  EXPECT_EQ(ProbeSecondsLast(), 0);
  DeleteFileA(Original().c_str());
  EXPECT_EQ(VersionOriginal(), 0);
}

TEST_F(AUSettingsWin, AFailedWriteIsReportedAsFailed) {
  SetPlace(TPlace{dir_.File("missing folder") + "\\", kInfoName});
  EXPECT_FALSE(WriteProbeSecondsLast(Clock(2026, 12, 5, 0, 0, 0)));
  EXPECT_EQ(ProbeSecondsLast(), 0);

  SetPlace(TPlace{dir_.Path() + "\\", ""});  // no INFO name: no settings files
  EXPECT_FALSE(WriteVersionOriginal(5));
  EXPECT_EQ(VersionOriginal(), 0);

  SetPlace(TPlace{dir_.Path() + "\\", kInfoName});
  WriteOriginal("[OriginalSetup]\r\nStamp=1\r\n");
  // A line break would smuggle a key of its own into the file.
  EXPECT_FALSE(WriteText(Keys::ProgramNameOriginal, "Acme\r\nVersionOriginal=999"));
  EXPECT_FALSE(WriteText(Keys::ProgramNameOriginal, "Acme\nVersionOriginal=999"));
  EXPECT_EQ(VersionOriginal(), 0);
  EXPECT_TRUE(WriteText(Keys::ProgramNameOriginal, "Acme 2"));
  EXPECT_EQ(ProgramNameOriginal(), "Acme 2");
  // A file that another process holds without sharing takes no write.
  HANDLE held = CreateFileA(Original().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteStampOriginal(2));
  CloseHandle(held);
  EXPECT_EQ(StampOriginal(), 1);
}

TEST_F(AUSettingsWin, OverridesReplaceTheFlagsOfTheInfoFile) {
  WriteInfo("[NewSetup]\r\nRequestConfirmationBeforeDownload=1\r\nRequestConfirmationBeforeInstall=1\r\n"
            "BackgroundUpdate=1\r\nInformFinish=1\r\nRestartProcess=1\r\n"
            "RequestConfirmationBeforeDownloadForce=1\r\nRequestConfirmationBeforeInstallForce=1\r\n"
            "RemoveStartUpShortcut=1\r\n");
  struct Case {
    TTransient index;
    bool (*read)();
  } cases[] = {
      {kOvrConfirmDownload, RequestConfirmationBeforeDownload},
      {kOvrConfirmInstall, RequestConfirmationBeforeInstall},
      {kOvrBackgroundUpdate, BackgroundUpdate},
      {kOvrInformFinish, InformFinish},
      {kOvrRestartProcess, RestartProcess},
      {kOvrConfirmDownloadForce, RequestConfirmationBeforeDownloadForce},
      {kOvrConfirmInstallForce, RequestConfirmationBeforeInstallForce},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(c.read()) << c.index;
    SetTransientOption(c.index, 0);
    EXPECT_FALSE(c.read()) << c.index;
    SetTransientOption(c.index, 2);
    EXPECT_FALSE(c.read()) << c.index;
    SetTransientOption(c.index, 255);
    EXPECT_TRUE(c.read()) << c.index;
  }
  // The overrides of one flag leave the others and the flags without one alone.
  SetTransientOption(kOvrConfirmDownload, 0);
  EXPECT_TRUE(RemoveStartUpShortcut());
  EXPECT_TRUE(RequestConfirmationBeforeInstall());

  WriteInfo("[NewSetup]\r\nRequestConfirmationBeforeDownload=true\r\n");
  SetTransientOption(kOvrConfirmDownload, 255);
  EXPECT_FALSE(RequestConfirmationBeforeDownload());
  SetTransientOption(kOvrConfirmDownload, 1);
  EXPECT_TRUE(RequestConfirmationBeforeDownload());
}

TEST_F(AUSettingsWin, MegabyteLinesAreReadBoundedAndQuickly) {
  const std::string huge(2 << 20, 'x');
  WriteOriginal("[OriginalSetup]\r\nProgramName=" + huge + "\r\nVersionOriginal=" + huge +
                "\r\nStamp=77\r\n[AutoUpdate]\r\ns21=" + huge + "\r\n");
  std::string name;
  int64_t version = -1, stamp = -1;
  std::string message;
  const int64_t ms = TimeMs([&] {
    name = ProgramNameOriginal();
    version = VersionOriginal();
    stamp = StampOriginal();
    message = MessageText("s21");
  });
  EXPECT_LT(ms, 20000);
  EXPECT_LE(name.size(), size_t{32769});
  EXPECT_EQ(name.find_first_not_of('x'), std::string::npos);
  EXPECT_LE(message.size(), size_t{32769});
  EXPECT_EQ(version, 0);
  EXPECT_EQ(stamp, 77);
}

TEST_F(AUSettingsWin, InformFilePlainScrambledMissingAndTooLarge) {
  std::mt19937 rng(3);
  const std::string token = PackWrite::ScrambleToken("Prod-2026", rng);
  const std::string plain = "1|" + token + "|||<B>Version 2</B> is out";
  const std::string path = dir_.File("Inform.txt");
  for (const std::string& text : {plain, ScrambleText(plain, true)}) {
    WriteBytes(path, text);
    const TInformText t = ReadInformFile(path);
    EXPECT_TRUE(t.tokenValid);
    EXPECT_EQ(t.token, "Prod-2026");
    EXPECT_EQ(t.text, "<B>Version 2</B> is out");
  }
  EXPECT_FALSE(ReadInformFile(dir_.File("missing.txt")).tokenValid);
  EXPECT_FALSE(ReadInformFile("").tokenValid);
  WriteBytes(path, plain + std::string(kMaxInformFileBytes, ' '));
  const TInformText big = ReadInformFile(path);
  EXPECT_FALSE(big.tokenValid);
  EXPECT_EQ(big.text, "");
}

// --- Test-mode registry values ----------------------------------------------------

namespace {

class TestModeRegistry : public ::testing::Test {
 protected:
  static constexpr char kSubKey[] = "Software\\Meridane\\Varnel\\AutoUpdate";
  void SetUp() override { Clear(); }
  void TearDown() override { Clear(); }
  static void Clear() { RegDeleteKeyA(HKEY_CURRENT_USER, kSubKey); }
  static void Set(const char* name, DWORD type, const std::string& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSubKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
  }
  static void SetText(const char* name, const std::string& text) { Set(name, REG_SZ, text + std::string(1, '\0')); }
  static void SetDword(const char* name, uint32_t value) {
    Set(name, REG_DWORD, std::string(reinterpret_cast<const char*>(&value), 4));
  }
  static bool On() { return IsTestModeOn(ReadTestModeValues(), Today()); }
  static std::string TodayText() { return DayText(Today()); }
  static std::string YesterdayText() { return ReadableClockSeconds(ClockSecondsOf(Today()) - 86400).substr(0, 11); }
};

}  // namespace

TEST_F(TestModeRegistry, MissingKeyGivesTheDefaults) {
  const TTestModeValues v = ReadTestModeValues();
  EXPECT_EQ(v.testMode, "0");
  EXPECT_EQ(v.testModeDate, "");
  EXPECT_EQ(v.testModeURL, "");
  EXPECT_FALSE(On());
}

TEST_F(TestModeRegistry, OnWithTodaysDateOnly) {
  SetText("TestMode", "1");
  SetText("TestModeDate", TodayText());
  SetText("TestModeURL", "C:\\Updates");
  EXPECT_TRUE(On());
  EXPECT_EQ(ReadTestModeValues().testModeURL, "C:\\Updates");
  SetText("TestModeDate", YesterdayText());
  EXPECT_FALSE(On());
  SetText("TestModeDate", TodayText());
  SetText("TestMode", "yes");
  EXPECT_FALSE(On());
  SetDword("TestMode", 1);  // a DWORD reads as its decimal text
  EXPECT_TRUE(On());
}

TEST_F(TestModeRegistry, WrongValueTypesNeverSwitchItOn) {
  SetText("TestModeDate", TodayText());
  const struct {
    DWORD type;
    std::string data;
  } modes[] = {
      {REG_DWORD, std::string("\x02\0\0\0", 4)},
      {REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)},
      {REG_BINARY, std::string("\x01", 1)},
      {REG_BINARY, ""},
      {REG_DWORD, std::string("\x01\0", 2)},  // a DWORD of the wrong size
      {REG_SZ, std::string("1 ", 2)},
  };
  for (const auto& m : modes) {
    Set("TestMode", m.type, m.data);
    EXPECT_FALSE(On()) << m.type;
  }
  SetText("TestMode", "1");
  SetDword("TestModeDate", 5122026);
  EXPECT_FALSE(On());
  Set("TestModeDate", REG_BINARY, TodayText().substr(0, 6));
  EXPECT_FALSE(On());
}
