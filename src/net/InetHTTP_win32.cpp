#include "net/InetHTTP.h"

#include "util/Win.h"

#include <wininet.h>

#include <algorithm>
#include <string>
#include <utility>

#include "net/DownloadLoop.h"
#include "net/DownloadRun.h"
#include "net/DownloadSink.h"
#include "net/HttpDecisions.h"
#include "stub/StubState.h"
#include "stub/VxDebug.h"
#include "ui/VxProgBar.h"
#include "util/SysInfo.h"
#include "util/Utils.h"

// No warm-up request before a transfer: closing a request whose body was not
// read lets the library drain that body (under wine it waits for the whole
// answer), so a warm-up costs a second full transfer of the file.

namespace {

// --- Lazy binding ---------------------------------------------------------------

using TGetConnectedState = BOOL(WINAPI*)(LPDWORD, DWORD);
using TCloseHandle = BOOL(WINAPI*)(HINTERNET);
using TOpen = HINTERNET(WINAPI*)(LPCSTR, DWORD, LPCSTR, LPCSTR, DWORD);
using TQueryInfo = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, LPDWORD, LPDWORD);
using TReadFile = BOOL(WINAPI*)(HINTERNET, LPVOID, DWORD, LPDWORD);
using TSetOption = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
using TLastResponseInfo = BOOL(WINAPI*)(LPDWORD, LPSTR, LPDWORD);
using TCrackUrl = BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPURL_COMPONENTSA);
using TConnect = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, INTERNET_PORT, LPCSTR, LPCSTR, DWORD, DWORD, DWORD_PTR);
using TOpenRequest = HINTERNET(WINAPI*)(HINTERNET, LPCSTR, LPCSTR, LPCSTR, LPCSTR, LPCSTR*, DWORD, DWORD_PTR);
using TSendRequest = BOOL(WINAPI*)(HINTERNET, LPCSTR, DWORD, LPVOID, DWORD);

enum Proc {
  kGetConnectedState, kCloseHandle, kOpen, kQueryInfo, kReadFile, kSetOption, kLastResponseInfo,
  kCrackUrl, kConnect, kOpenRequest, kSendRequest, kProcCount
};

struct TBinding {
  std::string libraryName = "WinINet.dll";
  HMODULE module = nullptr;
  FARPROC procs[kProcCount] = {};
};

TBinding& Binding() {
  static TBinding binding;
  return binding;
}

constexpr const char* kProcNames[] = {"InternetGetConnectedState", "InternetCloseHandle", "InternetOpenA",
                                      "HttpQueryInfoA", "InternetReadFile",
                                      "InternetSetOptionA", "InternetGetLastResponseInfoA",
                                      "InternetCrackUrlA", "InternetConnectA", "HttpOpenRequestA",
                                      "HttpSendRequestA"};
static_assert(sizeof(kProcNames) / sizeof(kProcNames[0]) == kProcCount);

// The function, bound on first use and cached; null when the library or the
// function is missing.
template <typename T>
T Bound(Proc proc) {
  TBinding& b = Binding();
  if (b.procs[proc] == nullptr) {
    if (b.module == nullptr) b.module = ::LoadLibraryA(b.libraryName.c_str());
    if (b.module == nullptr) return nullptr;
    b.procs[proc] = ::GetProcAddress(b.module, kProcNames[proc]);
  }
  return reinterpret_cast<T>(reinterpret_cast<void*>(b.procs[proc]));
}

void CloseInet(HINTERNET handle) {
  if (handle == nullptr) return;
  if (auto close = Bound<TCloseHandle>(kCloseHandle)) close(handle);
}

HINTERNET OpenSession(const char* agent) {
  auto open = Bound<TOpen>(kOpen);
  return open ? open(agent, INTERNET_OPEN_TYPE_PRECONFIG, "", nullptr, 0) : nullptr;
}

// A header as text ("" when missing).
std::string QueryText(HINTERNET request, DWORD level) {
  auto query = Bound<TQueryInfo>(kQueryInfo);
  if (!query) return {};
  char buffer[256] = {};
  DWORD length = sizeof(buffer) - 1;
  if (!query(request, level, buffer, &length, nullptr)) return {};
  return std::string(buffer, std::min<DWORD>(length, sizeof(buffer) - 1));
}

int64_t ContentLength(HINTERNET request) {
  return http::ParseContentLength(QueryText(request, HTTP_QUERY_CONTENT_LENGTH));
}

int32_t LastModified(HINTERNET request) {
  auto query = Bound<TQueryInfo>(kQueryInfo);
  SYSTEMTIME time{};
  DWORD length = sizeof(time);
  if (!query || !query(request, HTTP_QUERY_LAST_MODIFIED | HTTP_QUERY_FLAG_SYSTEMTIME, &time, &length, nullptr)) {
    return 0;
  }
  return http::LastModifiedStamp(time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond);
}

// Text of a WinINet error code: the library's message table, the system's,
// or the server's last response text.
std::string InetErrorText(DWORD code) {
  char* text = nullptr;
  const DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS;
  DWORD length = 0;
  if (Binding().module != nullptr) {
    length = ::FormatMessageA(flags | FORMAT_MESSAGE_FROM_HMODULE, Binding().module, code, 0,
                              reinterpret_cast<char*>(&text), 0, nullptr);
  }
  if (length == 0) {
    length = ::FormatMessageA(flags | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0,
                              reinterpret_cast<char*>(&text), 0, nullptr);
  }
  std::string result;
  if (length != 0 && text != nullptr) result.assign(text, length);
  if (text != nullptr) ::LocalFree(text);
  result = Trim(result);
  if (!result.empty()) return result;
  if (auto info = Bound<TLastResponseInfo>(kLastResponseInfo)) {
    DWORD error = 0;
    char buffer[512] = {};
    DWORD size = sizeof(buffer) - 1;
    if (info(&error, buffer, &size)) result = Trim(std::string(buffer, std::min<DWORD>(size, sizeof(buffer) - 1)));
  }
  return result;
}

DWORD& TimeOutMs() {
  static DWORD ms = 180000;
  return ms;
}

void SetTimeOuts(HINTERNET session) {
  auto setOption = Bound<TSetOption>(kSetOption);
  if (!setOption) return;
  for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT,
                       INTERNET_OPTION_DATA_SEND_TIMEOUT}) {
    DWORD ms = TimeOutMs();
    setOption(session, option, &ms, sizeof(ms));
  }
}

// A request for url (verb "GET" or "HEAD"), sent, with the time-outs set on
// it before sending: a request made by InternetOpenUrlA has no receive
// time-out under wine (its connection does not take the session's), so a
// server that stalls mid-body would hold the read for ever. Both handles
// are closed by the caller, the request first; no request on failure.
struct TRequest {
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
};

TRequest SendRequest(HINTERNET session, const char* verb, const std::string& url, DWORD flags,
                     const std::string& headers = "") {
  TRequest get;
  auto crack = Bound<TCrackUrl>(kCrackUrl);
  auto connect = Bound<TConnect>(kConnect);
  auto openRequest = Bound<TOpenRequest>(kOpenRequest);
  auto send = Bound<TSendRequest>(kSendRequest);
  if (!crack || !connect || !openRequest || !send) return get;
  char host[INTERNET_MAX_HOST_NAME_LENGTH] = {};
  char user[256] = {};
  char password[256] = {};
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  parts.lpszUserName = user;
  parts.dwUserNameLength = sizeof(user);
  parts.lpszPassword = password;
  parts.dwPasswordLength = sizeof(password);
  parts.dwUrlPathLength = 1;   // pointers into url
  parts.dwExtraInfoLength = 1;
  if (!crack(url.c_str(), 0, 0, &parts) || parts.lpszUrlPath == nullptr) return get;
  const std::string object = std::string(parts.lpszUrlPath, parts.dwUrlPathLength) +
                             (parts.lpszExtraInfo ? std::string(parts.lpszExtraInfo, parts.dwExtraInfoLength) : "");
  get.connection = connect(session, host, parts.nPort, user[0] ? user : nullptr, password[0] ? password : nullptr,
                           INTERNET_SERVICE_HTTP, 0, 0);
  if (get.connection == nullptr) return get;
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  get.request = openRequest(get.connection, verb, object.empty() ? "/" : object.c_str(), nullptr, nullptr,
                            nullptr, flags, 0);
  if (get.request != nullptr) {
    SetTimeOuts(get.request);
    const char* extra = headers.empty() ? nullptr : headers.c_str();
    if (!send(get.request, extra, extra ? static_cast<DWORD>(-1) : 0, nullptr, 0)) {
      CloseInet(get.request);
      get.request = nullptr;
    }
  }
  return get;
}

class TInetSource : public TTransferSource {
 public:
  explicit TInetSource(HINTERNET request) : request_(request) {}
  bool Read(char* buffer, int64_t max, int64_t& got, std::string& reason) override {
    auto read = Bound<TReadFile>(kReadFile);
    DWORD count = 0;
    if (read && read(request_, buffer, static_cast<DWORD>(max), &count)) {
      got = count;
      return true;
    }
    reason = InetErrorText(::GetLastError());
    return false;
  }

 private:
  HINTERNET request_;
};

TTransferHooks Hooks(HWND window, TProgBar* bar, const std::string& name) {
  TTransferHooks hooks;
  hooks.pump = [](int ms) {
    if (ms > 0) {
      WaitPumping(0, ms);
    } else {
      YieldX(0);
    }
  };
  hooks.aborted = [] { return Stub::DownloadAbort(); };
  hooks.trace = [](const std::string& line) { VxDebug::DebugLine(line); };
  hooks.show = [window, bar, name] {
    if (reinterpret_cast<uintptr_t>(window) > 10) ::ShowWindow(window, SW_SHOW);
    if (bar != nullptr) bar->Message(name);
  };
  if (bar != nullptr) {
    hooks.cancelled = [bar] { return bar->Cancelled(); };
    hooks.startBar = [bar](int64_t count, int64_t position) {
      const int64_t maximum = std::min<int64_t>(count, http::kBarMaximum);
      bar->Position(static_cast<int32_t>(std::min(position, maximum)), static_cast<int32_t>(maximum));
    };
    hooks.step = [bar](const std::string& text) { bar->Text(text); };
  }
  return hooks;
}

int StatusCode(HINTERNET request) {
  return static_cast<int>(TextToInt64(QueryText(request, HTTP_QUERY_STATUS_CODE), 0));
}

// The requests of one download on one session.
class TInetOpener : public TRequestOpener {
 public:
  TInetOpener(HINTERNET session, std::string url) : session_(session), url_(std::move(url)) {}
  ~TInetOpener() override { Close(); }

  bool Open(int64_t from, http::TAnswer& answer) override {
    Close();
    const TRequest sent = SendRequest(session_, "GET", url_, INTERNET_FLAG_RELOAD, http::RangeHeader(from));
    connection_ = sent.connection;
    request_ = sent.request;
    if (request_ == nullptr) return false;
    answer.status = StatusCode(request_);
    answer.statusText = QueryText(request_, HTTP_QUERY_STATUS_TEXT);
    answer.length = ContentLength(request_);
    answer.stamp = LastModified(request_);
    answer.contentRange = QueryText(request_, HTTP_QUERY_CONTENT_RANGE);
    source_ = TInetSource(request_);
    return true;
  }
  TTransferSource& Body() override { return source_; }
  void Close() override {
    CloseInet(request_);
    CloseInet(connection_);
    request_ = nullptr;
    connection_ = nullptr;
  }

 private:
  HINTERNET session_;
  std::string url_;
  HINTERNET connection_ = nullptr;
  HINTERNET request_ = nullptr;
  TInetSource source_{nullptr};
};

// The download on an open session; error text and data.
TInetDownload Transfer(HWND window, HINTERNET session, const std::string& url, const std::string& target,
                       TProgBar* bar) {
  TInetDownload result;
  TInetOpener opener(session, url);
  const TTransferHooks hooks = Hooks(window, bar, http::UrlDisplayName(url));
  if (target.empty()) {
    TMemorySink sink(http::kMemoryCap);
    result.error = RunDownload(opener, sink, url, hooks).error;
    result.data = sink.TakeData();
  } else {
    // The temporary name follows from the first answer (TFileSink::Restart).
    TFileSink sink(target, http::kUnknownLength, 0);
    result.error = RunDownload(opener, sink, url, hooks).error;
  }
  return result;
}

}  // namespace

bool InternetConnected(std::string* errorText) {
  auto connected = Bound<TGetConnectedState>(kGetConnectedState);
  DWORD flags = 0;
  if (connected && connected(&flags, 0)) return true;
  if (errorText != nullptr) *errorText = LastErrorText();
  return false;
}

int64_t HTTP_GetFileSize(const std::string& url) {
  const std::string requestUrl = http::RequestUrl(url);
  HINTERNET session = OpenSession("HTTP_Connect_2");
  if (session == nullptr) return -1;
  int64_t size = -1;
  // HEAD: closing a GET whose body was not read makes the library read the
  // whole body first (under wine), so the size of a large file cost its
  // transfer.
  const TRequest get = SendRequest(session, "HEAD", requestUrl, INTERNET_FLAG_RELOAD);
  if (get.request != nullptr) {
    // The length of an error page is no size of the file.
    if (http::IsSuccessStatus(StatusCode(get.request))) size = ContentLength(get.request);
    VxDebug::DebugLine("HTTP_GetFileSize=" + IntToText(size) + "  " + url);
    CloseInet(get.request);
  }
  CloseInet(get.connection);
  CloseInet(session);
  return size;
}

TInetDownload HTTP_DownloadFile_Incremental(uintptr_t window, const std::string& url,
                                            const std::string& target, TProgBar* bar) {
  TInetDownload result;
  const std::string requestUrl = http::RequestUrl(url);
  HINTERNET session = OpenSession("HTTP_Connect_3");
  if (session == nullptr) {
    result.error = http::InitErrorText();
  } else {
    SetTimeOuts(session);
    result = Transfer(reinterpret_cast<HWND>(window), session, requestUrl, target, bar);
    CloseInet(session);
  }
  if (!result.error.empty()) {
    VxDebug::DebugLine(IntToText(Stub::ProcessId()) + " HTTP_DownloadFile_Incremental: " + result.error);
  }
  return result;
}

void FreeInetLibrary() {
  TBinding& b = Binding();
  if (b.module != nullptr) ::FreeLibrary(b.module);
  b.module = nullptr;
  for (FARPROC& proc : b.procs) proc = nullptr;
}

void SetInetLibraryName(const std::string& name) {
  FreeInetLibrary();
  Binding().libraryName = name;
}

void SetInetTimeOutsMs(int ms) { TimeOutMs() = ms > 0 ? static_cast<DWORD>(ms) : 180000; }
