#include "package/Crc32.h"

uint32_t Crc32Update(uint32_t crc, const unsigned char* data, size_t size) {
  if (data == nullptr) return 0;
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}
