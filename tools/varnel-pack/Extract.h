#pragma once

// varnel-pack extract ...: argv[1] is "extract". Returns the exit code.
int RunExtract(int argc, char** argv);
