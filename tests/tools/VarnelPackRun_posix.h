// The varnel-pack tool run as a user runs it: a scratch folder with a stub
// and a payload, and the tool's exit code, stdout and stderr.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "package/PackWrite.h"
#include "package/PackX.h"
#include "util/FileIO.h"

namespace varnelpacktest {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;


const int32_t kDate = PackWrite::DosDateTime(2025, 7, 14, 8, 15, 42);

struct TRun {
  int code = -1;
  std::string out, err;
};

inline std::string Q(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

inline int LineCount(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// Writes a file and gives it a DOS date.
inline void MakeFile(const std::string& path, const std::string& bytes, int32_t date = kDate) {
  fs::create_directories(fs::path(path).parent_path());
  WriteBytes(path, bytes);
  TFile file(path, TFile::Mode::Write);
  file.SetDosDate(date);
}

// A minimal 32-bit PE image with its headers at 256 that signing tools accept.
inline std::string MinimalPeImage() {
  std::string img(1024, '\0');
  auto put16 = [&img](size_t at, uint16_t v) { img[at] = char(v & 255), img[at + 1] = char(v >> 8); };
  auto put32 = [&img](size_t at, uint32_t v) { PackFormat::PutU32(img, at, v); };
  img[0] = 'M', img[1] = 'Z';
  put32(60, 256);
  img.replace(256, 4, std::string("PE\0\0", 4));
  put16(260, 0x14C), put16(262, 1), put16(276, 224), put16(278, 0x0102);
  const size_t opt = 280;
  put16(opt, 0x10B), put32(opt + 16, 0x1000), put32(opt + 28, 0x400000), put32(opt + 32, 0x1000);
  put32(opt + 36, 0x200), put16(opt + 40, 4), put16(opt + 48, 4), put32(opt + 56, 0x2000), put32(opt + 60, 0x200);
  put16(opt + 68, 2), put32(opt + 92, 16);
  const size_t sec = opt + 224;
  img.replace(sec, 5, ".text");
  put32(sec + 8, 0x200), put32(sec + 12, 0x1000), put32(sec + 16, 0x200), put32(sec + 20, 0x200);
  put32(sec + 36, 0x60000020);
  img[0x200] = char(0xC3);
  return img;
}

struct TVarnelPack : ::testing::Test {
  TScratchDir dir;
  std::string stub = dir.File("stub.exe");
  std::string payload = dir.File("payload");
  std::string outDir = dir.File("out");
  std::string setup = dir.File("out/setup.exe");

  void SetUp() override {
    WriteBytes(stub, testsupport::FakeStubImage(2048));
    MakeFile(payload + "/Engine.exe", "engine program", kDate);
    MakeFile(payload + "/readme.txt", std::string(5000, 'r'));
    MakeFile(payload + "/values.bin", std::string("\0\1\2\3", 4) + std::string(30000, 'v'));
    MakeFile(payload + "/notes.txt", "notes");
    fs::create_directories(outDir);
  }

  TRun Run(const std::string& args) const {
    TRun r;
    const std::string out = dir.File("stdout.txt"), err = dir.File("stderr.txt");
    const std::string cmd = Q(testsupport::BuildPath("tools/varnel-pack/varnel-pack")) + " " + args + " >" + Q(out) +
                            " 2>" + Q(err) + " </dev/null";
    const int status = std::system(cmd.c_str());
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadBytes(out);
    r.err = ReadBytes(err);
    return r;
  }

  std::string BuildArgs(const std::string& extra = "") const {
    return "build --stub " + Q(stub) + " -o " + Q(setup) + " --engine Engine.exe --token Tok-42 --seed 5 " + extra +
           " " + Q(payload);
  }

  // Every file of the payload came back with its bytes and date.
  void ExpectSameTree(const std::string& extracted) const {
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(payload)) {
      if (!e.is_regular_file()) continue;
      ++files;
      const std::string rel = fs::relative(e.path(), payload).string();
      const std::string copy = extracted + "/" + rel;
      EXPECT_TRUE(ReadBytes(copy) == ReadBytes(e.path().string())) << rel;
      EXPECT_EQ(FileDosDate(copy), FileDosDate(e.path().string())) << rel;
    }
    EXPECT_EQ(files, 4);  // Engine.exe, readme.txt, values.bin, notes.txt
  }

  std::vector<std::string> OutputFiles() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(outDir)) names.push_back(e.path().filename().string());
    return names;
  }
};

}  // namespace varnelpacktest
