// Command-line switches: "/name" or "/name=value" (or with "-"), a value
// running up to the next blank followed by the switch character, so it may
// contain blanks: /Dir=C:\Program Files\X /b=2
//
// The raw command line and the program path are passed in, so this stays
// free of system calls; the caller computes CommandLineArgs once and hands
// the result to the readers.
#pragma once

#include <cstdint>
#include <string>

// The arguments of rawCommandLine without the program itself, trimmed.
std::string CommandLineArgs(const std::string& rawCommandLine, const std::string& programPath);
// The switches as a delimited list (delimiter: character code 1), double
// quotes removed; the first item is what precedes the first switch.
std::string SwitchList(const std::string& args, char switchChar = '/', char delimiter = '\x01');
// Trimmed value of name=value, ignoring case; def when absent. The name may
// carry its switch character ("-" or "/") and its trailing "=".
std::string GetSwitch(const std::string& args, const std::string& name,
                      const std::string& def = "");
int64_t GetSwitchInt(const std::string& args, const std::string& name, int64_t def);
// The trimmed name, followed by a blank or the end, occurs in args ("/hide").
bool HasSwitch(const std::string& args, const std::string& name);
