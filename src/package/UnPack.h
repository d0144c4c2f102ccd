// Package unpacker: walks the volumes of a package, checks each volume's
// checksum, inflates the file entries into a destination directory, asks for
// further disks, and writes the auto-update agent copy when asked.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// What the unpacker needs from the user interface and the platform; the stub
// gives message boxes and message pumping, the host tools a silent version.
class IUnpackHost {
 public:
  virtual ~IUnpackHost() = default;
  // Error box (markup text, no caption or button list).
  virtual void ShowError(const std::string& text) = 0;
  // OK/Cancel question for the next disk; true on OK.
  virtual bool AskOkCancel(const std::string& text, const std::string& caption, const std::string& buttons,
                           int charset) = 0;
  // Processes pending window messages (may be rate-limited by the host).
  virtual void Pump() = 0;
  // Waits ms while processing window messages.
  virtual void Wait(int ms) = 0;
  virtual bool EjectCD(const std::string& path) = 0;
  // Registers "QueryCancelAutoPlay" for the stub window.
  virtual void AllowAutoPlayCancel() = 0;
};

// Progress: kind 0 = reset with range 0..count, kind 1 = one step.
using TUnpackProgress = std::function<void(int kind, int64_t count)>;

struct TUnpackRequest {
  std::string setupFile;    // first volume: the setup executable or a ".001" file
  std::string destination;  // created with all missing levels
  std::string agentName;    // empty: no agent copy; only its name part is used
  TUnpackProgress progress;
  std::string diskPrompt = "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue";
  std::string caption = "Attention";
  std::string buttons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
  int charset = 0;
  bool forcePrompt = false;
};

struct TUnpackResult {
  bool ok = false;          // the checksum test of the last volume examined passed
  std::string engineEntry;  // header or name that carried "*"; empty if none or cancelled
};

// Throws EZLibError for a damaged compressed entry (the volume is closed first).
TUnpackResult UnpackPackage(const TUnpackRequest& request, IUnpackHost& host);

// Entry names that would leave the destination: absolute paths, drive
// letters, UNC and device prefixes, alternate data streams (any ":") and ".."
// components (either separator, also with trailing dots or blanks).
bool IsHostileEntryName(const std::string& name);

// Process-wide count of file entries that could not be written; the error box
// is shown only when it reaches 1. The reset is for tests.
int64_t UnpackFailedWrites();
void ResetUnpackFailedWrites();

// Host for tools: no windows, no waiting. Errors and disk prompts are
// collected as lines of Errors(); a disk prompt is answered with Cancel, so a
// missing volume ends the run.
class TSilentUnpackHost : public IUnpackHost {
 public:
  void ShowError(const std::string& text) override { AddError(text); }
  bool AskOkCancel(const std::string& text, const std::string&, const std::string&, int) override {
    AddError(text);
    return false;
  }
  void Pump() override {}
  void Wait(int) override {}
  bool EjectCD(const std::string&) override { return false; }
  void AllowAutoPlayCancel() override {}

  const std::string& Errors() const { return errors_; }

 private:
  void AddError(const std::string& text) { errors_ += text + "\n"; }
  std::string errors_;
};
