// Where a download's body goes: one interface for memory and file targets, so
// that one read loop serves both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/FileIO.h"

class TDownloadSink {
 public:
  enum class Fault { None, Write, MemoryCap };

  virtual ~TDownloadSink() = default;
  // Ready for a body of `size` bytes (-1 = unknown); false when the target
  // cannot be prepared (Fault() says why).
  virtual bool Begin(int64_t size) = 0;
  // Takes all of the bytes or returns false (Fault() says why).
  virtual bool Append(const char* data, int64_t count) = 0;
  // Bytes held so far.
  virtual int64_t Held() = 0;
  // Begins the body anew for an answer of `size` bytes with the Last-Modified
  // `dosStamp` (a file target takes the temporary name these give).
  virtual bool Restart(int64_t size, int32_t) { return Begin(size); }
  // Goes on appending to the partial body in tempPath (a file target only;
  // a body in memory is never continued).
  virtual bool Continue(const std::string&) { return false; }
  // The partial body that an earlier call left behind: the largest temporary
  // file of the target that holds any byte ("" when none or for memory).
  virtual std::string LeftOver(int64_t& held) {
    held = 0;
    return {};
  }
  // Ends the transfer; with `complete` a file target is replaced. False when
  // a complete body could not be delivered.
  virtual bool Finish(bool complete) = 0;
  virtual bool ToFile() const = 0;
  // The temporary file of a file target ("" for memory).
  virtual std::string TempPath() const { return {}; }
  // The file a complete body replaces ("" for memory).
  virtual std::string TargetPath() const { return {}; }
  Fault LastFault() const { return fault_; }

 protected:
  Fault fault_ = Fault::None;
};

// The body in memory, never beyond `cap` bytes.
class TMemorySink : public TDownloadSink {
 public:
  explicit TMemorySink(int64_t cap);
  bool Begin(int64_t size) override;
  bool Append(const char* data, int64_t count) override;
  int64_t Held() override { return static_cast<int64_t>(data_.size()); }
  bool Finish(bool) override { return true; }
  bool ToFile() const override { return false; }
  const std::string& Data() const { return data_; }
  std::string TakeData() { return std::move(data_); }

 private:
  int64_t cap_;
  std::string data_;
};

// The body in a temporary file beside the target (TempFileName); the target
// is replaced only by a complete temporary file. Begin deletes the temporary
// files of earlier attempts on the same target (IsTempLeftOver) and nothing
// else; Continue keeps the one it goes on with. An incomplete temporary file
// stays until the next attempt.
class TFileSink : public TDownloadSink {
 public:
  TFileSink(std::string target, int64_t size, int32_t dosStamp);
  ~TFileSink() override;
  bool Begin(int64_t size) override;
  bool Append(const char* data, int64_t count) override;
  int64_t Held() override;
  bool Restart(int64_t size, int32_t dosStamp) override;
  bool Continue(const std::string& tempPath) override;
  std::string LeftOver(int64_t& held) override;
  bool Finish(bool complete) override;
  bool ToFile() const override { return true; }
  std::string TempPath() const override { return temp_; }
  std::string TargetPath() const override { return target_; }

 private:
  std::string target_;
  std::string temp_;
  TFile file_;
};

// Deletes the temporary files that earlier downloads into target left behind,
// all but `keep` (any case).
void DeleteTempLeftOvers(const std::string& target, const std::string& keep = "");
// The temporary files of earlier downloads into target.
std::vector<std::string> TempLeftOvers(const std::string& target);
