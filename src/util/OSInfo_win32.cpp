// The running Windows version and the version resources of executables.
#include <algorithm>
#include <exception>
#include <vector>

#include "util/OSInfo.h"
#include "util/SysInfo.h"
#include "util/SysText.h"
#include "util/Utils.h"
#include "util/Win.h"
#include "util/Exceptions.h"

namespace {

// Four lower-case hex digits, the language and code page of a translation.
std::string Hex4(unsigned value) {
  static const char digits[] = "0123456789abcdef";
  std::string text(4, '0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[static_cast<size_t>(i)] = digits[value & 15];
  return text;
}

#if !defined(_WIN64)
bool HasEntry(const char* library, const char* entry) {
  const HMODULE module = ::GetModuleHandleA(library);
  return module != nullptr && ::GetProcAddress(module, entry) != nullptr;
}
#endif

TOSInfo ReadOSInfo() {
  TOSInfo info;
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!::GetVersionExA(&version)) return info;
  info.major = version.dwMajorVersion;
  info.minor = version.dwMinorVersion;
  info.platformId = version.dwPlatformId;
  // The 9x family keeps major and minor in the high word of the build.
  info.build = info.platformId == kPlatform9x ? (version.dwBuildNumber & 0xFFFF) : version.dwBuildNumber;
  info.servicePack.assign(version.szCSDVersion, strnlen(version.szCSDVersion, sizeof(version.szCSDVersion)));
  // Without a manifest naming it, newer Windows report 6.2 or 6.3; kernel32
  // carries the real version.
  if (UsesKernelVersion(info))
    info = WithProductVersion(info, GetProductVersion(SystemDir(true) + "kernel32.dll", 1, 4));
  return info;
}

bool DetectServer() {
  if (::GetSystemMetrics(SM_SERVERR2) != 0) return true;
  OSVERSIONINFOEXA version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) return false;
  return version.wProductType == VER_NT_DOMAIN_CONTROLLER || version.wProductType == VER_NT_SERVER;
}

bool Detect64BitWindows() {
#if defined(_WIN64)
  return true;  // a 64-bit process runs on 64-bit Windows only
#else
  using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
  const HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return false;
  const auto isWow64 = reinterpret_cast<TIsWow64Process>(
      reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "IsWow64Process")));
  BOOL wow64 = FALSE;
  if (isWow64 == nullptr || !isWow64(::GetCurrentProcess(), &wow64) || !wow64) return false;
  TLibrary advapi(::LoadLibraryA("advapi32.dll"));
  return HasEntry("kernel32.dll", "GetNativeSystemInfo") &&
         HasEntry("kernel32.dll", "Wow64DisableWow64FsRedirection") &&
         HasEntry("kernel32.dll", "Wow64RevertWow64FsRedirection") &&
         HasEntry("kernel32.dll", "GetSystemWow64DirectoryA") && advapi.Valid() &&
         ::GetProcAddress(advapi.Get(), "RegDeleteKeyExA") != nullptr;
#endif
}

// The version resource of file (the own program when empty); empty when it has none.
std::vector<char> VersionResource(const std::string& file) {
  const std::string path = file.empty() ? ExePath() : file;
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> data(std::max<DWORD>(size, 16384), '\0');
  if (!::GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data())) return {};
  return data;
}

}  // namespace

const TOSInfo& GetOSInfo() {
  static const TOSInfo info = ReadOSInfo();
  return info;
}

TOSName OSName() { return OSNameFor(GetOSInfo(), Is64BitWindows(), IsServer()); }

uint32_t OSFlag() { return OSName().flag; }

bool IsNT() { return GetOSInfo().platformId == kPlatformNT; }

bool IsXP() {
  static const bool xp = IsNT() && OSVersionText(GetOSInfo()) == "5.1";
  return xp;
}

bool IsWin8OrLater() { return IsWin8OrLaterFor(GetOSInfo()); }

bool Is64BitWindows() {
  static const bool is64 = Detect64BitWindows();
  return is64;
}

bool IsServer() {
  static const bool server = DetectServer();
  return server;
}

std::string GetExeVersion(const std::string& file, int width, int parts) {
  VX_TRY {
    std::vector<char> data = VersionResource(file);
    if (data.empty()) return "";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || fixed == nullptr ||
        length < sizeof(VS_FIXEDFILEINFO))
      return "";
    return ShapeVersion(FixedVersionText(fixed->dwFileVersionMS, fixed->dwFileVersionLS), width, parts);
  }
#if defined(__cpp_exceptions)
  catch (const std::exception& error) {
    TraceError(error, "Utils.GetExeVersion()");
  }
#endif
  return "";
}

std::string GetProductVersion(const std::string& file, int width, int parts) {
  VX_TRY {
    std::vector<char> data = VersionResource(file);
    if (data.empty()) return "";
    WORD* translation = nullptr;
    UINT length = 0;
    if (!::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                          &length) ||
        translation == nullptr || length < 2 * sizeof(WORD))
      return "";
    const std::string query =
        "\\StringFileInfo\\" + Hex4(translation[0]) + Hex4(translation[1]) + "\\ProductVersion";
    char* value = nullptr;
    if (!::VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr ||
        length == 0)
      return "";
    const std::string version(value, strnlen(value, length));
    return ShapeVersion(ReplaceChar(version, ',', '.'), width, parts);
  }
#if defined(__cpp_exceptions)
  catch (const std::exception& error) {
    TraceError(error, "Utils.GetProductVersion()");
  }
#endif
  return "";
}
