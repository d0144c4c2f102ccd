#include "TestSigner_win32.h"

#include "util/Win.h"

#include <bcrypt.h>

#include <vector>

#include "package/Signature.h"

namespace testsign {

TSigner::TSigner() {
  BCRYPT_ALG_HANDLE alg = nullptr;
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&alg, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0))) return;
  alg_ = alg;
  if (!BCRYPT_SUCCESS(::BCryptGenerateKeyPair(alg, &key, 256, 0)) || !BCRYPT_SUCCESS(::BCryptFinalizeKeyPair(key, 0)))
    return;
  // BCRYPT_ECCPUBLIC_BLOB: the header, X and Y; the key item is 0x04 || X || Y.
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(::BCryptExportKey(key, nullptr, BCRYPT_ECCPUBLIC_BLOB, blob, sizeof blob, &size, 0)) ||
      size != sizeof blob) {
    ::BCryptDestroyKey(key);
    return;
  }
  key_ = key;
  publicKey_ = Signature::EncodeBase64(std::string(1, '\x04') +
                                       std::string(reinterpret_cast<char*>(blob) + sizeof(BCRYPT_ECCKEY_BLOB), 64));
}

TSigner::~TSigner() {
  if (key_) ::BCryptDestroyKey(static_cast<BCRYPT_KEY_HANDLE>(key_));
  if (alg_) ::BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(alg_), 0);
}

std::string TSigner::SignDigest(const unsigned char* digest) const {
  if (!key_) return {};
  unsigned char hash[32];
  std::copy(digest, digest + 32, hash);
  unsigned char signature[64];
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(::BCryptSignHash(static_cast<BCRYPT_KEY_HANDLE>(key_), nullptr, hash, sizeof hash, signature,
                                       sizeof signature, &size, 0)) ||
      size != sizeof signature)
    return {};
  return Signature::EncodeBase64(std::string(reinterpret_cast<char*>(signature), sizeof signature)) + "\n";
}

std::string TSigner::Sign(std::string_view data) const { return SignDigest(Signature::DigestBytes(data).data()); }

std::string TSigner::SignFile(const std::string& path) const {
  const auto digest = Signature::DigestFile(path);
  return digest ? SignDigest(digest->data()) : std::string();
}

}  // namespace testsign
