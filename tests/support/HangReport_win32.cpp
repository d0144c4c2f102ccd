// A test that runs far longer than any test should is reported and the run
// ended: the test's name, where the executable's main thread stands (its
// stack), the processes and the top-level windows. Without this a hang runs
// into the test runner's time-out, which cuts the output short and names
// nothing. The limit is VARNEL_TEST_HANG_SECONDS (300 s when unset).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "TestProcesses_win32.h"
#include "util/Win.h"

#include <dbghelp.h>

namespace {

using testsupport::TProcessRow;

constexpr DWORD kDefaultHangSeconds = 300;

DWORD HangSeconds() {
  const char* text = std::getenv("VARNEL_TEST_HANG_SECONDS");
  const long seconds = text ? std::strtol(text, nullptr, 10) : 0;
  return seconds > 0 ? static_cast<DWORD>(seconds) : kDefaultHangSeconds;
}

// Why a stack came out empty: the step that failed and its error code.
struct TStackFailure {
  const char* step = "the stack walk found no frame";
  DWORD error = 0;
};

// The return addresses of the main thread's stack, taken while it stands
// still. Nothing is allocated meanwhile: the thread may hold the heap's lock.
std::vector<DWORD64> MainThreadStack(HANDLE thread, TStackFailure& failure) {
  std::vector<DWORD64> pcs;
  pcs.reserve(64);
  const HANDLE process = ::GetCurrentProcess();
  if (::SuspendThread(thread) == static_cast<DWORD>(-1)) {
    failure = {"the main thread could not be stopped", ::GetLastError()};
    return pcs;
  }
  CONTEXT context{};
  context.ContextFlags = CONTEXT_FULL;
  if (!::GetThreadContext(thread, &context)) {
    failure = {"the main thread's registers could not be read", ::GetLastError()};
  } else {
    STACKFRAME64 frame{};
#ifdef _WIN64
    const DWORD machine = IMAGE_FILE_MACHINE_AMD64;
    frame.AddrPC.Offset = context.Rip;
    frame.AddrFrame.Offset = context.Rbp;
    frame.AddrStack.Offset = context.Rsp;
#else
    const DWORD machine = IMAGE_FILE_MACHINE_I386;
    frame.AddrPC.Offset = context.Eip;
    frame.AddrFrame.Offset = context.Ebp;
    frame.AddrStack.Offset = context.Esp;
#endif
    frame.AddrPC.Mode = frame.AddrFrame.Mode = frame.AddrStack.Mode = AddrModeFlat;
    while (pcs.size() < pcs.capacity() &&
           ::StackWalk64(machine, process, thread, &frame, &context, nullptr, ::SymFunctionTableAccess64,
                         ::SymGetModuleBase64, nullptr) &&
           frame.AddrPC.Offset != 0)
      pcs.push_back(frame.AddrPC.Offset);
  }
  ::ResumeThread(thread);
  return pcs;
}

void PrintMainThreadStack(HANDLE thread) {
  const HANDLE process = ::GetCurrentProcess();
  // Symbols are loaded before the thread is stopped: it may stand holding a
  // lock that loading them needs.
  ::SymSetOptions(SYMOPT_UNDNAME);
  ::SymInitialize(process, nullptr, TRUE);
  TStackFailure failure;
  const std::vector<DWORD64> pcs = MainThreadStack(thread, failure);
  if (pcs.empty())
    std::fprintf(stderr, "  (no stack: %s, error %lu)\n", failure.step, static_cast<unsigned long>(failure.error));
  for (size_t depth = 0; depth < pcs.size(); ++depth) {
    const DWORD64 pc = pcs[depth];
    char module[MAX_PATH] = "?";
    const DWORD64 base = ::SymGetModuleBase64(process, pc);
    if (base) ::GetModuleFileNameA(reinterpret_cast<HMODULE>(static_cast<uintptr_t>(base)), module, sizeof(module));
    alignas(SYMBOL_INFO) char storage[sizeof(SYMBOL_INFO) + 256] = {0};
    auto* symbol = reinterpret_cast<SYMBOL_INFO*>(storage);
    symbol->SizeOfStruct = sizeof(SYMBOL_INFO);
    symbol->MaxNameLen = 255;
    DWORD64 offset = 0;
    if (::SymFromAddr(process, pc, &offset, symbol))
      std::fprintf(stderr, "  #%-2zu %s+0x%llx  %s\n", depth, symbol->Name, static_cast<unsigned long long>(offset),
                   module);
    else
      std::fprintf(stderr, "  #%-2zu %s+0x%llx\n", depth, module, static_cast<unsigned long long>(pc - base));
  }
}

BOOL CALLBACK PrintVisibleWindow(HWND window, LPARAM) {
  if (!::IsWindowVisible(window)) return TRUE;
  char name[128] = {0}, title[256] = {0};
  ::GetClassNameA(window, name, sizeof(name));
  ::GetWindowTextA(window, title, sizeof(title));
  DWORD id = 0;
  ::GetWindowThreadProcessId(window, &id);
  std::fprintf(stderr, "  %-28s \"%s\" (process %lu)\n", name, title, static_cast<unsigned long>(id));
  return TRUE;
}

// Ends the programs this executable started, and theirs: a leftover child
// holds the test runner's output open.
void EndDescendants(const std::vector<TProcessRow>& rows) {
  std::set<DWORD> ours{::GetCurrentProcessId()};
  for (bool grew = true; grew;) {
    grew = false;
    for (const TProcessRow& row : rows)
      if (ours.count(row.parent) && ours.insert(row.id).second) grew = true;
  }
  for (const TProcessRow& row : rows) {
    if (row.id == ::GetCurrentProcessId() || !ours.count(row.id)) continue;
    THandle process(::OpenProcess(PROCESS_TERMINATE, FALSE, row.id));
    if (process) ::TerminateProcess(process.Get(), 99);
  }
}

class THangReport : public ::testing::EmptyTestEventListener {
 public:
  THangReport() {
    ::DuplicateHandle(::GetCurrentProcess(), ::GetCurrentThread(), ::GetCurrentProcess(), &mainThread_, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
  }

  void OnTestProgramStart(const ::testing::UnitTest&) override {
    limitMs_ = HangSeconds() * 1000;
    ::CloseHandle(::CreateThread(nullptr, 0, &THangReport::Watch, this, 0, nullptr));
  }
  void OnTestStart(const ::testing::TestInfo& test) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      name_ = std::string(test.test_suite_name()) + "." + test.name();
    }
    started_ = ::GetTickCount();
    running_ = true;
  }
  void OnTestEnd(const ::testing::TestInfo&) override { running_ = false; }

 private:
  static DWORD WINAPI Watch(void* self) {
    auto* report = static_cast<THangReport*>(self);
    for (;;) {
      ::Sleep(1000);
      if (report->running_ && ::GetTickCount() - report->started_ > report->limitMs_) report->Report();
    }
  }

  void Report() {
    std::string name;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      name = name_;
    }
    std::fprintf(stderr, "\n[  HUNG    ] %s has run for over %lu s; the run ends here.\n", name.c_str(),
                 static_cast<unsigned long>(limitMs_ / 1000));
    const std::vector<TProcessRow> rows = testsupport::RunningProcesses();
    std::fprintf(stderr, "Processes:\n");
    for (const TProcessRow& row : rows)
      std::fprintf(stderr, "  %6lu  parent %6lu  %s\n", static_cast<unsigned long>(row.id),
                   static_cast<unsigned long>(row.parent), row.exeName.c_str());
    std::fprintf(stderr, "Visible top-level windows:\n");
    ::EnumWindows(&PrintVisibleWindow, 0);
    std::fprintf(stderr, "Main thread:\n");
    PrintMainThreadStack(mainThread_);
    std::fflush(stderr);
    EndDescendants(rows);
    ::TerminateProcess(::GetCurrentProcess(), 3);
  }

  HANDLE mainThread_ = nullptr;
  DWORD limitMs_ = kDefaultHangSeconds * 1000;
  std::atomic<DWORD> started_{0};
  std::atomic<bool> running_{false};
  std::mutex mutex_;
  std::string name_;
};

// Registered when the executable starts, on its main thread.
const bool kHangReportRegistered = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new THangReport);
  return true;
}();

}  // namespace
