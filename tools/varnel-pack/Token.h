#pragma once

// varnel-pack token ... and varnel-pack scramble ...: argv[1] is the command.
int RunToken(int argc, char** argv);
int RunScramble(int argc, char** argv);
