// Key pairs and signatures through OpenSSL's libcrypto.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>

#include "Keys.h"
#include "package/Signature.h"

namespace {

struct TPkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct TCtxFree {
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct TSigFree {
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
};
struct TFileClose {
  void operator()(FILE* f) const { std::fclose(f); }
};
using TPkey = std::unique_ptr<EVP_PKEY, TPkeyFree>;

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

// The uncompressed point of a P-256 key, or "" for any other key.
std::string PointOf(EVP_PKEY* key) {
  char group[64] = {};
  if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group, nullptr) != 1 ||
      std::string(group) != "prime256v1")
    return {};
  unsigned char point[Signature::kPointBytes];
  size_t len = 0;
  if (EVP_PKEY_get_octet_string_param(key, OSSL_PKEY_PARAM_ENCODED_PUBLIC_KEY, point, sizeof point, &len) != 1 ||
      len != sizeof point || point[0] != 0x04)
    return {};
  return std::string(reinterpret_cast<char*>(point), len);
}

// DER ECDSA signature as r || s, 32 bytes each.
std::string RawOf(const unsigned char* der, size_t len) {
  std::unique_ptr<ECDSA_SIG, TSigFree> sig(d2i_ECDSA_SIG(nullptr, &der, static_cast<long>(len)));
  if (!sig) return {};
  unsigned char rs[Signature::kSignatureBytes];
  if (BN_bn2binpad(ECDSA_SIG_get0_r(sig.get()), rs, 32) != 32 ||
      BN_bn2binpad(ECDSA_SIG_get0_s(sig.get()), rs + 32, 32) != 32)
    return {};
  return std::string(reinterpret_cast<char*>(rs), sizeof rs);
}

}  // namespace

std::string GenerateKeyPair(const std::string& privatePath, const std::string& publicPath) {
  TPkey key(EVP_EC_gen("P-256"));
  if (!key) return "cannot generate a P-256 key";
  const std::string point = PointOf(key.get());
  if (point.empty()) return "cannot read the new public key";
  // Readable by its owner only, and never over an existing file.
  const int fd = ::open(privatePath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  std::unique_ptr<FILE, TFileClose> out(fd >= 0 ? ::fdopen(fd, "wb") : nullptr);
  if (!out) {
    if (fd >= 0) ::close(fd);
    return "cannot write " + privatePath;
  }
  if (PEM_write_PrivateKey(out.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
    return "cannot write " + privatePath;
  out.reset();
  if (!WriteText(publicPath, Signature::EncodeBase64(point) + "\n")) return "cannot write " + publicPath;
  return {};
}

std::string SignFile(const std::string& path, const std::string& privatePath, const std::string& sigPath) {
  std::unique_ptr<FILE, TFileClose> in(std::fopen(privatePath.c_str(), "rb"));
  if (!in) return "cannot read " + privatePath;
  TPkey key(PEM_read_PrivateKey(in.get(), nullptr, nullptr, nullptr));
  if (!key || PointOf(key.get()).empty()) return privatePath + " is not a P-256 private key";
  const auto digest = Signature::DigestFile(path);
  if (!digest) return "cannot read " + path;
  std::unique_ptr<EVP_PKEY_CTX, TCtxFree> ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  size_t len = 0;
  if (!ctx || EVP_PKEY_sign_init(ctx.get()) != 1 ||
      EVP_PKEY_sign(ctx.get(), nullptr, &len, digest->data(), digest->size()) != 1)
    return "cannot sign " + path;
  std::string der(len, '\0');
  auto* derBytes = reinterpret_cast<unsigned char*>(der.data());
  if (EVP_PKEY_sign(ctx.get(), derBytes, &len, digest->data(), digest->size()) != 1) return "cannot sign " + path;
  const std::string raw = RawOf(derBytes, len);
  if (raw.empty()) return "cannot sign " + path;
  if (!WriteText(sigPath, Signature::EncodeBase64(raw) + "\n")) return "cannot write " + sigPath;
  return {};
}
