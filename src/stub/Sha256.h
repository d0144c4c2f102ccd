// SHA-256 of a byte string, for names that must stay unique when they are
// shortened (window classes of very long paths).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace Sha256 {

std::array<uint8_t, 32> Digest(std::string_view data);
// The digest as 64 lower-case hex digits.
std::string Hex(std::string_view data);

}  // namespace Sha256
