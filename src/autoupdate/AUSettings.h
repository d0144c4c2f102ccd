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
inline constexpr const char* kOriginalSetup = "OriginalSetup";
inline constexpr const char* kDirectories = "Directories";
inline constexpr const char* kUnInstall = "UnInstall";
inline constexpr const char* kMsgBox = "MsgBox";
inline constexpr const char* kAutoUpdate = "AutoUpdate";
inline constexpr const char* kNewSetup = "NewSetup";
inline constexpr const char* kGeneral = "General";
inline constexpr const char* kAutoInform = "AutoInform";

inline constexpr const char* kDefaultBtnText = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

namespace Keys {
// .original, section OriginalSetup.
extern const TKey ProbeSecondsInterval;
extern const TKey ProbeSecondsLast;
extern const TKey ProbeSecondsLastText;
extern const TKey ReAskSecondsInterval;
extern const TKey ReAskSecondsLast;
extern const TKey ReAskSecondsLastText;
extern const TKey VersionOriginal;
extern const TKey StampOriginal;
extern const TKey ProgramNameOriginal;
// .original, sections Directories and UnInstall.
extern const TKey TargetDir;
extern const TKey SharedDir;
extern const TKey AuxiliaryDir;
extern const TKey StartUpLink;
extern const TKey CheckforNewUpdateLink;
// .original, section MsgBox.
extern const TKey BtnText;
extern const TKey Error;
extern const TKey Confirm;
extern const TKey Attention;
extern const TKey CharSet;
extern const TKey FontName;
extern const TKey FontSize;
// INFO, section NewSetup.
extern const TKey DownloadURL_UPDATE;
extern const TKey NameOfUpdateFile;
extern const TKey SizeOfUpdateFile;
extern const TKey RequestConfirmationBeforeDownload;
extern const TKey RequestConfirmationBeforeDownloadForce;
extern const TKey RequestConfirmationBeforeInstall;
extern const TKey RequestConfirmationBeforeInstallForce;
extern const TKey BackgroundUpdate;
extern const TKey ShutDownMethod;
extern const TKey RestartProcess;
extern const TKey InformFinish;
extern const TKey RunningProcess;
extern const TKey ProgramNameNew;
extern const TKey VersionNew;
extern const TKey StampNew;
extern const TKey ValidVersions;
extern const TKey RemoveStartUpShortcut;
extern const TKey RemoveCheckForNewUpdateShortcut;
// INFO, sections General and AutoInform.
extern const TKey AutoInformMode;
extern const TKey DownloadURL_INFORM;
extern const TKey NameOfInformFile;
extern const TKey SizeOfInformFile;
extern const TKey AutoInformW;
extern const TKey AutoInformH;
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

inline constexpr const char* kTestModeKey = "HKEY_CURRENT_USER\\Software\\Meridane\\Varnel\\AutoUpdate";

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
