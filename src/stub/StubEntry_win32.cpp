// Process entry of the stub. For now it reads the package behind its own
// image and ends with the number of file entries it found; the roles, the
// window and the setup run are added on top of this entry.
#include "package/PackX.h"
#include "util/Win.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH * 4] = {0};
  DWORD n = ::GetModuleFileNameA(nullptr, path, sizeof(path));
  if (n == 0 || n >= sizeof(path)) return -1;
  TGFileInfo info(path);
  if (!info.Trailer().HasMagic()) return -1;
  return static_cast<int>(info.Trailer().EntryCount());
}
