// The auto-update agent's settings: the files beside the agent (.original,
// INFO, UPDATE, INFORM), every key with its kind and default, the transient
// overrides of seven INFO flags, the readable copies of clock seconds, the
// INFORM text and the test-mode registry values.
//
// Layers:
//  - the key table and the conversions (names, flag and integer rules,
//    readable dates, the INFORM text, the test-mode decision) are pure and
//    portable (AUSettings.cpp);
//  - reads and writes go through the private-profile API, uncached, and the
//    registry (AUSettings_win32.cpp): every call opens the file again, so a
//    value written by one step is what the next step reads. A missing file,
//    section or key gives the default; a failed write gives false and the
//    caller carries on.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "util/SysText.h"

namespace AU {

// ---------------------------------------------------------------------------
// Key table
// ---------------------------------------------------------------------------

enum class TFile : uint8_t { Original, Info };
enum class TKind : uint8_t {
  Text,          // the value as stored
  Integer,       // signed 64-bit; text that is not a valid integer gives the default
  Flag,          // true only for exactly "1"
  ClockSeconds,  // an integer: local seconds since 30 December 1899
};

struct TKey {
  TFile file;
  const char* section;
  const char* name;
  TKind kind;
  const char* def;  // the default as stored text ("0", "360", "Tahoma", "")
};

// Sections.
inline constexpr char kOriginalSetup[] = "OriginalSetup";
inline constexpr char kDirectories[] = "Directories";
inline constexpr char kUnInstall[] = "UnInstall";
inline constexpr char kMsgBox[] = "MsgBox";
inline constexpr char kAutoUpdate[] = "AutoUpdate";
inline constexpr char kNewSetup[] = "NewSetup";
inline constexpr char kGeneral[] = "General";
inline constexpr char kAutoInform[] = "AutoInform";

inline constexpr char kDefaultBtnText[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

namespace Keys {
// .original, section OriginalSetup.
inline constexpr TKey ProbeSecondsInterval{TFile::Original, kOriginalSetup, "ProbeSecondsInterval", TKind::Integer, "0"};
inline constexpr TKey ProbeSecondsLast{TFile::Original, kOriginalSetup, "ProbeSecondsLast", TKind::ClockSeconds, "0"};
inline constexpr TKey ProbeSecondsLastText{TFile::Original, kOriginalSetup, "__ProbeSecondsLast", TKind::Text, ""};
inline constexpr TKey ReAskSecondsInterval{TFile::Original, kOriginalSetup, "ReAskSecondsInterval", TKind::Integer, "0"};
inline constexpr TKey ReAskSecondsLast{TFile::Original, kOriginalSetup, "ReAskSecondsLast", TKind::ClockSeconds, "0"};
inline constexpr TKey ReAskSecondsLastText{TFile::Original, kOriginalSetup, "__ReAskSecondsLast", TKind::Text, ""};
inline constexpr TKey VersionOriginal{TFile::Original, kOriginalSetup, "VersionOriginal", TKind::Integer, "0"};
inline constexpr TKey StampOriginal{TFile::Original, kOriginalSetup, "Stamp", TKind::Integer, "0"};
inline constexpr TKey ProgramNameOriginal{TFile::Original, kOriginalSetup, "ProgramName", TKind::Text, ""};
// .original, sections Directories and UnInstall.
inline constexpr TKey TargetDir{TFile::Original, kDirectories, "TargetDir", TKind::Text, ""};
inline constexpr TKey SharedDir{TFile::Original, kDirectories, "SharedDir", TKind::Text, ""};
inline constexpr TKey AuxiliaryDir{TFile::Original, kDirectories, "AuxiliaryDir", TKind::Text, ""};
inline constexpr TKey StartUpLink{TFile::Original, kUnInstall, "StartUpLink", TKind::Text, ""};
inline constexpr TKey CheckforNewUpdateLink{TFile::Original, kUnInstall, "CheckforNewUpdateLink", TKind::Text, ""};
// .original, section MsgBox.
inline constexpr TKey BtnText{TFile::Original, kMsgBox, "BtnText", TKind::Text, kDefaultBtnText};
inline constexpr TKey Error{TFile::Original, kMsgBox, "Error", TKind::Text, "Error"};
inline constexpr TKey Confirm{TFile::Original, kMsgBox, "Confirm", TKind::Text, "Confirm"};
inline constexpr TKey Attention{TFile::Original, kMsgBox, "Attention", TKind::Text, "Attention"};
inline constexpr TKey CharSet{TFile::Original, kMsgBox, "CharSet", TKind::Integer, "0"};
inline constexpr TKey FontName{TFile::Original, kMsgBox, "FontName", TKind::Text, "Tahoma"};
inline constexpr TKey FontSize{TFile::Original, kMsgBox, "FontSize", TKind::Integer, "8"};
// INFO, section NewSetup.
inline constexpr TKey DownloadURL_UPDATE{TFile::Info, kNewSetup, "DownloadURL_UPDATE", TKind::Text, ""};
inline constexpr TKey NameOfUpdateFile{TFile::Info, kNewSetup, "NameOfUpdateFile", TKind::Text, ""};
inline constexpr TKey SizeOfUpdateFile{TFile::Info, kNewSetup, "SizeOfUpdateFile", TKind::Integer, "0"};
inline constexpr TKey RequestConfirmationBeforeDownload{TFile::Info, kNewSetup, "RequestConfirmationBeforeDownload", TKind::Flag, "0"};
inline constexpr TKey RequestConfirmationBeforeDownloadForce{TFile::Info, kNewSetup, "RequestConfirmationBeforeDownloadForce", TKind::Flag, "0"};
inline constexpr TKey RequestConfirmationBeforeInstall{TFile::Info, kNewSetup, "RequestConfirmationBeforeInstall", TKind::Flag, "0"};
inline constexpr TKey RequestConfirmationBeforeInstallForce{TFile::Info, kNewSetup, "RequestConfirmationBeforeInstallForce", TKind::Flag, "0"};
inline constexpr TKey BackgroundUpdate{TFile::Info, kNewSetup, "BackgroundUpdate", TKind::Flag, "0"};
inline constexpr TKey ShutDownMethod{TFile::Info, kNewSetup, "ShutDownMethod", TKind::Text, ""};
inline constexpr TKey RestartProcess{TFile::Info, kNewSetup, "RestartProcess", TKind::Flag, "0"};
inline constexpr TKey InformFinish{TFile::Info, kNewSetup, "InformFinish", TKind::Flag, "0"};
inline constexpr TKey RunningProcess{TFile::Info, kNewSetup, "RunningProcess", TKind::Text, ""};
inline constexpr TKey ProgramNameNew{TFile::Info, kNewSetup, "ProgramName", TKind::Text, ""};
inline constexpr TKey VersionNew{TFile::Info, kNewSetup, "VersionNew", TKind::Integer, "0"};
inline constexpr TKey StampNew{TFile::Info, kNewSetup, "Stamp", TKind::Integer, "0"};
inline constexpr TKey ValidVersions{TFile::Info, kNewSetup, "ValidVersions", TKind::Text, ""};
inline constexpr TKey RemoveStartUpShortcut{TFile::Info, kNewSetup, "RemoveStartUpShortcut", TKind::Flag, "0"};
inline constexpr TKey RemoveCheckForNewUpdateShortcut{TFile::Info, kNewSetup, "RemoveCheckForNewUpdateShortcut", TKind::Flag, "0"};
// INFO, sections General and AutoInform.
inline constexpr TKey AutoInformMode{TFile::Info, kGeneral, "AutoInform", TKind::Integer, "0"};
inline constexpr TKey DownloadURL_INFORM{TFile::Info, kAutoInform, "DownloadURL_INFORM", TKind::Text, ""};
inline constexpr TKey NameOfInformFile{TFile::Info, kAutoInform, "NameOfInformFile", TKind::Text, ""};
inline constexpr TKey SizeOfInformFile{TFile::Info, kAutoInform, "SizeOfInformFile", TKind::Integer, "0"};
inline constexpr TKey AutoInformW{TFile::Info, kAutoInform, "AutoInformW", TKind::Integer, "360"};
inline constexpr TKey AutoInformH{TFile::Info, kAutoInform, "AutoInformH", TKind::Integer, "360"};
}  // namespace Keys

// Every key above, for tables and tests.
const TKey* const* AllKeys(size_t& count);

// Message texts of section AutoUpdate ("s2" .. "s35"): the built-in default
// of a key ("File Download Aborted!" for s3, ...), empty for keys without one.
std::string DefaultMessageText(const std::string& key);

// ---------------------------------------------------------------------------
// Pure conversions (AUSettings.cpp)
// ---------------------------------------------------------------------------

// Flag rule: true only for exactly "1" ("yes", " 1", "1 " and "01" are false).
bool FlagValue(const std::string& stored);
// Integer rule: the text as a signed 64-bit integer (TextToInt64: trimmed,
// optional sign, decimal or hex after "$"/"0x"); anything else, and values
// outside the 64-bit range, give def.
int64_t IntegerValue(const std::string& stored, int64_t def);
// The default of a key as an integer (0 when its text is not one).
int64_t IntegerDefault(const TKey& key);

// A flag read through its transient override: 255 reads the stored value,
// anything else decides alone (true only for 1).
bool FlagWithOverride(uint8_t override, const std::string& stored);

// Readable copy of clock seconds: "05-DEC-2026 22:15:03" (two-digit day,
// "JAN".."DEC", four-digit year, 24-hour time). Values before 30 December
// 1899 and past the last representable day are clamped to those days, so any
// stored value gives a text of this form.
std::string ReadableClockSeconds(int64_t clockSeconds);
// "05-DEC-2026": the date form that TestModeDate must equal.
std::string DayText(const TDateTimeParts& day);
// when + seconds, saturated at the ends of the 64-bit range instead of
// wrapping (a huge interval must not turn "never" into "at once").
int64_t ClockSecondsPlus(int64_t when, int64_t seconds);

// ---------------------------------------------------------------------------
// File names and paths
// ---------------------------------------------------------------------------

// The INFO file name with every extension removed + ".original": cut at the
// last "." and repeat until no "." is left (Foo.AutoUpdate.info ->
// Foo.original). Any directory part is dropped first.
std::string OriginalFileNameOf(const std::string& infoFileName);
// The name part (no directory) of a file name taken from a settings file or
// the package, for a file in the agent folder. Empty when nothing usable is
// left: an empty name, "." or "..", a device name (CON, NUL, COM1, ...),
// which would open a device instead of a file, or a name with wildcards or
// other characters that no file name holds; an empty name offers nothing.
std::string AgentFileNamePart(const std::string& name);
// folder (with trailing "\") + AgentFileNamePart(name); empty when the name
// part is empty.
std::string AgentFilePath(const std::string& folder, const std::string& name);

// Where the agent's files lie: the agent folder (with trailing "\") and the
// INFO file name from the package information. Until SetPlace is called the
// place is taken from the running stub (Stub::OwnDir, OwnInfo().InfoFileName).
struct TPlace {
  std::string folder;
  std::string infoFileName;
};
void SetPlace(const TPlace& place);
void ResetPlace();  // back to the running stub's place
TPlace Place();

std::string InfoFilePath();      // folder + name part of the INFO file name
std::string OriginalFilePath();  // folder + OriginalFileNameOf(INFO file name)
// folder + name part of NameOfUpdateFile / NameOfInformFile as the INFO
// file holds them now; empty when that name is empty or unusable.
std::string UpdateFilePath();
std::string InformFilePath();

// ---------------------------------------------------------------------------
// Transient overrides (kept in Stub::AgentRun().transient)
// ---------------------------------------------------------------------------

// Positions in the transient option list, in its order.
enum TTransient : int {
  kAskBeforeChecking = 0,  // no key; only 1 has an effect
  kOvrConfirmDownload = 1,
  kOvrConfirmInstall = 2,
  kOvrBackgroundUpdate = 3,
  kOvrInformFinish = 4,
  kOvrRestartProcess = 5,
  kOvrConfirmDownloadForce = 6,
  kOvrConfirmInstallForce = 7,
};
inline constexpr uint8_t kNoOverride = 255;
using TTransientOptions = std::array<uint8_t, 8>;

// The transient option (low byte of value kept; 255 gives the key back).
uint8_t TransientOption(TTransient index);
void SetTransientOption(TTransient index, int64_t value);
bool AskBeforeChecking();  // the option is exactly 1

// "|v0|v1|...|v7|" (nine "|"), and applying such a list: item i replaces
// option i; a missing, empty or non-integer item keeps the option; only the
// low byte is kept. Pure forms (the run's options: Stub::AgentRun()).
std::string TransientOptionList(const TTransientOptions& options);
void ApplyTransientOptionList(TTransientOptions& options, const std::string& list);

// ---------------------------------------------------------------------------
// Generic reads and writes (AUSettings_win32.cpp)
// ---------------------------------------------------------------------------

// The file a key lives in (OriginalFilePath or InfoFilePath).
std::string FilePathOf(TFile file);
std::string ReadText(const TKey& key);
int64_t ReadInteger(const TKey& key);
// Flags of INFO apply their transient override where they have one.
bool ReadFlag(const TKey& key);
// A value with a line break is refused (false): it would add keys of its own.
bool WriteText(const TKey& key, const std::string& value);
bool WriteInteger(const TKey& key, int64_t value);
// Writes the clock seconds and, for ProbeSecondsLast and ReAskSecondsLast,
// their readable copy.
bool WriteClockSeconds(const TKey& key, int64_t clockSeconds);

// ---------------------------------------------------------------------------
// Named accessors (AUSettings_win32.cpp); every call reads the file again
// ---------------------------------------------------------------------------

// .original, OriginalSetup.
int64_t ProbeSecondsInterval();
int64_t ProbeSecondsLast();
int64_t ReAskSecondsInterval();
int64_t ReAskSecondsLast();
int64_t VersionOriginal();
int64_t StampOriginal();
std::string ProgramNameOriginal();
bool WriteProbeSecondsInterval(int64_t seconds);
bool WriteProbeSecondsLast(int64_t clockSeconds);   // with __ProbeSecondsLast
bool WriteReAskSecondsInterval(int64_t seconds);
bool WriteReAskSecondsLast(int64_t clockSeconds);   // with __ReAskSecondsLast
bool WriteVersionOriginal(int64_t version);
bool WriteStampOriginal(int64_t stamp);

// .original, Directories and UnInstall.
std::string TargetDir();
std::string SharedDir();
std::string AuxiliaryDir();
std::string StartUpLink();
std::string CheckforNewUpdateLink();

// .original, MsgBox.
struct TMsgBoxLook {
  std::string btnText = kDefaultBtnText;
  std::string error = "Error";
  std::string confirm = "Confirm";
  std::string attention = "Attention";
  int charSet = 0;
  std::string fontName = "Tahoma";
  int fontSize = 8;
};
TMsgBoxLook MsgBoxLook();

// .original, AutoUpdate: the message text of key ("s2".."s35"), def when
// missing or empty; the one-argument form takes DefaultMessageText(key).
std::string MessageText(const std::string& key, const std::string& def);
std::string MessageText(const std::string& key);

// INFO, NewSetup. The seven overridable flags apply their override.
std::string DownloadURL_UPDATE();
std::string NameOfUpdateFile();
int64_t SizeOfUpdateFile();
bool RequestConfirmationBeforeDownload();
bool RequestConfirmationBeforeDownloadForce();
bool RequestConfirmationBeforeInstall();
bool RequestConfirmationBeforeInstallForce();
bool BackgroundUpdate();
std::string ShutDownMethod();
bool RestartProcess();
bool InformFinish();
std::string RunningProcess();
std::string ProgramNameNew();
int64_t VersionNew();
int64_t StampNew();
std::string ValidVersions();
bool RemoveStartUpShortcut();
bool RemoveCheckForNewUpdateShortcut();

// INFO, General and AutoInform.
int64_t AutoInformMode();
bool IsAutoInform();  // AutoInform is exactly 1
std::string DownloadURL_INFORM();
std::string NameOfInformFile();
int64_t SizeOfInformFile();
int64_t AutoInformW();
int64_t AutoInformH();

// ---------------------------------------------------------------------------
// INFORM file
// ---------------------------------------------------------------------------

struct TInformText {
  std::string storedToken;  // field 1 as stored (scrambled)
  std::string token;        // field 1 unscrambled; empty when damaged
  bool tokenValid = false;  // field 1 unscrambled cleanly
  std::string text;         // everything after the fourth "|"
};
// "Scrambled=01..." is unscrambled first (ScrambleText); then the text is
// split at "|" from the left: field 0 ignored, field 1 the token, fields 2
// and 3 ignored, the rest (with any further "|") the markup text. A missing
// separator leaves that field and all later ones empty. Linear in the size.
TInformText ParseInformText(const std::string& fileText);
// The INFORM file is read whole up to this size; a larger one reads as empty.
inline constexpr int64_t kMaxInformFileBytes = 4 * 1024 * 1024;
TInformText ReadInformFile(const std::string& path);  // AUSettings_win32.cpp

// ---------------------------------------------------------------------------
// Test-mode registry values (never written by the agent)
// ---------------------------------------------------------------------------

inline constexpr char kTestModeKey[] = "HKEY_CURRENT_USER\\Software\\Meridane\\Varnel\\AutoUpdate";

struct TTestModeValues {
  std::string testMode = "0";  // TestMode, default "0"
  std::string testModeDate;    // TestModeDate
  std::string testModeURL;     // TestModeURL
};
// Test mode: TestMode is exactly "1" and TestModeDate equals DayText(today).
bool IsTestModeOn(const TTestModeValues& values, const TDateTimeParts& today);
// Reads the three values (a DWORD reads as its decimal text; other wrong
// types read as whatever text they hold, which the rule above refuses).
TTestModeValues ReadTestModeValues();  // AUSettings_win32.cpp
// Today's local date (SysText's clock).
TDateTimeParts Today();

}  // namespace AU
