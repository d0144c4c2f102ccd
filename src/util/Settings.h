// INI values, registry values named by a textual path, and the identity of
// the user and the machine (Win32 build). Nothing here throws: a missing
// file, key or value gives the default.
#pragma once

#include <cstdint>
#include <string>

// Longest value ReadIniString reads, and the length above which it traces.
inline constexpr uint32_t kIniReadBuffer = 32769;
inline constexpr uint32_t kIniSizeWarning = 10240;
// ReadRegString reads at most this many bytes; larger values give the default.
inline constexpr uint32_t kRegReadBuffer = 10241;

// The value, or def when section or key is empty, the key is missing or its
// value is empty. Reads are serialised by a process-wide lock.
std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                          const std::string& def);
int64_t ReadIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t def);
// Writes only when file, section and key are non-empty.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);
bool WriteIniInt(const std::string& file, const std::string& section, const std::string& key, int64_t value);

// path: "HKLM\Software\X" and the like (see SplitRegPath). A DWORD reads as
// its unsigned decimal text, a multi-string as its strings joined by "<0>",
// anything else as the text up to the first NUL.
std::string ReadRegString(const std::string& path, const std::string& valueName, const std::string& def,
                          bool view64 = false);

std::string UserName();
std::string ComputerName();
std::string UserDomain();
std::string RegisteredOwner();
std::string RegisteredOrganization();
