// Signature checks: natively through OpenSSL, under wine through CNG. The
// vectors were made once with the openssl command line (key 1 signs; key 2
// is another publisher's).
#include "package/Signature.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "util/Sha256.h"

namespace {

using testsupport::TScratchDir;
using testsupport::WriteBytes;

const char kData[] = "Signed by the publisher of this update.\n";
const char kKey1[] = "BHkYP3ih9ozqlrsN8nut3R+zdaYwZkk2wOZPQ2fsbHLLvT+9FcQpg8Bsmjj22D+uKR3z5Ng0nQgiI6lOXy6fv+U=";
const char kKey2[] = "BNs0F8zAQ/w5QA0g07u0aR9Fecx0qWj/vKjfDNDPSr+K5mnunvWFFwYJkC9/Pv//+28eo29pf+h9EpOTpRVl10Y=";
const char kSig1[] = "OttqAtqn6zbzD6jujG1ur2H4E6PBeLCvi3y926qklooFjWrDhs/SqzQC/LxInE1a9qSPPhcb7tRvpikfb2D5vw==";

// The data file and its signature file in a scratch folder; returns the reason.
std::string Check(const std::string& data, const std::string& sig, const std::string& key) {
  TScratchDir dir;
  const std::string file = dir.File("update.exe");
  WriteBytes(file, data);
  WriteBytes(file + ".sig", sig);
  return Signature::VerifyFile(file, key);
}

TEST(Signature, VerifiesAndRefuses) {
  const std::string data = kData;
  std::string changed = data;
  changed[7] ^= 1;
  std::string sigChanged = kSig1;
  sigChanged[10] = sigChanged[10] == 'A' ? 'B' : 'A';
  const std::string mismatch = "the signature does not match the file and the update key";
  struct {
    const char* name;
    std::string data, sig, key, reason;
  } cases[] = {
      {"good", data, kSig1, kKey1, ""},
      {"good with a final line break", data, std::string(kSig1) + "\r\n", kKey1 + std::string("\n"), ""},
      {"changed byte in the file", changed, kSig1, kKey1, mismatch},
      {"one more byte in the file", data + " ", kSig1, kKey1, mismatch},
      {"changed signature", data, sigChanged, kKey1, mismatch},
      {"another publisher's key", data, kSig1, kKey2, mismatch},
      {"empty signature file", data, "", kKey1, "the signature file is empty"},
      {"white space only", data, " \r\n", kKey1, "the signature file is empty"},
      {"truncated", data, std::string(kSig1).substr(0, 44), kKey1, "the signature file has 33 bytes instead of 64"},
      {"cut inside a quad", data, std::string(kSig1).substr(0, 50), kKey1, "the signature file is not base64 text"},
      {"oversized", data, std::string(2000, 'A'), kKey1, "the signature file is too large (more than 1024 bytes)"},
      {"not base64", data, std::string(88, '!'), kKey1, "the signature file is not base64 text"},
      {"white space inside", data, std::string(kSig1).insert(40, " "), kKey1, "the signature file is not base64 text"},
      {"HTML error page", data, "<html><body>404 Not Found</body></html>\n", kKey1,
       "the signature file is an HTML page, not base64 text"},
      {"key item that is not a key", data, kSig1, "hello", "the update key is not base64 text"},
      {"empty key item", data, kSig1, "", "the update key is empty"},
      {"compressed point", data, kSig1, Signature::EncodeBase64(std::string(1, '\x02') + std::string(64, 'x')),
       "the update key is not an uncompressed P-256 point"},
      {"point off the curve", data, kSig1, Signature::EncodeBase64(std::string(1, '\x04') + std::string(64, '\0')),
       mismatch},
  };
  for (const auto& c : cases) EXPECT_EQ(Check(c.data, c.sig, c.key), c.reason) << c.name;
}

TEST(Signature, MissingFiles) {
  TScratchDir dir;
  const std::string file = dir.File("INFO.txt");
  WriteBytes(file, kData);
  EXPECT_EQ(Signature::VerifyFile(file, kKey1), "the signature file is missing");
  WriteBytes(file + ".sig", kSig1);
  EXPECT_EQ(Signature::VerifyFile(dir.File("absent.txt"), file + ".sig", kKey1), "the signed file cannot be read");
  EXPECT_EQ(Signature::VerifyFile(file, kKey1), "");
}

TEST(Signature, DigestOfFileInBlocks) {
  TScratchDir dir;
  for (size_t size : {size_t{0}, size_t{1}, size_t{65535}, size_t{65536}, size_t{65537}, size_t{3000001}}) {
    const std::string bytes = testsupport::NoiseBytes(size, static_cast<uint32_t>(size));
    const std::string file = dir.File("f" + std::to_string(size));
    WriteBytes(file, bytes);
    const auto digest = Signature::DigestFile(file);
    ASSERT_TRUE(digest) << size;
    EXPECT_EQ(*digest, Sha256::Digest(bytes)) << size;
  }
  EXPECT_FALSE(Signature::DigestFile(dir.File("absent")));
}

TEST(Signature, Base64) {
  struct {
    std::string bytes, text;
  } cases[] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
               {std::string("\xff\xfe\x00", 3), "//4A"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Signature::EncodeBase64(c.bytes), c.text);
    EXPECT_EQ(Signature::DecodeBase64(c.text), c.bytes) << c.text;
  }
  // Not one text per byte string, or not base64 at all.
  for (const char* bad : {"Zg=", "Zh==", "Zm9=", "Z===", "=Zg=", "Zg==Zg==", "Zm9v\n", "Zm-v"})
    EXPECT_FALSE(Signature::DecodeBase64(bad)) << bad;
}

}  // namespace

// A malformed signature or key is refused before the signed data is read.
TEST(Signature, DigestOnlyForAWellFormedSignature) {
  struct {
    std::string sig, key;
    bool digested;
  } cases[] = {{kSig1, kKey1, true}, {"", kKey1, false}, {std::string(2000, 'A'), kKey1, false},
               {kSig1, "nope", false}};
  for (const auto& c : cases) {
    bool digested = false;
    Signature::VerifyText(c.sig, c.key, [&] {
      digested = true;
      return std::optional<Signature::TDigest>(Signature::DigestBytes(kData));
    });
    EXPECT_EQ(digested, c.digested) << c.sig.size() << " " << c.key;
  }
  EXPECT_EQ(Signature::VerifyText(kSig1, kKey1, [] { return std::optional<Signature::TDigest>(); }),
            "the signed file cannot be read");
}

TEST(Signature, RefusalNamesTheSignatureTheReasonAndTheSource) {
  EXPECT_EQ(Signature::RefusalText("http://host/Setup.exe", "the signature file is missing"),
            "Bad Signature!<P><P>The signature file is missing.<P><P>http://host/Setup.exe");
}
