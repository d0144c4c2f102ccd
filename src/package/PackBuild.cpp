#include "package/PackBuild.h"

#include <algorithm>
#include <limits>
#include <map>
#include <memory>
#include <random>

#include "package/PackWrite.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/Utils.h"

using namespace PackFormat;

namespace PackBuild {

namespace {

constexpr char kTempSuffix[] = ".vptmp";
constexpr int64_t kCopyPiece = int64_t{1} << 20;
#ifdef _WIN32
constexpr char kSeparator = '\\';
#else
constexpr char kSeparator = '/';
#endif

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// One output file while it is written.
struct TVolume {
  int number = 1;
  std::string finalPath;
  std::string tempPath;
  TFile file;
  int64_t size = 0;
  uint32_t entries = 0;
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
  bool Validate();
  bool CheckInfoItems();
  bool PlanInputs();
  bool OpenVolume(int number);
  bool WriteTo(TVolume& volume, const std::string& bytes);
  bool CopyStub(TVolume& volume);
  bool WriteInfoBlocks(TVolume& volume);
  bool AddFile(const TInput& input, bool engine);
  bool PlaceBlock(const std::string& block);
  bool WriteTrailer(TVolume& volume, bool more);
  TPackTrailer FirstTrailer(bool more) const;
  bool PatchFirstVolume();
  bool PatchChecksum(TVolume& volume);
  bool Commit();
  void Discard();

  const TBuildOptions& opt_;
  TBuildReport& report_;
  const TBuildProgress& progress_;
  const TBuildLog& log_;
  std::mt19937 rng_;
  std::string error_;
  std::vector<std::unique_ptr<TVolume>> volumes_;
  std::vector<const TInput*> order_;  // engine first
  std::vector<uint64_t> plannedSizes_;
  std::vector<uint64_t> fileSizes_;  // bytes actually carried, for the space table
  uint64_t totalBytes_ = 0;
  uint64_t doneBytes_ = 0;
  int64_t stubSize_ = 0;
};

std::string TBuilder::Run() {
  report_ = TBuildReport{};
  if (Validate() && PlanInputs() && OpenVolume(1) && CopyStub(*volumes_[0]) && WriteInfoBlocks(*volumes_[0])) {
    bool ok = true;
    for (const TInput* input : order_) {
      ok = AddFile(*input, input == order_.front() && !opt_.engineName.empty());
      if (!ok) break;
    }
    if (ok && volumes_.size() > 1) ok = WriteTrailer(*volumes_.back(), false);
    if (ok) ok = WriteTrailer(*volumes_[0], volumes_.size() > 1) && PatchFirstVolume();
    if (ok) {
      for (auto& volume : volumes_) volume->file.Close();
      for (auto& volume : volumes_)
        if (!PatchChecksum(*volume)) break;
    }
    if (error_.empty()) Commit();
  }
  if (!error_.empty()) Discard();
  return error_;
}

bool TBuilder::Validate() {
  if (opt_.stubPath.empty()) return Fail("no stub executable given");
  if (opt_.output.empty()) return Fail("no output file given");
  if (!FileExists(opt_.stubPath)) return Fail("cannot read the stub " + Quoted(opt_.stubPath));
  if (!IsPEImage(opt_.stubPath))
    return Fail("the stub " + Quoted(opt_.stubPath) + " is not a stub executable (no \"MZ\" at 0 and \"PE\" at 256)");
  TPackTrailer existing;
  ReadTrailer(opt_.stubPath, existing);
  if (existing.HasMagic()) return Fail("the stub " + Quoted(opt_.stubPath) + " already carries a package");
  if (opt_.level < 0 || opt_.level > 9) return Fail("compression level must be 0 to 9");
  if (opt_.entrySize == 0 || opt_.entrySize > kMaxEntrySize)
    return Fail("entry size must be 1 byte to " + std::to_string(kMaxEntrySize) + " bytes");
  // Only a download stub or an agent may carry no files.
  if (opt_.inputs.empty() && !opt_.downloadSetup && !opt_.agentPackage) return Fail("no files to carry");
  if (!opt_.languageBlock.empty() &&
      (opt_.languageBlock.front() != kLangOuterDelimiter || opt_.languageBlock.back() != kLangOuterDelimiter))
    return Fail("the language block is not a list of languages");
  if (opt_.downloadSetup && (!opt_.download.present || opt_.download.url.empty() || opt_.download.setupFile.empty()))
    return Fail("a download setup needs a download URL and a setup file name");
  return CheckInfoItems();
}

bool TBuilder::CheckInfoItems() {
  const std::pair<const char*, const std::string*> items[] = {
      {"info folder URL", &opt_.info.infoFolderURL}, {"information file name", &opt_.info.infoFile},
      {"agent file name", &opt_.info.agentFile},     {"secret token", &opt_.info.token},
      {"download URL", &opt_.download.url},          {"download setup file name", &opt_.download.setupFile},
      {"download token", &opt_.download.token},      {"download size", &opt_.download.size},
  };
  for (const auto& [what, text] : items) {
    std::string problem = InfoItemProblem(what, *text);
    if (!problem.empty()) return Fail(problem);
  }
  const std::string& size = opt_.download.size;
  if (size.find_first_not_of("0123456789") != std::string::npos)
    return Fail("download size " + Quoted(size) + " is not a number of bytes");
  return true;
}

bool TBuilder::PlanInputs() {
  std::map<std::string, const TInput*> byName;
  const TInput* engine = nullptr;
  for (const TInput& input : opt_.inputs) {
    std::string problem = EntryNameProblem(input.name);
    if (!problem.empty()) return Fail(problem);
    const std::string key = UpperCase(input.name);
    auto [it, fresh] = byName.emplace(key, &input);
    if (!fresh)
      return Fail("two files have the name " + Quoted(input.name) + ": " + Quoted(it->second->source) + " and " +
                  Quoted(input.source));
    if (!opt_.engineName.empty() && key == UpperCase(ReplaceChar(opt_.engineName, '/', '\\'))) engine = &input;
  }
  if (!opt_.engineName.empty() && !engine)
    return Fail("the engine " + Quoted(opt_.engineName) + " is not among the files to carry");
  if (opt_.engineArgs.find_first_of(std::string("|\0", 2)) != std::string::npos)
    return Fail("engine arguments cannot contain \"|\"");
  if (engine) order_.push_back(engine);
  for (const TInput& input : opt_.inputs)
    if (&input != engine) order_.push_back(&input);
  for (const TInput* input : order_) {
    TFile file(input->source, TFile::Mode::Read);
    if (!FileExists(input->source) || !file.IsOpen()) return Fail("cannot read " + Quoted(input->source));
    plannedSizes_.push_back(static_cast<uint64_t>(file.Size()));
    totalBytes_ += plannedSizes_.back();
  }
  return true;
}

bool TBuilder::OpenVolume(int number) {
  auto volume = std::make_unique<TVolume>();
  volume->number = number;
  std::string first = opt_.output;
  if (opt_.firstVolumeFile && !EndsWith(".001", first)) first += ".001";
  volume->finalPath = number == 1 ? first : VolumeName(first, number);
  volume->tempPath = volume->finalPath + kTempSuffix;
  if (DirExists(volume->finalPath)) return Fail(Quoted(volume->finalPath) + " is a folder");
  volume->file.Open(volume->tempPath, TFile::Mode::Create);
  const bool open = volume->file.IsOpen();
  volumes_.push_back(std::move(volume));  // listed even when not open, so Discard removes it
  if (!open) return Fail("cannot create " + Quoted(volumes_.back()->finalPath));
  return true;
}

bool TBuilder::WriteTo(TVolume& volume, const std::string& bytes) {
  const int64_t n = static_cast<int64_t>(bytes.size());
  if (volume.file.Write(bytes.data(), n) != n) return Fail("cannot write " + Quoted(volume.tempPath));
  volume.size += n;
  return true;
}

bool TBuilder::CopyStub(TVolume& volume) {
  TFile stub(opt_.stubPath, TFile::Mode::Read);
  if (!stub.IsOpen()) return Fail("cannot read the stub " + Quoted(opt_.stubPath));
  std::string piece;
  for (;;) {
    piece.resize(static_cast<size_t>(kCopyPiece));
    const int64_t got = stub.Read(piece.data(), kCopyPiece);
    if (got < 0) return Fail("cannot read the stub " + Quoted(opt_.stubPath));
    piece.resize(static_cast<size_t>(got));
    if (!WriteTo(volume, piece)) return false;
    if (got < kCopyPiece) break;
  }
  stubSize_ = volume.size;
  if (stubSize_ > std::numeric_limits<uint32_t>::max()) return Fail("the stub is larger than 4 GiB");
  return true;
}

bool TBuilder::WriteInfoBlocks(TVolume& volume) {
  const std::string token = opt_.info.token.empty() ? "" : PackWrite::ScrambleToken(opt_.info.token, rng_);
  std::string blocks = PackWrite::InfoBlockBytes(opt_.languageBlock.empty() ? PackWrite::DefaultLanguageBlock()
                                                                            : opt_.languageBlock);
  blocks += PackWrite::InfoBlockBytes(PackWrite::InfoBlock(opt_.info.infoFolderURL, opt_.info.infoFile,
                                                           opt_.info.agentFile, token, opt_.info.background));
  if (opt_.download.present) {
    const TDownloadItems& d = opt_.download;
    const std::string downloadToken = d.token.empty() ? "" : PackWrite::ScrambleToken(d.token, rng_);
    blocks += PackWrite::InfoBlockBytes(PackWrite::DownloadBlock(d.url, d.setupFile, d.alwaysDownload, downloadToken,
                                                                 d.size));
  }
  if (opt_.volumeSize > 0 && static_cast<uint64_t>(volume.size) + blocks.size() + kTrailerSize > opt_.volumeSize)
    return Fail("volume size " + std::to_string(opt_.volumeSize) + " is too small for the stub and the information blocks (" +
                std::to_string(static_cast<uint64_t>(volume.size) + blocks.size() + kTrailerSize) + " bytes)");
  return WriteTo(volume, blocks);
}

bool TBuilder::AddFile(const TInput& input, bool engine) {
  TFile file(input.source, TFile::Mode::Read);
  if (!file.IsOpen()) return Fail("cannot read " + Quoted(input.source));
  const int32_t date = FileDosDate(input.source);
  // The stub trims the arguments after the "*"; so does the builder.
  const std::string name = engine ? input.name + "*" + Trim(opt_.engineArgs) : input.name;
  const size_t pieceSize = static_cast<size_t>(opt_.entrySize);
  std::string data;
  uint64_t carried = 0;
  uint32_t pieces = 0;
  for (;;) {
    data.resize(pieceSize);
    const int64_t got = file.Read(data.data(), static_cast<int64_t>(pieceSize));
    if (got < 0) return Fail("cannot read " + Quoted(input.source));
    if (got == 0 && pieces > 0) break;
    data.resize(static_cast<size_t>(got));
    const std::string text = PackWrite::EntryText(name, date, data);
    std::string block;
    if (opt_.level > 0) {
      std::string packed = PackWrite::Compress(text, opt_.level);
      if (packed.empty()) return Fail("cannot compress " + Quoted(input.source));
      // A piece that does not shrink is stored.
      if (packed.size() < text.size()) {
        block.assign(4, '\0');
        PutU32(block, 0, static_cast<uint32_t>(packed.size()));
        block += packed;
      }
    }
    if (block.empty()) block = PackWrite::EntryBlock(text, 0);
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
  Log("added " + name + " (" + std::to_string(carried) + " bytes, " + std::to_string(pieces) +
      (pieces == 1 ? " entry)" : " entries)"));
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
  t.bytes[kOffInfoBlockCount] = opt_.download.present ? 3 : 2;
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
  if (!WriteTo(volume, t.AsText())) return false;
  Log("volume " + std::to_string(volume.number) + ": " + volume.finalPath + " (" + std::to_string(volume.size) +
      " bytes, " + std::to_string(volume.entries) + (volume.entries == 1 ? " entry)" : " entries)"));
  return true;
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
    return Fail("cannot write " + Quoted(first.tempPath));
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
    return Fail("cannot write " + Quoted(volume.tempPath));
  return true;
}

bool TBuilder::Commit() {
  // Later volumes first: the setup executable appears last, complete.
  for (size_t i = volumes_.size(); i-- > 0;) {
    TVolume& volume = *volumes_[i];
    if (!MoveFileReplacing(volume.tempPath, volume.finalPath)) {
      Fail("cannot write " + Quoted(volume.finalPath));
      for (size_t j = i + 1; j < volumes_.size(); ++j) RemoveFile(volumes_[j]->finalPath);
      return false;
    }
    volume.tempPath.clear();
  }
  for (const auto& volume : volumes_) report_.volumes.push_back(volume->finalPath);
  return true;
}

void TBuilder::Discard() {
  for (auto& volume : volumes_) {
    volume->file.Close();
    if (!volume->tempPath.empty()) RemoveFile(volume->tempPath);
  }
  report_.volumes.clear();
}

bool HasAny(const std::string& text, const std::string& chars) { return text.find_first_of(chars) != std::string::npos; }

}  // namespace

std::string BuildPackage(const TBuildOptions& options, TBuildReport& report, const TBuildProgress& progress,
                         const TBuildLog& log) {
  return TBuilder(options, report, progress, log).Run();
}

std::string EntryNameProblem(const std::string& name) {
  const std::string quoted = Quoted(name);
  if (name.empty()) return "a file without a name cannot be carried";
  for (unsigned char c : name)
    if (c < 32) return "the file name " + quoted + " contains a control character";
  if (HasAny(name, "|*:<>\"?")) return "the file name " + quoted + " contains one of | * : < > \" ?";
  if (name.find('/') != std::string::npos) return "the file name " + quoted + " must use \"\\\" as separator";
  if (name.front() == '\\' || name.back() == '\\') return "the file name " + quoted + " is not a relative name";
  size_t start = 0;
  for (;;) {
    const size_t sep = name.find('\\', start);
    const std::string part = name.substr(start, sep == std::string::npos ? std::string::npos : sep - start);
    if (part.empty() || part.find_first_not_of(". ") == std::string::npos)
      return "the file name " + quoted + " has an empty, \".\" or \"..\" component";
    if (sep == std::string::npos) return "";
    start = sep + 1;
  }
}

std::string InfoItemProblem(const std::string& what, const std::string& text) {
  if (HasAny(text, std::string("|\0", 2))) return "the " + what + " cannot contain \"|\" or NUL";
  return "";
}

uint64_t PieceCount(uint64_t size, uint64_t entrySize) {
  if (entrySize == 0) return 0;
  return size == 0 ? 1 : size / entrySize + (size % entrySize != 0);
}

void SplitEndPointer(uint64_t end, uint32_t& high, uint32_t& low) {
  high = static_cast<uint32_t>(end >> 32);
  low = static_cast<uint32_t>(end);
}

bool ParseSize(const std::string& text, uint64_t& bytes) {
  const std::string t = Trim(text);
  size_t digits = 0;
  while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9') ++digits;
  if (digits == 0 || digits > 15) return false;
  uint64_t value = std::stoull(t.substr(0, digits));
  const std::string unit = UpperCase(t.substr(digits));
  int shift = 0;
  if (unit == "K" || unit == "KB" || unit == "KIB") shift = 10;
  else if (unit == "M" || unit == "MB" || unit == "MIB") shift = 20;
  else if (unit == "G" || unit == "GB" || unit == "GIB") shift = 30;
  else if (!unit.empty()) return false;
  if (value > (std::numeric_limits<uint64_t>::max() >> shift)) return false;
  bytes = value << shift;
  return true;
}

std::string CollectInputs(const std::vector<std::string>& paths, std::vector<TInput>& inputs) {
  std::function<void(const std::string&, const std::string&)> walk = [&](const std::string& dir,
                                                                        const std::string& prefix) {
    auto entries = Files::platform::ListDir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    for (const auto& entry : entries) {
      const std::string source = dir + kSeparator + entry.name;
      const std::string name = prefix.empty() ? entry.name : prefix + "\\" + entry.name;
      if (entry.isDir) {
        if (!entry.isLink) walk(source, name);
      } else {
        inputs.push_back({source, name});
      }
    }
  };
  for (const std::string& path : paths) {
    if (DirExists(path)) {
      walk(path, "");
    } else if (FileExists(path)) {
      const size_t slash = path.find_last_of("\\/");
      inputs.push_back({path, slash == std::string::npos ? path : path.substr(slash + 1)});
    } else {
      return "cannot read " + Quoted(path) + ": no such file or folder";
    }
  }
  return "";
}

}  // namespace PackBuild
