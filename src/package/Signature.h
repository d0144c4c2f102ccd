// Detached signatures of published files (updates, INFO and INFORM files,
// download-mode setups) and the publisher's public key.
//
// Public key (a file of its own, and an item of the package information
// block): base64 of the 65-byte uncompressed ECDSA P-256 point
// 0x04 || X || Y, 88 characters.
//
// Signature file (FILE.sig beside FILE): base64 of the 64-byte ECDSA P-256
// signature r || s (each 32 bytes, big-endian) over the SHA-256 of the whole
// file, 88 characters. Trailing white space (a final line break) is allowed,
// nothing else: a file larger than kMaxSignatureFile is refused unread.
//
// Verification goes through Windows CNG (bcrypt.dll) in the Windows build and
// through OpenSSL's libcrypto natively; the parsing rules are shared.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Signature {

constexpr size_t kPointBytes = 65;
constexpr size_t kSignatureBytes = 64;
constexpr int64_t kMaxSignatureFile = 1024;

using TDigest = std::array<uint8_t, 32>;

// Standard base64 with '=' padding; nothing else is accepted, not even white
// space inside the text.
std::string EncodeBase64(std::string_view bytes);
std::optional<std::string> DecodeBase64(std::string_view text);

// The 65 point bytes of a public key text, or nothing with the reason in error.
std::optional<std::string> ParsePublicKey(std::string_view text, std::string& error);
// The 64 bytes r || s of a signature file's text, or nothing with the reason.
std::optional<std::string> ParseSignature(std::string_view text, std::string& error);

// SHA-256 of a file, read in blocks (little memory whatever its size).
std::optional<TDigest> DigestFile(const std::string& path);
TDigest DigestBytes(std::string_view data);
// The signature (64 bytes) of the digest verifies against the point (65 bytes).
bool VerifyDigest(std::string_view point, const TDigest& digest, std::string_view signature);

// The signature of a published file is its name (or URL) + kSuffix, in the
// same folder (or under the same URL).
constexpr char kSuffix[] = ".sig";
inline std::string SignatureName(const std::string& fileNameOrUrl) { return fileNameOrUrl + kSuffix; }

// A package whose key item is not empty requires signatures: even a key item
// that is not a key (then every check fails; fail-closed).
inline bool Required(std::string_view keyText) { return !keyText.empty(); }

// The message of a refused file, in the manner of the token check's: it
// names the signature, the reason and where the file came from.
inline constexpr char kBadSignature[] = "Bad Signature!";
// The reason when no signature file is there to read.
inline constexpr char kMissingSignature[] = "the signature file is missing";
std::string RefusalText(const std::string& source, const std::string& reason);

// Checks FILE against the signature file sigPath and the public key text.
// Empty result: the file verifies. Otherwise the reason, a short sentence
// for the message and the trace log. Every failure is a refusal.
std::string VerifyFile(const std::string& path, const std::string& sigPath, std::string_view keyText);
// The text of a signature file, at most one byte past kMaxSignatureFile (so
// that an oversized file is refused unread); nothing when it cannot be read.
std::optional<std::string> ReadSignatureFile(const std::string& sigPath);
// The check of a signature text against the key text and the digest of the
// signed data, which is taken only when key and signature are well-formed
// (nothing: the data cannot be read); the same reasons as VerifyFile.
using TDigestSource = std::function<std::optional<TDigest>()>;
std::string VerifyText(std::string_view sigText, std::string_view keyText, const TDigestSource& digestOf);
// The same with the signature beside the file: path + ".sig".
inline std::string VerifyFile(const std::string& path, std::string_view keyText) {
  return VerifyFile(path, SignatureName(path), keyText);
}

}  // namespace Signature
