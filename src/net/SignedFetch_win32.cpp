#include "net/SignedFetch.h"

#include <optional>

#include "net/InetHTTP.h"
#include "package/Signature.h"
#include "stub/VxDebug.h"

namespace SignedFetch {

namespace {

// The text of source + ".sig", read from the folder or fetched over HTTP;
// nothing with the reason in error.
std::optional<std::string> FetchSignature(const std::string& source, bool http, std::string& error) {
  const std::string sigSource = Signature::SignatureName(source);
  if (!http) {
    std::optional<std::string> text = Signature::ReadSignatureFile(sigSource);
    if (!text) error = Signature::kMissingSignature;
    return text;
  }
  TInetDownload download = HTTP_DownloadFile_Incremental(0, sigSource, std::string(), nullptr);
  if (!download.error.empty()) {
    error = "the signature file could not be fetched: " + download.error;
    return std::nullopt;
  }
  return std::move(download.data);
}

std::string Checked(const std::string& source, const std::string& reason) {
  if (reason.empty())
    VxDebug::Trace("Signature verified: " + source);
  else
    VxDebug::Trace("Signature refused: " + source + " - " + reason);
  return reason;
}

template <typename TDigestOf>
std::string Check(const std::string& source, bool http, const std::string& keyText, TDigestOf digestOf) {
  if (!Signature::Required(keyText)) return {};
  std::string error;
  const std::optional<std::string> sigText = FetchSignature(source, http, error);
  if (!sigText) return Checked(source, error);
  return Checked(source, Signature::VerifyText(*sigText, keyText, digestOf));
}

}  // namespace

std::string CheckFile(const std::string& path, const std::string& source, bool http, const std::string& keyText) {
  return Check(source, http, keyText, [&] { return Signature::DigestFile(path); });
}

std::string CheckData(std::string_view data, const std::string& source, bool http, const std::string& keyText) {
  return Check(source, http, keyText, [&] { return std::optional<Signature::TDigest>(Signature::DigestBytes(data)); });
}

}  // namespace SignedFetch
