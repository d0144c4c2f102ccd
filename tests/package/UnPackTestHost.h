// A host for the unpacker tests that records every call and answers the disk
// prompts from a script.
#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "package/UnPack.h"

// One compressed file entry (level 6, no date).
inline std::string Entry(const std::string& name, const std::string& data) {
  return PackWrite::EntryBlock(PackWrite::EntryText(name, 0, data), 6);
}

// A writer for packages that a test damages: no volume checksum, so the
// damage reaches the unpacker.
inline TPackageWriter DamageableWriter() {
  TPackageWriter w;
  w.stubImage = testsupport::FakeStubImage(1024);
  w.writeChecksum = false;
  return w;
}

struct TPrompt {
  std::string text, caption, buttons;
  int charset = 0;
};

class TRecordingHost : public IUnpackHost {
 public:
  // Answer to prompt number n (0-based); default: OK every time.
  std::function<bool(int n)> answer = [](int) { return true; };

  void ShowError(const std::string& text) override { errors.push_back(text); }
  bool AskOkCancel(const std::string& text, const std::string& caption, const std::string& buttons,
                   int charset) override {
    prompts.push_back({text, caption, buttons, charset});
    return answer(static_cast<int>(prompts.size()) - 1);
  }
  void Pump() override { ++pumps; }
  void Wait(int ms) override { waits.push_back(ms); }
  bool EjectCD(const std::string& path) override {
    ejects.push_back(path);
    return false;
  }
  void AllowAutoPlayCancel() override { ++autoPlayRegistrations; }

  std::vector<std::string> errors;
  std::vector<TPrompt> prompts;
  std::vector<std::string> ejects;
  std::vector<int> waits;
  int pumps = 0;
  int autoPlayRegistrations = 0;
};

using TProgressLog = std::vector<std::pair<int, int64_t>>;

inline TUnpackRequest MakeRequest(const std::string& setupFile, const std::string& destination,
                                  TProgressLog* log = nullptr) {
  TUnpackRequest request;
  request.setupFile = setupFile;
  request.destination = destination;
  if (log) request.progress = [log](int kind, int64_t count) { log->emplace_back(kind, count); };
  return request;
}

inline std::string Join(const std::string& dir, const std::string& name) {
#ifdef _WIN32
  return dir + "\\" + name;
#else
  return dir + "/" + name;
#endif
}

// Sorted names of the entries of a folder (empty when it is missing).
inline std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}
