#pragma once

#include <iosfwd>
#include <string>

// Prints what the stub reads from the package in `path`.
void PrintPackageInfo(const std::string& path, std::ostream& out);
