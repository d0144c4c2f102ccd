#include "package/Crc32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

// The table-less CRC-32 stands in for zlib's crc32() in the release stub: it
// must give zlib's results, also when continued over pieces.
TEST(Crc32, GivesZlibsResultsWholeAndInPieces) {
  std::string data;
  for (int i = 0; i < 5000; ++i) data += static_cast<char>((i * 131 + i / 7) & 0xFF);
  const auto* bytes = reinterpret_cast<const unsigned char*>(data.data());
  for (size_t size : {0u, 1u, 3u, 64u, 4999u, 5000u}) {
    EXPECT_EQ(Crc32Update(0, bytes, size), crc32(0, bytes, static_cast<uInt>(size))) << size;
  }
  EXPECT_EQ(Crc32Update(0, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);
  const uint32_t first = Crc32Update(0, bytes, 1000);
  EXPECT_EQ(Crc32Update(first, bytes + 1000, 4000), crc32(0, bytes, 5000));
  EXPECT_EQ(Crc32Update(12345, nullptr, 10), 0u);  // as zlib: no buffer gives 0
}
