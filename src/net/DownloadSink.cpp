#include "net/DownloadSink.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "net/HttpDecisions.h"
#include "util/Files.h"
#include "util/PathText.h"
#include "util/Utils.h"
#include "util/Exceptions.h"

// --- Memory --------------------------------------------------------------------

TMemorySink::TMemorySink(int64_t cap) : cap_(cap) {}

bool TMemorySink::Begin(int64_t size) {
  data_.clear();
  fault_ = Fault::None;
  if (size > cap_) {
    fault_ = Fault::MemoryCap;
    return false;
  }
  VX_TRY {
    if (size > 0) data_.reserve(static_cast<size_t>(size));
  }
  VX_CATCH(const std::exception&) {
    // Only a hint: the body still arrives piece by piece.
  }
  return true;
}

bool TMemorySink::Append(const char* data, int64_t count) {
  if (count <= 0) return true;
  if (count > cap_ - Held()) {
    fault_ = Fault::MemoryCap;
    return false;
  }
  VX_TRY {
    data_.append(data, static_cast<size_t>(count));
  }
  VX_CATCH(const std::exception&) {
    fault_ = Fault::MemoryCap;
    return false;
  }
  return true;
}

// --- File ------------------------------------------------------------------------

std::vector<std::string> TempLeftOvers(const std::string& target) {
  const std::string name = FileNamePart(target);
  const std::string dir = target.substr(0, target.size() - name.size());
  std::vector<std::string> found;
  for (const auto& entry : Files::platform::ListDir(dir.empty() ? "." : dir)) {
    const std::string path = dir + entry.name;
    if (!entry.isDir && !entry.isLink && http::IsTempLeftOver(target, path)) found.push_back(path);
  }
  return found;
}

void DeleteTempLeftOvers(const std::string& target, const std::string& keep) {
  for (const std::string& path : TempLeftOvers(target)) {
    if (!SameText(path, keep)) RemoveFile(path);
  }
}

TFileSink::TFileSink(std::string target, int64_t size, int32_t dosStamp)
    : target_(std::move(target)), temp_(http::TempFileName(target_, size, dosStamp)) {}

TFileSink::~TFileSink() { file_.Close(); }

bool TFileSink::Begin(int64_t) {
  fault_ = Fault::None;
  DeleteTempLeftOvers(target_);
  // One handle for the whole transfer: opening the file for every read would
  // cost more than the read itself.
  if (!file_.Open(temp_, TFile::Mode::Create)) {
    fault_ = Fault::Write;
    return false;
  }
  return true;
}

bool TFileSink::Append(const char* data, int64_t count) {
  if (count <= 0) return true;
  if (!file_.IsOpen() || file_.Write(data, count) != count) {
    fault_ = Fault::Write;
    return false;
  }
  return true;
}

int64_t TFileSink::Held() {
  if (file_.IsOpen()) return file_.Size();
  return Files::FileSizeByName(temp_);
}

bool TFileSink::Restart(int64_t size, int32_t dosStamp) {
  file_.Close();
  temp_ = http::TempFileName(target_, size, dosStamp);
  return Begin(size);
}

bool TFileSink::Continue(const std::string& tempPath) {
  fault_ = Fault::None;
  if (file_.IsOpen() && SameText(tempPath, temp_)) return true;
  file_.Close();
  temp_ = tempPath;
  DeleteTempLeftOvers(target_, temp_);
  if (!file_.Open(temp_, TFile::Mode::Append)) {
    fault_ = Fault::Write;
    return false;
  }
  return true;
}

std::string TFileSink::LeftOver(int64_t& held) {
  held = 0;
  std::string best;
  for (const std::string& path : TempLeftOvers(target_)) {
    const int64_t size = Files::FileSizeByName(path);
    if (size > held) {
      held = size;
      best = path;
    }
  }
  return best;
}

bool TFileSink::Finish(bool complete) {
  file_.Close();
  if (!complete) return false;
  if (MoveFileReplacing(temp_, target_)) return true;
  fault_ = Fault::Write;
  return false;
}
