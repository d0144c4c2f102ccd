// Windows version: the platform's version record, the name and flag of the
// running version, and the version texts of executables.
//
// OSNameFor and the text helpers are portable; the queries of the running
// system (GetOSInfo ... GetProductVersion) exist in the Win32 build only.
#pragma once

#include <cstdint>
#include <string>

struct TOSInfo {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platformId = 0;  // 0 Win32s, 1 the 9x family, 2 the NT family
  std::string servicePack;
};

struct TOSName {
  std::string versionText;  // major + "." + minor
  std::string name;         // "XP", "7.64", "2008R2.64", ...
  std::string servicePack;  // trimmed
  uint32_t flag = 0;        // one bit per name
  uint32_t build = 0;
};

inline constexpr uint32_t kPlatformWin32s = 0;
inline constexpr uint32_t kPlatform9x = 1;
inline constexpr uint32_t kPlatformNT = 2;

std::string OSVersionText(const TOSInfo& info);
// Name and flag of a version record on a 64-bit and/or server system.
TOSName OSNameFor(const TOSInfo& info, bool is64BitWindows, bool isServer);
// NT family and major.minor read as a number at least 6.2.
bool IsWin8OrLaterFor(const TOSInfo& info);
// A reported version of at least 6 (major) and at least 3 (minor) is
// replaced by the product version of kernel32.dll.
bool UsesKernelVersion(const TOSInfo& reported);
// Major, minor and build replaced by items 0..2 of a "." separated product
// version, when that gives a major version; otherwise info unchanged.
TOSInfo WithProductVersion(const TOSInfo& info, const std::string& productVersion);
// "%d.%d.%d.%d" of the two double words of a fixed file version.
std::string FixedVersionText(uint32_t mostSignificant, uint32_t leastSignificant);
// Normalises a version text when width > 1 or parts < 4 (NormalizeVersion).
std::string ShapeVersion(const std::string& version, int width, int parts);

// Win32 only. The record is read once and cached.
const TOSInfo& GetOSInfo();
TOSName OSName();
uint32_t OSFlag();
bool IsNT();
bool IsXP();
bool IsWin8OrLater();
bool Is64BitWindows();
bool IsServer();
// Fixed file version of file (empty: the program's own file); empty text
// when the file has none.
std::string GetExeVersion(const std::string& file = "", int width = 1, int parts = 4);
// "ProductVersion" string of the first translation, "," read as ".".
std::string GetProductVersion(const std::string& file = "", int width = 1, int parts = 4);
