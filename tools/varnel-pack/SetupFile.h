// What the read-only commands check before they read a setup file, and how
// they show its 8-bit names and texts.
#pragma once

#include <string>

class TGFileInfo;

// Why `path` cannot be read as the first volume of a package: it cannot be
// opened (with the system's reason), it is truncated (its package end
// pointer lies past its end), or it is a later volume (then the message
// names the first volume to give instead). Empty when none of these holds.
std::string SetupFileProblem(const std::string& path);

// Volume number of a file named like a later volume ("setup.exe.002" -> 2); 0 otherwise.
int LaterVolumeNumber(const std::string& path);

// The code page of the package's names and texts: the first language's
// Charset (the builder writes the one of its code page), else Windows-1252.
int PackageCodePage(const TGFileInfo& info);

// Package bytes as UTF-8 for the terminal: on Windows the console takes the
// bytes as they are; elsewhere they are converted from the code page unless
// they are UTF-8 already (names written by builders that stored UTF-8).
std::string Shown(const std::string& bytes, int codePage);
