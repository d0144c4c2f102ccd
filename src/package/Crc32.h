// CRC-32 (the polynomial of zlib and gzip), computed bit by bit: small code
// and no tables, for the places where size matters more than speed.
#pragma once

#include <cstddef>
#include <cstdint>

// Continues `crc` (0 to start) over `size` bytes, as zlib's crc32() does.
uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t size);
