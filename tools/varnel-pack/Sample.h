#pragma once

#include <string>

// Writes a small setup executable (the stub plus a package of a few sample
// files and an engine entry) to `out`. Returns an error text, empty on success.
std::string WriteSamplePackage(const std::string& stubPath, const std::string& out);
