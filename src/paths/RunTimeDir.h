// The eight run-time directory slots that "<RunTimeDir_1>" to
// "<RunTimeDir_8>" read. The stub defines none, so each reads as empty.
#pragma once

#include <string>

inline constexpr int kRunTimeDirSlots = 8;

// The cached value of slot n (1..8); empty for an undefined slot or any
// other n.
std::string RunTimeDir(int n);
// Sets the value of slot n (1..8); other n are ignored.
void SetRunTimeDir(int n, const std::string& value);
