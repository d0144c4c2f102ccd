// Starts the dummy-product test program (tools/dummy-product) and makes sure
// that no copy outlives the test. Windows tests only.
#pragma once

#include <cstdio>
#include <string>

#include "TestSupport.h"
#include "util/Win.h"

namespace dummy {

inline std::string BuiltExe(const std::string& tool) {
  return testsupport::BuildPath("tools/" + tool + "/" + tool + ".exe");
}

// A copy of a built tool at dir\relative (folders created), so that each test
// has a path of its own, with blanks where it wants them.
inline std::string CopyTool(const std::string& tool, const testsupport::TScratchDir& dir,
                            const std::string& folder, const std::string& name) {
  const std::string target = dir.File(folder);
  ::CreateDirectoryA(target.c_str(), nullptr);
  const std::string path = target + "\\" + name;
  if (!::CopyFileA(BuiltExe(tool).c_str(), path.c_str(), FALSE)) return "";
  return path;
}

inline HWND WaitForWindow(const std::string& windowClass, int ms = 15000) {
  for (int waited = 0; waited < ms; waited += 50) {
    if (HWND w = ::FindWindowA(windowClass.c_str(), nullptr)) return w;
    ::Sleep(50);
  }
  return nullptr;
}

class TProduct {
 public:
  TProduct() = default;
  TProduct(const TProduct&) = delete;
  TProduct& operator=(const TProduct&) = delete;
  ~TProduct() {
    if (process_ && !Ended(0)) {
      ::TerminateProcess(process_.Get(), 99);
      ::WaitForSingleObject(process_.Get(), 5000);
    }
  }

  bool Start(const std::string& exe, const std::string& args) {
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + exe + "\" " + args;
    // Under a loaded wine server the start of a program copied a moment ago
    // now and then fails once: it is tried a few times before it counts.
    bool started = false;
    for (int attempt = 0; attempt < 5 && !started; ++attempt) {
      if (attempt > 0) ::Sleep(500);
      started = ::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
      if (!started) std::fprintf(stderr, "note: %s did not start (error %lu)\n", exe.c_str(), ::GetLastError());
    }
    if (!started) return false;
    process_.Reset(pi.hProcess);
    ::CloseHandle(pi.hThread);
    id_ = pi.dwProcessId;
    return true;
  }

  uint32_t Id() const { return id_; }
  bool Ended(int ms) const {
    return ::WaitForSingleObject(process_.Get(), static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = 0;
    ::GetExitCodeProcess(process_.Get(), &code);
    return code;
  }

 private:
  THandle process_;
  uint32_t id_ = 0;
};

}  // namespace dummy
