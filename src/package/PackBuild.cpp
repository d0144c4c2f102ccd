#include "package/PackBuild.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <random>

#include "package/PackWrite.h"
#include "package/Signature.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/Utils.h"
#include "util/Exceptions.h"

using namespace PackFormat;

namespace PackBuild {

namespace {

constexpr char kTempSuffix[] = ".vptmp";
constexpr int64_t kCopyPiece = int64_t{1} << 20;
constexpr int kLastVolumeNumber = 999;  // three digits

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Folder part of a path: "." for a bare name.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// One output file while it is written.
struct TVolume {
  int number = 1;
  std::string finalPath;
  std::string tempPath;
  TFile file;
  int64_t size = 0;
  uint32_t entries = 0;
};

// A carried file: where it is read from and its name as stored.
struct TPlanned {
  const TInput* input = nullptr;
  std::string storedName;
  uint64_t size = 0;
};

class TBuilder {
 public:
  TBuilder(const TBuildOptions& options, TBuildReport& report, const TBuildProgress& progress,
           const TBuildLog& log)
      : opt_(options), report_(report), progress_(progress), log_(log), rng_(options.seed) {}

  std::string Run();

 private:
  bool Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
  }
  void Log(const std::string& line) const {
    if (log_) log_(line);
  }
  bool Interrupted() {
    if (!opt_.interrupted || !opt_.interrupted()) return false;
    Fail("interrupted");
    return true;
  }
  std::string FirstVolumePath() const;
  bool Build();
  bool Validate();
  bool ConvertText(const std::string& what, const std::string& text, const char* forbidden, std::string& stored);
  bool CheckInfoItems();
  bool IsOwnOutput(const TInput& input) const;
  bool PlanInputs();
  bool MakeOutputFolder(const std::string& path);
  bool OpenVolume(int number);
  bool WriteTo(TVolume& volume, const std::string& bytes);
  bool CopyStub(TVolume& volume);
  bool WriteInfoBlocks(TVolume& volume);
  bool AddFile(const TPlanned& file, bool engine);
  bool PlaceBlock(const std::string& block);
  bool WriteTrailer(TVolume& volume, bool more);
  TPackTrailer FirstTrailer(bool more) const;
  bool PatchFirstVolume();
  bool PatchChecksum(TVolume& volume);
  bool Commit();
  void RemoveStaleVolumes();
  void ForgetTemp(TVolume& volume);
  void Discard();

  const TBuildOptions& opt_;
  TBuildReport& report_;
  const TBuildProgress& progress_;
  const TBuildLog& log_;
  std::mt19937 rng_;
  std::string error_;
  std::vector<std::unique_ptr<TVolume>> volumes_;
  std::vector<TPlanned> order_;  // engine first
  std::vector<std::string> createdFolders_;  // deepest last
  std::vector<uint64_t> fileSizes_;  // bytes actually carried, for the space table
  TInfoItems info_;                  // as stored (code page)
  TDownloadItems download_;
  std::string updateKey_;  // canonical key text; empty: none
  std::string engineArgs_;
  uint64_t totalBytes_ = 0;
  uint64_t doneBytes_ = 0;
  int64_t stubSize_ = 0;
};

std::string TBuilder::Run() {
  report_ = TBuildReport{};
  VX_TRY {
    if (Build()) Commit();
  }
  VX_CATCH(const std::bad_alloc&) {
    Fail("out of memory (lower --entry-size)");
  }
  if (!error_.empty()) {
    Discard();
    return error_;
  }
  for (const auto& volume : volumes_)
    Log("volume " + std::to_string(volume->number) + ": " + volume->finalPath + " (" + std::to_string(volume->size) +
        " bytes, " + std::to_string(volume->entries) + (volume->entries == 1 ? " entry)" : " entries)"));
  RemoveStaleVolumes();
  return error_;
}

bool TBuilder::Build() {
  if (!Validate() || !PlanInputs() || !OpenVolume(1) || !CopyStub(*volumes_[0]) || !WriteInfoBlocks(*volumes_[0]))
    return false;
  for (const TPlanned& file : order_)
    if (!AddFile(file, &file == &order_.front() && !opt_.engineName.empty())) return false;
  if (volumes_.size() > 1 && !WriteTrailer(*volumes_.back(), false)) return false;
  if (!WriteTrailer(*volumes_[0], volumes_.size() > 1) || !PatchFirstVolume()) return false;
  for (auto& volume : volumes_) volume->file.Close();
  for (auto& volume : volumes_)
    if (!PatchChecksum(*volume)) return false;
  return true;
}

std::string TBuilder::FirstVolumePath() const {
  std::string first = opt_.output;
  if (opt_.firstVolumeFile && !EndsWith(".001", first)) first += ".001";
  return first;
}

bool TBuilder::Validate() {
  if (opt_.stubPath.empty()) return Fail("no stub executable given");
  if (opt_.output.empty()) return Fail("no output file given");
  {
    TFile stub(opt_.stubPath, TFile::Mode::Read);
    if (!stub.IsOpen()) return Fail("cannot read the stub " + Quoted(opt_.stubPath) + ": " + FailureReason(opt_.stubPath));
  }
  if (!IsPEImage(opt_.stubPath))
    return Fail("the stub " + Quoted(opt_.stubPath) + " is not a stub executable (no \"MZ\" at 0 and \"PE\" at 256)");
  TPackTrailer existing;
  ReadTrailer(opt_.stubPath, existing);
  if (existing.HasMagic()) return Fail("the stub " + Quoted(opt_.stubPath) + " already carries a package");
  if (opt_.level < 0 || opt_.level > 9) return Fail("compression level must be 0 to 9");
  if (opt_.entrySize == 0 || opt_.entrySize > kMaxEntrySize)
    return Fail("entry size must be 1 byte to " + std::to_string(kMaxEntrySize) + " bytes");
  if (!PackText::IsSupportedCodePage(opt_.codePage))
    return Fail("code page " + std::to_string(opt_.codePage) + " is not supported (use " +
                PackText::SupportedCodePagesText() + ")");
  // Only a download stub or an agent may carry no files.
  if (opt_.inputs.empty() && !opt_.downloadSetup && !opt_.agentPackage) return Fail("no files to carry");
  if (!opt_.languageBlock.empty() &&
      (opt_.languageBlock.front() != kLangOuterDelimiter || opt_.languageBlock.back() != kLangOuterDelimiter))
    return Fail("the language block is not a list of languages");
  if (opt_.downloadSetup && (!opt_.download.present || opt_.download.url.empty() || opt_.download.setupFile.empty()))
    return Fail("a download setup needs a download URL and a setup file name");
  return CheckInfoItems();
}

bool TBuilder::ConvertText(const std::string& what, const std::string& text, const char* forbidden,
                           std::string& stored) {
  std::string problem;
  if (PackText::ToCodePage(text, opt_.codePage, forbidden, stored, problem)) return true;
  return Fail("the " + what + " " + Quoted(text) + " cannot be stored: " + problem);
}

bool TBuilder::CheckInfoItems() {
  struct TItem {
    const char* what;
    const std::string* text;
    std::string* stored;
    const char* forbidden;
  };
  info_ = opt_.info;
  download_ = opt_.download;
  const TItem items[] = {
      {"info folder URL", &opt_.info.infoFolderURL, &info_.infoFolderURL, PackText::kListSeparators},
      {"information file name", &opt_.info.infoFile, &info_.infoFile, PackText::kNameSeparators},
      {"agent file name", &opt_.info.agentFile, &info_.agentFile, PackText::kNameSeparators},
      {"secret token", &opt_.info.token, &info_.token, PackText::kListSeparators},
      {"download URL", &opt_.download.url, &download_.url, PackText::kListSeparators},
      {"download setup file name", &opt_.download.setupFile, &download_.setupFile, PackText::kNameSeparators},
      {"download token", &opt_.download.token, &download_.token, PackText::kListSeparators},
      {"download size", &opt_.download.size, &download_.size, PackText::kListSeparators},
      {"engine arguments", &opt_.engineArgs, &engineArgs_, PackText::kListSeparators},
  };
  for (const TItem& item : items) {
    const std::string problem = InfoItemProblem(item.what, *item.text);
    if (!problem.empty()) return Fail(problem);
    if (!ConvertText(item.what, *item.text, item.forbidden, *item.stored)) return false;
  }
  const std::string& size = opt_.download.size;
  if (size.find_first_not_of("0123456789") != std::string::npos)
    return Fail("download size " + Quoted(size) + " is not a number of bytes");
  updateKey_.clear();
  if (!opt_.updateKey.empty()) {
    std::string error;
    const auto point = Signature::ParsePublicKey(opt_.updateKey, error);
    if (!point) return Fail(error);
    updateKey_ = Signature::EncodeBase64(*point);
  }
  return true;
}

// The output and its volumes never carry themselves, whatever folder is packed.
bool TBuilder::IsOwnOutput(const TInput& input) const {
  const std::string first = FirstVolumePath();
  return IsOutputFileName(FileNamePart(input.source), FileNamePart(first)) &&
         packbuild_platform::SameFile(FolderOf(input.source), FolderOf(first));
}

bool TBuilder::PlanInputs() {
  std::map<std::string, const TInput*> byName;
  const TInput* engine = nullptr;
  std::vector<TPlanned> planned;
  for (const TInput& input : opt_.inputs) {
    if (IsOwnOutput(input)) {
      report_.warnings.push_back("left out " + Quoted(input.source) + ": it is this build's output or one of its volumes");
      continue;
    }
    std::string problem = EntryNameProblem(input.name);
    if (!problem.empty()) return Fail(problem);
    TPlanned file{&input, "", 0};
    if (!ConvertText("file name", input.name, PackText::kNameSeparators, file.storedName)) return false;
    auto [it, fresh] = byName.emplace(UpperCase(file.storedName), &input);
    if (!fresh)
      return Fail("two files have the name " + Quoted(input.name) + ": " + Quoted(it->second->source) + " and " +
                  Quoted(input.source));
    if (!opt_.engineName.empty() && SameText(input.name, ReplaceChar(opt_.engineName, '/', '\\'))) engine = &input;
    planned.push_back(std::move(file));
  }
  if (planned.empty() && !opt_.inputs.empty() && !opt_.downloadSetup && !opt_.agentPackage)
    return Fail("no files to carry");
  if (!opt_.engineName.empty() && !engine)
    return Fail("the engine " + Quoted(opt_.engineName) + " is not among the files to carry");
  for (TPlanned& file : planned)
    if (file.input == engine) order_.push_back(file);
  for (TPlanned& file : planned)
    if (file.input != engine) order_.push_back(file);
  for (TPlanned& file : order_) {
    TFile in(file.input->source, TFile::Mode::Read);
    if (!in.IsOpen())
      return Fail("cannot read " + Quoted(file.input->source) + ": " + FailureReason(file.input->source));
    file.size = static_cast<uint64_t>(in.Size());
    totalBytes_ += file.size;
  }
  return true;
}

// Creates the missing folders above the output, noting them for Discard.
bool TBuilder::MakeOutputFolder(const std::string& path) {
  const std::string folder = FolderOf(path);
  if (DirExists(folder)) return true;
  std::vector<std::string> missing;
  for (std::string f = folder; !DirExists(f); f = FolderOf(f)) {
    if (FileExists(f)) return Fail("cannot create " + Quoted(path) + ": " + Quoted(f) + " is a file");
    missing.push_back(f);
    if (FolderOf(f) == f) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (opt_.onTempFile) opt_.onTempFile(*it, true);
    createdFolders_.push_back(*it);
    if (!Files::platform::MakeDir(*it) && !DirExists(*it))
      return Fail("cannot create the folder " + Quoted(*it) + ": " + FailureReason(*it));
  }
  return true;
}

bool TBuilder::OpenVolume(int number) {
  if (number > kLastVolumeNumber) return Fail("more than 999 volumes: raise the volume size");
  auto volume = std::make_unique<TVolume>();
  volume->number = number;
  const std::string first = FirstVolumePath();
  volume->finalPath = number == 1 ? first : VolumeName(first, number);
  volume->tempPath = volume->finalPath + kTempSuffix;
  if (DirExists(volume->finalPath)) return Fail("cannot create " + Quoted(volume->finalPath) + ": is a folder");
  if (number == 1 && !MakeOutputFolder(volume->finalPath)) return false;
  if (opt_.onTempFile) opt_.onTempFile(volume->tempPath, true);
  volume->file.Open(volume->tempPath, TFile::Mode::Create);
  const bool open = volume->file.IsOpen();
  const std::string reason = open ? "" : FailureReason(volume->tempPath);
  volumes_.push_back(std::move(volume));  // listed even when not open, so Discard removes it
  if (!open) return Fail("cannot create " + Quoted(volumes_.back()->finalPath) + ": " + reason);
  return true;
}

bool TBuilder::WriteTo(TVolume& volume, const std::string& bytes) {
  const int64_t n = static_cast<int64_t>(bytes.size());
  if (volume.file.Write(bytes.data(), n) != n)
    return Fail("cannot write " + Quoted(volume.tempPath) + ": " + FailureReason(volume.tempPath));
  volume.size += n;
  return true;
}

bool TBuilder::CopyStub(TVolume& volume) {
  TFile stub(opt_.stubPath, TFile::Mode::Read);
  if (!stub.IsOpen()) return Fail("cannot read the stub " + Quoted(opt_.stubPath) + ": " + FailureReason(opt_.stubPath));
  std::string piece;
  for (;;) {
    if (Interrupted()) return false;
    piece.resize(static_cast<size_t>(kCopyPiece));
    const int64_t got = stub.Read(piece.data(), kCopyPiece);
    if (got < 0) return Fail("cannot read the stub " + Quoted(opt_.stubPath) + ": " + FailureReason(opt_.stubPath));
    piece.resize(static_cast<size_t>(got));
    if (!WriteTo(volume, piece)) return false;
    if (got < kCopyPiece) break;
  }
  stubSize_ = volume.size;
  if (stubSize_ > std::numeric_limits<uint32_t>::max()) return Fail("the stub is larger than 4 GiB");
  return true;
}

bool TBuilder::WriteInfoBlocks(TVolume& volume) {
  const std::string token = info_.token.empty() ? "" : PackWrite::ScrambleToken(info_.token, rng_);
  // Without translations: the English defaults, in the font character set of the names' code page.
  const std::string defaultLanguages = PackWrite::LanguageBlock(
      {{"English",
        {"Charset=" + std::to_string(PackText::CharsetOfCodePage(opt_.codePage)), "FontSize=8", "FontName=Tahoma"}}});
  std::string blocks = PackWrite::InfoBlockBytes(opt_.languageBlock.empty() ? defaultLanguages : opt_.languageBlock);
  blocks += PackWrite::InfoBlockBytes(
      PackWrite::InfoBlock(info_.infoFolderURL, info_.infoFile, info_.agentFile, token, info_.background, updateKey_));
  if (download_.present) {
    const TDownloadItems& d = download_;
    const std::string downloadToken = d.token.empty() ? "" : PackWrite::ScrambleToken(d.token, rng_);
    blocks += PackWrite::InfoBlockBytes(PackWrite::DownloadBlock(d.url, d.setupFile, d.alwaysDownload, downloadToken,
                                                                 d.size, updateKey_));
  }
  if (opt_.volumeSize > 0 && static_cast<uint64_t>(volume.size) + blocks.size() + kTrailerSize > opt_.volumeSize)
    return Fail("volume size " + std::to_string(opt_.volumeSize) + " is too small for the stub and the information blocks (" +
                std::to_string(static_cast<uint64_t>(volume.size) + blocks.size() + kTrailerSize) + " bytes)");
  return WriteTo(volume, blocks);
}

bool TBuilder::AddFile(const TPlanned& planned, bool engine) {
  const std::string& source = planned.input->source;
  TFile file(source, TFile::Mode::Read);
  if (!file.IsOpen()) return Fail("cannot read " + Quoted(source) + ": " + FailureReason(source));
  const int32_t date = FileDosDate(source);
  // The stub trims the arguments after the "*"; so does the builder.
  const std::string name = engine ? planned.storedName + "*" + Trim(engineArgs_) : planned.storedName;
  const size_t pieceSize = static_cast<size_t>(opt_.entrySize);
  std::string data;
  uint64_t carried = 0;
  uint32_t pieces = 0;
  for (;;) {
    if (Interrupted()) return false;
    data.resize(pieceSize);
    const int64_t got = file.Read(data.data(), static_cast<int64_t>(pieceSize));
    if (got < 0) return Fail("cannot read " + Quoted(source) + ": " + FailureReason(source));
    if (got == 0 && pieces > 0) break;
    data.resize(static_cast<size_t>(got));
    const std::string block = PackWrite::CheckedEntryBlock(PackWrite::EntryText(name, date, data), opt_.level);
    if (block.empty()) return Fail("cannot compress " + Quoted(source));
    if (!PlaceBlock(block)) return false;
    carried += static_cast<uint64_t>(got);
    ++pieces;
    doneBytes_ += static_cast<uint64_t>(got);
    if (progress_) progress_(doneBytes_, std::max(doneBytes_, totalBytes_));
    if (static_cast<size_t>(got) < pieceSize) break;
  }
  fileSizes_.push_back(carried);
  ++report_.files;
  report_.inputBytes += carried;
  Log("added " + planned.input->name + (engine ? "*" + Trim(opt_.engineArgs) : "") + " (" + std::to_string(carried) +
      " bytes, " + std::to_string(pieces) + (pieces == 1 ? " entry)" : " entries)"));
  return true;
}

bool TBuilder::PlaceBlock(const std::string& block) {
  TVolume* volume = volumes_.back().get();
  const uint64_t need = block.size() + kTrailerSize;
  if (opt_.volumeSize > 0 && static_cast<uint64_t>(volume->size) + need > opt_.volumeSize) {
    if (need > opt_.volumeSize)
      return Fail("volume size " + std::to_string(opt_.volumeSize) + " is too small to hold one block (" +
                  std::to_string(need) + " bytes with the trailer)");
    if (volume->number > 1 && !WriteTrailer(*volume, true)) return false;
    if (volume->number > 1) volume->file.Close();
    if (!OpenVolume(volume->number + 1)) return false;
    volume = volumes_.back().get();
  }
  if (!WriteTo(*volume, block)) return false;
  ++volume->entries;
  ++report_.entries;
  return true;
}

TPackTrailer TBuilder::FirstTrailer(bool more) const {
  TPackTrailer t;
  t.bytes[kOffFormat] = 1;
  t.bytes[kOffInfoBlockCount] = download_.present ? 3 : 2;
  t.SetDataStart(static_cast<uint32_t>(stubSize_));
  // Progress steps of a run: every distinct file, then one per further volume.
  const uint64_t steps = fileSizes_.size() + (volumes_.size() - 1);
  t.SetEntryCount(static_cast<uint32_t>(std::min<uint64_t>(steps, std::numeric_limits<uint32_t>::max())));
  t.SetMagic();
  t.SetChecksum(kNoChecksum);
  const auto space = PackWrite::SpaceTable(fileSizes_);
  for (int i = 0; i < kSpaceTableEntries; ++i) t.SetSpaceEntry(i, space[static_cast<size_t>(i)]);
  t.bytes[kOffOptions] = static_cast<uint8_t>((opt_.options & ~kOptMoreVolumes) | (more ? kOptMoreVolumes : 0));
  t.bytes[kOffDownload] = opt_.downloadSetup;
  t.bytes[kOffAskBeforeDownload] = opt_.askBeforeDownload;
  t.bytes[kOffCarriesAgent] = opt_.carriesAgent;
  t.bytes[kOffAgentPackage] = opt_.agentPackage;
  t.SetLength(kTrailerSize);
  return t;
}

bool TBuilder::WriteTrailer(TVolume& volume, bool more) {
  TPackTrailer t;
  if (volume.number == 1) {
    t = FirstTrailer(more);
    report_.progressCount = t.EntryCount();
  } else {
    t.bytes[kOffFormat] = 1;
    t.bytes[kOffInfoBlockCount] = 2;
    t.SetDataStart(0);
    t.SetEntryCount(volume.entries);
    t.SetMagic();
    t.SetChecksum(kNoChecksum);
    t.bytes[kOffOptions] = more ? kOptMoreVolumes : 0;
    t.SetLength(kTrailerSize);
  }
  return WriteTo(volume, t.AsText());
}

// The package end pointer in the stub's DOS header area.
bool TBuilder::PatchFirstVolume() {
  TVolume& first = *volumes_[0];
  uint8_t words[8];
  uint32_t high = 0, low = 0;
  SplitEndPointer(static_cast<uint64_t>(first.size), high, low);
  PutU32(words, high);
  PutU32(words + 4, low);
  if (first.file.Seek64(kEndPointerHigh, TFile::Origin::Begin) != kEndPointerHigh || first.file.Write(words, 8) != 8)
    return Fail("cannot write " + Quoted(first.tempPath) + ": " + FailureReason(first.tempPath));
  return true;
}

// Small volumes carry the sum of their words; the stub skips the test for larger ones.
bool TBuilder::PatchChecksum(TVolume& volume) {
  if (volume.size > kChecksumLimit) return true;
  const uint32_t sum = PackageChecksum(volume.tempPath, kTrailerSize);
  uint8_t word[4];
  PutU32(word, sum);
  TFile file(volume.tempPath, TFile::Mode::Write);
  const int64_t at = volume.size - kTrailerSize + kOffChecksum;
  if (!file.IsOpen() || file.Seek64(at, TFile::Origin::Begin) != at || file.Write(word, 4) != 4)
    return Fail("cannot write " + Quoted(volume.tempPath) + ": " + FailureReason(volume.tempPath));
  return true;
}

bool TBuilder::Commit() {
  // Later volumes first: the setup executable appears last, complete.
  for (size_t i = volumes_.size(); i-- > 0;) {
    TVolume& volume = *volumes_[i];
    if (!MoveFileReplacing(volume.tempPath, volume.finalPath)) {
      Fail("cannot write " + Quoted(volume.finalPath) + ": " + FailureReason(volume.finalPath));
      for (size_t j = i + 1; j < volumes_.size(); ++j) RemoveFile(volumes_[j]->finalPath);
      return false;
    }
    ForgetTemp(volume);
  }
  for (const auto& volume : volumes_) report_.volumes.push_back(volume->finalPath);
  for (const std::string& folder : createdFolders_)
    if (opt_.onTempFile) opt_.onTempFile(folder, false);
  createdFolders_.clear();
  return true;
}

// Volumes of an earlier build that this one does not write would be taken
// for parts of the new package by anyone who copies the folder.
void TBuilder::RemoveStaleVolumes() {
  const std::string first = FirstVolumePath();
  for (int number = static_cast<int>(volumes_.size()) + 1; number <= kLastVolumeNumber; ++number) {
    const std::string stale = VolumeName(first, number);
    if (!FileExists(stale)) continue;
    if (RemoveFile(stale))
      report_.warnings.push_back("removed " + Quoted(stale) + ", a volume of an earlier build");
    else
      report_.warnings.push_back("cannot remove " + Quoted(stale) + ", a volume of an earlier build: " +
                                 FailureReason(stale));
  }
}

void TBuilder::ForgetTemp(TVolume& volume) {
  if (volume.tempPath.empty()) return;
  if (opt_.onTempFile) opt_.onTempFile(volume.tempPath, false);
  volume.tempPath.clear();
}

void TBuilder::Discard() {
  for (auto& volume : volumes_) {
    volume->file.Close();
    if (!volume->tempPath.empty()) RemoveFile(volume->tempPath);
    ForgetTemp(*volume);
  }
  for (auto it = createdFolders_.rbegin(); it != createdFolders_.rend(); ++it) {
    Files::platform::RemoveDir(*it);
    if (opt_.onTempFile) opt_.onTempFile(*it, false);
  }
  report_.volumes.clear();
}

}  // namespace

std::string BuildPackage(const TBuildOptions& options, TBuildReport& report, const TBuildProgress& progress,
                         const TBuildLog& log) {
  return TBuilder(options, report, progress, log).Run();
}

}  // namespace PackBuild
