// ECDSA P-256 verification through Windows CNG. bcrypt.dll is bound by name when a
// check runs: the stub's import table stays small and a setup that never
// checks a signature never loads it.
#include "util/Win.h"

#include <bcrypt.h>

#include <cstring>

#include "package/Signature.h"

namespace Signature {
namespace {

using OpenAlgFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseAlgFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using ImportKeyPairFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*,
                                          PUCHAR, ULONG, ULONG);
using VerifyFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using DestroyKeyFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);

struct TBCrypt {
  OpenAlgFn open = nullptr;
  CloseAlgFn close = nullptr;
  ImportKeyPairFn importKeyPair = nullptr;
  VerifyFn verify = nullptr;
  DestroyKeyFn destroyKey = nullptr;
};

template <typename Fn>
bool Bind(HMODULE dll, const char* name, Fn& fn) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  return fn != nullptr;
}

// The entry points, bound once; nothing when bcrypt.dll or one of them is missing.
const TBCrypt* BCrypt() {
  static TBCrypt api;
  static bool ok = [] {
    HMODULE dll = LoadLibraryW(L"bcrypt.dll");
    if (!dll) return false;
    return Bind(dll, "BCryptOpenAlgorithmProvider", api.open) &&
           Bind(dll, "BCryptCloseAlgorithmProvider", api.close) && Bind(dll, "BCryptImportKeyPair", api.importKeyPair) &&
           Bind(dll, "BCryptVerifySignature", api.verify) && Bind(dll, "BCryptDestroyKey", api.destroyKey);
  }();
  return ok ? &api : nullptr;
}

class TAlgorithm {
 public:
  TAlgorithm(const TBCrypt& api, LPCWSTR name) : api_(api) {
    if (!BCRYPT_SUCCESS(api_.open(&h_, name, nullptr, 0))) h_ = nullptr;
  }
  ~TAlgorithm() {
    if (h_) api_.close(h_, 0);
  }
  TAlgorithm(const TAlgorithm&) = delete;
  TAlgorithm& operator=(const TAlgorithm&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return h_; }

 private:
  const TBCrypt& api_;
  BCRYPT_ALG_HANDLE h_ = nullptr;
};

}  // namespace

bool VerifyDigest(std::string_view point, const TDigest& digest, std::string_view signature) {
  if (point.size() != kPointBytes || signature.size() != kSignatureBytes) return false;
  const TBCrypt* api = BCrypt();
  if (!api) return false;
  TAlgorithm alg(*api, BCRYPT_ECDSA_P256_ALGORITHM);
  if (!alg.Get()) return false;
  // BCRYPT_ECCPUBLIC_BLOB: the header, then X and Y (the point without its 0x04).
  unsigned char blob[sizeof(BCRYPT_ECCKEY_BLOB) + 64];
  BCRYPT_ECCKEY_BLOB header{BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob, &header, sizeof header);
  std::memcpy(blob + sizeof header, point.data() + 1, 64);
  BCRYPT_KEY_HANDLE key = nullptr;
  if (!BCRYPT_SUCCESS(api->importKeyPair(alg.Get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, &key, blob, sizeof blob, 0)))
    return false;
  unsigned char hash[32];
  unsigned char sig[kSignatureBytes];
  std::memcpy(hash, digest.data(), sizeof hash);
  std::memcpy(sig, signature.data(), sizeof sig);
  const NTSTATUS status = api->verify(key, nullptr, hash, sizeof hash, sig, sizeof sig, 0);
  api->destroyKey(key);
  return BCRYPT_SUCCESS(status);
}

}  // namespace Signature
