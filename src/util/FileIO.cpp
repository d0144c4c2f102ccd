#include "util/FileIO.h"

bool TFile::ReadAt(int64_t offset, void* buffer, int64_t count) {
  if (offset < 0 || count < 0) return false;
  if (Seek64(offset, Origin::Begin) != offset) return false;
  return Read(buffer, count) == count;
}

std::string ReadWholeFile(const std::string& path) {
  TFile f(path, TFile::Mode::Read);
  if (!f.IsOpen()) return {};
  int64_t size = f.Size();
  std::string data(static_cast<size_t>(size), '\0');
  if (size > 0 && f.Read(data.data(), size) != size) return {};
  return data;
}
