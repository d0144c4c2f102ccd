// The entries in flight: a worker inflates ahead of the writes, yet files,
// appends and progress steps come in the package's order, a failure ends the
// run right after the entries before it, and no thread outlives the run.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "UnPackTestHost.h"
#include "package/EntryPipeline.h"
#include "package/PackWrite.h"
#include "package/UnPack.h"
#include "package/ZLibOpen.h"

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

namespace {

// Threads of this process; 0 where the system does not tell.
size_t ThreadCount() {
#ifdef __linux__
  size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/task")) ++n;
  return n;
#else
  return 0;
#endif
}

// The thread count, once it is back at `count` or after 10 s: a joined
// thread may stay listed for a moment after the join returns.
size_t ThreadCountAfterRun(size_t count) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  size_t now = ThreadCount();
  while (now > count && std::chrono::steady_clock::now() < limit) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    now = ThreadCount();
  }
  return now;
}

std::string Noise(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  std::string s(size, '\0');
  for (size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i % 3 == 0 ? rng() : 'a' + rng() % 4);
  return s;
}

struct TPipelineFixture : ::testing::Test {
  TScratchDir scratch;
  std::string setup = scratch.File("setup.exe");
  std::string dest = scratch.File("dest");
  TRecordingHost host;
  TProgressLog progress;

  TUnpackResult Run(const std::string& image) {
    WriteBytes(setup, image);
    return UnpackPackage(MakeRequest(setup, dest, &progress), host);
  }
};

}  // namespace

// Far more entries than slots, compressed and stored ones mixed, sizes from
// empty to large, and files in several pieces whose appends must keep their
// order.
TEST_F(TPipelineFixture, EntriesComeOutInThePackagesOrder) {
  TPackageWriter w = DamageableWriter();
  std::vector<std::string> names;
  std::vector<std::string> expected;
  for (int i = 0; i < 6 * TEntryPipeline::kSlots; ++i) {
    const std::string name = "f" + std::to_string(i % 7) + ".bin";
    const std::string data = Noise(i % 5 == 0 ? 0 : (size_t{1} << (8 + i % 11)) + i, static_cast<uint32_t>(i));
    const std::string text = PackWrite::EntryText(name, 0, data);
    w.AddRawBlock(PackWrite::EntryBlock(text, i % 4 == 3 ? 0 : 6));
    size_t slot = 0;
    while (slot < names.size() && names[slot] != name) ++slot;
    if (slot == names.size()) {
      names.push_back(name);
      expected.emplace_back();
    }
    expected[slot] += data;
  }
  const size_t threads = ThreadCount();
  const TUnpackResult r = Run(w.Build());
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(ThreadCountAfterRun(threads), threads);
  for (size_t i = 0; i < names.size(); ++i) EXPECT_TRUE(ReadBytes(Join(dest, names[i])) == expected[i]) << names[i];
  // One step per file, the first time its name comes.
  TProgressLog steps;
  for (const auto& step : progress)
    if (step.first == 1) steps.push_back(step);
  EXPECT_EQ(steps.size(), names.size());
}

// A failure after more good entries than there are slots, with good entries
// behind it that the worker may already have inflated: the files before it
// are written, none after it, and the worker has ended.
TEST_F(TPipelineFixture, AFailureEndsTheRunAfterTheEntriesBeforeIt) {
  std::string badCheck = Entry("bad.txt", Noise(200000, 1));
  badCheck[badCheck.size() - 1] ^= 0x01;  // Adler-32
  std::string cutStream = Entry("cut.txt", Noise(200000, 2));
  cutStream.resize(cutStream.size() / 2);
  PackFormat::PutU32(cutStream, 0, static_cast<uint32_t>(cutStream.size() - 4));
  const struct {
    const char* name;
    std::string block;
    int code;  // EZLibError's code; 0: the run ends with ok false
  } cases[] = {
      {"a wrong check", badCheck, -3},
      {"a stream that ends early", cutStream, -5},
      {"a hostile name", Entry("..\\x.txt", "x"), 0},
      {"an overlong header", PackWrite::EntryBlock(std::string(kMaxEntryHeader + 1, 'h') + '\0', 6), 0},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(dest);
    TPackageWriter w = DamageableWriter();
    std::vector<std::string> before;
    for (int i = 0; i < TEntryPipeline::kSlots + 2; ++i) {
      before.push_back("before" + std::to_string(i) + ".txt");
      w.AddFile(before.back(), 0, Noise(300000, static_cast<uint32_t>(10 + i)));
    }
    std::sort(before.begin(), before.end());
    w.AddRawBlock(c.block);
    for (int i = 0; i < TEntryPipeline::kSlots + 2; ++i)
      w.AddFile("after" + std::to_string(i) + ".txt", 0, Noise(300000, static_cast<uint32_t>(20 + i)));
    const size_t threads = ThreadCount();
    int code = 0;
    TUnpackResult r;
    try {
      r = Run(w.Build());
    } catch (const EZLibError& e) {
      code = e.Code();
    }
    EXPECT_EQ(code, c.code) << c.name;
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_EQ(ListNames(dest), before) << c.name;
    EXPECT_EQ(ThreadCountAfterRun(threads), threads) << c.name;
  }
}

// A block whose length runs past the package, behind entries still in
// flight: those entries are written before the run ends.
TEST_F(TPipelineFixture, ADamagedBlockEndsTheRunAfterTheEntriesInFlight) {
  TPackageWriter w = DamageableWriter();
  for (int i = 0; i < TEntryPipeline::kSlots; ++i)
    w.AddFile("f" + std::to_string(i) + ".txt", 0, Noise(100000, static_cast<uint32_t>(i)));
  std::string block(4, '\0');
  PackFormat::PutU32(block, 0, 0x7FFF0000);
  w.AddRawBlock(block + "tail");
  const size_t threads = ThreadCount();
  const TUnpackResult r = Run(w.Build());
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(ListNames(dest), (std::vector<std::string>{"f0.txt", "f1.txt", "f2.txt"}));
  EXPECT_EQ(ThreadCountAfterRun(threads), threads);
}
