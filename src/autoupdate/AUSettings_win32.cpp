// The agent's settings files through the private-profile API and its
// test-mode registry values. Nothing is cached: every read opens the file.
#include "autoupdate/AUSettings.h"

#include "stub/StubState.h"
#include "util/Files.h"
#include "util/Settings.h"
#include "util/Utils.h"

namespace AU {

namespace {

// The transient override of an INFO flag, or none.
bool OverrideOf(const TKey& key, TTransient& index) {
  static const struct {
    const TKey* key;
    TTransient index;
  } kOverrides[] = {
      {&Keys::RequestConfirmationBeforeDownload, kOvrConfirmDownload},
      {&Keys::RequestConfirmationBeforeInstall, kOvrConfirmInstall},
      {&Keys::BackgroundUpdate, kOvrBackgroundUpdate},
      {&Keys::InformFinish, kOvrInformFinish},
      {&Keys::RestartProcess, kOvrRestartProcess},
      {&Keys::RequestConfirmationBeforeDownloadForce, kOvrConfirmDownloadForce},
      {&Keys::RequestConfirmationBeforeInstallForce, kOvrConfirmInstallForce},
  };
  for (const auto& entry : kOverrides)
    if (entry.key == &key) {
      index = entry.index;
      return true;
    }
  return false;
}

// The stored text of a key ("" when the file has no usable path or the key
// is missing or empty).
std::string Stored(const TKey& key) {
  const std::string file = FilePathOf(key.file);
  if (file.empty()) return "";
  return ReadIniString(file, key.section, key.name, "");
}

// A value with a line break would end its line in the file and start a key
// of its own: such a value is not written.
bool Write(const TKey& key, const std::string& value) {
  const std::string file = FilePathOf(key.file);
  if (file.empty() || value.find_first_of("\r\n") != std::string::npos) return false;
  return WriteIniString(file, key.section, key.name, value);
}

}  // namespace

std::string FilePathOf(TFile file) { return file == TFile::Original ? OriginalFilePath() : InfoFilePath(); }

std::string ReadText(const TKey& key) {
  const std::string value = Stored(key);
  return value.empty() ? key.def : value;
}

int64_t ReadInteger(const TKey& key) { return IntegerValue(Stored(key), IntegerDefault(key)); }

bool ReadFlag(const TKey& key) {
  TTransient index;
  const uint8_t override = OverrideOf(key, index) ? TransientOption(index) : kNoOverride;
  // Only a flag without an override in force needs the file.
  return FlagWithOverride(override, override == kNoOverride ? ReadText(key) : "");
}

bool WriteText(const TKey& key, const std::string& value) { return Write(key, value); }

bool WriteInteger(const TKey& key, int64_t value) { return Write(key, IntToText(value)); }

bool WriteClockSeconds(const TKey& key, int64_t clockSeconds) {
  bool ok = WriteInteger(key, clockSeconds);
  const TKey* copy = &key == &Keys::ProbeSecondsLast  ? &Keys::ProbeSecondsLastText
                     : &key == &Keys::ReAskSecondsLast ? &Keys::ReAskSecondsLastText
                                                        : nullptr;
  if (copy) ok = Write(*copy, ReadableClockSeconds(clockSeconds)) && ok;
  return ok;
}

// --- .original ------------------------------------------------------------------

int64_t ProbeSecondsInterval() { return ReadInteger(Keys::ProbeSecondsInterval); }
int64_t ProbeSecondsLast() { return ReadInteger(Keys::ProbeSecondsLast); }
int64_t ReAskSecondsInterval() { return ReadInteger(Keys::ReAskSecondsInterval); }
int64_t ReAskSecondsLast() { return ReadInteger(Keys::ReAskSecondsLast); }
int64_t VersionOriginal() { return ReadInteger(Keys::VersionOriginal); }
int64_t StampOriginal() { return ReadInteger(Keys::StampOriginal); }
std::string ProgramNameOriginal() { return ReadText(Keys::ProgramNameOriginal); }

bool WriteProbeSecondsInterval(int64_t seconds) { return WriteInteger(Keys::ProbeSecondsInterval, seconds); }
bool WriteProbeSecondsLast(int64_t clockSeconds) { return WriteClockSeconds(Keys::ProbeSecondsLast, clockSeconds); }
bool WriteReAskSecondsInterval(int64_t seconds) { return WriteInteger(Keys::ReAskSecondsInterval, seconds); }
bool WriteReAskSecondsLast(int64_t clockSeconds) { return WriteClockSeconds(Keys::ReAskSecondsLast, clockSeconds); }
bool WriteVersionOriginal(int64_t version) { return WriteInteger(Keys::VersionOriginal, version); }
bool WriteStampOriginal(int64_t stamp) { return WriteInteger(Keys::StampOriginal, stamp); }

std::string TargetDir() { return ReadText(Keys::TargetDir); }
std::string SharedDir() { return ReadText(Keys::SharedDir); }
std::string AuxiliaryDir() { return ReadText(Keys::AuxiliaryDir); }
std::string StartUpLink() { return ReadText(Keys::StartUpLink); }
std::string CheckforNewUpdateLink() { return ReadText(Keys::CheckforNewUpdateLink); }

TMsgBoxLook MsgBoxLook() {
  TMsgBoxLook look;
  look.btnText = ReadText(Keys::BtnText);
  look.error = ReadText(Keys::Error);
  look.confirm = ReadText(Keys::Confirm);
  look.attention = ReadText(Keys::Attention);
  look.charSet = static_cast<int>(ReadInteger(Keys::CharSet) & 0xFF);  // a character set is one byte
  look.fontName = ReadText(Keys::FontName);
  look.fontSize = Stub::ClampToInt32(ReadInteger(Keys::FontSize));
  return look;
}

std::string MessageText(const std::string& key, const std::string& def) {
  const std::string file = OriginalFilePath();
  if (file.empty()) return def;
  return ReadIniString(file, kAutoUpdate, key, def);
}

std::string MessageText(const std::string& key) { return MessageText(key, DefaultMessageText(key)); }

// --- INFO -----------------------------------------------------------------------

std::string DownloadURL_UPDATE() { return ReadText(Keys::DownloadURL_UPDATE); }
std::string NameOfUpdateFile() { return ReadText(Keys::NameOfUpdateFile); }
int64_t SizeOfUpdateFile() { return ReadInteger(Keys::SizeOfUpdateFile); }
bool RequestConfirmationBeforeDownload() { return ReadFlag(Keys::RequestConfirmationBeforeDownload); }
bool RequestConfirmationBeforeDownloadForce() { return ReadFlag(Keys::RequestConfirmationBeforeDownloadForce); }
bool RequestConfirmationBeforeInstall() { return ReadFlag(Keys::RequestConfirmationBeforeInstall); }
bool RequestConfirmationBeforeInstallForce() { return ReadFlag(Keys::RequestConfirmationBeforeInstallForce); }
bool BackgroundUpdate() { return ReadFlag(Keys::BackgroundUpdate); }
std::string ShutDownMethod() { return ReadText(Keys::ShutDownMethod); }
bool RestartProcess() { return ReadFlag(Keys::RestartProcess); }
bool InformFinish() { return ReadFlag(Keys::InformFinish); }
std::string RunningProcess() { return ReadText(Keys::RunningProcess); }
std::string ProgramNameNew() { return ReadText(Keys::ProgramNameNew); }
int64_t VersionNew() { return ReadInteger(Keys::VersionNew); }
int64_t StampNew() { return ReadInteger(Keys::StampNew); }
std::string ValidVersions() { return ReadText(Keys::ValidVersions); }
bool RemoveStartUpShortcut() { return ReadFlag(Keys::RemoveStartUpShortcut); }
bool RemoveCheckForNewUpdateShortcut() { return ReadFlag(Keys::RemoveCheckForNewUpdateShortcut); }

int64_t AutoInformMode() { return ReadInteger(Keys::AutoInformMode); }
bool IsAutoInform() { return AutoInformMode() == 1; }
std::string DownloadURL_INFORM() { return ReadText(Keys::DownloadURL_INFORM); }
std::string NameOfInformFile() { return ReadText(Keys::NameOfInformFile); }
int64_t SizeOfInformFile() { return ReadInteger(Keys::SizeOfInformFile); }
int64_t AutoInformW() { return ReadInteger(Keys::AutoInformW); }
int64_t AutoInformH() { return ReadInteger(Keys::AutoInformH); }

std::string UpdateFilePath() { return AgentFilePath(Place().folder, NameOfUpdateFile()); }
std::string InformFilePath() { return AgentFilePath(Place().folder, NameOfInformFile()); }

// --- INFORM file and test mode ----------------------------------------------------

TInformText ReadInformFile(const std::string& path) {
  const int64_t size = Files::FileSizeByName(path);
  if (path.empty() || size <= 0 || size > kMaxInformFileBytes) return TInformText{};
  return ParseInformText(Files::ReadFilePart(path, kMaxInformFileBytes));
}

TTestModeValues ReadTestModeValues() {
  TTestModeValues values;
  values.testMode = ReadRegString(kTestModeKey, "TestMode", "0");
  values.testModeDate = ReadRegString(kTestModeKey, "TestModeDate", "");
  values.testModeURL = ReadRegString(kTestModeKey, "TestModeURL", "");
  return values;
}

}  // namespace AU
