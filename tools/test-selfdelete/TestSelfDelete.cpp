// Test helper for the self-deleting batch file: started with "/delete" it
// calls Files::DeleteMySelf and exits at once, as a temporary copy of the
// stub does. "/rd" also removes the program's folder, "/short" writes the
// batch file with short path names. Without "/delete" it does nothing.
#include <string>

#include "util/Files.h"

int main(int argc, char** argv) {
  bool remove = false, removeFolder = false, shortNames = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "/delete") remove = true;
    if (arg == "/rd") removeFolder = true;
    if (arg == "/short") shortNames = true;
  }
  if (remove) Files::DeleteMySelf(removeFolder, shortNames);
  return 0;
}
