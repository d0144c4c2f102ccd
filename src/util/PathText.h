// Portable path texts: registry paths, trailing and repeated backslashes,
// base names. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>

// Root keys by their handle values.
inline constexpr uint32_t kHKeyClassesRoot = 0x80000000u;
inline constexpr uint32_t kHKeyCurrentUser = 0x80000001u;
inline constexpr uint32_t kHKeyLocalMachine = 0x80000002u;
inline constexpr uint32_t kHKeyUsers = 0x80000003u;
inline constexpr uint32_t kHKeyCurrentConfig = 0x80000005u;
inline constexpr uint32_t kHKeyDynData = 0x80000006u;

// Full name or abbreviation ("HKLM"), ignoring case; anything else gives
// HKEY_CURRENT_USER.
uint32_t RootKeyFromName(const std::string& name);

struct TRegPath {
  uint32_t root = kHKeyCurrentUser;
  std::string subkey;
};
// "HKLM\Software\X" -> HKEY_LOCAL_MACHINE + "Software\X"; a path not starting
// with "HK" is under HKEY_CURRENT_USER; "HKCU" alone is the root key alone.
TRegPath SplitRegPath(const std::string& path);

// Removes one trailing "\" from a path longer than 2 characters (not the
// trail byte of a double-byte character), then appends "\" with the flag.
std::string WithBackslash(const std::string& path, bool addBackslash);
// "\" becomes empty; otherwise one trailing "\" goes from a path longer than 1.
std::string NoTrailingBackslash(const std::string& path);
// Collapses runs of backslashes after the first character to one; a leading
// run of two or more becomes exactly two, and so does a run directly after
// the quote character in a quoted path (first character == last character).
// With the flag also NoTrailingBackslash.
std::string CollapseBackslashes(const std::string& path, bool stripTrailing = false);
// The part of a path after its last "\" or "/".
std::string FileNamePart(const std::string& path);
// True when Windows opens a device instead of a file for this path
// component: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0..COM9 and LPT0..LPT9
// (also with the superscript digits 1, 2, 3 of Windows-1252), in any case,
// with any extension and with trailing dots or blanks ("nul .txt", "COM1.").
bool IsWindowsDeviceName(const std::string& component);
// File name without its last extension (with the flag: without all).
std::string BaseName(const std::string& path, bool allExtensions = false);

// Double-byte lead bytes of the ANSI code page. The core knows none; a
// platform or a test may install a test (nullptr restores the default).
using TLeadByteTest = bool (*)(unsigned char);
void SetLeadByteTest(TLeadByteTest test);
bool IsLeadByte(char c);
