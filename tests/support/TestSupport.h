// Helpers shared by the tests: scratch folders, files, and paths into the build tree.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// A fresh empty folder for one test, removed by the destructor.
class TScratchDir {
 public:
  TScratchDir();
  ~TScratchDir();
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  // Path of `name` inside the folder, joined with the platform's separator.
  std::string File(const std::string& name) const;

 private:
  std::string path_;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);

// A path of the build or source tree as this process can open it (under wine
// a Unix path becomes a Z: path).
std::string BuildPath(const std::string& relative);
std::string SourcePath(const std::string& relative);

// A small image with "MZ" at 0 and "PE" at 256 and nothing else of a real
// program: enough for the package reader.
std::string FakeStubImage(size_t size = 1024);

// Bytes that zlib cannot shrink, the same for the same seed.
std::string NoiseBytes(size_t n, uint32_t seed);

}  // namespace testsupport
