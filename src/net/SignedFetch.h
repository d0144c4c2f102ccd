// The signature rule of fetched files: when the running package carries an
// update key, a file fetched from a folder or a URL is used only when
// FILE.sig from the same folder or URL verifies against that key (see
// package/Signature.h). The signature comes into memory and is never kept.
#pragma once

#include <string>
#include <string_view>

namespace SignedFetch {

// "" when the file may be used: no key, or its signature verifies. Otherwise
// the reason. `source` is where the file came from, a path or (http) a URL;
// the signature is source + ".sig" from there.
std::string CheckFile(const std::string& path, const std::string& source, bool http, const std::string& keyText);
// The same for data fetched into memory.
std::string CheckData(std::string_view data, const std::string& source, bool http, const std::string& keyText);

}  // namespace SignedFetch
