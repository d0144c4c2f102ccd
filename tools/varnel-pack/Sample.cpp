#include "Sample.h"

#include <random>

#include "package/PackWrite.h"
#include "util/FileIO.h"

std::string WriteSamplePackage(const std::string& stubPath, const std::string& out) {
  if (!IsPEImage(stubPath)) return stubPath + " is not a stub executable (no \"PE\" at offset 256)";
  TPackageWriter writer;
  writer.stubImage = ReadWholeFile(stubPath);
  std::mt19937 rng(20261205);
  writer.infoBlock = PackWrite::InfoBlock("http://updates.example.com/sample/", "Sample.info", "SampleAgent.exe",
                                          PackWrite::ScrambleToken("SAMPLE-TOKEN-0001", rng), false);
  writer.options = PackFormat::kOptActivityBar;
  const int32_t date = PackWrite::DosDateTime(2026, 12, 5, 9, 30, 0);
  writer.AddFile("Engine.exe*/Lang=English", date, "sample engine placeholder");
  writer.AddFile("readme.txt", date, "Thank you for installing the sample product.\r\n");
  writer.AddFile("data\\settings.ini", date, "[Sample]\r\nValue=1\r\n");

  std::string image = writer.Build();
  const std::string temp = out + ".tmp";
  TFile file(temp, TFile::Mode::Create);
  if (!file.IsOpen()) return "cannot create " + temp;
  const bool written = file.Write(image.data(), static_cast<int64_t>(image.size())) == static_cast<int64_t>(image.size());
  file.Close();
  if (!written || !MoveFileReplacing(temp, out)) {
    RemoveFile(temp);
    return "cannot write " + out;
  }
  return "";
}
