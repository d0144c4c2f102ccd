// Signature and key texts, and the verification of a file.
#include "package/Signature.h"

#include <vector>

#include "util/Sha256.h"
#include "util/FileIO.h"

namespace Signature {
namespace {

constexpr size_t kDigestBlock = 1 << 20;

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimEnd(std::string_view text) {
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Decodes a key or signature text of exactly `bytes` bytes; `what` names it
// in the reasons.
std::optional<std::string> ParseFixed(std::string_view text, size_t bytes, const char* what,
                                      std::string& error) {
  const std::string_view body = TrimEnd(text);
  if (body.empty()) {
    error = std::string(what) + " is empty";
    return std::nullopt;
  }
  if (body.front() == '<') {
    error = std::string(what) + " is an HTML page, not base64 text";
    return std::nullopt;
  }
  auto decoded = DecodeBase64(body);
  if (!decoded) {
    error = std::string(what) + " is not base64 text";
    return std::nullopt;
  }
  if (decoded->size() != bytes) {
    error = std::string(what) + " has " + std::to_string(decoded->size()) + " bytes instead of " +
            std::to_string(bytes);
    return std::nullopt;
  }
  return decoded;
}

}  // namespace

std::string EncodeBase64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
    uint32_t v = static_cast<uint8_t>(bytes[i]) << 16;
    if (n > 1) v |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (n > 2) v |= static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += n > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  size_t pad = 0;
  while (pad < 2 && pad < text.size() && text[text.size() - 1 - pad] == '=') ++pad;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  uint32_t v = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    int s = 0;
    if (i < text.size() - pad) {
      s = SextetOf(text[i]);
      if (s < 0) return std::nullopt;
    }
    v = (v << 6) | static_cast<uint32_t>(s);
    if (i % 4 == 3) {
      out += static_cast<char>(v >> 16);
      out += static_cast<char>(v >> 8);
      out += static_cast<char>(v);
      v = 0;
    }
  }
  out.resize(out.size() - pad);
  // The bits a padded text leaves over must be zero: one text per byte string.
  if (pad > 0 && EncodeBase64(out) != text) return std::nullopt;
  return out;
}

std::optional<std::string> ParsePublicKey(std::string_view text, std::string& error) {
  auto point = ParseFixed(text, kPointBytes, "the update key", error);
  if (point && static_cast<uint8_t>((*point)[0]) != 0x04) {
    error = "the update key is not an uncompressed P-256 point";
    return std::nullopt;
  }
  return point;
}

std::optional<std::string> ParseSignature(std::string_view text, std::string& error) {
  return ParseFixed(text, kSignatureBytes, "the signature file", error);
}

std::optional<TDigest> DigestFile(const std::string& path) {
  TFile file;
  if (!file.Open(path, TFile::Mode::Read)) return std::nullopt;
  TSha256 sha;
  std::vector<char> buffer(kDigestBlock);
  for (;;) {
    const int64_t got = file.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    sha.Update(buffer.data(), static_cast<size_t>(got));
  }
  return sha.Finish();
}

TDigest DigestBytes(std::string_view data) { return Sha256::Digest(data); }

std::string VerifyText(std::string_view sigText, std::string_view keyText, const TDigestSource& digestOf) {
  std::string error;
  const auto point = ParsePublicKey(keyText, error);
  if (!point) return error;
  if (sigText.size() > static_cast<size_t>(kMaxSignatureFile))
    return "the signature file is too large (more than " + std::to_string(kMaxSignatureFile) + " bytes)";
  const auto signature = ParseSignature(sigText, error);
  if (!signature) return error;
  const std::optional<TDigest> digest = digestOf();
  if (!digest) return "the signed file cannot be read";
  if (!VerifyDigest(*point, *digest, *signature)) return "the signature does not match the file and the update key";
  return {};
}

std::string VerifyFile(const std::string& path, const std::string& sigPath, std::string_view keyText) {
  const std::optional<std::string> sigText = ReadSignatureFile(sigPath);
  if (!sigText) return kMissingSignature;
  return VerifyText(*sigText, keyText, [&] { return DigestFile(path); });
}

std::optional<std::string> ReadSignatureFile(const std::string& sigPath) {
  TFile sigFile;
  if (!sigFile.Open(sigPath, TFile::Mode::Read)) return std::nullopt;
  const int64_t size = sigFile.Size();
  if (size < 0) return std::nullopt;
  // An oversized file is read only one byte past the limit: enough to refuse it.
  const int64_t take = size > kMaxSignatureFile ? kMaxSignatureFile + 1 : size;
  std::string text(static_cast<size_t>(take), '\0');
  if (take > 0 && !sigFile.ReadAt(0, text.data(), take)) return std::nullopt;
  return text;
}

std::string RefusalText(const std::string& source, const std::string& reason) {
  std::string why = reason;
  if (!why.empty() && why[0] >= 'a' && why[0] <= 'z') why[0] = static_cast<char>(why[0] - 'a' + 'A');
  return std::string(kBadSignature) + "<P><P>" + why + ".<P><P>" + source;
}

}  // namespace Signature
