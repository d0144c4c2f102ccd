#pragma once

#include <string>

// varnel-pack build ...: argv[1] is "build". Returns the exit code.
int RunBuild(int argc, char** argv);
std::string BuildHelp();
