// zlib's inflate refers to crc32() for gzip streams only; the stub inflates
// zlib streams (Adler-32), so the call never comes. Defining it here, with a
// table-less CRC-32 that gives the same results, keeps zlib's own crc32
// module and its 5 KB of tables out of the release stub.
#include <zlib.h>

#include "package/Crc32.h"

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  return Crc32Update(static_cast<uint32_t>(crc), buf, len);
}
