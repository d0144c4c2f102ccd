// The signature rule against the real CNG and WinINet: signatures made by a
// key of the test's own, fetched from nginx (scripts/with-web.sh) or read
// from beside a file, and every kind of bad signature file a server or a
// folder can hold.
#include "net/SignedFetch.h"

#include <gtest/gtest.h>

#include "TestSigner_win32.h"
#include "TestSupport.h"
#include "WebServer_win32.h"
#include "package/Signature.h"

namespace {

using testsupport::TScratchDir;
using testsupport::WriteBytes;

const char kData[] = "[NewSetup]\r\nVersionNew=101\r\n";
const char kMismatch[] = "the signature does not match the file and the update key";

struct TSigCase {
  const char* name;
  std::string sig;  // "" with served false: no signature file at all
  bool served;
  const char* reason;  // "" = verifies; otherwise the start of the reason
  const char* httpReason = nullptr;  // when it differs over HTTP
};

std::vector<TSigCase> Cases(const testsign::TSigner& signer, const testsign::TSigner& other) {
  const std::string good = signer.Sign(kData);
  std::string changed = good;
  changed[5] = changed[5] == 'A' ? 'B' : 'A';
  return {
      {"good", good, true, ""},
      {"changed signature", changed, true, kMismatch},
      {"another key's signature", other.Sign(kData), true, kMismatch},
      {"signature of other data", signer.Sign("[NewSetup]\r\nVersionNew=102\r\n"), true, kMismatch},
      {"truncated", good.substr(0, 40), true, "the signature file"},
      // An empty answer is no download at all for the HTTP client.
      {"empty", "", true, "the signature file is empty", "the signature file could not be fetched"},
      {"oversized", std::string(5000, 'A'), true, "the signature file is too large"},
      {"not base64", std::string(88, '*'), true, "the signature file is not base64 text"},
      {"HTML error page", "<html><head><title>404 Not Found</title></head><body>Not Found</body></html>", true,
       "the signature file is an HTML page"},
      {"missing", "", false, "the signature file"},
  };
}

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

TEST(SignedFetch, SignaturesFromAFolder) {
  const testsign::TSigner signer, other;
  ASSERT_TRUE(signer.Ok() && other.Ok());
  TScratchDir dir;
  for (const TSigCase& c : Cases(signer, other)) {
    const std::string file = dir.File(std::string(c.name) + ".info");
    WriteBytes(file, kData);
    if (c.served) WriteBytes(file + ".sig", c.sig);
    const std::string fromFile = SignedFetch::CheckFile(file, file, false, signer.PublicKey());
    const std::string fromData = SignedFetch::CheckData(kData, file, false, signer.PublicKey());
    EXPECT_TRUE(StartsWith(fromFile, c.reason) && (fromFile.empty() == (*c.reason == 0))) << c.name << ": " << fromFile;
    EXPECT_EQ(fromData, fromFile) << c.name;
  }
}

TEST(SignedFetch, SignaturesFromAWebServer) {
  ASSERT_TRUE(testweb::Available()) << testweb::kMissing;
  const testsign::TSigner signer, other;
  ASSERT_TRUE(signer.Ok() && other.Ok());
  TScratchDir dir;
  const std::string local = dir.File("fetched.info");
  WriteBytes(local, kData);
  for (const TSigCase& c : Cases(signer, other)) {
    const std::string name = std::string("signed/") + c.name + ".info";
    ASSERT_TRUE(testweb::Put(name, kData));
    if (c.served) {
      ASSERT_TRUE(testweb::Put(name + ".sig", c.sig));
    }
    const std::string url = testweb::HttpUrl("/" + name);
    const std::string reason = SignedFetch::CheckFile(local, url, true, signer.PublicKey());
    const char* expected = c.httpReason ? c.httpReason : c.reason;
    EXPECT_TRUE(StartsWith(reason, expected) && (reason.empty() == (*expected == 0))) << c.name << ": " << reason;
    if (!c.served) {
      EXPECT_NE(reason.find("404"), std::string::npos) << reason;
    }
    EXPECT_EQ(SignedFetch::CheckData(kData, url, true, signer.PublicKey()), reason) << c.name;
  }
}

// Without a key nothing is fetched and everything passes; a key item that is
// not a key refuses everything, its own signatures included.
TEST(SignedFetch, KeyItems) {
  const testsign::TSigner signer;
  ASSERT_TRUE(signer.Ok());
  TScratchDir dir;
  const std::string file = dir.File("Setup.exe");
  WriteBytes(file, kData);
  EXPECT_EQ(SignedFetch::CheckFile(file, file, false, ""), "");
  WriteBytes(file + ".sig", signer.Sign(kData));
  EXPECT_EQ(SignedFetch::CheckFile(file, file, false, signer.PublicKey()), "");
  EXPECT_EQ(SignedFetch::CheckFile(file, file, false, "not a key"), "the update key is not base64 text");
  EXPECT_EQ(SignedFetch::CheckFile(file, file, false, Signature::EncodeBase64(std::string(65, '\x04'))), kMismatch);
}

}  // namespace
