#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

std::string HostPath(std::string path) {
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
#endif
  return path;
}

char Separator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

}  // namespace

TScratchDir::TScratchDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path p = fs::temp_directory_path() /
               ("varnel_test_" + std::to_string(stamp) + "_" + std::to_string(counter++));
  fs::create_directories(p);
  path_ = p.string();
}

TScratchDir::~TScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TScratchDir::File(const std::string& name) const { return path_ + Separator() + name; }

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string BuildPath(const std::string& relative) { return HostPath(std::string(VARNEL_BINARY_DIR) + "/" + relative); }

std::string SourcePath(const std::string& relative) { return HostPath(std::string(VARNEL_SOURCE_DIR) + "/" + relative); }

std::string FakeStubImage(size_t size) {
  std::string image(size < 512 ? 512 : size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[256] = 'P';
  image[257] = 'E';
  for (size_t i = 512; i < image.size(); ++i) image[i] = static_cast<char>(i * 7);
  return image;
}

std::string NoiseBytes(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (char& c : s) {
    seed = seed * 1664525u + 1013904223u;
    c = static_cast<char>(seed >> 24);
  }
  return s;
}

}  // namespace testsupport
