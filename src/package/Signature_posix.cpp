// ECDSA P-256 verification through OpenSSL's libcrypto (native builds).
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <memory>

#include "package/Signature.h"

namespace Signature {
namespace {

struct TPkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct TPkeyCtxFree {
  void operator()(EVP_PKEY_CTX* p) const { EVP_PKEY_CTX_free(p); }
};
struct TSigFree {
  void operator()(ECDSA_SIG* p) const { ECDSA_SIG_free(p); }
};

std::unique_ptr<EVP_PKEY, TPkeyFree> ImportPoint(std::string_view point) {
  std::unique_ptr<EVP_PKEY_CTX, TPkeyCtxFree> ctx(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  if (!ctx || EVP_PKEY_fromdata_init(ctx.get()) != 1) return nullptr;
  char group[] = "prime256v1";
  std::string bytes(point);
  OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_PKEY_PARAM_GROUP_NAME, group, 0),
      OSSL_PARAM_construct_octet_string(OSSL_PKEY_PARAM_PUB_KEY, bytes.data(), bytes.size()),
      OSSL_PARAM_construct_end()};
  EVP_PKEY* key = nullptr;
  if (EVP_PKEY_fromdata(ctx.get(), &key, EVP_PKEY_PUBLIC_KEY, params) != 1) return nullptr;
  return std::unique_ptr<EVP_PKEY, TPkeyFree>(key);
}

// r || s as the DER sequence OpenSSL verifies.
std::string DerOf(std::string_view rs) {
  std::unique_ptr<ECDSA_SIG, TSigFree> sig(ECDSA_SIG_new());
  const auto* p = reinterpret_cast<const unsigned char*>(rs.data());
  BIGNUM* r = BN_bin2bn(p, 32, nullptr);
  BIGNUM* s = BN_bin2bn(p + 32, 32, nullptr);
  if (!sig || !r || !s || ECDSA_SIG_set0(sig.get(), r, s) != 1) {
    BN_free(r);
    BN_free(s);
    return {};
  }
  unsigned char* der = nullptr;
  const int len = i2d_ECDSA_SIG(sig.get(), &der);
  if (len <= 0) return {};
  std::string out(reinterpret_cast<char*>(der), static_cast<size_t>(len));
  OPENSSL_free(der);
  return out;
}

}  // namespace

bool VerifyDigest(std::string_view point, const TDigest& digest, std::string_view signature) {
  if (point.size() != kPointBytes || signature.size() != kSignatureBytes) return false;
  auto key = ImportPoint(point);
  if (!key) return false;
  const std::string der = DerOf(signature);
  if (der.empty()) return false;
  std::unique_ptr<EVP_PKEY_CTX, TPkeyCtxFree> ctx(EVP_PKEY_CTX_new(key.get(), nullptr));
  if (!ctx || EVP_PKEY_verify_init(ctx.get()) != 1) return false;
  return EVP_PKEY_verify(ctx.get(), reinterpret_cast<const unsigned char*>(der.data()), der.size(),
                         digest.data(), digest.size()) == 1;
}

}  // namespace Signature
