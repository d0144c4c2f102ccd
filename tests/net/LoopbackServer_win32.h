// A tiny HTTP server on 127.0.0.1 for the downloader's tests under wine: a
// thread per connection, a canned raw answer per request path. A client that
// stops reading holds its thread for at most the send time-out.
// Winsock is bound at run time so that the test needs no extra import.
#pragma once

#include "util/Win.h"

#include <winsock2.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testnet {

class TLoopbackServer {
 public:
  TLoopbackServer() {
    ws_ = ::LoadLibraryA("ws2_32.dll");
    if (ws_ == nullptr) return;
    Bind(startup_, "WSAStartup");
    Bind(socket_, "socket");
    Bind(bind_, "bind");
    Bind(listen_, "listen");
    Bind(accept_, "accept");
    Bind(recv_, "recv");
    Bind(send_, "send");
    Bind(close_, "closesocket");
    Bind(sockname_, "getsockname");
    Bind(select_, "select");
    Bind(shutdown_, "shutdown");
    Bind(setsockopt_, "setsockopt");
    WSADATA data;
    if (startup_(MAKEWORD(2, 2), &data) != 0) return;
    listener_ = socket_(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = 0x0100007F;  // 127.0.0.1 in network order
    address.sin_port = 0;
    if (bind_(listener_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) return;
    int length = sizeof(address);
    sockname_(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = (address.sin_port & 0xFF) << 8 | (address.sin_port >> 8);
    if (listen_(listener_, 8) != 0) return;
    thread_ = std::thread([this] { Serve(); });
  }

  ~TLoopbackServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (std::thread& t : clients_) t.join();
    if (listener_ != INVALID_SOCKET) close_(listener_);
    if (ws_ != nullptr) ::FreeLibrary(ws_);
  }

  int Port() const { return port_; }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  // The raw answer (status line, headers, body) for a path.
  void Answer(const std::string& path, const std::string& raw) {
    std::lock_guard<std::mutex> lock(mutex_);
    answers_[path] = raw;
  }
  int Requests(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_[path];
  }

 private:
  template <typename T>
  void Bind(T& fn, const char* name) {
    fn = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(ws_, name)));
  }

  void Serve() {
    while (!stop_) {
      fd_set set;
      set.fd_count = 1;
      set.fd_array[0] = listener_;
      timeval wait{0, 50000};
      if (select_(0, &set, nullptr, nullptr, &wait) <= 0) continue;
      SOCKET client = accept_(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET) continue;
      DWORD timeoutMs = 5000;
      setsockopt_(client, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
      clients_.emplace_back([this, client] {
        Handle(client);
        shutdown_(client, SD_SEND);
        close_(client);
      });
    }
  }

  void Handle(SOCKET client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
      const int n = recv_(client, buffer, sizeof(buffer), 0);
      if (n <= 0) return;
      request.append(buffer, n);
    }
    const size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    std::string raw = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++requests_[path];
      if (answers_.count(path)) raw = answers_[path];
    }
    size_t sent = 0;
    while (sent < raw.size()) {
      const int n = send_(client, raw.data() + sent, static_cast<int>(raw.size() - sent), 0);
      if (n <= 0) return;
      sent += static_cast<size_t>(n);
    }
  }

  HMODULE ws_ = nullptr;
  decltype(&::WSAStartup) startup_ = nullptr;
  decltype(&::socket) socket_ = nullptr;
  decltype(&::bind) bind_ = nullptr;
  decltype(&::listen) listen_ = nullptr;
  decltype(&::accept) accept_ = nullptr;
  decltype(&::recv) recv_ = nullptr;
  decltype(&::send) send_ = nullptr;
  decltype(&::closesocket) close_ = nullptr;
  decltype(&::getsockname) sockname_ = nullptr;
  decltype(&::select) select_ = nullptr;
  decltype(&::shutdown) shutdown_ = nullptr;
  decltype(&::setsockopt) setsockopt_ = nullptr;
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<std::thread> clients_;  // touched by the serving thread only, joined after it
  std::mutex mutex_;
  std::map<std::string, std::string> answers_;
  std::map<std::string, int> requests_;
};

// A raw answer with the given status line, headers and body.
inline std::string RawAnswer(const std::string& status, const std::string& body, const std::string& length) {
  std::string raw = "HTTP/1.1 " + status + "\r\nConnection: close\r\n";
  if (!length.empty()) raw += "Content-Length: " + length + "\r\n";
  return raw + "\r\n" + body;
}

}  // namespace testnet
