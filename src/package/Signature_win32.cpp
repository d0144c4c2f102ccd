// Signature checks through Windows CNG. bcrypt.dll is bound by name when a
// check runs: the stub's import table stays small and a setup that never
// checks a signature never loads it.
#include "util/Win.h"

#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "package/Signature.h"
#include "util/FileIO.h"

namespace Signature {
namespace {

using OpenAlgFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE*, LPCWSTR, LPCWSTR, ULONG);
using CloseAlgFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, ULONG);
using CreateHashFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_HASH_HANDLE*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using HashDataFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using FinishHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE, PUCHAR, ULONG, ULONG);
using DestroyHashFn = NTSTATUS(WINAPI*)(BCRYPT_HASH_HANDLE);
using ImportKeyPairFn = NTSTATUS(WINAPI*)(BCRYPT_ALG_HANDLE, BCRYPT_KEY_HANDLE, LPCWSTR, BCRYPT_KEY_HANDLE*,
                                          PUCHAR, ULONG, ULONG);
using VerifyFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE, VOID*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using DestroyKeyFn = NTSTATUS(WINAPI*)(BCRYPT_KEY_HANDLE);

struct TBCrypt {
  OpenAlgFn open = nullptr;
  CloseAlgFn close = nullptr;
  CreateHashFn createHash = nullptr;
  HashDataFn hashData = nullptr;
  FinishHashFn finishHash = nullptr;
  DestroyHashFn destroyHash = nullptr;
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
           Bind(dll, "BCryptCloseAlgorithmProvider", api.close) && Bind(dll, "BCryptCreateHash", api.createHash) &&
           Bind(dll, "BCryptHashData", api.hashData) && Bind(dll, "BCryptFinishHash", api.finishHash) &&
           Bind(dll, "BCryptDestroyHash", api.destroyHash) && Bind(dll, "BCryptImportKeyPair", api.importKeyPair) &&
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

bool HashFile(const TBCrypt& api, BCRYPT_HASH_HANDLE hash, TFile& file, TDigest& digest) {
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const int64_t got = file.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
    if (got < 0) return false;
    if (got == 0) break;
    if (!BCRYPT_SUCCESS(api.hashData(hash, reinterpret_cast<PUCHAR>(buffer.data()), static_cast<ULONG>(got), 0)))
      return false;
  }
  return BCRYPT_SUCCESS(api.finishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
}

}  // namespace

std::optional<TDigest> DigestFile(const std::string& path) {
  const TBCrypt* api = BCrypt();
  if (!api) return std::nullopt;
  TFile file;
  if (!file.Open(path, TFile::Mode::Read)) return std::nullopt;
  TAlgorithm alg(*api, BCRYPT_SHA256_ALGORITHM);
  if (!alg.Get()) return std::nullopt;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(api->createHash(alg.Get(), &hash, nullptr, 0, nullptr, 0, 0))) return std::nullopt;
  TDigest digest{};
  const bool ok = HashFile(*api, hash, file, digest);
  api->destroyHash(hash);
  if (!ok) return std::nullopt;
  return digest;
}

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
