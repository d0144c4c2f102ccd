// Win32 side of the self-deleting batch file: a file of a new name that only
// the current user may read or change, started hidden by the command
// processor. The processor re-reads a batch file while it runs, so whoever
// could write it could add commands; hence the private, never reused file.
#include "util/Win.h"

#include <vector>

#include "util/FileIO.h"
#include "util/Files.h"
#include "util/SysInfo.h"

namespace Files {

namespace {

// Names tried before giving up: each try is a new name, an existing file is
// never opened.
constexpr uint32_t kBatchNameTries = 16;

std::string WithSeparator(const std::string& dir) {
  if (dir.empty() || dir.back() == '\\' || dir.back() == '/') return dir;
  return dir + "\\";
}

std::string ShortPathOf(const std::string& path) {
  char buffer[MAX_PATH * 4] = {0};
  DWORD n = ::GetShortPathNameA(path.c_str(), buffer, sizeof(buffer));
  return n == 0 || n >= sizeof(buffer) ? path : std::string(buffer, n);
}

// Security attributes that give the current user all access and nobody else
// any, with nothing inherited from the folder (which may be a shared temp
// folder, such as the system's when a deployment tool runs the setup).
class TPrivateSecurity {
 public:
  TPrivateSecurity() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return;
    THandle owner(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    if (size == 0) return;
    user_.resize(size / sizeof(DWORD) + 1);
    if (!::GetTokenInformation(token, TokenUser, user_.data(), size, &size)) return;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + ::GetLengthSid(sid);
    acl_.resize(aclSize / sizeof(DWORD) + 1);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    ok_ = ::InitializeAcl(acl, aclSize, ACL_REVISION) &&
          ::AddAccessAllowedAce(acl, ACL_REVISION, FILE_ALL_ACCESS, sid) &&
          ::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
          ::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
          ::SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    attributes_.nLength = sizeof(attributes_);
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
  }
  TPrivateSecurity(const TPrivateSecurity&) = delete;
  TPrivateSecurity& operator=(const TPrivateSecurity&) = delete;

  // Null when the descriptor could not be built.
  SECURITY_ATTRIBUTES* Get() { return ok_ ? &attributes_ : nullptr; }

 private:
  std::vector<DWORD> user_;  // TOKEN_USER, DWORD-aligned
  std::vector<DWORD> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  SECURITY_ATTRIBUTES attributes_{};
  bool ok_ = false;
};

uint32_t ClockSeed() {
  LARGE_INTEGER counter{};
  ::QueryPerformanceCounter(&counter);
  return ::GetTickCount() ^ static_cast<uint32_t>(counter.QuadPart) ^ (::GetCurrentThreadId() << 16);
}

// Creates a batch file of a name not used before in folder; name receives
// the name. An invalid handle when every name was taken or the folder
// refuses files.
THandle CreateNewBatch(const std::string& folder, uint32_t seed, std::string& name) {
  TPrivateSecurity security;
  if (!security.Get()) {
    TraceText("DeleteMySelf: no private security for the batch file");
    return THandle();
  }
  const uint32_t processId = ::GetCurrentProcessId();
  for (uint32_t attempt = 0; attempt < kBatchNameTries; ++attempt) {
    name = SelfDeleteBatchName(processId, seed, attempt);
    THandle file(::CreateFileA((folder + name).c_str(), GENERIC_WRITE, 0, security.Get(), CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return file;
  }
  TraceText("DeleteMySelf: no new batch file in " + folder);
  return THandle();
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

// Runs the batch file batName of folder in a hidden command processor whose
// current folder is folder: no AutoRun commands, no delayed expansion. The
// name goes as ".\" + name: our own text, never expanded, and found even
// where the current folder is not searched for programs.
bool StartHiddenBatch(const std::string& folder, const std::string& batName) {
  const std::string processor = SystemDir(true) + "cmd.exe";
  std::string command = "\"" + processor + "\" /D /V:OFF /C .\\" + batName;
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessA(processor.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        folder.c_str(), &startup, &process))
    return false;
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

}  // namespace

std::string StartSelfDeleteBatch(const TSelfDeleteJob& job) {
  const std::string folder = WithSeparator(job.folder.empty() ? TempDir(true) : job.folder);
  std::string name;
  THandle file = CreateNewBatch(folder, job.seed != 0 ? job.seed : ClockSeed(), name);
  if (!file) return {};
  const std::string bat = folder + name;

  TSelfDeleteScript text;
  text.bat = bat;
  text.exe = job.exe;
  text.dir = job.dir;
  text.removeFolder = job.removeFolder;
  text.systemDir = SystemDir(true);
  text.attempts = job.attempts;
  if (job.shortNames) {
    text.quote.clear();
    text.bat = ShortPathOf(bat);
    text.exe = ShortPathOf(job.exe);
    text.dir = ShortPathOf(job.dir);
  }
  const std::string script = DeleteMySelfScript(text);
  const bool written = !script.empty() && WriteAll(file.Get(), script);
  file.Reset();
  if (!written || !StartHiddenBatch(folder, name)) {
    TraceText(written ? "DeleteMySelf: the batch file did not start" : "DeleteMySelf: no batch text for " + job.exe);
    ::DeleteFileA(bat.c_str());
    return {};
  }
  return bat;
}

bool DeleteMySelf(bool removeFolder, bool shortNames) {
  TSelfDeleteJob job;
  job.exe = ExePath();
  job.dir = ExeDir(false);
  job.removeFolder = removeFolder;
  job.shortNames = shortNames;
  TraceNameValue("ExeName", job.exe);
  ClearReadOnly(job.exe);  // a copy inherits the attribute; the batch must be able to delete it
  // Out of the executable's folder, so that the batch file can remove it.
  ::SetCurrentDirectoryA(TempDir(false).c_str());
  const std::string bat = StartSelfDeleteBatch(job);
  TraceNameValue("BatchFile", bat);
  return !bat.empty();
}

}  // namespace Files
