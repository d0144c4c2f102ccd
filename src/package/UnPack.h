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

// The first entry of a file name in a run creates the file or truncates what
// was there; later entries of the same name are appended to it.
// Throws EZLibError for a damaged compressed entry (the volume is closed first).
// Builds without exceptions have only UnpackPackageGuarded.
#if defined(__cpp_exceptions)
TUnpackResult UnpackPackage(const TUnpackRequest& request, IUnpackHost& host);
#endif

// UnpackPackage for the setup run: a damaged compressed entry or a failed
// allocation (std::bad_alloc, std::length_error) ends the run like a bad
// checksum: ok false, no engine entry. `failure` (when given) receives why,
// and stays empty when the run did not fail so.
TUnpackResult UnpackPackageGuarded(const TUnpackRequest& request, IUnpackHost& host, std::string* failure);

// Entry names that would leave the destination or open a device: absolute
// paths, drive letters, UNC and device prefixes, alternate data streams (any
// ":"), ".." components (either separator, also with trailing dots or
// blanks), Windows device names in any component ("CON", "sub\\NUL.txt",
// "COM1.", ...) and control characters (a NUL would cut the name short).
bool IsHostileEntryName(const std::string& name);

// What makes two entry names the same file within one run: separators of
// either kind, empty and "." components do not count; with windowsNames
// letters compare without case, as Windows names do. Different keys may still
// name one file (an 8.3 alias, trailing dots): such an entry truncates instead
// of appending, which loses data of this run but never appends to a file that
// was there before it.
std::string EntryNameKey(const std::string& name, bool windowsNames);

// Longest entry header (the text before the first NUL) that is taken; an
// entry whose header is longer is damaged.
constexpr size_t kMaxEntryHeader = 65536;

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
