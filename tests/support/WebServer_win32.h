// The test web servers of scripts/with-web.sh as the wine tests see them:
// nginx (plain and TLS, a temporary document root) and the scripted fault
// server, found through the VARNEL_* variables that the script exports.
// crypt32 and WinINet are bound at run time, so the tests need no extra
// import. Header-only.
#pragma once

#include "util/Win.h"

#include <wincrypt.h>
#include <wininet.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testweb {

// The failure message of a test that needs the servers and finds them missing.
inline constexpr const char* kMissing =
    "the test web servers are missing: run the test inside scripts/with-web.sh (scripts/test.sh does)";

namespace detail {

inline std::string Env(const char* name) {
  char buffer[4096];
  const DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

// A Unix path as this process opens it (wine maps "/" to drive Z:).
inline std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The body of a plain GET through WinINet ("" on any failure).
inline std::string Get(const std::string& url) {
  HMODULE inet = ::LoadLibraryA("wininet.dll");
  if (inet == nullptr) return {};
  using TOpen = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
  using TOpenUrl = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
  using TRead = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
  using TClose = BOOL(WINAPI*)(HINTERNET);
  auto open = reinterpret_cast<TOpen>(reinterpret_cast<void*>(::GetProcAddress(inet, "InternetOpenA")));
  auto openUrl = reinterpret_cast<TOpenUrl>(reinterpret_cast<void*>(::GetProcAddress(inet, "InternetOpenUrlA")));
  auto read = reinterpret_cast<TRead>(reinterpret_cast<void*>(::GetProcAddress(inet, "InternetReadFile")));
  auto close = reinterpret_cast<TClose>(reinterpret_cast<void*>(::GetProcAddress(inet, "InternetCloseHandle")));
  std::string body;
  if (open && openUrl && read && close) {
    if (HINTERNET session = open("varnel-tests", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)) {
      const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
      if (HINTERNET request = openUrl(session, url.c_str(), nullptr, 0, flags, 0)) {
        char buffer[4096];
        DWORD got = 0;
        while (read(request, buffer, sizeof(buffer), &got) && got > 0) body.append(buffer, got);
        close(request);
      }
      close(session);
    }
  }
  ::FreeLibrary(inet);
  return body;
}

}  // namespace detail

// Whether the variables of scripts/with-web.sh are set.
inline bool Available() {
  for (const char* name : {"VARNEL_WEB_ROOT", "VARNEL_HTTP_URL", "VARNEL_HTTPS_URL", "VARNEL_HTTPS_IP_URL",
                           "VARNEL_FAULT_URL", "VARNEL_TEST_CA", "VARNEL_WEB_ACCESS_LOG"}) {
    if (detail::Env(name).empty()) return false;
  }
  return true;
}

// nginx's document root as a Windows path (Z:\...).
inline std::string RootDir() { return detail::WindowsPath(detail::Env("VARNEL_WEB_ROOT")); }

// Addresses; path begins with "/".
inline std::string HttpUrl(const std::string& path) { return detail::Env("VARNEL_HTTP_URL") + path; }
inline std::string HttpsUrl(const std::string& path) { return detail::Env("VARNEL_HTTPS_URL") + path; }
inline std::string HttpsIpUrl(const std::string& path) { return detail::Env("VARNEL_HTTPS_IP_URL") + path; }
inline std::string FaultUrl(const std::string& path) { return detail::Env("VARNEL_FAULT_URL") + path; }

// Writes a file into nginx's document root (name may hold "/" for a subfolder).
inline bool Put(const std::string& name, const std::string& bytes) {
  if (!Available()) return false;
  const std::filesystem::path path = std::filesystem::path(RootDir()) / detail::WindowsPath(name);
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

// Adds the test CA to the machine's root store of the wine prefix, where
// WinINet's certificate check finds it. The store is shared by the 64-bit
// and the 32-bit processes of the prefix (wine links the 32-bit view of
// Software\Microsoft\SystemCertificates to the 64-bit key). Adding it again
// replaces it; the CAs of earlier runs (same name, other key) are removed.
inline bool InstallTestCA() {
  if (!Available()) return false;
  const std::string der = detail::ReadAll(detail::WindowsPath(detail::Env("VARNEL_TEST_CA")));
  if (der.empty()) return false;
  HMODULE crypt = ::LoadLibraryA("crypt32.dll");
  if (crypt == nullptr) return false;
  auto bind = [crypt](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(crypt, name)); };
  using TOpenStore = HCERTSTORE(WINAPI*)(LPCSTR, DWORD, HCRYPTPROV_LEGACY, DWORD, const void*);
  using TAddEncoded = BOOL(WINAPI*)(HCERTSTORE, DWORD, const BYTE*, DWORD, DWORD, PCCERT_CONTEXT*);
  using TCloseStore = BOOL(WINAPI*)(HCERTSTORE, DWORD);
  using TFind = PCCERT_CONTEXT(WINAPI*)(HCERTSTORE, DWORD, DWORD, DWORD, const void*, PCCERT_CONTEXT);
  using TDuplicate = PCCERT_CONTEXT(WINAPI*)(PCCERT_CONTEXT);
  using TDelete = BOOL(WINAPI*)(PCCERT_CONTEXT);
  using TControl = BOOL(WINAPI*)(HCERTSTORE, DWORD, DWORD, const void*);
  auto openStore = reinterpret_cast<TOpenStore>(bind("CertOpenStore"));
  auto add = reinterpret_cast<TAddEncoded>(bind("CertAddEncodedCertificateToStore"));
  auto closeStore = reinterpret_cast<TCloseStore>(bind("CertCloseStore"));
  auto find = reinterpret_cast<TFind>(bind("CertFindCertificateInStore"));
  auto duplicate = reinterpret_cast<TDuplicate>(bind("CertDuplicateCertificateContext"));
  auto remove = reinterpret_cast<TDelete>(bind("CertDeleteCertificateFromStore"));
  auto control = reinterpret_cast<TControl>(bind("CertControlStore"));
  bool added = false;
  if (openStore && add && closeStore && find && duplicate && remove && control) {
    HCERTSTORE store = openStore(CERT_STORE_PROV_SYSTEM_A, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, "ROOT");
    if (store != nullptr) {
      // Found first, deleted afterwards: a deletion would upset the search.
      std::vector<PCCERT_CONTEXT> stale;
      PCCERT_CONTEXT old = nullptr;
      while ((old = find(store, X509_ASN_ENCODING, 0, CERT_FIND_SUBJECT_STR_A, "Varnel Test CA", old)) != nullptr) {
        const bool same = old->cbCertEncoded == der.size() &&
                          std::string(reinterpret_cast<const char*>(old->pbCertEncoded), der.size()) == der;
        if (!same) stale.push_back(duplicate(old));
      }
      for (PCCERT_CONTEXT context : stale) remove(context);
      added = add(store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                  static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr) != FALSE;
      // Written out now: after a deletion wine's close alone does not save
      // the registry store (the old CA stays and the new one is lost).
      added = control(store, 0, CERT_STORE_CTRL_COMMIT, nullptr) != FALSE && added;
      closeStore(store, 0);
    }
  }
  ::FreeLibrary(crypt);
  return added;
}

// The current text of nginx's access log.
inline std::string AccessLog() { return detail::ReadAll(detail::WindowsPath(detail::Env("VARNEL_WEB_ACCESS_LOG"))); }

// "requests=<R> bytes=<B>" of the fault server for path (as given to FaultUrl).
inline std::string FaultStats(const std::string& path) {
  const std::string rest = !path.empty() && path[0] == '/' ? path.substr(1) : path;
  return detail::Get(FaultUrl("/stats/" + rest));
}

}  // namespace testweb
