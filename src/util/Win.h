// The one place where <windows.h> enters, with RAII owners for handles and keys.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <utility>

// Owns a kernel handle (file, process, thread, event...). Both NULL and
// INVALID_HANDLE_VALUE count as "no handle".
class THandle {
 public:
  THandle() = default;
  explicit THandle(HANDLE h) : h_(h) {}
  ~THandle() { Reset(); }
  THandle(THandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  THandle& operator=(THandle&& o) noexcept {
    if (this != &o) Reset(std::exchange(o.h_, nullptr));
    return *this;
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;

  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
  explicit operator bool() const { return Valid(); }
  HANDLE Release() { return std::exchange(h_, nullptr); }
  void Reset(HANDLE h = nullptr) {
    if (Valid()) ::CloseHandle(h_);
    h_ = h;
  }

 private:
  HANDLE h_ = nullptr;
};

// Owns a FindFirstFile search handle.
class TFindHandle {
 public:
  explicit TFindHandle(HANDLE h) : h_(h) {}
  ~TFindHandle() {
    if (Valid()) ::FindClose(h_);
  }
  TFindHandle(const TFindHandle&) = delete;
  TFindHandle& operator=(const TFindHandle&) = delete;
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE Get() const { return h_; }

 private:
  HANDLE h_;
};

// Owns an open registry key.
class TRegKey {
 public:
  TRegKey() = default;
  ~TRegKey() { Reset(); }
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  HKEY* Out() {
    Reset();
    return &k_;
  }
  HKEY Get() const { return k_; }
  bool Valid() const { return k_ != nullptr; }
  void Reset() {
    if (k_) ::RegCloseKey(k_);
    k_ = nullptr;
  }

 private:
  HKEY k_ = nullptr;
};

// Owns a loaded library (LoadLibrary / FreeLibrary).
class TLibrary {
 public:
  TLibrary() = default;
  explicit TLibrary(HMODULE m) : m_(m) {}
  ~TLibrary() { Reset(); }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;
  HMODULE Get() const { return m_; }
  bool Valid() const { return m_ != nullptr; }
  HMODULE Release() { return std::exchange(m_, nullptr); }
  void Reset(HMODULE m = nullptr) {
    if (m_) ::FreeLibrary(m_);
    m_ = m;
  }

 private:
  HMODULE m_ = nullptr;
};
