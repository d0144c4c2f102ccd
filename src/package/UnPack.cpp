#include "package/UnPack.h"

#include <algorithm>
#include <climits>
#include <new>
#include <string_view>
#include <map>

#include "package/EntryPipeline.h"
#include "package/Inflate.h"
#include "package/PackX.h"
#include "package/ZLibOpen.h"
#include "util/Exceptions.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/SysInfo.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

using namespace PackFormat;

namespace {

constexpr int64_t kReadPiece = 65536;

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

int64_t g_failedWrites = 0;

std::string ProcessIdText() {
#ifdef _WIN32
  return std::to_string(_getpid());
#else
  return std::to_string(::getpid());
#endif
}

// "..", "...", ".. " and the like: Windows drops trailing dots and blanks, so
// all of them can mean the parent folder.
bool IsParentComponent(std::string_view component) {
  if (component.empty() || component.find_first_not_of(". ") != std::string_view::npos) return false;
  return std::count(component.begin(), component.end(), '.') >= 2;
}

// The last error of the platform, or the stand-in text when it has none.
std::string SystemErrorText() {
  std::string text = LastErrorText();
  return text.empty() ? "Error Reading \"SysUtils.SysErrorMessage(GetLastError)\"" : text;
}

// Date text of an entry header as a packed DOS date-time; 0 (leave the date)
// when it is not a 32-bit number.
int32_t EntryDate(const std::string& text) {
  const int64_t value = TextToInt64(text, 0);
  return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

// Writes the first `length` bytes of the volume (the stub image and its
// information blocks, whatever their size) in pieces, with the low word of the
// package end pointer cleared, then the trailer; replaces any file at path.
bool CopyAgentImage(TFile& volume, int64_t length, const TPackTrailer& trailer, const std::string& path,
                    int32_t date) {
  bool complete = false, opened = false;
  {
    TFile out(path, TFile::Mode::Create);
    opened = out.IsOpen();
    std::string piece;
    int64_t done = 0;
    while (out.IsOpen() && done < length) {
      const int64_t n = std::min(length - done, kReadPiece);
      piece.resize(static_cast<size_t>(n));
      if (!volume.ReadAt(done, piece.data(), n)) break;
      // The low word of the package end pointer: the copy is read from its end.
      for (int64_t i = std::max(done, kEndPointerLow); i < std::min(done + n, kEndPointerLow + 4); ++i)
        piece[static_cast<size_t>(i - done)] = '\0';
      if (out.Write(piece.data(), n) != n) break;
      done += n;
    }
    const std::string tail = trailer.AsText();
    complete = done == length && out.Write(tail.data(), kTrailerSize) == kTrailerSize;
    if (complete && date != 0) out.SetDosDate(date);
  }
  if (opened && !complete) RemoveFile(path);  // a cut copy would not run
  return complete;
}

bool IsAgentSource(const std::string& setupFile) {
  return EndsWith(".exe", setupFile, true) || EndsWith(".exe.001", setupFile, true);
}

// One call of UnpackPackage.
class TUnpackRun {
 public:
  TUnpackRun(const TUnpackRequest& request, IUnpackHost& host) : req_(request), host_(host) {}
  TUnpackResult Run();
  // zlib's code of the failure that ended the run: a damaged compressed
  // entry, or a block that could not be allocated (-4); 0 for none.
  int ZLibError() const { return zlibError_; }

 private:
  bool UnpackVolume(const std::string& path);
  bool ExtractBlocks(TFile& file, int64_t offset, int64_t end);
  bool ReadBlock(TFile& file, int64_t& offset, int64_t end, TEntrySlot& slot, int& failure);
  bool ExtractOldest(TEntryPipeline& pipeline);
  bool ExtractInFlight(TEntryPipeline& pipeline);
  bool ExtractEntry(std::string_view text);
  void WriteEntry(const std::string& name, std::string_view data, int32_t date);
  void ReportFailedWrite(const std::string& target, size_t dataSize);
  void WriteAgentCopy(TFile& file);
  std::string NextVolume();
  void Refuse(const std::string& why);
  void Progress(int kind, int64_t count) {
    if (req_.progress) req_.progress(kind, count);
  }

  const TUnpackRequest& req_;
  IUnpackHost& host_;
  TUnpackResult result_;
  TPackTrailer record_;
  int volumeNumber_ = 1;
  int64_t blockCounter_ = 0;
  int64_t firstEntryOffset_ = 0;
  bool continue_ = true;
  int zlibError_ = 0;
  // Names written in this run (EntryNameKey) and whether their first entry
  // could be written; only such files take later entries of the same name.
  std::map<std::string, bool> written_;
};

TUnpackResult TUnpackRun::Run() {
  const int64_t started = MsCounter();
  Progress(0, 0);
  std::string volume = req_.setupFile;
  for (;;) {
    if (FileExists(volume) && !UnpackVolume(volume)) break;
    if ((record_.Options() & kOptMoreVolumes) == 0) break;
    volume = NextVolume();
    if (!continue_) break;
  }
  if (zlibError_ != 0) return TUnpackResult{};
  if (!continue_) result_.engineEntry.clear();
  Files::TraceText("UnCompressTime: " + std::to_string(MsCounter() - started) + " MS");
  Files::TraceText("");
  host_.Wait(500);
  return result_;
}

// False when the run is to end: a failed checksum or a damaged or hostile entry.
bool TUnpackRun::UnpackVolume(const std::string& path) {
  const bool first = volumeNumber_ == 1;
  record_ = TPackTrailer{};
  ReadTrailer(path, record_);
  if (first) Files::TraceText("FileInfo.FilesCount=" + std::to_string(record_.EntryCount()));

  const uint32_t sum = PackageChecksum(path, record_.Length());
  result_.ok = sum == record_.Checksum() || sum == kNoChecksum || record_.Checksum() == kNoChecksum;
  if (!result_.ok) return false;

  TFile file(path, TFile::Mode::Read);
  const int64_t size = file.Size();
  int64_t end = size;
  if (IsPEImage(file)) {
    const int64_t packageEnd = ReadPackageEnd(file);
    if (packageEnd > 0) end = packageEnd;
  }
  Files::TraceText("FileLen=" + std::to_string(end));
  if (!record_.HasMagic()) {
    // A later volume without a trailer is passed over; a first one holds no
    // package at all: a cut or damaged setup file.
    if (first) Refuse("Damaged package: no package trailer at the end of " + path);
    return !first;
  }

  if (first) Progress(0, record_.EntryCount());
  if (!Files::CreateDirTree(req_.destination))
    host_.ShowError(req_.destination + "<P><P>Unable to create Directory!<P><P>" + SystemErrorText());
  // An end pointer past the file cannot be read up to; the blocks end with the file.
  if (!ExtractBlocks(file, record_.DataStart(), std::min(end, size))) return false;
  if (first) WriteAgentCopy(file);
  return true;
}

// The blocks are read here, inflated ahead by the pipeline's worker and
// written here in their order; a failure ends the run after the entries
// before it are written, as if each block were handled in turn.
bool TUnpackRun::ExtractBlocks(TFile& file, int64_t offset, int64_t end) {
  const int64_t infoBlocks = record_.InfoBlockCount();
  TEntryPipeline pipeline([this] { host_.Pump(); });
  do {
    host_.Pump();
    if (pipeline.Free() == nullptr && !ExtractOldest(pipeline)) return false;
    TEntrySlot& slot = *pipeline.Free();
    int failure = 0;
    if (!ReadBlock(file, offset, end, slot, failure)) {
      if (!ExtractInFlight(pipeline)) return false;
      zlibError_ = failure;
      if (zlibError_ == 0) Refuse("Damaged block at offset " + std::to_string(offset) + " of the volume");
      return false;
    }
    ++blockCounter_;
    if (blockCounter_ == infoBlocks) firstEntryOffset_ = offset;
    if (blockCounter_ > infoBlocks) pipeline.Push();
  } while (end - offset > kTrailerSize);
  return ExtractInFlight(pipeline);
}

// Reads the block at offset into the slot and moves offset past it. False
// when the block does not lie whole inside the package or the read fails;
// `failure` is zlib's code when its room could not be allocated.
bool TUnpackRun::ReadBlock(TFile& file, int64_t& offset, int64_t end, TEntrySlot& slot, int& failure) {
  uint8_t word[4];
  if (offset < 0 || end - offset < 4 || !file.ReadAt(offset, word, 4)) return false;
  const int32_t length = static_cast<int32_t>(GetU32(word));
  const int64_t n = length < 0 ? -static_cast<int64_t>(length) : length;
  slot.compressed = length > 0;
  if (n > end - offset - 4) return false;
  std::string& block = slot.block;
  VX_TRY { block.resize(static_cast<size_t>(n)); }
  VX_CATCH(const std::exception&) {  // bad_alloc, length_error
    failure = kInflateMemError;      // "insufficient memory"
    return false;
  }
  for (int64_t done = 0; done < n;) {
    const int64_t piece = std::min(n - done, kReadPiece);
    if (file.Read(block.data() + done, piece) != piece) return false;
    done += piece;
    host_.Pump();
  }
  offset += n + 4;
  return true;
}

// Writes the oldest entry in flight; false when the run is to end.
bool TUnpackRun::ExtractOldest(TEntryPipeline& pipeline) {
  const TEntrySlot& slot = pipeline.Oldest();
  const bool extracted = slot.code == 0 && ExtractEntry(slot.Text());
  if (slot.code != 0) zlibError_ = slot.code;
  pipeline.Pop();
  return extracted;
}

// Writes every entry still in flight, oldest first; false when the run is to end.
bool TUnpackRun::ExtractInFlight(TEntryPipeline& pipeline) {
  while (!pipeline.Empty())
    if (!ExtractOldest(pipeline)) return false;
  return true;
}

// False when the entry's name is hostile (the run ends).
bool TUnpackRun::ExtractEntry(std::string_view text) {
  const size_t nul = text.find('\0');
  if (nul == std::string_view::npos || nul == 0) return true;  // no header: skipped
  if (nul > kMaxEntryHeader) {
    Refuse("Damaged entry: its header is " + std::to_string(nul) + " bytes long");
    return false;
  }
  const std::string header(text.substr(0, nul));
  const std::string_view data = text.substr(nul + 1);
  if (header.find('*') != std::string::npos) result_.engineEntry = header;

  const std::string item = SUB::GetItem(header, 0, "");
  std::string name = item;
  const size_t star = name.find('*');
  if (star != std::string::npos) {
    result_.engineEntry = name;
    name.resize(star);
  }
  if (IsHostileEntryName(name)) {
    Refuse("Entry refused, it would leave the destination: " + item);
    return false;
  }
  WriteEntry(name, data, EntryDate(SUB::GetItem(header, 1, "")));
  return true;
}

// The first entry of a name creates or truncates its file, so that nothing is
// ever appended to a file that was there before the run (a left-over, or one
// planted by someone else); later entries of the name append to it. When the
// first entry could not be written, the later ones are not written either.
void TUnpackRun::WriteEntry(const std::string& name, std::string_view data, int32_t date) {
  const std::string target = req_.destination + "\\" + name;
  const auto [slot, first] = written_.try_emplace(EntryNameKey(name, kWindowsNames), false);
  if (first) {
    Progress(1, 1);
    // A name with folders extracts into the same tree below the destination.
    const size_t folder = name.find_last_of("\\/");
    if (folder != std::string::npos) Files::CreateDirTree(req_.destination + "\\" + name.substr(0, folder));
  }
  const bool append = !first;
  const bool done = (first || slot->second) && Files::WriteFile(target, data, date, nullptr, append);
  if (first) slot->second = done;
  if (!done) ReportFailedWrite(target, data.size());
}

void TUnpackRun::ReportFailedWrite(const std::string& target, size_t dataSize) {
  const std::string error = SystemErrorText();  // before other calls replace it
  if (++g_failedWrites != 1) return;
  const std::string details = error + "<P>" + "  Data Size: <T>" + std::to_string(dataSize) + " Bytes<P>" +
                              "  File Size:  <T>" + std::to_string(Files::FileSizeByName(target)) + " Bytes<P>" +
                              "  Bytes Free: <T>" +
                              std::to_string(static_cast<int64_t>(Files::DiskFreeBytes(target))) + " Bytes";
  host_.ShowError(target + "<P><P>Unable to save Extracted File!<P><P>" + details);
}

// The stub with its information blocks and no file entries, flagged as an agent.
void TUnpackRun::WriteAgentCopy(TFile& file) {
  const std::string agent = FileNamePart(req_.agentName);
  if (agent.empty() || !IsAgentSource(req_.setupFile) || firstEntryOffset_ <= 0) return;
  if (IsHostileEntryName(agent) || agent == ".") {
    Files::TraceText("Agent copy refused, bad file name: " + agent);
    return;
  }
  TPackTrailer trailer;
  ReadTrailer(file, trailer);
  trailer.bytes[kOffAgentPackage] = 1;
  trailer.SetLength(kTrailerSize);
  const std::string path = req_.destination + "\\" + agent;
  if (!CopyAgentImage(file, firstEntryOffset_, trailer, path, FileDosDate(req_.setupFile))) {
    Files::TraceText("Agent copy could not be written: " + path);
    return;
  }
  written_[EntryNameKey(agent, kWindowsNames)] = true;
  Files::TraceText(ProcessIdText() + " New AU-Agent: " + path);
}

std::string TUnpackRun::NextVolume() {
  host_.AllowAutoPlayCancel();
  ++volumeNumber_;
  const std::string volume = VolumeName(req_.setupFile, volumeNumber_);
  if (req_.forcePrompt || !FileExists(volume)) {
    host_.EjectCD(volume);
    const std::string text = ReplaceText(req_.diskPrompt, "<DISK_NUM>", std::to_string(volumeNumber_));
    do {
      continue_ = host_.AskOkCancel(text, req_.caption, req_.buttons, req_.charset);
      host_.Wait(500);
    } while (!FileExists(volume) && continue_);
  }
  Progress(1, 1);
  return volume;
}

// Ends the run without an engine to start: the package is damaged or hostile.
void TUnpackRun::Refuse(const std::string& why) {
  Files::TraceText(why);
  result_.ok = false;
  result_.engineEntry.clear();
}

}  // namespace

bool IsHostileEntryName(const std::string& name) {
  if (name.empty()) return false;
  // Absolute, UNC ("\\server", "\\?\", "\\.\") and drive-relative forms.
  if (name[0] == '\\' || name[0] == '/') return true;
  // Drive letters and alternate data streams.
  if (name.find(':') != std::string::npos) return true;
  // Control characters: Windows allows none in a name, and a NUL would cut
  // the name short where the system reads it ("CONOUT$" + NUL + "x").
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20) return true;
  size_t start = 0;
  for (;;) {
    const size_t sep = name.find_first_of("\\/", start);
    const std::string_view component = std::string_view(name).substr(start, sep - start);
    if (IsParentComponent(component) || IsWindowsDeviceName(std::string(component))) return true;
    if (sep == std::string::npos) return false;
    start = sep + 1;
  }
}

std::string EntryNameKey(const std::string& name, bool windowsNames) {
  std::string key;
  key.reserve(name.size());
  size_t start = 0;
  while (start <= name.size()) {
    size_t sep = name.find_first_of("\\/", start);
    if (sep == std::string::npos) sep = name.size();
    const std::string_view component = std::string_view(name).substr(start, sep - start);
    if (!component.empty() && component != ".") {
      if (!key.empty()) key += '\\';
      for (char c : component) key += windowsNames && c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
    start = sep + 1;
  }
  return key;
}

int64_t UnpackFailedWrites() { return g_failedWrites; }

void ResetUnpackFailedWrites() { g_failedWrites = 0; }

#if defined(__cpp_exceptions)
TUnpackResult UnpackPackage(const TUnpackRequest& request, IUnpackHost& host) {
  TUnpackRun run(request, host);
  const TUnpackResult result = run.Run();
  if (run.ZLibError() != 0) throw EZLibError(run.ZLibError());
  return result;
}
#endif

TUnpackResult UnpackPackageGuarded(const TUnpackRequest& request, IUnpackHost& host, std::string* failure) {
  std::string why;
  TUnpackResult result;
  VX_TRY {
    TUnpackRun run(request, host);
    result = run.Run();
    if (run.ZLibError() != 0) why = std::string("Damaged package: ") + EZLibError::MessageFor(run.ZLibError());
  }
  VX_CATCH(const std::exception&) {  // std::bad_alloc, or a length past what a string holds
    why = "Damaged package: out of memory while unpacking";
  }
  if (!why.empty()) {
    Files::TraceText(why);
    result = TUnpackResult{};
  }
  if (failure) *failure = why;
  return result;
}
