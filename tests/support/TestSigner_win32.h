// A publisher's key pair for the end-to-end tests, made with CNG for the
// test's run: the public key text for a package's key item, and the
// signature texts of files, as varnel-pack sign writes them.
#pragma once

#include <string>
#include <string_view>

namespace testsign {

class TSigner {
 public:
  TSigner();
  ~TSigner();
  TSigner(const TSigner&) = delete;
  TSigner& operator=(const TSigner&) = delete;

  bool Ok() const { return key_ != nullptr; }
  // Base64 of the uncompressed point, the format of the key item.
  const std::string& PublicKey() const { return publicKey_; }
  // The signature file's text for these bytes, or for the file at path.
  std::string Sign(std::string_view data) const;
  std::string SignFile(const std::string& path) const;

 private:
  std::string SignDigest(const unsigned char* digest) const;

  void* alg_ = nullptr;
  void* key_ = nullptr;
  std::string publicKey_;
};

}  // namespace testsign
