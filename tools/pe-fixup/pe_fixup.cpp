// pe_fixup: gives a linked Windows executable the stub layout that the package
// reader expects: the "PE" signature at file offset 256 and bytes 248..255 of
// the DOS header area free (zero) for the package end pointer.
//
// The GNU linker puts the PE headers at offset 128 (right after its DOS stub).
// The headers (signature, file header, optional header, section table) are
// moved up to 256, e_lfanew is updated and the old place is zeroed. There is
// room as long as the headers still end below SizeOfHeaders.
//
//   pe_fixup FILE           fix FILE in place (already fixed files stay as they are)
//   pe_fixup --check FILE   exit 0 if FILE is in the stub layout, 1 otherwise
//
// Kept to one self-contained file: cross builds compile it with the host compiler.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kTarget = 256;
constexpr uint32_t kPointerArea = 248;

uint32_t U32(const std::vector<uint8_t>& d, size_t o) {
  return d[o] | d[o + 1] << 8 | d[o + 2] << 16 | static_cast<uint32_t>(d[o + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& d, size_t o) { return static_cast<uint16_t>(d[o] | d[o + 1] << 8); }
void PutU32(std::vector<uint8_t>& d, size_t o, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[o + i] = static_cast<uint8_t>(v >> (8 * i));
}

bool InStubLayout(const std::vector<uint8_t>& d) {
  if (d.size() < kTarget + 4 || d[0] != 'M' || d[1] != 'Z') return false;
  if (U32(d, 0x3C) != kTarget || d[kTarget] != 'P' || d[kTarget + 1] != 'E') return false;
  return U32(d, kPointerArea) == 0;  // the low word may hold a package end pointer already
}

// Returns an empty text on success, else the reason.
std::string Fix(std::vector<uint8_t>& d) {
  if (d.size() < 0x40 || d[0] != 'M' || d[1] != 'Z') return "not an MZ executable";
  const uint32_t old = U32(d, 0x3C);
  if (old == kTarget && InStubLayout(d)) return "";
  if (old + 24 > d.size() || std::memcmp(&d[old], "PE\0\0", 4) != 0) return "no PE signature";
  if (old > kTarget) return "PE headers lie above offset 256";
  const uint16_t sections = U16(d, old + 6);
  const uint16_t optionalSize = U16(d, old + 20);
  const uint32_t headersLength = 24u + optionalSize + 40u * sections;
  const uint32_t optional = old + 24;
  const uint16_t magic = U16(d, optional);
  if (magic != 0x10B && magic != 0x20B) return "unknown optional header";
  const uint32_t sizeOfHeaders = U32(d, optional + 60);
  uint32_t firstRaw = sizeOfHeaders;
  for (uint32_t s = 0; s < sections; ++s) {
    uint32_t raw = U32(d, old + 24 + optionalSize + 40 * s + 20);
    if (raw != 0 && raw < firstRaw) firstRaw = raw;
  }
  if (kTarget + headersLength > firstRaw || kTarget + headersLength > d.size())
    return "no room below the first section to move the headers to offset 256";
  std::vector<uint8_t> headers(d.begin() + old, d.begin() + old + headersLength);
  std::fill(d.begin() + old, d.begin() + old + headersLength, 0);
  std::fill(d.begin() + kPointerArea, d.begin() + kTarget, 0);
  std::copy(headers.begin(), headers.end(), d.begin() + kTarget);
  PutU32(d, 0x3C, kTarget);
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  bool check = argc == 3 && std::string(argv[1]) == "--check";
  if (!(argc == 2 || check)) {
    std::fprintf(stderr, "usage: pe_fixup [--check] FILE\n");
    return 2;
  }
  const char* path = argv[argc - 1];
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "pe_fixup: cannot read %s\n", path);
    return 2;
  }
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  if (check) {
    if (InStubLayout(data)) return 0;
    std::fprintf(stderr, "pe_fixup: %s is not in the stub layout\n", path);
    return 1;
  }
  std::string error = Fix(data);
  if (!error.empty()) {
    std::fprintf(stderr, "pe_fixup: %s: %s\n", path, error.c_str());
    return 1;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) {
    std::fprintf(stderr, "pe_fixup: cannot write %s\n", path);
    return 2;
  }
  return 0;
}
