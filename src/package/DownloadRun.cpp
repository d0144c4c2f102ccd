#include "package/DownloadRun.h"

#include <algorithm>
#include <string>

#include "package/PackX.h"
#include "package/StubSetup.h"
#include "package/UnPack.h"
#include "stub/ExitCodes.h"
#include "util/FileIO.h"
#include "util/Utils.h"

namespace DownloadRun {

namespace {

// A signature after the package is shorter than this; a longer tail is kept.
constexpr int64_t kSignatureRoom = 10000;
constexpr int64_t kFlagFromEnd = 5;
constexpr int64_t kCopyPiece = 65536;

// Copies the first `length` bytes of `in` to `out`, setting the byte at
// `flagAt` (when within them) to 1.
bool CopyPieces(TFile& in, TFile& out, int64_t length, int64_t flagAt) {
  std::string piece;
  for (int64_t done = 0; done < length;) {
    const int64_t n = std::min(length - done, kCopyPiece);
    piece.resize(static_cast<size_t>(n));
    if (!in.ReadAt(done, piece.data(), n)) return false;
    if (flagAt >= done && flagAt < done + n) piece[static_cast<size_t>(flagAt - done)] = 1;
    if (out.Write(piece.data(), n) != n) return false;
    done += n;
  }
  return true;
}

}  // namespace

int64_t AgentCopyLength(int64_t fileLength, int64_t packageEnd) {
  const int64_t low = static_cast<int64_t>(static_cast<uint64_t>(packageEnd) & 0xFFFFFFFFu);
  if (low > 0 && low < fileLength && fileLength - low < kSignatureRoom) return low;
  return fileLength;
}

int64_t AgentFlagOffset(int64_t length) { return length > kFlagFromEnd ? length - kFlagFromEnd : -1; }

bool WriteAgentCopy(const std::string& source, const std::string& target) {
  TFile in(source, TFile::Mode::Read);
  if (!in.IsOpen()) return false;
  const int64_t size = in.Size();
  if (size < 0) return false;
  const int64_t length = AgentCopyLength(size, IsPEImage(in) ? ReadPackageEnd(in) : 0);
  bool complete = false;
  bool opened = false;
  {
    TFile out(target, TFile::Mode::Create);
    opened = out.IsOpen();
    complete = opened && CopyPieces(in, out, length, AgentFlagOffset(length));
    const int32_t date = FileDosDate(source);
    if (complete && date != 0) out.SetDosDate(date);
  }
  // A cut copy would not run.
  if (opened && !complete) RemoveFile(target);
  return complete;
}

std::string DownloadQuestionText(const std::string& s11, const std::string& sizeItem) {
  const int64_t bytes = TextToInt64(Trim(sizeItem), 0);
  return ReplaceText(s11, "<SIZE>", StubSetup::MegabyteText(static_cast<double>(bytes)));
}

std::string ConnectionErrorText(const std::string& s12, const std::string& reason) {
  return reason.empty() ? s12 : s12 + "<P><P>" + reason;
}

bool IsUsableSetupFileName(const std::string& name) { return !Trim(name).empty() && !IsHostileEntryName(name); }

std::string JoinPath(const std::string& dir, const std::string& name) {
  if (!dir.empty() && (dir.back() == '\\' || dir.back() == '/')) return dir + name;
  return dir + "\\" + name;
}

std::string DownloadAddress(const std::string& source, const std::string& name) { return source + "/" + name; }

std::string BadFileNameText(const std::string& name) { return "Bad setup file name: \"" + name + "\""; }

uint32_t DownloadExitCode(const std::string& error, uint32_t extractionExitCode) {
  if (error == kRefused) return ExitCodes::kCancelled;
  if (!error.empty()) return ExitCodes::kDownloadFailed;
  return extractionExitCode;
}

}  // namespace DownloadRun
