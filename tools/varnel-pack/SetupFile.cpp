#include "SetupFile.h"

#include "package/PackBuild.h"
#include "package/PackBuildText.h"
#include "package/PackX.h"
#include "util/FileIO.h"
#include "util/Utils.h"
#include "util/VxSUB.h"

using namespace PackFormat;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "setup.exe.002" -> "setup.exe"
std::string WithoutVolumeSuffix(const std::string& path) { return path.substr(0, path.size() - 4); }

}  // namespace

int LaterVolumeNumber(const std::string& path) {
  if (path.size() < 5 || path[path.size() - 4] != '.') return 0;
  const std::string digits = path.substr(path.size() - 3);
  if (digits.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int number = std::stoi(digits);
  return number >= 2 ? number : 0;
}

std::string SetupFileProblem(const std::string& path) {
  TFile file(path, TFile::Mode::Read);
  if (!file.IsOpen()) return "cannot read " + Quoted(path) + ": " + PackBuild::FailureReason(path);
  const int64_t size = file.Size();
  if (IsPEImage(file)) {
    const int64_t end = ReadPackageEnd(file);
    if (end > size)
      return Quoted(path) + " is truncated: its package ends at byte " + std::to_string(end) + ", but the file has " +
             std::to_string(size) + " bytes";
  }
  TPackTrailer trailer;
  ReadTrailer(file, trailer);
  const int number = LaterVolumeNumber(path);
  if (number > 0 && trailer.HasMagic() && !IsPEImage(file)) {
    const std::string base = WithoutVolumeSuffix(path);
    const std::string first = FileExists(base + ".001") && !FileExists(base) ? base + ".001" : base;
    return Quoted(path) + " is volume " + std::to_string(number) + " of a spanned package; give its first volume, " +
           Quoted(first) + (first == base ? " (or " + Quoted(base + ".001") + ")" : "");
  }
  return "";
}

int PackageCodePage(const TGFileInfo& info) {
  const std::string first = SUB::GetItem(info.LanguageBlock(), 0, "");
  const std::string charset = SUB::GetValue(first, "Charset", "", "", true);
  const int64_t number = TextToInt64(Trim(charset), -1);
  const int codePage = number < 0 || number > 255 ? 0 : PackText::CodePageOfCharset(static_cast<int>(number), 0);
  return codePage != 0 ? codePage : PackText::kDefaultCodePage;
}

std::string Shown(const std::string& bytes, int codePage) {
#ifdef _WIN32
  (void)codePage;
  return bytes;
#else
  // Packages of older builders carry UTF-8 names as they were; code page
  // text with accents is almost never valid UTF-8.
  std::u32string chars;
  if (PackText::DecodeUtf8(bytes, chars)) return bytes;
  return PackText::FromCodePage(bytes, codePage);
#endif
}
