// The agent's settings: key table, value rules, names and paths, readable
// clock seconds, the INFORM text, the test-mode decision and the transient
// overrides. Portable; the file and registry access is AUSettings_win32.cpp.
#include "autoupdate/AUSettings.h"

#include <limits>
#include <optional>

#include "package/PackX.h"
#include "stub/StubState.h"
#include "util/PathText.h"
#include "util/Utils.h"

namespace AU {

// The keys have one address each: tables and overrides find them by it.
namespace Keys {
const TKey ProbeSecondsInterval{TFile::Original, kOriginalSetup, "ProbeSecondsInterval", TKind::Integer, "0"};
const TKey ProbeSecondsLast{TFile::Original, kOriginalSetup, "ProbeSecondsLast", TKind::ClockSeconds, "0"};
const TKey ProbeSecondsLastText{TFile::Original, kOriginalSetup, "__ProbeSecondsLast", TKind::Text, ""};
const TKey ReAskSecondsInterval{TFile::Original, kOriginalSetup, "ReAskSecondsInterval", TKind::Integer, "0"};
const TKey ReAskSecondsLast{TFile::Original, kOriginalSetup, "ReAskSecondsLast", TKind::ClockSeconds, "0"};
const TKey ReAskSecondsLastText{TFile::Original, kOriginalSetup, "__ReAskSecondsLast", TKind::Text, ""};
const TKey VersionOriginal{TFile::Original, kOriginalSetup, "VersionOriginal", TKind::Integer, "0"};
const TKey StampOriginal{TFile::Original, kOriginalSetup, "Stamp", TKind::Integer, "0"};
const TKey ProgramNameOriginal{TFile::Original, kOriginalSetup, "ProgramName", TKind::Text, ""};
const TKey TargetDir{TFile::Original, kDirectories, "TargetDir", TKind::Text, ""};
const TKey SharedDir{TFile::Original, kDirectories, "SharedDir", TKind::Text, ""};
const TKey AuxiliaryDir{TFile::Original, kDirectories, "AuxiliaryDir", TKind::Text, ""};
const TKey StartUpLink{TFile::Original, kUnInstall, "StartUpLink", TKind::Text, ""};
const TKey CheckforNewUpdateLink{TFile::Original, kUnInstall, "CheckforNewUpdateLink", TKind::Text, ""};
const TKey BtnText{TFile::Original, kMsgBox, "BtnText", TKind::Text, kDefaultBtnText};
const TKey Error{TFile::Original, kMsgBox, "Error", TKind::Text, "Error"};
const TKey Confirm{TFile::Original, kMsgBox, "Confirm", TKind::Text, "Confirm"};
const TKey Attention{TFile::Original, kMsgBox, "Attention", TKind::Text, "Attention"};
const TKey CharSet{TFile::Original, kMsgBox, "CharSet", TKind::Integer, "0"};
const TKey FontName{TFile::Original, kMsgBox, "FontName", TKind::Text, "Tahoma"};
const TKey FontSize{TFile::Original, kMsgBox, "FontSize", TKind::Integer, "8"};
const TKey DownloadURL_UPDATE{TFile::Info, kNewSetup, "DownloadURL_UPDATE", TKind::Text, ""};
const TKey NameOfUpdateFile{TFile::Info, kNewSetup, "NameOfUpdateFile", TKind::Text, ""};
const TKey SizeOfUpdateFile{TFile::Info, kNewSetup, "SizeOfUpdateFile", TKind::Integer, "0"};
const TKey RequestConfirmationBeforeDownload{TFile::Info, kNewSetup, "RequestConfirmationBeforeDownload", TKind::Flag, "0"};
const TKey RequestConfirmationBeforeDownloadForce{TFile::Info, kNewSetup, "RequestConfirmationBeforeDownloadForce", TKind::Flag, "0"};
const TKey RequestConfirmationBeforeInstall{TFile::Info, kNewSetup, "RequestConfirmationBeforeInstall", TKind::Flag, "0"};
const TKey RequestConfirmationBeforeInstallForce{TFile::Info, kNewSetup, "RequestConfirmationBeforeInstallForce", TKind::Flag, "0"};
const TKey BackgroundUpdate{TFile::Info, kNewSetup, "BackgroundUpdate", TKind::Flag, "0"};
const TKey ShutDownMethod{TFile::Info, kNewSetup, "ShutDownMethod", TKind::Text, ""};
const TKey RestartProcess{TFile::Info, kNewSetup, "RestartProcess", TKind::Flag, "0"};
const TKey InformFinish{TFile::Info, kNewSetup, "InformFinish", TKind::Flag, "0"};
const TKey RunningProcess{TFile::Info, kNewSetup, "RunningProcess", TKind::Text, ""};
const TKey ProgramNameNew{TFile::Info, kNewSetup, "ProgramName", TKind::Text, ""};
const TKey VersionNew{TFile::Info, kNewSetup, "VersionNew", TKind::Integer, "0"};
const TKey StampNew{TFile::Info, kNewSetup, "Stamp", TKind::Integer, "0"};
const TKey ValidVersions{TFile::Info, kNewSetup, "ValidVersions", TKind::Text, ""};
const TKey RemoveStartUpShortcut{TFile::Info, kNewSetup, "RemoveStartUpShortcut", TKind::Flag, "0"};
const TKey RemoveCheckForNewUpdateShortcut{TFile::Info, kNewSetup, "RemoveCheckForNewUpdateShortcut", TKind::Flag, "0"};
const TKey AutoInformMode{TFile::Info, kGeneral, "AutoInform", TKind::Integer, "0"};
const TKey DownloadURL_INFORM{TFile::Info, kAutoInform, "DownloadURL_INFORM", TKind::Text, ""};
const TKey NameOfInformFile{TFile::Info, kAutoInform, "NameOfInformFile", TKind::Text, ""};
const TKey SizeOfInformFile{TFile::Info, kAutoInform, "SizeOfInformFile", TKind::Integer, "0"};
const TKey AutoInformW{TFile::Info, kAutoInform, "AutoInformW", TKind::Integer, "360"};
const TKey AutoInformH{TFile::Info, kAutoInform, "AutoInformH", TKind::Integer, "360"};
}  // namespace Keys

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Clock seconds of the last second that the date functions can show.
constexpr int64_t kLastClockSecond = static_cast<int64_t>(kDateTimeMax) * kSecondsPerDay - 1;

const TKey* const kAllKeys[] = {
    &Keys::ProbeSecondsInterval, &Keys::ProbeSecondsLast, &Keys::ProbeSecondsLastText,
    &Keys::ReAskSecondsInterval, &Keys::ReAskSecondsLast, &Keys::ReAskSecondsLastText,
    &Keys::VersionOriginal, &Keys::StampOriginal, &Keys::ProgramNameOriginal,
    &Keys::TargetDir, &Keys::SharedDir, &Keys::AuxiliaryDir, &Keys::StartUpLink, &Keys::CheckforNewUpdateLink,
    &Keys::BtnText, &Keys::Error, &Keys::Confirm, &Keys::Attention, &Keys::CharSet, &Keys::FontName,
    &Keys::FontSize,
    &Keys::DownloadURL_UPDATE, &Keys::NameOfUpdateFile, &Keys::SizeOfUpdateFile,
    &Keys::RequestConfirmationBeforeDownload, &Keys::RequestConfirmationBeforeDownloadForce,
    &Keys::RequestConfirmationBeforeInstall, &Keys::RequestConfirmationBeforeInstallForce,
    &Keys::BackgroundUpdate, &Keys::ShutDownMethod, &Keys::RestartProcess, &Keys::InformFinish,
    &Keys::RunningProcess, &Keys::ProgramNameNew, &Keys::VersionNew, &Keys::StampNew, &Keys::ValidVersions,
    &Keys::RemoveStartUpShortcut, &Keys::RemoveCheckForNewUpdateShortcut,
    &Keys::AutoInformMode, &Keys::DownloadURL_INFORM, &Keys::NameOfInformFile, &Keys::SizeOfInformFile,
    &Keys::AutoInformW, &Keys::AutoInformH,
};

std::optional<TPlace>& PlaceOverride() {
  static std::optional<TPlace> place;
  return place;
}

// Appends value (below 0 counts as 0) in decimal with at least width digits.
void AppendDigits(std::string& text, int value, int width) {
  if (value < 0) value = 0;
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0 && n < 11);
  for (int i = n; i < width; ++i) text += '0';
  while (n > 0) text += digits[--n];
}

// Position of a field separator: the n-th "|" from the left (n from 1).
size_t NthBar(const std::string& text, int n) {
  size_t at = std::string::npos;
  for (int i = 0; i < n; ++i) {
    at = text.find('|', at == std::string::npos ? 0 : at + 1);
    if (at == std::string::npos) return at;
  }
  return at;
}

}  // namespace

const TKey* const* AllKeys(size_t& count) {
  count = sizeof(kAllKeys) / sizeof(kAllKeys[0]);
  return kAllKeys;
}

std::string DefaultMessageText(const std::string& key) {
  static const char* const kDefaults[][2] = {
      {"s3", "File Download Aborted!"},     {"s4", "File not Found!"},
      {"s5", "Unable to Download File!"},   {"s31", "Downloading INFO File..."},
      {"s32", "Downloading UPDATE File..."}, {"s33", "Downloading INFORM File..."},
      {"s34", "New Version"},               {"s35", "Download"},
  };
  for (const auto& entry : kDefaults)
    if (key == entry[0]) return entry[1];
  return "";
}

// --- Value rules ------------------------------------------------------------

bool FlagValue(const std::string& stored) { return stored == "1"; }

int64_t IntegerValue(const std::string& stored, int64_t def) { return TextToInt64(stored, def); }

int64_t IntegerDefault(const TKey& key) { return TextToInt64(key.def, 0); }

bool FlagWithOverride(uint8_t override, const std::string& stored) {
  return override == kNoOverride ? FlagValue(stored) : override == 1;
}

std::string DayText(const TDateTimeParts& day) {
  static const char kMonthNames[] = "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC";
  const int month = day.month >= 1 && day.month <= 12 ? day.month : 1;
  std::string text;
  AppendDigits(text, day.day, 2);
  text += '-';
  text.append(kMonthNames + 3 * (month - 1), 3);
  text += '-';
  AppendDigits(text, day.year, 4);
  return text;
}

std::string ReadableClockSeconds(int64_t clockSeconds) {
  const int64_t s = clockSeconds < 0 ? 0 : clockSeconds > kLastClockSecond ? kLastClockSecond : clockSeconds;
  const int64_t days = s / kSecondsPerDay;
  const int inDay = static_cast<int>(s - days * kSecondsPerDay);
  // Whole days are exact in a double; the time of day is formatted from the
  // integer seconds, so no rounding can move a value across a second.
  std::string text = DayText(DecodeDateTime(static_cast<double>(days)));
  text += ' ';
  AppendDigits(text, inDay / 3600, 2);
  text += ':';
  AppendDigits(text, inDay / 60 % 60, 2);
  text += ':';
  AppendDigits(text, inDay % 60, 2);
  return text;
}

int64_t ClockSecondsPlus(int64_t when, int64_t seconds) {
  int64_t sum = 0;
  if (!__builtin_add_overflow(when, seconds, &sum)) return sum;
  return seconds > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
}

// --- Names and paths --------------------------------------------------------

std::string OriginalFileNameOf(const std::string& infoFileName) {
  std::string name = FileNamePart(infoFileName);
  for (size_t dot = name.rfind('.'); dot != std::string::npos; dot = name.rfind('.')) name.erase(dot);
  return name + ".original";
}

std::string AgentFileNamePart(const std::string& name) {
  const std::string part = FileNamePart(name);
  // A drive-relative name such as "C:x.exe" keeps only what follows the colon.
  const std::string file = part.substr(part.find_last_of(':') == std::string::npos ? 0 : part.find_last_of(':') + 1);
  const std::string trimmed = Trim(file);
  if (trimmed.empty() || trimmed == "." || trimmed == ".." || IsWindowsDeviceName(file)) return "";
  // Wildcards and the other characters that no file name holds.
  for (char c : file)
    if (static_cast<unsigned char>(c) < 0x20 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*')
      return "";
  return file;
}

std::string AgentFilePath(const std::string& folder, const std::string& name) {
  const std::string part = AgentFileNamePart(name);
  return part.empty() ? "" : folder + part;
}

void SetPlace(const TPlace& place) { PlaceOverride() = place; }

void ResetPlace() { PlaceOverride().reset(); }

TPlace Place() {
  if (PlaceOverride()) return *PlaceOverride();
  return TPlace{Stub::OwnDir(), Stub::OwnInfo().InfoFileName()};
}

std::string InfoFilePath() {
  const TPlace place = Place();
  return AgentFilePath(place.folder, place.infoFileName);
}

std::string OriginalFilePath() {
  const TPlace place = Place();
  if (AgentFileNamePart(place.infoFileName).empty()) return "";
  return place.folder + OriginalFileNameOf(place.infoFileName);
}

// --- Transient overrides ----------------------------------------------------

uint8_t TransientOption(TTransient index) { return Stub::AgentRun().transient[index]; }

void SetTransientOption(TTransient index, int64_t value) {
  Stub::AgentRun().transient[index] = static_cast<uint8_t>(value & 0xFF);
}

bool AskBeforeChecking() { return TransientOption(kAskBeforeChecking) == 1; }

std::string TransientOptionList(const TTransientOptions& options) { return Stub::TransientList(options); }

void ApplyTransientOptionList(TTransientOptions& options, const std::string& list) {
  Stub::ApplyTransientList(options, list);
}

// --- INFORM text --------------------------------------------------------------

TInformText ParseInformText(const std::string& fileText) {
  const std::string text = StartsWith(kScrambleMarker, fileText) ? ScrambleText(fileText, false) : fileText;
  TInformText result;
  const size_t bar1 = NthBar(text, 1);
  const size_t bar2 = NthBar(text, 2);
  const size_t bar4 = NthBar(text, 4);
  if (bar1 != std::string::npos)
    result.storedToken = bar2 == std::string::npos ? text.substr(bar1 + 1) : text.substr(bar1 + 1, bar2 - bar1 - 1);
  if (bar4 != std::string::npos) result.text = text.substr(bar4 + 1);
  if (std::optional<std::string> plain = TryUnscrambleToken(result.storedToken)) {
    result.token = *plain;
    result.tokenValid = true;
  }
  return result;
}

// --- Test mode ------------------------------------------------------------------

bool IsTestModeOn(const TTestModeValues& values, const TDateTimeParts& today) {
  return values.testMode == "1" && values.testModeDate == DayText(today);
}

TDateTimeParts Today() {
  TDateTimeParts now = systext_platform::LocalNow();
  now.hour = now.minute = now.second = 0;
  return now;
}

}  // namespace AU
