// The Windows build of varnel-pack verifies signatures but has no signing
// library: keys are made and files signed with the native build.
#include "Keys.h"

std::string GenerateKeyPair(const std::string&, const std::string&) {
  return "keygen needs the native build of varnel-pack (OpenSSL)";
}

std::string SignFile(const std::string&, const std::string&, const std::string&) {
  return "sign needs the native build of varnel-pack (OpenSSL)";
}
