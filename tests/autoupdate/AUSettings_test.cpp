// The agent's settings: value rules, readable clock seconds, file names, the
// transient overrides, the INFORM text and the test-mode decision.
#include "autoupdate/AUSettings.h"

#include <gtest/gtest.h>

#include <chrono>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <tuple>

#include "package/PackWrite.h"
#include "stub/StubState.h"
#include "util/SysText.h"

using namespace AU;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

int64_t Clock(int y, int mo, int d, int h, int mi, int s) { return ClockSecondsOf(TDateTimeParts{y, mo, d, h, mi, s}); }

std::string Stored(const std::string& plain) {
  std::mt19937 rng(7);
  return PackWrite::ScrambleToken(plain, rng);
}

// Elapsed milliseconds of f().
template <typename F>
int64_t TimeMs(F f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(AUSettingsValues, FlagIsTrueOnlyForExactlyOne) {
  const std::pair<const char*, bool> cases[] = {
      {"1", true},   {"0", false},  {"", false},    {"yes", false}, {"true", false}, {"TRUE", false},
      {" 1", false}, {"1 ", false}, {"01", false},  {"11", false},  {"-1", false},   {"1\t", false},
      {"$1", false}, {"0x1", false}, {"1.0", false},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(FlagValue(text), expected) << "'" << text << "'";
}

TEST(AUSettingsValues, OverrideDecidesUnless255) {
  const std::tuple<uint8_t, const char*, bool> cases[] = {
      {255, "1", true}, {255, "0", false}, {255, "yes", false}, {0, "1", false},
      {1, "0", true},   {1, "", true},     {2, "1", false},     {254, "1", false},
  };
  for (const auto& [override, stored, expected] : cases)
    EXPECT_EQ(FlagWithOverride(override, stored), expected) << int(override) << " '" << stored << "'";
}

TEST(AUSettingsValues, IntegerInvalidTextGivesTheDefault) {
  const std::pair<const char*, int64_t> cases[] = {
      {"0", 0},
      {"100", 100},
      {"-1", -1},
      {"-86400", -86400},
      {"+7", 7},
      {" 42 ", 42},
      {"9223372036854775807", kMax},
      {"-9223372036854775808", kMin},
      {"9223372036854775808", 5},   // one past the range
      {"-9223372036854775809", 5},
      {"99999999999999999999999999999999", 5},
      {"", 5},
      {"abc", 5},
      {"12abc", 5},
      {"1e5", 5},
      {"1.5", 5},
      {"1,000", 5},
      {"100 101", 5},
      {"-", 5},
      {"--1", 5},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(IntegerValue(text, 5), expected) << "'" << text << "'";
}

TEST(AUSettingsValues, KeyTableHoldsEveryKeyOnceWithDefaultsOfItsKind) {
  size_t count = 0;
  const TKey* const* keys = AllKeys(count);
  EXPECT_EQ(count, 45u);
  std::set<std::tuple<int, std::string, std::string>> seen;
  for (size_t i = 0; i < count; ++i) {
    const TKey& k = *keys[i];
    EXPECT_TRUE(seen.emplace(int(k.file), k.section, k.name).second) << k.section << "/" << k.name;
    if (k.kind == TKind::Flag) {
      EXPECT_STREQ(k.def, "0") << k.name;
    }
    if (k.kind == TKind::Integer || k.kind == TKind::ClockSeconds) {
      EXPECT_NE(IntegerValue(k.def, -12345), -12345) << k.name;
    }
  }
  // The defaults that differ from empty and 0.
  EXPECT_EQ(IntegerDefault(Keys::AutoInformW), 360);
  EXPECT_EQ(IntegerDefault(Keys::AutoInformH), 360);
  EXPECT_EQ(IntegerDefault(Keys::FontSize), 8);
  EXPECT_STREQ(Keys::FontName.def, "Tahoma");
  EXPECT_STREQ(Keys::BtnText.def, "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_STREQ(Keys::Error.def, "Error");
  EXPECT_STREQ(Keys::Confirm.def, "Confirm");
  EXPECT_STREQ(Keys::Attention.def, "Attention");
}

TEST(AUSettingsValues, MessageTextDefaults) {
  const std::pair<const char*, const char*> cases[] = {
      {"s2", ""},
      {"s3", "File Download Aborted!"},
      {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},
      {"s11", ""},
      {"s24", ""},
      {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."},
      {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},
      {"s35", "Download"},
      {"s36", ""},
      {"", ""},
  };
  for (const auto& [key, text] : cases) EXPECT_EQ(DefaultMessageText(key), text) << key;
}

TEST(AUSettingsClock, ReadableCopies) {
  const std::pair<int64_t, const char*> cases[] = {
      {Clock(2026, 12, 5, 22, 15, 3), "05-DEC-2026 22:15:03"},
      {Clock(2024, 2, 29, 0, 0, 0), "29-FEB-2024 00:00:00"},
      {Clock(2000, 1, 1, 23, 59, 59), "01-JAN-2000 23:59:59"},
      {Clock(9999, 12, 31, 23, 59, 59), "31-DEC-9999 23:59:59"},
      {0, "30-DEC-1899 00:00:00"},
      {86399, "30-DEC-1899 23:59:59"},
      {86400, "31-DEC-1899 00:00:00"},
      // Values that no clock gives are clamped, never shown as a broken text.
      {-1, "30-DEC-1899 00:00:00"},
      {kMin, "30-DEC-1899 00:00:00"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(ReadableClockSeconds(seconds), text) << seconds;
  const std::string last = ReadableClockSeconds(kMax);
  EXPECT_EQ(last, ReadableClockSeconds(kMax / 2));
  EXPECT_EQ(last.substr(last.size() - 9), " 23:59:59");
}

TEST(AUSettingsClock, TestModeDayText) {
  EXPECT_EQ(DayText(TDateTimeParts{2026, 12, 5, 22, 15, 3}), "05-DEC-2026");
  EXPECT_EQ(DayText(TDateTimeParts{2027, 1, 1, 0, 0, 0}), "01-JAN-2027");
  EXPECT_EQ(DayText(TDateTimeParts{12345, 12, 31, 0, 0, 0}), "31-DEC-12345");
  EXPECT_EQ(DayText(TDateTimeParts{-5, 13, -1, 0, 0, 0}), "00-JAN-0000");  // never a broken text
}

TEST(AUSettingsClock, SumsSaturateInsteadOfWrapping) {
  const std::tuple<int64_t, int64_t, int64_t> cases[] = {
      {100, 5, 105},       {100, -1, 99},      {0, 0, 0},          {kMax, 1, kMax},
      {kMax - 5, 10, kMax}, {1, kMax, kMax},    {kMin, -1, kMin},   {-10, kMin, kMin},
      {kMax, kMin, -1},     {Clock(2026, 12, 5, 0, 0, 0), 86400, Clock(2026, 12, 6, 0, 0, 0)},
  };
  for (const auto& [when, seconds, expected] : cases) EXPECT_EQ(ClockSecondsPlus(when, seconds), expected);
}

TEST(AUSettingsNames, OriginalFileNameCutsEveryExtension) {
  const std::pair<const char*, const char*> cases[] = {
      {"Foo.AutoUpdate.info", "Foo.original"},
      {"Prod.Net.AutoUpdate.info", "Prod.original"},
      {"Foo.info", "Foo.original"},
      {"Foo", "Foo.original"},
      {"Foo.", "Foo.original"},
      {"C:\\Program Files\\Acme.dir\\Foo.info", "Foo.original"},
      {"http://updates.example/a.b/Foo.x.info", "Foo.original"},
  };
  for (const auto& [info, original] : cases) EXPECT_EQ(OriginalFileNameOf(info), original) << info;
}

TEST(AUSettingsNames, AgentFileNamesKeepOnlyAUsableNamePart) {
  const std::pair<const char*, const char*> cases[] = {
      {"Update.exe", "Update.exe"},
      {"..\\..\\Windows\\evil.exe", "evil.exe"},
      {"../../evil.exe", "evil.exe"},
      {"http://updates.example/v2/Update.exe", "Update.exe"},
      {"\\\\server\\share\\Update.exe", "Update.exe"},
      {"C:Update.exe", "Update.exe"},
      {"Update 2.exe", "Update 2.exe"},
      {"", ""},
      {"dir\\", ""},
      {"..", ""},
      {".", ""},
      {"  ", ""},
      {"CON", ""},
      {"nul.txt", ""},
      {"updates\\COM1", ""},
      {"LPT1.exe", ""},
      {"*.exe", ""},
      {"Update?.exe", ""},
      {"a<b>.exe", ""},
      {"Up\"date\".exe", ""},
      {"Up|date.exe", ""},
      {"Up\tdate.exe", ""},
  };
  for (const auto& [name, part] : cases) EXPECT_EQ(AgentFileNamePart(name), part) << "'" << name << "'";
  EXPECT_EQ(AgentFilePath("C:\\Agent\\", "x\\Update.exe"), "C:\\Agent\\Update.exe");
  EXPECT_EQ(AgentFilePath("C:\\Agent\\", "NUL"), "");
}

TEST(AUSettingsNames, PathsFollowThePlace) {
  SetPlace(TPlace{"C:\\Agent\\", "Prod.Net.AutoUpdate.info"});
  EXPECT_EQ(InfoFilePath(), "C:\\Agent\\Prod.Net.AutoUpdate.info");
  EXPECT_EQ(OriginalFilePath(), "C:\\Agent\\Prod.original");
  SetPlace(TPlace{"C:\\Agent\\", "..\\elsewhere\\Prod.info"});
  EXPECT_EQ(InfoFilePath(), "C:\\Agent\\Prod.info");
  EXPECT_EQ(OriginalFilePath(), "C:\\Agent\\Prod.original");
  // A package without an INFO file name has no settings files at all.
  SetPlace(TPlace{"C:\\Agent\\", ""});
  EXPECT_EQ(InfoFilePath(), "");
  EXPECT_EQ(OriginalFilePath(), "");
  ResetPlace();
}

TEST(AUSettingsTransient, OptionsKeepTheLowByte) {
  Stub::AgentRun() = Stub::TAgentRun{};
  const std::pair<int64_t, uint8_t> cases[] = {{0, 0}, {1, 1}, {255, 255}, {-1, 255}, {256, 0}, {257, 1},
                                               {0x7FFFFFFF, 255}, {-256, 0}};
  for (const auto& [value, expected] : cases) {
    SetTransientOption(kOvrBackgroundUpdate, value);
    EXPECT_EQ(TransientOption(kOvrBackgroundUpdate), expected) << value;
  }
  EXPECT_FALSE(AskBeforeChecking());
  SetTransientOption(kAskBeforeChecking, 2);
  EXPECT_FALSE(AskBeforeChecking());
  SetTransientOption(kAskBeforeChecking, 257);
  EXPECT_TRUE(AskBeforeChecking());
  Stub::AgentRun() = Stub::TAgentRun{};
}

TEST(AUSettingsTransient, OptionList) {
  TTransientOptions options{255, 255, 255, 255, 255, 255, 255, 255};
  EXPECT_EQ(TransientOptionList(options), "|255|255|255|255|255|255|255|255|");
  options[kOvrConfirmDownload] = 1;
  EXPECT_EQ(TransientOptionList(options), "|255|1|255|255|255|255|255|255|");

  const std::tuple<const char*, TTransientOptions> cases[] = {
      {"|1|0|0|1|1|0|1|0|", {1, 0, 0, 1, 1, 0, 1, 0}},
      {"|||||||||", {9, 9, 9, 9, 9, 9, 9, 9}},            // empty items keep
      {"|x|junk|1e3|1.5|-|2|3|4|", {9, 9, 9, 9, 9, 2, 3, 4}},  // non-integers keep
      {"|257|-1|256|", {1, 255, 0, 9, 9, 9, 9, 9}},       // low byte; missing items keep
      {"", {9, 9, 9, 9, 9, 9, 9, 9}},
      {"|1|2", {1, 9, 9, 9, 9, 9, 9, 9}},                  // unclosed: the item reader finds only the first
      {"|99999999999999999999999|1|", {9, 1, 9, 9, 9, 9, 9, 9}},
  };
  for (const auto& [list, expected] : cases) {
    TTransientOptions o{9, 9, 9, 9, 9, 9, 9, 9};
    ApplyTransientOptionList(o, list);
    EXPECT_EQ(o, expected) << list;
  }
  // The list built from options applies back to the same options.
  TTransientOptions round{};
  ApplyTransientOptionList(round, TransientOptionList(TTransientOptions{1, 0, 255, 7, 0, 1, 255, 2}));
  EXPECT_EQ(round, (TTransientOptions{1, 0, 255, 7, 0, 1, 255, 2}));
}

TEST(AUSettingsInform, PlainAndScrambled) {
  const std::string token = Stored("Prod-2026");
  const std::string plain = "v2|" + token + "|x|y|<B>New</B> version|with a bar";
  for (const std::string& file : {plain, ScrambleText(plain, true)}) {
    const TInformText t = ParseInformText(file);
    EXPECT_EQ(t.storedToken, token);
    EXPECT_TRUE(t.tokenValid);
    EXPECT_EQ(t.token, "Prod-2026");
    EXPECT_EQ(t.text, "<B>New</B> version|with a bar");
  }
  EXPECT_NE(ScrambleText(plain, true).substr(0, 12), plain.substr(0, 12));
}

TEST(AUSettingsInform, MissingSeparatorsEmptyTheFieldsFromThere) {
  const std::string token = Stored("T");
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {"", "", ""},
      {"no separators at all", "", ""},
      {"a|" + token, token, ""},
      {"a|" + token + "|b|c", token, ""},
      {"a|" + token + "|b|c|", token, ""},
      {"|" + token + "|||text", token, "text"},
      {"||||text", "", "text"},
      {"a||b|c|||", "", "||"},
  };
  for (const auto& [file, stored, text] : cases) {
    const TInformText t = ParseInformText(file);
    EXPECT_EQ(t.storedToken, stored) << file;
    EXPECT_EQ(t.text, text) << file;
  }
}

TEST(AUSettingsInform, DamagedTokensAreNotValid) {
  const std::string token = Stored("Prod");
  const std::string cases[] = {
      "a|junk|b|c|text",
      "a||b|c|text",
      "a|" + token.substr(0, token.size() - 2) + "|b|c|text",
      "a|" + token + "00|b|c|text",
      "Scrambled=01",                     // marker alone
      "Scrambled=01\x01\x02\x03|tok|b|c|", // marker with junk
  };
  for (const std::string& file : cases) {
    const TInformText t = ParseInformText(file);
    EXPECT_FALSE(t.tokenValid) << file;
    EXPECT_EQ(t.token, "") << file;
  }
}

TEST(AUSettingsInform, MegabytesOfInputStayLinear) {
  const std::string token = Stored("Prod");
  const std::string bars(4 << 20, '|');
  const std::string longText = "a|" + token + "|b|c|" + std::string(4 << 20, 'x');
  const std::string noBars(4 << 20, 'y');
  for (const std::string* file : {&bars, &longText, &noBars}) {
    TInformText t;
    const int64_t plainMs = TimeMs([&] { t = ParseInformText(*file); });
    const std::string scrambled = ScrambleText(*file, true);
    const int64_t scrambledMs = TimeMs([&] { t = ParseInformText(scrambled); });
    EXPECT_LT(plainMs, 5000);
    EXPECT_LT(scrambledMs, 5000);
  }
  EXPECT_EQ(ParseInformText(longText).text.size(), size_t{4} << 20);
  EXPECT_EQ(ParseInformText(bars).text.size(), (size_t{4} << 20) - 4);
}

TEST(AUSettingsTestMode, OnlyExactlyOneWithTodaysDate) {
  const TDateTimeParts today{2026, 12, 5, 0, 0, 0};
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"1", "05-DEC-2026", true},
      {"1", "04-DEC-2026", false},  // yesterday: lapsed at midnight
      {"1", "06-DEC-2026", false},
      {"0", "05-DEC-2026", false},
      {"", "05-DEC-2026", false},
      {"yes", "05-DEC-2026", false},
      {"1", "", false},
      {"1", "5-DEC-2026", false},
      {"1", "05-dec-2026", false},
      {"1", "05-DEC-2026 ", false},
      {"1", "05-12-2026", false},
      {"\x01", "05-DEC-2026", false},  // a binary value read as text
  };
  for (const auto& [mode, date, expected] : cases)
    EXPECT_EQ(IsTestModeOn(TTestModeValues{mode, date, "C:\\Tests"}, today), expected) << mode << " " << date;
}

TEST(AUSettingsTestMode, TodayIsTheLocalDate) {
  const TDateTimeParts today = Today();
  EXPECT_EQ(today.hour + today.minute + today.second, 0);
  EXPECT_EQ(DayText(today), DateText());  // fails only across midnight
}
