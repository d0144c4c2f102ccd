// Read-only walk over the blocks of one package volume, for inspection and
// for checking what the builder wrote. Compressed entries are inflated in
// pieces, so memory stays small whatever the entry size.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// One block as found by WalkBlocks.
struct TBlockInfo {
  int index = 0;             // 0-based within the volume
  int64_t offset = 0;        // of its length word
  int64_t storedSize = 0;    // content bytes (|L|)
  bool compressed = false;   // L > 0
  bool isInfoBlock = false;
  bool readable = true;      // lies whole inside the package and inflates
  std::string error;         // why not readable
  std::string header;        // entry: text before the first NUL (at most 64 KiB)
  bool hasNul = false;       // entry: a NUL ends the header
  int64_t inflatedSize = 0;  // entry text length
  std::string content;       // information block: its text
};

// Walks the blocks of the volume at path from its data start up to the
// trailer; the first `infoBlocks` blocks are information blocks. Stops after
// an unreadable block. False when the file cannot be read or holds no package.
bool WalkBlocks(const std::string& path, int infoBlocks, const std::function<void(const TBlockInfo&)>& visit);

// End of the package in the file at path: its package end pointer when it is
// a PE image that has one (and it lies inside the file), else the file size.
int64_t PackageEndOf(const std::string& path);
