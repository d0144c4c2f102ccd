// The self-deleting batch file under wine64, run by the real command
// processor: real copies of a helper program that delete themselves, and
// batch files started from here for files this test holds or plants.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "util/FileIO.h"
#include "util/Files.h"
#include "util/SysInfo.h"
#include "util/Win.h"

namespace {

using testsupport::ReadBytes;
using testsupport::TScratchDir;
using testsupport::WriteBytes;

// Polls for done every 100 ms up to the limit.
bool WaitUntil(const std::function<bool()>& done, int seconds) {
  for (int i = 0; i < seconds * 10; ++i) {
    if (done()) return true;
    ::Sleep(100);
  }
  return done();
}

// Batch files of the process processId in the temp folder.
std::vector<std::string> BatchesOf(DWORD processId) {
  char pattern[64];
  std::snprintf(pattern, sizeof(pattern), "_DEL_ME_%08X_*.BAT", static_cast<unsigned>(processId));
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  TFindHandle search(::FindFirstFileA((TempDir(true) + pattern).c_str(), &data));
  if (!search.Valid()) return names;
  do names.push_back(TempDir(true) + data.cFileName);
  while (::FindNextFileA(search.Get(), &data));
  return names;
}

// Copies of the helper program that delete themselves when started with
// "/delete", each in a folder of its own below the scratch folder.
class SelfDelete : public ::testing::Test {
 protected:
  struct TCopy {
    std::string folder, exe;
  };

  void SetUp() override {
    helper_ = testsupport::BuildPath("tools/test-selfdelete/test-selfdelete.exe");
    ASSERT_TRUE(FileExists(helper_)) << helper_;
  }

  TCopy MakeCopy(const std::string& folderName, const std::string& exeName) {
    TCopy copy{dir_.File(folderName), ""};
    copy.exe = copy.folder + "\\" + exeName;
    EXPECT_TRUE(Files::CreateDirTree(copy.folder)) << copy.folder;
    EXPECT_TRUE(::CopyFileA(helper_.c_str(), copy.exe.c_str(), FALSE)) << copy.exe;
    return copy;
  }

  // Starts the copy; its process handle, kept until the test ends. Batch
  // files of an earlier wine session may carry the same process id: only
  // those made after the start count.
  HANDLE Start(const TCopy& copy, const std::string& args) {
    std::string command = "\"" + copy.exe + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessA(copy.exe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          dir_.Path().c_str(), &startup, &process)) {
      ADD_FAILURE() << "cannot start " << copy.exe;
      return nullptr;
    }
    for (const auto& stale : BatchesOf(process.dwProcessId)) RemoveFile(stale);
    ::ResumeThread(process.hThread);
    ::CloseHandle(process.hThread);
    processIds_.push_back(process.dwProcessId);
    processes_.emplace_back(process.hProcess);
    return process.hProcess;
  }

  bool BatchesGone(DWORD processId) {
    return WaitUntil([processId] { return BatchesOf(processId).empty(); }, 90);
  }

  void Run(const TCopy& copy, const std::string& args) {
    HANDLE process = Start(copy, args);
    ASSERT_NE(process, nullptr);
    ASSERT_EQ(::WaitForSingleObject(process, 20000), WAIT_OBJECT_0);
  }

  void TearDown() override {
    // Each batch file deletes itself at its end, whatever became of its program.
    for (DWORD id : processIds_) EXPECT_TRUE(BatchesGone(id)) << "batch of process " << id;
  }

  TScratchDir dir_;
  std::string helper_;
  std::vector<DWORD> processIds_;
  std::vector<THandle> processes_;
};

TEST_F(SelfDelete, TheProgramAndItsFolderGoAfterItExits) {
  const TCopy copy = MakeCopy("self delete folder", "self delete copy.exe");
  Run(copy, "/delete /rd");
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy.exe) && !DirExists(copy.folder); }, 20));
}

TEST_F(SelfDelete, WithoutTheFolderFlagTheFolderStays) {
  const TCopy copy = MakeCopy("self delete folder", "self delete copy.exe");
  WriteBytes(copy.folder + "\\other file.txt", "stays");
  Run(copy, "/delete");
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy.exe); }, 20));
  EXPECT_TRUE(BatchesGone(processIds_.back()));
  EXPECT_TRUE(DirExists(copy.folder));
  EXPECT_TRUE(FileExists(copy.folder + "\\other file.txt"));
}

TEST_F(SelfDelete, ShortNamesWorkForAFolderWithBlanks) {
  const TCopy copy = MakeCopy("self delete folder", "self delete copy.exe");
  Run(copy, "/delete /rd /short");
  EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy.exe) && !DirExists(copy.folder); }, 20));
}

TEST_F(SelfDelete, WithoutTheSwitchTheProgramStays) {
  const TCopy copy = MakeCopy("self delete folder", "self delete copy.exe");
  Run(copy, "");
  ::Sleep(1000);
  EXPECT_TRUE(FileExists(copy.exe));
}

// Names that browsers and users make, with what the command processor
// expands or acts on; long and short path forms; a read-only copy.
TEST_F(SelfDelete, EveryNameGoesAndSoDoesAReadOnlyCopy) {
  struct TCase {
    const char* folder;
    const char* exe;
    const char* args;
    bool readOnly;
  };
  const TCase cases[] = {
      {"Downloads %TEMP% 100%", "My%20Setup.exe", "/delete /rd", false},
      {"Tom & Jerry (x86)", "Y_a&b (1).exe", "/delete /rd", false},
      {"caret^ bang! %PATH%", "Y_^x^ & !y!.exe", "/delete /rd", false},
      {"short & %OS% ^", "Y_s&%x^.exe", "/delete /rd /short", false},
      {"read only", "X_agent.exe", "/delete /rd", true},
      {"read only & 50%", "X_a%%b.exe", "/delete /rd /short", true},
  };
  for (const auto& c : cases) {
    const TCopy copy = MakeCopy(c.folder, c.exe);
    if (c.readOnly) {
      ASSERT_TRUE(::SetFileAttributesA(copy.exe.c_str(), FILE_ATTRIBUTE_READONLY));
    }
    Run(copy, c.args);
    EXPECT_TRUE(WaitUntil([&] { return !FileExists(copy.exe) && !DirExists(copy.folder); }, 30))
        << c.folder << "\\" << c.exe;
  }
}

TEST_F(SelfDelete, TwoCopiesEndingTogetherBothGo) {
  const TCopy first = MakeCopy("first copy", "Y_setup.exe");
  const TCopy second = MakeCopy("second copy", "Y_setup.exe");
  HANDLE a = Start(first, "/delete /rd");
  HANDLE b = Start(second, "/delete /rd");
  ASSERT_TRUE(a && b);
  ASSERT_EQ(::WaitForSingleObject(a, 20000), WAIT_OBJECT_0);
  ASSERT_EQ(::WaitForSingleObject(b, 20000), WAIT_OBJECT_0);
  EXPECT_TRUE(WaitUntil([&] { return !DirExists(first.folder) && !DirExists(second.folder); }, 30));
}

// --- batch files started from here ---

// A file in a scratch folder with a blank, a "%" and an "&" in its name.
class SelfDeleteBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.File("held & 100% here");
    ASSERT_TRUE(Files::CreateDirTree(folder_));
    target_ = folder_ + "\\victim copy.exe";
    WriteBytes(target_, "program");
    job_.exe = target_;
    job_.dir = folder_;
    job_.attempts = 3;
  }

  // Starts the batch; TearDown waits for its end even when a check failed
  // (a test that ends first would take the command processor with it).
  std::string Start() {
    std::string bat = Files::StartSelfDeleteBatch(job_);
    if (!bat.empty()) started_.push_back(bat);
    return bat;
  }

  static bool WaitForBatch(const std::string& bat) {
    return WaitUntil([&] { return !FileExists(bat); }, 90);
  }

  void TearDown() override {
    for (const auto& bat : started_) EXPECT_TRUE(WaitForBatch(bat)) << bat;
  }

  std::vector<std::string> started_;
  TScratchDir dir_;
  std::string folder_, target_;
  Files::TSelfDeleteJob job_;
};

TEST_F(SelfDeleteBatch, AFileThatCannotGoMakesTheBatchGiveUpAndGo) {
  THandle held(::CreateFileA(target_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  job_.removeFolder = true;
  const auto start = std::chrono::steady_clock::now();
  const std::string bat = Start();
  ASSERT_NE(bat, "");
  EXPECT_TRUE(WaitForBatch(bat));
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("three attempts with two pauses ended after %.1f s\n", seconds);
  EXPECT_GE(seconds, 1.5);  // the attempts pause
  EXPECT_TRUE(FileExists(target_));
  EXPECT_TRUE(DirExists(folder_));
}

TEST_F(SelfDeleteBatch, AnExistingFileAtTheNameIsNeitherRunNorOverwritten) {
  const uint32_t seed = ::GetTickCount() | 1;
  const std::string planted = TempDir(true) + Files::SelfDeleteBatchName(::GetCurrentProcessId(), seed, 0);
  const std::string marker = dir_.File("planted batch ran.txt");
  const std::string plantedText = "@ECHO ran> \"" + marker + "\"\r\n";
  ASSERT_TRUE(Files::WriteFile(planted, plantedText));
  job_.seed = seed;

  const std::string bat = Start();
  EXPECT_EQ(bat, TempDir(true) + Files::SelfDeleteBatchName(::GetCurrentProcessId(), seed, 1));
  EXPECT_TRUE(WaitForBatch(bat));
  EXPECT_FALSE(FileExists(target_));  // the batch did its work under its own name
  EXPECT_EQ(ReadBytes(planted), plantedText);
  EXPECT_FALSE(FileExists(marker));
  RemoveFile(planted);
}

bool UnderWine() {
  HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll && ::GetProcAddress(ntdll, "wine_get_version");
}

TEST_F(SelfDeleteBatch, OnlyTheCurrentUserMayReadOrChangeTheBatch) {
  // Wine keeps no security descriptor of a file: it shows one made from the
  // Unix permissions, whatever the file was created with.
  if (UnderWine()) GTEST_SKIP() << "wine keeps no security descriptors of files";
  THandle held(::CreateFileA(target_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  const std::string bat = Start();
  ASSERT_NE(bat, "");

  DWORD size = 0;
  const SECURITY_INFORMATION what = DACL_SECURITY_INFORMATION;
  ::GetFileSecurityA(bat.c_str(), what, nullptr, 0, &size);
  std::vector<DWORD> buffer(size / sizeof(DWORD) + 1);
  auto* descriptor = reinterpret_cast<PSECURITY_DESCRIPTOR>(buffer.data());
  ASSERT_TRUE(size > 0 && ::GetFileSecurityA(bat.c_str(), what, descriptor, size, &size)) << ::GetLastError();
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(::GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);
  BOOL present = FALSE, defaulted = FALSE;
  ACL* acl = nullptr;
  ASSERT_TRUE(::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present && acl);
  ASSERT_EQ(acl->AceCount, 1);
  void* ace = nullptr;
  ASSERT_TRUE(::GetAce(acl, 0, &ace));
  auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
  EXPECT_EQ(allowed->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);

  HANDLE token = nullptr;
  ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token));
  THandle tokenOwner(token);
  std::vector<DWORD> user(64);
  DWORD userSize = static_cast<DWORD>(user.size() * sizeof(DWORD));
  ASSERT_TRUE(::GetTokenInformation(token, TokenUser, user.data(), userSize, &userSize));
  EXPECT_TRUE(::EqualSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &allowed->SidStart));
}

}  // namespace
